#pragma once

// The Qt host: real windows for procedures. Every window is built from its
// description (ui/qt/window_widget.h); modal calls run a nested event loop,
// started procedures become MDI children of the frame when there is one.

#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <vector>

#include "framework/frame.h"
#include "framework/procedure.h"
#include "ui/qt/qt_documents.h"
#include "ui/qt/qt_jobs.h"

class QMdiArea;
class QStatusBar;
class QWidget;

namespace velmora::qt {

class FrameWindow;
class StatusZones;
class WindowWidget;

class QtHost : public Host, public FrameServices {
 public:
  // `frame` holds started procedures as MDI children; without one they run
  // as top-level windows.
  explicit QtHost(QMdiArea* frame = nullptr);
  ~QtHost() override;

  void warn(const WarningLines& lines) override;
  bool choose(const WarningLines& lines) override;
  bool confirm(const WarningLines& lines) override;
  int show(const MessageBox& box) override;
  void stopProgram() override;

  void opened(Procedure& p) override;
  void runModal(Procedure& p) override;
  void closed(Procedure& p) override;
  void start(std::unique_ptr<Procedure> p) override;
  void place(Procedure& p, const WindowPlacement& placement) override;
  std::optional<WindowPlacement> placement(Procedure& p) override;
  void refresh(Procedure& p, const std::string& control) override;
  void focus(Procedure& p, const std::string& control) override;
  void status(Procedure& p, int zone, const std::string& text) override;
  QtJobs& jobs() override { return jobs_; }
  QtDocuments& documents() override { return documents_; }

  // The frame's status bar: status texts go there instead of to a bar of
  // each window.
  void setStatusBar(QStatusBar* bar);
  QString statusText(int zone) const;

  // FrameServices, for the frame procedure's window.
  void standard(StandardCommand command) override;
  void pictures(FrameProcedure& frame) override;
  void splash(bool open) override;
  void titles(FrameProcedure& frame) override;
  FrameWindow* frameWindow() const { return frameWindow_; }

  // The widget of an open procedure (tests, and the frame's status bar).
  WindowWidget* widget(Procedure& p) const;
  // Called by a window after it handled an event: ends its modal loop or
  // finishes a started procedure once it closes.
  void afterEvent(Procedure& p);

 private:
  QWidget* parentForDialogs() const;
  // The top-level widget of a procedure's window (its MDI child, or the frame).
  QWidget* topOf(Procedure& p) const;

  QPointer<QMdiArea> frame_;
  FrameWindow* frameWindow_ = nullptr;
  Procedure* frameProcedure_ = nullptr;
  std::unique_ptr<StatusZones> status_;
  std::map<Procedure*, WindowWidget*> widgets_;
  std::vector<Procedure*> modal_;  // innermost last
  std::vector<std::unique_ptr<Procedure>> started_;
  QtJobs jobs_{*this};
  QtDocuments documents_{[this] { return parentForDialogs(); }};
};

// Qt's own texts (file and print dialogs, context menus) in Spanish, when
// Qt's translations are installed; otherwise they stay as Qt has them.
void useSpanishTranslations();

}  // namespace velmora::qt
