// Installed, packaged and unknown translation directions.
#include <gtest/gtest.h>
#include <malloc.h>

#include <tuple>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ModeCatalogue.hpp"

namespace quelvar::apertium {
namespace {

struct ModeCatalogueTest : ::testing::Test {
  testing::ModeFolder folder;
  std::vector<Direction> packaged = {{"eng", "spa"}, {"spa", "eng"}, {"fra", "epo"}};
};

TEST_F(ModeCatalogueTest, routeIsTheMostSpecificModeOrTwoThroughOneMiddleLanguage) {
  for (const char* name : {"spa-eng", "spa-eng_US", "eng-spa", "es-fr"}) {
    folder.add(name, "a");
  }
  ModeCatalogue catalogue(folder.path(), packaged);
  using Modes = std::vector<std::string>;
  const std::tuple<std::string, std::string, Modes> rows[] = {
      {"es", "en-US", {"spa-eng_US"}},
      {"es-MX", "en-GB", {"spa-eng"}},     // regions fall back to the language
      {"en", "fr", {"eng-spa", "es-fr"}},  // the middle codes in either style
      {"en", "en-US", {}},                 // never back into the language it came from
  };
  for (const auto& [source, target, expected] : rows) {
    Modes modes;
    for (const auto& mode : catalogue.route(source, target)) {
      modes.push_back(mode.stem().string());
    }
    EXPECT_EQ(modes, expected) << source << " -> " << target;
  }
}

TEST_F(ModeCatalogueTest, supportedLanguagesAreInstalledThenPackagedEachOnceWithoutVariants) {
  folder.add("spa-eng_US", "a");
  folder.add("eng-cat", "a");
  folder.add("eng-spa-debug", "a");  // not a direction
  folder.add("x-y", "a");            // names no languages
  ModeCatalogue catalogue(folder.path(), packaged);
  EXPECT_EQ(catalogue.supportedLanguages(),
            (std::vector<std::string>{"en", "ca", "es", "fr", "eo"}));
}

TEST_F(ModeCatalogueTest, seesAModeInstalledLater) {
  ModeCatalogue catalogue(folder.path(), packaged);
  EXPECT_EQ(catalogue.status("en", "es"), LanguageStatus::supported);
  folder.add("eng-spa", "a");
  EXPECT_EQ(catalogue.status("en", "es"), LanguageStatus::installed);
}

// Requests name any tags they like; what the catalogue remembers of them stays small.
TEST_F(ModeCatalogueTest, manyDistinctTagsDoNotGrowTheCatalogue) {
  ModeCatalogue catalogue(folder.path() / "missing", packaged);
  auto allocated = [] { return static_cast<long>(::mallinfo2().uordblks); };
  catalogue.status("en", "es");
  const long before = allocated();
  for (int i = 0; i < 20000; ++i) {
    catalogue.status("en", "a-tag-no-language-has-" + std::to_string(i));
  }
  EXPECT_LT(allocated() - before, 1L << 20) << "bytes kept after 20000 tags";
}

}  // namespace
}  // namespace quelvar::apertium
