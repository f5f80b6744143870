#pragma once

// What a report hands the host: pages it can draw, in tenths of a millimetre
// from the top-left corner of the page. The preview, the printer and the PDF
// file all paint the same pages through one canvas, so they never differ.

#include <optional>
#include <string>
#include <vector>

#include "dictionary/status.h"

namespace velmora {

namespace help {
struct Topic;
}

class Canvas {
 public:
  virtual ~Canvas() = default;
  // `height` in tenths of a millimetre.
  virtual void font(const std::string& face, int height, bool bold = false) = 0;
  // `y` is the top of the text.
  virtual void text(int x, int y, const std::string& text) = 0;
  virtual void line(int x1, int y1, int x2, int y2) = 0;
  virtual void rectangle(int x, int y, int width, int height) = 0;
};

class Document {
 public:
  virtual ~Document() = default;
  virtual std::string title() const = 0;
  virtual int pages() const = 0;
  // The paper, in tenths of a millimetre (letter by default).
  virtual int pageWidth() const { return 2159; }
  virtual int pageHeight() const { return 2794; }
  // Draws page `page` (from 1).
  virtual void draw(int page, Canvas& canvas) const = 0;
};

struct FileRequest {
  bool save = false;       // "save as" (the file may be new) rather than open
  bool directory = false;  // a directory rather than a file
  std::string title;       // of the dialog
  std::string name;        // proposed name or folder
  // "Metarchivos (*.WMF)", one filter per entry.
  std::vector<std::string> filters;
};

// The host capability for documents and the choices they need.
class DocumentHost {
 public:
  virtual ~DocumentHost() = default;
  // The preview window; the user may print from it.
  virtual void preview(const Document& document) = 0;
  // Every page on the chosen printer.
  virtual Status print(const Document& document) = 0;
  virtual Status savePdf(const Document& document, const std::string& path) = 0;
  // The file the user chose (to open, or to save as); nothing when cancelled.
  virtual std::optional<std::string> chooseFile(const FileRequest& request) = 0;
  // The printer set-up, in a dialog with `title` (the host's own when
  // empty): the printer chosen; nothing when cancelled.
  virtual std::optional<std::string> choosePrinter(const std::string& title = {}) = 0;
  // The printer output goes to now; empty when the host cannot tell.
  virtual std::string printerName() { return {}; }
  // The manual at `folder` opened on `topic` in the host's help window;
  // false for a host that shows no pages.
  virtual bool showHelp(const std::string& folder, const help::Topic& topic) {
    (void)folder, (void)topic;
    return false;
  }
};

// For hosts that cannot show documents: every choice is cancelled and every
// output refused with an error the caller reports.
class NoDocuments : public DocumentHost {
 public:
  void preview(const Document&) override {}
  Status print(const Document& document) override;
  Status savePdf(const Document& document, const std::string& path) override;
  std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }
  std::optional<std::string> choosePrinter(const std::string&) override { return std::nullopt; }
};

}  // namespace velmora
