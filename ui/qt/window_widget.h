#pragma once

// A real window built from a procedure's description: prompts and entries
// in resizable layouts, sheets with tabs, lists, buttons with mnemonics,
// lookup and calendar buttons. Every event goes to the procedure; the widget
// only shows what the procedure holds.

#include <QAbstractTableModel>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/browse.h"
#include "framework/procedure.h"

class QLabel;
class QStatusBar;
class QTabBar;
class QTabWidget;
class QTableView;
class QScrollBar;

namespace velmora::qt {

class QtHost;

// The rows of a browse page as a table model: values through the columns'
// pictures, colours from the procedure.
class BrowseModel : public QAbstractTableModel {
 public:
  explicit BrowseModel(BrowseProcedure& browse);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void reset();

 private:
  BrowseProcedure& browse_;
  int shownRows_ = -1;
  int shownColumns_ = -1;
};

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
  QWidget* control(const std::string& id) const;
  QTableView* list() const { return table_; }
  void refresh(const std::string& control);
  void refreshAll();
  void refreshList();
  // The window's own status bar, for a window outside a frame; made on the
  // first text shown.
  void showStatus(int zone, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void build();
  QWidget* makeControl(const Control& c);
  QWidget* makeList(const Control& c);
  void entryFinished(const Control& c);
  void pressed(const std::string& id);
  void done();  // after every event: the host ends or finishes a closed procedure
  void popupAt(int row, const QPoint& where);
  void fitPageRows();

  Procedure& procedure_;
  QtHost& host_;
  BrowseProcedure* browse_ = nullptr;
  std::map<std::string, QWidget*, NoCaseLess> controls_;
  QTabWidget* pages_ = nullptr;
  QTabBar* tabBar_ = nullptr;
  QTableView* table_ = nullptr;
  QScrollBar* thumb_ = nullptr;
  BrowseModel* model_ = nullptr;
  std::unique_ptr<StatusZones> status_;
  bool refreshing_ = false;
};

}  // namespace velmora::qt
