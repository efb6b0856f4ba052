// Installed, packaged and unknown translation directions.
#include <gtest/gtest.h>
#include <malloc.h>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ModeCatalogue.hpp"

namespace quelvar::apertium {
namespace {

struct ModeCatalogueTest : ::testing::Test {
  testing::ModeFolder folder;
  std::vector<Direction> packaged = {{"eng", "spa"}, {"spa", "eng"}, {"fra", "epo"}};
};

TEST_F(ModeCatalogueTest, routeIsTheMostSpecificModeOrTwoThroughOneMiddleLanguage) {
  for (const char* name :
       {"spa-eng", "spa-eng_US", "eng-spa", "es-fr", "fr-oc", "cat-eng", "eng-cat", "fra-eng"}) {
    folder.add(name, "a");
  }
  ModeCatalogue catalogue(folder.path(), packaged);
  using Modes = std::vector<std::string>;
  using enum LanguageStatus;
  const struct {
    std::string source, target;
    Modes modes;
    LanguageStatus status;
  } rows[] = {
      {"es", "en-US", {"spa-eng_US"}, installed},
      {"es", "en", {"spa-eng"}, installed},
      {"es-MX", "en-GB", {"spa-eng"}, installed},     // regions fall back to the language
      {"es", "fr", {"es-fr"}, installed},             // the older two-letter style
      {"en", "fr", {"eng-spa", "es-fr"}, installed},  // the middle codes in either style
      {"fr", "en", {"fra-eng"}, installed},  // a mode of its own wins over fra-eng-... chains
      {"ca", "es", {"cat-eng", "eng-spa"}, installed},
      {"en", "oc", {}, unsupported},     // never two middle languages
      {"en", "en-US", {}, unsupported},  // nor back into the language it came from
      {"fr", "eo", {}, supported},
      {"eo", "fr", {}, unsupported},  // packaged one way only
      {"en", "not a tag", {}, unsupported},
  };
  for (const auto& row : rows) {
    Modes modes;
    for (const auto& mode : catalogue.route(row.source, row.target)) {
      modes.push_back(mode.lexically_relative(folder.path()).stem().string());
    }
    EXPECT_EQ(modes, row.modes) << row.source << " -> " << row.target;
    EXPECT_EQ(catalogue.status(row.source, row.target), row.status)
        << row.source << " -> " << row.target;
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

TEST_F(ModeCatalogueTest, seesAModeInstalledLaterAndAMissingFolderAsNothingInstalled) {
  ModeCatalogue catalogue(folder.path(), packaged);
  EXPECT_EQ(catalogue.status("en", "es"), LanguageStatus::supported);
  folder.add("eng-spa", "a");
  EXPECT_EQ(catalogue.status("en", "es"), LanguageStatus::installed);
  EXPECT_EQ(ModeCatalogue(folder.path() / "missing", packaged).status("en", "es"),
            LanguageStatus::supported);
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
