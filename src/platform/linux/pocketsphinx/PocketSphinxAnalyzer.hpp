// The analyzer of one pipeline: a thread of its own that decodes the input queue.
#pragma once

#include <memory>
#include <thread>

#include "platform/SpeechRecognition.hpp"
#include "platform/linux/pocketsphinx/ModelCache.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxTranscriber.hpp"

namespace quelvar::pocketsphinx {

// The thread acquires a decoder (loading the model if no idle one exists), then decodes until
// the input ends or it is told to stop. Everything it reports, the start-up outcome and every
// result, is posted to the main executor, so the transcriber's stream sees results in order.
class PocketSphinxAnalyzer final : public SpeechAnalyzer {
 public:
  PocketSphinxAnalyzer(asio::any_io_executor executor, std::shared_ptr<ModelCache> cache,
                       std::shared_ptr<PocketSphinxTranscriber> transcriber);
  // Stops and joins the thread if nobody did.
  ~PocketSphinxAnalyzer() override;

  // Returns once the decoder is ready (after the model load, if one was needed).
  asio::awaitable<Status> start(std::shared_ptr<AnalyzerInputQueue> input) override;
  // Stops within one audio chunk's decoding time, joins the thread and ends the result stream.
  asio::awaitable<void> cancelAndFinishNow() override;

 private:
  struct Shared;

  static void decode(asio::any_io_executor executor, std::shared_ptr<ModelCache> cache,
                     RecogniserModel model, std::shared_ptr<AnalyzerInputQueue> input,
                     std::shared_ptr<ResultStream> results, std::shared_ptr<Shared> shared);
  static bool finalStillWanted(const asio::any_io_executor& executor,
                               const std::shared_ptr<Shared>& shared);
  template <class Predicate>
  asio::awaitable<void> waitUntil(Predicate done);
  void stopThread();

  asio::any_io_executor executor_;
  std::shared_ptr<ModelCache> cache_;
  std::shared_ptr<PocketSphinxTranscriber> transcriber_;
  std::shared_ptr<AnalyzerInputQueue> input_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool started_ = false;
};

}  // namespace quelvar::pocketsphinx
