// The dictionary subset on disk: only the language model's words, and never a stale or damaged
// copy.
#include <gmock/gmock.h>

#include <fstream>

#include "CaptionTestSupport.hpp"
#include "platform/linux/pocketsphinx/DictionarySubset.hpp"

namespace quelvar::pocketsphinx {
namespace {

using caption::testing::readFile;

TEST(DictionarySubsetTest,
     keepsKnownWordsWithTheirOtherPronunciationsUntilTheLanguageModelChanges) {
  caption::testing::TempDir folder;
  const RecogniserModel model{
      "en-US", "en", {}, folder.file("lm.bin"), folder.file("full.dict"), {}, folder.file("cache")};
  std::ofstream(model.dictionary) << "a AH\na(2) EY\nable EY B AH L\ncat K AE T\n";
  std::ofstream(model.languageModel) << "lm";
  ASSERT_FALSE(
      writeSubset(model, [](const std::string& word) { return word == "a" || word == "cat"; }));
  EXPECT_TRUE(isCurrentSubset(model));
  EXPECT_THAT(readFile(subsetFile(model)), ::testing::EndsWith("\na AH\na(2) EY\ncat K AE T\n"));

  std::ofstream(model.languageModel, std::ios::app) << "x";
  EXPECT_FALSE(isCurrentSubset(model));
}

}  // namespace
}  // namespace quelvar::pocketsphinx
