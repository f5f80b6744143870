#pragma once

// The frame of DUDORE and VOROVID on real program-folder files: the fixture
// and helpers its tests share.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "dictionary/dates.h"
#include "framework/browse.h"
#include "framework/settings.h"
#include "shell/globals.h"
#include "shell/main_frame.h"
#include "shell/platform.h"
#include "shell/startup.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::shell::frame_testing {

namespace fs = std::filesystem;

using Levels = std::array<std::uint8_t, 20>;

inline Levels levels(std::uint8_t all) {
  Levels l;
  l.fill(all);
  return l;
}

inline std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void touch(const fs::path& path, bool executable = false) {
  std::ofstream(path) << "x";
  if (executable)
    fs::permissions(path, fs::perms::owner_exec | fs::perms::owner_read | fs::perms::owner_write);
}

// What the frame asked of the desktop.
class DeskRecorder : public FrameServices {
 public:
  std::vector<StandardCommand> commands;
  std::vector<std::string> backgrounds;
  std::vector<bool> splashes;

  void standard(StandardCommand command) override { commands.push_back(command); }
  void pictures(FrameProcedure& frame) override { backgrounds.push_back(frame.background()); }
  void splash(bool open) override { splashes.push_back(open); }
};

// A started procedure whose window never opens: the toolbar's target
// without the business behind it.
class Stub : public Procedure {
 public:
  Stub(Program& p, db::Context& c, std::string name)
      : Procedure(p, c, [&] {
          WindowDescription w;
          w.procedure = std::move(name);
          return w;
        }()) {}

 protected:
  bool init() override { return false; }
};

// PATH for the duration of a test.
class PathGuard {
 public:
  explicit PathGuard(const std::string& value) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ~PathGuard() {
    if (old_)
      ::setenv("PATH", old_->c_str(), 1);
    else
      ::unsetenv("PATH");
  }

 private:
  std::optional<std::string> old_;
};

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    storage.setFileName(*dict::findTable("CONTROL"), folder.file("DATA0"));
    storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1"));
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7"));
    messages.setHost(&host);
    addShellProcedures(dudo, dudore(), base());
    addShellProcedures(voro, vorovid(), base());
    fs::create_directories(folder.path() / "OB1");
    fs::create_directories(folder.path() / "CONTA1");
    addWork();
  }

  std::string base() const { return folder.path().string(); }

  void addWork() {
    db::Context c(storage, 90);
    db::Table& t = c.table("OBRA");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    OBR& o = t.rec<OBR>();
    o.CTA = "OB1";
    o.OBRA = "PUENTE NORTE";
    o.DICO = "CONTA1";
    o.LIST = 3;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  void addUser(std::int32_t number, const Levels& esti, const Levels& mate) {
    db::Context c(storage, 91);
    db::Table& t = c.table("PERS");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<PER>().CTA = number;
    t.rec<PER>().NOMB = "USUARIO " + std::to_string(number);
    t.rec<PER>().LOGIN = "U" + std::to_string(number);
    t.rec<PER>().ESTI = esti;
    t.rec<PER>().MATE = mate;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  void addControl(std::uint8_t cta, const std::string& zona, std::uint8_t ocup) {
    db::Context c(storage, 92);
    db::Table& t = c.table("CONTROL");
    ASSERT_TRUE(t.open().ok());
    t.clear();
    t.rec<CTL>().CTA = cta;
    t.rec<CTL>().ZONA = zona;
    t.rec<CTL>().OCUP = ocup;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }

  // OCUP of every CONTROL record, in record order.
  std::vector<int> postingFlags() {
    db::Context c(storage, 93);
    db::Table& t = c.table("CONTROL");
    std::vector<int> flags;
    if (!t.open().ok()) return flags;
    (void)t.setStart(nullptr);
    while (t.next()) flags.push_back(t.rec<CTL>().OCUP);
    t.close();
    return flags;
  }

  MainFrame& frame(Program& p, const ShellProgram& s, std::string parameter) {
    contexts.push_back(std::make_unique<db::Context>(storage, p.newThread()));
    frames.push_back(
        std::make_unique<MainFrame>(p, *contexts.back(), s, std::move(parameter), base()));
    frames.back()->setServices(&desk);
    return *frames.back();
  }

  // What the user does in a run: first in the work selection, then in
  // the frame.
  void choose() {
    host.actions.push_back([](Procedure& p) {
      ASSERT_EQ(p.name(), "SEL_OBRA");
      auto& b = static_cast<BrowseProcedure&>(p);
      b.rowClicked(0);
      b.accepted("?SELECT");
    });
  }
  void onFrame(std::function<void(MainFrame&)> f) {
    host.actions.push_back([f = std::move(f)](Procedure& p) {
      ASSERT_EQ(p.name(), "Main");
      f(static_cast<MainFrame&>(p));
    });
  }
  void pressOnFrame(const std::string& control) {
    onFrame([control](MainFrame& f) { f.accepted(control); });
  }

  bool logged(const std::string& line) const {
    return std::find(host.log.begin(), host.log.end(), line) != host.log.end();
  }
  void forget() {
    host.log.clear();
    host.warnings.clear();
    host.boxes.clear();
    host.actions.clear();
    desk = DeskRecorder();
  }

  // Every menu item and toolbar button of the frame, by control.
  static std::vector<std::string> disabledControls(MainFrame& f) {
    std::vector<std::string> off;
    for (const MenuEntry& m : f.layout().menu)
      if (!f.state(m.control).enabled) off.push_back(m.control);
    for (const std::string& b : f.layout().toolbar)
      if (!f.state(b).enabled) off.push_back(b);
    return off;
  }

  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  test::TestHost host;
  DeskRecorder desk;
  Program dudo{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  Program voro{"VOROVID", storage, messages, folder.file("vorovid.INI")};
  std::vector<std::unique_ptr<db::Context>> contexts;
  std::vector<std::unique_ptr<MainFrame>> frames;
};

inline const std::vector<std::string> kNoControls;

}  // namespace velmora::shell::frame_testing
