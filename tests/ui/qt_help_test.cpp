// The help window on the offscreen platform, over the built manual: it
// opens on a window's section, searches every page, goes back to where the
// clerk was, and a second request reuses the window already up.

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTextBrowser>

#include "framework/help.h"
#include "ui/qt/help_window.h"

namespace velmora {
namespace {

TEST(HelpWindow, OpensOnASectionSearchesAndGoesBack) {
  const std::string folder = VELMORA_MANUAL_DIR;
  qt::HelpWindow::show(folder, {"dudore-estimaciones.html", "UP_ESTI"});
  qt::HelpWindow* w = qt::HelpWindow::instance();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->page(), "dudore-estimaciones.html");
  auto* browser = w->findChild<QTextBrowser*>();
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->source().fragment(), "UP_ESTI");
  EXPECT_FALSE(browser->toPlainText().isEmpty());

  // Words every chapter of estimates has; accents and case as typed or not.
  EXPECT_GT(w->search("ESTIMACIÓN"), 0);
  auto* list = w->findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(w->search("palabraquenoexiste"), 0);
  EXPECT_EQ(list->count(), 0);

  qt::HelpWindow::show(folder, help::kContents);
  EXPECT_EQ(qt::HelpWindow::instance(), w);
  EXPECT_EQ(w->page(), "index.html");
  browser->backward();
  EXPECT_EQ(w->page(), "dudore-estimaciones.html");
  w->close();
}

}  // namespace
}  // namespace velmora
