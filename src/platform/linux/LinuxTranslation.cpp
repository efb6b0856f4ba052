// Chooses the translation engine of the host programs: Apertium.
#include <memory>

#include "platform/linux/LinuxPlatform.hpp"
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace quelvar {

std::unique_ptr<TranslationService> makeTranslation(const asio::any_io_executor& executor,
                                                    std::shared_ptr<Clock> clock) {
  return std::make_unique<apertium::ApertiumTranslation>(executor, std::move(clock));
}

}  // namespace quelvar
