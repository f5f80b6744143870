// velmora letra AMOUNT: the amount in words as the cheques print it.

#include <fmt/core.h>

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "programs/velmora/commands.h"
#include "reports/amount_words.h"

namespace velmora::cli {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal as a user types it: "2500000", "1234.5", ".75", "1,234.50",
// with an optional minus sign (refused later with its own message). Commas
// only as thousands grouping, so "1,5" is not read as one and a half.
std::optional<double> parseAmount(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  std::string plain;
  if (!s.empty() && s.front() == '-') {
    plain += '-';
    s.remove_prefix(1);
  }
  std::string_view whole = s.substr(0, s.find('.'));
  std::string_view fraction =
      whole.size() < s.size() ? s.substr(whole.size() + 1) : std::string_view();
  if (whole.size() == s.size() ? whole.empty() : fraction.empty()) return std::nullopt;

  std::size_t run = 0;  // digits since the last comma
  bool grouped = false;
  for (char c : whole) {
    if (c == ',') {
      if (run == 0 || run > 3 || (grouped && run != 3)) return std::nullopt;
      grouped = true;
      run = 0;
    } else if (isDigit(c)) {
      ++run;
      plain += c;
    } else {
      return std::nullopt;
    }
  }
  if (grouped && run != 3) return std::nullopt;
  if (whole.empty()) plain += '0';
  plain += '.';
  for (char c : fraction) {
    if (!isDigit(c)) return std::nullopt;
    plain += c;
  }
  if (plain.back() == '.') plain += '0';

  double value = 0;
  auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc{} || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

}  // namespace

void addLetraCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "letra", "Escribe un importe con letra, como en los cheques: (UN MIL PESOS 00/100. M.N.)");
  static std::string amount;
  cmd->add_option("IMPORTE", amount, "Importe en pesos: 2500000, 1234.5 o 1,234.50")
      ->type_name("NUMERO")
      ->required();
  cmd->callback([] {
    std::optional<double> value = parseAmount(amount);
    if (!value) {
      fmt::print(stderr,
                 "\"{}\" no es un importe válido: escriba el número con punto decimal, "
                 "por ejemplo 1234.50 o 1,234.50\n",
                 amount);
      std::exit(2);
    }
    std::string text;
    Status st = amountInWords(*value, text);
    if (!st) {
      fmt::print(stderr, "{}\n", st.text);
      std::exit(2);
    }
    fmt::print("{}\n", text);
  });
}

}  // namespace velmora::cli
