#pragma once

// A list control bound to its part (framework/list_part.h): one table model
// per list, the table view over it and, for a paged table view, the thumb
// beside it. Clicks, keys, the popup menu and header clicks go to the part.

#include <QAbstractTableModel>

#include "framework/list_part.h"
#include "ui/qt/control_adapters.h"

class QScrollBar;
class QTableView;

namespace velmora::qt {

class FooterBar;

// The rows of a list part: values through the columns' pictures, colours
// from the part.
class ListModel : public QAbstractTableModel {
 public:
  explicit ListModel(ListPart& part);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void reset();

 private:
  ListPart& part_;
  int shownRows_ = -1;
  int shownColumns_ = -1;
};

class ListAdapter : public ControlAdapter {
 public:
  ListAdapter(WindowWidget& window, const Control& control);
  Place place() const override { return Place::Wide; }
  QWidget* placed() const override { return box_; }
  QTableView* table() const { return table_; }
  // Redraws the rows and the selection (and the thumb) from the part.
  void refresh() override;
  // The page holds as many rows as the list has room for.
  void fitPageRows();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void popupAt(int row, const QPoint& where);
  void after();  // the event is handled: the window redraws and the host goes on

  ListPart* part_ = nullptr;
  QWidget* box_ = nullptr;
  QTableView* table_ = nullptr;
  QScrollBar* thumb_ = nullptr;
  ListModel* model_ = nullptr;
  FooterBar* footer_ = nullptr;  // the totals under their columns, when the list has any
};

bool numericPicture(const std::string& picture);

}  // namespace velmora::qt
