#include "exchange/office.h"

#include <fmt/core.h>

#include <filesystem>

#include "dictionary/cp1252.h"
#include "exchange/transfer.h"
#include "framework/describe.h"

namespace velmora::exchange {

namespace {

// The chosen directory; the same text shows the progress of a transfer.
constexpr const char* kDir = "DIRECTORIO";
constexpr const char* kTitle = "ENVIO/RECEPCION DE ARCHIVOS";

std::string var(Program& program, const char* name) {
  return program.hasVar(name) ? toText(program.var(name)) : std::string();
}

std::string counted(const MergeCount& c) {
  return fmt::format("{} nuevos, {} reescritos, {} sin cambios", c.added, c.rewritten, c.unchanged);
}

class Oficina : public Procedure {
 public:
  Oficina(Program& program, db::Context& ctx) : Procedure(program, ctx, window()) {
    setLocal(kDir, std::string());
  }

  void closeBox() override {
    // A transfer under way is cancelled first; it leaves nothing half done.
    if (job_) return cancel();
    Procedure::closeBox();
  }

 protected:
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?CANCEL")) {
      if (job_) return cancel();
      return close(response::Cancelled);
    }
    if (job_) return;
    if (dict::sameName(control, "?ELIGE")) {
      chooseDirectory();
    } else if (dict::sameName(control, "?ENVIA")) {
      if (ready()) send();
    } else if (dict::sameName(control, "?RECIBE")) {
      if (ready()) receive();
    }
  }

 private:
  WorkId work() { return {var(program_, "GLO:OBRA"), var(program_, "GLO:NOMBRE_OBRA")}; }

  void show(const std::string& text) {
    setLocal(kDir, text);
    refresh("?DIRECTORIO");
  }

  void chooseDirectory() {
    FileRequest request;
    request.directory = true;
    request.title = "SELECCIONE EL DIRECTORIO";
    request.name = dir_;
    request.filters = {"*."};
    if (auto chosen = documents().chooseFile(request)) {
      dir_ = *chosen;
      show(dir_);
    }
  }

  // What both buttons check before they start.
  bool ready() {
    if (dir_.empty()) {
      warn("NO HA INDICADO EN DONDE", "ESTAN LOS ARCHIVOS...", "SELECCIONE EL DIRECTORIO");
      select("?ELIGE");
      return false;
    }
    warn("PREPARE EL DRIVE SELECCIONADO", "PARA RECIBIR LOS ARCHIVOS", "Y DIGITE ENTER");
    return true;
  }

  void send() {
    auto job = std::make_unique<SendJob>(ctx_.storage(), work(), dir_);
    SendJob& sending = *job;
    run(std::move(job), [this, &sending](JobOutcome outcome) {
      if (outcome == JobOutcome::Cancelled)
        return ended("Se canceló el envío; no se escribió nada.");
      if (!sending.finished()) return failed(sending.status());
      std::string text = "Se enviaron los archivos de la obra " + work().code + " a " + dir_ + ":";
      for (const SentFile& f : sending.summary().files)
        text += fmt::format("|{}: {} registros", f.name, f.records);
      ended(text, true);
    });
  }

  void receive() {
    const WorkId here = work();
    bool otherWork = false;
    if (auto from = sentFrom(dir_); from && !sameWork(*from, here)) {
      // The codes fit the three lines of the dialog; names are shown only
      // when the codes agree, cut to the line.
      const bool sameCode = from->code == here.code;
      if (!confirm(sameCode ? cp1252::utf8Prefix("ENVIO DE: " + from->name, 40)
                            : "LOS ARCHIVOS SON DE LA OBRA " + from->code,
                   sameCode ? cp1252::utf8Prefix("ESTA OBRA: " + here.name, 40)
                            : "Y ESTA ES LA OBRA " + here.code,
                   "¿DESEA RECIBIRLOS EN ESTA OBRA?"))
        return;
      otherWork = true;
    }
    auto job = std::make_unique<ReceiveJob>(ctx_.storage(), here, dir_, otherWork);
    ReceiveJob& receiving = *job;
    run(std::move(job), [this, &receiving](JobOutcome outcome) {
      if (outcome == JobOutcome::Cancelled)
        return ended("Se canceló la recepción; no se recibió nada.");
      if (!receiving.finished()) return failed(receiving.status());
      const ReceiveSummary& s = receiving.summary();
      std::string text = fmt::format(
          "Se recibieron los archivos de {}.|Estimaciones: {} agregadas con {} renglones, {} ya "
          "existían (se conservan las de esta oficina).|Contratistas: {}.|Partidas: {}.|"
          "Conceptos: {}.",
          dir_, s.estimatesAdded, s.linesAdded, s.estimatesSkipped, counted(s.contractors),
          counted(s.items), counted(s.concepts));
      for (const Renamed& r : s.renamed) text += "|" + describeRename(r) + ".";
      if (!s.manifest) text += "|El envío no trae ENVIO.TXT: no se pudo comprobar su origen.";
      text += "|Los totales de la obra se recalculan con la Auditoría del Sistema.";
      ended(text, true);
    });
  }

  void run(std::unique_ptr<Job> job, std::function<void(JobOutcome)> done) {
    for (const char* c : {"?ELIGE", "?ENVIA", "?RECIBE"}) disable(c);
    job_ = std::move(job);
    JobEvents events;
    events.progress = [this](const Job& j) { show(j.caption()); };
    events.done = std::move(done);
    runJob(*job_, std::move(events));
  }

  void cancel() {
    if (job_) job_->cancel();
  }

  void failed(Status st) {
    MessageBox box;
    box.title = kTitle;
    box.icon = MessageIcon::Exclamation;
    box.text = st.text;
    host().show(box);
    job_.reset();
    for (const char* c : {"?ELIGE", "?ENVIA", "?RECIBE"}) enable(c);
    show(dir_);
  }

  // The window closes at the end of a transfer, once the user has read
  // what it did.
  void ended(const std::string& text, bool done = false) {
    MessageBox box;
    box.title = kTitle;
    box.icon = done ? MessageIcon::None : MessageIcon::Exclamation;
    box.text = text;
    host().show(box);
    job_.reset();
    close(done ? response::Completed : response::Cancelled);
  }

  static WindowDescription window() {
    return Describe(kOfficeName, kTitle)
        .prompt("?LEYENDA1", "ESTE PROGRAMA RECIBE LOS ARCHIVOS")
        .prompt("?LEYENDA2", "CAPTURADOS EN OTRA UBICACION")
        .button("?ELIGE", "Seleccione el Directorio para Enviar/Recibir")
        .text("Directorio:", kDir, "@s70")
        .button("?ENVIA", "Envia Archivos", true)
        .button("?RECIBE", "Recibe Archivos")
        .button("?CANCEL", "Cancela")
        .done();
  }

  std::string dir_;
  std::unique_ptr<Job> job_;
};

}  // namespace

void addOfficeProcedures(Program& program) {
  program.addProcedure(kOfficeName,
                       [](Program& p, db::Context& c) { return std::make_unique<Oficina>(p, c); });
}

}  // namespace velmora::exchange
