// The service against the real Apertium engine with the English-Spanish pair installed.
#include <gtest/gtest.h>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ApertiumSession.hpp"
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace quelvar::apertium {
namespace {

using testing::runUntilDone;

struct ApertiumEngineTest : ::testing::Test {
  void SetUp() override {
    if (!std::filesystem::exists(defaultModesDirectory / "eng-spa.mode")) {
      GTEST_SKIP() << "apertium-eng-spa is not installed";
    }
  }

  asio::io_context io;
  ApertiumTranslation service{io.get_executor(), std::make_shared<SteadyClock>()};

  std::shared_ptr<ApertiumSession> englishToSpanish() {
    auto session = std::dynamic_pointer_cast<ApertiumSession>(service.makeSession("en", "es"));
    EXPECT_EQ(runUntilDone(io, session->prepareTranslation()).value_or(cancelledError()),
              std::nullopt);
    return session;
  }
  std::string translate(ApertiumSession& session, const std::string& text) {
    auto answer = runUntilDone(io, session.translate(text)).value_or(cancelledError());
    EXPECT_TRUE(answer.ok()) << text << ": " << (answer.ok() ? "" : answer.error().description);
    return answer.ok() ? answer.value() : "";
  }
};

TEST_F(ApertiumEngineTest, statusAndLanguagesReflectTheInstalledPair) {
  auto status = [&](const char* from, const char* to) {
    return runUntilDone(io, service.status(from, to)).value();
  };
  EXPECT_EQ(status("en", "es"), LanguageStatus::installed);
  EXPECT_EQ(status("es", "en"), LanguageStatus::installed);
  EXPECT_EQ(status("es", "en-US"), LanguageStatus::installed);
  EXPECT_EQ(status("fr", "eo"), LanguageStatus::supported);
  EXPECT_EQ(status("en", "de"), LanguageStatus::unsupported);
  auto languages = runUntilDone(io, service.supportedLanguages()).value();
  ASSERT_GE(languages.size(), 2u);
  EXPECT_EQ(languages[0], "en");
  EXPECT_EQ(languages[1], "es");
}

TEST_F(ApertiumEngineTest, reservedCharactersDoNotCorruptTheStream) {
  auto session = englishToSpanish();
  const std::string reserved = "^ $ [ ] { } / \\ @ < > * # ~ [[x]] ^a$ \\n";
  std::string answer = translate(*session, "The house " + reserved + " is red");
  for (char c : std::string("^$[]{}/\\@<>*#~")) {
    EXPECT_NE(answer.find(c), std::string::npos) << "lost " << c << " in " << answer;
  }
  EXPECT_EQ(translate(*session, "Hello world"), "Hola Mundo");
  EXPECT_EQ(translate(*session, "zorblax"), "zorblax");  // no unknown-word mark
}

TEST_F(ApertiumEngineTest, oneSessionAnswersManySegmentsInOrder) {
  auto session = englishToSpanish();
  auto pids = session->processIds();
  const std::pair<std::string, std::string> rows[] = {
      {"Hello world", "Hola Mundo"},
      {"  The dog eats.\n", "  El perro come.\n"},  // outer whitespace is kept
      {"I have two cats.", "Tengo dos gatos."},
  };
  for (int round = 0; round < 20; ++round) {
    for (const auto& [english, spanish] : rows) {
      ASSERT_EQ(translate(*session, english), spanish);
    }
  }
  EXPECT_EQ(session->processIds(), pids);
}

}  // namespace
}  // namespace quelvar::apertium
