// The recogniser inventory: language matching, installed models, reservations, formats, installs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CaptionTestSupport.hpp"
#include "EnginePipeline.hpp"
#include "platform/linux/pocketsphinx/ModelProbe.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::pocketsphinx {
namespace {

using namespace testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Optional;

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

TEST_F(CatalogueTest, localesMatchByLanguageAndAnswerTheCataloguesIdentifier) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
      {"en", "en-US"},    {"en-US", "en-US"},      {"en-GB", "en-US"},   {"en_AU", "en-US"},
      {"EN", "en-US"},    {"en-Latn-IN", "en-US"}, {"de", std::nullopt}, {"zh-CN", std::nullopt},
      {"", std::nullopt}, {"und", std::nullopt},   {"-", std::nullopt},
  };
  for (const auto& [identifier, expected] : rows) {
    EXPECT_EQ(await(io, debian.supportedLocale(identifier)), expected) << identifier;
  }
}

TEST_F(CatalogueTest, theDebianEnglishModelIsInstalledAndOnlyTranscribersWithAModelHaveAFormat) {
  EXPECT_THAT(await(io, debian.installedLocales()), ElementsAre("en-US"));
  auto request = await(io, debian.assetInstallationRequest("en-US"));
  ASSERT_TRUE(request.ok());
  EXPECT_EQ(request.value(), nullptr);
  EXPECT_EQ(await(io, debian.bestAvailableAudioFormat(*debian.makeTranscriber("en-US"))),
            (AudioFormat{16000.0, SampleType::int16, 1}));
  EXPECT_EQ(await(io, debian.bestAvailableAudioFormat(*debian.makeTranscriber("xx-XX"))),
            std::nullopt);
}

TEST_F(CatalogueTest, aModelWhoseFilesAreMissingIsSupportedButInstallingItFailsNamingThePackage) {
  caption::testing::TempDir folder;
  const std::filesystem::path root = folder.path();
  const RecogniserModel model{
      "fr-FR", "fr", root / "fr-fr", root / "fr.lm.bin", root / "fr.dict", "pocketsphinx-fr"};
  std::filesystem::create_directories(model.acousticModel);
  PocketSphinxRecognition service(io.get_executor(), PocketSphinxCatalogue({model}));
  EXPECT_EQ(await(io, service.supportedLocale("fr-CA")), "fr-FR");
  EXPECT_THAT(await(io, service.installedLocales()), IsEmpty());

  auto request = await(io, service.assetInstallationRequest("fr-FR"));
  ASSERT_TRUE(request.ok());
  ASSERT_NE(request.value(), nullptr);
  Status outcome = await(io, request.value()->downloadAndInstall());
  ASSERT_FALSE(outcome.ok());
  EXPECT_THAT(outcome.error(), IsError(ErrorCode::modelNotInstalled));
  EXPECT_THAT(outcome.error().description, HasSubstr("pocketsphinx-fr"));

  auto unknown = await(io, service.assetInstallationRequest("de-DE"));
  ASSERT_FALSE(unknown.ok());
  EXPECT_THAT(unknown.error(), IsError(ErrorCode::unsupportedLocale));

  for (const auto& file : {model.acousticModel / "mdef", model.languageModel, model.dictionary}) {
    std::ofstream(file) << "x";
  }
  EXPECT_THAT(await(io, service.installedLocales()), ElementsAre("fr-FR"));
}

// The engine ends the process on a garbage model definition: the check must not.
TEST_F(CatalogueTest, aDamagedModelIsNotInstalledAndFailsToLoadWithoutEndingTheProcess) {
  const struct {
    const char* file;
    const char* content;
    ErrorCode loadError;
  } cases[] = {{"am/mdef", "garbage\n", ErrorCode::modelLoadFailed},
               {"dict", nullptr, ErrorCode::modelNotInstalled},
               {"dict", "", ErrorCode::modelNotInstalled},
               {"dict", " \n\n", ErrorCode::modelNotInstalled}};
  for (const auto& c : cases) {
    DamagedModel copy(c.file, c.content);
    PocketSphinxRecognition inventory(io.get_executor(), PocketSphinxCatalogue({copy.model}), true);
    EXPECT_THAT(await(io, inventory.installedLocales()), IsEmpty()) << c.file;
    auto request = await(io, inventory.assetInstallationRequest("en-US"));
    ASSERT_TRUE(request.ok());
    EXPECT_NE(request.value(), nullptr) << c.file;
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
  EXPECT_TRUE(std::filesystem::exists(copy.model.cacheFolder / "en-US.loads"));
  std::filesystem::remove(copy.root / "am/mdef");
  std::ofstream(copy.root / "am/mdef") << "garbage\n";
  EXPECT_FALSE(usableToANewHost(copy.model));
}

TEST_F(CatalogueTest, reservationsAreCountedPerLocaleAndRefusedForUnknownOnes) {
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(await(io, debian.reserve("en-US")).ok());
  }
  EXPECT_EQ(debian.reservations("en-US"), 2);
  for (int i = 0; i < 3; ++i) {  // one too many changes nothing
    await(io, debian.release("en-US"));
  }
  EXPECT_EQ(debian.reservations("en-US"), 0);

  auto refused = await(io, debian.reserve("de-DE"));
  ASSERT_FALSE(refused.ok());
  EXPECT_THAT(refused.error(), IsError(ErrorCode::unsupportedLocale));
}

}  // namespace
}  // namespace quelvar::pocketsphinx
