#include "ui/qt/frame_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <bit>
#include <cmath>

#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

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

// The toolbar's icons come from the desktop's icon theme. Tango, which the
// set-up installs, comes first so that the toolbar looks the same on every
// desktop; without it the desktop's own theme serves, and without either
// the buttons keep their tiles.
void chooseIconTheme() {
  static bool chosen = false;
  if (chosen) return;
  chosen = true;
  for (const QString& dir : QIcon::themeSearchPaths())
    if (QFileInfo::exists(dir + QStringLiteral("/Tango/index.theme"))) {
      QIcon::setThemeName(QStringLiteral("Tango"));
      return;
    }
}

QIcon toolbarIcon(const std::string& themeName, const QString& tileText, int index) {
  const QString name = q(themeName);
  if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  return tileIcon(tileText, index);
}

// A caption under its icon, broken into at most three lines of about
// fourteen characters so that the whole toolbar fits a 1366 pixel screen.
QString wrappedCaption(const QString& caption) {
  constexpr qsizetype kWidth = 14;
  const QStringList words = caption.split(' ', Qt::SkipEmptyParts);
  if (caption.size() <= kWidth || words.size() < 2) return caption;
  // The longest line when the words are split into `lines` lines as evenly
  // as possible (few words: every way of splitting is tried).
  QStringList best;
  qsizetype bestWidth = caption.size();
  for (int lines = 2; lines <= 3 && bestWidth > kWidth; ++lines) {
    const int gaps = int(words.size()) - 1;
    if (gaps < lines - 1) break;
    // Each choice of break positions is a bit mask over the gaps.
    for (unsigned mask = 0; mask < (1u << gaps); ++mask) {
      if (std::popcount(mask) != lines - 1) continue;
      QStringList out{words[0]};
      for (int g = 0; g < gaps; ++g) {
        if (mask & (1u << g))
          out.push_back(words[g + 1]);
        else
          out.back() += ' ' + words[g + 1];
      }
      qsizetype widest = 0;
      for (const QString& l : out) widest = std::max(widest, l.size());
      if (widest < bestWidth) bestWidth = widest, best = out;
    }
  }
  return best.isEmpty() ? caption : best.join('\n');
}

}  // namespace

FrameWindow::FrameWindow(FrameProcedure& frame, QtHost& host) : frame_(frame), host_(host) {
  setObjectName(q(frame.name()));
  setWindowTitle(q(frame.window().title));
  // The program's icon: its initial on the suite's colour.
  if (windowIcon().isNull() || windowIcon().cacheKey() == QApplication::windowIcon().cacheKey())
    setWindowIcon(tileIcon(q(frame.program().name()).left(1), 0));
  chooseIconTheme();
  build();
  refreshAll();
  updatePictures();
  updateTitles();
  // Wide enough for the whole toolbar with its captions, within the screen.
  QSize size(1280, 720);
  if (const QScreen* s = screen()) size = size.boundedTo(s->availableSize());
  resize(size.expandedTo(QSize(800, 560)));
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
    if (e.control == "?Tile") windows_ = m;
  }
  // F1: the help of the window in front, or the manual's contents.
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(f1, &QShortcut::activated, this, [this] {
    QMdiSubWindow* sub = area_ ? area_->activeSubWindow() : nullptr;
    if (auto* w = sub ? dynamic_cast<WindowWidget*>(sub->widget()) : nullptr) {
      w->procedure().keyPressed(Key::Help);
      return;
    }
    pressed("?HelpIndex");
  });
  // The window menu ends with the open windows.
  if (windows_) connect(windows_, &QMenu::aboutToShow, this, [this] { (void)windowList(); });

  auto* tools = addToolBar(QStringLiteral("Herramientas"));
  tools->setObjectName("toolbar");
  tools->setMovable(false);
  tools->setIconSize(QSize(32, 32));
  tools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  for (std::size_t i = 0; i < layout.toolbar.size(); ++i) {
    const std::string& id = layout.toolbar[i];
    const Control* c = w.find(id);
    if (!c) continue;
    QString tile = i < layout.icons.size() ? q(layout.icons[i]) : QString::number(i + 1);
    std::string theme = i < layout.themeIcons.size() ? layout.themeIcons[i] : std::string();
    auto* a = new QAction(toolbarIcon(theme, tile, int(i)), q(plainCaption(c->text)), this);
    a->setIconText(wrappedCaption(a->text()));
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

void FrameWindow::updateTitles() {
  setWindowTitle(q(frame_.title()));
  // Made anew with their texts, so that the bar gives each its whole width.
  for (QLabel* l : titles_) {
    statusBar()->removeWidget(l);
    l->deleteLater();
  }
  titles_.clear();
  for (const std::string& text : frame_.statusTexts()) {
    auto* l = new QLabel(q(text));
    l->setObjectName(QString("titulo%1").arg(titles_.size() + 1));
    l->setContentsMargins(6, 0, 6, 0);
    l->setMinimumWidth(l->sizeHint().width());
    statusBar()->addPermanentWidget(l);
    titles_.push_back(l);
  }
}

void FrameWindow::tile() {
  std::vector<QMdiSubWindow*> subs;
  for (QMdiSubWindow* sub : area_->subWindowList())
    if (sub->isVisible() && !sub->isMinimized()) subs.push_back(sub);
  if (subs.empty()) return;
  const QRect r = area_->viewport()->rect();
  // Rows before columns: the lists are wider than they are tall. No more
  // columns than the widest window's smallest width lets fit side by side.
  const int n = int(subs.size());
  int widest = 1;
  for (QMdiSubWindow* sub : subs) widest = std::max(widest, sub->minimumSizeHint().width());
  const int rows = int(std::ceil(std::sqrt(double(n))));
  const int cols = std::clamp(std::min((n + rows - 1) / rows, r.width() / widest), 1, n);
  const int used = (n + cols - 1) / cols;
  for (int i = 0; i < n; ++i) {
    const int row = i / cols, col = i % cols;
    // The windows of the last row share its whole width.
    const int inRow = row == used - 1 ? n - row * cols : cols;
    const QRect cell(QPoint(r.x() + r.width() * col / inRow, r.y() + r.height() * row / used),
                     QPoint(r.x() + r.width() * (col + 1) / inRow - 1,
                            r.y() + r.height() * (row + 1) / used - 1));
    QMdiSubWindow* sub = subs[std::size_t(i)];
    if (sub->isMaximized()) sub->showNormal();
    // A window that cannot shrink to its share keeps its smallest size,
    // still inside the frame, over its neighbour.
    const QSize size = cell.size().expandedTo(sub->minimumSizeHint()).boundedTo(r.size());
    const int x = std::min(cell.x(), r.right() + 1 - size.width());
    const int y = std::min(cell.y(), r.bottom() + 1 - size.height());
    sub->setGeometry(QRect(QPoint(x, y), size));
  }
}

QList<QAction*> FrameWindow::windowList() {
  for (QAction* a : windowItems_) {
    if (windows_) windows_->removeAction(a);
    a->deleteLater();
  }
  windowItems_.clear();
  QList<QAction*> list;
  int n = 0;
  for (QMdiSubWindow* sub : area_->subWindowList()) {
    if (sub->isHidden()) continue;  // closing
    ++n;
    QString text = sub->windowTitle();
    if (n <= 9) text = QString("&%1 %2").arg(n).arg(text);
    auto* a = new QAction(text, this);
    a->setObjectName(QString("ventana%1").arg(n));
    a->setCheckable(true);
    a->setChecked(sub == area_->activeSubWindow());
    QPointer<QMdiSubWindow> target(sub);
    connect(a, &QAction::triggered, this, [this, target] {
      if (!target) return;
      if (target->isMinimized()) target->showNormal();
      area_->setActiveSubWindow(target);
    });
    list.push_back(a);
  }
  if (windows_ && !list.isEmpty()) {
    windowItems_.push_back(windows_->addSeparator());
    for (QAction* a : list) windows_->addAction(a), windowItems_.push_back(a);
  }
  return list;
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
