// Plain text in and out of Apertium's stream format.
#pragma once

#include <string>
#include <string_view>

namespace quelvar::apertium {

// A text split into its leading whitespace, the part worth translating and its trailing whitespace.
struct OuterWhitespace {
  std::string_view leading;
  std::string_view core;
  std::string_view trailing;
};

// Unicode whitespace counts; bytes that are not valid UTF-8 count as text.
OuterWhitespace splitOuterWhitespace(std::string_view text);

// One segment ready for the pipeline (without its NUL): the text in Unicode NFC, reserved
// characters escaped, NULs made spaces and a sentence end appended so that the tagger sees a
// complete sentence.
std::string encodeSegment(std::string_view text);

// Whether an answer can belong to an encoded segment: blanks pass through every program, so the
// blank that closes each segment comes back. A program that ends flushes an empty answer instead.
bool isAnswerToSegment(std::string_view answer);

// The plain text of one answer: escapes resolved, blanks opened and the appended sentence end
// removed again. Unknown-word marks are not touched here: the generator leaves them out.
std::string decodeSegment(std::string_view answer);

}  // namespace quelvar::apertium
