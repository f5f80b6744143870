#pragma once

// A Document saved as a PDF file, written through libharu rather than a
// painter: report pages are fixed-pitch text and a few rules, so they go
// out as text in the standard Courier face with the Windows-1252 encoding
// (no font embedded, every character extractable as the page's text shows
// it), the page's own paper and orientation, and the document's title.

#include <string>

#include "dictionary/status.h"
#include "framework/document.h"

namespace velmora {

// What pdfinfo reads as the file's producer.
std::string pdfProducer();

// Writes every page of `document` to `path` (replaced). A document without
// pages gives one blank page of its paper. Fails with the reason in
// Spanish when the file cannot be written.
Status writePdf(const Document& document, const std::string& path);

}  // namespace velmora
