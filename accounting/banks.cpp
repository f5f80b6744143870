#include "accounting/banks.h"

#include "accounting/accounting.h"
#include "accounting/ledger.h"
#include "framework/describe.h"

namespace velmora::accounting {

namespace {

class CapBan : public BrowseProcedure {
 public:
  CapBan(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "BANC", "UP_BAN",
                        {sortTab(keys::BAN_KEYCTA), sortTab(keys::BAN_KEYNOM, "BAN:NOMB")},
                        entry::kBanks) {}

 private:
  static WindowDescription window() {
    return Describe("CAP_BAN", "Actualizando Bancos")
        .list({{"FOLIO", "BAN:CTA", "@n_6", 6, 'R', true},
               {"NOMBRE", "BAN:NOMB", "@s30", 30, 'L', true},
               {"No CUENTA", "BAN:CUE", "@s15", 15, 'L', true}})
        .tabs({"x FOLIO", "x NOMBRE"})
        .button("?SELECT:2", "&Seleccionar")
        .button("?INSERT:3", "&Alta")
        .button("?CHANGE:3", "&Cambia")
        .button("?DELETE:3", "&Borra")
        .done();
  }
};

constexpr std::array<const char*, 5> kItems = {
    "FECHA:", "BENEFICIARIO:", "CANT/LETRA:", "IMPORTE:", "MENSAJE:"};

class UpBan : public FormProcedure {
 public:
  UpBan(Program& program, db::Context& ctx, bool defaultLayout)
      : FormProcedure(program, ctx, window(), "BANC", entry::kBanks),
        defaultLayout_(defaultLayout) {
    uses("CUEN");
  }

 protected:
  bool init() override {
    if (!FormProcedure::init()) return false;
    BAN& b = primary().rec<BAN>();
    if (defaultLayout_ && (mode() == request::Insert || mode() == request::Change) &&
        b.ROW == std::array<std::uint8_t, 5>{}) {
      b.ROW = kDefaultRows;
      b.COL = kDefaultColumns;
      refreshAll();
    }
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (control.rfind("?CALLLOOKUP", 0) == 0) chooseAccount();
  }

  // The ledger account must exist and take entries: a parent account never does.
  bool validate() override {
    const AccountNumber a = accountOf(primary().rec<BAN>());
    if (a == AccountNumber{}) return true;
    db::Table& cuen = table("CUEN");
    if (!readAccount(cuen, a)) {
      warn("NO ENCONTRE LA CUENTA CONTABLE", a.text(), "VERIFIQUE EL CATALOGO DE CUENTAS");
      select("?BAN:CT");
      return false;
    }
    if (cuen.rec<CUE>().ULNI == "N") {
      notLastLevel();
      return false;
    }
    return true;
  }

 private:
  void notLastLevel() {
    warn("DEBE SELECCIONAR UNA CUENTA DE", "ULTIMO NIVEL Y NO UNA SUB-CTA",
         "O CUENTA DE MAYOR....");
    select("?BAN:CT");
  }

  void chooseAccount() {
    db::Table& cuen = table("CUEN");
    cuen.clear();
    putAccount(cuen.rec<CUE>(), accountOf(primary().rec<BAN>()));
    if (call("CAP_CUE", request::Select) != response::Completed) return;
    if (cuen.rec<CUE>().ULNI == "N") return notLastLevel();
    putAccount(primary().rec<BAN>(), accountOf(cuen.rec<CUE>()));
    refreshAll();
    select("?BAN:SAIN");
  }

  static WindowDescription window() {
    Describe d("UP_BAN", "ACTUALIZANDO ARCHIVO DE BANCOS");
    d.tabs({"General", "Cheque"});
    d.field("FOLIO:", "BAN:CTA", "@n_6").required();
    d.field("NOMBRE:", "BAN:NOMB", "@s30").required();
    d.field("No CUENTA:", "BAN:CUE", "@s15");
    d.field("CUENTA CONTABLE:", "BAN:CT", "@n_4").lookupButton();
    for (auto [prompt, level] : {std::pair{"SCTA:", "BAN:SCT"},
                                 {"SSCTA:", "BAN:SSC"},
                                 {"SSSCTA:", "BAN:SSSC"},
                                 {"SSSSCTA:", "BAN:SSSS"}})
      d.field(prompt, level, "@n_4");
    d.field("SALDO INICIAL:", "BAN:SAIN", "@n16.2-");
    d.field("SALDO ACTUAL:", "BAN:SALD", "@n16.2-");
    for (std::size_t i = 0; i < kItems.size(); ++i) {
      const std::string n = "[" + std::to_string(i + 1) + "]";
      d.field(std::string(kItems[i]) + " RENGLON", "BAN:ROW" + n, "@n3",
              "POSICION VERTICAL DE DATOS EN CHEQUE");
      d.field("COLUMNA", "BAN:COL" + n, "@n3", "POSICION HORIZONTAD DE DATOS EN CHEQUE");
    }
    d.formButtons();
    WindowDescription w = d.done();
    for (Control& c : w.controls) {
      if (c.type == ControlType::Sheet || c.type == ControlType::Tab ||
          c.type == ControlType::Button)
        continue;
      const bool layout = c.id.rfind("?BAN:ROW", 0) == 0 || c.id.rfind("?BAN:COL", 0) == 0;
      c.owner = layout ? "?TAB2" : "?TAB1";
    }
    return w;
  }

  bool defaultLayout_;
};

}  // namespace

std::unique_ptr<Procedure> makeCapBan(Program& program, db::Context& ctx) {
  return std::make_unique<CapBan>(program, ctx);
}

std::unique_ptr<Procedure> makeUpBan(Program& program, db::Context& ctx, bool defaultLayout) {
  return std::make_unique<UpBan>(program, ctx, defaultLayout);
}

}  // namespace velmora::accounting
