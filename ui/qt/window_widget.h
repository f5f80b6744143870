#pragma once

// A real window built from a procedure's description: prompts and entries
// in resizable layouts, sheets with tabs, lists, buttons with mnemonics,
// lookup and calendar buttons. Each control is made and shown by the
// adapter of its kind (control_adapters.h); every event goes to the
// procedure, and the widget only shows what the procedure holds.

#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/procedure.h"

class QLabel;
class QStatusBar;
class QTabBar;
class QTabWidget;
class QTableView;

namespace velmora::qt {

class QtHost;
class ControlAdapter;
class ListAdapter;

// The zones of a status bar: the first stretches, the others fit their text.
class StatusZones {
 public:
  static constexpr int kZones = 5;
  explicit StatusZones(QStatusBar* bar);
  void show(int zone, const QString& text);
  QString text(int zone) const;

 private:
  std::vector<QLabel*> zones_;
};

class WindowWidget : public QWidget {
 public:
  WindowWidget(Procedure& procedure, QtHost& host, QWidget* parent = nullptr);
  ~WindowWidget() override;

  Procedure& procedure() { return procedure_; }
  QtHost& host() { return host_; }
  QWidget* control(const std::string& id) const;
  // The table of a list control; the window's first list without one.
  QTableView* list(const std::string& control = {}) const;
  void refresh(const std::string& control);
  void refreshAll();
  // Every list of the window, and the sort tabs above them.
  void refreshLists();
  // The window's own status bar, for a window outside a frame; made on the
  // first text shown.
  void showStatus(int zone, const QString& text);

  // --- for the adapters -----------------------------------------------------
  // True while the window shows the procedure's values: the widgets'
  // signals then are not the user's.
  bool refreshing() const { return refreshing_; }
  // The width every figure of the window is right-aligned in: that of its
  // widest numeric picture, so that its figures end at one edge.
  int figureWidth() const { return figureWidth_; }
  // A button (or lookup) was pressed: a pending entry is taken first.
  void pressed(const std::string& id);
  // After every event: the lists are redrawn and the host ends or finishes
  // a closed procedure.
  void done();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int figureWidth_ = 0;
  void build();
  ControlAdapter* adapter(const std::string& id) const;

  Procedure& procedure_;
  QtHost& host_;
  std::map<std::string, std::unique_ptr<ControlAdapter>, NoCaseLess> adapters_;
  std::vector<ListAdapter*> lists_;
  QTabWidget* pages_ = nullptr;
  QTabBar* tabBar_ = nullptr;
  std::unique_ptr<StatusZones> status_;
  bool refreshing_ = false;
};

}  // namespace velmora::qt
