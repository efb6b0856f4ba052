// QuelvarHost: the language host that Chrome starts through native messaging.
#include "QuelvarHost/Host.hpp"
#include "common/Framing.hpp"
#include "platform/linux/LinuxPlatform.hpp"

int main() {
  // A reader that has gone away must show up as a failed write, not end the process by signal.
  quelvar::ignoreSigpipe();
  asio::io_context context(1);
  // This host reports on speech models without loading them, so it proves that they load.
  const auto speech = quelvar::makeSpeechRecognition(context.get_executor(), true);
  const auto translation =
      quelvar::makeTranslation(context.get_executor(), std::make_shared<quelvar::SteadyClock>());
  return quelvar::Host::main(context, {*speech, *translation});
}
