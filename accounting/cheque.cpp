#include "accounting/cheque.h"

#include <algorithm>
#include <array>

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "framework/picture.h"
#include "reports/amount_words.h"

namespace velmora::accounting {

namespace {

constexpr std::array<const char*, 12> kMonths = {"ENERO",      "FEBRERO", "MARZO",     "ABRIL",
                                                 "MAYO",       "JUNIO",   "JULIO",     "AGOSTO",
                                                 "SEPTIEMBRE", "OCTUBRE", "NOVIEMBRE", "DICIEMBRE"};

// The page: a typewriter pitch that reads well on a cheque, on a letter
// sheet across; what lies past its right edge is lost as on the printer.
constexpr int kFont = 35;
constexpr int kLineHeight = 42;
constexpr int kLeft = 50, kTop = 50;
constexpr int kPageWidth = 2794, kPageHeight = 2159;

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class ChequeReport : public reports::Report {
 public:
  ChequeReport(std::int32_t bank, std::vector<std::string> lines)
      : bank_(bank), lines_(std::move(lines)) {
    d_.procedure = "CHEQUE";
    d_.title = "CHEQUE";
    d_.table = "BANC";
    d_.key = "BAN:KEYCTA";
    d_.rangeComponents = 1;
    d_.pageWidth = kPageWidth, d_.pageHeight = kPageHeight;
    d_.topMargin = kTop, d_.bottomMargin = kTop;
    d_.fontHeight = kFont;
    for (int i = 0; i < kChequeLines; ++i)
      d_.detail.items.push_back(reports::field(name(i), "", kLeft, i * kLineHeight));
    d_.detail.height = kChequeLines * kLineHeight;
  }

  const reports::ReportDescription& description() const override { return d_; }
  void range(Record& primary) override { primary.as<BAN>().CTA = bank_; }
  std::optional<Value> value(std::string_view source) const override {
    for (int i = 0; i < kChequeLines; ++i)
      if (source == name(i))
        return Value(std::size_t(i) < lines_.size() ? trimmed(lines_[std::size_t(i)])
                                                    : std::string());
    return std::nullopt;
  }

 private:
  static std::string name(int i) { return "RENGLON" + std::to_string(i + 1); }
  reports::ReportDescription d_;
  std::int32_t bank_;
  std::vector<std::string> lines_;
};

}  // namespace

std::string dateInWords(std::int32_t date) {
  const int month = dates::monthOf(date);
  if (month < 1 || month > 12) return {};
  return std::to_string(dates::dayOf(date)) + " DE " + kMonths[std::size_t(month - 1)] + " DE " +
         std::to_string(dates::yearOf(date));
}

std::vector<std::string> splitWords(const std::string& text, std::size_t width) {
  std::vector<std::string> parts;
  std::string rest = trimmed(text);
  while (rest.size() > width) {
    std::size_t cut = rest.rfind(' ', width - 1);
    if (cut == std::string::npos || cut == 0) cut = width;  // one word longer than the line
    parts.push_back(trimmed(rest.substr(0, cut)));
    rest = rest.substr(cut);
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                   : rest.find_first_not_of(' '));
  }
  if (!rest.empty() || parts.empty()) parts.push_back(rest);
  return parts;
}

Status chequeLines(const BAN& bank, const ChequeData& data, std::vector<std::string>& lines) {
  lines.clear();
  std::string words;
  if (Status st = amountInWords(data.amount.toDouble(), words); !st) return st;

  // Columns hold Windows-1252 characters: compose in that form, so a name
  // with accents takes one column a letter, and turn back at the end.
  std::vector<std::string> page(kChequeLines, std::string(kChequeWidth, ' '));
  auto put = [&](int item, int lineOffset, const std::string& utf8) {
    const int row = bank.ROW[std::size_t(item)] + lineOffset;
    if (bank.ROW[std::size_t(item)] == 0 || row > kChequeLines) return;
    // A character with no Windows-1252 form cannot be printed: shown as '?'.
    cp1252::Encoded e = cp1252::fromUtf8(utf8);
    std::string text = e.ok ? e.bytes : std::string(cp1252::utf8Length(utf8), '?');
    std::string& line = page[std::size_t(row - 1)];
    const std::size_t at = std::size_t(std::max<int>(bank.COL[std::size_t(item)], 1) - 1);
    if (at >= kChequeWidth) return;
    line.replace(at, std::min(text.size(), kChequeWidth - at), text, 0, kChequeWidth - at);
  };
  put(0, 0, dateInWords(data.date));
  // The payee stops short of the amount, but always has room for 30.
  const int room = std::max<int>(int(bank.COL[3]) - int(bank.COL[1]) - 2, 30);
  put(1, 0, cp1252::utf8Prefix(data.payee, std::size_t(room)));
  const std::vector<std::string> parts = splitWords(words);
  for (std::size_t i = 0; i < parts.size(); ++i) put(2, int(i), parts[i]);
  put(3, 0, formatPicture("@n14.2", Value(data.amount)));
  put(4, 0, data.message);
  for (const std::string& line : page) lines.push_back(cp1252::toUtf8(line));
  return Status::success();
}

std::unique_ptr<reports::Report> makeChequeReport(std::int32_t bank,
                                                  std::vector<std::string> lines) {
  return std::make_unique<ChequeReport>(bank, std::move(lines));
}

}  // namespace velmora::accounting
