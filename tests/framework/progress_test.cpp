// Jobs run to their end by a host without an event loop, and the progress
// window over them: what it shows, how it closes, and cancelling.

#include <gtest/gtest.h>

#include "framework/progress.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora {
namespace {

// `steps` batches, a caption per batch; cancels itself after `cancelAt`.
class Counting : public Job {
 public:
  explicit Counting(int steps, int cancelAt = -1) : steps_(steps), cancelAt_(cancelAt) {
    setCaption("EMPEZANDO");
  }
  bool step() override {
    ++done;
    if (done == cancelAt_) cancel();
    setCaption("LOTE " + std::to_string(done));
    setPercent(done * 100 / steps_);
    return done < steps_;
  }
  int done = 0;

 private:
  int steps_, cancelAt_;
};

TEST(Progress, TheWindowShowsEachCaptionAndClosesByItselfOrWhenCancelled) {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages, folder.file("DUDORE.INI")};
  db::Context ctx(storage);
  test::TestHost host;

  Counting four(4);
  ProgressWindow window(program, ctx, "Reporte", four);
  EXPECT_EQ(window.run(host), response::Completed);
  EXPECT_EQ(four.done, 4);
  EXPECT_EQ(host.jobRunner.captions,
            (std::vector<std::string>{"EMPEZANDO", "LOTE 1", "LOTE 2", "LOTE 3", "LOTE 4"}));
  EXPECT_EQ(window.display("?CAPTION"), "LOTE 4");
  EXPECT_EQ(window.display("?PERCENT"), "100 %");
  EXPECT_TRUE(host.actions.empty());  // no key was needed

  // A cancelled job is stepped no more and the window answers cancelled.
  Counting cut(10, 3);
  EXPECT_EQ(ProgressWindow(program, ctx, "Reporte", cut).run(host), response::Cancelled);
  EXPECT_EQ(cut.done, 3);
  EXPECT_EQ(runToEnd(cut), JobOutcome::Cancelled);
  EXPECT_EQ(cut.done, 3);
}

}  // namespace
}  // namespace velmora
