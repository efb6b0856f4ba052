// The real Linux services that the two host programs are built on.
#pragma once

#include <memory>

#include "platform/Audio.hpp"
#include "platform/SpeechRecognition.hpp"
#include "platform/Translation.hpp"
#include "platform/async/Clock.hpp"

namespace quelvar {

// With `proveInventory`, only models that load count as installed (see PocketSphinxRecognition):
// for the language host, which reports on models but never loads one.
std::unique_ptr<SpeechRecognitionService> makeSpeechRecognition(
    const asio::any_io_executor& executor, bool proveInventory = false);
// The time limits of translations run on `clock`.
std::unique_ptr<TranslationService> makeTranslation(const asio::any_io_executor& executor,
                                                    std::shared_ptr<Clock> clock);
// A streaming converter from `from` to `to` (mono, int16 or float32, any positive rates), on
// libsoxr, or nothing when the formats cannot be converted.
std::unique_ptr<AudioConverter> makeAudioConverter(const AudioFormat& from, const AudioFormat& to);

}  // namespace quelvar
