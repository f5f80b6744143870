#include "reports/amount_words.h"

#include "framework/picture.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <string>

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
  // The field exactly as a cheque layout formats it.
  return amountInWords(formatPicture("N*16.2", amount), text);
}

}  // namespace velmora
