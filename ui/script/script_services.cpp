#include "ui/script/script_services.h"

#include <memory>

#include "framework/help.h"

namespace velmora {

void ScriptJobs::run(Procedure&, Job& job, JobEvents events) {
  JobEvents printing = events;
  // One caption seen for every copy of the listener (the job keeps its own).
  printing.progress = [this, shown = std::make_shared<std::string>(),
                       progress = std::move(events.progress)](const Job& j) {
    if (!j.caption().empty() && j.caption() != *shown) out_ << "PASO: " << j.caption() << "\n";
    *shown = j.caption();
    if (progress) progress(j);
  };
  runToEnd(job, printing);
}

namespace {

std::string pages(const Document& d) {
  return "\"" + d.title() + "\" (" + std::to_string(d.pages()) + " páginas)";
}

}  // namespace

void ScriptDocuments::preview(const Document& document) {
  out_ << "VISTA PREVIA " << pages(document) << "\n";
}

Status ScriptDocuments::print(const Document& document) {
  out_ << "IMPRIME " << pages(document) << (printer_.empty() ? "" : " en " + printer_) << "\n";
  return Status::success();
}

Status ScriptDocuments::savePdf(const Document& document, const std::string& path) {
  out_ << "PDF " << pages(document) << " -> " << path << "\n";
  return Status::success();
}

std::optional<std::string> ScriptDocuments::next(const std::string& what) {
  std::optional<std::string> choice;
  if (!choices_.empty()) {
    choice = choices_.front();
    choices_.pop_front();
  }
  out_ << "ELIGE " << what << " -> " << (choice ? *choice : "cancelado") << "\n";
  return choice;
}

std::optional<std::string> ScriptDocuments::chooseFile(const FileRequest& request) {
  const char* what = request.directory ? "DIRECTORIO \""
                     : request.save    ? "ARCHIVO PARA GRABAR \""
                                       : "ARCHIVO \"";
  return next(what + request.title + "\"");
}

std::optional<std::string> ScriptDocuments::choosePrinter(const std::string&) {
  auto chosen = next("IMPRESORA");
  if (chosen) printer_ = *chosen;
  return chosen;
}

bool ScriptDocuments::showHelp(const std::string&, const help::Topic& topic) {
  out_ << "AYUDA " << topic.page << (topic.anchor.empty() ? "" : "#" + topic.anchor) << "\n";
  return true;
}

}  // namespace velmora
