// The platform services a host is built on: real ones in the programs, fakes in tests.
#pragma once

#include "platform/Audio.hpp"
#include "platform/SpeechRecognition.hpp"
#include "platform/Translation.hpp"
#include "platform/async/Clock.hpp"

namespace quelvar {

struct Platform {
  SpeechRecognitionService& speech;
  TranslationService& translation;
  AudioConverterFactory makeConverter;
  Clock& clock;
};

}  // namespace quelvar
