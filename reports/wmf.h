#pragma once

// Page images as placeable Windows metafiles: the file the preview shows,
// the printer and PDF paint, "save as .WMF" copies and the text conversion
// reads. One logical unit is a tenth of a millimetre (254 to the inch), the
// unit of the Canvas, so a page reads back exactly as it was drawn. Texts
// are stored in Windows-1252 and go through ExtTextOut records aligned at
// their top-left corner.

#include <string>
#include <string_view>
#include <vector>

#include "dictionary/status.h"
#include "framework/document.h"

namespace velmora::reports {

// Draws one page into metafile records.
class WmfWriter : public Canvas {
 public:
  WmfWriter(int width, int height);

  void font(const std::string& face, int height, bool bold = false) override;
  void text(int x, int y, const std::string& text) override;
  void line(int x1, int y1, int x2, int y2) override;
  void rectangle(int x, int y, int width, int height) override;

  // The whole file: placeable header, metafile header, records, end record.
  std::string bytes() const;
  Status save(const std::string& path) const;

 private:
  void record(int function, const std::vector<std::uint16_t>& words);
  int width_, height_;
  std::vector<std::uint16_t> records_;  // in 16-bit words, as the file keeps them
  std::uint32_t largest_ = 3;
  bool fontSelected_ = false;
};

// What a page image holds, in the order it was drawn.
struct WmfItem {
  enum class Kind { Font, Text, Line, Rectangle } kind;
  int x = 0, y = 0, x2 = 0, y2 = 0;  // Font: y2 is the height
  bool bold = false;
  std::string text;  // UTF-8; the face of a font
};

struct WmfPage {
  int left = 0, top = 0, right = 0, bottom = 0;  // bounding box of the placeable header
  int unitsPerInch = 254;
  std::vector<WmfItem> items;
};

// Reads a page image; a file that is not one, or whose records run past its
// end, is refused with err::InvalidDataFile and a Spanish text.
Status parseWmf(std::string_view bytes, WmfPage& page);
Status readWmf(const std::string& path, WmfPage& page);

// Draws the page's items on `canvas`, scaled from the page's units to tenths
// of a millimetre.
void drawWmf(const WmfPage& page, Canvas& canvas);

// The page as text: a grid of 150 lines of 200 columns filled from the text
// records by their position in the bounding box; blank lines dropped.
// Text beyond the grid widens it rather than being lost.
std::vector<std::string> pageText(const WmfPage& page);
// The column of that grid, from 1, where a text drawn at x of a page
// `width` wide starts; each character takes one column from there.
int pageTextColumn(int x, int width);

}  // namespace velmora::reports
