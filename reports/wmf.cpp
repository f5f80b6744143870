#include "reports/wmf.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "dictionary/cp1252.h"

namespace velmora::reports {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr int kPlaceableBytes = 22;
constexpr int kHeaderWords = 9;

// Record functions.
constexpr int kEof = 0x0000;
constexpr int kSetBkMode = 0x0102;
constexpr int kSetMapMode = 0x0103;
constexpr int kSetTextAlign = 0x012E;
constexpr int kSelectObject = 0x012D;
constexpr int kDeleteObject = 0x01F0;
constexpr int kSetWindowOrg = 0x020B;
constexpr int kSetWindowExt = 0x020C;
constexpr int kLineTo = 0x0213;
constexpr int kMoveTo = 0x0214;
constexpr int kCreatePen = 0x02FA;
constexpr int kCreateFont = 0x02FB;
constexpr int kCreateBrush = 0x02FC;
constexpr int kRectangle = 0x041B;
constexpr int kExtTextOut = 0x0A32;

// Objects: 0 the pen, 1 the hollow brush, 2 the font in use.
constexpr int kObjects = 3;
constexpr std::uint16_t kFontSlot = 2;
constexpr int kFaceBytes = 32;

std::uint16_t word(int v) { return static_cast<std::uint16_t>(static_cast<std::int16_t>(v)); }

// Text bytes in Windows-1252; a character the code page lacks is drawn as '?'
// rather than dropping the whole text.
bool plainAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::string toPageBytes(const std::string& utf8) {
  if (plainAscii(utf8)) return utf8;  // the same bytes in both
  cp1252::Encoded e = cp1252::fromUtf8(utf8);
  if (e.ok) return e.bytes;
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t n = 1;
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0xF0)
      n = 4;
    else if (c >= 0xE0)
      n = 3;
    else if (c >= 0xC0)
      n = 2;
    cp1252::Encoded one = cp1252::fromUtf8(utf8.substr(i, n));
    out += one.ok ? one.bytes : "?";
    i += n;
  }
  return out;
}

void packBytes(std::vector<std::uint16_t>& words, std::string_view bytes) {
  const std::size_t at = words.size();
  words.resize(at + (bytes.size() + 1) / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint16_t w = static_cast<unsigned char>(bytes[i]);
    if (i + 1 < bytes.size()) w |= std::uint16_t(static_cast<unsigned char>(bytes[i + 1]) << 8);
    words[at + i / 2] = w;
  }
}

// A record's size (in words, its own three included) and function.
void recordHead(std::vector<std::uint16_t>& records, std::uint32_t size, int function) {
  records.push_back(std::uint16_t(size & 0xFFFF));
  records.push_back(std::uint16_t(size >> 16));
  records.push_back(std::uint16_t(function));
}

// The 16-bit words little-endian, as the file keeps them.
void putWords(std::string& out, const std::vector<std::uint16_t>& words) {
  const std::size_t at = out.size();
  out.resize(at + words.size() * 2);
  char* p = out.data() + at;
  for (const std::uint16_t w : words) {
    *p++ = char(w & 0xFF);
    *p++ = char(w >> 8);
  }
}

void put16(std::string& out, std::uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, std::uint16_t(v & 0xFFFF));
  put16(out, std::uint16_t(v >> 16));
}

}  // namespace

WmfWriter::WmfWriter(int width, int height) : width_(width), height_(height) {
  record(kSetMapMode, {8});  // anisotropic: the window maps onto the bounding box
  record(kSetWindowOrg, {0, 0});
  record(kSetWindowExt, {word(height), word(width)});
  record(kSetBkMode, {1});     // transparent
  record(kSetTextAlign, {0});  // top-left
  record(kCreatePen, {0, 1, 0, 0, 0});
  record(kSelectObject, {0});
  record(kCreateBrush, {1, 0, 0, 0});  // hollow: rectangles are outlines
  record(kSelectObject, {1});
}

void WmfWriter::record(int function, const std::vector<std::uint16_t>& words) {
  const std::uint32_t size = 3 + std::uint32_t(words.size());
  recordHead(records_, size, function);
  records_.insert(records_.end(), words.begin(), words.end());
  largest_ = std::max(largest_, size);
}

void WmfWriter::font(const std::string& face, int height, bool bold) {
  if (fontSelected_) record(kDeleteObject, {kFontSlot});
  // LOGFONT: height (negative: of the characters), width, escapement,
  // orientation, weight, italic/underline, strike-out/ANSI character set,
  // precisions, default quality/fixed-pitch modern family.
  std::vector<std::uint16_t> w = {word(-std::max(1, height)), 0, 0, 0,
                                  word(bold ? 700 : 400),     0, 0, 0,
                                  std::uint16_t(0x31 << 8)};
  std::string name = toPageBytes(face).substr(0, kFaceBytes - 1);
  name.resize(kFaceBytes, '\0');
  packBytes(w, name);
  record(kCreateFont, w);
  record(kSelectObject, {kFontSlot});
  fontSelected_ = true;
}

void WmfWriter::text(int x, int y, const std::string& text) {
  // Most texts of a report are plain ASCII, the same bytes in the page: they
  // go into the records as they are, without a copy.
  std::string converted;
  if (!plainAscii(text)) converted = toPageBytes(text);
  const std::string_view bytes = converted.empty() ? std::string_view(text) : converted;
  if (bytes.empty()) return;
  const std::uint32_t size = 3 + 4 + std::uint32_t(bytes.size() + 1) / 2;
  recordHead(records_, size, kExtTextOut);
  records_.insert(records_.end(), {word(y), word(x), word(int(bytes.size())), 0});
  packBytes(records_, bytes);
  largest_ = std::max(largest_, size);
}

void WmfWriter::line(int x1, int y1, int x2, int y2) {
  recordHead(records_, 5, kMoveTo);
  records_.insert(records_.end(), {word(y1), word(x1)});
  recordHead(records_, 5, kLineTo);
  records_.insert(records_.end(), {word(y2), word(x2)});
  largest_ = std::max<std::uint32_t>(largest_, 5);
}

void WmfWriter::rectangle(int x, int y, int width, int height) {
  record(kRectangle, {word(y + height), word(x + width), word(y), word(x)});
}

std::string WmfWriter::bytes() const {
  std::string out;
  out.reserve(kPlaceableBytes + kHeaderWords * 2 + records_.size() * 2 + 6);
  put32(out, kPlaceableKey);
  std::uint16_t head[] = {0, 0, 0, word(width_), word(height_), 254, 0, 0};
  std::uint16_t sum = 0x9AC6 ^ 0xCDD7;
  for (std::uint16_t h : head) sum ^= h;
  for (std::uint16_t h : head) put16(out, h);
  put16(out, sum);
  const std::uint32_t total = kHeaderWords + std::uint32_t(records_.size()) + 3;
  put16(out, 1);  // in memory
  put16(out, kHeaderWords);
  put16(out, 0x0300);
  put32(out, total);
  put16(out, kObjects);
  put32(out, largest_);
  put16(out, 0);
  putWords(out, records_);
  put32(out, 3);
  put16(out, kEof);
  return out;
}

Status WmfWriter::save(const std::string& path) const {
  const std::string data = bytes();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  bool written = fd >= 0;
  for (std::size_t at = 0; written && at < data.size();) {
    const ssize_t n = ::write(fd, data.data() + at, data.size() - at);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) at += std::size_t(n);
  }
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (!written) return Status::error(err::AccessDenied, "No se pudo escribir la hoja " + path);
  return Status::success();
}

namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : b_(bytes) {}
  bool has(std::size_t at, std::size_t n) const { return at + n <= b_.size(); }
  std::uint16_t u16(std::size_t at) const {
    return std::uint16_t(static_cast<unsigned char>(b_[at]) |
                         (static_cast<unsigned char>(b_[at + 1]) << 8));
  }
  int s16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
  std::uint32_t u32(std::size_t at) const { return u16(at) | (std::uint32_t(u16(at + 2)) << 16); }
  std::string_view slice(std::size_t at, std::size_t n) const { return b_.substr(at, n); }

 private:
  std::string_view b_;
};

Status damaged(std::string why) {
  return Status::error(err::InvalidDataFile, "La hoja del reporte está dañada: " + std::move(why));
}

}  // namespace

Status parseWmf(std::string_view bytes, WmfPage& page) {
  page = WmfPage{};
  Reader r(bytes);
  if (!r.has(0, kPlaceableBytes + kHeaderWords * 2) || r.u32(0) != kPlaceableKey)
    return damaged("no es un metarchivo");
  page.left = r.s16(6);
  page.top = r.s16(8);
  page.right = r.s16(10);
  page.bottom = r.s16(12);
  page.unitsPerInch = r.u16(14);
  if (page.right <= page.left || page.bottom <= page.top || page.unitsPerInch == 0)
    return damaged("el tamaño de la hoja no es válido");
  std::size_t at = kPlaceableBytes + std::size_t(r.u16(kPlaceableBytes + 2)) * 2;
  int curX = 0, curY = 0;
  while (true) {
    if (!r.has(at, 6)) return damaged("termina antes de su último registro");
    const std::uint32_t size = r.u32(at);
    const int function = r.u16(at + 4);
    if (function == kEof) break;
    if (size < 3 || !r.has(at, std::size_t(size) * 2))
      return damaged("un registro sale del archivo");
    const std::size_t p = at + 6;
    const std::size_t params = (std::size_t(size) - 3) * 2;
    auto need = [&](std::size_t n) { return params >= n; };
    switch (function) {
      case kCreateFont:
        if (need(18 + 1)) {
          std::string_view face = r.slice(p + 18, std::min<std::size_t>(kFaceBytes, params - 18));
          face = face.substr(0, face.find('\0'));
          page.items.push_back({WmfItem::Kind::Font, 0, 0, 0, std::abs(r.s16(p)),
                                r.s16(p + 8) >= 600, cp1252::toUtf8(face)});
        }
        break;
      case kExtTextOut: {
        if (!need(8)) return damaged("un texto está incompleto");
        const int count = r.s16(p + 4);
        const std::size_t text = p + 8 + (r.u16(p + 6) != 0 ? 8 : 0);
        if (count < 0 || text + std::size_t(count) > p + params)
          return damaged("un texto sale de su registro");
        page.items.push_back({WmfItem::Kind::Text, r.s16(p + 2), r.s16(p), 0, 0, false,
                              cp1252::toUtf8(r.slice(text, std::size_t(count)))});
        break;
      }
      case kMoveTo:
        if (need(4)) curY = r.s16(p), curX = r.s16(p + 2);
        break;
      case kLineTo:
        if (need(4)) {
          const int y = r.s16(p), x = r.s16(p + 2);
          page.items.push_back({WmfItem::Kind::Line, curX, curY, x, y, false, {}});
          curX = x, curY = y;
        }
        break;
      case kRectangle:
        if (need(8))
          page.items.push_back({WmfItem::Kind::Rectangle,
                                r.s16(p + 6),
                                r.s16(p + 4),
                                r.s16(p + 2),
                                r.s16(p),
                                false,
                                {}});
        break;
      default: break;  // state records this page has no use for
    }
    at += std::size_t(size) * 2;
  }
  return Status::success();
}

Status readWmf(const std::string& path, WmfPage& page) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return Status::error(err::FileNotFound, "No se puede leer la hoja " + path);
  const std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Status st = parseWmf(data, page);
  if (!st) st.text += " (" + path + ")";
  return st;
}

void drawWmf(const WmfPage& page, Canvas& canvas) {
  const double k = 254.0 / page.unitsPerInch;
  auto X = [&](int x) { return int(std::lround((x - page.left) * k)); };
  auto Y = [&](int y) { return int(std::lround((y - page.top) * k)); };
  auto L = [&](int v) { return int(std::lround(v * k)); };
  for (const WmfItem& i : page.items) {
    switch (i.kind) {
      case WmfItem::Kind::Font: canvas.font(i.text, L(i.y2), i.bold); break;
      case WmfItem::Kind::Text: canvas.text(X(i.x), Y(i.y), i.text); break;
      case WmfItem::Kind::Line: canvas.line(X(i.x), Y(i.y), X(i.x2), Y(i.y2)); break;
      case WmfItem::Kind::Rectangle:
        canvas.rectangle(X(i.x), Y(i.y), L(i.x2 - i.x), L(i.y2 - i.y));
        break;
    }
  }
}

int pageTextColumn(int x, int width) {
  return std::max(1, int(std::floor(200.0 / width * x + 0.5)));
}

std::vector<std::string> pageText(const WmfPage& page) {
  const double sy = 150.0 / (page.bottom - page.top);
  std::vector<std::string> grid(150, std::string(200, ' '));
  for (const WmfItem& i : page.items) {
    if (i.kind != WmfItem::Kind::Text) continue;
    const int line = std::max(1, int(std::floor(sy * i.y + 0.5)));
    const int column = pageTextColumn(i.x, page.right - page.left);
    std::string text = toPageBytes(i.text);
    text.erase(text.find_last_not_of(' ') + 1);
    if (text.empty()) continue;
    if (std::size_t(line) > grid.size()) grid.resize(std::size_t(line), std::string(200, ' '));
    std::string& row = grid[std::size_t(line) - 1];
    const std::size_t from = std::size_t(column) - 1;
    if (from + text.size() > row.size()) row.resize(from + text.size(), ' ');
    // Blanks paint nothing on paper: the padding of a right-aligned number
    // must not wipe the end of the text beside it.
    for (std::size_t k = 0; k < text.size(); ++k)
      if (text[k] != ' ') row[from + k] = text[k];
  }
  std::vector<std::string> lines;
  for (std::string& row : grid) {
    if (row.find_first_not_of(' ') == std::string::npos) continue;
    lines.push_back(cp1252::toUtf8(row));
  }
  return lines;
}

}  // namespace velmora::reports
