#pragma once

// Where the files of a construction work are: the work folder named by the
// work's code and the accounting folder named in the work's record, both
// under the program folder, with the monthly policy files of the month the
// work is chosen in. Choosing a work points every work and accounting table
// at its files; tables already open stay on the files they were opened on.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/storage.h"

namespace velmora::db {

// DUDORE names the files with ".TPS"; VOROVID leaves the extension to the
// storage, which adds the same one: both reach the same files.
enum class NameStyle { WithExtension, WithoutExtension };

struct WorkLocation {
  std::string programFolder;  // the current directory
  std::string code;           // OBR:CTA
  std::string accounting;     // OBR:DICO
  std::int32_t today = 0;     // the month of this date picks the "POL"/"DET" files
  NameStyle style = NameStyle::WithExtension;
  char separator = char(std::filesystem::path::preferred_separator);
};

struct WorkFileName {
  const dict::TableInfo* table;
  std::string path;
};

struct WorkFiles {
  std::string workFolder;
  std::string accountingFolder;
  std::vector<WorkFileName> names;  // every work and accounting table
};

// Why a work code (OBR:CTA) or accounting folder (OBR:DICO) cannot name a
// folder of its own inside the program folder: blank, "." or "..", a
// separator of either kind, a drive (':'), or a control character. Empty
// when it can. Such a name would put the work's files outside the company.
// A blank accounting folder is allowed (the work has no accounting yet).
std::string unsafeFolderName(std::string_view name, bool mayBeBlank = false);

// The name as a message shows it: trailing blanks dropped, control
// characters as '?'.
std::string shownFolderName(std::string_view name);

// The check of both names of a work, as a Status the caller reports:
// err::ValueRefused naming the field and the reason.
Status checkWorkLocation(const WorkLocation& where);

// "ENE" ... "DIC" for months 1 to 12; empty otherwise.
std::string_view monthAbbreviation(int month);

// The names, without touching the disk.
WorkFiles workFiles(const WorkLocation& where);

// Sets the storage's name of every table in `files`.
void useWorkFiles(Storage& storage, const WorkFiles& files);

}  // namespace velmora::db
