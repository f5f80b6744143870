#pragma once

// "Manual del Sistema": the manual's HTML pages in a window of their own,
// beside the program's windows (it stays open while the clerk works). At
// the left the chapters, or the pages a search found; at the right the
// page. Back and forward as a browser, the contents, printing the page,
// and a search of every page for the words typed.

#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "framework/help.h"

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QToolButton;
class QLabel;

namespace velmora::qt {

class HelpWindow : public QWidget {
 public:
  // The program's one help window, made on first use; null until then.
  static HelpWindow* instance();
  // Shows `topic` of the manual at `folder`, opening the window when it is
  // not up and bringing it to the front.
  static void show(const std::string& folder, const help::Topic& topic);

  // The page shown now ("dudore-estimaciones.html") and its anchor.
  QString page() const;
  // Searches every page for `words`: the pages that have all of them,
  // best first, take the list's place; returns how many.
  int search(const QString& words);

 private:
  explicit HelpWindow(const std::string& folder);
  void open(const help::Topic& topic);
  void showChapters();
  void markShown();
  void chosen(int row);
  void print();
  void loadPages();

  std::string folder_;
  QTextBrowser* browser_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* find_ = nullptr;
  QLabel* listTitle_ = nullptr;
  QToolButton* back_ = nullptr;
  QToolButton* forward_ = nullptr;
  struct Page {
    QString file, title, text;  // text: the page's words, lower case, for the search
  };
  std::vector<Page> pages_;
  std::vector<QString> listed_;  // the file each row of the list opens
};

}  // namespace velmora::qt
