#include "ui/qt/window_widget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "framework/picture.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/qt_host.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

bool numericPicture(const std::string& picture) {
  auto p = compilePicture(picture);
  return p && p->kind == PictureKind::Number;
}

}  // namespace

// --- the list model --------------------------------------------------------------

BrowseModel::BrowseModel(BrowseProcedure& browse) : browse_(browse) {}

int BrowseModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(browse_.view().rows().size());
}

int BrowseModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  const Control* list = browse_.window().find(browse_.listControl());
  return list ? int(list->columns.size()) : 0;
}

QVariant BrowseModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Control* list = browse_.window().find(browse_.listControl());
  const ListColumn& col = list->columns[std::size_t(index.column())];
  switch (role) {
    case Qt::DisplayRole: return q(browse_.cell(index.row(), index.column())).trimmed();
    case Qt::TextAlignmentRole:
      return int(Qt::AlignVCenter | (col.align == 'R'   ? Qt::AlignRight
                                     : col.align == 'C' ? Qt::AlignHCenter
                                                        : Qt::AlignLeft));
    case Qt::BackgroundRole: {
      int c = browse_.colours(index.row(), index.column()).normalBg;
      if (c >= 0) return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
      return {};
    }
    case Qt::ForegroundRole: {
      int c = browse_.colours(index.row(), index.column()).normalFg;
      if (c >= 0) return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
      return {};
    }
    default: return {};
  }
}

QVariant BrowseModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const Control* list = browse_.window().find(browse_.listControl());
  if (!list || section < 0 || section >= int(list->columns.size())) return {};
  return q(list->columns[std::size_t(section)].header);
}

void BrowseModel::reset() {
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

// --- the window ------------------------------------------------------------------

WindowWidget::WindowWidget(Procedure& procedure, QtHost& host, QWidget* parent)
    : QWidget(parent), procedure_(procedure), host_(host) {
  browse_ = dynamic_cast<BrowseProcedure*>(&procedure);
  setWindowTitle(q(procedure.window().title));
  setObjectName(q(procedure.name()));
  build();
  refreshAll();
}

WindowWidget::~WindowWidget() = default;

QWidget* WindowWidget::control(const std::string& id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void WindowWidget::build() {
  auto* outer = new QVBoxLayout(this);
  const WindowDescription& w = procedure_.window();
  std::map<std::string, QFormLayout*, NoCaseLess> forms;
  auto* mainForm = new QFormLayout;
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);

  // Tabs that hold controls become pages; a sheet of empty tabs (a browse's
  // sort orders) is a tab bar over the list.
  bool pagesWithControls = false;
  for (const Control& c : w.controls)
    if (!c.owner.empty() && c.type != ControlType::Tab) pagesWithControls = true;
  if (w.hasSheet()) {
    if (pagesWithControls) {
      pages_ = new QTabWidget(this);
      pages_->setObjectName("?CURRENTTAB");
      controls_["?CURRENTTAB"] = pages_;
      for (const Control* tab : w.tabs()) {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        forms[tab->id] = form;
        pages_->addTab(page, q(plainCaption(tab->text)));
      }
      outer->addWidget(pages_);
      QObject::connect(pages_, &QTabWidget::currentChanged, [this](int i) {
        if (!refreshing_) procedure_.selectTab(i + 1), done();
      });
    } else {
      tabBar_ = new QTabBar(this);
      tabBar_->setObjectName("?CURRENTTAB");
      controls_["?CURRENTTAB"] = tabBar_;
      for (const Control* tab : w.tabs()) tabBar_->addTab(q(plainCaption(tab->text)));
      outer->addWidget(tabBar_);
      QObject::connect(tabBar_, &QTabBar::currentChanged, [this](int i) {
        if (!refreshing_) {
          procedure_.selectTab(i + 1);
          refreshList();
          done();
        }
      });
    }
  }
  outer->addLayout(mainForm);
  bool listPlaced = false;

  QLabel* pendingPrompt = nullptr;
  QFormLayout* pendingForm = nullptr;
  for (const Control& c : w.controls) {
    if (c.type == ControlType::Sheet || c.type == ControlType::Tab) continue;
    if (c.type == ControlType::Lookup || c.type == ControlType::Calendar)
      continue;  // beside their entry
    // Fields after a list sit below it.
    if (listPlaced && c.owner.empty() && c.type != ControlType::Button) {
      mainForm = new QFormLayout;
      outer->addLayout(mainForm);
      listPlaced = false;
    }
    QFormLayout* form = mainForm;
    if (auto it = forms.find(c.owner); it != forms.end()) form = it->second;
    if (c.type == ControlType::Prompt) {
      if (pendingPrompt) pendingForm->addRow(pendingPrompt);
      pendingPrompt = new QLabel(q(c.text));
      pendingPrompt->setObjectName(q(c.id));
      controls_[c.id] = pendingPrompt;
      pendingForm = form;
      continue;
    }
    if (c.type == ControlType::List) {
      if (pendingPrompt) pendingForm->addRow(pendingPrompt), pendingPrompt = nullptr;
      outer->addWidget(makeList(c), 1);
      listPlaced = true;
      continue;
    }
    if (c.type == ControlType::Button) {
      auto* b = new QPushButton(q(c.text));
      b->setObjectName(q(c.id));
      b->setDefault(c.isDefault);
      b->setAutoDefault(false);
      std::string id = c.id;
      QObject::connect(b, &QPushButton::clicked, [this, id] { pressed(id); });
      controls_[c.id] = b;
      buttons->addWidget(b);
      continue;
    }
    QWidget* field = makeControl(c);
    // The lookup and calendar buttons of an entry sit beside it.
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(field, 1);
    for (const Control& extra : w.controls) {
      if ((extra.type != ControlType::Lookup && extra.type != ControlType::Calendar) ||
          !dict::sameName(extra.target, c.id))
        continue;
      auto* b = new QToolButton;
      b->setObjectName(q(extra.id));
      b->setText(extra.type == ControlType::Calendar ? "📅" : "...");
      b->setToolTip(q(plainCaption(extra.text)));
      std::string id = extra.id;
      QObject::connect(b, &QToolButton::clicked, [this, id] { pressed(id); });
      controls_[extra.id] = b;
      h->addWidget(b);
    }
    if (pendingPrompt && pendingForm == form) {
      pendingPrompt->setBuddy(field);
      form->addRow(pendingPrompt, row);
    } else {
      if (pendingPrompt) pendingForm->addRow(pendingPrompt);
      form->addRow(row);
    }
    pendingPrompt = nullptr;
  }
  if (pendingPrompt) pendingForm->addRow(pendingPrompt);
  outer->addLayout(buttons);
}

QWidget* WindowWidget::makeControl(const Control& c) {
  QWidget* w = nullptr;
  std::string id = c.id;
  switch (c.type) {
    case ControlType::Entry: {
      if (c.lines > 1) {
        // A long text: several lines, taken when the user leaves it.
        auto* t = new QPlainTextEdit;
        t->setReadOnly(c.readOnly);
        t->setTabChangesFocus(true);
        t->setFixedHeight(t->fontMetrics().lineSpacing() * c.lines + 12);
        w = t;
        break;
      }
      auto* e = new QLineEdit;
      if (numericPicture(c.picture)) e->setAlignment(Qt::AlignRight);
      if (auto p = compilePicture(c.picture)) e->setMaxLength(std::max(velmora::width(*p), 1));
      e->setReadOnly(c.readOnly);
      QObject::connect(e, &QLineEdit::editingFinished, [this, c] { entryFinished(c); });
      w = e;
      break;
    }
    case ControlType::Text: w = new QLabel; break;
    case ControlType::Check: {
      auto* b = new QCheckBox(q(plainCaption(c.text)));
      QObject::connect(b, &QCheckBox::toggled, [this, c](bool on) {
        if (refreshing_ || c.choices.size() < 2) return;
        (void)procedure_.setValue(c.use, Value(c.choices[on ? 1 : 0]));
        procedure_.accepted(c.id);
        done();
      });
      w = b;
      break;
    }
    case ControlType::Option: {
      auto* box = new QGroupBox(q(plainCaption(c.text)));
      auto* layout = new QHBoxLayout(box);
      auto* group = new QButtonGroup(box);
      for (std::size_t i = 0; i < c.choices.size(); ++i) {
        const std::string& caption = i < c.captions.size() ? c.captions[i] : c.choices[i];
        auto* r = new QRadioButton(q(caption));
        r->setObjectName(q(c.id + ":" + std::to_string(i + 1)));
        r->installEventFilter(this);
        group->addButton(r, int(i));
        layout->addWidget(r);
      }
      layout->addStretch(1);
      QObject::connect(group, &QButtonGroup::idClicked, [this, c](int i) {
        if (refreshing_ || i < 0 || std::size_t(i) >= c.choices.size()) return;
        procedure_.selected(c.id);
        (void)procedure_.setValue(c.use, Value(c.choices[std::size_t(i)]));
        procedure_.accepted(c.id);
        done();
      });
      w = box;
      break;
    }
    case ControlType::Spin: {
      auto* s = new QSpinBox;
      s->setRange(-999999, 999999);
      QObject::connect(s, &QSpinBox::valueChanged, [this, c](int v) {
        if (refreshing_) return;
        (void)procedure_.setValue(c.use, Value(std::int64_t(v)));
        procedure_.accepted(c.id);
        done();
      });
      w = s;
      break;
    }
    default: w = new QLabel; break;
  }
  w->setObjectName(q(id));
  if (!c.tip.empty()) w->setToolTip(q(c.tip));
  w->installEventFilter(this);
  controls_[id] = w;
  return w;
}

QWidget* WindowWidget::makeList(const Control& c) {
  auto* box = new QWidget;
  auto* h = new QHBoxLayout(box);
  h->setContentsMargins(0, 0, 0, 0);
  table_ = new QTableView;
  table_->setObjectName(q(c.id));
  controls_[c.id] = table_;
  thumb_ = new QScrollBar(Qt::Vertical);
  thumb_->setObjectName(q(c.id + ":thumb"));
  thumb_->setRange(0, 100);
  h->addWidget(table_, 1);
  h->addWidget(thumb_);
  if (!browse_) return box;
  model_ = new BrowseModel(*browse_);
  table_->setModel(model_);
  // The list shows one page; the thumb beside it moves through the table.
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
  table_->setMinimumWidth(std::min(columnsWidth + 2 * table_->frameWidth() + 2, 900));
  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  QObject::connect(table_, &QTableView::clicked, [this](const QModelIndex& i) {
    browse_->rowClicked(i.row());
    refreshList();
    done();
  });
  QObject::connect(table_, &QTableView::doubleClicked, [this](const QModelIndex& i) {
    browse_->rowDoubleClicked(i.row());
    refreshList();
    done();
  });
  QObject::connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, [this](int column) {
    browse_->headerClicked(column);
    refreshList();
    done();
  });
  QObject::connect(
      table_->horizontalHeader(), &QHeaderView::sectionHandleDoubleClicked, [this](int column) {
        QFontMetrics fm(table_->font());
        int w = browse_->bestFit(
            column, [&](const std::string& s) { return fm.horizontalAdvance(q(s).trimmed()); });
        if (w >= 0) table_->setColumnWidth(column, w + 12);
      });
  QObject::connect(thumb_, &QScrollBar::sliderReleased, [this] {
    browse_->scrollThumb(thumb_->value());
    refreshList();
    done();
  });
  QObject::connect(thumb_, &QScrollBar::actionTriggered, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: browse_->keyPressed(Key::Down); break;
      case QAbstractSlider::SliderSingleStepSub: browse_->keyPressed(Key::Up); break;
      case QAbstractSlider::SliderPageStepAdd: browse_->keyPressed(Key::PageDown); break;
      case QAbstractSlider::SliderPageStepSub: browse_->keyPressed(Key::PageUp); break;
      case QAbstractSlider::SliderToMinimum: browse_->keyPressed(Key::CtrlHome); break;
      case QAbstractSlider::SliderToMaximum: browse_->keyPressed(Key::CtrlEnd); break;
      default: return;
    }
    refreshList();
  });
  return box;
}

void WindowWidget::fitPageRows() {
  if (!browse_ || !table_) return;
  int rowHeight = std::max(1, table_->verticalHeader()->defaultSectionSize());
  int rows = std::max(1, table_->viewport()->height() / rowHeight);
  if (rows != browse_->view().pageRows()) {
    browse_->view().setPageRows(rows);
    (void)browse_->view().reload();
    refreshList();
  }
}

void WindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitPageRows();
}

void WindowWidget::refreshList() {
  if (!browse_ || !model_) return;
  refreshing_ = true;
  model_->reset();
  int sel = browse_->view().selected();
  if (sel >= 0) table_->selectRow(sel);
  thumb_->setValue(browse_->view().thumbPercent());
  if (tabBar_ && browse_->currentTab() > 0) tabBar_->setCurrentIndex(browse_->currentTab() - 1);
  refreshing_ = false;
}

void WindowWidget::refresh(const std::string& id) {
  if (browse_ && dict::sameName(id, browse_->listControl())) return refreshList();
  QWidget* w = control(id);
  const Control* c = procedure_.window().find(id);
  if (!w || !c) return;
  refreshing_ = true;
  ControlState s = procedure_.state(id);
  w->setEnabled(s.enabled);
  w->setVisible(!s.hidden);
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (!e->hasFocus() || !e->isModified()) {
      QString text = q(procedure_.display(*c));
      e->setText(numericPicture(c->picture) ? text.trimmed() : text);
      e->setModified(false);
    }
  } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
    if (!t->hasFocus()) t->setPlainText(q(procedure_.display(*c)).trimmed());
  } else if (auto* l = qobject_cast<QLabel*>(w); l && c->type == ControlType::Text) {
    l->setText(q(procedure_.display(*c)));
  } else if (auto* b = qobject_cast<QCheckBox*>(w); b && c->choices.size() >= 2) {
    b->setChecked(toText(procedure_.value(c->use)) == c->choices[1]);
  } else if (auto* g = qobject_cast<QGroupBox*>(w); g && c->type == ControlType::Option) {
    // No button is checked when the value is none of the choices.
    auto trimmed = [](std::string t) {
      while (!t.empty() && t.back() == ' ') t.pop_back();
      return t;
    };
    std::string v = trimmed(toText(procedure_.value(c->use)));
    auto* group = g->findChild<QButtonGroup*>();
    group->setExclusive(false);
    for (std::size_t i = 0; i < c->choices.size(); ++i)
      if (QAbstractButton* r = group->button(int(i))) r->setChecked(v == trimmed(c->choices[i]));
    group->setExclusive(true);
  } else if (auto* sp = qobject_cast<QSpinBox*>(w)) {
    Value v = procedure_.value(c->use);
    if (auto* i = std::get_if<std::int64_t>(&v)) sp->setValue(int(*i));
  }
  if (dict::sameName(id, "?CURRENTTAB") && procedure_.currentTab() > 0) {
    if (pages_) pages_->setCurrentIndex(procedure_.currentTab() - 1);
    if (tabBar_) tabBar_->setCurrentIndex(procedure_.currentTab() - 1);
  }
  refreshing_ = false;
}

void WindowWidget::showStatus(int zone, const QString& text) {
  if (!status_) {
    auto* bar = new QStatusBar(this);
    bar->setSizeGripEnabled(false);
    layout()->addWidget(bar);
    status_ = std::make_unique<StatusZones>(bar);
  }
  status_->show(zone, text);
}

StatusZones::StatusZones(QStatusBar* bar) {
  for (int i = 0; i < kZones; ++i) {
    auto* l = new QLabel;
    l->setObjectName(QString("zone%1").arg(i + 1));
    if (i == 0)
      bar->addWidget(l, 1);
    else
      bar->addPermanentWidget(l);
    l->setVisible(i == 0);
    zones_.push_back(l);
  }
}

void StatusZones::show(int zone, const QString& text) {
  if (zone < 1 || zone > kZones) return;
  QLabel* l = zones_[std::size_t(zone - 1)];
  l->setText(text);
  if (zone > 1) l->setVisible(!text.isEmpty());
}

QString StatusZones::text(int zone) const {
  return zone < 1 || zone > kZones ? QString() : zones_[std::size_t(zone - 1)]->text();
}

void WindowWidget::refreshAll() {
  for (const Control& c : procedure_.window().controls) refresh(c.id);
  refreshList();
}

void WindowWidget::entryFinished(const Control& c) {
  auto* e = qobject_cast<QLineEdit*>(control(c.id));
  if (!e || refreshing_ || !e->isModified()) return;
  e->setModified(false);
  procedure_.selected(c.id);
  Status st = procedure_.typed(c.id, e->text().toStdString());
  if (!st) {
    QMessageBox::warning(this, windowTitle(), q(st.text));
    refresh(c.id);
    e->setFocus();
    return;
  }
  refresh(c.id);
  procedure_.accepted(c.id);
  done();
}

void WindowWidget::pressed(const std::string& id) {
  const Control* c = procedure_.window().find(id);
  if (c && c->type == ControlType::Calendar && !c->target.empty()) {
    const Control* entry = procedure_.window().find(c->target);
    std::int32_t start = 0;
    if (entry && !entry->use.empty())
      if (Value v = procedure_.value(entry->use); auto* n = std::get_if<std::int64_t>(&v))
        start = std::int32_t(*n);
    std::int32_t date = pickDate(this, &host_, start);
    if (entry && !entry->use.empty()) {
      (void)procedure_.setValue(entry->use, Value(std::int64_t(date)));
      refresh(entry->id);
      procedure_.accepted(entry->id);
    }
    done();
    return;
  }
  // A pending entry is accepted before the button acts.
  if (QWidget* f = focusWidget(); auto* e = qobject_cast<QLineEdit*>(f))
    for (const auto& [cid, w] : controls_)
      if (w == e) entryFinished(*procedure_.window().find(cid));
  if (procedure_.isClosing()) return;
  procedure_.selected(id);
  procedure_.accepted(id);
  done();
}

void WindowWidget::done() {
  refreshList();
  host_.afterEvent(procedure_);
}

void WindowWidget::popupAt(int row, const QPoint& where) {
  if (!browse_) return;
  browse_->rightButtonReleased(row);
  refreshList();
  QMenu menu(this);
  for (const PopupItem& item : browse_->popup()) {
    QAction* a = menu.addAction(q(item.caption));
    a->setEnabled(item.enabled);
    a->setData(q(item.caption));
  }
  if (QAction* chosen = menu.exec(where)) {
    browse_->popupChosen(chosen->data().toString().toStdString());
    done();
  }
}

bool WindowWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut)
    if (auto* t = qobject_cast<QPlainTextEdit*>(watched); t && !refreshing_)
      for (const auto& [id, w] : controls_)
        if (w == t) {
          Status st = procedure_.typed(id, t->toPlainText().toStdString());
          if (!st) QMessageBox::warning(this, windowTitle(), q(st.text));
          refresh(id);
          if (st) procedure_.accepted(id), done();
          break;
        }
  if (event->type() == QEvent::FocusIn) {
    QObject* owner = watched;
    // A radio button stands for its group.
    if (qobject_cast<QRadioButton*>(watched)) owner = watched->parent();
    for (const auto& [id, w] : controls_)
      if (w == owner) {
        procedure_.selected(id);
        if (const Control* c = procedure_.window().find(id)) host_.status(procedure_, 1, c->tip);
      }
  }
  if (table_ && browse_ && watched == table_->viewport() &&
      event->type() == QEvent::MouseButtonRelease) {
    auto* m = static_cast<QMouseEvent*>(event);
    if (m->button() == Qt::RightButton) {
      QModelIndex i = table_->indexAt(m->position().toPoint());
      popupAt(i.isValid() ? i.row() : browse_->view().selected(), m->globalPosition().toPoint());
      return true;
    }
  }
  if (table_ && browse_ && watched == table_ && event->type() == QEvent::KeyPress) {
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
        int row = std::max(0, browse_->view().selected());
        popupAt(row, table_->viewport()->mapToGlobal(
                         table_->visualRect(model_->index(row, 0)).center()));
        return true;
      }
      default: break;
    }
    if (key) {
      browse_->keyPressed(*key);
      done();
      return true;
    }
    QString text = k->text();
    if (!text.isEmpty() && text[0].isPrint() && !ctrl) {
      browse_->typedCharacter(text.toStdString());
      done();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void WindowWidget::keyPressEvent(QKeyEvent* event) {
  bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (event->key() == Qt::Key_Escape) {
    procedure_.keyPressed(Key::Esc);
    done();
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    procedure_.keyPressed(ctrl ? Key::CtrlEnter : Key::Enter);
    done();
    return;
  }
  if (ctrl && event->key() == Qt::Key_Apostrophe) {
    procedure_.keyPressed(Key::Ditto);
    refreshAll();
    done();
    return;
  }
  QWidget::keyPressEvent(event);
}

void WindowWidget::closeEvent(QCloseEvent* event) {
  if (!procedure_.isClosing()) {
    // The close box is a request to the procedure; the host closes the widget.
    event->ignore();
    procedure_.closeBox();
    done();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace velmora::qt
