// The extension as a user meets it, in headless Chromium (Debian's chromium): a tab plays English
// speech, the toolbar button's popup starts subtitles in Spanish with the real hosts, the overlay
// shows them, they are saved, and Stop ends the speech host.
//
// Each run copies the hosts into a temporary prefix (so any process started from it is this
// test's), registers them with BrowserRegistration for a temporary home where Chromium has been
// used, and loads the extension unpacked. Its ID follows from the public key in its manifest:
// the first 32 hex digits of the SHA-256 of the key (DER), with 0-f written as a-p. A failed run
// keeps its folder, with Chromium's log, which holds the hosts' standard error.
#include <gmock/gmock.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <regex>
#include <set>

#include "BrowserRegistration.hpp"
#include "Chromium.hpp"
#include "HostProcess.hpp"
#include "common/AtomicFile.hpp"

namespace quelvar::browser {
namespace {

using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using namespace std::chrono_literals;

constexpr const char* kExtensionID = "ghmabdajkcchlhdfnkkdeempkjedbihi";

// Two sentences, with the voice, pace and pauses that PocketSphinx's English model recognises.
constexpr const char* kSpoken = "We are going to the park. We will go to the market.";
constexpr const char* kSpeech =
    "<speak>We are going to the park. <break time='700ms'/> We will go to the market.</speak>";

// The lower-case words of a text.
std::set<std::string> words(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const std::regex word("[a-z]+");
  return {std::sregex_token_iterator(text.begin(), text.end(), word), {}};
}

std::string extensionPage(const std::string& page) {
  return std::string("chrome-extension://") + kExtensionID + "/" + page;
}

std::function<bool(const json&)> isEvent(const std::string& method) {
  return [method](const json& event) { return event.value("method", "") == method; };
}

bool isPopup(const json& event) {
  const json info = event.value("params", json::object()).value("targetInfo", json::object());
  return (isEvent("Target.targetCreated")(event) || isEvent("Target.targetInfoChanged")(event)) &&
         info.value("type", "") == "page" && info.value("url", "") == extensionPage("popup.html");
}

class ExtensionTest : public testing::Test {
 protected:
  void SetUp() override {
    deadline_ = Clock::now() + 75s;  // with closing and the checks after it, inside CTest's 120 s
    if (::access(QUELVAR_CHROMIUM, X_OK) != 0) {
      GTEST_SKIP() << "no Chromium at " QUELVAR_CHROMIUM " (Debian package chromium)";
    }
    std::string pattern = (fs::temp_directory_path() / "quelvar-browser-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    // /proc reports executables by their real path, so the folder is compared in that form.
    folder_ = fs::canonical(pattern);
    fs::create_directories(helpers());
    for (const fs::path host : {QUELVAR_HOST_BINARY, QUELVAR_SPEECH_BINARY}) {
      fs::copy_file(host, helpers() / host.filename());
    }
    // A user who has run Chromium: its folder exists, so the registration writes there too.
    const fs::path home = folder_ / "home";
    fs::create_directories(home / ".config/chromium");
    const BrowserRegistration registration(folder_ / "prefix", home);
    const auto failure = registration.registerExtension(kExtensionID);
    ASSERT_FALSE(failure) << failure->description();

    chromium_.emplace(QUELVAR_CHROMIUM, home, folder_ / "chromium.log");
    // Discovery reports the targets that exist already as well as every new one.
    chromium_->call("Target.setDiscoverTargets",
                    {{"discover", true}, {"filter", json::array({json::object()})}}, within(30s));
    const json loaded =
        chromium_->call("Extensions.loadUnpacked", {{"path", QUELVAR_EXTENSION_DIR}}, within(30s));
    ASSERT_EQ(loaded.value("id", ""), kExtensionID) << "the manifest's key gives another ID";
  }

  void TearDown() override {
    if (folder_.empty()) {
      return;  // skipped before anything was made
    }
    if (chromium_) {
      EXPECT_EQ(chromium_->close(Clock::now() + 30s), std::optional<int>(0))
          << "Chromium did not close by itself after Browser.close";
      chromium_.reset();
    }
    for (const pid_t left : waitUntilNoneRunFrom(helpers(), Clock::now() + 10s)) {
      ADD_FAILURE() << "a host (pid " << left << ") runs after Chromium ended";
      ::kill(left, SIGKILL);
    }
    if (HasFailure()) {
      std::cout << "kept for inspection, with Chromium's log and the hosts' errors: " << folder_
                << '\n';
    } else {
      fs::remove_all(folder_);
    }
  }

  fs::path helpers() const { return folder_ / "prefix/libexec/quelvar"; }
  const fs::path& folder() const { return folder_; }

  // A deadline `seconds` from now, but never after the test's own deadline.
  Clock::time_point within(std::chrono::seconds seconds) const {
    return std::min(Clock::now() + seconds, deadline_);
  }

  // The first target whose URL starts with `prefix` among those that exist now; of any type when
  // `type` is empty (the offscreen document is a page of its own kind).
  std::string existingTarget(const std::string& type, const std::string& prefix) {
    const json filter = json::array({type.empty() ? json::object() : json{{"type", type}}});
    const json targets = chromium_->call("Target.getTargets", {{"filter", filter}}, within(10s));
    for (const json& info : targets.value("targetInfos", json::array())) {
      if (info.value("url", "").starts_with(prefix)) {
        return info.value("targetId", "");
      }
    }
    throw DevToolsError("no target at " + prefix);
  }

  Clock::time_point deadline_;
  fs::path folder_;
  std::optional<Chromium> chromium_;
};

// A page that plays the speech when asked, as a video site would play a video.
fs::path writePage(const fs::path& folder) {
  const fs::path site = folder / "site";
  fs::create_directories(site);
  const auto spoken = e2e::HostProcess("espeak-ng",
                                       {"-v", "en-us+m1", "-s", "130", "-m", "-w",
                                        (site / "speech.wav").string(), kSpeech},
                                       {}, folder.string())
                          .finish(std::chrono::seconds(60));
  if (spoken.status != 0) {
    throw std::runtime_error("espeak-ng failed; install Debian's espeak-ng package");
  }
  std::ofstream(site / "index.html")
      << "<!doctype html><title>A video</title><audio id='speech' src='speech.wav' controls>";
  return site / "index.html";
}

TEST_F(ExtensionTest, subtitlesATabsSpeechInSpanishSavesThemAndStops) {
  const fs::path page = writePage(folder());
  const std::string pageURL = "file://" + page.string();

  PageTarget tab(*chromium_, existingTarget("page", "about:blank"), within(10s));
  tab.call("Page.enable", json::object(), within(10s));
  tab.call("Page.navigate", {{"url", pageURL}}, within(10s));
  chromium_->awaitEvent("page load", isEvent("Page.loadEventFired"), within(20s));

  // The toolbar button is pressed on the tab's target (its page target is refused).
  chromium_->call("Extensions.triggerAction",
                  {{"id", kExtensionID}, {"targetId", existingTarget("tab", pageURL)}},
                  within(10s));
  const json popupInfo = chromium_->awaitEvent("the popup", isPopup, within(10s));
  PageTarget popup(*chromium_, popupInfo["targetInfo"]["targetId"], within(10s));
  popup.waitFor("document.getElementById('target').options.length || null", within(20s));
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
  ASSERT_THAT(status, HasSubstr("Listening"));

  ASSERT_EQ(
      tab.evaluate("document.getElementById('speech').play().then(() => 'playing')", within(10s)),
      "playing");
  // The overlay's last final line once the speech has ended and no line is forming any more.
  const json final = tab.waitFor(
      "(() => { const root = document.querySelector('quelvar-captions').shadowRoot;"
      "  const last = [...root.querySelectorAll('.final')].at(-1);"
      "  return document.getElementById('speech').ended && last && "
      "!root.querySelector('.forming')"
      "      ? {translation: last.querySelector('.translation').textContent,"
      "         source: last.querySelector('.source').textContent} : null; })()",
      within(30s));
  const std::string recognised = final.value("source", "");
  const std::string translation = final.value("translation", "");
  EXPECT_FALSE(translation.empty());
  std::size_t shared = 0;
  const std::set<std::string> spoken = words(kSpoken);
  for (const std::string& word : words(recognised)) {
    shared += spoken.count(word);
  }
  EXPECT_GE(shared * 2, words(recognised).size() + 1)
      << "the recognised words are mostly not what was spoken: " << recognised;

  PageTarget offscreen(*chromium_, existingTarget("", extensionPage("offscreen.html")),
                       within(10s));
  const double peak = offscreen.evaluate("quelvarPlayback.peak()", within(5s)).get<double>();
  EXPECT_GT(peak, 0.05) << "the tab's audio does not reach the speakers";

  const fs::path downloads = folder() / "downloads";
  chromium_->call(
      "Browser.setDownloadBehavior",
      {{"behavior", "allow"}, {"downloadPath", downloads.string()}, {"eventsEnabled", true}},
      within(5s));
  popup.evaluate(
      "document.getElementById('format').value = 'srt';"
      "document.getElementById('save').click()",
      within(5s));
  chromium_->awaitEvent(
      "the completed download",
      [](const json& event) {
        return isEvent("Browser.downloadProgress")(event) &&
               event["params"].value("state", "") == "completed";
      },
      within(10s));
  ASSERT_FALSE(fs::is_empty(downloads));
  const fs::path saved = fs::directory_iterator(downloads)->path();
  const std::string srt = readWholeFile(saved).value_or("");
  EXPECT_EQ(saved.extension(), ".srt");
  EXPECT_THAT(srt, HasSubstr(" --> "));
  EXPECT_THAT(srt, HasSubstr(translation));

  const fs::path speechHost = helpers() / "QuelvarSpeech";
  ASSERT_THAT(waitUntilNoneRunFrom(speechHost, Clock::now()), Not(IsEmpty()))
      << "no speech host while listening";
  popup.evaluate("document.getElementById('stop').click()", within(5s));
  EXPECT_THAT(waitUntilNoneRunFrom(speechHost, within(10s)), testing::IsEmpty())
      << "the speech host still runs after Stop";
}

}  // namespace
}  // namespace quelvar::browser
