#pragma once

// The small standard dialogs every window may open: the message box of the
// catalogue, the three-line warning and the date picker. Each one only draws
// what the framework hands it and reports back what the user pressed.

#include <QDialog>
#include <array>
#include <cstdint>

#include "framework/date_picker.h"
#include "framework/messages.h"
#include "framework/procedure.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace velmora::qt {

// Modal. Returns the button pressed as its button:: flag, never one that was
// not offered: Esc or closing counts as Cancel, else No, else Ok, else the
// default. No valid button at all means a lone Ok.
int showMessageBox(QWidget* parent, const MessageBox& box);

// "MENSAJE DE ADVERTENCIA !!!", modal. Lines longer than 40 characters are
// cut. chooseWarning() is true for yes; Esc or closing answers no.
void showWarning(QWidget* parent, const WarningLines& lines);
bool chooseWarning(QWidget* parent, const WarningLines& lines);
// The same choice where yes deletes or overwrites: Enter answers no.
bool confirmWarning(QWidget* parent, const WarningLines& lines);

// "Seleccione la Fecha" drawn from a DatePicker. The range box goes through
// `messages` (may be null: nothing is shown then). Usable without exec():
// the dialog closes itself once the model has closed.
class DatePickerDialog : public QDialog {
 public:
  DatePickerDialog(QWidget* parent, MessageHost* messages, std::int32_t startingDate);
  // With today given instead of read from the clock.
  DatePickerDialog(QWidget* parent, MessageHost* messages, std::int32_t startingDate,
                   std::int32_t today);

  // Tests and scripts may act on the model directly; call refresh() after.
  DatePicker& model() { return model_; }
  const DatePicker& model() const { return model_; }
  // The chosen date, or the starting date after a cancel; 0 while open.
  std::int32_t chosenDate() const { return model_.result(); }

  // Redraws every widget from the model, and closes once the model has.
  void refresh();

  void reject() override;  // Esc, the close button

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void build();
  // Keys that act on the whole window whichever child has the focus.
  bool navigate(int key);
  void clickCell(int cell);

  DatePicker model_;
  QSpinBox* month_ = nullptr;
  QSpinBox* year_ = nullptr;
  QLabel* title_ = nullptr;
  std::array<QPushButton*, DatePicker::kCells> cells_{};
};

// Modal; returns the chosen date, or the starting date (today for 0) on
// cancel, which `cancelled` tells when given.
std::int32_t pickDate(QWidget* parent, MessageHost* messages, std::int32_t startingDate,
                      bool* cancelled = nullptr);

}  // namespace velmora::qt
