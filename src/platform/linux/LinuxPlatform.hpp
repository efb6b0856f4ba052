// The real Linux services that the two host programs are built on.
#pragma once

#include <memory>

#include "platform/SpeechRecognition.hpp"
#include "platform/Translation.hpp"

namespace quelvar {

std::unique_ptr<SpeechRecognitionService> makeSpeechRecognition(
    const asio::any_io_executor& executor);
std::unique_ptr<TranslationService> makeTranslation(const asio::any_io_executor& executor);

}  // namespace quelvar
