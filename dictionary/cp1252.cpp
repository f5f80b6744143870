#include "dictionary/cp1252.h"

#include <array>
#include <cstdint>

namespace velmora::cp1252 {
namespace {

constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the character at `pos` and returns how many bytes it takes. On
// malformed input `c` is kInvalid and the length is 1, so callers can resync.
std::size_t decode(std::string_view s, std::size_t pos, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  c = kInvalid;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  std::size_t len;
  char32_t v;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, v = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, v = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, v = b0 & 0x07, min = 0x10000;
  } else {
    return 1;  // stray continuation byte, C0/C1 overlong lead, or F5..FF
  }
  if (s.size() - pos < len) return 1;
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 1;
    v = (v << 6) | (b & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 1;
  c = v;
  return len;
}

}  // namespace

char32_t toUnicode(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) return kHigh[b - 0x80];
  return b;
}

int fromUnicode(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;  // includes the C1 controls whose bytes the code page reuses
}

std::string toUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) appendUtf8(out, toUnicode(static_cast<unsigned char>(ch)));
  return out;
}

Encoded fromUtf8(std::string_view utf8) {
  Encoded r;
  r.bytes.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t c;
    const std::size_t len = decode(utf8, pos, c);
    if (c == kInvalid) {
      return Encoded{false, {}, "secuencia UTF-8 inválida"};
    }
    const int b = fromUnicode(c);
    if (b < 0) {
      return Encoded{false, {}, std::string(utf8.substr(pos, len))};
    }
    r.bytes += static_cast<char>(b);
    pos += len;
  }
  r.ok = true;
  return r;
}

long encodeInto(std::string_view utf8, unsigned char* out, std::size_t width, std::string* bad) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < utf8.size() && n < width;) {
    const auto b0 = static_cast<unsigned char>(utf8[pos]);
    if (b0 < 0x80) {
      out[n++] = b0;
      ++pos;
      continue;
    }
    char32_t c;
    const std::size_t len = decode(utf8, pos, c);
    const int b = c == kInvalid ? -1 : fromUnicode(c);
    if (b < 0) {
      if (bad)
        *bad = c == kInvalid ? "secuencia UTF-8 inválida" : std::string(utf8.substr(pos, len));
      return -1;
    }
    out[n++] = static_cast<unsigned char>(b);
    pos += len;
  }
  return static_cast<long>(n);
}

std::size_t utf8Length(std::string_view utf8) {
  std::size_t n = 0;
  char32_t c;
  for (std::size_t pos = 0; pos < utf8.size(); pos += decode(utf8, pos, c)) ++n;
  return n;
}

std::string utf8Prefix(std::string_view utf8, std::size_t chars) {
  std::size_t pos = 0;
  char32_t c;
  for (std::size_t n = 0; n < chars && pos < utf8.size(); ++n) pos += decode(utf8, pos, c);
  return std::string(utf8.substr(0, pos));
}

unsigned char upper(unsigned char b) {
  if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 0x20);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<unsigned char>(b - 0x20);
  switch (b) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return b;
  }
}

unsigned char lower(unsigned char b) {
  if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + 0x20);
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<unsigned char>(b + 0x20);
  switch (b) {
    case 0x8A: return 0x9A;  // Š
    case 0x8C: return 0x9C;  // Œ
    case 0x8E: return 0x9E;  // Ž
    case 0x9F: return 0xFF;  // Ÿ
    default: return b;
  }
}

std::string upperUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    char32_t c;
    const std::size_t len = decode(utf8, pos, c);
    const int b = c == kInvalid ? -1 : fromUnicode(c);
    const unsigned char u = b < 0 ? 0 : upper(static_cast<unsigned char>(b));
    if (b >= 0 && u != b) {
      appendUtf8(out, toUnicode(u));
    } else {
      out.append(utf8.substr(pos, len));
    }
    pos += len;
  }
  return out;
}

}  // namespace velmora::cp1252
