#pragma once

// Pieces the picture files share: the number side (picture.cpp) and the
// date and time side (picture_dates.cpp). Not for use outside them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/picture.h"

namespace velmora::picture_detail {

char lowerAscii(char c);
bool isDigit(char c);
std::string_view trim(std::string_view s);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool readInt(std::string_view s, std::size_t& i, int& out);
std::string hashes(const Picture& p);
Status refused(std::string text);
std::string quoted(std::string_view s);
std::optional<std::int64_t> wholeOf(const Value& v);
std::string twoDigits(int n);

std::string formatDate(const Picture& p, const Value& v);
Status parseDate(const Picture& p, std::string_view typed, Value& out);
std::string formatTime(const Picture& p, const Value& v);
Status parseTime(const Picture& p, std::string_view typed, Value& out);
// Characters a date or time picture takes; 0 for an unknown style.
int dateOrTimeWidth(const Picture& p);
std::optional<Picture> compileDateOrTime(std::string_view s, PictureKind kind);

}  // namespace velmora::picture_detail
