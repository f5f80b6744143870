#pragma once

// Main: the application frame of DUDORE and VOROVID. Opening it identifies
// the user, clears the posting flag, reads the company-wide settings, loads
// the user's rights and asks for the work; its menu bar and toolbar start
// every other procedure on a thread of its own.

#include <random>
#include <string>
#include <vector>

#include "framework/frame.h"
#include "framework/help.h"
#include "shell/shell_program.h"

namespace velmora::shell {

// The rotating background logo: "logo1.jpg", "logo2.jpg" ... found at start,
// each shown once before any repeats.
class LogoBag {
 public:
  static constexpr int kMaxLogos = 52;
  // Counts the consecutive logo files in `folder`, stopping at the first gap.
  void count(const std::string& folder);
  void setCount(int n);
  int count() const { return count_; }
  // The next logo's file name; empty when there are none.
  std::string draw(std::mt19937& random);

 private:
  int count_ = 0;
  int remaining_ = 0;
  std::vector<int> bag_;
};

class MainFrame : public FrameProcedure {
 public:
  static constexpr const char* kStartupPicture = "PROMO1.JPG";
  // `parameter` is the first command-line parameter ("/12"); `programFolder`
  // the current directory.
  MainFrame(Program& program, db::Context& ctx, const ShellProgram& shell, std::string parameter,
            std::string programFolder);

  const FrameLayout& layout() const override { return layout_; }
  std::string background() const override { return background_; }
  std::string toolbarImage() const override { return toolbarImage_; }
  // Once a work is chosen: the program's title followed by the work's code
  // and name, the user and the date; the status bar keeps the same three.
  std::string title() const override;
  std::vector<std::string> statusTexts() const override;
  const ShellProgram& shell() const { return shell_; }
  LogoBag& logos() { return logos_; }
  bool splashOpen() const { return splash_; }
  // Set when the user left through the exit button: the launcher's path,
  // or empty with the frame closed anyway when none was found.
  bool leftForLauncher() const { return leaving_; }
  const std::string& launcher() const { return launcher_; }
  // Where the program itself is: the launcher is looked for there first.
  std::string executableFolder;

  // The whole life of the frame: open (with the choice of the work), the
  // host's loop, close. Returns the response: completed after a normal end.
  int runFrame(Host& host);

  // The splash window's timer ran out (5 seconds).
  void splashTimedOut() override;

 protected:
  bool init() override;
  void onAccepted(const std::string& control) override;

 private:
  // After the window opened: the work, the menu check, the splash.
  bool afterOpen();
  void toolbarPressed(const ToolbarButton& b);
  // Opens a file of the program folder with the desktop's program for it;
  // a failure is shown with the platform's reason.
  void openHelp(const help::Topic& topic);
  void leave();

  const ShellProgram& shell_;
  std::string parameter_;
  std::string programFolder_;
  FrameLayout layout_;
  std::string background_;
  std::string toolbarImage_;
  LogoBag logos_;
  std::mt19937 random_;
  bool splash_ = false;
  bool workChosen_ = false;
  bool leaving_ = false;
  std::string launcher_;
};

// The launcher beside the program, else on the PATH; empty when not found.
std::string findLauncher(const std::string& programDir);

// Registers Main's neighbours: the work selection and the maintenance pair
// of every table (FORM:OBRA deletes a work from the selection).
void addShellProcedures(Program& program, const ShellProgram& shell,
                        const std::string& programFolder);

}  // namespace velmora::shell
