#include "ui/qt/qt_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTranslator>
#include <algorithm>
#include <cstdlib>

#include "ui/qt/dialogs.h"
#include "ui/qt/frame_window.h"
#include "ui/qt/window_widget.h"

namespace velmora::qt {

namespace {

// The nested loop of each modal window, ended when its procedure closes.
std::map<Procedure*, QEventLoop*>& loops() {
  static std::map<Procedure*, QEventLoop*> l;
  return l;
}

// Room a window manager takes around a top-level window (title bar, borders).
constexpr int kFrameWidth = 16, kFrameHeight = 40;

// The area a window must stay inside: the MDI area's viewport for a child,
// else the available part of its screen.
QRect roomFor(QWidget* top) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(top); sub && sub->mdiArea())
    return sub->mdiArea()->viewport()->rect();
  QScreen* screen = top->screen() ? top->screen() : QGuiApplication::primaryScreen();
  if (!screen) return {};
  QRect r = screen->availableGeometry();
  return r.adjusted(0, 0, -kFrameWidth, -kFrameHeight);
}

// Shrinks a window to its room (its body scrolls) and moves it inside.
void keepInside(QWidget* top) {
  const QRect room = roomFor(top);
  if (room.isEmpty()) return;
  top->resize(top->size().boundedTo(room.size()));
  QPoint at = top->pos();
  at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - top->width())));
  at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - top->height())));
  top->move(at);
}

// A stored position is kept only where the window would be seen: on one of
// the screens (settings may come from another station's monitors), or
// inside the frame for a child window.
bool visiblePosition(QWidget* top, QPoint at) {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(top); sub && sub->mdiArea())
    return sub->mdiArea()->viewport()->rect().contains(at);
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().contains(at)) return true;
  return false;
}

void centre(QWidget* top, QWidget* over) {
  QRect around;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(top); sub && sub->mdiArea())
    around = sub->mdiArea()->viewport()->rect();
  else if (over)
    around = over->geometry();
  else if (QScreen* screen = top->screen())
    around = screen->availableGeometry();
  if (!around.isEmpty()) top->move(around.center() - QPoint(top->width() / 2, top->height() / 2));
}

}  // namespace

QtHost::QtHost(QMdiArea* frame) : frame_(frame) {}

QtHost::~QtHost() {
  for (auto& p : started_)
    if (p->isOpen()) p->finish();
}

QWidget* QtHost::parentForDialogs() const {
  if (!modal_.empty())
    if (auto it = widgets_.find(modal_.back()); it != widgets_.end()) return it->second;
  if (frameWindow_) return frameWindow_;
  return frame_ ? frame_->window() : nullptr;
}

QWidget* QtHost::topOf(Procedure& p) const {
  if (&p == frameProcedure_) return frameWindow_;
  WindowWidget* w = widget(p);
  if (!w) return nullptr;
  return w->parentWidget() ? w->parentWidget() : w;
}

void QtHost::warn(const WarningLines& lines) { showWarning(parentForDialogs(), lines); }

bool QtHost::choose(const WarningLines& lines) { return chooseWarning(parentForDialogs(), lines); }

bool QtHost::confirm(const WarningLines& lines) {
  return confirmWarning(parentForDialogs(), lines);
}

int QtHost::show(const MessageBox& box) { return showMessageBox(parentForDialogs(), box); }

void QtHost::stopProgram() {
  QCoreApplication::exit(3);
  std::exit(3);
}

WindowWidget* QtHost::widget(Procedure& p) const {
  auto it = widgets_.find(&p);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtHost::opened(Procedure& p) {
  if (auto* frame = dynamic_cast<FrameProcedure*>(&p)) {
    frameWindow_ = new FrameWindow(*frame, *this);
    frameProcedure_ = &p;
    frame_ = frameWindow_->area();
    setStatusBar(frameWindow_->statusBar());
    frameWindow_->show();
    return;
  }
  auto* w = new WindowWidget(p, *this);
  widgets_[&p] = w;
  bool started =
      std::any_of(started_.begin(), started_.end(), [&](auto& s) { return s.get() == &p; });
  if (started && frame_) {
    QMdiSubWindow* sub = frame_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->show();
    keepInside(sub);
  } else {
    w->setWindowFlag(Qt::Window, true);
    if (!started) w->setWindowModality(Qt::ApplicationModal);
    w->resize(w->sizeHint().expandedTo(QSize(480, 160)));
    // A called window opens centred over the one that called it, inside the
    // screen; a saved placement moves it afterwards.
    if (QWidget* over = parentForDialogs()) centre(w, over);
    keepInside(w);
    w->show();
  }
}

void QtHost::runModal(Procedure& p) {
  modal_.push_back(&p);
  QEventLoop loop;
  loops()[&p] = &loop;
  if (!p.isClosing()) loop.exec();
  loops().erase(&p);
  modal_.pop_back();
}

void QtHost::closed(Procedure& p) {
  jobs_.ownerClosed(p);
  if (&p == frameProcedure_) {
    // The frame's children end first, while their windows still exist.
    for (auto& child : started_)
      if (child->isOpen()) child->finish();
    started_.clear();
    setStatusBar(nullptr);
    frameWindow_->hide();
    frameWindow_->deleteLater();
    frameWindow_ = nullptr;
    frameProcedure_ = nullptr;
    frame_ = nullptr;
    return;
  }
  auto it = widgets_.find(&p);
  if (it == widgets_.end()) return;
  WindowWidget* w = it->second;
  widgets_.erase(it);
  if (QWidget* sub = w->parentWidget(); sub && qobject_cast<QMdiSubWindow*>(sub)) {
    sub->hide();
    sub->deleteLater();
  } else {
    w->hide();
    w->deleteLater();
  }
}

void QtHost::start(std::unique_ptr<Procedure> p) {
  Procedure& ref = *p;
  started_.push_back(std::move(p));
  if (!ref.open(*this)) {
    ref.finish();
    started_.pop_back();
    return;
  }
  // A window that finished by itself as it opened.
  if (ref.isClosing() && frame_) {
    afterEvent(ref);
    return;
  }
  // Without a frame a started window runs like a modal one.
  if (!frame_) {
    runModal(ref);
    ref.finish();
    std::erase_if(started_, [&](auto& s) { return s.get() == &ref; });
  }
}

void QtHost::afterEvent(Procedure& p) {
  if (!p.isClosing()) return;
  if (auto it = loops().find(&p); it != loops().end()) {
    it->second->quit();
    return;
  }
  auto it = std::find_if(started_.begin(), started_.end(), [&](auto& s) { return s.get() == &p; });
  if (it != started_.end() && p.isOpen()) {
    p.finish();
    // Destroyed later: we may be inside one of its own handlers.
    Procedure* raw = it->release();
    started_.erase(it);
    QObject* owner = frame_ ? static_cast<QObject*>(frame_) : QCoreApplication::instance();
    QMetaObject::invokeMethod(
        owner, [raw] { delete raw; }, Qt::QueuedConnection);
  }
}

void QtHost::place(Procedure& p, const WindowPlacement& placement) {
  QWidget* top = topOf(p);
  if (!top) return;
  if (placement.width && placement.height) {
    // The size the user left, but never one that cuts what the window holds
    // now (a later version may hold more): it opens with nothing hidden, as
    // far as the screen allows.
    QSize size(*placement.width, *placement.height);
    if (&p != frameProcedure_) size = size.expandedTo(top->sizeHint());
    top->resize(size);
  }
  if (placement.x && placement.y) {
    const QPoint at(*placement.x, *placement.y);
    if (visiblePosition(top, at))
      top->move(at);
    else if (&p != frameProcedure_)
      centre(top, parentForDialogs() == top ? nullptr : parentForDialogs());
  }
  if (&p != frameProcedure_) keepInside(top);
  if (placement.maximized) top->showMaximized();
  if (placement.minimized) top->showMinimized();
}

std::optional<WindowPlacement> QtHost::placement(Procedure& p) {
  QWidget* top = topOf(p);
  if (!top) return std::nullopt;
  WindowPlacement wp;
  wp.maximized = top->isMaximized();
  wp.minimized = top->isMinimized();
  QRect g = top->geometry();
  wp.x = g.x();
  wp.y = g.y();
  wp.width = g.width();
  wp.height = g.height();
  return wp;
}

void QtHost::refresh(Procedure& p, const std::string& control) {
  if (&p == frameProcedure_) return frameWindow_->refresh(control);
  if (WindowWidget* w = widget(p)) w->refresh(control);
}

void QtHost::focus(Procedure& p, const std::string& control) {
  if (WindowWidget* w = widget(p))
    if (QWidget* c = w->control(control)) c->setFocus();
}

void QtHost::standard(StandardCommand command) {
  auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  switch (command) {
    case StandardCommand::Cut:
      if (edit) edit->cut();
      break;
    case StandardCommand::Copy:
      if (edit) edit->copy();
      break;
    case StandardCommand::Paste:
      if (edit) edit->paste();
      break;
    case StandardCommand::Tile:
      if (frameWindow_)
        frameWindow_->tile();
      else if (frame_)
        frame_->tileSubWindows();
      break;
    case StandardCommand::Cascade:
      if (frame_) frame_->cascadeSubWindows();
      break;
    case StandardCommand::ArrangeIcons:
      // Minimised children line up along the bottom of the frame.
      if (frame_) {
        int x = 0;
        for (QMdiSubWindow* sub : frame_->subWindowList())
          if (sub->isMinimized()) {
            sub->move(x, frame_->viewport()->height() - sub->height());
            x += sub->width();
          }
      }
      break;
    case StandardCommand::PrinterSetup: (void)documents_.choosePrinter({}); break;
  }
}

void QtHost::pictures(FrameProcedure&) {
  if (frameWindow_) frameWindow_->updatePictures();
}

void QtHost::titles(FrameProcedure&) {
  if (frameWindow_) frameWindow_->updateTitles();
}

void QtHost::splash(bool open) {
  if (frameWindow_) frameWindow_->showSplash(open);
}

void QtHost::setStatusBar(QStatusBar* bar) {
  status_ = bar ? std::make_unique<StatusZones>(bar) : nullptr;
}

QString QtHost::statusText(int zone) const { return status_ ? status_->text(zone) : QString(); }

void QtHost::status(Procedure& p, int zone, const std::string& text) {
  WindowWidget* w = widget(p);
  if (w && p.window().statusBar)
    w->showStatus(zone, QString::fromStdString(text));
  else if (status_)
    status_->show(zone, QString::fromStdString(text));
  else if (w)
    w->showStatus(zone, QString::fromStdString(text));
}

void useSpanishTranslations() {
  static QTranslator qt;
  if (qt.load(QLocale(QLocale::Spanish), QStringLiteral("qtbase"), QStringLiteral("_"),
              QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&qt);
}

}  // namespace velmora::qt
