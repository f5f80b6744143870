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

// One character, and one that cannot be confused with a quoted text.
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

  // Creates the file anew and writes the header line. The errors carry the
  // texts the user is shown: "Error Creating " / "Error Opening " /
  // "Error Adding Header to " + the file name and the system's error.
  Status create(const std::string& path, char delimiter, const std::vector<std::string>& titles);
  // "Error Adding Record to " on failure.
  Status add(const std::vector<std::string>& values);
  Status close();

 private:
  Status write(const std::string& line, const char* what);
  std::FILE* f_ = nullptr;
  std::string path_;
  char delimiter_ = ';';
};

}  // namespace velmora::reports
