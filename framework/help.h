#pragma once

// The "Manual del Sistema": HTML pages installed beside the programs (the
// folder "manual"), with the index of the windows it describes. A window's
// "Ayuda" button and F1 open the page of that window; the frame's help menu
// and toolbar open the contents and the guided first flow. The lookups here
// need no window; a host shows the pages (DocumentHost::showHelp).

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class DialogHost;
class DocumentHost;

namespace help {

// A place in the manual: a page of its folder and an anchor on it.
struct Topic {
  std::string page;    // "dudore-estimaciones.html"
  std::string anchor;  // "UP_ESTI"; empty for the top of the page
};

inline const Topic kContents{"index.html", {}};
inline const Topic kFirstSteps{"primeros-pasos.html", {}};
inline const Topic kUsingHelp{"ventanas.html", "ayuda"};
// Every maintenance list and form of a table ("BROWSE:CONT", "FORM:CONT")
// shares one section.
inline constexpr const char* kMaintenanceAnchor = "MANTENIMIENTO";

// The manual's folder: $VELMORA_MANUAL when set, else "manual" beside the
// running program, one folder up (the build tree), or in
// ../share/velmora/manual (an installation). Empty when none has the
// contents page.
std::string manualFolder();

// The section of `window` for `program` ("DUDORE", "VOROVID") in the
// manual at `folder`, from its index of windows: a page of the program
// ("dudore-...") before a page both programs share. Nothing when the
// manual does not describe the window.
std::optional<Topic> windowTopic(const std::string& folder, std::string_view program,
                                 std::string_view window);

// The file and anchor a browser opens: "/…/manual/page.html#anchor".
std::string location(const std::string& folder, const Topic& topic);

// Opens `topic` through the host, or tells the user why it cannot: no
// manual installed, or a host that shows no pages.
void open(DialogHost& dialogs, DocumentHost& documents, const std::string& programName,
          const Topic& topic);
// The help of a window: its section, or the contents when the manual has
// none for it.
void openWindow(DialogHost& dialogs, DocumentHost& documents, const std::string& programName,
                std::string_view window);

}  // namespace help
}  // namespace velmora
