// QuelvarSpeech: the live subtitle host that Chrome starts for one session. Arguments (Chrome
// passes the extension's origin) are ignored.
#include <malloc.h>

#include "QuelvarSpeech/SpeechHost.hpp"
#include "platform/async/Clock.hpp"
#include "platform/linux/LinuxPlatform.hpp"

int main() {
  // Every audio message allocates and frees some 100 KiB. Keeping freed memory for the next
  // message, instead of returning it to the system each time, saves refaulting those pages.
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
  mallopt(M_TOP_PAD, 1 << 20);

  // One thread runs the executor, which lets a handler posted from that thread skip the lock
  // and the wake-up of the reactor (other threads still post through them).
  asio::io_context io(1);
  auto speech = quelvar::makeSpeechRecognition(io.get_executor());
  auto clock = std::make_shared<quelvar::SteadyClock>();
  auto translation = quelvar::makeTranslation(io.get_executor(), clock);
  return quelvar::SpeechHost::main(io,
                                   {*speech, *translation, &quelvar::makeAudioConverter, *clock});
}
