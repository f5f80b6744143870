#include "framework/pdf_file.h"

#include <hpdf.h>

#include <malloc.h>
#include <algorithm>
#include <cmath>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "dictionary/cp1252.h"

namespace velmora {

namespace {

// Page units are tenths of a millimetre; PDF's are points.
constexpr double kPoint = 72.0 / 254.0;
// The top of a text is where the canvas puts it; PDF places the baseline.
// This is the ascent of the fixed-pitch faces the preview paints with
// (Courier New and its metric twins), so paper and preview agree.
constexpr double kAscent = 0.833;
// Rules and boxes one unit (0.1 mm) wide, as the preview draws them.
constexpr double kRuleWidth = 1.0 * kPoint;

// The page's bytes for a text: Windows-1252, the encoding of the standard
// fonts here. A character the code page lacks shows as "?" rather than
// dropping the rest of the text.
std::string winAnsi(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      // A NUL would end the string for the library; nothing prints one.
      out.push_back(b ? char(b) : ' ');
      ++i;
      continue;
    }
    int len = b >= 0xF0 && b < 0xF5 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
    char32_t c = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
    for (int k = 1; k < len; ++k) {
      if (i + std::size_t(k) >= n || (s[i + std::size_t(k)] & 0xC0) != 0x80) {
        len = 0;
        break;
      }
      c = (c << 6) | (s[i + std::size_t(k)] & 0x3F);
    }
    if (len == 0) {
      out.push_back('?');
      ++i;
      continue;
    }
    const int byte = cp1252::fromUnicode(c);
    out.push_back(byte > 0 ? char(byte) : '?');
    i += std::size_t(len);
  }
  return out;
}

struct Errors {
  HPDF_STATUS first = HPDF_OK;
};

void onError(HPDF_STATUS error, HPDF_STATUS, void* data) {
  auto* e = static_cast<Errors*>(data);
  if (e->first == HPDF_OK) e->first = error;
}

// One page of the document as PDF content. Texts go out in one text object;
// rules and boxes are gathered and stroked once at the end of the page.
// The four standard faces a page uses, looked up once per file.
class Fonts {
 public:
  explicit Fonts(HPDF_Doc pdf) : pdf_(pdf) {}
  HPDF_Font get(bool fixed, bool bold) {
    static const char* const names[] = {"Helvetica", "Helvetica-Bold", "Courier", "Courier-Bold"};
    const int at = (fixed ? 2 : 0) + (bold ? 1 : 0);
    if (!fonts_[at]) fonts_[at] = HPDF_GetFont(pdf_, names[at], "WinAnsiEncoding");
    return fonts_[at];
  }

 private:
  HPDF_Doc pdf_;
  HPDF_Font fonts_[4] = {};
};

// Texts of one row in one fixed-pitch face are joined into one string
// where each starts on a character cell of the one before (within a tenth
// of a millimetre): a report row is then one text of the page rather than
// a dozen, which is most of the cost of writing it. Blanks paint nothing,
// so a text laid over another fills only its blanks; where two characters
// would meet, the second starts a string of its own and both print.
class PdfCanvas : public Canvas {
 public:
  PdfCanvas(Fonts& fonts, HPDF_Page page, double height)
      : fonts_(fonts), page_(page), top_(height) {}

  void font(const std::string& face, int height, bool bold) override {
    // Report columns are laid out for a fixed-pitch face.
    fixed_ = face.empty() || face.find("Courier") != std::string::npos ||
             face.find("Mono") != std::string::npos;
    font_ = fonts_.get(fixed_, bold);
    height_ = std::max(1, height);
  }

  void text(int x, int y, const std::string& text) override {
    if (!font_) font("Courier", 30, false);
    std::string bytes = winAnsi(text);
    if (bytes.find_first_not_of(' ') == std::string::npos) return;
    if (!run_.empty() && fixed_ && run_.font == font_ && run_.height == height_ && run_.y == y &&
        join(x, bytes))
      return;
    flush();
    run_ = Run{font_, height_, x, y, std::move(bytes)};
  }

  void line(int x1, int y1, int x2, int y2) override { rules_.push_back({x1, y1, x2, y2, false}); }
  void rectangle(int x, int y, int width, int height) override {
    rules_.push_back({x, y, width, height, true});
  }

  void finish() {
    flush();
    if (inText_) HPDF_Page_EndText(page_);
    inText_ = false;
    if (rules_.empty()) return;
    HPDF_Page_SetLineWidth(page_, HPDF_REAL(kRuleWidth));
    for (const Rule& r : rules_) {
      if (r.box) {
        HPDF_Page_Rectangle(page_, HPDF_REAL(r.a * kPoint), HPDF_REAL(top_ - (r.b + r.d) * kPoint),
                            HPDF_REAL(r.c * kPoint), HPDF_REAL(r.d * kPoint));
      } else {
        HPDF_Page_MoveTo(page_, HPDF_REAL(r.a * kPoint), HPDF_REAL(top_ - r.b * kPoint));
        HPDF_Page_LineTo(page_, HPDF_REAL(r.c * kPoint), HPDF_REAL(top_ - r.d * kPoint));
      }
    }
    HPDF_Page_Stroke(page_);
  }

 private:
  struct Rule {
    int a, b, c, d;
    bool box;
  };
  struct Run {
    HPDF_Font font = nullptr;
    int height = 0, x = 0, y = 0;
    std::string bytes;
    bool empty() const { return bytes.empty(); }
  };

  // Adds `bytes` drawn at `x` to the run; false when it cannot go there.
  bool join(int x, const std::string& bytes) {
    const double pitch = 0.6 * run_.height;  // the advance of every Courier character
    const double cells = (x - run_.x) / pitch;
    const long cell = std::lround(cells);
    if (cell < 0 || std::abs(x - run_.x - cell * pitch) > 1.0) return false;
    const std::size_t at = std::size_t(cell);
    std::string& row = run_.bytes;
    for (std::size_t k = 0; k < bytes.size() && at + k < row.size(); ++k)
      if (bytes[k] != ' ' && row[at + k] != ' ' && row[at + k] != bytes[k]) return false;
    if (row.size() < at + bytes.size()) row.resize(at + bytes.size(), ' ');
    for (std::size_t k = 0; k < bytes.size(); ++k)
      if (bytes[k] != ' ') row[at + k] = bytes[k];
    return true;
  }

  void flush() {
    if (run_.empty()) return;
    if (!inText_) {
      HPDF_Page_BeginText(page_);
      inText_ = true;
    }
    if (run_.font != shownFont_ || run_.height != shownHeight_) {
      HPDF_Page_SetFontAndSize(page_, run_.font, HPDF_REAL(run_.height * kPoint));
      shownFont_ = run_.font, shownHeight_ = run_.height;
    }
    run_.bytes.erase(run_.bytes.find_last_not_of(' ') + 1);
    HPDF_Page_TextOut(page_, HPDF_REAL(run_.x * kPoint),
                      HPDF_REAL(top_ - (run_.y + kAscent * run_.height) * kPoint),
                      run_.bytes.c_str());
    run_ = Run{};
  }

  Fonts& fonts_;
  HPDF_Page page_;
  double top_;
  HPDF_Font font_ = nullptr;  // chosen for the next text
  int height_ = 0;
  bool fixed_ = true;
  HPDF_Font shownFont_ = nullptr;  // set in the page's text object
  int shownHeight_ = 0;
  bool inText_ = false;
  Run run_;
  std::vector<Rule> rules_;
};

// Each page's stream is compressed with a fresh zlib state of a quarter of
// a megabyte, taken and given back at the top of the heap: with the
// allocator's default padding every page grows the heap and shrinks it
// again, two system calls that cost more than writing the page. A wider pad
// while the file is written keeps that memory in the process. (Setting it
// also fixes glibc's mmap threshold at its default from then on.)
class KeepHeap {
 public:
  KeepHeap() { mallopt(M_TOP_PAD, 16 << 20); }
  ~KeepHeap() { mallopt(M_TOP_PAD, 128 << 10); }  // the allocator's default
  KeepHeap(const KeepHeap&) = delete;
  KeepHeap& operator=(const KeepHeap&) = delete;
};

void stampCreation(HPDF_Doc pdf) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  HPDF_Date d{};
  d.year = local.tm_year + 1900, d.month = local.tm_mon + 1, d.day = local.tm_mday;
  d.hour = local.tm_hour, d.minutes = local.tm_min, d.seconds = local.tm_sec;
  const long off = local.tm_gmtoff;
  d.ind = off > 0 ? '+' : off < 0 ? '-' : 'Z';
  d.off_hour = int(std::labs(off) / 3600), d.off_minutes = int(std::labs(off) % 3600 / 60);
  HPDF_SetInfoDateAttr(pdf, HPDF_INFO_CREATION_DATE, d);
}

}  // namespace

std::string pdfProducer() { return std::string("Velmora (libharu ") + HPDF_VERSION_TEXT + ")"; }

Status writePdf(const Document& document, const std::string& path) {
  Errors errors;
  KeepHeap keep;
  HPDF_Doc pdf = HPDF_New(onError, &errors);
  if (!pdf) return Status::error(err::AccessDenied, "No hay memoria para escribir " + path);
  // Text and rules compress to a fraction; the file is what gets mailed.
  HPDF_SetCompressionMode(pdf, HPDF_COMP_ALL);
  const std::string title = winAnsi(document.title());
  HPDF_SetInfoAttr(pdf, HPDF_INFO_TITLE, title.c_str());
  HPDF_SetInfoAttr(pdf, HPDF_INFO_CREATOR, "Velmora");
  HPDF_SetInfoAttr(pdf, HPDF_INFO_PRODUCER, pdfProducer().c_str());
  stampCreation(pdf);

  const double width = document.pageWidth() * kPoint, height = document.pageHeight() * kPoint;
  Fonts fonts(pdf);
  const int pages = std::max(1, document.pages());
  for (int n = 1; n <= pages && errors.first == HPDF_OK; ++n) {
    HPDF_Page page = HPDF_AddPage(pdf);
    if (!page) break;
    HPDF_Page_SetWidth(page, HPDF_REAL(width));
    HPDF_Page_SetHeight(page, HPDF_REAL(height));
    PdfCanvas canvas(fonts, page, height);
    if (n <= document.pages()) document.draw(n, canvas);
    canvas.finish();
  }
  // Written beside and renamed over, so that a failure leaves neither a
  // half-written file that passes for the report nor a lost earlier one.
  const std::string part = path + ".part";
  const bool saving = errors.first == HPDF_OK;
  if (saving) HPDF_SaveToFile(pdf, part.c_str());
  const HPDF_STATUS failed = errors.first;
  HPDF_Free(pdf);
  if (failed == HPDF_OK) {
    std::error_code ec;
    std::filesystem::rename(part, path, ec);
    if (!ec) return Status::success();
    const std::string why = ec.message();
    std::filesystem::remove(part, ec);
    return Status::error(err::AccessDenied, "No se pudo escribir " + path + ": " + why);
  }
  if (saving) {
    std::error_code ec;
    std::filesystem::remove(part, ec);
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%04X", unsigned(failed));
  return Status::error(err::AccessDenied,
                       "No se pudo escribir " + path + " (error " + code + " al generar el PDF)");
}

}  // namespace velmora
