// Host::main over real pipes with fake services: one request in flight, work on other threads.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../common/TestPipe.hpp"
#include "QuelvarHost/Host.hpp"
#include "common/Framing.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"

namespace quelvar::testing {
namespace {

using nlohmann::json;

std::string frame(const std::string& body) {
  return frameHeader(static_cast<std::uint32_t>(body.size())) + body;
}

std::string translateFrame(const std::string& id, const std::string& text) {
  return frame(json{
      {"version", 1},
      {"id", id},
      {"type", "translate"},
      {"text", text},
      {"source", "en"},
      {"target",
       "de"}}.dump());
}

std::string replyFrame(const json& reply) {
  return frame(reply.dump());
}

json translated(const std::string& id, const std::string& text) {
  return {{"version", 1}, {"id", id}, {"ok", true}, {"text", text}};
}

class HostLoopTest : public ::testing::Test {
 protected:
  // Feeds `bytes` as the whole input and runs the loop until it returns its exit status.
  int run(const std::string& bytes, HostServices services) {
    EXPECT_EQ(::write(input.writeEnd, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
    TestPipe::closeEnd(input.writeEnd);
    return Host::main(context, services, {input.readEnd, output.writeEnd, error.writeEnd});
  }
  int run(const std::string& bytes) { return run(bytes, {speech, translation}); }

  asio::io_context context;
  FakeSpeechRecognition speech{context.get_executor()};
  FakeTranslation translation{context.get_executor()};
  TestPipe input, output, error;
};

TEST_F(HostLoopTest, each_reply_is_written_before_the_next_request_starts) {
  translation.setStatus("en", "de", LanguageStatus::installed);
  std::vector<int> writtenBeforeTranslating;
  translation.immediateAnswer = [&](const std::string& text) {
    writtenBeforeTranslating.push_back(output.pending());
    return Expected<std::string>("<" + text + ">");
  };
  EXPECT_EQ(run(translateFrame("1", "one") + translateFrame("2", "two")), 0);
  const std::string first = replyFrame(translated("1", "<one>"));
  EXPECT_EQ(writtenBeforeTranslating, (std::vector<int>{0, static_cast<int>(first.size())}));
  EXPECT_EQ(output.drain(), first + replyFrame(translated("2", "<two>")));
  EXPECT_EQ(error.drain(), "");
}

// A translation service that does its work on a thread of its own, as the real engines do.
class ThreadedTranslation final : public TranslationService {
 public:
  class Session final : public TranslationSession {
   public:
    explicit Session(ThreadedTranslation& owner) : owner_(owner) {}
    asio::awaitable<Status> prepareTranslation() override { co_return std::nullopt; }
    asio::awaitable<Expected<std::string>> translate(const std::string& text) override {
      // The worker writes the translation here, then hands the wait back to the main executor.
      std::string translation;
      co_await asio::async_initiate<const asio::use_awaitable_t<>, void()>(
          Initiation{owner_, text, translation}, asio::use_awaitable);
      co_return translation;
    }
    void cancel() override {}

   private:
    // A named type rather than a lambda: GCC 12 mishandles lambda temporaries in co_await.
    struct Initiation {
      ThreadedTranslation& owner;
      const std::string& text;
      std::string& translation;
      template <class Handler>
      void operator()(Handler handler) const {
        asio::post(owner.worker, [this, handler = std::move(handler)]() mutable {
          owner.workerThread = std::this_thread::get_id();
          translation = "[" + text + "]";
          auto home = asio::get_associated_executor(handler);
          asio::post(home, std::move(handler));
        });
      }
    };

    ThreadedTranslation& owner_;
  };

  asio::awaitable<std::vector<std::string>> supportedLanguages() override {
    co_return std::vector<std::string>{};
  }
  asio::awaitable<LanguageStatus> status(const std::string&, const std::string&) override {
    co_return LanguageStatus::installed;
  }
  std::shared_ptr<TranslationSession> makeSession(const std::string&, const std::string&) override {
    return std::make_shared<Session>(*this);
  }

  asio::thread_pool worker{1};
  std::thread::id workerThread;
};

TEST_F(HostLoopTest, waits_for_work_that_finishes_on_another_thread) {
  ThreadedTranslation threaded;
  EXPECT_EQ(run(translateFrame("a", "x") + translateFrame("b", "y"), {speech, threaded}), 0);
  EXPECT_EQ(output.drain(),
            replyFrame(translated("a", "[x]")) + replyFrame(translated("b", "[y]")));
  EXPECT_NE(threaded.workerThread, std::thread::id());
  EXPECT_NE(threaded.workerThread, std::this_thread::get_id());
  threaded.worker.join();
}

}  // namespace
}  // namespace quelvar::testing
