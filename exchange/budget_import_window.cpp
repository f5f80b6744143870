// IMPORTA, "Importando Archivos desde el Presupuesto" of DUDORE's menu
// "&Importa del Presupuesto": gathers the front, the factor, the percentage,
// the rows and the budget file, runs the import and tells what it did.

#include <fmt/core.h>

#include "exchange/budget_import.h"
#include "framework/access.h"
#include "framework/describe.h"
#include "framework/picture.h"
#include "framework/settings.h"

namespace velmora::exchange {

namespace {

constexpr int kEntry = 8;  // of GLO:ACCESO
constexpr const char* kFront = "FRENTE";
constexpr const char* kFactor = "FACTOR";
constexpr const char* kPercent = "PORCENTAJE";
constexpr const char* kFirst = "RENGLON_INICIAL";
constexpr const char* kLast = "RENGLON_FINAL";
constexpr const char* kSource = "PRESUPUESTO";
constexpr const char* kStatus = "ESTADO";
// Where the chosen budget file is remembered.
constexpr const char* kSection = "IMPORTA";
constexpr const char* kSourceKey = "Presupuesto";

class Importa : public Procedure {
 public:
  Importa(Program& program, db::Context& ctx) : Procedure(program, ctx, window()) {
    for (const char* label : {"FREN", "COBR"}) uses(label);
    setLocal(kFront, std::int64_t(0));
    setLocal(kFactor, 1.0);
    setLocal(kPercent, 100.0);
    setLocal(kFirst, std::int64_t(0));
    setLocal(kLast, std::int64_t(0));
    setLocal(kSource, std::string());
    setLocal(kStatus, std::string());
  }

 protected:
  bool init() override {
    if (auto refused = specialAccess(program_, kEntry, 4)) {
      host_->warn(*refused);
      wm_.response = response::Cancelled;
      return false;
    }
    if (!Procedure::init()) return false;
    table("FREN").clear();
    // The file is always shown; the work's own is the one when none was chosen.
    std::string source = SettingsFile(program_.settingsPath()).get(kSection, kSourceKey, "");
    setLocal(kSource, source.empty() ? ownBudget() : source);
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?FRENTE")) {
      (void)frontEntered(false);
    } else if (dict::sameName(control, "?CALLLOOKUP")) {
      (void)frontEntered(true);
    } else if (dict::sameName(control, "?CALLLOOKUP:2")) {
      chooseRow(kFirst);
    } else if (dict::sameName(control, "?CALLLOOKUP:3")) {
      chooseRow(kLast);
    } else if (dict::sameName(control, "?CALLLOOKUP:4")) {
      chooseSource();
    } else if (dict::sameName(control, "?OK")) {
      ok();
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
    refreshAll();
  }

 private:
  std::string ownBudget() { return context().storage().fileName(COO::info()); }

  std::int32_t whole(const char* var) const { return std::int32_t(number(value(var))); }

  // The front must exist; when it is not found (or always, from the lookup
  // button) the fronts' list chooses it.
  bool frontEntered(bool always) {
    return chooseRecord("FREN", "FRE:CTA_KEY", "FRE:CTA", kFront, "CAP_FRE", always);
  }

  // The rows are picked in the work's own budget.
  void chooseRow(const char* var) {
    if (call("PRESUP", request::Select) == response::Completed)
      setLocal(var, std::int64_t(table("COBR").rec<COO>().CTA));
  }

  void chooseSource() {
    FileRequest request;
    request.title = "Presupuesto";
    request.name = toText(value(kSource));
    if (request.name.empty()) request.name = context().storage().fileName(COO::info());
    request.filters = {"Presupuestos (*.TPS)", "Todos los archivos (*.*)"};
    if (auto path = documents().chooseFile(request)) setLocal(kSource, *path);
  }

  void ok() {
    if (whole(kFront) == 0) {
      warn("NO HA INDICADO EL FRENTE", "DONDE SE INCLUIRAN LOS DATOS",
           "IMPORTADOS... VERIFIQUE UD.");
      close(response::Cancelled);
      return;
    }
    if (!frontEntered(false)) return;
    BudgetImport in;
    in.front = whole(kFront);
    in.factor = number(value(kFactor));
    in.percent = number(value(kPercent));
    in.first = whole(kFirst);
    in.last = whole(kLast);
    in.source = toText(value(kSource));
    // Remembered only when it is another file: the next work has its own.
    if (in.source == ownBudget()) in.source.clear();
    if (!(in.factor > 0)) {
      warn("EL FACTOR DE MULTIPLICACION", "DEBE SER MAYOR QUE CERO", "VERIFIQUE UD.");
      select("?FACTOR");
      return;
    }
    if (!(in.percent >= 0 && in.percent <= 100)) {
      warn("EL % AL QUE SE ESTIMARA", "DEBE SER DE 0 A 100", "VERIFIQUE UD.");
      select("?PORCENTAJE");
      return;
    }
    if (in.first < 0 || in.last < 0) {
      warn("LOS RENGLONES NO PUEDEN SER", "NEGATIVOS", "VERIFIQUE UD.");
      select(in.first < 0 ? "?RENGLON_INICIAL" : "?RENGLON_FINAL");
      return;
    }
    if (in.first > 0 && in.last > 0 && in.first > in.last) {
      warn("EL RENGLON INICIAL ES MAYOR", "QUE EL RENGLON FINAL", "VERIFIQUE UD.");
      select("?RENGLON_INICIAL");
      return;
    }
    SalaryFactor salary;
    if (Status st = readSalaryFactor(ctx_, salary); !st) {
      fileError(st, FileAction::Read);
      return;
    }
    if (salary.unitLabour && !confirm("NO HAY FACTOR DE SALARIO REAL: LA",
                                      "MANO DE OBRA SERA IGUAL A LA CANTIDAD", "¿DESEA CONTINUAR?"))
      return;

    setLocal(kStatus, std::string("ACTUALIZANDO ARCHIVO DE CONCEPTOS"));
    refresh("?ESTADO");
    BudgetImportResult result;
    Status st = importBudget(ctx_, in, &result);
    setLocal(kStatus, std::string());
    refresh("?ESTADO");
    if (!st) {
      refusal(st, result);
      return;
    }
    SettingsFile settings(program_.settingsPath());
    (void)(in.source.empty() ? settings.remove(kSection, kSourceKey)
                             : settings.set(kSection, kSourceKey, in.source));
    MessageBox box;
    box.title = "Importa del Presupuesto";
    box.text = fmt::format(
        "Se importaron {} renglones al frente {}.|Procesos nuevos: {}.|Conceptos nuevos: {}; "
        "acumulados: {}.|Partidas nuevas: {}; acumuladas: {}.|Mano de obra agregada al frente: {}",
        result.rows, in.front, result.processesAdded, result.conceptsAdded,
        result.conceptsAccumulated, result.itemsAdded, result.itemsAccumulated,
        trimmedLeft(formatPicture("@n14.2", result.labour)));
    host().show(box);
    close(response::Completed);
  }

  // A refusal of the rows or the source is told in three lines; a failed
  // table operation through its catalogue message.
  void refusal(const Status& st, const BudgetImportResult& result) {
    if (result.failedRow != 0) {
      warn(fmt::format("EL RENGLON {} DEL PRESUPUESTO", result.failedRow),
           "NO TIENE CLAVE DE CONCEPTO", "NO SE IMPORTO NADA...");
    } else if (st.code == err::ValueRefused && st.table == "COT") {
      warn("NO HAY RENGLONES DEL PRESUPUESTO", "EN ESE RANGO", "VERIFIQUE UD.");
      select("?RENGLON_INICIAL");
    } else if (st.table == "COT" && result.failedAt == FileAction::Open) {
      warn("EL ARCHIVO DEL PRESUPUESTO NO", "EXISTE O NO ES UNA TABLA DE",
           "PRESUPUESTO... VERIFIQUE UD.");
      select("?PRESUPUESTO");
    } else if (st.code == err::ValueRefused) {
      warn("NO SE PUDO IMPORTAR:", st.text.substr(st.text.find(':') + 1), "NO SE IMPORTO NADA...");
    } else {
      fileError(st, result.failedAt);
    }
  }

  static std::string trimmedLeft(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    return s;
  }

  static WindowDescription window() {
    // The advice first, then the inputs and the status line.
    WindowDescription w =
        Describe("IMPORTA", "Importando Archivos desde el Presupuesto")
            .prompt("?STRING1", "Es conveniente antes de este proceso, calcular el presupuesto ")
            .prompt("?STRING2", "en el sistema de presupuestos.")
            .field("&No de Frente:", kFront, "@n_6")
            .lookupButton()
            .text("", "FRE:NOMB", "@s40")
            .field("&Factor de Multiplicación:", kFactor, "@n-10.4")
            .field("% Al que se &Estimará:", kPercent, "@n6.2")
            .field("Renglón Inicial:", kFirst, "@n_6")
            .lookupButton()
            .field("Renglón Final:", kLast, "@n_6")
            .lookupButton()
            .field("Presupuesto:", kSource, "@s80", "EN BLANCO: EL PRESUPUESTO DE LA OBRA")
            .lookupButton()
            .text("", kStatus, "@s40")
            .button("?OK", "OK", true)
            .button("?CANCEL", "Cancela")
            .done();
    w.resizable = false;
    return w;
  }
};

}  // namespace

void addBudgetImportProcedures(Program& program) {
  program.addProcedure("IMPORTA",
                       [](Program& p, db::Context& c) { return std::make_unique<Importa>(p, c); });
}

}  // namespace velmora::exchange
