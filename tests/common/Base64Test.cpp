// Strict base64: what decodes, what is refused, and agreement with the encoder.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "common/Text.hpp"

namespace quelvar {
namespace {

TEST(Base64, onlyPaddedStandardTextDecodes) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"", ""},
      {"TWFu", "Man"},
      {"TWE=", "Ma"},
      {"TQ==", "M"},
      {"AAAA", std::string(3, '\0')},
      {"+/+/", "\xFB\xFF\xBF"},
      {"SGVsbG8sIFdvcmxkIQ==", "Hello, World!"},
      {"TQ", std::nullopt},        // padding missing
      {"TQ=", std::nullopt},       // padding short
      {"T===", std::nullopt},      // too much padding
      {"====", std::nullopt},      // padding only
      {"TQ==TQ==", std::nullopt},  // padding inside
      {"TW=u", std::nullopt},      // padding inside a group
      {"TW Fu", std::nullopt},     // space
      {"TWFu\n", std::nullopt},    // trailing line break
      {"TWF_", std::nullopt},      // URL-safe alphabet
      {"TWF*", std::nullopt},      // punctuation
      {"TWF\xC3", std::nullopt},   // non-ASCII byte
      {std::string("TW\0u", 4), std::nullopt},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(decodeBase64(text), bytes) << text;
  }
}

TEST(Base64, decodingInvertsTheEncoderForEveryByteAndLength) {
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
