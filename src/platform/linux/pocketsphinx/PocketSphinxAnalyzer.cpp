// The analyzer's thread, its hand-over to the main executor, and its prompt cancellation.
#include "platform/linux/pocketsphinx/PocketSphinxAnalyzer.hpp"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/async/Event.hpp"
#include "platform/linux/pocketsphinx/DecodeLoop.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

// What the thread and the main executor share. `stop` is read by the thread, and set under
// `mutex` so that a thread waiting on `answered` wakes; `finalWanted` is guarded by `mutex`;
// everything else is touched only on the main executor, by handlers that the thread posts there.
struct PocketSphinxAnalyzer::Shared {
  explicit Shared(const asio::any_io_executor& executor) : changed(executor) {}

  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable answered;
  std::optional<bool> finalWanted;
  std::optional<Status> startOutcome;
  bool exited = false;
  Event changed;  // notified whenever the two fields above change
};

PocketSphinxAnalyzer::PocketSphinxAnalyzer(asio::any_io_executor executor,
                                           std::shared_ptr<ModelCache> cache,
                                           std::shared_ptr<PocketSphinxTranscriber> transcriber)
    : executor_(std::move(executor)),
      cache_(std::move(cache)),
      transcriber_(std::move(transcriber)),
      shared_(std::make_shared<Shared>(executor_)) {}

PocketSphinxAnalyzer::~PocketSphinxAnalyzer() {
  if (thread_.joinable()) {
    stopThread();
    thread_.join();
  }
}

void PocketSphinxAnalyzer::stopThread() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
  }
  shared_->answered.notify_all();
  if (input_) {
    input_->cancel();
  }
}

template <class Predicate>
asio::awaitable<void> PocketSphinxAnalyzer::waitUntil(Predicate done) {
  auto shared = shared_;
  while (!done(*shared)) {
    co_await shared->changed.wait();
  }
}

asio::awaitable<Status> PocketSphinxAnalyzer::start(std::shared_ptr<AnalyzerInputQueue> input) {
  if (started_ || !input) {
    co_return makeError(ErrorCode::analyzerMisused,
                        "The speech analyzer was started twice or without input.");
  }
  started_ = true;
  if (!transcriber_ || !transcriber_->model()) {
    co_return makeError(ErrorCode::unsupportedLocale,
                        "The speech analyzer has no recogniser for its transcriber.");
  }
  input_ = std::move(input);
  thread_ = std::thread(decode, executor_, cache_, *transcriber_->model(), input_,
                        transcriber_->results(), shared_);
  co_await waitUntil([](const Shared& shared) { return shared.startOutcome.has_value(); });
  Status outcome = *shared_->startOutcome;
  if (!outcome.ok()) {
    co_await waitUntil([](const Shared& shared) { return shared.exited; });
    thread_.join();
  }
  co_return outcome;
}

asio::awaitable<void> PocketSphinxAnalyzer::cancelAndFinishNow() {
  if (thread_.joinable()) {
    stopThread();
    // The thread says it is about to exit before it does; the join then returns at once and the
    // main executor is never blocked on decoding.
    co_await waitUntil([](const Shared& shared) { return shared.exited; });
    thread_.join();
  }
  if (transcriber_) {
    transcriber_->results()->end();
  }
}

// A pipeline's stop finishes the input and then cancels the analyzer, both in one turn of the
// main executor; a question posted there after the input ended is therefore answered after the
// cancellation, if one is coming, and the thread never builds a final result nobody reads.
bool PocketSphinxAnalyzer::finalStillWanted(const asio::any_io_executor& executor,
                                            const std::shared_ptr<Shared>& shared) {
  asio::post(executor, [shared] {
    {
      std::lock_guard lock(shared->mutex);
      shared->finalWanted = !shared->stop.load();
    }
    shared->answered.notify_all();
  });
  std::unique_lock lock(shared->mutex);
  shared->answered.wait(lock,
                        [&] { return shared->finalWanted.has_value() || shared->stop.load(); });
  return shared->finalWanted.value_or(false) && !shared->stop.load();
}

void PocketSphinxAnalyzer::decode(asio::any_io_executor executor, std::shared_ptr<ModelCache> cache,
                                  RecogniserModel model, std::shared_ptr<AnalyzerInputQueue> input,
                                  std::shared_ptr<ResultStream> results,
                                  std::shared_ptr<Shared> shared) {
  {
    Expected<ModelCache::Lease> lease = cache->acquire(model, &shared->stop);
    Status outcome = lease.ok() ? Status() : Status(lease.error());
    asio::post(executor, [shared, outcome] {
      shared->startOutcome = outcome;
      shared->changed.notify();
    });
    if (lease.ok()) {
      DecodeLoop loop(
          lease.value().decoder(), shared->stop,
          [&](SpeechResult result) {
            asio::post(executor, [results, result = std::move(result)]() mutable {
              results->publish(std::move(result));
            });
          },
          [&] { return finalStillWanted(executor, shared); });
      if (Status failure = loop.run(*input); !failure.ok()) {
        // A decoder that failed is not trusted with another pipeline; one that was merely
        // handed audio it cannot take is.
        if (failure.error().code == static_cast<std::int64_t>(ErrorCode::decoderFailed)) {
          lease.value().discard();
        }
        asio::post(executor, [results, error = failure.error()]() mutable {
          results->fail(std::move(error));
        });
      } else {
        asio::post(executor, [results] { results->end(); });
      }
    }
  }
  // The decoder is back in the cache before anyone learns that this pipeline is over, so the
  // next pipeline finds it there.
  asio::post(executor, [shared] {
    shared->exited = true;
    shared->changed.notify();
  });
}

}  // namespace quelvar::pocketsphinx
