#include "ui/qt/window_widget.h"

#include <algorithm>

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/qt/control_adapters.h"
#include "ui/qt/list_adapter.h"
#include "ui/qt/qt_host.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// A tab page taller than the screen leaves room for the window's title, tabs
// and buttons and scrolls; a shorter one asks for just its own size.
class PageScroll : public QScrollArea {
 public:
  QSize sizeHint() const override {
    QSize s = widget()->sizeHint();
    const QScreen* sc = screen();
    const int room = std::max(200, (sc ? sc->availableGeometry().height() : 768) - 260);
    if (s.height() > room) s = {s.width() + verticalScrollBar()->sizeHint().width(), room};
    return s;
  }
};

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
      // Every tab in sight: the window widens for them rather than hide some.
      pages_->setUsesScrollButtons(false);
      for (const Control* tab : w.tabs()) {
        auto* page = new QWidget;
        auto* form = new QFormLayout(page);
        forms[tab->id] = form;
        auto* scroll = new PageScroll;
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        scroll->viewport()->setAutoFillBackground(false);
        page->setAutoFillBackground(false);
        pages_->addTab(scroll, q(plainCaption(tab->text)));
      }
      outer->addWidget(pages_);
      QObject::connect(pages_, &QTabWidget::currentChanged, [this](int i) {
        if (!refreshing_) procedure_.selectTab(i + 1), done();
      });
    } else {
      tabBar_ = new QTabBar(this);
      tabBar_->setObjectName("?CURRENTTAB");
      for (const Control* tab : w.tabs()) tabBar_->addTab(q(plainCaption(tab->text)));
      outer->addWidget(tabBar_);
      QObject::connect(tabBar_, &QTabBar::currentChanged, [this](int i) {
        if (!refreshing_) {
          procedure_.selectTab(i + 1);
          refreshLists();
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
    auto made = makeAdapter(*this, c);
    ControlAdapter* a = made.get();
    adapters_[c.id] = std::move(made);
    const ControlAdapter::Place place = a->place();
    // Fields after a list sit below it.
    if (listPlaced && c.owner.empty() && place != ControlAdapter::Place::Button) {
      mainForm = new QFormLayout;
      outer->addLayout(mainForm);
      listPlaced = false;
    }
    QFormLayout* form = mainForm;
    if (auto it = forms.find(c.owner); it != forms.end()) form = it->second;
    switch (place) {
      case ControlAdapter::Place::Prompt:
        if (pendingPrompt) pendingForm->addRow(pendingPrompt);
        pendingPrompt = static_cast<QLabel*>(a->widget());
        pendingForm = form;
        continue;
      case ControlAdapter::Place::Wide:
        if (pendingPrompt) pendingForm->addRow(pendingPrompt), pendingPrompt = nullptr;
        outer->addWidget(a->placed(), 1);
        lists_.push_back(static_cast<ListAdapter*>(a));
        listPlaced = true;
        continue;
      case ControlAdapter::Place::Button: buttons->addWidget(a->placed()); continue;
      default: break;
    }
    // The lookup and calendar buttons of an entry sit beside it.
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(a->placed(), 1);
    for (const Control& extra : w.controls) {
      if ((extra.type != ControlType::Lookup && extra.type != ControlType::Calendar) ||
          !dict::sameName(extra.target, c.id))
        continue;
      auto beside = makeAdapter(*this, extra);
      h->addWidget(beside->placed());
      adapters_[extra.id] = std::move(beside);
    }
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
