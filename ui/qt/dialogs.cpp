#include "ui/qt/dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "dictionary/cp1252.h"

namespace velmora::qt {

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// One set of captions in every dialog: "OK" and "Cancela" as the windows
// have them, "&Sí" and "&No" for questions.
struct Choice {
  int flag;
  const char* caption;
  QMessageBox::ButtonRole role;
};

// Also the order in which a missing default is chosen.
constexpr Choice kChoices[] = {
    {button::Yes, "&Sí", QMessageBox::YesRole},
    {button::No, "&No", QMessageBox::NoRole},
    {button::Cancel, "Cancela", QMessageBox::RejectRole},
    {button::Ok, "OK", QMessageBox::AcceptRole},
};

constexpr int kAllButtons = button::Ok | button::Yes | button::No | button::Cancel;

bool singleFlag(int b) { return b != 0 && (b & (b - 1)) == 0; }

}  // namespace

int showMessageBox(QWidget* parent, const MessageBox& box) {
  const int offered = (box.buttons & kAllButtons) ? (box.buttons & kAllButtons) : button::Ok;
  int preferred = 0;
  if (singleFlag(box.defaultButton) && (offered & box.defaultButton))
    preferred = box.defaultButton;
  else
    for (const Choice& c : kChoices)
      if (offered & c.flag) {
        preferred = c.flag;
        break;
      }
  const int escape = (offered & button::Cancel) ? button::Cancel
                     : (offered & button::No)   ? button::No
                     : (offered & button::Ok)   ? button::Ok
                                                : preferred;

  QMessageBox m(parent);
  m.setObjectName("messageBox");
  m.setWindowTitle(q(box.title));
  // Texts carry file names, field values and error texts: never let them
  // be read as markup.
  m.setTextFormat(Qt::PlainText);
  QStringList lines;
  for (const std::string& line : box.lines()) lines << q(line);
  m.setText(lines.join('\n'));
  m.setIcon(box.icon == MessageIcon::Question      ? QMessageBox::Question
            : box.icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                   : QMessageBox::NoIcon);
  std::vector<std::pair<QPushButton*, int>> buttons;
  for (const Choice& c : kChoices) {
    if (!(offered & c.flag)) continue;
    QPushButton* b = m.addButton(QString::fromUtf8(c.caption), c.role);
    buttons.emplace_back(b, c.flag);
    if (c.flag == preferred) m.setDefaultButton(b);
    if (c.flag == escape) m.setEscapeButton(b);
  }
  m.exec();
  for (auto [b, flag] : buttons)
    if (m.clickedButton() == b) return flag;
  return escape;
}

namespace {

// `choice` adds the yes/no question; the answer is true only for yes.
// Enter answers yes unless `noByDefault` (a yes that deletes or overwrites).
bool warningDialog(QWidget* parent, const WarningLines& lines, bool choice,
                   bool noByDefault = false) {
  QDialog d(parent);
  d.setObjectName("warning");
  d.setWindowTitle("MENSAJE DE ADVERTENCIA !!!");
  auto* outer = new QVBoxLayout(&d);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setObjectName("icon");
  icon->setPixmap(d.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QVBoxLayout;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto* l = new QLabel;
    l->setObjectName(q("MESS" + std::to_string(i + 1)));
    l->setTextFormat(Qt::PlainText);
    l->setText(q(cp1252::utf8Prefix(lines[i], 40)));
    // Room for a full line, so the window does not change size with the text.
    l->setMinimumWidth(l->fontMetrics().averageCharWidth() * 40);
    text->addWidget(l);
  }
  row->addLayout(text, 1);
  outer->addLayout(row);

  bool yes = false;
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  if (choice) {
    auto* ask = new QLabel("SELECCIONE SU OPCION");
    ask->setObjectName("choice");
    outer->addWidget(ask, 0, Qt::AlignCenter);
    auto* y = new QPushButton(QString::fromUtf8("&Sí"));
    auto* n = new QPushButton("&No");
    y->setObjectName("yes");
    n->setObjectName("no");
    // Like the catalogue's questions: Enter answers yes, except where yes
    // cannot be undone.
    (noByDefault ? n : y)->setDefault(true);
    (noByDefault ? n : y)->setFocus();
    QObject::connect(y, &QPushButton::clicked, &d, [&] {
      yes = true;
      d.accept();
    });
    QObject::connect(n, &QPushButton::clicked, &d, [&] { d.reject(); });
    buttons->addWidget(y);
    buttons->addWidget(n);
  } else {
    auto* ok = new QPushButton("OK");
    ok->setObjectName("ok");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &d, [&] { d.accept(); });
    buttons->addWidget(ok);
  }
  buttons->addStretch(1);
  outer->addLayout(buttons);
  d.exec();
  return yes;
}

}  // namespace

void showWarning(QWidget* parent, const WarningLines& lines) {
  (void)warningDialog(parent, lines, false);
}

bool chooseWarning(QWidget* parent, const WarningLines& lines) {
  return warningDialog(parent, lines, true);
}

bool confirmWarning(QWidget* parent, const WarningLines& lines) {
  return warningDialog(parent, lines, true, true);
}

DatePickerDialog::DatePickerDialog(QWidget* parent, MessageHost* messages,
                                   std::int32_t startingDate)
    : QDialog(parent), model_(messages, startingDate) {
  build();
}

DatePickerDialog::DatePickerDialog(QWidget* parent, MessageHost* messages,
                                   std::int32_t startingDate, std::int32_t today)
    : QDialog(parent), model_(messages, startingDate, today) {
  build();
}

void DatePickerDialog::build() {
  setObjectName("datePicker");
  setWindowTitle(q(DatePicker::kTitle));
  auto* outer = new QVBoxLayout(this);

  auto* spins = new QHBoxLayout;
  auto* monthPrompt = new QLabel("&Mes");
  monthPrompt->setObjectName("?MONTHPROMPT");
  month_ = new QSpinBox;
  month_->setObjectName("?MONTHNUMBER");
  // One step past either end reaches the model, which rolls the year.
  month_->setRange(0, 13);
  auto* yearPrompt = new QLabel(QString::fromUtf8("&Año"));
  yearPrompt->setObjectName("?YEARPROMPT");
  year_ = new QSpinBox;
  year_->setObjectName("?YEARNUMBER");
  // Wide enough for the model to see a year out of range and say so.
  year_->setRange(DatePicker::kFirstYear - 1, DatePicker::kLastYear + 1);
  for (QSpinBox* s : {month_, year_}) {
    // Typing 2009 must not visit years 2, 20 and 200 on the way.
    s->setKeyboardTracking(false);
    s->setContextMenuPolicy(Qt::NoContextMenu);
  }
  monthPrompt->setBuddy(month_);
  yearPrompt->setBuddy(year_);
  spins->addWidget(monthPrompt);
  spins->addWidget(month_);
  spins->addSpacing(12);
  spins->addWidget(yearPrompt);
  spins->addWidget(year_);
  spins->addStretch(1);
  outer->addLayout(spins);

  title_ = new QLabel;
  title_->setObjectName("?MONTHTITLE");
  title_->setAlignment(Qt::AlignCenter);
  QFont titleFont = title_->font();
  titleFont.setBold(true);
  title_->setFont(titleFont);
  outer->addWidget(title_);

  auto* grid = new QGridLayout;
  const auto headings = DatePicker::weekdayHeadings();
  for (std::size_t c = 0; c < headings.size(); ++c) {
    auto* h = new QLabel(q(headings[c]));
    h->setObjectName(q("?HEADING" + std::to_string(c + 1)));
    h->setAlignment(Qt::AlignCenter);
    grid->addWidget(h, 0, int(c));
  }
  for (int i = 0; i < DatePicker::kCells; ++i) {
    auto* b = new QPushButton;
    b->setObjectName(q("?REGION" + std::to_string(i + 1)));
    b->setFlat(true);
    // Enter after typing a year must not pick whichever cell is the default.
    b->setAutoDefault(false);
    b->setContextMenuPolicy(Qt::NoContextMenu);
    const int cell = i + 1;
    QObject::connect(b, &QPushButton::clicked, this, [this, cell] { clickCell(cell); });
    cells_[std::size_t(i)] = b;
    grid->addWidget(b, 1 + i / 7, i % 7);
  }
  outer->addLayout(grid);

  QObject::connect(month_, &QSpinBox::valueChanged, this, [this](int m) {
    model_.setMonth(m);
    refresh();
  });
  QObject::connect(year_, &QSpinBox::valueChanged, this, [this](int y) {
    model_.setYear(y);
    refresh();
  });

  // The navigation keys and the right button act on the whole window, even
  // where a child would take them for itself (a spin steps on Up and Page Up).
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  refresh();
}

void DatePickerDialog::refresh() {
  if (model_.closed()) {
    // Closed through model(): a cancel takes the reject path and is hidden
    // by the time anything refreshes.
    if (isVisible()) accept();
    return;
  }
  {
    const QSignalBlocker blockMonth(month_), blockYear(year_);
    month_->setValue(model_.month());
    year_->setValue(model_.year());
  }
  title_->setText(q(model_.monthTitle()));
  const auto& cells = model_.cells();
  for (int i = 0; i < DatePicker::kCells; ++i) {
    QPushButton* b = cells_[std::size_t(i)];
    const bool highlighted = i + 1 == model_.highlightedCell();
    b->setText(q(cells[std::size_t(i)]));
    QFont f = b->font();
    f.setBold(highlighted);
    b->setFont(f);
    b->setFlat(!highlighted);
    b->setProperty("highlighted", highlighted);
    QPalette p = palette();
    if (highlighted) {
      p.setColor(QPalette::Button, p.color(QPalette::Highlight));
      p.setColor(QPalette::ButtonText, p.color(QPalette::HighlightedText));
    }
    b->setPalette(p);
  }
}

void DatePickerDialog::clickCell(int cell) {
  if (model_.click(cell)) accept();
}

bool DatePickerDialog::navigate(int key) {
  switch (key) {
    case Qt::Key_PageUp: model_.keyPageUp(); break;
    case Qt::Key_PageDown: model_.keyPageDown(); break;
    case Qt::Key_Left: model_.keyLeft(); break;
    case Qt::Key_Up: model_.keyUp(); break;
    case Qt::Key_Right: model_.keyRight(); break;
    case Qt::Key_Down: model_.keyDown(); break;
    case Qt::Key_Escape: reject(); return true;
    default: return false;
  }
  refresh();
  return true;
}

bool DatePickerDialog::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* k = static_cast<QKeyEvent*>(event);
      if ((k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && navigate(k->key()))
        return true;
      break;
    }
    case QEvent::MouseButtonPress:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        reject();
        return true;
      }
      break;
    default: break;
  }
  return QDialog::eventFilter(watched, event);
}

void DatePickerDialog::keyPressEvent(QKeyEvent* event) {
  if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && navigate(event->key()))
    return;
  QDialog::keyPressEvent(event);
}

void DatePickerDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    reject();
    return;
  }
  QDialog::mousePressEvent(event);
}

void DatePickerDialog::reject() {
  model_.cancel();
  QDialog::reject();
}

std::int32_t pickDate(QWidget* parent, MessageHost* messages, std::int32_t startingDate,
                      bool* cancelled) {
  DatePickerDialog d(parent, messages, startingDate);
  const bool chosen = d.exec() == QDialog::Accepted;
  if (cancelled) *cancelled = !chosen;
  // Closed some other way (its parent went away): that is a cancel.
  d.model().cancel();
  return d.chosenDate();
}

}  // namespace velmora::qt
