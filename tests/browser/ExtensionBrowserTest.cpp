// The extension as a user meets it: a tab plays English speech, the toolbar button's popup starts
// subtitles in Spanish, the overlay shows them, they are saved, and Stop ends the speech host.
#include <gmock/gmock.h>

#include <fstream>
#include <set>
#include <sstream>

#include "BrowserFixture.hpp"
#include "PageTarget.hpp"
#include "Processes.hpp"
#include "common/AtomicFile.hpp"
#include "common/Text.hpp"

namespace quelvar::browser {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HasSubstr;
using namespace std::chrono_literals;

// Two sentences, with the voice, pace and pauses that PocketSphinx's English model recognises.
constexpr const char* kSpoken = "We are going to the park. We will go to the market.";
constexpr const char* kSpeech =
    "<speak>We are going to the park. <break time='700ms'/> We will go to the market.</speak>";

std::set<std::string> words(const std::string& text) {
  std::set<std::string> found;
  std::string word;
  for (const char c : text + " ") {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!word.empty()) {
      found.insert(word);
      word.clear();
    }
  }
  return found;
}

// A page that plays the speech when asked, as a video site would play a video.
fs::path writePage(const fs::path& folder) {
  const fs::path site = folder / "site";
  fs::create_directories(site);
  if (runProgram({"espeak-ng", "-v", "en-us+m1", "-s", "130", "-m", "-w",
                  (site / "speech.wav").string(), kSpeech}) != 0) {
    throw std::runtime_error("espeak-ng failed; install Debian's espeak-ng package");
  }
  std::ofstream(site / "index.html")
      << "<!doctype html><title>A video</title>"
         "<body style='margin:0;height:100vh;overflow:hidden;background:#1d2233;color:#eee;"
         "font:20px sans-serif'>"
         "<h1 style='margin:24px'>A video page</h1>"
         "<audio id='speech' src='speech.wav' preload='auto' controls style='margin:24px'>"
         "</audio></body>";
  return site / "index.html";
}

bool isPopup(const json& info) {
  return info.value("type", "") == "page" &&
         info.value("url", "") == std::string("chrome-extension://") + kExtensionID + "/popup.html";
}

// The first target whose URL starts with `prefix` among those that exist now; of any type when
// `type` is empty (the offscreen document is a page of its own kind).
std::string existingTarget(DevToolsPipe& devTools, const std::string& type,
                           const std::string& prefix, Clock::time_point deadline) {
  json filter = json::array();
  filter.push_back(type.empty() ? json::object() : json{{"type", type}});
  const json targets = devTools.call("Target.getTargets", {{"filter", filter}}, deadline);
  for (const json& info : targets.value("targetInfos", json::array())) {
    if (info.value("url", "").rfind(prefix, 0) == 0) {
      return info.value("targetId", "");
    }
  }
  throw DevToolsError("no target at " + prefix);
}

// What a person would see, for the failure message when an expected sight does not come.
constexpr const char* kPageState =
    "({ended: document.getElementById('speech').ended,"
    "  time: document.getElementById('speech').currentTime,"
    "  overlay: document.querySelector('quelvar-captions')?.shadowRoot.innerHTML})";
constexpr const char* kPopupState =
    "['status', 'fix'].map((id) => document.getElementById(id).textContent).join(' | ')";

std::string stateOf(PageTarget& target, const char* expression) {
  try {
    return target.evaluate(expression, Clock::now() + 5s).dump();
  } catch (const DevToolsError& error) {
    return error.what();
  }
}

class ExtensionTest : public BrowserTest {};

TEST_F(ExtensionTest, subtitlesATabsSpeechInSpanishSavesThemAndStops) {
  const fs::path page = writePage(folder());
  const std::string pageURL = "file://" + page.string();

  PageTarget tab(devTools(), existingTarget(devTools(), "page", "about:blank", within(10s)),
                 within(10s));
  tab.call("Page.enable", json::object(), within(10s));
  tab.call("Page.navigate", {{"url", pageURL}}, within(10s));
  awaitEvent(
      devTools(), "Page.loadEventFired", [](const json&) { return true; }, within(20s));

  // The toolbar button is pressed on the tab's target (its page target is refused).
  devTools().call(
      "Extensions.triggerAction",
      {{"id", kExtensionID}, {"targetId", existingTarget(devTools(), "tab", pageURL, within(10s))}},
      within(10s));
  PageTarget popup(devTools(), awaitTarget(devTools(), isPopup, within(10s))["targetId"],
                   within(10s));
  const json targets = popup.waitFor(
      "document.getElementById('target').options.length ? "
      "[...document.getElementById('target').options].map((o) => o.value) : "
      "(document.getElementById('status').className === 'error' ? "
      "document.getElementById('status').textContent : null)",
      within(20s));
  ASSERT_TRUE(targets.is_array()) << "the popup found no language to translate into: " << targets;
  ASSERT_THAT(targets.dump(), HasSubstr("\"es\"")) << "Spanish is not installed";

  popup.evaluate(
      "document.getElementById('target').value = 'es';"
      "document.getElementById('start').click()",
      within(5s));
  const std::string status = popup.waitFor(
      "/Listening/.test(document.getElementById('status').textContent) || "
      "document.getElementById('status').className === 'error' ? "
      "document.getElementById('status').textContent + ' ' + "
      "document.getElementById('fix').textContent : null",
      within(20s));
  report("popup: " + status);
  ASSERT_THAT(status, HasSubstr("Listening"));

  ASSERT_EQ(
      tab.evaluate("document.getElementById('speech').play().then(() => 'playing')", within(10s)),
      "playing");
  // The overlay's last final line once the speech has ended and no line is forming any more.
  json final;
  try {
    final = tab.waitFor(
        "(() => { const root = document.querySelector('quelvar-captions').shadowRoot;"
        "  const last = [...root.querySelectorAll('.final')].at(-1);"
        "  return document.getElementById('speech').ended && last && "
        "!root.querySelector('.forming')"
        "      ? {translation: last.querySelector('.translation').textContent,"
        "         source: last.querySelector('.source').textContent} : null; })()",
        within(30s));
  } catch (const DevToolsError& error) {
    FAIL() << error.what() << "; the page then: " << stateOf(tab, kPageState)
           << "; the popup: " << stateOf(popup, kPopupState);
  }
  const std::string recognised = final.value("source", "");
  const std::string translation = final.value("translation", "");
  report("overlay: \"" + translation + "\" for \"" + recognised + "\"");
  EXPECT_FALSE(translation.empty());
  std::size_t shared = 0;
  const std::set<std::string> spoken = words(kSpoken);
  for (const std::string& word : words(recognised)) {
    shared += spoken.count(word);
  }
  EXPECT_GE(shared * 2, words(recognised).size() + 1)
      << "the recognised words are mostly not what was spoken: " << recognised;

  PageTarget offscreen(
      devTools(),
      existingTarget(devTools(), "",
                     std::string("chrome-extension://") + kExtensionID + "/offscreen.html",
                     within(10s)),
      within(10s));
  const double peak = offscreen.evaluate("quelvarPlayback.peak()", within(5s)).get<double>();
  report("peak level played back: " + std::to_string(peak));
  EXPECT_GT(peak, 0.05) << "the tab's audio does not reach the speakers";

  // Pictures for the README: the page with its subtitles, and the popup at its own size.
  const json pageShot = tab.call("Page.captureScreenshot", {{"format", "png"}}, within(10s));
  const json size = popup.evaluate(
      "({width: document.body.scrollWidth, height: document.documentElement.scrollHeight})",
      within(5s));
  const json popupShot = popup.call(
      "Page.captureScreenshot",
      {{"format", "png"},
       {"clip",
        {{"x", 0}, {"y", 0}, {"scale", 1}, {"width", size["width"]}, {"height", size["height"]}}}},
      within(10s));
  fs::create_directories(QUELVAR_SCREENSHOTS);
  for (const auto& [name, shot] : {std::pair{"extension-captions.png", pageShot},
                                   std::pair{"extension-popup.png", popupShot}}) {
    std::ofstream(fs::path(QUELVAR_SCREENSHOTS) / name, std::ios::binary)
        << decodeBase64(shot.value("data", "")).value_or("");
  }

  const fs::path downloads = folder() / "downloads";
  devTools().call(
      "Browser.setDownloadBehavior",
      {{"behavior", "allow"}, {"downloadPath", downloads.string()}, {"eventsEnabled", true}},
      within(5s));
  popup.evaluate(
      "document.getElementById('format').value = 'srt';"
      "document.getElementById('save').click()",
      within(5s));
  awaitEvent(
      devTools(), "Browser.downloadProgress",
      [](const json& progress) { return progress.value("state", "") == "completed"; }, within(10s));
  ASSERT_FALSE(fs::is_empty(downloads));
  const fs::path saved = fs::directory_iterator(downloads)->path();
  const std::string srt = readWholeFile(saved).value_or("");
  EXPECT_EQ(saved.extension(), ".srt");
  EXPECT_THAT(srt, HasSubstr(" --> "));
  EXPECT_THAT(srt, HasSubstr(translation));

  const fs::path speechHost = helpers() / "QuelvarSpeech";
  ASSERT_FALSE(processesRunningFrom(speechHost).empty()) << "no speech host while listening";
  popup.evaluate("document.getElementById('stop').click()", within(5s));
  EXPECT_THAT(waitUntilNoneRunFrom(speechHost, within(10s)), testing::IsEmpty())
      << "the speech host still runs after Stop";
}

}  // namespace
}  // namespace quelvar::browser
