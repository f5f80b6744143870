#pragma once

// One small adapter per kind of control: it makes the control's widget,
// shows the procedure's value and state in it, and hands the widget's
// events to the procedure. The window (window_widget.h) only lays the
// adapters out; makeAdapter() picks the adapter for a control's type.

#include <QObject>
#include <memory>
#include <string>

#include "framework/procedure.h"

class QIcon;
class QWidget;

namespace velmora::qt {

// The width an entry of this picture takes in `w`'s font.
int pictureWidth(const QWidget& w, const std::string& picture);

class WindowWidget;

class ControlAdapter : public QObject {
 public:
  // Where the window lays the control out.
  enum class Place {
    Prompt,  // a label for the field after it
    Field,   // a row of the form, with its lookup and calendar buttons beside
    Wide,    // across the window (a list)
    Area,    // across the window, taking the room left (the pages of a preview)
    Button,  // the row of buttons at the bottom
    Beside,  // beside the field it serves
  };

  ControlAdapter(WindowWidget& window, const Control& control);
  ~ControlAdapter() override;

  const Control& control() const { return control_; }
  virtual Place place() const { return Place::Field; }
  // The control's own widget, named after it, and what the layout holds.
  QWidget* widget() const { return widget_; }
  virtual QWidget* placed() const { return widget_; }
  // Shows the control's state and value; the window marks the refresh so
  // that the widget's own signals are not taken for the user's.
  virtual void refresh();
  // An edit still pending is taken before a button acts.
  virtual void finishEdit() {}

 protected:
  // Names the widget after the control and gives it the control's tip.
  void setWidget(QWidget* widget);
  // The adapter reports focus for these objects (and more for some kinds).
  void watch(QObject* object);
  bool eventFilter(QObject* watched, QEvent* event) override;
  Procedure& procedure() const;
  virtual void showValue() {}
  // Tells the user why a typed text was not taken.
  void refused(const Status& st);
  // A read-only field shows its value and takes nothing; kinds without a
  // read-only look of their own are shown disabled.
  virtual void showReadOnly(bool on);

  WindowWidget& window_;
  Control control_;
  QWidget* widget_ = nullptr;
};

std::unique_ptr<ControlAdapter> makeAdapter(WindowWidget& window, const Control& control);

// The icon of the calendar button: the desktop theme's, or one drawn here.
QIcon calendarIcon();

}  // namespace velmora::qt
