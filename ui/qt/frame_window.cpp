#include "ui/qt/frame_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "ui/qt/qt_host.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// A toolbar icon: the button's short text on a coloured tile.
QIcon tileIcon(const QString& text, int index) {
  static const QColor kColours[] = {QColor(0x2e, 0x6d, 0xa4), QColor(0x3c, 0x8d, 0x5a),
                                    QColor(0xb3, 0x6b, 0x1f), QColor(0x7a, 0x4b, 0x9c)};
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(kColours[index % 4]);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(1, 1, 30, 30, 6, 6);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(11);
  p.setFont(f);
  p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, text.left(3).toUpper());
  return QIcon(pm);
}

}  // namespace

FrameWindow::FrameWindow(FrameProcedure& frame, QtHost& host) : frame_(frame), host_(host) {
  setObjectName(q(frame.name()));
  setWindowTitle(q(frame.window().title));
  // The program's icon: its initial on the suite's colour.
  if (windowIcon().isNull() || windowIcon().cacheKey() == QApplication::windowIcon().cacheKey())
    setWindowIcon(tileIcon(q(frame.program().name()).left(1), 0));
  build();
  refreshAll();
  updatePictures();
  resize(1000, 700);
}

QAction* FrameWindow::action(const std::string& control) const {
  auto it = actions_.find(control);
  return it == actions_.end() ? nullptr : it->second;
}

void FrameWindow::build() {
  const FrameLayout& layout = frame_.layout();
  const WindowDescription& w = frame_.window();
  std::map<std::string, QMenu*> menus;
  for (const MenuEntry& e : layout.menu) {
    const Control* c = w.find(e.control);
    if (!c) continue;
    auto* a = new QAction(q(c->text), this);
    a->setObjectName(q(e.control));
    a->setStatusTip(q(e.message));
    std::string id = e.control;
    connect(a, &QAction::triggered, this, [this, id] { pressed(id); });
    actions_[id] = a;
    if (e.menu == c->text) {
      menuBar()->addAction(a);  // a command item of the menu bar itself
      continue;
    }
    QMenu*& m = menus[e.menu];
    if (!m) m = menuBar()->addMenu(q(e.menu));
    m->addAction(a);
  }

  auto* tools = addToolBar(QStringLiteral("Herramientas"));
  tools->setObjectName("toolbar");
  tools->setMovable(false);
  tools->setIconSize(QSize(32, 32));
  for (std::size_t i = 0; i < layout.toolbar.size(); ++i) {
    const std::string& id = layout.toolbar[i];
    const Control* c = w.find(id);
    if (!c) continue;
    QString icon = i < layout.icons.size() ? q(layout.icons[i]) : QString::number(i + 1);
    auto* a = new QAction(tileIcon(icon, int(i)), q(plainCaption(c->text)), this);
    a->setObjectName(q(id));
    a->setToolTip(q(c->tip.empty() ? plainCaption(c->text) : c->tip));
    a->setStatusTip(a->toolTip());
    connect(a, &QAction::triggered, this, [this, id] { pressed(id); });
    actions_[id] = a;
    tools->addAction(a);
  }
  image_ = new QLabel;
  image_->setObjectName(q(layout.image));
  image_->setContentsMargins(8, 0, 0, 0);
  tools->addWidget(image_);

  area_ = new QMdiArea;
  area_->setObjectName("frameArea");
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(area_);
  statusBar()->setObjectName("statusBar");
}

void FrameWindow::refresh(const std::string& control) {
  if (QAction* a = action(control)) {
    ControlState s = frame_.state(control);
    a->setEnabled(s.enabled);
    a->setVisible(!s.hidden);
  }
}

void FrameWindow::refreshAll() {
  for (const auto& [id, a] : actions_) refresh(id);
}

void FrameWindow::updatePictures() {
  // Pictures are looked for in the program folder; a missing one leaves the
  // plain background.
  QString background = q(frame_.background());
  QPixmap pm;
  if (!background.isEmpty() && QFileInfo::exists(background) && pm.load(background))
    area_->setBackground(QBrush(pm));
  else
    area_->setBackground(QBrush(QColor(0x44, 0x5b, 0x6e)));
  QString banner = q(frame_.toolbarImage());
  QPixmap bp;
  if (!banner.isEmpty() && QFileInfo::exists(banner) && bp.load(banner))
    image_->setPixmap(bp.scaledToHeight(32, Qt::SmoothTransformation));
  else
    image_->clear();
}

void FrameWindow::showSplash(bool open) {
  if (!open) {
    if (splash_) splash_->close(), splash_->deleteLater(), splash_ = nullptr;
    return;
  }
  if (splash_) return;
  auto* s = new QWidget(this, Qt::Tool | Qt::FramelessWindowHint);
  s->setObjectName("splash");
  s->setAttribute(Qt::WA_DeleteOnClose, false);
  auto* v = new QVBoxLayout(s);
  auto* title = new QLabel(q(frame_.window().title));
  QFont f = title->font();
  f.setPointSize(f.pointSize() + 4);
  f.setBold(true);
  title->setFont(f);
  v->addWidget(title, 0, Qt::AlignCenter);
  v->addWidget(new QLabel(QStringLiteral("Versión 1.0")), 0, Qt::AlignCenter);
  s->setStyleSheet("QWidget#splash { background: #f4f1e8; border: 1px solid #445b6e; }");
  s->adjustSize();
  s->move(geometry().center() - s->rect().center());
  s->show();
  splash_ = s;
  QTimer::singleShot(5000, this, [this] {
    frame_.splashTimedOut();
    host_.afterEvent(frame_);
  });
}

void FrameWindow::pressed(const std::string& control) {
  frame_.accepted(control);
  refreshAll();
  host_.afterEvent(frame_);
}

void FrameWindow::closeEvent(QCloseEvent* event) {
  if (!frame_.isClosing()) {
    event->ignore();
    frame_.closeBox();
    host_.afterEvent(frame_);
    return;
  }
  QMainWindow::closeEvent(event);
}

}  // namespace velmora::qt
