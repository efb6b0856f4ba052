// The service against the real Apertium engine with the English-Spanish pair installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <tuple>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/ApertiumSession.hpp"
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace quelvar::apertium {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::runUntilDone;

const std::filesystem::path pairData = "/usr/share/apertium/apertium-eng-spa";

struct ApertiumEngineTest : ::testing::Test {
  void SetUp() override {
    if (!std::filesystem::exists(defaultModesDirectory / "eng-spa.mode")) {
      GTEST_SKIP() << "apertium-eng-spa is not installed";
    }
  }

  asio::io_context io;
  ApertiumTranslation service{io.get_executor(), std::make_shared<SteadyClock>()};

  std::shared_ptr<ApertiumSession> prepared(const char* source, const char* target) {
    auto session = std::dynamic_pointer_cast<ApertiumSession>(service.makeSession(source, target));
    EXPECT_TRUE(runUntilDone(io, session->prepareTranslation()).value_or(cancelledError()).ok());
    return session;
  }
  std::string translate(ApertiumSession& session, const std::string& text) {
    auto answer = runUntilDone(io, session.translate(text)).value_or(cancelledError());
    EXPECT_TRUE(answer.ok()) << text << ": " << (answer.ok() ? "" : answer.error().description);
    return answer.ok() ? answer.value() : "";
  }
};

TEST_F(ApertiumEngineTest, statusReflectsTheInstalledPair) {
  EXPECT_EQ(runUntilDone(io, service.status("es", "en-US")), LanguageStatus::installed);
  EXPECT_EQ(runUntilDone(io, service.status("fr", "eo")), LanguageStatus::supported);
  EXPECT_EQ(runUntilDone(io, service.status("en", "de")), LanguageStatus::unsupported);
}

// Outer whitespace is kept, unknown words get no mark, decomposed letters and NULs reach the
// engine as words, and reserved characters do not corrupt the stream.
TEST_F(ApertiumEngineTest, aSessionTranslatesSegmentAfterSegment) {
  auto english = prepared("en", "es");
  auto spanish = prepared("es", "en");
  const std::tuple<ApertiumSession*, std::string, std::string> rows[] = {
      {english.get(), "Hello world", "Hola Mundo"},
      {english.get(), "  The dog eats.\n", "  El perro come.\n"},
      {english.get(), "zorblax", "zorblax"},
      {spanish.get(),
       "Buenos di\xCC\x81"
       "as, sen\xCC\x83"
       "or",
       "Good morning, gentleman"},
      {spanish.get(), std::string("perro\0gato", 10), "Dog cat"},
  };
  for (const auto& [session, text, translation] : rows) {
    EXPECT_EQ(translate(*session, text), translation);
  }
  std::string answer =
      translate(*english, "The house ^ $ [ ] { } / \\ @ < > * # ~ [[x]] ^a$ is red");
  for (char c : std::string("^$[]{}/\\@<>*#~")) {
    EXPECT_THAT(answer, HasSubstr(std::string(1, c)));
  }
  EXPECT_EQ(translate(*english, "Hello world"), "Hola Mundo");
}

TEST_F(ApertiumEngineTest, aDirectionWithoutAPairGoesThroughAMiddleLanguage) {
  if (!std::filesystem::exists(defaultModesDirectory / "es-fr.mode")) {
    GTEST_SKIP() << "apertium-fr-es is not installed";
  }
  EXPECT_EQ(runUntilDone(io, service.status("en", "fr")).value(), LanguageStatus::installed);
  auto session = prepared("en", "fr");
  EXPECT_GT(session->processIds().size(), 15u);  // both pairs' programs in one pipeline
  EXPECT_EQ(translate(*session, "The house is red."), "La maison est rouge.");
  EXPECT_EQ(translate(*session, " Hello world\n"), " Salut Monde\n");
}

// A copy of the English-Spanish pair with one file damaged, and a mode that points at the copy.
struct DamagedPair {
  testing::ModeFolder modes;
  testing::ModeFolder data;

  DamagedPair(const std::string& file, const std::string& contents) {
    std::filesystem::copy(pairData, data.path(), std::filesystem::copy_options::recursive);
    std::ofstream(data.path() / file, std::ios::trunc) << contents;
    std::stringstream mode;
    mode << std::ifstream(defaultModesDirectory / "eng-spa.mode").rdbuf();
    std::string line = mode.str();
    for (auto at = line.find(pairData.string()); at != std::string::npos;
         at = line.find(pairData.string(), at)) {
      line.replace(at, pairData.string().size(), data.path().string());
    }
    modes.add("eng-spa", line);
  }
};

std::string prefixOf(const std::filesystem::path& file, std::size_t size) {
  std::string bytes(size, '\0');
  std::ifstream(file).read(bytes.data(), static_cast<std::streamsize>(size));
  return bytes;
}

// Found in the start time (4 s here), not after time limits that add up to 20 s; the one that loads
// but passes every word through is not taken for a working direction.
TEST_F(ApertiumEngineTest, aPairWhoseDataCannotLoadOrTranslateFailsToPrepare) {
  struct Row {
    std::string file, contents;
    ErrorCode code;
  };
  const Row rows[] = {
      {"eng-spa.autogen.bin", std::string(8, '\xFF'), ErrorCode::timedOut},  // spins for seconds
      {"eng-spa.autobil.bin", prefixOf(pairData / "eng-spa.autobil.bin", 20000),
       ErrorCode::broken},  // the program crashes
      {"eng-spa.autobil.bin", prefixOf(pairData / "eng-spa.autobil.bin", 1000),
       ErrorCode::untranslated},
  };
  for (const auto& row : rows) {
    DamagedPair damaged(row.file, row.contents);
    // The damaged generator spins for about 10 s of processor time before it answers.
    SessionOptions options;
    options.startTimeout = std::chrono::seconds(4);
    ApertiumTranslation copy(io.get_executor(), std::make_shared<SteadyClock>(),
                             ModeCatalogue(damaged.modes.path()), options);
    auto session = copy.makeSession("en", "es");
    auto status = runUntilDone(io, session->prepareTranslation()).value_or(cancelledError());
    ASSERT_FALSE(status.ok()) << row.file;
    EXPECT_TRUE(hasCode(status.error(), row.code))
        << row.file << ": " << status.error().description;
  }
  EXPECT_THAT(testing::childProcesses(), IsEmpty());
}

}  // namespace
}  // namespace quelvar::apertium
