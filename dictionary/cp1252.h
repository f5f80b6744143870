#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Stored strings are fixed-width Windows-1252; everything in C++ is UTF-8.
namespace velmora::cp1252 {

// The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control of the same number, so no byte is ever lost.
char32_t toUnicode(unsigned char b);

// The byte for c, or -1 when c has no Windows-1252 form.
int fromUnicode(char32_t c);

std::string toUtf8(std::string_view bytes);

struct Encoded {
  bool ok = false;
  std::string bytes;
  // On failure: the refused character as UTF-8, or a description when the
  // input is not valid UTF-8. `bytes` is then empty.
  std::string bad;
};

// Malformed UTF-8 (overlong forms, surrogates, truncated sequences, code
// points above U+10FFFF) is refused rather than passed through.
Encoded fromUtf8(std::string_view utf8);

// Encodes at most `width` characters of utf8 straight into out, without
// allocating: the hot path of storing records. Returns the bytes written, or
// -1 with the refused character (or a description) in *bad.
long encodeInto(std::string_view utf8, unsigned char* out, std::size_t width, std::string* bad);

// Both count a malformed byte as one character, so that cutting damaged
// text still terminates and never splits a well-formed character.
std::size_t utf8Length(std::string_view utf8);
std::string utf8Prefix(std::string_view utf8, std::size_t chars);

// Case folding over every Windows-1252 letter, for case-insensitive keys.
// ß and µ have no single-byte upper form and stay as they are.
unsigned char upper(unsigned char b);
unsigned char lower(unsigned char b);

// Applies upper() to the characters that Windows-1252 can hold; anything
// else, including malformed bytes, is copied unchanged.
std::string upperUtf8(std::string_view utf8);

}  // namespace velmora::cp1252
