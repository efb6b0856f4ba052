// A translation session over the Apertium modes of an installed direction, in one pipeline.
#include "platform/linux/apertium/ApertiumSession.hpp"

#include <asio/experimental/awaitable_operators.hpp>
#include <system_error>
#include <variant>

#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/Probe.hpp"
#include "platform/linux/apertium/StreamText.hpp"

namespace quelvar::apertium {
namespace {

using namespace asio::experimental::awaitable_operators;

std::string_view trimmed(std::string_view text) {
  return splitOuterWhitespace(text).core;
}

// "eng" and "spa" of a route that begins with eng-cat.mode and ends with cat-spa.mode.
std::string languageOf(const std::filesystem::path& mode, bool source) {
  const std::string name = mode.stem().string();
  const auto dash = name.find('-');
  std::string code =
      source ? name.substr(0, dash) : name.substr(dash == std::string::npos ? 0 : dash + 1);
  return code.substr(0, code.find('_'));
}

// Only a direction between two languages can be expected to change a sentence.
std::optional<std::string> probeFor(const std::vector<std::filesystem::path>& route) {
  if (route.empty() || languageOf(route.front(), true) == languageOf(route.back(), false)) {
    return std::nullopt;
  }
  return probeSentence(languageOf(route.front(), true));
}

}  // namespace

ApertiumSession::ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                                 std::vector<std::filesystem::path> route, SessionOptions options)
    : executor_(std::move(executor)),
      clock_(std::move(clock)),
      route_(std::move(route)),
      probe_(probeFor(route_)),
      options_(std::move(options)) {}

ApertiumSession::ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                                 std::optional<std::filesystem::path> modeFile,
                                 SessionOptions options)
    : ApertiumSession(std::move(executor), std::move(clock),
                      modeFile ? std::vector{*modeFile} : std::vector<std::filesystem::path>{},
                      std::move(options)) {}

ApertiumSession::~ApertiumSession() {
  if (pipeline_) {
    pipeline_->stop();
  }
}

Status ApertiumSession::ensureRunning() {
  if (pipeline_ && pipeline_->isRunning()) {
    return {};
  }
  if (pipeline_) {
    pipeline_->stop();  // reaps what is left of a pipeline that died
    pipeline_.reset();
  }
  if (route_.empty()) {
    return makeError(ErrorCode::notInstalled, "The translation direction is not installed.");
  }
  std::vector<ProgramCommand> programs;
  for (const auto& mode : route_) {
    auto part = readModeFile(mode, options_.mode);
    if (!part.ok()) {
      return part.error();
    }
    programs.insert(programs.end(), part.value().begin(), part.value().end());
  }
  auto started = ApertiumPipeline::start(executor_, programs);
  if (!started.ok()) {
    return started.error();
  }
  pipeline_ = std::move(started.value());
  warm_ = false;
  return {};
}

// A new pipeline answers an empty sentence once every program has loaded its data, and then must
// change the probe sentence: a damaged dictionary may load and pass every word through.
asio::awaitable<Status> ApertiumSession::warmUp() {
  auto loaded = co_await exchange(encodeSegment(""), options_.startTimeout);
  if (!loaded.ok()) {
    co_return loaded.error();
  }
  if (probe_) {
    auto answer = co_await exchange(encodeSegment(*probe_), options_.answerTimeout);
    if (!answer.ok()) {
      co_return answer.error();
    }
    if (isUntranslated(*probe_, decodeSegment(answer.value()))) {
      if (pipeline_) {
        pipeline_->stop();
      }
      co_return makeError(ErrorCode::untranslated,
                          "The translation direction returns its text unchanged.");
    }
  }
  warm_ = pipeline_ != nullptr;
  co_return Status();
}

// One encoded segment through the pipeline, within the time limit and a share per kilobyte.
asio::awaitable<Expected<std::string>> ApertiumSession::exchange(const std::string& segment,
                                                                 std::chrono::nanoseconds limit) {
  auto pipeline = pipeline_;  // survives a cancel() that drops the session's reference
  if (!pipeline) {
    co_return cancelledError();  // cancelled while warming up
  }
  limit += options_.timeoutPerKilobyte * segment.size() / 1024;
  std::variant<Expected<std::string>, bool> outcome = false;
  try {
    outcome = co_await (pipeline->exchange(segment) || clock_->sleepFor(limit));
  } catch (const std::system_error&) {
    // A caller that lets cancelled waits throw gets the cancellation as a value like everyone.
  }
  if (outcome.index() == 0) {
    auto& answer = std::get<0>(outcome);
    if (answer.ok() && !isAnswerToSegment(answer.value())) {
      pipeline->stop();
      co_return makeError(ErrorCode::broken, "The translation pipeline answered out of step.");
    }
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
  if (Status started = ensureRunning(); !started.ok()) {
    co_return started;
  }
  Status warmed;
  if (!warm_) {
    warmed = co_await warmUp();
  }
  if (cancelled_) {
    co_return cancelledError();
  }
  co_return warmed;
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
    if (Status started = ensureRunning(); !started.ok()) {
      co_return started.error();
    }
    Status warmed;
    if (!warm_) {
      warmed = co_await warmUp();
    }
    Expected<std::string> answer = std::string();
    if (!warmed.ok()) {
      answer = warmed.error();
    } else {
      answer = co_await exchange(segment, options_.answerTimeout);
    }
    if (cancelled_) {
      co_return cancelledError();
    }
    if (answer.ok()) {
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
