// Strict base64: what decodes, what is refused, and agreement with the encoder.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/Text.hpp"

namespace quelvar {
namespace {

TEST(DecodeBase64, DecodesPaddedStandardText) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"AAAA", std::string(3, '\0')},
      {"+/+/", "\xFB\xFF\xBF"},
      {"SGVsbG8sIFdvcmxkIQ==", "Hello, World!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decodeBase64(c.text), std::optional<std::string>(c.bytes)) << c.text;
  }
}

TEST(DecodeBase64, RefusesAnythingElse) {
  const std::string refused[] = {
      "TQ",            // padding missing
      "TWE",           // padding missing
      "TQ=",           // padding short
      "T===",          // too much padding
      "====",          // padding only
      "TQ==TQ==",      // padding inside
      "TW=u",          // padding inside a group
      "TW Fu",         // space
      "TWFu\n",        // trailing line break
      "TW\nFu",        // line break inside
      "TWFu\r\nTWFu",  // CRLF between groups
      "\tTWFu",        // leading tab
      "-_Fu",          // URL-safe alphabet
      "TWF_",          // URL-safe alphabet
      "TWF*",          // punctuation
      "TWF\xC3",       // non-ASCII byte
      std::string("TW\0u", 4),
  };
  for (const std::string& text : refused) {
    EXPECT_EQ(decodeBase64(text), std::nullopt) << text;
  }
}

TEST(DecodeBase64, InvertsTheEncoderForEveryByteAndLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) {
    bytes += static_cast<char>(i);
  }
  for (std::size_t length = 0; length <= 6; ++length) {
    const std::string piece = bytes.substr(250 - length, length);
    EXPECT_EQ(decodeBase64(encodeBase64(piece)), piece) << length;
  }
  EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes);
}

}  // namespace
}  // namespace quelvar
