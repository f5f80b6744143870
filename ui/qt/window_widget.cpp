#include "ui/qt/window_widget.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/control_adapters.h"
#include "ui/qt/list_adapter.h"
#include "ui/qt/qt_host.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

bool sitsBeside(const Control& c) {
  return c.type == ControlType::Lookup || c.type == ControlType::Calendar ||
         (c.type == ControlType::Text && !c.target.empty());
}

}  // namespace

WindowWidget::WindowWidget(Procedure& procedure, QtHost& host, QWidget* parent)
    : QWidget(parent), procedure_(procedure), host_(host) {
  setWindowTitle(q(procedure.window().title));
  setObjectName(q(procedure.name()));
  build();
  refreshAll();
}

WindowWidget::~WindowWidget() = default;

ControlAdapter* WindowWidget::adapter(const std::string& id) const {
  auto it = adapters_.find(id);
  return it == adapters_.end() ? nullptr : it->second.get();
}

QWidget* WindowWidget::control(const std::string& id) const {
  if (dict::sameName(id, "?CURRENTTAB"))
    return pages_ ? static_cast<QWidget*>(pages_) : static_cast<QWidget*>(tabBar_);
  ControlAdapter* a = adapter(id);
  return a ? a->widget() : nullptr;
}

QTableView* WindowWidget::list(const std::string& control) const {
  for (ListAdapter* l : lists_)
    if (control.empty() || dict::sameName(l->control().id, control)) return l->table();
  return nullptr;
}

namespace {

// The body of a window scrolls when it is taller than the screen; it asks
// for the room its controls want, not the small fixed size of a plain
// scroll area.
class BodyScroll : public QScrollArea {
 public:
  explicit BodyScroll(QWidget* parent) : QScrollArea(parent) {
    setObjectName("body");
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
  }
  // Once shown, with its lists filled and its fonts known, a window whose
  // body would scroll grows to show it whole, as far as its room allows:
  // nothing is cut at the opening size.
  void showEvent(QShowEvent* e) override {
    QScrollArea::showEvent(e);
    if (fitted_) return;
    fitted_ = true;
    QTimer::singleShot(0, this, [this] { fitBody(); });
    // What the window shows first (its lists' rows, its figures) may still
    // widen it a moment later; after that its size is the user's.
    QTimer::singleShot(1500, this, [this] { settled_ = true; });
  }
  void fitBody() {
    if (!widget()) return;
    QWidget* holder = holderOf();
    if (!holder) return;
    const QSize want = widget()->sizeHint().expandedTo(widget()->minimumSizeHint());
    int wide = std::max(0, want.width() - viewport()->width());
    const int tall = std::max(0, want.height() - viewport()->height());
    // Its title whole too, beside the title bar's buttons.
    QFont bold = holder->font();
    bold.setBold(true);
    const int titled = QFontMetrics(bold).horizontalAdvance(holder->windowTitle()) + 110;
    wide = std::max(wide, titled - holder->width());
    if (wide == 0 && tall == 0) return;
    QSize size = holder->size() + QSize(wide, tall);
    QRect room;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(holder); sub && sub->mdiArea())
      room = sub->mdiArea()->viewport()->rect();
    else if (QScreen* sc = holder->screen())
      room = sc->availableGeometry().adjusted(0, 0, -16, -40);
    if (!room.isEmpty()) size = size.boundedTo(room.size());
    holder->resize(size);
    if (!room.isEmpty()) {
      QPoint at = holder->pos();
      at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
      at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
      holder->move(at);
    }
  }
  QWidget* holderOf() const {
    QWidget* holder = parentWidget();
    if (holder && qobject_cast<QMdiSubWindow*>(holder->parentWidget()))
      return holder->parentWidget();
    return holder ? holder->window() : nullptr;
  }
  bool fitted_ = false;
  bool settled_ = false;

  // A control shown later (the audit's status line) widens the body: the
  // window grows with it instead of scrolling sideways.
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == widget() && e->type() == QEvent::LayoutRequest && fitted_ && !settled_)
      QTimer::singleShot(0, this, [this] { fitBody(); });
    if (watched == widget() && e->type() == QEvent::LayoutRequest) {
      const int need = widget()->minimumSizeHint().width() - viewport()->width();
      QWidget* holder = parentWidget();
      if (holder && qobject_cast<QMdiSubWindow*>(holder->parentWidget()))
        holder = holder->parentWidget();
      else if (holder)
        holder = holder->window();
      if (need > 0 && holder) holder->resize(holder->width() + need, holder->height());
    }
    return QScrollArea::eventFilter(watched, e);
  }
  // The body with the scroll area's own frame around it: without the frame
  // a window opened at its hint would scroll by those few pixels.
  QSize sizeHint() const override {
    QSize s = widget() ? widget()->sizeHint() : QSize();
    s += QSize(2 * frameWidth(), 2 * frameWidth());
    if (QScreen* sc = screen(); sc && s.height() > sc->availableGeometry().height())
      s.rwidth() += verticalScrollBar()->sizeHint().width();
    return s;
  }
  // Any height: what does not fit scrolls.
  QSize minimumSizeHint() const override {
    QSize s = widget() ? widget()->minimumSizeHint() : QSize();
    return {s.width() + 2 * frameWidth(), std::min(s.height(), 120)};
  }
};

}  // namespace

void WindowWidget::build() {
  auto* outer = new QVBoxLayout(this);
  auto* scroll = new BodyScroll(this);
  auto* body = new QWidget;
  auto* main = new QVBoxLayout(body);
  main->setContentsMargins(0, 0, 0, 0);
  const WindowDescription& w = procedure_.window();
  if (!w.menu.empty()) {
    // Each item presses its button, as the frame's menu does.
    auto* bar = new QMenuBar(this);
    std::map<std::string, QMenu*> menus;
    for (const MenuEntry& e : w.menu) {
      const Control* c = w.find(e.control);
      if (!c) continue;
      auto* a = new QAction(QString::fromStdString(c->text), this);
      a->setObjectName(QString::fromStdString(e.control));
      a->setStatusTip(QString::fromStdString(e.message));
      const std::string id = e.control;
      connect(a, &QAction::triggered, this, [this, id] { pressed(id); });
      if (e.menu == c->text) {
        bar->addAction(a);
        continue;
      }
      QMenu*& m = menus[e.menu];
      if (!m) m = bar->addMenu(QString::fromStdString(e.menu));
      m->addAction(a);
    }
    outer->setMenuBar(bar);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);

  // Where controls go: the window itself ("") or a page of its sheet. A
  // list takes the width of its area; fields after it sit below it.
  struct Area {
    QVBoxLayout* box;
    QFormLayout* form;
    bool listPlaced = false;
    bool hasList = false;
  };
  std::map<std::string, Area, NoCaseLess> areas;

  // Tabs that hold controls become pages; a sheet of empty tabs (a browse's
  // sort orders) is a tab bar over the list.
  bool pagesWithControls = false;
  for (const Control& c : w.controls)
    if (!c.owner.empty() && c.type != ControlType::Tab) pagesWithControls = true;
  if (w.hasSheet()) {
    if (pagesWithControls) {
      pages_ = new QTabWidget(body);
      pages_->setObjectName("?CURRENTTAB");
      // Every tab in sight: the window widens for them rather than hide some.
      pages_->setUsesScrollButtons(false);
      for (const Control* tab : w.tabs()) {
        auto* page = new QWidget;
        auto* box = new QVBoxLayout(page);
        auto* form = new QFormLayout;
        box->addLayout(form);
        areas[tab->id] = Area{box, form};
        pages_->addTab(page, q(plainCaption(tab->text)));
      }
      main->addWidget(pages_);
      QObject::connect(pages_, &QTabWidget::currentChanged, [this](int i) {
        if (!refreshing_) procedure_.selectTab(i + 1), done();
      });
    } else {
      tabBar_ = new QTabBar(body);
      tabBar_->setObjectName("?CURRENTTAB");
      for (const Control* tab : w.tabs()) tabBar_->addTab(q(plainCaption(tab->text)));
      main->addWidget(tabBar_);
      QObject::connect(tabBar_, &QTabBar::currentChanged, [this](int i) {
        if (!refreshing_) {
          procedure_.selectTab(i + 1);
          refreshLists();
          done();
        }
      });
    }
  }
  areas[""] = Area{main, new QFormLayout};
  main->addLayout(areas[""].form);

  for (const Control& c : w.controls)
    if ((c.type == ControlType::Text || c.type == ControlType::Entry) &&
        numericPicture(c.picture) && !c.picture.empty())
      figureWidth_ = std::max(figureWidth_, pictureWidth(*this, c.picture));

  QLabel* pendingPrompt = nullptr;
  QFormLayout* pendingForm = nullptr;
  for (const Control& c : w.controls) {
    if (c.type == ControlType::Sheet || c.type == ControlType::Tab) continue;
    if (sitsBeside(c)) continue;  // placed with the control it serves
    auto made = makeAdapter(*this, c);
    ControlAdapter* a = made.get();
    adapters_[c.id] = std::move(made);
    const ControlAdapter::Place place = a->place();
    auto found = areas.find(c.owner);
    Area& area = found != areas.end() ? found->second : areas[""];
    if (area.listPlaced && place != ControlAdapter::Place::Button) {
      area.form = new QFormLayout;
      area.box->addLayout(area.form);
      area.listPlaced = false;
    }
    QFormLayout* form = area.form;
    switch (place) {
      case ControlAdapter::Place::Prompt:
        if (pendingPrompt) pendingForm->addRow(pendingPrompt);
        pendingPrompt = static_cast<QLabel*>(a->widget());
        pendingForm = form;
        continue;
      case ControlAdapter::Place::Wide:
        if (pendingPrompt) pendingForm->addRow(pendingPrompt), pendingPrompt = nullptr;
        area.box->addWidget(a->placed(), 1);
        lists_.push_back(static_cast<ListAdapter*>(a));
        area.listPlaced = area.hasList = true;
        continue;
      case ControlAdapter::Place::Area:
        if (pendingPrompt) pendingForm->addRow(pendingPrompt), pendingPrompt = nullptr;
        area.box->addWidget(a->placed(), 1);
        area.listPlaced = area.hasList = true;
        continue;
      case ControlAdapter::Place::Button: buttons->addWidget(a->placed()); continue;
      default: break;
    }
    // The lookup and calendar buttons of an entry, and the texts that go
    // with a control, sit beside it.
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    // A text keeps what sits beside it close (a quantity and its unit).
    const bool keepClose =
        c.type == ControlType::Text &&
        std::any_of(w.controls.begin(), w.controls.end(), [&](const Control& extra) {
          return sitsBeside(extra) && dict::sameName(extra.target, c.id);
        });
    h->addWidget(a->placed(), keepClose ? 0 : 1);
    for (const Control& extra : w.controls) {
      if (!sitsBeside(extra) || !dict::sameName(extra.target, c.id)) continue;
      auto beside = makeAdapter(*this, extra);
      h->addWidget(beside->placed());
      adapters_[extra.id] = std::move(beside);
    }
    // An entry keeps the width of its picture; the row's room is left after
    // it and what sits beside it.
    const bool figure = c.type == ControlType::Text && numericPicture(c.picture);
    if (keepClose || figure || c.type == ControlType::Entry) h->addStretch(1);
    if (pendingPrompt && pendingForm == form) {
      pendingPrompt->setBuddy(a->widget());
      form->addRow(pendingPrompt, row);
    } else {
      if (pendingPrompt) pendingForm->addRow(pendingPrompt);
      form->addRow(row);
    }
    pendingPrompt = nullptr;
  }
  if (pendingPrompt) pendingForm->addRow(pendingPrompt);
  // Fields keep to the top of a page that has no list to fill it.
  for (auto& [id, area] : areas)
    if (!id.empty() && !area.hasList) area.box->addStretch(1);
  scroll->setWidget(body);
  outer->addWidget(scroll, 1);
  outer->addLayout(buttons);
}

void WindowWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (ListAdapter* l : lists_) l->fitPageRows();
}

void WindowWidget::refreshLists() {
  refreshing_ = true;
  for (ListAdapter* l : lists_) l->refresh();
  if (tabBar_ && procedure_.currentTab() > 0) tabBar_->setCurrentIndex(procedure_.currentTab() - 1);
  refreshing_ = false;
}

void WindowWidget::refresh(const std::string& id) {
  refreshing_ = true;
  if (ControlAdapter* a = adapter(id)) a->refresh();
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
  refreshLists();
}

void WindowWidget::pressed(const std::string& id) {
  // A pending entry is accepted before the button acts.
  if (QWidget* f = focusWidget(); qobject_cast<QLineEdit*>(f))
    for (const auto& [cid, a] : adapters_)
      if (a->widget() == f) a->finishEdit();
  if (procedure_.isClosing()) return;
  procedure_.selected(id);
  procedure_.accepted(id);
  done();
}

void WindowWidget::done() {
  refreshLists();
  host_.afterEvent(procedure_);
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
  if (event->key() == Qt::Key_F1) {
    procedure_.keyPressed(Key::Help);
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
