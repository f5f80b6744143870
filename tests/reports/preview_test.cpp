// "Vista Previa" headless: the grid and its status texts, removing a page,
// the marks and what a print or a save takes, driven by the test host.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "reports/preview_window.h"
#include "reports/report_windows.h"
#include "reports/wmf.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_host.h"

namespace velmora::reports {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The page texts ("HOJA 2") of every page the printer got, in order.
class Printer : public test::TestDocuments {
 public:
  std::vector<std::string> texts;
  Status print(const Document& d) override {
    struct Texts : Canvas {
      std::vector<std::string>* out;
      void font(const std::string&, int, bool) override {}
      void text(int, int, const std::string& t) override { out->push_back(t); }
      void line(int, int, int, int) override {}
      void rectangle(int, int, int, int) override {}
    } canvas;
    canvas.out = &texts;
    for (int p = 1; p <= d.pages(); ++p) d.draw(p, canvas);
    return test::TestDocuments::print(d);
  }
};

class Host : public test::TestHost {
 public:
  DocumentHost& documents() override { return printer; }
  Printer printer;
};

class Preview : public ::testing::Test {
 protected:
  Preview() : ctx_(storage_) {
    // Proposed names go to the documents folder of this home.
    if (const char* home = std::getenv("HOME")) home_ = home;
    setenv("HOME", folder_.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    fs::create_directories(folder_.path() / "Documentos");
  }
  ~Preview() override { setenv("HOME", home_.c_str(), 1); }

  // A run folder of `n` pages, each saying "HOJA n".
  std::unique_ptr<PageList> pages(int n) {
    std::string dir;
    EXPECT_TRUE(makeRunFolder(folder_.path().string(), dir).ok());
    auto list = std::make_unique<PageList>(dir, "PRUEBA", 2159, 2794);
    for (int i = 1; i <= n; ++i) {
      WmfWriter page(2159, 2794);
      page.font("Courier New", 30);
      page.text(200, 300, "HOJA " + std::to_string(i));
      const std::string file = dir + "/HOJA" + std::to_string(i) + ".WMF";
      EXPECT_TRUE(page.save(file).ok());
      list->add(file);
    }
    return list;
  }

  // Opens the preview on `list`, runs what the test queued and closes it.
  int preview(PageList& list) {
    host_.actions.push_back([](Procedure& p) { p.accepted("?EXITBUTTON"); });
    return PreviewWindow(program_, ctx_, list).run(host_);
  }
  void on(std::function<void(PreviewWindow&)> f) {
    host_.actions.push_back([f](Procedure& p) { f(static_cast<PreviewWindow&>(p)); });
  }

  std::string home_;
  test::TempFolder folder_;
  db::Storage storage_;
  MessageService messages_;
  Program program_{"DUDORE", storage_, messages_, folder_.file("DUDORE.INI")};
  db::Context ctx_;
  Host host_;
};

TEST_F(Preview, AGridOfTwoByTwoOnFivePagesShowsFourThenTheFifthAlone) {
  auto list = pages(5);
  PreviewPages s(*list);
  s.resize(800, 600);
  EXPECT_EQ(s.status(), "Hoja 1 de 5");  // zoomed, one page at a time
  ASSERT_EQ(s.pageSlots().size(), 1u);
  EXPECT_EQ(s.pageSlots()[0].width, 800);  // "Ancho hoja"

  s.setGrid(2, 2);
  EXPECT_EQ(s.zoom(), kNoZoom);
  EXPECT_EQ(s.status(), "Hojas 1-4 de 5");
  // Cells of (800 - 5) / 2 by (600 - 18 - 5) / 2; a letter page keeps its
  // shape, narrower than its cell, in the middle of it.
  std::vector<PageSlot> slots = s.pageSlots();
  ASSERT_EQ(slots.size(), 4u);
  const int w = int(288 / (1056.0 / 816.0));
  EXPECT_EQ(slots[1].page, 2);
  EXPECT_EQ(slots[1].height, 288);
  EXPECT_EQ(slots[1].width, w);
  EXPECT_EQ(slots[1].x, 397 + 3 + (397 - w) / 2);
  EXPECT_EQ(slots[2].y, 288 + 3);
  EXPECT_EQ(s.pageAt(slots[3].x + 1, slots[3].y + 1), 4);
  EXPECT_TRUE(s.atStart());

  s.next();
  EXPECT_EQ(s.status(), "Hoja 5 de 5");
  ASSERT_EQ(s.pageSlots().size(), 1u);  // the other slots stay empty
  EXPECT_TRUE(s.atEnd());
  s.next();
  EXPECT_EQ(s.current(), 5);
  s.previous();
  EXPECT_EQ(s.status(), "Hojas 1-4 de 5");
  s.last();
  EXPECT_EQ(s.current(), 5);

  // One page: nothing moves.
  auto one = pages(1);
  PreviewPages single(*one);
  single.next(), single.last(), single.previous();
  EXPECT_EQ(single.status(), "Hoja 1 de 1");
  EXPECT_TRUE(single.atStart() && single.atEnd());
}

TEST_F(Preview, TheWindowPagesZoomsScrollsAndDisablesWhatTheGridCannotDo) {
  auto list = pages(5);
  on([](PreviewWindow& p) {
    EXPECT_FALSE(p.state("?PREVIOUS").enabled);
    EXPECT_TRUE(p.state("?PREVIEWMARK").enabled);
    p.areaResized(800, 600);
    p.keyPressed(Key::PageDown);
    EXPECT_EQ(p.preview().current(), 2);
    p.keyPressed(Key::Down);  // a page as wide as the window is taller than it
    EXPECT_EQ(p.preview().scrollY(), 51);
    p.keyPressed(Key::Right);  // but no wider
    EXPECT_EQ(p.preview().scrollX(), 0);
    p.accepted("?PREVIEWMARK");
    EXPECT_EQ(p.window().find("?PREVIEWMARK")->tip, "Quita la marca de la hoja");
    // A click on a zoomed page goes to the grid; on a page of it, back.
    p.preview().setGrid(2, 2);
    p.accepted("?PREVIEWTOP");
    p.accepted("?NEXT");
    EXPECT_EQ(p.preview().status(), "Hoja 5 de 5");
    p.accepted("?PREVIEWTOP");
    EXPECT_FALSE(p.state("?PREVIEWDELETE").enabled);
    EXPECT_FALSE(p.state("?SAVECURRENT").enabled);
    const PageSlot third = p.pageSlots()[2];
    p.areaClicked(third.x + 5, third.y + 5);
    EXPECT_EQ(p.preview().zoom(), kPageWidth);
    EXPECT_EQ(p.preview().current(), 3);
    EXPECT_TRUE(p.state("?PREVIEWDELETE").enabled);
    (void)p.setValue("ZOOMSTATUS", std::string("Zoom (50%)"));
    p.accepted("?ZOOMSTATUS");
    EXPECT_EQ(p.pageSlots()[0].width, 408);
  });
  // "Pasa a hoja ??" takes only a page there is.
  host_.press("?JUMP");
  host_.actions.push_back([](Procedure& d) {
    (void)d.typed("?HOJA", "9");
    d.accepted("?OK");
    EXPECT_FALSE(d.isClosing());
    (void)d.typed("?HOJA", "4");
    d.accepted("?OK");
  });
  on([](PreviewWindow& p) { EXPECT_EQ(p.preview().status(), "Hoja 4 de 5"); });
  EXPECT_EQ(preview(*list), response::Cancelled);
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_TRUE(host_.printer.shown.empty());
}

TEST_F(Preview, RemovingPageOneOfThreeDeletesItsFileAndShowsTheNewFirstPage) {
  auto list = pages(3);
  const std::string first = list->files()[0];
  on([&](PreviewWindow& p) {
    p.accepted("?PREVIEWMARK");  // the mark goes with its page
    p.accepted("?PREVIEWDELETE");
    EXPECT_EQ(p.preview().total(), 2);
    EXPECT_EQ(p.preview().current(), 1);
    EXPECT_EQ(p.preview().status(), "Hoja 1 de 2");
    EXPECT_EQ(p.preview().markedCount(), 0);
    p.accepted("?PREVIEWBOTTOM");
    p.accepted("?PREVIEWDELETE");  // the last: the one before it shows
    EXPECT_EQ(p.preview().status(), "Hoja 1 de 1");
    p.accepted("?PREVIEWDELETE");
    EXPECT_EQ(p.preview().total(), 0);
    EXPECT_FALSE(p.state("?PRINTBUTTON").enabled);
    EXPECT_TRUE(p.pageSlots().empty());
  });
  preview(*list);
  EXPECT_FALSE(fs::exists(first));
  EXPECT_TRUE(list->files().empty());
}

TEST_F(Preview, MarkedOnlyIsNotOfferedUntilAPageIsMarkedAndPrintingCloses) {
  auto list = pages(3);
  // Nothing marked: "Solo Hojas Marcadas" is off and choosing it is undone.
  host_.press("?PRINTBUTTON");
  host_.actions.push_back([](Procedure& d) {
    EXPECT_EQ(d.name(), "IMPRIME_PREVIA");
    EXPECT_FALSE(d.state("?RANGO:2").enabled);
    EXPECT_FALSE(d.state("?RANGO:3").enabled);
    EXPECT_FALSE(d.state("?DESDE").enabled);
    (void)d.typed("?RANGO", "2");
    d.accepted("?RANGO");
    EXPECT_EQ(d.display("?RANGO"), "1");
    d.accepted("?CANCEL");
  });
  // Page 2 marked: two collated copies of it, reversed by range 2-3.
  host_.press("?NEXT");
  host_.press("?PREVIEWMARK");
  host_.press("?PRINTBUTTON");
  host_.actions.push_back([](Procedure& d) {
    EXPECT_TRUE(d.state("?RANGO:2").enabled);
    (void)d.typed("?RANGO", "2");
    d.accepted("?RANGO");
    (void)d.typed("?COPIAS", "2");
    d.accepted("?OK");
  });
  auto list2 = pages(3);
  EXPECT_EQ(PreviewWindow(program_, ctx_, *list).run(host_), response::Completed);
  EXPECT_EQ(host_.printer.texts, (std::vector<std::string>{"HOJA 2", "HOJA 2"}));
  EXPECT_EQ(host_.printer.shown, (std::vector<std::string>{"imprime Vista Previa 2"}));

  host_.printer.texts.clear();
  host_.press("?PRINTBUTTON");
  host_.actions.push_back([](Procedure& d) {
    (void)d.typed("?RANGO", "4");
    d.accepted("?RANGO");
    (void)d.typed("?DESDE", "3");
    (void)d.typed("?HASTA", "2");
    d.accepted("?OK");  // refused: from after to
    (void)d.typed("?DESDE", "2");
    (void)d.typed("?HASTA", "3");
    (void)d.typed("?ARRIBA", "1");
    d.accepted("?OK");
  });
  // A damaged page prints as a box saying so; the others as they are.
  std::ofstream(list2->files()[1], std::ios::trunc) << "no es una hoja";
  EXPECT_EQ(PreviewWindow(program_, ctx_, *list2).run(host_), response::Completed);
  EXPECT_EQ(host_.warnings.size(), 1u);
  ASSERT_EQ(host_.printer.texts.size(), 3u);
  EXPECT_EQ(host_.printer.texts[0], "HOJA 3");
  EXPECT_EQ(host_.printer.texts[1], "NO SE PUEDE MOSTRAR LA HOJA 2");
}

TEST_F(Preview, PagesAreSavedAsTextOrCopiedAsPageImages) {
  auto list = pages(3);
  const std::string docs = (folder_.path() / "Documentos").string();
  // The current page under a lower-case ".wmf" name is its image; any other
  // name is its text.
  host_.press("?NEXT");
  host_.printer.files = {folder_.file("copia.wmf"), folder_.file("hoja.txt")};
  host_.press("?SAVECURRENT");
  host_.press("?SAVECURRENT");
  host_.printer.files.push_back(folder_.file("reporte"));
  host_.press("?SAVEPDF");
  // The report, pages 2 to 3, under the name proposed.
  host_.press("?SAVEALL");
  host_.actions.push_back([&](Procedure& d) {
    std::string proposed = d.display("?ARCHIVO");
    proposed.erase(proposed.find_last_not_of(' ') + 1);
    EXPECT_EQ(proposed, docs + "/reporte.txt");
    (void)d.typed("?RANGO", "4");
    d.accepted("?RANGO");
    (void)d.typed("?DESDE", "2");
    d.accepted("?OK");
  });
  preview(*list);
  EXPECT_EQ(contents(folder_.file("copia.wmf")), contents(list->files()[1]));
  const std::string page = contents(folder_.file("hoja.txt"));
  EXPECT_NE(page.find("HOJA 2"), std::string::npos);
  EXPECT_EQ(page.find("HOJA 1"), std::string::npos);
  EXPECT_EQ(host_.printer.shown,
            (std::vector<std::string>{"pdf " + folder_.file("reporte.pdf") + " PRUEBA 3"}));
  const std::string report = contents(docs + "/reporte.txt");
  EXPECT_EQ(report.find("HOJA 1"), std::string::npos);
  EXPECT_LT(report.find("HOJA 2"), report.find("HOJA 3"));
  EXPECT_NE(report.find("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace velmora::reports
