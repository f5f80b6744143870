#pragma once

// A small work in a folder of its own for the report tests: records added
// by hand, a report run to its end and its pages read back as text, and
// an export read back by Python's csv module.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dictionary/storage.h"
#include "framework/picture.h"
#include "reports/report.h"
#include "reports/wmf.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora::reports {

class ReportFixture : public ::testing::Test {
 protected:
  ReportFixture() : ctx_(storage_) { settings_.tempRoot = folder_.file(""); }

  template <class R>
  void add(const std::function<void(R&)>& fill) {
    db::Table& t = ctx_.table<R>();
    ASSERT_TRUE(t.open());
    t.clear();
    fill(t.template rec<R>());
    ASSERT_TRUE(t.add());
    t.close();
  }

  // The text lines of every page of a run, and the rows it printed.
  std::vector<std::string> runLines(Report& report, long* printed = nullptr) {
    ReportRun r(ctx_, report, settings_);
    runToEnd(r);
    EXPECT_EQ(r.response(), 1) << r.failure().text;
    if (printed) *printed = r.recordsPrinted();
    auto pages = r.takePages();
    std::vector<std::string> lines;
    for (const std::string& file : pages ? pages->files() : std::vector<std::string>{}) {
      WmfPage wp;
      EXPECT_TRUE(readWmf(file, wp));
      for (std::string& l : pageText(wp)) lines.push_back(std::move(l));
    }
    return lines;
  }

  // Every page of a run as text, and the rows it printed.
  std::string run(Report& report, long* printed = nullptr) {
    std::string text;
    for (const std::string& l : runLines(report, printed)) text += l + "\n";
    return text;
  }

  // The line of the text that holds `what`.
  static std::string lineOf(const std::string& text, const std::string& what) {
    const std::size_t at = text.find(what);
    if (at == std::string::npos) return "(no hay " + what + ")";
    const std::size_t from = text.rfind('\n', at) + 1;
    return text.substr(from, text.find('\n', at) - from);
  }

  static std::string date(std::int32_t d) { return formatPicture("@D6", double(d)); }

  // An export file of the folder as Python's csv module reads it: the
  // header, then the rows, cells joined by '|' and stripped of their padding.
  std::string readCsv(const std::string& file) {
    const auto read = velmora::test::runCommand(
        "python3 -c 'import csv,sys; f=open(sys.argv[1],encoding=\"cp1252\",newline=\"\"); "
        "h=next(csv.reader([f.readline()])); print(\"|\".join(h)); "
        "[print(\"|\".join(c.strip() for c in r)) for r in csv.reader(f, delimiter=\";\")]' " +
        folder_.file(file));
    EXPECT_EQ(read.status, 0);
    return read.out;
  }

  velmora::test::TempFolder folder_;
  db::Storage storage_;
  db::Context ctx_;
  RunSettings settings_;
};

inline bool has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

}  // namespace velmora::reports
