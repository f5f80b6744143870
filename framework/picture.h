#pragma once

// Display pictures: how a value is shown in an entry, a list column or a
// report, and how what the user types is read back through the same picture.
//
// The leading '@' is optional and letters may be in either case, so "@n_6",
// "N_6" and "@N_6" are one picture. Supported:
//
//   @N[-][fill]size[.places][-][B]   numbers
//     size    total width; places decimals, rounded half away from zero (of
//             the decimal a double stands for, as typed, not of its binary
//             approximation)
//     -       leading minus; a trailing '-' puts the minus after the number
//             and keeps that position blank for positive values, so columns
//             line up. Without either, a negative value still shows a
//             leading minus: hiding it would turn a debt into a credit.
//     fill    '0' leading zeros, '*' leading asterisks (cheque protection),
//             '_' leading blanks; any fill switches off the thousands commas
//             that a picture without fill puts in ("1,234,567.89"). With '0'
//             or '*' the minus goes before the fill.
//     B       all blanks when the value, once rounded, is zero
//     A value that does not fit shows as size '#'.
//   @Sn      text cut to n characters (never inside a UTF-8 sequence); not padded
//   @Dn      dates: D1 mm/dd/yy, D2 mm/dd/yyyy, D5 dd/mm/yy, D6 dd/mm/yyyy,
//            D9 yy/mm/dd, D10 yyyy/mm/dd, D11 yymmdd, D12 yyyymmdd; day and
//            month always with two digits. An optional '0' before n is
//            accepted; a '.', '-' or '_' (blank) after n changes the separator;
//            B is accepted. Date 0 shows as blanks; a day number outside the
//            calendar as '#'.
//   @Tn      times: T1 hh:mm, T2 hhmm, T3 hh:mmAM, T4 hh:mm:ss, T5 hhmmss,
//            T6 hh:mm:ssAM (T3 and T6 on the 12-hour clock). Time 0 shows as
//            blanks; shown times are cut, not rounded, to the picture.
//   @P...P   pattern: '#' a digit always shown (0 when missing), '<' a digit
//            shown only when the number reaches it, anything else literal.
//            A literal between digit positions shows only after a digit, so
//            "pHoja <<<#p" of 5 is "Hoja 5" and "@P<<,<<#P" of 12345 is
//            "12,345". Negative or too long numbers show as '#'.
//
// Fixed-width pictures (numbers, dates, times) always give exactly their
// width, blanks included; strings and patterns give just their text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dictionary/record.h"
#include "dictionary/status.h"

namespace velmora {

enum class PictureKind { Number, String, Date, Time, Pattern };

struct Picture {
  PictureKind kind = PictureKind::String;
  int size = 0;    // Number: total width; String: characters
  int places = 0;  // Number: decimals
  bool leadingSign = false;
  bool trailingSign = false;
  char fill = 0;  // Number: 0 (blanks, grouped), '0', '*', '_' (blanks)
  bool blankWhenZero = false;
  int style = 0;         // Date: the n of Dn; Time: the n of Tn
  char separator = '/';  // Date
  std::string pattern;   // Pattern: the text between the two p's

  bool operator==(const Picture&) const = default;
};

// nullopt for an unknown or malformed picture.
std::optional<Picture> compilePicture(std::string_view text);

// Numbers accept any numeric Value (and text holding a plain number); dates,
// times and patterns take whole numbers; @S shows any Value as text. A value
// the picture cannot show gives the picture's width in '#'.
std::string format(const Picture& p, const Value& v);

// Compiles once per picture text (cached); an invalid picture is a
// programming error and throws std::invalid_argument.
std::string formatPicture(std::string_view picture, const Value& v);
std::string formatPicture(std::string_view picture, double v);

// Reads typed text into the picture's kind of value: double for numbers with
// places, int64 for integer numbers, dates (day number), times and patterns,
// string for @S. Empty (or blank) text is 0 / "".
//
// Numbers take surrounding blanks, thousands commas in groups of three (so
// "1,5" is refused rather than read as 15), a leading or trailing minus when
// the picture has a sign, the picture's '*' fill, and more decimals than the
// picture has (rounded); an integer picture refuses a fraction. Dates take
// the picture's field order with '/', '-', '.' or blank between the parts, or
// the digits alone (6 or 8), and a two- or four-digit year (see expandYear).
// Times take h, h:mm or h:mm:ss (':' or '.'), or the digits alone, with an
// optional AM/PM. @S text longer than the picture is cut, not refused.
//
// Anything else is refused with err::ValueRefused and a Spanish text; `out`
// is then left unchanged.
Status parse(const Picture& p, std::string_view text, Value& out);

// Display width in characters.
int width(const Picture& p);

// A typed two-digit year means the year in the hundred years that end twenty
// years after the reference year (today's year when parsing): with 2025,
// "45" is 2045 and "46" is 1946.
int expandYear(int twoDigitYear, int referenceYear);

}  // namespace velmora
