#pragma once

// A small header and lines form for the list-part tests of every host: a
// header (client), the fields of a new line, the lines in memory with
// "&Alta" and "&Baja", a header click that sorts, and the total below.

#include <memory>

#include "framework/describe.h"
#include "framework/list_part_memory.h"
#include "framework/procedure.h"

namespace velmora::test {

class LinesForm : public Procedure {
 public:
  static constexpr const char* kList = "?LINEAS";
  enum Column { kConcept, kQuantity, kPrice, kAmount };

  LinesForm(Program& program, db::Context& ctx) : Procedure(program, ctx, window()) {
    lines_ = &addList(std::make_unique<MemoryListPart>(*this, kList));
    lines_->buttons.insert = "?ALTA";
    lines_->buttons.remove = "?BAJA";
  }
  MemoryListPart& lines() { return *lines_; }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    for (const char* v : {"CLIENTE", "CONCEPTO"}) setLocal(v, std::string());
    for (const char* v : {"CANTIDAD", "PRECIO"}) setLocal(v, 0.0);
    setLocal("TOTAL", Decimal());
    lines_->applyRules();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (control == "?ALTA") return addLine();
    if (control == "?BAJA") {
      lines_->remove(lines_->selected());
      return showTotal();
    }
    if (control == "?OK") return close(response::Completed);
    if (control == "?CANCEL") return close(response::Cancelled);
  }

 private:
  static WindowDescription window() {
    Describe d("CAP_LIN", "Captura de Líneas");
    d.field("CLIENTE:", "CLIENTE", "@s30")
        .field("CONCEPTO:", "CONCEPTO", "@s20")
        .field("CANTIDAD:", "CANTIDAD", "@n10.2")
        .field("PRECIO:", "PRECIO", "@n12.2")
        .list({{"CONCEPTO", "", "@s20", 20, 'L', true},
               {"CANTIDAD", "", "@n10.2", 10, 'R', true},
               {"PRECIO", "", "@n12.2", 12, 'R', true},
               {"IMPORTE", "", "@n14.2", 14, 'R', true}});
    d.last().id = kList;
    return d.text("TOTAL:", "TOTAL", "@n14.2")
        .button("?ALTA", "&Alta")
        .button("?BAJA", "&Baja")
        .formButtons()
        .done();
  }

  static Decimal money(const Value& v) {
    auto d = Decimal::fromDouble(std::get<double>(v));
    return d ? *d : Decimal();
  }

  void addLine() {
    std::string item = toText(value("CONCEPTO"));
    if (item.find_first_not_of(' ') == std::string::npos) return warn("FALTA EL CONCEPTO");
    Decimal quantity = money(value("CANTIDAD")), price = money(value("PRECIO"));
    // To the cent, half away from zero.
    std::int64_t c = quantity.cents() * price.cents();
    Decimal amount = Decimal::fromCents((c >= 0 ? c + 50 : c - 50) / 100);
    lines_->add({item, quantity, price, amount});
    setLocal("CONCEPTO", std::string());
    setLocal("CANTIDAD", 0.0);
    setLocal("PRECIO", 0.0);
    for (const char* id : {"?CONCEPTO", "?CANTIDAD", "?PRECIO"}) refresh(id);
    showTotal();
  }

  void showTotal() {
    setLocal("TOTAL", lines_->total(kAmount));
    refresh("?TOTAL");
  }

  MemoryListPart* lines_ = nullptr;
};

}  // namespace velmora::test
