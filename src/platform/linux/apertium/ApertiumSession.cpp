// A translation session over one installed Apertium mode, with one persistent pipeline.
#include "platform/linux/apertium/ApertiumSession.hpp"

#include <asio/experimental/awaitable_operators.hpp>
#include <system_error>
#include <variant>

#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/StreamText.hpp"

namespace quelvar::apertium {
namespace {

using namespace asio::experimental::awaitable_operators;

std::string_view trimmed(std::string_view text) {
  return splitOuterWhitespace(text).core;
}

}  // namespace

ApertiumSession::ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                                 std::optional<std::filesystem::path> modeFile,
                                 SessionOptions options)
    : executor_(std::move(executor)),
      clock_(std::move(clock)),
      modeFile_(std::move(modeFile)),
      options_(std::move(options)) {}

ApertiumSession::~ApertiumSession() {
  if (pipeline_) {
    pipeline_->stop();
  }
}

Status ApertiumSession::ensureRunning() {
  if (pipeline_ && pipeline_->isRunning()) {
    return std::nullopt;
  }
  if (pipeline_) {
    pipeline_->stop();  // reaps what is left of a pipeline that died
    pipeline_.reset();
  }
  if (!modeFile_) {
    return makeError(ErrorCode::notInstalled, "The translation direction is not installed.");
  }
  auto programs = readModeFile(*modeFile_, options_.mode);
  if (!programs) {
    return programs.error();
  }
  auto started = ApertiumPipeline::start(executor_, programs.value());
  if (!started) {
    return started.error();
  }
  pipeline_ = std::move(started.value());
  pipelineAnswered_ = false;
  return std::nullopt;
}

// One encoded segment through the pipeline, within the time limit.
asio::awaitable<Expected<std::string>> ApertiumSession::exchange(const std::string& segment) {
  auto pipeline = pipeline_;  // survives a cancel() that drops the session's reference
  auto limit = options_.answerTimeout + options_.timeoutPerKilobyte * segment.size() / 1024;
  if (!pipelineAnswered_) {
    limit += options_.startTimeout;
  }
  std::variant<Expected<std::string>, bool> outcome = false;
  try {
    outcome = co_await (pipeline->exchange(segment) || clock_->sleepFor(limit));
  } catch (const std::system_error&) {
    // A caller that lets cancelled waits throw gets the cancellation as a value like everyone.
  }
  if (outcome.index() == 0) {
    auto& answer = std::get<0>(outcome);
    if (answer && !isAnswerToSegment(answer.value())) {
      pipeline->stop();
      co_return makeError(ErrorCode::broken, "The translation pipeline answered out of step.");
    }
    pipelineAnswered_ = pipelineAnswered_ || (answer && pipeline == pipeline_);
    co_return std::move(answer);
  }
  pipeline->stop();
  if (!std::get<1>(outcome)) {
    co_return cancelledError();  // the caller was cancelled during the wait
  }
  co_return makeError(ErrorCode::timedOut, "The translation pipeline stopped answering.");
}

// The public operations hold the session and a copy of the text from the call on: the awaitable
// may be started after the caller's string has gone.
asio::awaitable<Status> ApertiumSession::prepareTranslation() {
  return prepare(shared_from_this());
}

asio::awaitable<Expected<std::string>> ApertiumSession::translate(const std::string& text) {
  return translate(shared_from_this(), text);
}

// The unnamed parameter keeps the session alive in the coroutine frame.
asio::awaitable<Status> ApertiumSession::prepare(std::shared_ptr<ApertiumSession>) {
  if (cancelled_) {
    co_return cancelledError();
  }
  if (auto failed = ensureRunning()) {
    co_return failed;
  }
  // An empty sentence comes back once every program has loaded its data.
  auto answer = co_await exchange(encodeSegment(""));
  if (cancelled_) {
    co_return cancelledError();
  }
  if (!answer) {
    co_return answer.error();
  }
  co_return std::nullopt;
}

asio::awaitable<Expected<std::string>> ApertiumSession::translate(std::shared_ptr<ApertiumSession>,
                                                                  std::string text) {
  auto parts = splitOuterWhitespace(text);
  if (parts.core.empty()) {
    co_return text;
  }
  const std::string segment = encodeSegment(parts.core);
  // A pipeline that broke is started again once: its programs may have died while it was idle.
  for (int attempt = 0;; ++attempt) {
    if (cancelled_) {
      co_return cancelledError();
    }
    if (auto failed = ensureRunning()) {
      co_return *failed;
    }
    auto answer = co_await exchange(segment);
    if (cancelled_) {
      co_return cancelledError();
    }
    if (answer) {
      std::string translation(parts.leading);
      translation += trimmed(decodeSegment(answer.value()));
      translation += parts.trailing;
      co_return translation;
    }
    if (attempt > 0 || !hasCode(answer.error(), ErrorCode::broken)) {
      co_return answer.error();
    }
  }
}

void ApertiumSession::cancel() {
  cancelled_ = true;
  if (pipeline_) {
    pipeline_->stop();
    pipeline_.reset();
  }
}

std::vector<pid_t> ApertiumSession::processIds() const {
  return pipeline_ ? pipeline_->processIds() : std::vector<pid_t>{};
}

}  // namespace quelvar::apertium
