// The recogniser inventory: installed and usable models, reservations.
#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CaptionTestSupport.hpp"
#include "RunUntil.hpp"
#include "platform/linux/pocketsphinx/ModelProbe.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

namespace quelvar::pocketsphinx {
namespace {

using caption::testing::runUntilDone;
using ::testing::IsEmpty;

MATCHER_P(IsError, code, "") {
  return arg.domain == error_domain::pocketsphinx && arg.code == static_cast<std::int64_t>(code);
}

// The real English model, every file linked from a scratch folder but `damaged`, which is written
// (or left out).
struct DamagedModel {
  caption::testing::TempDir folder;
  std::filesystem::path root = folder.path();
  RecogniserModel model = *PocketSphinxCatalogue::debian().find("en-US");

  DamagedModel(const std::filesystem::path& damaged, const char* content) {
    std::filesystem::create_directories(root / "am");
    for (const auto& file : std::filesystem::directory_iterator(model.acousticModel)) {
      std::filesystem::create_symlink(file.path(), root / "am" / file.path().filename());
    }
    std::filesystem::create_symlink(model.languageModel, root / "lm");
    std::filesystem::create_symlink(model.dictionary, root / "dict");
    model.acousticModel = root / "am";
    model.languageModel = root / "lm";
    model.dictionary = root / "dict";
    model.cacheFolder = root / "cache";
    std::filesystem::remove(root / damaged);
    if (content != nullptr) {
      std::ofstream(root / damaged) << content;
    }
  }
};

struct CatalogueTest : ::testing::Test {
  asio::io_context io;
  PocketSphinxRecognition debian{io.get_executor()};
};

// The engine ends the process on a garbage model definition: the check must not.
TEST_F(CatalogueTest, aDamagedModelIsNotInstalledAndFailsToLoadWithoutEndingTheProcess) {
  const struct {
    const char* file;
    const char* content;
    ErrorCode loadError;
  } cases[] = {{"am/mdef", "garbage\n", ErrorCode::modelLoadFailed},
               {"dict", nullptr, ErrorCode::modelNotInstalled},
               {"dict", " \n\n", ErrorCode::modelNotInstalled}};
  for (const auto& c : cases) {
    DamagedModel copy(c.file, c.content);
    PocketSphinxRecognition inventory(io.get_executor(), PocketSphinxCatalogue({copy.model}), true);
    EXPECT_THAT(runUntilDone(io, inventory.installedLocales()).value(), IsEmpty()) << c.file;
    auto loaded = PocketSphinxDecoder::load(copy.model);
    ASSERT_FALSE(loaded.ok()) << c.file;
    EXPECT_THAT(loaded.error(), IsError(c.loadError)) << loaded.error().description;
  }
}

// Whether a new host, which has checked no model yet, finds the model usable.
bool usableToANewHost(const RecogniserModel& model) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::_exit(probeAcousticModel(model).ok() ? 0 : 1);
  }
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(CatalogueTest, aModelCheckedByAnEarlierHostIsCheckedAgainOnceItsFilesChange) {
  DamagedModel copy("am/notes", "a file the engine does not read");
  EXPECT_TRUE(usableToANewHost(copy.model));
  std::filesystem::remove(copy.root / "am/mdef");
  std::ofstream(copy.root / "am/mdef") << "garbage\n";
  EXPECT_FALSE(usableToANewHost(copy.model));
}

TEST_F(CatalogueTest, reservationsAreRefusedForUnknownLocales) {
  auto refused = runUntilDone(io, debian.reserve("de-DE")).value();
  ASSERT_FALSE(refused.ok());
  EXPECT_THAT(refused.error(), IsError(ErrorCode::unsupportedLocale));
}

}  // namespace
}  // namespace quelvar::pocketsphinx
