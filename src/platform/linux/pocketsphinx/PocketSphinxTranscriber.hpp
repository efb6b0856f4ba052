// The recogniser module of one pipeline: its locale, its model and the stream of its results.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/SpeechRecognition.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"
#include "platform/linux/pocketsphinx/ResultStream.hpp"

namespace quelvar::pocketsphinx {

class PocketSphinxTranscriber final : public SpeechTranscriber {
 public:
  // Without a model (a locale outside the catalogue) the transcriber has no audio format and its
  // analyzer cannot start.
  PocketSphinxTranscriber(const asio::any_io_executor& executor, std::string locale,
                          std::optional<RecogniserModel> model)
      : locale_(std::move(locale)),
        model_(std::move(model)),
        results_(std::make_shared<ResultStream>(executor)) {}

  const std::string& locale() const override { return locale_; }
  asio::awaitable<SpeechResultEvent> nextResult() override { return results_->next(); }

  const std::optional<RecogniserModel>& model() const { return model_; }
  const std::shared_ptr<ResultStream>& results() const { return results_; }

 private:
  std::string locale_;
  std::optional<RecogniserModel> model_;
  std::shared_ptr<ResultStream> results_;
};

}  // namespace quelvar::pocketsphinx
