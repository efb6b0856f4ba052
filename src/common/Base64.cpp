// Strict base64 for audio payloads: one table lookup per character, no tolerance for whitespace.
#include <array>
#include <cstdint>

#include "common/Text.hpp"

namespace quelvar {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  table.fill(kInvalid);
  for (std::uint8_t i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = i;
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecode = makeDecodeTable();

std::uint8_t sextet(char c) {
  return kDecode[static_cast<unsigned char>(c)];
}

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') {
    padding = text[text.size() - 2] == '=' ? 2 : 1;
  }
  std::string bytes(text.size() / 4 * 3 - padding, '\0');
  const std::size_t fullGroups = padding == 0 ? text.size() / 4 : text.size() / 4 - 1;
  const char* in = text.data();
  char* out = bytes.data();
  for (std::size_t group = 0; group < fullGroups; ++group, in += 4, out += 3) {
    const std::uint8_t a = sextet(in[0]);
    const std::uint8_t b = sextet(in[1]);
    const std::uint8_t c = sextet(in[2]);
    const std::uint8_t d = sextet(in[3]);
    // Valid sextets are below 64; the invalid marker and nothing else has the top bits set.
    if (((a | b | c | d) & 0xC0U) != 0) {
      return std::nullopt;
    }
    const std::uint32_t triple = (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) |
                                 (std::uint32_t{c} << 6) | std::uint32_t{d};
    out[0] = static_cast<char>(triple >> 16);
    out[1] = static_cast<char>(triple >> 8);
    out[2] = static_cast<char>(triple);
  }
  if (padding == 0) {
    return bytes;
  }
  // The last group holds 2 (with "==") or 3 (with "=") alphabet characters.
  const std::uint8_t a = sextet(in[0]);
  const std::uint8_t b = sextet(in[1]);
  const std::uint8_t c = padding == 1 ? sextet(in[2]) : 0;
  if (((a | b | c) & 0xC0U) != 0) {
    return std::nullopt;
  }
  const std::uint32_t triple =
      (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6);
  out[0] = static_cast<char>(triple >> 16);
  if (padding == 1) {
    out[1] = static_cast<char>(triple >> 8);
  }
  return bytes;
}

std::string encodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t triple = (std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16) |
                                 (std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8) |
                                 std::uint32_t{static_cast<unsigned char>(bytes[i + 2])};
    text += kAlphabet[(triple >> 18) & 0x3FU];
    text += kAlphabet[(triple >> 12) & 0x3FU];
    text += kAlphabet[(triple >> 6) & 0x3FU];
    text += kAlphabet[triple & 0x3FU];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t triple = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
    if (rest == 2) {
      triple |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
    }
    text += kAlphabet[(triple >> 18) & 0x3FU];
    text += kAlphabet[(triple >> 12) & 0x3FU];
    text += rest == 2 ? kAlphabet[(triple >> 6) & 0x3FU] : '=';
    text += '=';
  }
  return text;
}

}  // namespace quelvar
