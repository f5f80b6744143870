#pragma once

// The export file of a report run: a header line of the column titles in
// double quotes joined by commas, then one line per record with the
// delimiter the user chose. Written in Windows-1252, the encoding of the
// data, so that a spreadsheet set for Spanish opens the accents right.

#include <cstdio>
#include <string>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"

namespace velmora::reports {

// The file an export name gives: the file name loses its extension (from
// its first '.') and gains ".CSV"; a dot in a folder name stays. Empty when
// the name is too short to export (fewer than 3 characters).
std::string exportFileName(const std::string& name);

// One character, and one that cannot be confused with a quoted text or a
// number (a digit, '.', '-', a blank).
Status checkDelimiter(const std::string& delimiter);

// A value as a data line carries it: texts at their full width (`width`
// when not 0), numbers in plain decimal form. A text holding the delimiter,
// a double quote or a line break is quoted, with inner quotes doubled, so
// the line keeps its columns.
std::string exportValue(const Value& v, int width, char delimiter);

class CsvExport {
 public:
  CsvExport() = default;
  ~CsvExport();
  CsvExport(const CsvExport&) = delete;
  CsvExport& operator=(const CsvExport&) = delete;

  // What was being done when the file failed.
  enum class Step { Create, Open, Header, Record };

  // Creates the file anew and writes the header line. The errors carry the
  // texts the user is shown, in Spanish: what could not be done, to which
  // file, what happened (a link, a full disk, a file too big) and what to
  // do about it.
  Status create(const std::string& path, char delimiter, const std::vector<std::string>& titles);
  Status add(const std::vector<std::string>& values);
  Status close();

 private:
  Status write(const std::string& line, Step step);
  std::FILE* f_ = nullptr;
  std::string path_;
  char delimiter_ = ';';
};

}  // namespace velmora::reports
