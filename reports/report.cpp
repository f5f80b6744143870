#include "reports/report.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "framework/picture.h"
#include "reports/csv_export.h"
#include "reports/wmf.h"

namespace velmora::reports {

namespace fs = std::filesystem;

namespace {

// The advance of one character of the fixed-pitch report font, in tenths
// of a millimetre: right-aligned items are placed by it.
int advance(int fontHeight, std::size_t chars) {
  return int(std::lround(0.6 * fontHeight * double(chars)));
}

bool sameValue(const Value& a, const Value& b) {
  if (std::holds_alternative<std::string>(a)) {
    std::string x = toText(a), y = toText(b);
    auto up = [](std::string& s) {
      std::transform(s.begin(), s.end(), s.begin(),
                     [](unsigned char c) { return std::toupper(c); });
      s.erase(s.find_last_not_of(' ') + 1);
    };
    up(x), up(y);
    return x == y;
  }
  return number(a) == number(b);
}

}  // namespace

BandItem field(std::string source, std::string picture, int x, int y, bool right) {
  BandItem i;
  i.source = std::move(source);
  i.picture = std::move(picture);
  i.x = x, i.y = y, i.right = right;
  return i;
}

BandItem label(std::string text, int x, int y, bool right) {
  BandItem i;
  i.text = std::move(text);
  i.x = x, i.y = y, i.right = right;
  return i;
}

void addPageHeading(Band& h, int left, int right, std::string title) {
  BandItem company = field(std::string(names::kCompany), "", left, 0);
  company.bold = true;
  h.items.push_back(company);
  h.items.push_back(field(std::string(names::kPage), "pHoja <<<#p", right, 0, true));
  h.items.push_back(field(std::string(names::kWork), "", left, 40));
  BandItem line =
      field(title.empty() ? std::string(names::kTitle) : std::move(title), "", left, 80);
  line.bold = true;
  h.items.push_back(line);
}

std::vector<int> printOrder(const std::vector<int>& pages, const PrintOptions& options) {
  const int copies = std::max(1, options.copies);
  std::vector<int> order;
  if (options.collate) {
    for (int page : pages) order.insert(order.end(), std::size_t(copies), page);
  } else {
    for (int copy = 0; copy < copies; ++copy) order.insert(order.end(), pages.begin(), pages.end());
  }
  if (options.reverse) std::reverse(order.begin(), order.end());
  return order;
}

ReportRun::ReportRun(db::Context& ctx, Report& report, RunSettings settings)
    : ctx_(ctx), report_(report), d_(report.description()), settings_(std::move(settings)) {
  setCaption(d_.title);
  setPercent(0);
}

ReportRun::~ReportRun() {
  if (export_) (void)export_->close();
  closeTables();
}

void ReportRun::closeTables() {
  if (opened_) table_->close(), opened_ = false;
  if (reportOpened_) report_.close(), reportOpened_ = false;
}

Status Report::option(std::string_view name, std::string_view value) {
  (void)value;
  return Status::error(err::ValueRefused, "El reporte " + description().procedure +
                                              " no tiene la opción " + std::string(name));
}

const FieldRef& ReportRun::fieldRef(std::string_view name, const Record& primary) const {
  for (const auto& [n, ref] : fields_)
    if (n == name) return ref;
  FieldRef ref = resolve(primary.table(), name);
  if (!ref)
    throw std::logic_error("report " + d_.procedure + ": no value named " + std::string(name));
  fields_.emplace_back(std::string(name), ref);
  return fields_.back().second;
}

std::optional<Value> ReportRun::valueOf(std::string_view source, const Record& primary) const {
  const Heading& h = settings_.heading;
  if (source == names::kPage) return Value(std::int64_t(pageNumber_));
  if (source == names::kCompany) return Value(h.company);
  if (source == names::kWork) return Value(h.work);
  if (source == names::kAddress) return Value(h.address);
  if (source == names::kDate) return Value(std::int64_t(h.date));
  if (source == names::kTitle) return Value(d_.title + " " + formatPicture("@D6", double(h.date)));
  if (std::optional<Value> v = report_.value(source)) return v;
  return primary.get(fieldRef(source, primary));
}

int ReportRun::exportWidth(const ExportColumn& column, const Record& primary) const {
  if (report_.value(column.source)) return 0;
  const FieldRef& ref = fieldRef(column.source, primary);
  return ref.field->type == dict::Type::String ? int(ref.field->size) : 0;
}

std::string ReportRun::show(const BandItem& item, const Record& primary) const {
  if (item.source.empty()) return item.text;
  Value v;
  if (item.total) {
    const auto at = std::size_t(&item - d_.totals.items.data());
    v = Decimal::fromCents(sums_[at]);
  } else {
    v = *valueOf(item.source, primary);
  }
  return item.picture.empty() ? toText(v) : formatPicture(item.picture, v);
}

bool ReportRun::fail(Status st) {
  failure_ = std::move(st);
  response_ = 2;
  if (export_) (void)export_->close();
  pages_.reset();
  page_.reset();
  closeTables();
  return false;
}

void ReportRun::setExport(ExportOptions exporting) {
  if (!started_) settings_.exporting = std::move(exporting);
}

void ReportRun::cancel() {
  Job::cancel();
  response_ = 2;
  if (export_) (void)export_->close();
  pages_.reset();
  page_.reset();
  closeTables();
}

bool ReportRun::start() {
  started_ = true;
  const dict::TableInfo* info = dict::findTable(d_.table);
  if (!info) throw std::logic_error("report " + d_.procedure + ": no table " + d_.table);
  key_ = info->key(d_.key);
  if (!key_) throw std::logic_error("report " + d_.procedure + ": no key " + d_.key);
  table_ = &ctx_.table(*info);
  reportOpened_ = true;
  if (Status st = report_.open(ctx_); !st) return fail(st);
  if (Status st = table_->open(); !st) return fail(st);
  opened_ = true;
  std::int64_t count = 0;
  if (Status st = table_->records(count); !st) return fail(st);
  total_ = long(count);

  if (Status began = report_.begin(ctx_, settings_.heading); !began) return fail(began);
  table_->clear();
  Status st;
  if (!d_.order.empty()) {
    std::vector<int> fields;
    for (const std::string& name : d_.order) {
      const dict::FieldInfo* f = info->field(name);
      if (!f) throw std::logic_error("report " + d_.procedure + ": no field " + name);
      fields.push_back(int(f - info->fields.data()));
    }
    if (st = table_->sortBy(fields, key_); st) st = table_->setStart(key_);
  } else if (d_.rangeComponents > 0) {
    report_.range(table_->buffer());
    for (int i = 0; i < d_.rangeComponents; ++i) {
      const auto& f = info->fields[std::size_t(key_->components[std::size_t(i)])];
      rangeValues_.push_back(table_->buffer().get(f.name));
    }
    st = table_->set(key_, d_.rangeComponents);
  } else {
    st = table_->setStart(key_);
  }
  if (!st) return fail(st);

  std::string folder;
  if (Status made = makeRunFolder(settings_.tempRoot, folder); !made) return fail(made);
  pages_ = std::make_unique<PageList>(folder, d_.title, d_.pageWidth, d_.pageHeight);
  sums_.assign(d_.totals.items.size(), 0);

  if (!d_.exportColumns.empty()) {
    exportPath_ = exportFileName(settings_.exporting.fileName);
    if (!exportPath_.empty()) {
      if (Status bad = checkDelimiter(settings_.exporting.delimiter); !bad) return fail(bad);
      std::vector<std::string> titles;
      for (const ExportColumn& c : d_.exportColumns) titles.push_back(c.title);
      export_ = std::make_unique<CsvExport>();
      if (Status made = export_->create(exportPath_, settings_.exporting.delimiter[0], titles);
          !made)
        return fail(made);
    }
  }
  return true;
}

bool ReportRun::step() {
  if (cancelled() || finished_) return false;
  if (!started_ && !start()) return false;
  if (!failure_.ok()) return false;
  for (int i = 0; i < settings_.batch; ++i) {
    if (!readOne()) {
      if (failure_.ok()) end();
      return false;
    }
  }
  setPercent(total_ > 0 ? int(std::min<long>(100, read_ * 100 / total_)) : 0);
  return true;
}

bool ReportRun::readOne() {
  Status st = table_->next();
  if (!st) {
    if (st.code != err::NoRecord) fail(st);
    return false;
  }
  ++read_;
  const Record& r = table_->buffer();
  for (std::size_t i = 0; i < rangeValues_.size(); ++i) {
    const auto& f = r.table().fields[std::size_t(key_->components[i])];
    if (!sameValue(r.get(f.name), rangeValues_[i])) return false;
  }
  if (d_.filter && !d_.filter(r)) return true;
  const bool included = report_.include(r);
  if (Status bad = report_.readFailure(); !bad) return fail(bad);
  if (!included) return true;
  ++printed_;
  for (std::size_t i = 0; i < d_.totals.items.size(); ++i) {
    const BandItem& item = d_.totals.items[i];
    if (!item.total) continue;
    const std::optional<Decimal> cents = Decimal::fromDouble(number(*valueOf(item.source, r)));
    if (cents) sums_[i] += cents->cents();
  }
  if (export_) {
    std::vector<std::string> values;
    for (const ExportColumn& c : d_.exportColumns)
      values.push_back(
          exportValue(*valueOf(c.source, r), exportWidth(c, r), settings_.exporting.delimiter[0]));
    if (Status added = export_->add(values); !added) return fail(added);
  }
  for (const Band* b = report_.band(r, true); b && failure_.ok(); b = report_.band(r, false))
    printBand(*b, r);
  return failure_.ok();
}

void ReportRun::printBand(const Band& band, const Record& primary) {
  const bool onlyHeading = y_ == d_.topMargin + d_.pageHeader.height;
  if (!page_ || y_ + band.height > d_.pageHeight - d_.bottomMargin ||
      (band.newPage && !onlyHeading))
    newPage(primary);
  if (failure_.ok()) drawBand(band, primary);
}

void ReportRun::drawBand(const Band& band, const Record& primary) {
  for (const BandLine& l : band.lines) page_->line(l.x1, y_ + l.y1, l.x2, y_ + l.y2);
  for (const BandItem& item : band.items) {
    const std::string text = show(item, primary);
    const int x = item.right ? item.x - advance(d_.fontHeight, cp1252::utf8Length(text)) : item.x;
    if (item.bold) page_->font(d_.font, d_.fontHeight, true);
    page_->text(x, y_ + item.y, text);
    if (item.bold) page_->font(d_.font, d_.fontHeight, false);
  }
  y_ += band.height;
}

void ReportRun::newPage(const Record& primary) {
  if (page_) {
    if (Status st = finishPage(); !st) {
      fail(st);
      return;
    }
  }
  ++pageNumber_;
  page_ = std::make_unique<WmfWriter>(d_.pageWidth, d_.pageHeight);
  page_->font(d_.font, d_.fontHeight, false);
  y_ = d_.topMargin;
  drawBand(d_.pageHeader, primary);
}

Status ReportRun::finishPage() {
  char name[32];
  std::snprintf(name, sizeof name, "HOJA%05d.WMF", pageNumber_);
  const std::string path = (fs::path(pages_->folder()) / name).string();
  Status st = page_->save(path);
  if (st) pages_->add(path);
  page_.reset();
  return st;
}

void ReportRun::end() {
  for (const Band* b = report_.beforeTotals(true); b && failure_.ok();
       b = report_.beforeTotals(false))
    printBand(*b, table_->buffer());
  if (!failure_.ok()) return;
  printBand(d_.totals, table_->buffer());
  for (const Band* b = report_.footer(true); b && failure_.ok(); b = report_.footer(false))
    printBand(*b, table_->buffer());
  if (!failure_.ok()) return;
  if (Status st = finishPage(); !st) {
    fail(st);
    return;
  }
  if (export_) {
    Status closed = export_->close();
    export_.reset();
    if (!closed) {
      fail(closed);
      return;
    }
  }
  closeTables();
  finished_ = true;
  response_ = 1;
  setPercent(100);
}

std::unique_ptr<PageList> ReportRun::takePages() {
  if (!finished_) return nullptr;
  return std::move(pages_);
}

Status PageFiles::open(std::vector<std::string> files, std::string title, PageFiles& into) {
  into = PageFiles(std::move(title), 2159, 2794);
  if (!files.empty()) {
    WmfPage first;
    if (Status st = readWmf(files.front(), first); !st) return st;
    into.width_ = int(std::lround((first.right - first.left) * 254.0 / first.unitsPerInch));
    into.height_ = int(std::lround((first.bottom - first.top) * 254.0 / first.unitsPerInch));
  }
  into.files_ = std::move(files);
  return Status::success();
}

PageList::~PageList() {
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void PageList::remove(int page) {
  if (page < 1 || page > pages()) return;
  std::error_code ec;
  fs::remove(files_[std::size_t(page - 1)], ec);
  files_.erase(files_.begin() + (page - 1));
}

void PageFiles::draw(int page, Canvas& canvas) const {
  WmfPage wp;
  Status st = page >= 1 && page <= pages() ? readWmf(files_[std::size_t(page - 1)], wp)
                                           : Status::error(err::FileNotFound, "No existe la hoja");
  if (st) {
    drawWmf(wp, canvas);
    return;
  }
  canvas.font("Arial", 50, true);
  canvas.rectangle(150, 150, width_ - 300, 500);
  canvas.text(250, 250, "NO SE PUEDE MOSTRAR LA HOJA " + std::to_string(page));
  canvas.font("Arial", 35, false);
  canvas.text(250, 400, st.text);
}

Status PageFiles::saveText(const std::string& path) const {
  std::vector<int> all(files_.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = int(i) + 1;
  return saveText(path, all);
}

Status PageFiles::saveText(const std::string& path, const std::vector<int>& pages) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Status::error(err::AccessDenied, "No se puede crear el archivo " + path);
  for (int page : pages) {
    if (page < 1 || page > this->pages()) continue;
    WmfPage wp;
    if (Status st = readWmf(files_[std::size_t(page - 1)], wp); !st) return st;
    for (const std::string& line : pageText(wp)) {
      cp1252::Encoded e = cp1252::fromUtf8(line);
      out << (e.ok ? e.bytes : line) << "\r\n";
    }
  }
  out.close();
  if (!out) return Status::error(err::AccessDenied, "No se pudo escribir el archivo " + path);
  return Status::success();
}

Status makeRunFolder(const std::string& root, std::string& folder) {
  std::error_code ec;
  const fs::path base = root.empty() ? fs::temp_directory_path(ec) : fs::path(root);
  std::string pattern = (base / "velmora-reporte-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    return Status::error(
        err::AccessDenied,
        "No se puede crear la carpeta de las hojas del reporte en " + base.string());
  folder = pattern;
  return Status::success();
}

}  // namespace velmora::reports
