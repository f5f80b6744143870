#pragma once

// The cheque of a posted payment: a page of 20 text lines of 250 characters
// in a fixed-pitch font, each of the bank's five items (date, payee,
// amount in words, amount, message) at the bank's own line and column.
// Printed, previewed and saved through the report engine.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "dictionary/storage.h"
#include "reports/report.h"

namespace velmora::accounting {

inline constexpr int kChequeLines = 20;
inline constexpr std::size_t kChequeWidth = 250;

struct ChequeData {
  std::int32_t date = 0;
  std::string payee;
  Decimal amount;
  std::string message;
};

// "9 DE DICIEMBRE DE 2026".
std::string dateInWords(std::int32_t date);

// The amount in words in parts of at most `width` characters, each cut at
// the last blank before it.
std::vector<std::string> splitWords(const std::string& text, std::size_t width = 60);

// The 20 lines, blank-filled to 250. Refused (err::ValueRefused, the lines
// left empty) when the amount cannot be written in words.
Status chequeLines(const BAN& bank, const ChequeData& data, std::vector<std::string>& lines);

// The cheque as a report of the bank's record.
std::unique_ptr<reports::Report> makeChequeReport(std::int32_t bank,
                                                  std::vector<std::string> lines);

}  // namespace velmora::accounting
