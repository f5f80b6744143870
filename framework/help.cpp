#include "framework/help.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "dictionary/tables.h"
#include "framework/host.h"

namespace velmora::help {

namespace fs = std::filesystem;

namespace {

bool hasContents(const fs::path& folder) {
  std::error_code ec;
  return fs::is_regular_file(folder / kContents.page, ec);
}

fs::path programFolder() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

// "dudore-estimaciones.html" belongs to DUDORE; "ventanas.html" to both.
std::string programOfPage(std::string_view page) {
  const std::size_t dash = page.find('-');
  if (dash == std::string_view::npos) return {};
  std::string prefix(page.substr(0, dash));
  for (char& c : prefix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return prefix == "DUDORE" || prefix == "VOROVID" ? prefix : std::string();
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && dict::sameName(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string manualFolder() {
  if (const char* set = std::getenv("VELMORA_MANUAL"); set && *set)
    return hasContents(set) ? fs::path(set).string() : std::string();
  const fs::path here = programFolder();
  if (here.empty()) return {};
  for (const fs::path& candidate : {here / "manual", here.parent_path() / "manual",
                                    here.parent_path() / "share" / "velmora" / "manual"})
    if (hasContents(candidate)) return candidate.lexically_normal().string();
  return {};
}

std::optional<Topic> windowTopic(const std::string& folder, std::string_view program,
                                 std::string_view window) {
  std::string anchor(window);
  if (startsWith(anchor, "BROWSE:") || startsWith(anchor, "FORM:")) anchor = kMaintenanceAnchor;
  std::ifstream index(fs::path(folder) / "ventanas.txt");
  std::optional<Topic> shared;
  std::string id, page;
  while (index >> id >> page) {
    if (!dict::sameName(id, anchor)) continue;
    const std::string owner = programOfPage(page);
    if (owner.empty()) {
      if (!shared) shared = Topic{page, id};
    } else if (dict::sameName(owner, program)) {
      return Topic{page, id};
    }
  }
  return shared;
}

std::string location(const std::string& folder, const Topic& topic) {
  std::string where = (fs::path(folder) / topic.page).string();
  if (!topic.anchor.empty()) where += "#" + topic.anchor;
  return where;
}

namespace {

// `topic` of the manual at `folder` (empty: none was found).
void openIn(const std::string& folder, DialogHost& dialogs, DocumentHost& documents,
            const std::string& programName, const Topic& topic) {
  MessageBox box;
  box.title = "Manual del Sistema";
  box.icon = MessageIcon::Exclamation;
  if (folder.empty()) {
    box.text =
        "No se encontró el Manual del Sistema.|Debe estar en la carpeta \"manual\" junto al "
        "programa " +
        programName + ".";
    dialogs.show(box);
    return;
  }
  if (documents.showHelp(folder, topic)) return;
  box.text = "Esta ventana no puede mostrar el manual.|Ábralo con el navegador en " +
             location(folder, topic);
  dialogs.show(box);
}

}  // namespace

void open(DialogHost& dialogs, DocumentHost& documents, const std::string& programName,
          const Topic& topic) {
  openIn(manualFolder(), dialogs, documents, programName, topic);
}

void openWindow(DialogHost& dialogs, DocumentHost& documents, const std::string& programName,
                std::string_view window) {
  const std::string folder = manualFolder();
  std::optional<Topic> topic;
  if (!folder.empty()) topic = windowTopic(folder, programName, window);
  openIn(folder, dialogs, documents, programName, topic ? *topic : kContents);
}

}  // namespace velmora::help
