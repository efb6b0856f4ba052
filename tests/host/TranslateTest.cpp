// "translate": what is refused before and after asking the platform, and the engine's answer.
#include <stdexcept>

#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

using namespace ::testing;
using Translate = HostTest;

const json kAbsent;  // leaves the key out

json translateRequest(json text, json source = "en", json target = "de") {
  json fields = json::object();
  for (auto [key, value] : {std::pair{"text", text}, {"source", source}, {"target", target}}) {
    if (!value.is_null()) {
      fields[key] = value;
    }
  }
  return HostTest::request("translate", fields);
}

TEST_F(Translate, aBadRequestGetsItsOwnCodeAndNothingIsTranslated) {
  const std::string thumbsUp =
      "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // two code points, one character
  const std::pair<json, const char*> rows[] = {
      {translateRequest(kAbsent), "INVALID_REQUEST"},
      // tab, VT, FF, CR, NEL, no-break space, ideographic space, line and paragraph separators
      {translateRequest("\t\v\f\r\xC2\x85\xC2\xA0\xE3\x80\x80\xE2\x80\xA8\xE2\x80\xA9"),
       "INVALID_REQUEST"},
      {translateRequest(repeated(thumbsUp, 8001)), "INVALID_REQUEST"},
      {translateRequest("hi", kAbsent), "INVALID_REQUEST"},
      {translateRequest("hi", "en", 3), "INVALID_REQUEST"},
      {translateRequest("hi", "en", "en"), "UNSUPPORTED_PAIR"},
      // Limits count user-perceived characters, not bytes or code points; an invisible
      // character is text.
      {translateRequest(repeated(thumbsUp, 8000), repeated("e\xCC\x81", 40)), "UNSUPPORTED_PAIR"},
      {translateRequest("\xE2\x80\x8B"), "UNSUPPORTED_PAIR"},
      {translateRequest("\x1C"), "UNSUPPORTED_PAIR"},  // a control, not whitespace
      // Tags reach the platform as sent; a direction without its models is not downloaded.
      {translateRequest("hi", "en", "EN"), "MODELS_NOT_INSTALLED"},
  };
  translation.statuses[{"en", "EN"}] = LanguageStatus::supported;
  for (const auto& [request, error] : rows) {
    EXPECT_EQ(respond(request), failure(error)) << request;
  }
  EXPECT_THAT(translation.sessions, IsEmpty());
}

TEST_F(Translate, aFailingEngineIsAnsweredWithTranslationFailed) {
  const PlatformError died{"apertium", 9, "pipeline died"};
  using Answer = Expected<std::string>;
  const std::pair<Status, ImmediateTranslator> rows[] = {
      {died, [](const std::string& text) -> Answer { return text; }},
      {Status(), [&](const std::string&) -> Answer { return died; }},
      // Each U+0001 is written as six bytes ("\u0001"): more than one frame holds.
      {Status(), [](const std::string&) -> Answer { return std::string(200000, '\x01'); }},
      {Status(), [](const std::string&) -> Answer { throw std::runtime_error("died"); }},
  };
  translation.statuses[{"en", "de"}] = LanguageStatus::installed;
  for (const auto& [prepare, translate] : rows) {
    translation.prepareAnswer = prepare;
    translation.immediateAnswer = translate;
    EXPECT_EQ(respond(translateRequest("hi")), failure("TRANSLATION_FAILED"));
  }
}

TEST_F(Translate, theUntrimmedTextIsTranslatedAndSimplifiedOnlyForZhHans) {
  const std::string traditional = "\xE6\xBC\xA2\xE8\xAA\x9E";  // 漢語
  const std::string simplified = "\xE6\xB1\x89\xE8\xAF\xAD";   // 汉语
  translation.immediateAnswer = [&](const std::string&) -> Expected<std::string> {
    return " " + traditional + "\n";
  };
  for (const auto& [target, expected] :
       {std::pair{"zh-Hans", simplified}, {"zh-CN", traditional}}) {
    translation.statuses[{"en", target}] = LanguageStatus::installed;
    EXPECT_EQ(respond(translateRequest("  Chinese\n", "en", target))["text"], " " + expected + "\n")
        << target;
    EXPECT_THAT(translation.sessions.back()->requests, ElementsAre("  Chinese\n"));
  }
}

TEST_F(Translate, warmSessionsAreReusedPerDirectionWithinABoundAndDroppedWhenTheyFail) {
  host::WarmSessions kept(2);
  warm = &kept;
  translation.immediateAnswer = [](const std::string& text) -> Expected<std::string> {
    if (text == "fail") {
      return PlatformError{"apertium", 9, "pipeline died"};
    }
    return text;
  };
  for (const char* target : {"de", "fr", "it"}) {
    translation.statuses[{"en", target}] = LanguageStatus::installed;
  }
  // Each row: the direction asked for, and how many sessions have been made after it.
  const std::pair<std::string, std::size_t> rows[] = {
      {"de", 1}, {"fr", 2}, {"de", 2}, {"it", 3} /* ends fr */, {"fr", 4} /* ends de */, {"it", 4}};
  for (const auto& [target, made] : rows) {
    EXPECT_EQ(respond(translateRequest("hi", "en", target))["text"], "hi") << target;
    EXPECT_EQ(translation.sessions.size(), made) << target;
  }
  const auto ended = Pointee(Field(&FakeTranslationSession::cancelled, true));
  EXPECT_THAT(translation.sessions, ElementsAre(ended, ended, Not(ended), Not(ended)));
  EXPECT_EQ(respond(translateRequest("fail", "en", "it")), failure("TRANSLATION_FAILED"));
  EXPECT_EQ(respond(translateRequest("hi", "en", "it"))["text"], "hi");
  EXPECT_EQ(translation.sessions.size(), 5U) << "a failed session is not used again";
  kept.clear();
  EXPECT_THAT(translation.sessions, Each(ended));
}

}  // namespace
}  // namespace quelvar::testing
