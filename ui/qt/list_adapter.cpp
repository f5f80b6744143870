#include "ui/qt/list_adapter.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <optional>
#include <vector>

#include "ui/qt/window_widget.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QVariant colour(int c) {
  if (c < 0) return {};
  return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

}  // namespace

// A row of labels above or below a list, each over a run of its columns,
// following them as they are resized or scrolled.
class ColumnBar : public QWidget {
 public:
  ColumnBar(QTableView* table, int padding) : table_(table) {
    setFixedHeight(table->fontMetrics().height() + padding);
    QHeaderView* h = table->horizontalHeader();
    QObject::connect(h, &QHeaderView::sectionResized, this, [this] { place(); });
    QObject::connect(h, &QHeaderView::geometriesChanged, this, [this] { place(); });
    QObject::connect(table->horizontalScrollBar(), &QScrollBar::valueChanged, this,
                     [this] { place(); });
  }

  void place() {
    QHeaderView* h = table_->horizontalHeader();
    // The bar and the table share their left edge; the header starts inside
    // the table's frame.
    const int origin = h->mapTo(table_, QPoint(0, 0)).x();
    for (const Span& s : spans_) {
      if (s.last >= h->count()) {
        s.label->hide();
        continue;
      }
      const int left = origin + h->sectionViewportPosition(s.first);
      const int right = origin + h->sectionViewportPosition(s.last) + h->sectionSize(s.last);
      s.label->setGeometry(left, 0, right - left, height());
      s.label->show();
    }
    placed(origin);
  }

 protected:
  struct Span {
    QLabel* label;
    int first, last;
  };
  // What else the bar places once its spans are placed.
  virtual void placed(int origin) { (void)origin; }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    place();
  }
  void showEvent(QShowEvent* e) override {
    QWidget::showEvent(e);
    place();
  }

  QTableView* table_;
  std::vector<Span> spans_;
};

namespace {

// Captions over runs of columns, in a row above the headers.
class GroupBar : public ColumnBar {
 public:
  GroupBar(QTableView* table, const Control& list) : ColumnBar(table, 8) {
    setObjectName(q(list.id + ":grupos"));
    for (const ColumnGroup& g : list.groups) {
      auto* label = new QLabel(q(g.caption), this);
      label->setAlignment(Qt::AlignCenter);
      label->setFrameStyle(QFrame::Panel | QFrame::Raised);
      label->setAutoFillBackground(true);
      label->setBackgroundRole(QPalette::Button);
      spans_.push_back({label, g.first, g.first + g.count - 1});
    }
  }
};

}  // namespace

// The totals of a list, each under the column it adds and right-aligned
// like it.
class FooterBar : public ColumnBar {
 public:
  FooterBar(QTableView* table, const Control& list, ListPart& part)
      : ColumnBar(table, 10), part_(part) {
    setObjectName(q(list.id + ":sumas"));
    for (std::size_t i = 0; i < list.columns.size(); ++i) {
      if (list.columns[i].total.empty()) continue;
      auto* label = new QLabel(this);
      label->setObjectName(q(list.id + ":suma:" + list.columns[i].total));
      label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setAutoFillBackground(true);
      label->setBackgroundRole(QPalette::Base);
      label->setContentsMargins(0, 0, 4, 0);
      QFont bold = label->font();
      bold.setBold(true);
      label->setFont(bold);
      spans_.push_back({label, int(i), int(i)});
    }
    caption_ = new QLabel(QStringLiteral("SUMAS:"), this);
    caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    caption_->setContentsMargins(0, 0, 6, 0);
  }

  void refresh() {
    for (const Span& s : spans_) s.label->setText(q(part_.footer(s.first)).trimmed());
  }

 protected:
  // The caption ends where the first total begins.
  void placed(int origin) override {
    const int first = spans_.empty() ? 0 : spans_.front().first;
    const int right = origin + table_->horizontalHeader()->sectionViewportPosition(first);
    caption_->setGeometry(0, 0, std::max(0, right), height());
    caption_->setVisible(right > 0);
  }

 private:
  ListPart& part_;
  QLabel* caption_ = nullptr;
};

// --- the model ---------------------------------------------------------------------

ListModel::ListModel(ListPart& part) : part_(part) {}

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : part_.rowCount();
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(part_.columns().size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const ListColumn& col = part_.columns()[std::size_t(index.column())];
  switch (role) {
    case Qt::DisplayRole: return q(part_.cell(index.row(), index.column())).trimmed();
    case Qt::TextAlignmentRole:
      return int(Qt::AlignVCenter | (col.align == 'R'   ? Qt::AlignRight
                                     : col.align == 'C' ? Qt::AlignHCenter
                                                        : Qt::AlignLeft));
    case Qt::BackgroundRole: return colour(part_.colours(index.row(), index.column()).normalBg);
    case Qt::ForegroundRole: return colour(part_.colours(index.row(), index.column()).normalFg);
    default: return {};
  }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= int(part_.columns().size())) return {};
  return q(part_.columns()[std::size_t(section)].header);
}

void ListModel::reset() {
  // A page of the same size is repainted in place: a reset would forget the
  // pressed row, and with it the double-click that follows a click.
  int rows = rowCount(), columns = columnCount();
  if (rows == shownRows_ && columns == shownColumns_) {
    if (rows > 0 && columns > 0) Q_EMIT dataChanged(index(0, 0), index(rows - 1, columns - 1));
    return;
  }
  beginResetModel();
  shownRows_ = rows;
  shownColumns_ = columns;
  endResetModel();
}

// --- the list ----------------------------------------------------------------------

ListAdapter::ListAdapter(WindowWidget& window, const Control& c) : ControlAdapter(window, c) {
  part_ = procedure().list(c.id);
  box_ = new QWidget;
  auto* h = new QHBoxLayout(box_);
  h->setContentsMargins(0, 0, 0, 0);
  table_ = new QTableView;
  setWidget(table_);
  watch(table_);
  const bool totals = part_ && part_->hasFooter();
  if (c.groups.empty() && !totals) {
    h->addWidget(table_, 1);
  } else {
    auto* column = new QWidget;
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    if (!c.groups.empty()) v->addWidget(new GroupBar(table_, c));
    v->addWidget(table_, 1);
    if (totals) v->addWidget(footer_ = new FooterBar(table_, c, *part_));
    h->addWidget(column, 1);
  }
  // A list without a part shows no rows.
  if (!part_) return;
  if (part_->paged()) {
    // The list shows one page; the thumb beside it moves through the table.
    thumb_ = new QScrollBar(Qt::Vertical);
    thumb_->setObjectName(q(c.id + ":thumb"));
    thumb_->setRange(0, 100);
    h->addWidget(thumb_);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  model_ = new ListModel(*part_);
  model_->setParent(table_);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  // One line per row, all rows alike: the page holds as many as fit.
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideRight);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  // Column widths from the pictures: digits for numbers, capitals for text.
  QFontMetrics fm = table_->fontMetrics();
  double digit = fm.horizontalAdvance(QString(10, '0')) / 10.0;
  double capital = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")) / 26.0;
  for (std::size_t i = 0; i < c.columns.size(); ++i)
    if (int chars = std::min(c.columns[i].width, 40); chars > 0) {
      double each = numericPicture(c.columns[i].picture) ? digit : capital;
      table_->setColumnWidth(
          int(i), std::max(int(each * chars), fm.horizontalAdvance(q(c.columns[i].header))) + 14);
    }
  // Wide enough for every column at its first width, within reason.
  int columnsWidth = 0;
  for (int i = 0; i < model_->columnCount(); ++i) columnsWidth += table_->columnWidth(i);
  // A list whose every column fits on the screen opens showing them all.
  int room = 900;
  if (QScreen* screen = QGuiApplication::primaryScreen())
    room = std::max(room, screen->availableGeometry().width() - 120);
  table_->setMinimumWidth(std::min(columnsWidth + 2 * table_->frameWidth() + 2, room));
  watch(table_->viewport());
  QObject::connect(table_, &QTableView::clicked, this, [this](const QModelIndex& i) {
    part_->rowClicked(i.row());
    after();
  });
  QObject::connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
    part_->rowDoubleClicked(i.row());
    after();
  });
  QObject::connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this,
                   [this](int column) {
                     part_->headerClicked(column);
                     after();
                   });
  QObject::connect(table_->horizontalHeader(), &QHeaderView::sectionHandleDoubleClicked, this,
                   [this](int column) {
                     QFontMetrics fm(table_->font());
                     int w = part_->bestFit(column, [&](const std::string& s) {
                       return fm.horizontalAdvance(q(s).trimmed());
                     });
                     if (w >= 0) table_->setColumnWidth(column, w + 12);
                   });
  if (!thumb_) return;
  QObject::connect(thumb_, &QScrollBar::sliderReleased, this, [this] {
    part_->scrollThumb(thumb_->value());
    after();
  });
  QObject::connect(thumb_, &QScrollBar::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: part_->keyPressed(Key::Down); break;
      case QAbstractSlider::SliderSingleStepSub: part_->keyPressed(Key::Up); break;
      case QAbstractSlider::SliderPageStepAdd: part_->keyPressed(Key::PageDown); break;
      case QAbstractSlider::SliderPageStepSub: part_->keyPressed(Key::PageUp); break;
      case QAbstractSlider::SliderToMinimum: part_->keyPressed(Key::CtrlHome); break;
      case QAbstractSlider::SliderToMaximum: part_->keyPressed(Key::CtrlEnd); break;
      default: return;
    }
    window_.refreshLists();
  });
}

void ListAdapter::after() {
  window_.refreshLists();
  window_.done();
}

void ListAdapter::refresh() {
  if (!part_) return ControlAdapter::refresh();
  ControlState s = procedure().state(control_.id);
  box_->setEnabled(s.enabled);
  box_->setVisible(!s.hidden);
  model_->reset();
  int sel = part_->selected();
  if (sel >= 0) {
    table_->selectRow(sel);
    if (!thumb_) table_->scrollTo(model_->index(sel, 0));
  } else {
    table_->clearSelection();
  }
  if (thumb_) thumb_->setValue(part_->thumbPercent());
  if (footer_) footer_->refresh();
}

void ListAdapter::fitPageRows() {
  if (!part_) return;
  int rowHeight = std::max(1, table_->verticalHeader()->defaultSectionSize());
  int rows = std::max(1, table_->viewport()->height() / rowHeight);
  if (rows == part_->pageRows()) return;
  part_->fitPageRows(rows);
  if (part_->paged()) window_.refreshLists();
}

void ListAdapter::popupAt(int row, const QPoint& where) {
  part_->rightButtonReleased(row);
  window_.refreshLists();
  QMenu menu(table_);
  for (const PopupItem& item : part_->popup()) {
    QAction* a = menu.addAction(q(item.caption));
    a->setEnabled(item.enabled);
    a->setData(q(item.caption));
  }
  if (QAction* chosen = menu.exec(where)) {
    part_->popupChosen(chosen->data().toString().toStdString());
    window_.done();
  }
}

bool ListAdapter::eventFilter(QObject* watched, QEvent* event) {
  // The page follows the list's own height, which a scrolling body changes
  // after the window has been resized.
  if (part_ && watched == table_->viewport() && event->type() == QEvent::Resize) fitPageRows();
  if (part_ && watched == table_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* m = static_cast<QMouseEvent*>(event);
    if (m->button() == Qt::RightButton) {
      QModelIndex i = table_->indexAt(m->position().toPoint());
      popupAt(i.isValid() ? i.row() : part_->selected(), m->globalPosition().toPoint());
      return true;
    }
  }
  if (part_ && watched == table_ && event->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(event);
    bool ctrl = k->modifiers() & Qt::ControlModifier, shift = k->modifiers() & Qt::ShiftModifier;
    std::optional<Key> key;
    switch (k->key()) {
      case Qt::Key_Up: key = Key::Up; break;
      case Qt::Key_Down: key = Key::Down; break;
      case Qt::Key_PageUp: key = Key::PageUp; break;
      case Qt::Key_PageDown: key = Key::PageDown; break;
      case Qt::Key_Home: key = ctrl ? Key::CtrlHome : Key::Home; break;
      case Qt::Key_End: key = ctrl ? Key::CtrlEnd : Key::End; break;
      case Qt::Key_Insert: key = Key::Insert; break;
      case Qt::Key_Delete: key = Key::Delete; break;
      case Qt::Key_Backspace: key = Key::Backspace; break;
      case Qt::Key_Return:
      case Qt::Key_Enter: key = ctrl ? Key::CtrlEnter : shift ? Key::ShiftEnter : Key::Enter; break;
      case Qt::Key_Menu: {
        int row = std::max(0, part_->selected());
        popupAt(row, table_->viewport()->mapToGlobal(
                         table_->visualRect(model_->index(row, 0)).center()));
        return true;
      }
      default: break;
    }
    if (key) {
      // The keys reach the window's procedure with the list selected: a
      // browse and a form both hand the list its own keys.
      procedure().selected(control_.id);
      procedure().keyPressed(*key);
      window_.done();
      return true;
    }
    QString text = k->text();
    if (!text.isEmpty() && text[0].isPrint() && !ctrl) {
      part_->typedCharacter(text.toStdString());
      window_.done();
      return true;
    }
  }
  return ControlAdapter::eventFilter(watched, event);
}

}  // namespace velmora::qt
