// "download-speech": the tag check, the speech locale asked for, and the reservation's life.
#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

using DownloadSpeechTest = HostTest;
using Calls = std::vector<std::string>;

json downloadRequest(json source) {
  json fields = json::object();
  if (!source.is_null()) {
    fields["source"] = source;
  }
  return HostTest::request("download-speech", fields);
}

const json kOk = {{"version", 1}, {"id", "r"}, {"ok", true}};

TEST_F(DownloadSpeechTest, a_source_that_is_no_language_tag_asks_the_platform_nothing) {
  // The tag pattern itself is tested in RequestFieldsTest.
  for (const json& source : {json(), json(5), json(""), json("en_US")}) {
    EXPECT_EQ(respond(downloadRequest(source)), failure("INVALID_REQUEST")) << source;
  }
  EXPECT_TRUE(speech.calls.empty());
}

TEST_F(DownloadSpeechTest, chinese_scripts_are_asked_for_by_region_and_other_tags_unchanged) {
  speech.supported.clear();
  for (const char* source : {"zh-Hans", "zh-Hant", "ZH-HANS", "sr-Latn-RS"}) {
    EXPECT_EQ(respond(downloadRequest(source)), failure("SPEECH_UNSUPPORTED")) << source;
  }
  // Nothing is reserved for a language without speech recognition.
  EXPECT_EQ(speech.calls, (Calls{"supportedLocale zh-CN", "supportedLocale zh-TW",
                                 "supportedLocale ZH-HANS", "supportedLocale sr-Latn-RS"}));
}

TEST_F(DownloadSpeechTest, a_failed_reservation_has_nothing_to_give_back) {
  speech.reserveAnswer = PlatformError{"speech", 3, "busy"};
  EXPECT_EQ(respond(downloadRequest("en")), failure("SPEECH_DOWNLOAD_FAILED"));
  EXPECT_EQ(speech.calls, (Calls{"supportedLocale en", "reserve en-US"}));
}

struct DownloadCase {
  const char* name;
  bool reservationGranted;
  Expected<bool> assetRequestNeeded;  // an error, or whether there is something to install
  Status downloadAnswer;
  bool succeeds;
};

class DownloadPathTest : public HostTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DownloadPathTest, releases_exactly_the_reservation_it_was_granted) {
  const DownloadCase& path = GetParam();
  speech.reserveAnswer = path.reservationGranted;
  speech.assetRequestAnswer = path.assetRequestNeeded;
  speech.downloadAnswer = path.downloadAnswer;
  EXPECT_EQ(respond(downloadRequest("en")),
            path.succeeds ? kOk : failure("SPEECH_DOWNLOAD_FAILED"));

  Calls expected{"supportedLocale en", "reserve en-US", "assetInstallationRequest en-US"};
  if (path.assetRequestNeeded && path.assetRequestNeeded.value()) {
    expected.push_back("downloadAndInstall en-US");
  }
  if (path.reservationGranted) {
    expected.push_back("release en-US");  // last, after every other call
  }
  EXPECT_EQ(speech.calls, expected);
}

const PlatformError kFailure{"speech", 7, "no network"};

INSTANTIATE_TEST_SUITE_P(
    Paths, DownloadPathTest,
    ::testing::Values(DownloadCase{"already_installed_reserved", true, false, {}, true},
                      DownloadCase{"already_installed_unreserved", false, false, {}, true},
                      DownloadCase{"downloaded_reserved", true, true, {}, true},
                      DownloadCase{"downloaded_unreserved", false, true, {}, true},
                      DownloadCase{"request_fails_reserved", true, kFailure, {}, false},
                      DownloadCase{"request_fails_unreserved", false, kFailure, {}, false},
                      DownloadCase{"download_fails_reserved", true, true, kFailure, false},
                      DownloadCase{"download_fails_unreserved", false, true, kFailure, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quelvar::testing
