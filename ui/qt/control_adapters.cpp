#include "ui/qt/control_adapters.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "framework/picture.h"
#include "ui/qt/dialogs.h"
#include "ui/qt/list_adapter.h"
#include "ui/qt/pages_adapter.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/window_widget.h"

namespace velmora::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

QIcon calendarIcon() {
  for (const char* name : {"x-office-calendar", "appointment-new", "office-calendar"})
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  // Without an icon theme: a small calendar page, drawn, so no font is needed.
  QIcon icon;
  for (int size : {16, 24, 32}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const double u = size / 16.0;
    p.scale(u, u);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 12));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(196, 48, 43));
    p.fillRect(QRectF(4, 1, 1.5, 3), QColor(70, 70, 70));
    p.fillRect(QRectF(10.5, 1, 1.5, 3), QColor(70, 70, 70));
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c)
        p.fillRect(QRectF(3 + c * 2.75, 7.25 + r * 2.5, 1.75, 1.5), QColor(90, 90, 90));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

void ControlAdapter::showReadOnly(bool on) {
  if (on) widget_->setEnabled(false);
}

// A typed text the field does not take: told in the window's standard box.
void ControlAdapter::refused(const Status& st) {
  MessageBox box;
  box.title = window_.windowTitle().toStdString();
  box.text = st.text;
  box.icon = MessageIcon::Exclamation;
  showMessageBox(&window_, box);
}

bool numericPicture(const std::string& picture) {
  auto p = compilePicture(picture);
  return p && p->kind == PictureKind::Number;
}

// --- the base ----------------------------------------------------------------------

ControlAdapter::ControlAdapter(WindowWidget& window, const Control& control)
    : window_(window), control_(control) {}

ControlAdapter::~ControlAdapter() = default;

Procedure& ControlAdapter::procedure() const { return window_.procedure(); }

void ControlAdapter::setWidget(QWidget* widget) {
  widget_ = widget;
  widget_->setObjectName(q(control_.id));
  if (!control_.tip.empty()) widget_->setToolTip(q(control_.tip));
}

void ControlAdapter::watch(QObject* object) { object->installEventFilter(this); }

bool ControlAdapter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    procedure().selected(control_.id);
    window_.host().status(procedure(), 1, control_.tip);
  }
  return QObject::eventFilter(watched, event);
}

void ControlAdapter::refresh() {
  ControlState s = procedure().state(control_.id);
  widget_->setEnabled(s.enabled);
  widget_->setVisible(!s.hidden);
  showReadOnly(s.readOnly);
  showValue();
}

namespace {

// --- the kinds ---------------------------------------------------------------------

class PromptAdapter : public ControlAdapter {
 public:
  PromptAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    widget_ = new QLabel(q(c.text));
    widget_->setObjectName(q(c.id));
  }
  Place place() const override { return Place::Prompt; }
};

// An entry takes its text through its picture when the user leaves it.
}  // namespace

// The width an entry of this picture takes, and a figure shown through it:
// digits for numbers, average letters for text, within reason.
int pictureWidth(const QWidget& w, const std::string& picture) {
  const auto p = compilePicture(picture);
  const int chars = p ? std::max(velmora::width(*p), 1) : 10;
  const QFontMetrics fm = w.fontMetrics();
  // Text is mostly capitals here (names, descriptions): a capital's width,
  // so that a full name fits its entry.
  const int each = numericPicture(picture) ? fm.horizontalAdvance(QLatin1Char('0'))
                                           : fm.horizontalAdvance(QLatin1Char('N'));
  return std::max(each * (std::min(chars, 60) + 2) + 12, 60);
}

namespace {

class EntryAdapter : public ControlAdapter {
 public:
  EntryAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    edit_ = new QLineEdit;
    if (numericPicture(c.picture)) edit_->setAlignment(Qt::AlignRight);
    if (auto p = compilePicture(c.picture)) {
      edit_->setMaxLength(std::max(velmora::width(*p), 1));
      // As wide as its picture, not as the window: a date is a date's width.
      // Numbers end at the window's one edge for figures, as its figures do.
      const int own = pictureWidth(*edit_, c.picture);
      edit_->setMaximumWidth(numericPicture(c.picture) ? std::max(own, w.figureWidth()) : own);
      // A name shows whole: the entry asks for its picture's width (a long
      // text's entry, for forty capitals; it still takes more when there is).
      if (!numericPicture(c.picture))
        edit_->setMinimumWidth(std::min(own, pictureWidth(*edit_, "@s40")));
    }
    QObject::connect(edit_, &QLineEdit::editingFinished, this, [this] { finishEdit(); });
    setWidget(edit_);
    watch(edit_);
  }
  void showReadOnly(bool on) override { edit_->setReadOnly(on || control_.readOnly); }
  void showValue() override {
    if (edit_->hasFocus() && edit_->isModified()) return;
    QString text = q(procedure().display(control_));
    edit_->setText(numericPicture(control_.picture) ? text.trimmed() : text);
    // A value longer than the entry shows from its beginning, not its end.
    if (!edit_->hasFocus()) edit_->setCursorPosition(0);
    edit_->setModified(false);
  }
  void finishEdit() override {
    if (window_.refreshing() || !edit_->isModified()) return;
    edit_->setModified(false);
    procedure().selected(control_.id);
    Status st = procedure().typed(control_.id, edit_->text().toStdString());
    if (!st) {
      refused(st);
      window_.refresh(control_.id);
      edit_->setFocus();
      return;
    }
    window_.refresh(control_.id);
    procedure().accepted(control_.id);
    window_.done();
  }

 private:
  QLineEdit* edit_;
};

// A long text: several lines, taken when the user leaves it.
class MemoAdapter : public ControlAdapter {
 public:
  MemoAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    text_ = new QPlainTextEdit;
    text_->setTabChangesFocus(true);
    text_->setFixedHeight(text_->fontMetrics().lineSpacing() * c.lines + 12);
    setWidget(text_);
    watch(text_);
  }
  void showReadOnly(bool on) override { text_->setReadOnly(on || control_.readOnly); }
  void showValue() override {
    if (!text_->hasFocus()) text_->setPlainText(q(procedure().display(control_)).trimmed());
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusOut && !window_.refreshing() && !text_->isReadOnly()) {
      Status st = procedure().typed(control_.id, text_->toPlainText().toStdString());
      if (!st) refused(st);
      window_.refresh(control_.id);
      if (st) procedure().accepted(control_.id), window_.done();
    }
    return ControlAdapter::eventFilter(watched, event);
  }

 private:
  QPlainTextEdit* text_;
};

class TextAdapter : public ControlAdapter {
 public:
  TextAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    label_ = new QLabel;
    // A figure sits where an entry of its picture would show it: right-
    // aligned in the same width, so that figures line up with the entries
    // and with each other.
    figure_ = numericPicture(c.picture) && compilePicture(c.picture).has_value();
    if (figure_) {
      label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      // One beside an entry keeps its own width; the others end at one edge.
      const int own = pictureWidth(*label_, c.picture);
      label_->setFixedWidth(c.target.empty() ? std::max(own, w.figureWidth()) : own);
      label_->setContentsMargins(0, 0, 4, 0);
    }
    setWidget(label_);
    watch(label_);
  }
  void showValue() override {
    const QString text = q(procedure().display(control_));
    label_->setText(figure_ ? text.trimmed() : text);
  }

 private:
  QLabel* label_;
  bool figure_ = false;
};

// A thermometer: the percent held by what it uses.
class ProgressAdapter : public ControlAdapter {
 public:
  ProgressAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    bar_ = new QProgressBar;
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(260);
    setWidget(bar_);
  }
  void showValue() override {
    bar_->setValue(std::clamp(int(number(procedure().value(control_.use))), 0, 100));
  }

 private:
  QProgressBar* bar_;
};

// A control the window shows but does not bind (an image).
class PlainAdapter : public ControlAdapter {
 public:
  PlainAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    setWidget(new QLabel);
    watch(widget_);
  }
};

class CheckAdapter : public ControlAdapter {
 public:
  CheckAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    box_ = new QCheckBox(q(plainCaption(c.text)));
    QObject::connect(box_, &QCheckBox::toggled, this, [this](bool on) {
      if (window_.refreshing() || control_.choices.size() < 2) return;
      (void)procedure().setValue(control_.use, Value(control_.choices[on ? 1 : 0]));
      procedure().accepted(control_.id);
      window_.done();
    });
    setWidget(box_);
    watch(box_);
  }
  void showValue() override {
    if (control_.choices.size() >= 2)
      box_->setChecked(toText(procedure().value(control_.use)) == control_.choices[1]);
  }

 private:
  QCheckBox* box_;
};

// A radio group; a radio button with the focus stands for its group.
class OptionAdapter : public ControlAdapter {
 public:
  OptionAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    auto* box = new QGroupBox(q(plainCaption(c.text)));
    // A few choices sit side by side; a longer list (a menu of reports)
    // reads down a column instead of running off the window.
    const bool column = c.choices.size() > 4;
    QBoxLayout* layout = column ? static_cast<QBoxLayout*>(new QVBoxLayout(box))
                                : static_cast<QBoxLayout*>(new QHBoxLayout(box));
    group_ = new QButtonGroup(box);
    for (std::size_t i = 0; i < c.choices.size(); ++i) {
      const std::string& caption = i < c.captions.size() ? c.captions[i] : c.choices[i];
      auto* r = new QRadioButton(q(caption));
      r->setObjectName(q(c.id + ":" + std::to_string(i + 1)));
      watch(r);
      group_->addButton(r, int(i));
      layout->addWidget(r);
    }
    if (!column) layout->addStretch(1);
    QObject::connect(group_, &QButtonGroup::idClicked, this, [this](int i) {
      if (window_.refreshing() || i < 0 || std::size_t(i) >= control_.choices.size()) return;
      procedure().selected(control_.id);
      (void)procedure().setValue(control_.use, Value(control_.choices[std::size_t(i)]));
      procedure().accepted(control_.id);
      window_.done();
    });
    setWidget(box);
    watch(box);
  }
  void showValue() override {
    // No button is checked when the value is none of the choices.
    auto trimmed = [](std::string t) {
      while (!t.empty() && t.back() == ' ') t.pop_back();
      return t;
    };
    std::string v = trimmed(toText(procedure().value(control_.use)));
    group_->setExclusive(false);
    for (std::size_t i = 0; i < control_.choices.size(); ++i)
      if (QAbstractButton* r = group_->button(int(i))) {
        r->setChecked(v == trimmed(control_.choices[i]));
        // A choice the window does not offer now ("?RANGO:2").
        r->setEnabled(procedure().state(control_.id + ":" + std::to_string(i + 1)).enabled);
      }
    group_->setExclusive(true);
  }

 private:
  QButtonGroup* group_;
};

// A radio group shown as a drop-down list (the preview's zooms).
class DropAdapter : public ControlAdapter {
 public:
  DropAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    combo_ = new QComboBox;
    for (std::size_t i = 0; i < c.choices.size(); ++i)
      combo_->addItem(q(i < c.captions.size() ? c.captions[i] : c.choices[i]));
    QObject::connect(combo_, &QComboBox::activated, this, [this](int i) {
      if (window_.refreshing() || i < 0 || std::size_t(i) >= control_.choices.size()) return;
      (void)procedure().setValue(control_.use, Value(control_.choices[std::size_t(i)]));
      procedure().accepted(control_.id);
      window_.done();
    });
    setWidget(combo_);
    watch(combo_);
    // The list keeps its own width, its caption before it.
    box_ = new QWidget;
    auto* row = new QHBoxLayout(box_);
    row->setContentsMargins(0, 0, 0, 0);
    if (!c.text.empty()) row->addWidget(new QLabel(q(plainCaption(c.text))));
    row->addWidget(combo_);
    row->addStretch(1);
  }
  QWidget* placed() const override { return box_; }
  void showValue() override {
    const std::string v = toText(procedure().value(control_.use));
    for (std::size_t i = 0; i < control_.choices.size(); ++i)
      if (v == control_.choices[i]) combo_->setCurrentIndex(int(i));
  }

 private:
  QComboBox* combo_;
  QWidget* box_;
};

class SpinAdapter : public ControlAdapter {
 public:
  SpinAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    spin_ = new QSpinBox;
    spin_->setRange(-999999, 999999);
    QObject::connect(spin_, &QSpinBox::valueChanged, this, [this](int v) {
      if (window_.refreshing()) return;
      (void)procedure().setValue(control_.use, Value(std::int64_t(v)));
      procedure().accepted(control_.id);
      window_.done();
    });
    setWidget(spin_);
    watch(spin_);
  }
  void showReadOnly(bool on) override { spin_->setReadOnly(on); }
  void showValue() override {
    Value v = procedure().value(control_.use);
    if (auto* i = std::get_if<std::int64_t>(&v)) spin_->setValue(int(*i));
  }

 private:
  QSpinBox* spin_;
};

class ButtonAdapter : public ControlAdapter {
 public:
  ButtonAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    auto* b = new QPushButton(q(c.text));
    b->setDefault(c.isDefault);
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, this, [this] { window_.pressed(control_.id); });
    widget_ = b;
    widget_->setObjectName(q(c.id));
  }
  Place place() const override { return Place::Button; }
  // A caption the procedure changes ("Pausa" / "Continúa").
  void showValue() override {
    if (const Control* c = procedure().window().find(control_.id)) {
      static_cast<QPushButton*>(widget_)->setText(q(c->text));
      widget_->setToolTip(q(c->tip));  // a tip that says what a press does now
    }
  }
};

// The lookup button beside an entry: pressed like any button.
class LookupAdapter : public ControlAdapter {
 public:
  LookupAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    auto* b = new QToolButton;
    b->setText("...");
    b->setToolTip(q(plainCaption(c.text)));
    QObject::connect(b, &QToolButton::clicked, this, [this] { window_.pressed(control_.id); });
    widget_ = b;
    widget_->setObjectName(q(c.id));
  }
  Place place() const override { return Place::Beside; }
};

// The calendar button beside a date entry: the date picker from the
// entry's date, which the entry then takes.
class CalendarAdapter : public ControlAdapter {
 public:
  CalendarAdapter(WindowWidget& w, const Control& c) : ControlAdapter(w, c) {
    auto* b = new QToolButton;
    b->setIcon(calendarIcon());
    // "..." says nothing in a tip; the picker's own title does.
    const std::string caption = plainCaption(c.text);
    b->setToolTip(
        q(caption.empty() || caption == "..." ? std::string(DatePicker::kTitle) : caption));
    b->setAccessibleName(b->toolTip());
    QObject::connect(b, &QToolButton::clicked, this, [this] { pick(); });
    widget_ = b;
    widget_->setObjectName(q(c.id));
  }
  Place place() const override { return Place::Beside; }

 private:
  void pick() {
    const Control* entry =
        control_.target.empty() ? nullptr : procedure().window().find(control_.target);
    if (control_.target.empty()) return window_.pressed(control_.id);
    std::int32_t start = 0;
    if (entry && !entry->use.empty())
      if (Value v = procedure().value(entry->use); auto* n = std::get_if<std::int64_t>(&v))
        start = std::int32_t(*n);
    bool cancelled = false;
    std::int32_t date = pickDate(&window_, &window_.host(), start, &cancelled);
    // Esc leaves the field as it was, an empty one empty.
    if (cancelled) return window_.done();
    if (entry && !entry->use.empty()) {
      (void)procedure().setValue(entry->use, Value(std::int64_t(date)));
      window_.refresh(entry->id);
      procedure().accepted(entry->id);
    }
    window_.done();
  }
};

template <class A>
std::unique_ptr<ControlAdapter> make(WindowWidget& w, const Control& c) {
  return std::make_unique<A>(w, c);
}

}  // namespace

std::unique_ptr<ControlAdapter> makeAdapter(WindowWidget& window, const Control& c) {
  using Maker = std::unique_ptr<ControlAdapter> (*)(WindowWidget&, const Control&);
  static const std::map<ControlType, Maker> makers = {
      {ControlType::Prompt, make<PromptAdapter>},
      {ControlType::Text, make<TextAdapter>},
      {ControlType::Check, make<CheckAdapter>},
      {ControlType::Option, make<OptionAdapter>},
      {ControlType::Spin, make<SpinAdapter>},
      {ControlType::List, make<ListAdapter>},
      {ControlType::Button, make<ButtonAdapter>},
      {ControlType::Lookup, make<LookupAdapter>},
      {ControlType::Calendar, make<CalendarAdapter>},
      {ControlType::Progress, make<ProgressAdapter>},
  };
  if (c.type == ControlType::Option && c.drop) return make<DropAdapter>(window, c);
  if (c.type == ControlType::Pages) return makePagesAdapter(window, c);
  if (c.type == ControlType::Entry)
    return c.lines > 1 ? make<MemoAdapter>(window, c) : make<EntryAdapter>(window, c);
  auto it = makers.find(c.type);
  return it == makers.end() ? make<PlainAdapter>(window, c) : it->second(window, c);
}

}  // namespace velmora::qt
