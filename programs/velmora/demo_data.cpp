#include "programs/velmora/demo_data.h"

#include <fmt/core.h>

#include <algorithm>
#include <map>
#include <set>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"
#include "dictionary/work_files.h"
#include "programs/velmora/demo_catalogue.h"
#include "programs/velmora/demo_estimates.h"
#include "programs/velmora/demo_invoices.h"
#include "programs/velmora/demo_work.h"

namespace velmora::demo {

namespace {

// One table written in one batch.
class Batch {
 public:
  Batch(db::Context& ctx, const dict::TableInfo& info) : table_(ctx.table(info)) {}
  ~Batch() { table_.close(); }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  Status begin() {
    Status st = table_.open();
    return st ? table_.stream() : st;
  }
  template <class R>
  Status add(const R& r) {
    table_.rec<R>() = r;
    Status st = table_.add();
    if (!st) st.table = table_.info().label;
    return st;
  }
  Status end() {
    Status st = table_.flush();
    table_.close();
    return st;
  }

 private:
  db::Table& table_;
};

template <class R>
Status writeAll(db::Context& ctx, const std::vector<R>& records) {
  Batch b(ctx, R::info());
  Status st = b.begin();
  for (std::size_t i = 0; st && i < records.size(); ++i) st = b.add(records[i]);
  return st ? b.end() : st;
}

template <class R, class Make>
Status writeEach(db::Context& ctx, std::size_t count, Make make) {
  Batch b(ctx, R::info());
  Status st = b.begin();
  for (std::size_t i = 0; st && i < count; ++i) st = b.add<R>(make(i));
  return st ? b.end() : st;
}

std::string fullDescription(const Concept& k) {
  return k.text +
         ". INCLUYE: SUMINISTRO DE MATERIALES, MANO DE OBRA, HERRAMIENTA Y EQUIPO, "
         "ACARREOS, DESPERDICIOS, LIMPIEZA Y RETIRO DE SOBRANTES FUERA DE LA OBRA, A "
         "CUALQUIER ALTURA, SEGUN PROYECTO Y ESPECIFICACIONES.";
}

Status writeBudget(db::Context& ctx, const Work& w, std::int32_t today) {
  const WorkTemplate& t = *w.tpl;
  std::vector<PRB> processes;
  for (std::size_t p = 0; p < t.processes.size(); ++p) {
    if (w.processNumber[p] == 0) continue;
    PRB r;
    r.CTA = w.processNumber[p];
    r.TEXT = t.processes[p].name;
    processes.push_back(r);
  }
  Status st = writeAll(ctx, processes);
  if (!st) return st;

  st = writeEach<COE>(ctx, w.concepts.size(), [&](std::size_t i) {
    const Concept& k = w.concepts[i];
    COE r;
    r.CTA = k.number;
    r.CLAVE = t.processes[std::size_t(k.process)].family + k.key;
    r.TEXT = k.text;
    r.UNID = k.tpl->unit;
    r.TCANT = k.quantity;
    r.TEX1 = fullDescription(k);
    return r;
  });
  if (!st) return st;

  // The budget rows: a heading, the concepts and a subtotal per process.
  std::vector<COO> rows;
  for (std::size_t i = 0; i < w.concepts.size(); ++i) {
    const Concept& k = w.concepts[i];
    const ProcessTemplate& pt = t.processes[std::size_t(k.process)];
    if (i == 0 || w.concepts[i - 1].process != k.process) {
      COO h;
      h.CTA = k.row - 1;
      h.TEXT = pt.name;
      h.GENE = pt.family;
      h.TIPO = "T";
      rows.push_back(h);
    }
    COO r;
    r.CTA = k.row;
    r.TEXT = k.text;
    r.GENE = pt.family;
    r.LLAV = k.key;
    r.UNID = k.tpl->unit;
    r.TIPO = "C";
    r.CANT = k.quantity;
    r.TOBR = k.labour, r.TMAT = k.material, r.TCOS = k.equipment, r.TPOR = k.percentages;
    r.PUNI = k.unitPrice();
    r.TOB1 = k.total(k.labour), r.TMA1 = k.total(k.material);
    r.TCO1 = k.total(k.equipment), r.TPO1 = k.total(k.percentages);
    r.IMPO = round2(r.TOB1 + r.TMA1 + r.TCO1 + r.TPO1);
    r.TEX1 = fullDescription(k);
    rows.push_back(r);
    if (i + 1 == w.concepts.size() || w.concepts[i + 1].process != k.process) {
      COO s;
      s.CTA = k.row + 1;
      s.TEXT = fmt::format("SUBTOTAL {}", pt.name);
      s.GENE = pt.family;
      s.TIPO = "S";
      for (auto it = rows.rbegin(); it != rows.rend() && it->TIPO == "C"; ++it) {
        s.IMPO += it->IMPO;
        s.TOB1 += it->TOB1, s.TMA1 += it->TMA1, s.TCO1 += it->TCO1, s.TPO1 += it->TPO1;
      }
      s.IMPO = round2(s.IMPO);
      s.TOB1 = round2(s.TOB1), s.TMA1 = round2(s.TMA1);
      s.TCO1 = round2(s.TCO1), s.TPO1 = round2(s.TPO1);
      rows.push_back(s);
    }
  }
  st = writeAll(ctx, rows);
  if (!st) return st;

  return writeEach<PAR>(ctx, w.items.size(), [&](std::size_t i) {
    const Item& it = w.items[i];
    const Concept& k = w.concepts[std::size_t(it.conceptIndex)];
    const ProcessTemplate& pt = t.processes[std::size_t(k.process)];
    PAR r;
    r.CONC = k.number;
    r.PROC = w.processNumber[std::size_t(k.process)];
    r.FREN = it.front + 1;
    r.TEXT = cp1252::utf8Prefix(k.text, 30);
    r.CLAVE = pt.family + k.key;
    r.NEST = r.CLAVE;
    r.UNID = k.tpl->unit;
    r.CANT = r.CANI = r.ECAN = it.quantity;
    r.UNIT = k.unitPrice();
    r.PEST = it.estimable;
    r.PRES = r.PREI = it.labour;
    r.MATE = r.MATI = it.material;
    r.EQUI = r.EQII = it.equipment;
    r.CONT = it.contractor;
    r.SCON = it.contractor > 0 && pt.subcontracted ? "S" : "N";
    // Nothing paid yet: saving the estimates moves TPAG, AVAN and the dates.
    r.FINI = processStart(today, k.process) + 7 * it.front;
    r.FFIN = r.FINI + kWorkDays;
    return r;
  });
}

// The explosion of the budget: what every input adds up to, the concepts'
// inputs, the equipment hours and the equipment of every front. Returns the
// equipment budget of each front.
Status writeInputs(db::Context& ctx, const Work& w, std::int32_t today,
                   std::vector<double>& frontEquipment, int& equipmentCount) {
  const WorkTemplate& t = *w.tpl;
  std::map<std::int32_t, double> total;                       // by input
  std::map<std::pair<std::int32_t, int>, double> frontHours;  // equipment, front
  std::map<std::int32_t, std::map<int, double>> processHours;
  std::vector<INO> uses;
  for (const Concept& k : w.concepts)
    for (const Use& u : k.tpl->uses) {
      const Input& in = *findInput(u.input);
      INO r;
      r.CTA = Decimal::fromCents(std::int64_t(k.row) * 100);
      r.MATE = in.code;
      r.CATE = std::uint8_t(in.category);
      r.TOTA = round2(k.quantity * u.perUnit);
      total[in.code] += r.TOTA;
      if (in.category == Category::Equipment) processHours[in.code][k.process] += r.TOTA;
      uses.push_back(r);
    }
  for (const Item& it : w.items)
    for (const Use& u : w.concepts[std::size_t(it.conceptIndex)].tpl->uses)
      if (findInput(u.input)->category == Category::Equipment)
        frontHours[{u.input, it.front}] += it.quantity * u.perUnit;

  Status st = writeAll(ctx, uses);
  if (!st) return st;

  const std::int32_t priced = today - kWorkAge - 30;
  std::vector<IOB> inputs;
  for (auto [code, quantity] : total) {
    const Input& in = *findInput(code);
    IOB r;
    r.CTA = code;
    r.TEXT = in.text;
    r.TIPO = std::uint8_t(in.category);
    r.GENE = in.category == Category::Material ? "MAT"
             : in.category == Category::Labour ? "MOB"
                                               : "EQP";
    r.LLAV = std::to_string(code);
    r.UNID = in.unit;
    r.COST = in.category == Category::Labour ? round2(in.price / w.labourShare) : in.price;
    r.UCOS = r.PREF = r.COST;
    r.FECH = r.FREF = priced;
    r.CANT = round2(quantity);
    r.TOTA = round2(r.CANT * r.COST);
    inputs.push_back(r);
  }
  st = writeAll(ctx, inputs);
  if (!st) return st;

  // Each piece of equipment is charged to the process that uses it most.
  std::vector<HOR> hours;
  std::vector<MAQ> machines;
  frontEquipment.assign(w.fronts.size(), 0);
  for (const auto& [code, byProcess] : processHours) {
    const Input& in = *findInput(code);
    int process = std::max_element(byProcess.begin(), byProcess.end(), [](auto& a, auto& b) {
                    return a.second < b.second;
                  })->first;
    HOR h;
    h.CTA = code;
    h.DESC = in.text;
    h.PREC = in.price;
    h.DPRO = t.processes[std::size_t(process)].name;
    for (std::size_t f = 0; f < w.fronts.size(); ++f) {
      auto found = frontHours.find({code, int(f)});
      if (found == frontHours.end() || round2(found->second) <= 0) continue;
      MAQ m;
      m.CTA = code;
      m.DESC = in.text;
      m.FREN = std::int32_t(f + 1);
      m.PROC = w.processNumber[std::size_t(process)];
      m.REQU = round2(found->second);
      m.PRRE = in.price;
      h.CANT += m.REQU;
      frontEquipment[f] += m.REQU * m.PRRE;
      machines.push_back(m);
    }
    h.CANT = round2(h.CANT);
    hours.push_back(h);
  }
  equipmentCount = int(machines.size());
  st = writeAll(ctx, hours);
  return st ? writeAll(ctx, machines) : st;
}

Status writeFronts(db::Context& ctx, const Work& w, const std::vector<double>& equipment) {
  std::vector<FRE> fronts(w.fronts.size());
  for (std::size_t f = 0; f < fronts.size(); ++f) {
    fronts[f].CTA = std::int32_t(f + 1);
    fronts[f].NOMB = w.fronts[f];
    fronts[f].EQRE = round2(equipment[f]);
  }
  // Summed in cents, as every running total is.
  std::vector<std::int64_t> budget(fronts.size()), estimated(fronts.size());
  for (const Item& it : w.items) {
    budget[std::size_t(it.front)] += std::llround(it.labour * 100);
    estimated[std::size_t(it.front)] += it.paid.cents();
  }
  for (std::size_t f = 0; f < fronts.size(); ++f) {
    fronts[f].TPRES = Decimal::fromCents(budget[f]).toDouble();
    fronts[f].TESTI = Decimal::fromCents(estimated[f]).toDouble();
  }
  return writeAll(ctx, fronts);
}

Status writeSuppliersAndBanks(db::Context& ctx) {
  Status st = writeEach<PRV>(ctx, suppliers().size(), [](std::size_t i) {
    const Supplier& s = suppliers()[i];
    PRV r;
    r.CTA = std::int32_t(i + 1);
    r.NOMB = s.name;
    r.CONT = s.contact;
    r.RFC = s.rfc;
    r.DIRE = s.street;
    r.POBL = s.city;
    r.LOCA = s.district;
    r.TELE = s.phone;
    r.TEL2 = s.phone2;
    r.TIPO = s.type;
    return r;
  });
  if (!st) return st;
  return writeEach<BAN>(ctx, banks().size(), [](std::size_t i) {
    const Bank& b = banks()[i];
    BAN r;
    r.CTA = b.number;
    r.NOMB = b.name;
    r.CUE = b.account;
    r.CT = b.level[0], r.SCT = b.level[1], r.SSC = b.level[2];
    r.SSSC = b.level[3], r.SSSS = b.level[4];
    r.SAIN = r.SALD = b.balance;
    std::copy(std::begin(b.row), std::end(b.row), r.ROW.begin());
    std::copy(std::begin(b.column), std::end(b.column), r.COL.begin());
    return r;
  });
}

bool isParent(const Account& parent, const Account& child) {
  int depth = 5;
  while (depth > 0 && parent.level[depth - 1] == 0) --depth;
  if (depth == 5 || child.level[depth] == 0) return false;
  return std::equal(parent.level, parent.level + depth, child.level);
}

Status writeAccounting(db::Context& ctx) {
  const auto chart = chartOfAccounts();
  Status st = writeEach<CUE>(ctx, chart.size(), [&](std::size_t i) {
    const Account& a = chart[i];
    CUE r;
    r.DESC = a.text;
    r.CTA = a.level[0], r.SCTA = a.level[1], r.SSCTA = a.level[2];
    r.SSSCTA = a.level[3], r.SSSSCTA = a.level[4];
    bool parent =
        std::any_of(chart.begin(), chart.end(), [&](const Account& b) { return isParent(a, b); });
    r.ULNI = parent ? "N" : "S";
    r.TIPO = a.type;
    return r;
  });
  if (!st) return st;
  return writeEach<TIP>(ctx, policyTypes().size(), [](std::size_t i) {
    TIP r;
    r.CTA = std::uint8_t(i + 1);
    r.DESC = policyTypes()[i];
    return r;
  });
}

OBR workRecord(const Work& w) {
  const WorkTemplate& t = *w.tpl;
  OBR r;
  r.CTA = t.code;
  r.OBRA = t.name;
  r.DIRE = t.address;
  r.LIST = t.zone;
  r.DICO = t.accounting;
  for (const Concept& k : w.concepts) {
    r.TOBR += k.total(k.labour);
    r.TMAT += k.total(k.material);
    r.TCOS += k.total(k.equipment);
    r.TPOR += k.total(k.percentages);
  }
  r.TOBR = round2(r.TOBR), r.TMAT = round2(r.TMAT);
  r.TCOS = round2(r.TCOS), r.TPOR = round2(r.TPOR);
  r.POAU[0] = 1;  // estimate policies
  r.POAU[1] = 1;  // equipment invoice and payment policies
  for (const Slot& s : accountSlots()) {
    OBR::CONTA_t& a = r.CONTA[std::size_t(s.slot - 1)];
    a.CC = s.level[0], a.SCC = s.level[1], a.SSCC = s.level[2];
    a.SSSCC = s.level[3], a.SSSSCC = s.level[4];
  }
  return r;
}

// Every file of the work's database exists, even those the demo leaves empty.
Status createRemaining(db::Context& ctx, const db::WorkFiles& files) {
  for (const db::WorkFileName& n : files.names) {
    db::Table& t = ctx.table(*n.table);
    Status st = t.open();
    if (!st) return st;
    t.close();
  }
  return Status::success();
}

Status buildWork(db::Storage& storage, const DemoOptions& o, const WorkTemplate& t, int size,
                 const std::vector<CTL>& control, WorkSummary& summary, OBR& record) {
  const Work w = planWork(t, control[std::size_t(t.zone - 1)], size, o.today);

  db::WorkFiles files = db::workFiles(db::WorkLocation{o.folder.string(), t.code, t.accounting,
                                                       o.today, db::NameStyle::WithExtension});
  std::error_code ec;
  std::filesystem::create_directories(files.workFolder, ec);
  if (!ec) std::filesystem::create_directories(files.accountingFolder, ec);
  if (ec)
    return Status::error(err::PathNotFound,
                         fmt::format("No se pudo crear la carpeta de la obra: {}", ec.message()));
  db::useWorkFiles(storage, files);
  db::Context ctx(storage);

  std::vector<double> frontEquipment;
  Status st = writeBudget(ctx, w, o.today);
  if (st) st = writeAll(ctx, w.contractors);
  if (st) st = saveDemoEstimates(ctx, w);
  if (st) st = writeInputs(ctx, w, o.today, frontEquipment, summary.equipment);
  if (st) st = writeFronts(ctx, w, frontEquipment);
  if (st) st = writeSuppliersAndBanks(ctx);
  if (st) st = writeAccounting(ctx);
  if (st) st = createRemaining(ctx, files);
  if (!st) return st;

  record = workRecord(w);
  summary.code = t.code;
  summary.name = t.name;
  summary.accounting = t.accounting;
  summary.fronts = int(w.fronts.size());
  summary.processes = int(
      std::count_if(w.processNumber.begin(), w.processNumber.end(), [](int n) { return n != 0; }));
  summary.concepts = int(w.concepts.size());
  summary.items = int(w.items.size());
  summary.contractors = int(w.contractors.size());
  summary.estimates = int(w.estimates.size());
  for (const Estimate& e : w.estimates) summary.lines += int(e.lines.size());
  summary.suppliers = int(suppliers().size());
  summary.banks = int(banks().size());
  summary.accounts = int(chartOfAccounts().size());
  summary.directCost = round2(record.TOBR + record.TMAT + record.TCOS + record.TPOR);
  return Status::success();
}

PER userRecord(const User& u) {
  PER r;
  r.CTA = u.number;
  r.NOMB = u.name;
  r.LOGIN = u.login;
  switch (u.number) {
    case 1:  // the administrator: everything in both programs
      r.ESTI.fill(5);
      r.MATE.fill(5);
      break;
    case 2:  // looks, never changes
      r.ESTI.fill(1);
      r.MATE.fill(1);
      break;
    default:  // rights on the windows, yet no entry to either program
      r.ESTI.fill(3);
      r.MATE.fill(3);
      r.ESTI[0] = 0;
      r.MATE[8] = 0;
      break;
  }
  return r;
}

}  // namespace

std::vector<std::string> demoEntries() {
  std::vector<std::string> names = {"DATA0.TPS", "DATA1.TPS", "DATA7.TPS"};
  std::set<std::string> folders;
  for (const WorkTemplate& t : works()) folders.insert({t.code, t.accounting});
  names.insert(names.end(), folders.begin(), folders.end());
  return names;
}

Status buildDemo(const DemoOptions& o, DemoSummary& summary) {
  db::Storage storage;
  auto programFile = [&](const char* label, const char* name) {
    storage.setFileName(*dict::findTable(label), (o.folder / name).string());
  };
  programFile("CONTROL", "DATA0");
  programFile("OBRA", "DATA1");
  programFile("PERS", "DATA7");
  db::Context ctx(storage);

  std::vector<CTL> control;
  for (std::size_t i = 0; i < zones().size(); ++i) control.push_back(controlRecord(int(i)));
  Status st = writeAll(ctx, control);
  for (const CTL& c : control) summary.zones.push_back(c.ZONA);
  if (st)
    st = writeEach<PER>(ctx, users().size(), [](std::size_t i) { return userRecord(users()[i]); });
  if (!st) return st;
  for (const User& u : users())
    summary.users.push_back({u.number, u.name,
                             u.number == 1   ? "nivel 5 en todo, DUDORE y VOROVID"
                             : u.number == 2 ? "sólo consulta (nivel 1)"
                                             : "sin entrada a DUDORE ni a VOROVID"});

  std::vector<OBR> records;
  for (std::size_t i = 0; i < works().size(); ++i) {
    const WorkTemplate& t = works()[i];
    WorkSummary ws;
    OBR record;
    st = buildWork(storage, o, t, i == 0 ? o.size : 0, control, ws, record);
    if (!st) return st;
    records.push_back(record);
    summary.works.push_back(ws);
  }
  st = writeAll(ctx, records);
  if (st) st = addDemoInvoices(storage, o);
  return st ? addDemoPayments(storage, o) : st;
}

}  // namespace velmora::demo
