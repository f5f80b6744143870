#pragma once

// Documents in the Qt host: the preview and the printer paint the pages
// through one QPainter canvas; PDF files are written by writePdf from the
// same pages. Files and printers are chosen in the standard dialogs. The printer chosen in the
// set-up dialog stays for the session.

#include <QPrinter>
#include <functional>
#include <memory>

#include "framework/host.h"

class QWidget;
class QPainter;
class QRectF;

namespace velmora::qt {

class QtDocuments : public DocumentHost {
 public:
  // `parent` gives the window the dialogs open over.
  explicit QtDocuments(std::function<QWidget*()> parent) : parent_(std::move(parent)) {}

  void preview(const Document& document) override;
  Status print(const Document& document) override;
  Status savePdf(const Document& document, const std::string& path) override;
  std::optional<std::string> chooseFile(const FileRequest& request) override;
  std::optional<std::string> choosePrinter(const std::string& title) override;
  std::string printerName() override;
  // The manual in the program's help window (help_window.h).
  bool showHelp(const std::string& folder, const help::Topic& topic) override;

 private:
  QPrinter& printer();

  std::function<QWidget*()> parent_;
  std::unique_ptr<QPrinter> printer_;
};

// Paints every page of `document` on `printer`; false when it cannot start.
bool paintDocument(const Document& document, QPrinter& printer);

// Paints page `page` (from 1) of `document` scaled into `target` of any
// paint device: the preview's pages, the printer's.
void paintPage(const Document& document, int page, QPainter& painter, const QRectF& target);

}  // namespace velmora::qt
