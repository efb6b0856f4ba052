// What the languages window lists, from a scripted catalogue and model files in a temporary folder.
#include "CaptionTestSupport.hpp"
#include "LanguageReadiness.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace quelvar {

using caption::testing::TempDir;

namespace {

namespace fs = std::filesystem;

pocketsphinx::RecogniserModel model(const fs::path& root, const std::string& locale) {
  return {locale,
          locale.substr(0, 2),
          root / locale / "am",
          root / locale / "lm.bin",
          root / locale / "dict",
          "pocketsphinx-" + locale};
}

TEST(LanguageReadiness, listsWhatIsInstalledAndOffersOnlyPackagesThatAddSomething) {
  const TempDir folder;
  const fs::path root = folder.path();
  const pocketsphinx::RecogniserModel english = model(root, "en-US");
  const pocketsphinx::RecogniserModel french = model(root, "fr-FR");
  fs::create_directories(english.acousticModel);
  for (const fs::path& file : {english.acousticModel / "mdef", english.languageModel,
                               english.dictionary, french.languageModel}) {
    std::ofstream(file) << "model";
  }

  const std::vector<apertium::Direction> installed = {
      {"eng", "spa"}, {"spa", "eng"}, {"spa", "eng_US"}, {"ca", "es"}, {"x1", "eng"}};
  const std::vector<apertium::PackagedPair> packaged = {
      {"apertium-spa-cat", {{"spa", "cat"}, {"cat", "spa"}}},
      {"apertium-eng-spa", {{"eng", "spa"}, {"spa", "eng"}}},
      {"apertium-eng-cat", {{"eng", "cat"}, {"cat", "eng"}}},
      {"apertium-afr-nld", {{"afr", "nld"}}},
  };
  const LanguageReadiness readiness =
      languageReadiness(installed, packaged, pocketsphinx::PocketSphinxCatalogue({english, french}),
                        [](const std::string& tag) { return "<" + tag + ">"; });

  EXPECT_EQ(readiness.directions,
            (std::vector<std::string>{"<en> → <es>", "<es> → <en>", "<es> → <en-US>", "<ca> → <es>",
                                      "x1 → <en>"}));
  EXPECT_EQ(readiness.speechModels, std::vector<std::string>{"<en-US>"});
  EXPECT_EQ(readiness.offers,
            (std::vector<PackageOffer>{
                {"<fr-FR> speech recognition", "sudo apt install pocketsphinx-fr-FR"},
                {"<af> → <nl>", "sudo apt install apertium-afr-nld"},
                {"<ca> → <en>, <en> → <ca>", "sudo apt install apertium-eng-cat"},
                {"<es> → <ca>", "sudo apt install apertium-spa-cat"},
            }));
}

}  // namespace
}  // namespace quelvar
