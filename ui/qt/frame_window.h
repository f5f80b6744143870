#pragma once

// The application frame on the desktop: menu bar and toolbar from the
// frame's layout, the MDI area that holds every started window with the
// frame's background picture, the status bar and the splash window.

#include <QMainWindow>
#include <map>
#include <string>
#include <vector>

#include "framework/frame.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;

namespace velmora::qt {

class QtHost;

class FrameWindow : public QMainWindow {
 public:
  FrameWindow(FrameProcedure& frame, QtHost& host);

  QMdiArea* area() const { return area_; }
  FrameProcedure& procedure() { return frame_; }
  QAction* action(const std::string& control) const;
  void refresh(const std::string& control);
  void refreshAll();
  void updatePictures();
  // The title and the status bar's texts of the frame procedure.
  void updateTitles();
  // "&Mosaico": every visible child side by side inside the frame's area,
  // none larger than its share.
  void tile();
  // The "&Ventana" menu's list of open windows, rebuilt as it opens; each
  // item activates its window.
  QList<QAction*> windowList();
  void showSplash(bool open);
  QWidget* splash() const { return splash_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build();
  void pressed(const std::string& control);

  FrameProcedure& frame_;
  QtHost& host_;
  QMdiArea* area_ = nullptr;
  QLabel* image_ = nullptr;
  QMenu* windows_ = nullptr;
  std::vector<QAction*> windowItems_;
  std::vector<QLabel*> titles_;
  QWidget* splash_ = nullptr;
  std::map<std::string, QAction*> actions_;
};

}  // namespace velmora::qt
