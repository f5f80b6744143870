#include "ui/qt/pages_adapter.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include "framework/page_view.h"
#include "ui/qt/qt_documents.h"
#include "ui/qt/window_widget.h"

namespace velmora::qt {

namespace {

class PagesWidget : public QWidget {
 public:
  PagesWidget(WindowWidget& window, Procedure& procedure)
      : window_(window), procedure_(procedure), view_(dynamic_cast<PageView*>(&procedure)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

  // A preview wants most of the screen.
  QSize sizeHint() const override {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize room = s ? s->availableGeometry().size() : QSize(1024, 768);
    return {room.width() * 4 / 5, room.height() * 3 / 4};
  }
  QSize minimumSizeHint() const override { return {200, 150}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(128, 128, 128));
    if (!view_) return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const PageSlot& s : view_->pageSlots()) {
      const QRect r(s.x, s.y, s.width, s.height);
      if (!r.intersects(rect())) continue;
      p.fillRect(r, Qt::white);
      p.setPen(Qt::black);
      paintPage(view_->pagesShown(), s.page, p, QRectF(r));
      p.setPen(QColor(64, 64, 64));
      p.setBrush(Qt::NoBrush);
      p.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (view_) view_->areaResized(width(), height());
  }
  void mousePressEvent(QMouseEvent* e) override {
    setFocus();
    if (!view_ || e->button() != Qt::LeftButton) return;
    view_->areaClicked(int(e->position().x()), int(e->position().y()));
    after();
  }
  void wheelEvent(QWheelEvent* e) override {
    if (!view_) return;
    // Three arrow steps per notch, as a text view scrolls.
    const int notches = e->angleDelta().y() / 120;
    if (e->modifiers() & Qt::ShiftModifier)
      view_->areaScrolled(-notches * 3 * 52, 0);
    else
      view_->areaScrolled(0, -notches * 3 * 51);
    update();
  }
  void keyPressEvent(QKeyEvent* e) override {
    static const std::pair<int, Key> keys[] = {
        {Qt::Key_PageUp, Key::PageUp}, {Qt::Key_PageDown, Key::PageDown},
        {Qt::Key_Left, Key::Left},     {Qt::Key_Right, Key::Right},
        {Qt::Key_Up, Key::Up},         {Qt::Key_Down, Key::Down},
    };
    for (const auto& [qtKey, key] : keys)
      if (e->key() == qtKey) {
        procedure_.keyPressed(key);
        return after();
      }
    QWidget::keyPressEvent(e);
  }

 private:
  void after() {
    update();
    window_.done();
  }
  WindowWidget& window_;
  Procedure& procedure_;
  PageView* view_;
};

// The area with scroll bars for a zoomed page larger than it.
class PagesAdapter : public ControlAdapter {
 public:
  PagesAdapter(WindowWidget& w, const Control& c)
      : ControlAdapter(w, c), view_(dynamic_cast<PageView*>(&w.procedure())) {
    setWidget(new PagesWidget(w, w.procedure()));
    watch(widget_);
    box_ = new QWidget;
    auto* grid = new QGridLayout(box_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    across_ = new QScrollBar(Qt::Horizontal);
    down_ = new QScrollBar(Qt::Vertical);
    across_->setSingleStep(52);
    down_->setSingleStep(51);
    grid->addWidget(widget_, 0, 0);
    grid->addWidget(down_, 0, 1);
    grid->addWidget(across_, 1, 0);
    // Their room is kept while hidden, so showing one never resizes the
    // page under it (nor widens the window).
    for (QScrollBar* bar : {across_, down_}) {
      QSizePolicy keep = bar->sizePolicy();
      keep.setRetainSizeWhenHidden(true);
      bar->setSizePolicy(keep);
      bar->hide();
    }
    QObject::connect(across_, &QScrollBar::valueChanged, this,
                     [this](int v) { scrolled(true, v); });
    QObject::connect(down_, &QScrollBar::valueChanged, this, [this](int v) { scrolled(false, v); });
  }
  Place place() const override { return Place::Area; }
  QWidget* placed() const override { return box_; }
  void showValue() override {
    widget_->update();
    if (!view_) return;
    const PageView::Extent e = view_->extent();
    show(across_, e.width - widget_->width(), e.x, widget_->width());
    show(down_, e.height - widget_->height(), e.y, widget_->height());
  }

 private:
  void show(QScrollBar* bar, int beyond, int at, int page) {
    const QSignalBlocker quiet(bar);
    bar->setRange(0, std::max(0, beyond));
    bar->setPageStep(std::max(1, page));
    bar->setValue(at);
    bar->setVisible(beyond > 0);
  }
  void scrolled(bool across, int to) {
    if (!view_) return;
    const PageView::Extent e = view_->extent();
    view_->areaScrolled(across ? to - e.x : 0, across ? 0 : to - e.y);
    showValue();
  }
  PageView* view_;
  QWidget* box_;
  QScrollBar* across_;
  QScrollBar* down_;
};

}  // namespace

std::unique_ptr<ControlAdapter> makePagesAdapter(WindowWidget& window, const Control& control) {
  return std::make_unique<PagesAdapter>(window, control);
}

}  // namespace velmora::qt
