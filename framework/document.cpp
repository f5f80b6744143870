#include "framework/document.h"

namespace velmora {

Status NoDocuments::print(const Document& document) {
  return Status::error(err::AccessDenied, "No hay impresora para " + document.title());
}

Status NoDocuments::savePdf(const Document& document, const std::string& path) {
  return Status::error(err::AccessDenied,
                       "No se puede escribir " + path + " de " + document.title());
}

}  // namespace velmora
