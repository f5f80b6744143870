#pragma once

// The state and rules of "Vista Previa", without a window: which pages are
// shown and where (one zoomed page or a grid of across × down pages), the
// marks, removing a page, the status texts and the pages a print or a save
// takes. Sizes are pixels of the page area; a page's natural size is its
// paper at 96 pixels to the inch.

#include <string>
#include <string_view>
#include <vector>

#include "framework/page_view.h"
#include "reports/report.h"

namespace velmora::reports {

struct Zoom {
  const char* name;
  double factor;  // 0: the grid; < 0: the page as wide as the area
};

// The zoom list, in the order it shows.
const std::vector<Zoom>& zooms();
inline constexpr const char* kNoZoom = "No Zoom";
inline constexpr const char* kPageWidth = "Ancho hoja";

// What a print or a text save takes: every page, the marked ones, the
// unmarked ones, or a range.
enum class PageRange { All = 1, Marked = 2, Unmarked = 3, Range = 4 };

class PreviewPages {
 public:
  // Keeps a reference to `pages`; removing a page deletes its file.
  explicit PreviewPages(PageList& pages);

  PageList& pages() { return pages_; }
  const PageList& pages() const { return pages_; }
  int total() const { return pages_.pages(); }
  // The first page shown, from 1 (0 once every page has been removed).
  int current() const { return current_; }
  int lastShown() const;
  // Pages shown at once: 1 zoomed, across × down in the grid.
  int shown() const;
  int across() const { return across_; }
  int down() const { return down_; }

  const std::string& zoom() const { return zoom_; }
  bool zoomed() const { return zoom_ != kNoZoom; }
  // A name of the zoom list; any other is ignored.
  void setZoom(std::string_view name);
  // Pages across and down (at least 1 each), shown as a grid.
  void setGrid(int across, int down);

  // Paging: by one page zoomed, by a screenful in the grid.
  void first();
  void previous();
  void next();
  void last();
  // Shows `page`; false when there is no such page.
  bool jump(int page);
  bool atStart() const { return current_ <= 1; }
  bool atEnd() const { return current_ + shown() > total(); }

  // "Hoja 5 de 5", "Hojas 1-4 de 5".
  std::string status() const;

  bool marked(int page) const;
  bool marked() const { return marked(current_); }
  void toggleMark();
  int markedCount() const;

  // Removes the current page and its file; the one before it is shown
  // (page 1 stays page 1).
  void remove();

  // The pages `range` takes, in order; a range is cut to the pages there are.
  std::vector<int> select(PageRange range, int from = 0, int to = 0) const;

  // --- the page area ---------------------------------------------------------
  void resize(int width, int height);
  int areaWidth() const { return width_; }
  int areaHeight() const { return height_; }
  int naturalWidth() const;
  int naturalHeight() const;
  // Where the pages shown go, scrolled.
  std::vector<PageSlot> pageSlots() const;
  // The page under a point of the area; 0 for none.
  int pageAt(int x, int y) const;
  // Scrolls a zoomed page, kept inside it; the grid does not scroll.
  void scroll(int dx, int dy);
  int scrollX() const { return scrollX_; }
  int scrollY() const { return scrollY_; }
  // The size of what is drawn: a zoomed page, or the area for the grid.
  int drawingWidth() const;
  int drawingHeight() const;

 private:
  double factor() const;
  void clampScroll();

  PageList& pages_;
  std::vector<bool> marks_;
  int current_ = 1;
  int across_ = 1, down_ = 1;
  std::string zoom_ = kPageWidth;
  int width_ = 800, height_ = 600;
  int scrollX_ = 0, scrollY_ = 0;
};

}  // namespace velmora::reports
