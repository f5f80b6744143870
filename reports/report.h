#pragma once

// A report is a description (what it reads and how its bands are laid out)
// plus the report's own code (the values it computes and which records it
// takes), as a window is a description plus its procedure. ReportRun reads
// the records in key order as a job, writes each page as a metafile into a
// folder of its own and, when asked, the included records to a CSV file.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"
#include "framework/document.h"
#include "framework/job.h"

namespace velmora {
class Procedure;
}

namespace velmora::db {
class Context;
class Table;
}  // namespace velmora::db

namespace velmora::reports {

class PageList;
class WmfWriter;

// Names every band may show besides the record's fields and the report's
// own values.
namespace names {
inline constexpr std::string_view kPage = "#HOJA";          // page number, from 1
inline constexpr std::string_view kCompany = "#EMPRESA";    // company name
inline constexpr std::string_view kWork = "#OBRA";          // name of the work
inline constexpr std::string_view kAddress = "#DIRECCION";  // address of the work
inline constexpr std::string_view kDate = "#FECHA";         // day number of the report
inline constexpr std::string_view kTitle = "#TITULO";       // title + " " + date (@D6)
}  // namespace names

// One thing a band prints: a fixed text, or the value of `source` through
// `picture`. Positions are tenths of a millimetre, y from the band's top;
// a right-aligned item ends at x (the width of a fixed-width picture is
// known to the layout, so columns of numbers line up on any printer).
struct BandItem {
  std::string source;
  std::string text;
  std::string picture;
  int x = 0, y = 0;
  bool bold = false;
  bool right = false;  // ends at x
  // In the totals band: the sum of `source` over the records printed.
  bool total = false;
};

// A value through its picture, and a fixed text.
BandItem field(std::string source, std::string picture, int x, int y, bool right = false);
BandItem label(std::string text, int x, int y, bool right = false);

// A value through its picture. A number too long for its picture shows in
// the same picture made as wide as the number needs (a page number in its
// pattern likewise) rather than as '#': an amount that does not fit its
// column must still be read. `widened` says when it did not fit.
std::string showValue(std::string_view picture, const Value& v, bool* widened = nullptr);

struct BandLine {
  int x1, y1, x2, y2;
};

struct Band {
  int height = 0;
  // Starts a page of its own unless the page holds only its heading (one
  // estimate per page).
  bool newPage = false;
  std::vector<BandItem> items;
  std::vector<BandLine> lines;
};

// The top of every report page: the company in bold with "Hoja n" at the
// right margin, the work below it and the title line (the value named
// `title`, the heading's title and date by default) in bold.
void addPageHeading(Band& h, int left, int right, std::string title = {});

struct ExportColumn {
  std::string title;   // of the header line
  std::string source;  // a field of the primary table or a value of the report
};

struct ReportDescription {
  std::string procedure;  // "IMP_CON"
  std::string title;      // "ESTADO DE CUENTAS DE CONTRATISTAS AL"
  std::string table;      // label of the primary table
  std::string key;        // the reading order, "CTR:CTA_KEY"
  // Leading key components that must equal the values Report::range() puts
  // in the buffer; 0 reads the whole table.
  int rangeComponents = 0;
  // An order no key gives ("FAM:PROV", "FAM:FECH"): the records are sorted
  // by these fields when the run starts, and `key` only names the table's
  // primary key then.
  std::vector<std::string> order;
  // Records the description leaves out, before the report's own code sees them.
  std::function<bool(const Record&)> filter;
  int pageWidth = 2159, pageHeight = 2794;  // letter, portrait
  int topMargin = 100, bottomMargin = 100;
  std::string font = "Courier New";
  int fontHeight = 30;
  Band pageHeader;                          // at the top of every page
  Band detail;                              // once per record included
  Band totals;                              // once, after the last record
  std::vector<ExportColumn> exportColumns;  // empty: the report does not export
};

// Heading values given by the program: company, work and the date.
struct Heading {
  std::string company;
  std::string work;
  long date = 0;
  std::string address = {};  // of the work
};

// The report's own code.
class Report {
 public:
  virtual ~Report() = default;
  virtual const ReportDescription& description() const = 0;
  // Before the first record: the context the run reads in (for the tables a
  // report looks names up in) and the heading it prints. A failure stops
  // the run with it.
  virtual Status begin(db::Context& ctx, const Heading& heading) {
    (void)ctx, (void)heading;
    return Status::success();
  }
  // Puts the key values of the range into the buffer.
  virtual void range(Record& primary) { (void)primary; }
  // Computes the record's values; false leaves the record out.
  virtual bool include(const Record& primary) {
    (void)primary;
    return true;
  }
  // A table the report reads besides the primary one failed while a record
  // was being included: the run stops with it.
  virtual Status readFailure() const { return Status::success(); }
  // A value the report computes, by the name a band or column uses.
  virtual std::optional<Value> value(std::string_view name) const {
    (void)name;
    return std::nullopt;
  }
  // Before the first record: the tables the report reads besides the
  // primary one (a contractor's name, an item's text) open in the run's
  // context. A failure stops the run.
  virtual Status open(db::Context& ctx) {
    (void)ctx;
    return Status::success();
  }
  // When the run ends, fails or is cancelled: closes what open() opened.
  virtual void close() {}
  // The bands an included record prints, one call per band, each setting
  // the values its band shows; nullptr ends the record. `first` starts a
  // record. By default the detail band once.
  virtual const Band* band(const Record& primary, bool first) {
    (void)primary;
    return first ? &description().detail : nullptr;
  }
  // Bands printed after the last record and before the totals band (the
  // last group's subtotal), one call per band as band() does: none by
  // default.
  virtual const Band* beforeTotals(bool first) {
    (void)first;
    return nullptr;
  }
  // Bands printed after the totals band, one call per band as band() does:
  // none by default.
  virtual const Band* footer(bool first) {
    (void)first;
    return nullptr;
  }
  // After the last record, before the totals, with the number of records
  // printed: a failure stops the run with it (an option that names nothing,
  // where a report printed empty would pass for "nothing to report").
  virtual Status afterRecords(long printed) {
    (void)printed;
    return Status::success();
  }
  // What the run found that the user must hear of once, when it ends (a
  // supplier no longer on file): one message each, its lines split by '|'.
  virtual std::vector<std::string> notices() const { return {}; }
  // An option given by name ("FOLIO_INICIAL", "3"), as `velmora reporte
  // --opcion` passes them; refused with a Spanish text when the report has
  // no such option or the value does not fit it.
  virtual Status option(std::string_view name, std::string_view value);
  // "Opciones del Reporte" before the run, from `caller`; false when the
  // user cancelled it. Reports without options answer true at once.
  virtual bool ask(Procedure& caller) {
    (void)caller;
    return true;
  }
};

// "Destino del Reporte": kept for the run that prints without the preview.
struct PrintOptions {
  bool preview = true;
  int copies = 1;
  bool collate = false;  // 1,1,2,2 rather than 1,2,1,2
  bool reverse = false;
  std::string printer;
};

// The pages to send, from 1, for the copies asked: with `collate` each page
// is repeated in a row (1,1,2,2), otherwise the whole list (1,2,1,2); then
// reversed when asked. Fewer than one copy prints one.
std::vector<int> printOrder(const std::vector<int>& pages, const PrintOptions& options);

// The export fields of the progress window.
struct ExportOptions {
  std::string fileName;         // fewer than 3 characters: no export
  std::string delimiter = ";";  // one character
};

struct RunSettings {
  Heading heading;
  ExportOptions exporting;
  PrintOptions printing;
  std::string tempRoot;  // where the run's page folder goes; empty: the system's
  int batch = 200;       // records per step
};

class CsvExport;

// One run of a report, a batch of records per step.
class ReportRun : public Job {
 public:
  ReportRun(db::Context& ctx, Report& report, RunSettings settings);
  ~ReportRun() override;  // removes the page folder of pages not taken

  bool step() override;
  // Stops after the current batch: the pages are discarded, an export file
  // keeps the lines written so far.
  void cancel() override;

  // 1 when the run reached its end, 2 when it was cancelled or failed.
  int response() const { return response_; }
  bool finished() const { return finished_; }
  // Why the run stopped: an export error ("Error Creating …"), a file that
  // could not be read, a page that could not be written.
  const Status& failure() const { return failure_; }
  long recordsRead() const { return read_; }
  long recordsPrinted() const { return printed_; }
  // The export fields typed in the progress window while it waited; only
  // before the first step, since the file is created there.
  void setExport(ExportOptions exporting);
  bool started() const { return started_; }
  // The export file written, when export was on.
  const std::string& exportPath() const { return exportPath_; }

  // The pages of a finished run; the caller owns them and their folder.
  std::unique_ptr<PageList> takePages();

 private:
  bool start();
  bool fail(Status st);
  void end();
  bool readOne();
  // A text of a band where it goes, y from the band's top.
  struct Placed {
    int x = 0, y = 0;
    std::string text;
    bool bold = false;
  };
  void printBand(const Band& band, const Record& primary);
  // The band's texts where they go, and the band's height with them. A
  // figure that outgrew its picture (showValue) goes where it touches no
  // other text: in its place, past its caption, or on a row below.
  int compose(const Band& band, const Record& primary, std::vector<Placed>& texts) const;
  // Where a text's ink lies (blanks paint nothing) on paper and in the
  // columns of the page's text, and whether it is a fixed text of the
  // layout: the caption of the figure beside it.
  struct Ink {
    int from, to, y;
    int column, lastColumn;
    bool caption;
  };
  std::optional<Ink> inkOf(const Placed& text, bool caption) const;
  void placeWidened(Placed& text, bool right, const std::vector<Ink>& ink) const;
  void paint(const Band& band, const std::vector<Placed>& texts, int height);
  void newPage(const Record& primary);
  Status finishPage();
  std::optional<Value> valueOf(std::string_view source, const Record& primary) const;
  const FieldRef& fieldRef(std::string_view name, const Record& primary) const;
  int exportWidth(const ExportColumn& column, const Record& primary) const;
  std::string show(const BandItem& item, const Record& primary, bool* widened) const;

  db::Context& ctx_;
  Report& report_;
  const ReportDescription& d_;
  RunSettings settings_;
  db::Table* table_ = nullptr;
  const dict::KeyInfo* key_ = nullptr;
  void closeTables();
  bool started_ = false, finished_ = false, opened_ = false, reportOpened_ = false;
  int response_ = 2;
  Status failure_;
  long read_ = 0, printed_ = 0, total_ = 0;
  std::unique_ptr<PageList> pages_;
  std::unique_ptr<WmfWriter> page_;
  int y_ = 0, pageNumber_ = 0;
  int headingEnd_ = 0;              // where the page's heading ended
  std::vector<Placed> texts_;       // of the band being printed
  std::vector<std::int64_t> sums_;  // cents, one per item of the totals band
  std::vector<Value> rangeValues_;
  mutable std::vector<std::pair<std::string, FieldRef>> fields_;  // resolved once per name
  std::unique_ptr<CsvExport> export_;
  std::string exportPath_;
};

// Page images as a Document: what the preview, the printer and PDF paint.
// A damaged page is drawn as a box saying so; the other pages as written.
class PageFiles : public Document {
 public:
  PageFiles(std::string title, int width, int height)
      : title_(std::move(title)), width_(width), height_(height) {}
  // Files written by another run; the paper is that of the first page.
  static Status open(std::vector<std::string> files, std::string title, PageFiles& into);

  const std::vector<std::string>& files() const { return files_; }
  void add(std::string file) { files_.push_back(std::move(file)); }

  std::string title() const override { return title_; }
  int pages() const override { return int(files_.size()); }
  int pageWidth() const override { return width_; }
  int pageHeight() const override { return height_; }
  void draw(int page, Canvas& canvas) const override;

  // The pages, one after another, as text (see pageText), in Windows-1252
  // as the data. A damaged page stops the file with its error.
  Status saveText(const std::string& path) const;
  // The same for `pages` (from 1) alone, in that order.
  Status saveText(const std::string& path, const std::vector<int>& pages) const;

 protected:
  std::string title_;
  int width_, height_;
  std::vector<std::string> files_;
};

// The pages of a run, in a folder that the list owns and removes when it
// goes (the preview closing, the run cancelled or ended without them).
class PageList : public PageFiles {
 public:
  PageList(std::string folder, std::string title, int width, int height)
      : PageFiles(std::move(title), width, height), folder_(std::move(folder)) {}
  ~PageList() override;
  PageList(const PageList&) = delete;
  PageList& operator=(const PageList&) = delete;

  const std::string& folder() const { return folder_; }
  // Removes page `page` (from 1) and its file.
  void remove(int page);

 private:
  std::string folder_;
};

// A fresh folder for a run's pages under `root` (the system's temporary
// folder when empty).
Status makeRunFolder(const std::string& root, std::string& folder);

}  // namespace velmora::reports
