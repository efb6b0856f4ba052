// Telling a direction that passes its words through from one that translates.
#include <gtest/gtest.h>

#include "platform/linux/apertium/Probe.hpp"

namespace quelvar::apertium {
namespace {

TEST(Probe, anAnswerOfTheSameWordsInAnyOrderOrCaseIsUntranslated) {
  struct Row {
    const char* probe;
    const char* answer;
    bool untranslated;
  };
  const Row rows[] = {
      {"The red house", "The house red", true},  // reordered by the transfer rules only
      {"La casa roja", "LA CASA ROJA.", true},
      {"The red house", "La casa roja", false},
      {"La casa vermella", "A casa vermella", false},  // one word is enough
      {"La casa roja", "", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isUntranslated(row.probe, row.answer), row.untranslated) << row.answer;
  }
  EXPECT_EQ(probeSentence("eng_US"), probeSentence("en"));
  EXPECT_EQ(probeSentence("deu"), std::nullopt);
}

}  // namespace
}  // namespace quelvar::apertium
