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

// How much wider than its picture a figure may grow; a value past it is not
// an amount of a work.
constexpr int kWidest = 40;
// Widened figures keep this far from the paper's edges (5 mm).
constexpr int kEdge = 50;

bool overflowed(const std::string& s) {
  return !s.empty() && s.find_first_not_of('#') == std::string::npos;
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

std::string showValue(std::string_view picture, const Value& v, bool* widened) {
  if (widened) *widened = false;
  std::string text = formatPicture(picture, v);
  if (!overflowed(text)) return text;
  const std::optional<Picture> p = compilePicture(picture);
  if (!p || (p->kind != PictureKind::Number && p->kind != PictureKind::Pattern)) return text;
  const std::size_t digits = p->pattern.find_first_of("<#");
  if (p->kind == PictureKind::Pattern && digits == std::string::npos) return text;
  for (int more = 1; more <= kWidest; ++more) {
    Picture wider = *p;
    if (p->kind == PictureKind::Number)
      wider.size += more;
    else
      wider.pattern.insert(digits, std::size_t(more), '<');
    std::string fits = format(wider, v);
    if (!overflowed(fits)) {
      if (widened) *widened = true;
      return fits;
    }
  }
  return text;
}

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
  if (source.empty() || source.front() != '#') {
    if (std::optional<Value> v = report_.value(source)) return v;
    return primary.get(fieldRef(source, primary));
  }
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

std::string ReportRun::show(const BandItem& item, const Record& primary, bool* widened) const {
  *widened = false;
  if (item.source.empty()) return item.text;
  Value v;
  if (item.total) {
    const auto at = std::size_t(&item - d_.totals.items.data());
    v = Decimal::fromCents(sums_[at]);
  } else {
    v = *valueOf(item.source, primary);
  }
  return item.picture.empty() ? toText(v) : showValue(item.picture, v, widened);
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
    const Value v = *valueOf(item.source, r);
    if (const Decimal* exact = std::get_if<Decimal>(&v)) {
      sums_[i] += exact->cents();  // what the double below would give back
      continue;
    }
    const std::optional<Decimal> cents = Decimal::fromDouble(number(v));
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
  const int height = compose(band, primary, texts_);
  if (!page_ || y_ + height > d_.pageHeight - d_.bottomMargin ||
      (band.newPage && y_ != headingEnd_))
    newPage(primary);
  if (failure_.ok()) paint(band, texts_, height);
}

std::optional<ReportRun::Ink> ReportRun::inkOf(const Placed& t, bool caption) const {
  const std::size_t first = t.text.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::size_t last = t.text.find_last_not_of(' ') + 1;
  const auto chars = [&](std::size_t bytes) {
    return cp1252::utf8Length(std::string_view(t.text).substr(0, bytes));
  };
  const int column = pageTextColumn(t.x, d_.pageWidth);
  return Ink{t.x + advance(d_.fontHeight, chars(first)),
             t.x + advance(d_.fontHeight, chars(last)),
             t.y,
             column + int(chars(first)),
             column + int(chars(last)) - 1,
             caption};
}

int ReportRun::compose(const Band& band, const Record& primary, std::vector<Placed>& texts) const {
  texts.clear();
  std::vector<std::size_t> widened;
  for (const BandItem& item : band.items) {
    bool wide = false;
    Placed t;
    t.text = show(item, primary, &wide);
    t.x = item.right ? item.x - advance(d_.fontHeight, cp1252::utf8Length(t.text)) : item.x;
    t.y = item.y;
    t.bold = item.bold;
    if (wide) widened.push_back(texts.size());
    texts.push_back(std::move(t));
  }
  if (widened.empty()) return band.height;
  // The layout keeps its own texts apart; a figure that outgrew its picture
  // is placed where it touches none of them, nor another such figure.
  std::vector<Ink> ink;
  int bottom = 0;  // of the band's texts where the layout puts them
  for (std::size_t at = 0; at < texts.size(); ++at) {
    bottom = std::max(bottom, band.items[at].y + d_.fontHeight);
    if (std::find(widened.begin(), widened.end(), at) != widened.end()) continue;
    if (std::optional<Ink> i = inkOf(texts[at], band.items[at].source.empty())) ink.push_back(*i);
  }
  int below = 0;
  for (std::size_t at : widened) {
    Placed& t = texts[at];
    placeWidened(t, band.items[at].right, ink);
    if (std::optional<Ink> i = inkOf(t, false)) ink.push_back(*i);
    below = std::max(below, t.y + d_.fontHeight - bottom);
  }
  return band.height + below;
}

void ReportRun::placeWidened(Placed& t, bool right, const std::vector<Ink>& ink) const {
  // Most of a blank between two texts on paper (positions are rounded to the
  // unit), and a whole one in the page's text, whose columns may be a little
  // wider or narrower than the font's.
  const int gap = advance(d_.fontHeight, 1) * 4 / 5;
  const int step = d_.fontHeight + d_.fontHeight / 5;  // one row down
  // The texts that the figure moved `shift` across and `rows` down would touch.
  const auto touched = [&](int shift, int rows) {
    std::vector<const Ink*> hit;
    Placed moved = t;
    moved.x += shift, moved.y += rows * step;
    const std::optional<Ink> own = inkOf(moved, false);
    if (!own) return hit;
    for (const Ink& i : ink)
      if (std::abs(i.y - own->y) < d_.fontHeight &&
          ((own->from < i.to + gap && i.from < own->to + gap) ||
           (own->column <= i.lastColumn + 1 && i.column <= own->lastColumn + 1)))
        hit.push_back(&i);
    return hit;
  };
  const std::optional<Ink> own = inkOf(t, false);
  if (!own) return;
  const auto fits = [&](int shift, int rows) {
    return own->from + shift >= kEdge && own->to + shift <= d_.pageWidth - kEdge &&
           touched(shift, rows).empty();
  };
  const auto put = [&](int shift, int rows) { t.x += shift, t.y += rows * step; };
  if (fits(0, 0)) return;
  // A figure ends at its column and grows to the left. When what it meets
  // there is its caption ("A PAGAR:"), it keeps to the caption's row and
  // moves right, past it; a figure of another column it leaves in peace and
  // goes under its own column, on a row below.
  const std::vector<const Ink*> met = touched(0, 0);
  if (right && std::all_of(met.begin(), met.end(),
                           [&](const Ink* i) { return i->caption && i->from < own->from; })) {
    // Half a character at a time, until neither the paper nor the page's
    // text has it touch its caption.
    const auto pastCaptions = [&](int shift) {
      for (const Ink* i : touched(shift, 0))
        if (std::find(met.begin(), met.end(), i) != met.end()) return false;
      return true;
    };
    int shift = 0;
    while (!pastCaptions(shift) && shift < advance(d_.fontHeight, kWidest))
      shift += advance(d_.fontHeight, 1) / 2;
    if (fits(shift, 0)) return put(shift, 0);
  }
  for (int rows = 1; rows <= 2; ++rows)
    if (fits(0, rows)) return put(0, rows);
  // Else on a row of its own below every text of the band.
  int lowest = t.y;
  for (const Ink& i : ink) lowest = std::max(lowest, i.y);
  t.y = lowest + step;
}

void ReportRun::paint(const Band& band, const std::vector<Placed>& texts, int height) {
  for (const BandLine& l : band.lines) page_->line(l.x1, y_ + l.y1, l.x2, y_ + l.y2);
  for (const Placed& t : texts) {
    if (t.bold) page_->font(d_.font, d_.fontHeight, true);
    page_->text(t.x, y_ + t.y, t.text);
    if (t.bold) page_->font(d_.font, d_.fontHeight, false);
  }
  y_ += height;
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
  std::vector<Placed> heading;
  const int height = compose(d_.pageHeader, primary, heading);
  paint(d_.pageHeader, heading, height);
  headingEnd_ = y_;
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
  if (Status st = report_.afterRecords(printed_); !st) {
    fail(st);
    return;
  }
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
