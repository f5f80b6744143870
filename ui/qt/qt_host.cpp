#include "ui/qt/qt_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <cstdlib>

#include "ui/qt/dialogs.h"
#include "ui/qt/window_widget.h"

namespace velmora::qt {

namespace {

// The nested loop of each modal window, ended when its procedure closes.
std::map<Procedure*, QEventLoop*>& loops() {
  static std::map<Procedure*, QEventLoop*> l;
  return l;
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
  return frame_ ? frame_->window() : nullptr;
}

void QtHost::warn(const WarningLines& lines) { showWarning(parentForDialogs(), lines); }

bool QtHost::choose(const WarningLines& lines) { return chooseWarning(parentForDialogs(), lines); }

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
  auto* w = new WindowWidget(p, *this);
  widgets_[&p] = w;
  bool started =
      std::any_of(started_.begin(), started_.end(), [&](auto& s) { return s.get() == &p; });
  if (started && frame_) {
    QMdiSubWindow* sub = frame_->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->show();
  } else {
    w->setWindowFlag(Qt::Window, true);
    if (!started) w->setWindowModality(Qt::ApplicationModal);
    w->resize(w->sizeHint().expandedTo(QSize(480, 320)));
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
  WindowWidget* w = widget(p);
  if (!w) return;
  QWidget* top = w->parentWidget() ? w->parentWidget() : w;
  if (placement.x && placement.y) top->move(*placement.x, *placement.y);
  if (placement.width && placement.height) top->resize(*placement.width, *placement.height);
  if (placement.maximized) top->showMaximized();
  if (placement.minimized) top->showMinimized();
}

std::optional<WindowPlacement> QtHost::placement(Procedure& p) {
  WindowWidget* w = widget(p);
  if (!w) return std::nullopt;
  QWidget* top = w->parentWidget() ? w->parentWidget() : w;
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
  if (WindowWidget* w = widget(p)) w->refresh(control);
}

void QtHost::focus(Procedure& p, const std::string& control) {
  if (WindowWidget* w = widget(p))
    if (QWidget* c = w->control(control)) c->setFocus();
}

void QtHost::setStatusBar(QStatusBar* bar) {
  status_ = bar ? std::make_unique<StatusZones>(bar) : nullptr;
}

QString QtHost::statusText(int zone) const { return status_ ? status_->text(zone) : QString(); }

void QtHost::status(Procedure& p, int zone, const std::string& text) {
  if (status_)
    status_->show(zone, QString::fromStdString(text));
  else if (WindowWidget* w = widget(p))
    w->showStatus(zone, QString::fromStdString(text));
}

}  // namespace velmora::qt
