#pragma once

// A window area that shows pages of a document (a Pages control). The
// procedure decides which pages go where for the area's size; the host only
// paints the slots it is given, when it needs them, so a long document
// costs nothing until a page is seen.

#include <vector>

#include "framework/document.h"

namespace velmora {

// One page in the area, in pixels from the area's top-left corner (already
// scrolled: a slot may start above or left of the area).
struct PageSlot {
  int page = 0;  // from 1
  int x = 0, y = 0, width = 0, height = 0;
};

class PageView {
 public:
  virtual ~PageView() = default;
  virtual const Document& pagesShown() const = 0;
  // The host tells the area's size on opening and on every resize.
  virtual void areaResized(int width, int height) = 0;
  virtual std::vector<PageSlot> pageSlots() const = 0;
  // A click in the area, in its pixels; the wheel scrolls by pixels.
  virtual void areaClicked(int x, int y) = 0;
  virtual void areaScrolled(int dx, int dy) = 0;

  // What the area shows, in pixels, and how far it is scrolled: the host's
  // scroll bars. A drawing no larger than the area does not scroll.
  struct Extent {
    int width = 0, height = 0, x = 0, y = 0;
  };
  virtual Extent extent() const = 0;
};

}  // namespace velmora
