// QuelvarSpeech: the live subtitle host that Chrome starts for one session. Arguments (Chrome
// passes the extension's origin) are ignored.
#include "QuelvarSpeech/SpeechHost.hpp"
#include "platform/async/Clock.hpp"
#include "platform/linux/LinuxPlatform.hpp"
#include "platform/linux/SoxrConverter.hpp"

int main() {
  asio::io_context io;
  auto speech = quelvar::makeSpeechRecognition(io.get_executor());
  auto translation = quelvar::makeTranslation(io.get_executor());
  quelvar::SteadyClock clock;
  return quelvar::SpeechHost::main(io, {*speech, *translation, &quelvar::makeSoxrConverter, clock});
}
