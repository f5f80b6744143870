#include "reports/amount_words.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <system_error>

namespace velmora {

namespace {

constexpr std::size_t kFieldWidth = 16;
constexpr std::size_t kPoint = 13;  // index of the decimal point

// Index 0 is never spelled; the teens are indexed by the units digit.
constexpr std::array<std::string_view, 10> kUnits = {"",      "UN",   "DOS",   "TRES", "CUATRO",
                                                     "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE"};
constexpr std::array<std::string_view, 10> kTeens = {
    "DIEZ",   "ONCE",        "DOCE",         "TRECE",       "CATORCE",
    "QUINCE", "DIEZ Y SEIS", "DIEZ Y SIETE", "DIEZ Y OCHO", "DIEZ Y NUEVE"};
constexpr std::array<std::string_view, 10> kTens = {"",         "",          "VEINTE",  "TREINTA",
                                                    "CUARENTA", "CINCUENTA", "SESENTA", "SETENTA",
                                                    "OCHENTA",  "NOVENTA"};
constexpr std::array<std::string_view, 10> kHundreds = {
    "",           "CIEN",         "DOS CIENTOS", "TRES CIENTOS", "CUATRO CIENTOS",
    "QUINIENTOS", "SEIS CIENTOS", "SETECIENTOS", "OCHO CIENTOS", "NOVECIENTOS"};

bool isFill(char c) { return c == '*' || c == ' '; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

Status refuse(std::string& text, std::string message) {
  text.clear();
  return Status::error(err::ValueRefused, std::move(message));
}

void addWord(std::string& text, std::string_view word) {
  text += ' ';
  text += word;
}

// Returns whether the group has any non-zero digit.
bool spellGroup(std::string& text, int h, int t, int u) {
  if (h > 0) {
    addWord(text, kHundreds[h]);
    if (h == 1 && (t > 0 || u > 0)) text += "TO";
  }
  if (t == 1) {
    addWord(text, kTeens[u]);
  } else if (t >= 2) {
    addWord(text, kTens[t]);
    if (u > 0) {
      addWord(text, "Y");
      addWord(text, kUnits[u]);
    }
  } else if (u > 0) {
    addWord(text, kUnits[u]);
  }
  return h > 0 || t > 0 || u > 0;
}

// picture: N*16.2
// Stand-in for the picture engine: the shortest text that reads back as the
// same double, rounded half away from zero in decimal, so 1.005 and 2.675 round
// as typed. Takes a finite, non-negative amount.
std::string amountField(double amount) {
  const std::string overflow(kFieldWidth, '#');
  // Fixed notation of a tiny double runs to ~330 characters.
  char buf[1100];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, amount, std::chars_format::fixed);
  if (ec != std::errc{}) return overflow;
  std::string_view shortest(buf, std::size_t(end - buf));
  std::size_t point = shortest.find('.');
  std::string digits(shortest.substr(0, point));
  std::string fraction =
      point == std::string_view::npos ? std::string() : std::string(shortest.substr(point + 1));
  fraction.resize(3, '0');
  digits += fraction.substr(0, 2);  // now in cents
  if (fraction[2] >= '5') {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0)
      digits.insert(digits.begin(), '1');
    else
      ++digits[i - 1];
  }
  std::string cents = digits.substr(digits.size() - 2);
  std::string units = digits.substr(0, digits.size() - 2);
  std::size_t first = units.find_first_not_of('0');
  units = first == std::string::npos ? "0" : units.substr(first);
  if (units.size() > kPoint) return overflow;
  return std::string(kPoint - units.size(), '*') + units + '.' + cents;
}

}  // namespace

Status amountInWords(std::string_view field, std::string& text) {
  if (field.size() != kFieldWidth)
    return refuse(text, "El campo del importe debe tener 16 caracteres y tiene " +
                            std::to_string(field.size()));
  const std::string shown(field);
  if (field.find('#') != std::string_view::npos)
    return refuse(text,
                  "El importe no cabe en el campo de 16 caracteres: no se puede escribir "
                  "con letra");
  if (field.find('-') != std::string_view::npos)
    return refuse(text, "No se puede escribir con letra un importe negativo (" + shown + ")");

  std::size_t i = 0;
  while (i < kPoint && isFill(field[i])) ++i;
  while (i < kPoint && isDigit(field[i])) ++i;
  if (i != kPoint || field[kPoint] != '.' || !isDigit(field[14]) || !isDigit(field[15]))
    return refuse(text, "El campo del importe \"" + shown +
                            "\" no es válido: se esperan 13 posiciones enteras, el punto y dos "
                            "decimales");
  // The four groups stop at hundreds of thousands of millions; the digit above
  // them would silently drop out of the words.
  if (isDigit(field[0]) && field[0] != '0')
    return refuse(
        text, "El importe " + shown + " pasa de 999999999999.99 y no se puede escribir con letra");

  // Digit at position p counted from the right (1 and 2 the cents, 3 the point).
  auto d = [&](int p) {
    char c = field[kFieldWidth - std::size_t(p)];
    return isDigit(c) ? c - '0' : 0;
  };
  std::string words;
  auto group = [&](int top) { return spellGroup(words, d(top), d(top - 1), d(top - 2)); };

  if (group(15)) words += " MIL";
  group(12);
  if (d(10) == 1 || !words.empty()) words += " MILLON";
  if (d(10) > 1 || (!words.empty() && words != " UN MILLON")) words += "ES";
  if (group(9)) words += " MIL";
  group(6);
  if (!words.empty()) words += " PESOS";
  // Below one peso the words are empty and the parenthesis stands alone.
  if (words.empty())
    words = "(";
  else
    words[0] = '(';
  words += ' ';
  words += field.substr(14, 2);
  words += "/100. M.N.)";
  text = std::move(words);
  return Status::success();
}

Status amountInWords(double amount, std::string& text) {
  if (!std::isfinite(amount)) return refuse(text, "El importe no es un número válido");
  // Rounds to zero cents: zero, whatever the sign (also -0.0).
  if (amount <= 0 && amount > -0.005) amount = 0.0;
  if (amount < 0) return refuse(text, "No se puede escribir con letra un importe negativo");
  return amountInWords(amountField(amount), text);
}

}  // namespace velmora
