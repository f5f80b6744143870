#include "reports/preview_pages.h"

#include <algorithm>
#include <cmath>

namespace velmora::reports {

namespace {

// Pages of the grid lie this many pixels apart; the grid leaves room below
// for a status line.
constexpr int kGap = 3;
constexpr int kGridFooter = 18;

}  // namespace

const std::vector<Zoom>& zooms() {
  static const std::vector<Zoom> all = {
      {kNoZoom, 0},         {kPageWidth, -1},     {"Zoom (50%)", 0.5},  {"Zoom (75%)", 0.75},
      {"Zoom (100%)", 1.0}, {"Zoom (200%)", 2.0}, {"Zoom (300%)", 3.0},
  };
  return all;
}

PreviewPages::PreviewPages(PageList& pages)
    : pages_(pages), marks_(std::size_t(pages.pages()), false) {
  if (total() == 0) current_ = 0;
}

int PreviewPages::shown() const { return zoomed() ? 1 : across_ * down_; }

int PreviewPages::lastShown() const { return std::min(total(), current_ + shown() - 1); }

void PreviewPages::setZoom(std::string_view name) {
  for (const Zoom& z : zooms())
    if (name == z.name) zoom_ = z.name;
  clampScroll();
}

void PreviewPages::setGrid(int across, int down) {
  across_ = std::max(1, across);
  down_ = std::max(1, down);
  zoom_ = kNoZoom;
  clampScroll();
}

void PreviewPages::first() {
  if (total() > 0) current_ = 1;
}

void PreviewPages::previous() {
  if (total() > 0) current_ = std::max(1, current_ - shown());
}

void PreviewPages::next() {
  if (current_ + shown() <= total()) current_ += shown();
}

void PreviewPages::last() {
  // The screenful that holds the last page, as paging forward reaches it.
  if (total() > 0) current_ = (total() - 1) / shown() * shown() + 1;
}

bool PreviewPages::jump(int page) {
  if (page < 1 || page > total()) return false;
  current_ = page;
  return true;
}

std::string PreviewPages::status() const {
  const std::string of = " de " + std::to_string(total());
  if (shown() == 1 || current_ >= lastShown()) return "Hoja " + std::to_string(current_) + of;
  return "Hojas " + std::to_string(current_) + "-" + std::to_string(lastShown()) + of;
}

bool PreviewPages::marked(int page) const {
  return page >= 1 && page <= int(marks_.size()) && marks_[std::size_t(page - 1)];
}

void PreviewPages::toggleMark() {
  if (current_ >= 1 && current_ <= int(marks_.size()))
    marks_[std::size_t(current_ - 1)] = !marks_[std::size_t(current_ - 1)];
}

int PreviewPages::markedCount() const {
  return int(std::count(marks_.begin(), marks_.end(), true));
}

void PreviewPages::remove() {
  if (current_ < 1 || current_ > total()) return;
  pages_.remove(current_);
  marks_.erase(marks_.begin() + (current_ - 1));
  current_ = total() == 0 ? 0 : std::clamp(current_ - 1, 1, total());
}

std::vector<int> PreviewPages::select(PageRange range, int from, int to) const {
  std::vector<int> out;
  if (range == PageRange::Range) {
    from = std::max(1, from);
    to = std::min(total(), to);
  } else {
    from = 1, to = total();
  }
  for (int page = from; page <= to; ++page) {
    const bool m = marked(page);
    if ((range == PageRange::Marked && !m) || (range == PageRange::Unmarked && m)) continue;
    out.push_back(page);
  }
  return out;
}

void PreviewPages::resize(int width, int height) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  clampScroll();
}

int PreviewPages::naturalWidth() const {
  return std::max(1, int(std::lround(pages_.pageWidth() * 96.0 / 254.0)));
}

int PreviewPages::naturalHeight() const {
  return std::max(1, int(std::lround(pages_.pageHeight() * 96.0 / 254.0)));
}

double PreviewPages::factor() const {
  for (const Zoom& z : zooms())
    if (zoom_ == z.name) return z.factor < 0 ? double(width_) / naturalWidth() : z.factor;
  return 1.0;
}

int PreviewPages::drawingWidth() const {
  return zoomed() ? int(std::lround(naturalWidth() * factor())) : width_;
}

int PreviewPages::drawingHeight() const {
  return zoomed() ? int(std::lround(naturalHeight() * factor())) : height_;
}

void PreviewPages::clampScroll() {
  scrollX_ = std::clamp(scrollX_, 0, std::max(0, drawingWidth() - width_));
  scrollY_ = std::clamp(scrollY_, 0, std::max(0, drawingHeight() - height_));
}

void PreviewPages::scroll(int dx, int dy) {
  if (!zoomed()) return;
  scrollX_ += dx;
  scrollY_ += dy;
  clampScroll();
}

std::vector<PageSlot> PreviewPages::pageSlots() const {
  std::vector<PageSlot> out;
  if (current_ < 1) return out;
  if (zoomed()) {
    PageSlot s{current_, 0, 0, drawingWidth(), drawingHeight()};
    // A page narrower than the area sits in its middle.
    s.x = s.width < width_ ? (width_ - s.width) / 2 : -scrollX_;
    s.y = -scrollY_;
    out.push_back(s);
    return out;
  }
  const int cellWidth = (width_ - (kGap * across_ - 1)) / across_;
  const int cellHeight = (height_ - kGridFooter - (kGap * down_ - 1)) / down_;
  if (cellWidth < 1 || cellHeight < 1) return out;
  const double ratio = double(naturalHeight()) / naturalWidth();
  int w = cellWidth, h = cellHeight;
  if (ratio > double(cellHeight) / cellWidth)
    w = std::max(1, int(cellHeight / ratio));
  else
    h = std::max(1, int(cellWidth * ratio));
  for (int i = 0; i < shown(); ++i) {
    const int page = current_ + i;
    if (page > total()) break;  // slots after the last page stay empty
    const int col = i % across_, row = i / across_;
    out.push_back({page, col * (cellWidth + kGap) + (cellWidth - w) / 2,
                   row * (cellHeight + kGap) + (cellHeight - h) / 2, w, h});
  }
  return out;
}

int PreviewPages::pageAt(int x, int y) const {
  for (const PageSlot& s : pageSlots())
    if (x >= s.x && x < s.x + s.width && y >= s.y && y < s.y + s.height) return s.page;
  return 0;
}

}  // namespace velmora::reports
