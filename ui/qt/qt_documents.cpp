#include "ui/qt/qt_documents.h"

#include <QFileDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>

#include "framework/pdf_file.h"
#include "ui/qt/help_window.h"

namespace velmora::qt {

namespace {

// Page coordinates are tenths of a millimetre; the painter is scaled to the
// device once per page.
class PainterCanvas : public Canvas {
 public:
  explicit PainterCanvas(QPainter& painter) : p_(painter) {}
  void font(const std::string& face, int height, bool bold) override {
    QFont f(QString::fromStdString(face));
    // Report columns are laid out for a fixed-pitch face; where the named
    // one is missing a fixed-pitch substitute keeps them in line.
    if (face.find("Courier") != std::string::npos || face.find("Mono") != std::string::npos) {
      f.setStyleHint(QFont::TypeWriter);
      f.setFixedPitch(true);
    }
    f.setPixelSize(std::max(1, height));
    f.setBold(bold);
    p_.setFont(f);
  }
  void text(int x, int y, const std::string& text) override {
    p_.drawText(QPointF(x, y + p_.fontMetrics().ascent()), QString::fromStdString(text));
  }
  void line(int x1, int y1, int x2, int y2) override { p_.drawLine(x1, y1, x2, y2); }
  void rectangle(int x, int y, int width, int height) override { p_.drawRect(x, y, width, height); }

 private:
  QPainter& p_;
};

}  // namespace

void paintPage(const Document& document, int page, QPainter& painter, const QRectF& target) {
  painter.save();
  painter.translate(target.topLeft());
  painter.scale(target.width() / document.pageWidth(), target.height() / document.pageHeight());
  PainterCanvas canvas(painter);
  document.draw(page, canvas);
  painter.restore();
}

namespace {

bool paintPages(const Document& document, QPagedPaintDevice& device) {
  device.setPageSize(QPageSize(QSizeF(document.pageWidth() / 10.0, document.pageHeight() / 10.0),
                               QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
  device.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const QRectF whole(0, 0, document.pageWidth() * device.logicalDpiX() / 254.0,
                     document.pageHeight() * device.logicalDpiY() / 254.0);
  for (int page = 1; page <= document.pages(); ++page) {
    if (page > 1) device.newPage();
    paintPage(document, page, painter, whole);
  }
  return painter.end();
}

}  // namespace

bool paintDocument(const Document& document, QPrinter& printer) {
  printer.setDocName(QString::fromStdString(document.title()));
  printer.setFullPage(true);
  return paintPages(document, printer);
}

QPrinter& QtDocuments::printer() {
  if (!printer_) printer_ = std::make_unique<QPrinter>();
  return *printer_;
}

void QtDocuments::preview(const Document& document) {
  QPrintPreviewDialog dialog(&printer(), parent_());
  dialog.setWindowTitle(QString::fromStdString(document.title()));
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                   [&](QPrinter* p) { paintDocument(document, *p); });
  dialog.exec();
}

Status QtDocuments::print(const Document& document) {
  if (paintDocument(document, printer())) return Status::success();
  return Status::error(err::AccessDenied,
                       "No se pudo imprimir en " + printer().printerName().toStdString());
}

// Files are written without the painter: see framework/pdf_file.h.
Status QtDocuments::savePdf(const Document& document, const std::string& path) {
  return writePdf(document, path);
}

std::optional<std::string> QtDocuments::chooseFile(const FileRequest& request) {
  QStringList filters;
  for (const std::string& f : request.filters) filters << QString::fromStdString(f);
  QFileDialog dialog(parent_(), QString::fromStdString(request.title),
                     QString::fromStdString(request.name));
  if (request.directory) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
  } else if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  // Qt's own words are English without its translations installed; the
  // clerk reads these.
  dialog.setLabelText(QFileDialog::Accept, request.directory ? QStringLiteral("Elegir")
                                           : request.save    ? QStringLiteral("Guardar")
                                                             : QStringLiteral("Abrir"));
  dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Cancela"));
  dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Buscar en:"));
  dialog.setLabelText(QFileDialog::FileName,
                      request.directory ? QStringLiteral("Carpeta:") : QStringLiteral("Nombre:"));
  dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo:"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtDocuments::choosePrinter(const std::string& title) {
  QPrintDialog dialog(&printer(), parent_());
  dialog.setWindowTitle(title.empty() ? QStringLiteral("Configurar Impresora")
                                      : QString::fromStdString(title));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return printer().printerName().toStdString();
}

std::string QtDocuments::printerName() { return printer().printerName().toStdString(); }

bool QtDocuments::showHelp(const std::string& folder, const help::Topic& topic) {
  HelpWindow::show(folder, topic);
  return true;
}

}  // namespace velmora::qt
