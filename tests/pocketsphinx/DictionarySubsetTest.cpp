// The dictionary subset on disk: only the language model's words, and never a stale or damaged
// copy.
#include <fstream>
#include <functional>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "platform/linux/pocketsphinx/DictionarySubset.hpp"

namespace quelvar::pocketsphinx {
namespace {

struct DictionarySubsetTest : ::testing::Test {
  caption::testing::TempDir folder;
  RecogniserModel model{.locale = "en-US",
                        .language = "en",
                        .acousticModel = {},
                        .languageModel = folder.file("lm.bin"),
                        .dictionary = folder.file("full.dict"),
                        .package = {},
                        .cacheFolder = folder.file("cache")};
  const std::set<std::string> known{"a", "cat"};

  DictionarySubsetTest() {
    std::ofstream(model.dictionary) << "a AH\na(2) EY\nable EY B AH L\ncat K AE T\n";
    std::ofstream(model.languageModel) << "lm";
  }
  void write() {
    ASSERT_FALSE(writeSubset(model, [&](const std::string& word) { return known.contains(word); }));
  }
};

TEST_F(DictionarySubsetTest, keepsTheEntriesOfKnownWordsWithTheirOtherPronunciations) {
  EXPECT_FALSE(isCurrentSubset(model));
  write();
  EXPECT_TRUE(isCurrentSubset(model));
  const std::string subset = caption::testing::readFile(subsetFile(model));
  EXPECT_THAT(subset, ::testing::StartsWith(";; "));
  EXPECT_THAT(subset, ::testing::EndsWith("\na AH\na(2) EY\ncat K AE T\n"));
}

TEST_F(DictionarySubsetTest, aDamagedOrStaleSubsetIsNotUsed) {
  const struct {
    const char* change;
    std::filesystem::path RecogniserModel::*file;  // null: the subset itself
    std::function<void(std::string&)> edit;
  } cases[] = {
      {"an entry changed", nullptr, [](std::string& s) { s[s.size() - 2] = 'X'; }},
      {"cut short", nullptr, [](std::string& s) { s.pop_back(); }},
      {"header only", nullptr, [](std::string& s) { s.resize(s.find('\n') + 1); }},
      {"dictionary updated", &RecogniserModel::dictionary,
       [](std::string& s) { s += "dog D AO G\n"; }},
      {"language model updated", &RecogniserModel::languageModel,
       [](std::string& s) { s += "more"; }},
  };
  for (const auto& c : cases) {
    write();
    const std::filesystem::path file = c.file ? model.*c.file : subsetFile(model);
    std::string content = caption::testing::readFile(file);
    const std::string original = content;
    c.edit(content);
    std::ofstream(file, std::ios::binary) << content;
    EXPECT_FALSE(isCurrentSubset(model)) << c.change;
    std::ofstream(file, std::ios::binary) << original;
  }
}

}  // namespace
}  // namespace quelvar::pocketsphinx
