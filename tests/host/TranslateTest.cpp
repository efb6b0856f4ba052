// "translate": the order of its checks, character limits, availability and the session's answer.
#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

using TranslateTest = HostTest;

json translateRequest(json text, json source = "en", json target = "de") {
  json fields = json::object();
  for (auto [key, value] : {std::pair{"text", text}, {"source", source}, {"target", target}}) {
    if (!value.is_null()) {
      fields[key] = value;
    }
  }
  return HostTest::request("translate", fields);
}

const json kAbsent;  // leaves the key out

struct CheckCase {
  const char* name;
  json request;
  const char* error;
};

class TranslateCheckTest : public HostTest, public ::testing::WithParamInterface<CheckCase> {};

// Every one of these is decided before the platform is asked anything.
TEST_P(TranslateCheckTest, refuses_without_asking_the_platform) {
  EXPECT_EQ(respond(GetParam().request), failure(GetParam().error));
  EXPECT_TRUE(translation.calls.empty());
}

const std::string kThumbsUp = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // emoji with a skin tone
const std::string kTag41 = "en-" + repeated("x", 38);

INSTANTIATE_TEST_SUITE_P(
    Checks, TranslateCheckTest,
    ::testing::Values(
        CheckCase{"text_missing", translateRequest(kAbsent), "INVALID_REQUEST"},
        CheckCase{"text_number", translateRequest(5), "INVALID_REQUEST"},
        CheckCase{"text_empty", translateRequest(""), "INVALID_REQUEST"},
        // tab, VT, FF, CR, NEL, no-break space, ideographic space, line and paragraph separators
        CheckCase{"text_unicode_whitespace",
                  translateRequest("\t\v\f\r\xC2\x85\xC2\xA0\xE3\x80\x80\xE2\x80\xA8\xE2\x80\xA9"),
                  "INVALID_REQUEST"},
        CheckCase{"text_8001_characters", translateRequest(repeated(kThumbsUp, 8001)),
                  "INVALID_REQUEST"},
        CheckCase{"text_too_long_is_found_before_a_missing_source",
                  translateRequest(repeated("e\xCC\x81", 8001), kAbsent), "INVALID_REQUEST"},
        CheckCase{"source_missing", translateRequest("hi", kAbsent), "INVALID_REQUEST"},
        CheckCase{"target_missing", translateRequest("hi", "en", kAbsent), "INVALID_REQUEST"},
        CheckCase{"target_number", translateRequest("hi", "en", 3), "INVALID_REQUEST"},
        CheckCase{"equal_tags", translateRequest("hi", "en", "en"), "UNSUPPORTED_PAIR"},
        CheckCase{"source_41_characters", translateRequest("hi", kTag41), "UNSUPPORTED_PAIR"},
        CheckCase{"target_41_characters", translateRequest("hi", "en", kTag41),
                  "UNSUPPORTED_PAIR"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TranslateTest, limits_count_user_perceived_characters_not_bytes) {
  // 8000 emoji of two code points each, and a 40-character tag of accented letters.
  const std::string accented40 = repeated("e\xCC\x81", 40);
  EXPECT_EQ(respond(translateRequest(repeated(kThumbsUp, 8000), accented40)),
            failure("UNSUPPORTED_PAIR"));
  EXPECT_EQ(translation.calls, std::vector<std::string>{"status " + accented40 + " de"});
}

TEST_F(TranslateTest, invisible_characters_that_are_not_whitespace_count_as_text) {
  EXPECT_EQ(respond(translateRequest("\xE2\x80\x8B")), failure("UNSUPPORTED_PAIR"));
  EXPECT_EQ(translation.calls, std::vector<std::string>{"status en de"});
}

TEST_F(TranslateTest, tags_reach_the_platform_exactly_as_sent) {
  translation.setStatus("en", "EN", LanguageStatus::supported);
  EXPECT_EQ(respond(translateRequest("hi", "en", "EN")), failure("MODELS_NOT_INSTALLED"));
  EXPECT_EQ(respond(translateRequest("hi", "zh-Hans", "en")), failure("UNSUPPORTED_PAIR"));
  EXPECT_EQ(translation.calls, (std::vector<std::string>{"status en EN", "status zh-Hans en"}));
}

TEST_F(TranslateTest, a_supported_direction_without_models_downloads_nothing) {
  translation.setStatus("en", "de", LanguageStatus::supported);
  EXPECT_EQ(respond(translateRequest("hi")), failure("MODELS_NOT_INSTALLED"));
  EXPECT_TRUE(translation.sessions.empty());
}

TEST_F(TranslateTest, a_failed_preparation_is_a_failed_translation) {
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.prepareAnswer = PlatformError{"apertium", 2, "no mode"};
  EXPECT_EQ(respond(translateRequest("hi")), failure("TRANSLATION_FAILED"));
  EXPECT_TRUE(translation.lastSession().requests.empty());
}

TEST_F(TranslateTest, a_failed_translation_drops_the_platform_error) {
  translation.setStatus("en", "de", LanguageStatus::installed);
  start(translateRequest("hi"));
  ASSERT_FALSE(reply);
  translation.lastSession().fail(PlatformError{"apertium", 9, "pipeline died"});
  settle();
  EXPECT_EQ(reply, failure("TRANSLATION_FAILED"));
}

TEST_F(TranslateTest, a_reply_too_large_for_one_frame_is_a_failed_translation) {
  translation.setStatus("en", "de", LanguageStatus::installed);
  start(translateRequest("hi"));
  // Each U+0001 is written as six bytes: "\u0001".
  translation.lastSession().answer(std::string(200000, '\x01'));
  settle();
  EXPECT_EQ(reply, failure("TRANSLATION_FAILED"));
}

TEST_F(TranslateTest, the_untrimmed_text_is_translated_in_a_session_of_its_own) {
  translation.setStatus("en", "de", LanguageStatus::installed);
  start(translateRequest("  Good morning\n"));
  ASSERT_FALSE(reply) << "the reply must wait for the translation";
  translation.lastSession().answer(" Guten Morgen\n");
  settle();
  EXPECT_EQ(reply, json({{"version", 1}, {"id", "r"}, {"ok", true}, {"text", " Guten Morgen\n"}}));
  EXPECT_EQ(translation.lastSession().requests, std::vector<std::string>{"  Good morning\n"});
  EXPECT_TRUE(translation.lastSession().prepared());
  EXPECT_EQ(translation.calls, (std::vector<std::string>{"status en de", "makeSession en de"}));
}

TEST_F(TranslateTest, warm_sessions_are_reused_per_direction_within_a_bound) {
  host::WarmSessions kept(2);
  warm = &kept;
  translation.immediateAnswer = [](const std::string& text) -> Expected<std::string> {
    if (text == "fail") {
      return PlatformError{"apertium", 9, "pipeline died"};
    }
    return text;
  };
  for (const char* target : {"de", "fr", "it"}) {
    translation.setStatus("en", target, LanguageStatus::installed);
  }
  // Each row: the direction asked for, and how many sessions have been made after it.
  const std::pair<std::string, std::size_t> rows[] = {
      {"de", 1}, {"fr", 2}, {"de", 2}, {"it", 3} /* ends fr */, {"fr", 4} /* ends de */, {"it", 4}};
  for (const auto& [target, made] : rows) {
    EXPECT_EQ(respond(translateRequest("hi", "en", target))["text"], "hi") << target;
    EXPECT_EQ(translation.sessions.size(), made) << target;
  }
  auto cancelled = [&] {
    std::vector<bool> flags;
    for (const auto& session : translation.sessions) {
      flags.push_back(session->cancelled);
    }
    return flags;
  };
  EXPECT_EQ(cancelled(), (std::vector<bool>{true, true, false, false}));
  // A session that failed is ended and the next request of its direction starts a new one.
  EXPECT_EQ(respond(translateRequest("fail", "en", "it")), failure("TRANSLATION_FAILED"));
  EXPECT_EQ(respond(translateRequest("hi", "en", "it"))["text"], "hi");
  EXPECT_EQ(translation.sessions.size(), 5U);
  kept.clear();
  EXPECT_EQ(cancelled(), (std::vector<bool>(5, true)));
}

TEST_F(TranslateTest, only_target_zh_hans_is_converted_to_simplified_characters) {
  const std::string traditional = "\xE6\xBC\xA2\xE8\xAA\x9E";  // 漢語
  const std::string simplified = "\xE6\xB1\x89\xE8\xAF\xAD";   // 汉语
  for (const auto& [target, expected] :
       {std::pair{"zh-Hans", simplified}, {"zh-CN", traditional}, {"ZH-HANS", traditional}}) {
    translation.setStatus("en", target, LanguageStatus::installed);
    start(translateRequest("Chinese", "en", target));
    translation.lastSession().answer(traditional);
    settle();
    ASSERT_TRUE(reply) << target;
    EXPECT_EQ((*reply)["text"], expected) << target;
  }
}

}  // namespace
}  // namespace quelvar::testing
