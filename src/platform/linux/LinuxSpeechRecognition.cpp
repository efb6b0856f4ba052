// Chooses the speech recognition engine of the host programs.
#include "platform/linux/LinuxPlatform.hpp"
#include "platform/linux/Unavailable.hpp"

namespace quelvar {

std::unique_ptr<SpeechRecognitionService> makeSpeechRecognition(const asio::any_io_executor&) {
  return std::make_unique<UnavailableSpeechRecognition>();
}

}  // namespace quelvar
