// Chooses the translation engine of the host programs.
#include "platform/linux/LinuxPlatform.hpp"
#include "platform/linux/Unavailable.hpp"

namespace quelvar {

std::unique_ptr<TranslationService> makeTranslation(const asio::any_io_executor&) {
  return std::make_unique<UnavailableTranslation>();
}

}  // namespace quelvar
