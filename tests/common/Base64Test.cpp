// Strict base64: what decodes, what is refused, and agreement with the encoder.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/Text.hpp"

namespace quelvar {
namespace {

using namespace std::string_literals;

TEST(Base64, onlyPaddedStandardTextDecodes) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"", ""}, {"TWE=", "Ma"}, {"TQ==", "M"}, {"+/+/", "\xFB\xFF\xBF"}, {"SGVsbG8h", "Hello!"}};
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(decodeBase64(text), bytes) << text;
  }
  // Missing, short, excess or inner padding, white space, other alphabets, a NUL.
  for (const std::string& text : {"TQ"s, "TQ="s, "T==="s, "===="s, "TQ==TQ=="s, "TW=u"s, "TW Fu"s,
                                  "TWFu\n"s, "TWF_"s, "TWF*"s, "TWF\xC3"s, "TW\0u"s}) {
    EXPECT_EQ(decodeBase64(text), std::nullopt) << text;
  }
}

TEST(Base64, decodingInvertsTheEncoderForEveryByteAndLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) {
    bytes += static_cast<char>(i);
  }
  for (std::size_t length : {0, 1, 2, 3, 4, 256}) {
    EXPECT_EQ(decodeBase64(encodeBase64(bytes.substr(256 - length))), bytes.substr(256 - length));
  }
}

}  // namespace
}  // namespace quelvar
