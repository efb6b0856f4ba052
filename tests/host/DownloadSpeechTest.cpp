// "download-speech": the tag check, the speech locale asked for, and the reservation's life.
#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

using DownloadSpeech = HostTest;
using Calls = std::vector<std::string>;

json downloadRequest(json source) {
  return HostTest::request("download-speech", {{"source", source}});
}

// Only a language tag (in either case) reaches the platform, as its speech locale code; nothing
// is reserved for a language without speech.
TEST_F(DownloadSpeech, onlyTagsAreAskedForAndChineseScriptsByRegion) {
  speech.supported.clear();
  for (const json& source :
       {json(5), json(""), json("e"), json("engl"), json("en_US"), json("en-"), json("en--US"),
        json("en-x"), json("en-abcdefghi"), json("1en"), json("e1"), json(" en"),
        json("\xE2\x84\xAA"
             "a")}) {
    EXPECT_EQ(respond(downloadRequest(source)), failure("INVALID_REQUEST")) << source;
  }
  const std::pair<const char*, const char*> asked[] = {
      {"EN", "EN"},           {"fil", "fil"},
      {"de-1996", "de-1996"}, {"en-abcdefgh", "en-abcdefgh"},
      {"es-419", "es-419"},   {"zh-Hans", "zh-CN"},
      {"ZH-HANT", "ZH-HANT"}, {"sr-Latn-RS", "sr-Latn-RS"}};
  Calls expected;
  for (const auto& [source, locale] : asked) {
    EXPECT_EQ(respond(downloadRequest(source)), failure("SPEECH_UNSUPPORTED")) << source;
    expected.push_back(std::string("supportedLocale ") + locale);
  }
  EXPECT_EQ(speech.calls, expected);
}

TEST_F(DownloadSpeech, everyPathGivesBackExactlyTheReservationItWasGranted) {
  const PlatformError failed{"speech", 7, "no network"};
  struct Row {
    const char* name;
    Expected<bool> reservation;    // an error, or whether one was granted
    Expected<bool> assetsMissing;  // an error, or whether there is something to install
    Status download;
    bool succeeds;
  };
  const Row rows[] = {
      {"installed, reserved", true, false, {}, true},
      {"installed, not reserved", false, false, {}, true},
      {"downloaded, reserved", true, true, {}, true},
      {"downloaded, not reserved", false, true, {}, true},
      {"request fails, reserved", true, failed, {}, false},
      {"download fails, reserved", true, true, failed, false},
      {"download fails, not reserved", false, true, failed, false},
      {"reservation fails", failed, false, {}, false},
  };
  const json ok = {{"version", 1}, {"id", "r"}, {"ok", true}};
  for (const Row& row : rows) {
    speech.calls.clear();
    speech.reserveAnswer = row.reservation;
    speech.assetRequestAnswer = row.assetsMissing;
    speech.downloadAnswer = row.download;
    EXPECT_EQ(respond(downloadRequest("en")), row.succeeds ? ok : failure("SPEECH_DOWNLOAD_FAILED"))
        << row.name;
    Calls expected{"supportedLocale en", "reserve en-US"};
    if (row.reservation.ok()) {
      expected.push_back("assetInstallationRequest en-US");
      if (row.assetsMissing.ok() && row.assetsMissing.value()) {
        expected.push_back("downloadAndInstall en-US");
      }
      if (row.reservation.value()) {
        expected.push_back("release en-US");  // last, after every other call
      }
    }
    EXPECT_EQ(speech.calls, expected) << row.name;
  }
}

}  // namespace
}  // namespace quelvar::testing
