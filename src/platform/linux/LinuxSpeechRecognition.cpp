// Chooses the speech recognition engine of the host programs.
#include "platform/linux/LinuxPlatform.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

namespace quelvar {

std::unique_ptr<SpeechRecognitionService> makeSpeechRecognition(
    const asio::any_io_executor& executor, bool proveInventory) {
  return std::make_unique<pocketsphinx::PocketSphinxRecognition>(
      executor, pocketsphinx::PocketSphinxCatalogue::debian(), proveInventory);
}

}  // namespace quelvar
