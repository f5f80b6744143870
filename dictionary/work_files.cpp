#include "dictionary/work_files.h"

#include <array>

#include "dictionary/dates.h"

namespace velmora::db {

namespace {

std::string trimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return std::string(s);
}

std::string withoutExtension(std::string_view name) {
  if (name.size() > 4) {
    std::string_view ext = name.substr(name.size() - 4);
    if (ext == ".TPS" || ext == ".tps") name.remove_suffix(4);
  }
  return std::string(name);
}

}  // namespace

std::string unsafeFolderName(std::string_view name, bool mayBeBlank) {
  const std::string trimmed = trimRight(name);
  std::string_view t = trimmed;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  if (t.empty()) return mayBeBlank ? std::string() : "está en blanco";
  if (t == "." || t == "..") return "no nombra una carpeta propia";
  for (unsigned char c : t) {
    if (c == '/' || c == '\\') return "contiene una diagonal";
    if (c == ':') return "contiene una unidad de disco";
    if (c < 0x20 || c == 0x7F) return "contiene caracteres de control";
  }
  return {};
}

std::string shownFolderName(std::string_view name) {
  std::string s = trimRight(name);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}

Status checkWorkLocation(const WorkLocation& where) {
  const std::pair<const char*, const std::string*> names[] = {{"OBR:CTA", &where.code},
                                                              {"OBR:DICO", &where.accounting}};
  for (const auto& [field, value] : names) {
    std::string why = unsafeFolderName(*value, value == &where.accounting);
    if (why.empty()) continue;
    Status st = Status::error(err::ValueRefused, "La carpeta «" + shownFolderName(*value) +
                                                     "» de " + field + " " + why +
                                                     ": debe ser una carpeta dentro de la del "
                                                     "programa");
    st.table = "OBRA";
    return st;
  }
  return {};
}

std::string_view monthAbbreviation(int month) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "ENE", "FEB", "MAR", "ABR", "MAY", "JUN", "JUL", "AGO", "SEP", "OCT", "NOV", "DIC"};
  return month >= 1 && month <= 12 ? kMonths[std::size_t(month - 1)] : std::string_view();
}

WorkFiles workFiles(const WorkLocation& where) {
  const char sep = where.separator;
  // A drive or file-system root already ends in a separator: one, not two.
  std::string base = where.programFolder;
  if (!base.empty() && (base.back() == sep || base.back() == '/')) base.pop_back();

  WorkFiles out;
  out.workFolder = base + sep + trimRight(where.code);
  // A network folder ("\\server\share") keeps the form built here: the
  // accounting folder sits beside the work folders on the same share.
  out.accountingFolder = base + sep + trimRight(where.accounting);

  std::string month(monthAbbreviation(dates::monthOf(where.today)));
  auto named = [&](std::string name) {
    return where.style == NameStyle::WithExtension ? name : withoutExtension(name);
  };
  for (const dict::TableInfo& t : dict::tables()) {
    if (t.kind != dict::Kind::Table) continue;
    std::string file(t.fileName);
    switch (t.place) {
      case dict::Place::WorkFolder:
        out.names.push_back({&t, out.workFolder + sep + named(file)});
        break;
      case dict::Place::AccountingFolder:
        out.names.push_back({&t, out.accountingFolder + sep + named(file)});
        break;
      case dict::Place::MonthlyPolicy:
      case dict::Place::MonthlyDetail:
        out.names.push_back({&t, out.accountingFolder + sep + named(file + month + ".TPS")});
        break;
      default: break;
    }
  }
  return out;
}

void useWorkFiles(Storage& storage, const WorkFiles& files) {
  for (const WorkFileName& n : files.names) storage.setFileName(*n.table, n.path);
}

}  // namespace velmora::db
