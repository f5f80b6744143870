#pragma once

// The application frame of a program: a procedure whose window is the MDI
// frame. Its menu items and toolbar buttons are buttons of its description,
// so that every host (and every script) presses them the same way; the
// layout says where each one sits. Things only a desktop can do (open a
// document with its program, run another program, the standard edit and
// window commands) go through FrameServices.

#include <string>
#include <vector>

#include "framework/procedure.h"

namespace velmora {

struct FrameLayout {
  std::vector<MenuEntry> menu;          // in order, menus in order of first appearance
  std::vector<std::string> toolbar;     // buttons, in order
  std::vector<std::string> icons;       // the short text on each button's icon
  std::vector<std::string> themeIcons;  // each button's icon in the desktop's icon theme
  std::string image;                    // the image control after the toolbar ("?IMAGE1")
};

enum class StandardCommand {
  PrinterSetup,
  Cut,
  Copy,
  Paste,
  Tile,
  Cascade,
  ArrangeIcons,
};

class FrameProcedure;

class FrameServices {
 public:
  virtual ~FrameServices() = default;
  virtual void standard(StandardCommand command) = 0;
  // The frame's background picture or toolbar image changed; the splash
  // window opens or closes.
  virtual void pictures(FrameProcedure& frame) = 0;
  virtual void splash(bool open) = 0;
  // The frame's title or the texts it keeps in its status bar changed (a
  // work was chosen).
  virtual void titles(FrameProcedure& frame) { (void)frame; }
};

class FrameProcedure : public Procedure {
 public:
  using Procedure::Procedure;
  virtual const FrameLayout& layout() const = 0;
  virtual std::string background() const = 0;    // file name of the frame's picture
  virtual std::string toolbarImage() const = 0;  // file name of the image control's picture
  // The frame's title, and what it keeps shown in its status bar (one text
  // per zone, at the right of the bar).
  virtual std::string title() const { return window().title; }
  virtual std::vector<std::string> statusTexts() const { return {}; }
  void setServices(FrameServices* services) { services_ = services; }
  // The splash window's time ran out.
  virtual void splashTimedOut() {}

 protected:
  FrameServices* services_ = nullptr;
};

}  // namespace velmora
