// IMP_FAC: the work's equipment invoices by supplier and date, what was
// paid on each and its balance; on request each one's payments under it.

#include <map>

#include "dictionary/storage.h"
#include "equipment/reports/equipment_reports.h"

namespace velmora::reports {

namespace {

constexpr const char* kSupplier = "PROVEEDOR";
constexpr const char* kAmount = "IMPORTE";
constexpr const char* kBalance = "SALDO";
constexpr const char* kPayDate = "PAGO_FECHA";
constexpr const char* kPayAmount = "PAGO_IMPORTE";
constexpr const char* kPayCheque = "PAGO_CHEQUE";
constexpr const char* kPayBank = "PAGO_BANCO";
constexpr const char* kPaySum = "PAGO_SUMA";

SheetSpec sheet() {
  SheetSpec s;
  s.procedure = "IMP_FAC";
  s.title = "FACTURAS DE LA OBRA:";
  s.table = "FAMA";
  s.key = "FAM:CTA_KEY";
  s.columns = {
      {"FACT", "FAM:CTA", "@n_7", 7, true},
      {"P R O V E E D O R", kSupplier, "@s44", 44},
      {"FECHA", "FAM:FECH", "@d6", 10},
      {"IMPORTE", kAmount, "@n-14.2", 14, true, true},
      {"PAGOS", "FAM:PAGO", "@n-14.2", 14, true, true},
      {"SALDO", kBalance, "@n-14.2", 14, true, true},
  };
  s.sumsColumn = 1;
  return s;
}

std::string numbered(std::int32_t n, const std::string& name) {
  return std::to_string(n) + " " + name;
}

struct Payment {
  std::int32_t date = 0, cheque = 0;
  Decimal amount;
  std::string bank;
};

class ImpFac : public EquipmentReport {
 public:
  ImpFac() : EquipmentReport(EquipmentWindow::Invoices) {
    const SheetSpec s = sheet();
    d_ = equipmentLayout(s);
    d_.order = {"FAM:PROV", "FAM:FECH"};
    for (const ColumnSpec& c : s.columns) d_.exportColumns.push_back({c.title, c.source});
    for (BandItem& i : d_.totals.items)
      if (i.text == "SUMAS:") i.text = "SUMA TOTAL EN FACTURAS:";
    layOutPayments(s);
    namesSuppliers();
    namesBanks();
  }
  const ReportDescription& description() const override { return d_; }

  Status open(db::Context& ctx) override {
    failure_ = Status::success();
    byInvoice_.clear();
    paidSupplier_.reset();
    ahead_.reset();
    pagm_ = &ctx.table(PGM::info());
    Status st = pagm_->openReadOnly();
    // Invoices are captured before any payment makes the payments' file.
    if (!st) pagm_ = nullptr;
    return st.code == err::FileNotFound ? Status::success() : st;
  }
  void close() override {
    if (pagm_) pagm_->close(), pagm_ = nullptr;
  }

  bool include(const Record& primary) override {
    const FAM& f = primary.as<FAM>();
    const EquipmentChoices& c = choices();
    if (!c.takesDate(f.FECH)) return false;
    if (c.supplier && f.PROV != c.supplier) return false;
    amount_ = Decimal::fromCents(toCents(f.IMPO).cents() + toCents(f.IVA).cents());
    paid_ = toCents(f.PAGO);
    balance_ = Decimal::fromCents(amount_.cents() - paid_.cents());
    if (c.reporta == 2 && balance_.cents() <= 0) return false;
    if (c.reporta == 3 && balance_.cents() > 0) return false;
    supplier_ = numbered(f.PROV, supplierName(f.PROV, "REGISTRO DE FACTURACION"));
    payments_.clear();
    if (c.withPayments && pagm_ && paid_.cents() != 0) readPayments(f);
    return true;
  }
  Status readFailure() const override { return failure_; }

  const Band* band(const Record& primary, bool first) override {
    (void)primary;
    if (first) {
      at_ = 0;
      return &d_.detail;
    }
    if (payments_.empty() || at_ > payments_.size() + 1) return nullptr;
    const std::size_t i = at_++;
    if (i == 0) return &blockHeading_;
    if (i <= payments_.size()) {
      payment_ = payments_[i - 1];
      return &paymentLine_;
    }
    return &blockSum_;
  }

  std::optional<Value> value(std::string_view name) const override {
    if (name == kSupplier) return Value(supplier_);
    if (name == kAmount) return Value(amount_);
    if (name == kBalance) return Value(balance_);
    if (name == "FAM:PAGO") return Value(paid_);  // to the cent, as printed
    if (name == kPayDate) return Value(std::int64_t(payment_.date));
    if (name == kPayAmount) return Value(payment_.amount);
    if (name == kPayCheque) return Value(std::int64_t(payment_.cheque));
    if (name == kPayBank) return Value(payment_.bank);
    if (name == kPaySum) {
      std::int64_t sum = 0;
      for (const Payment& p : payments_) sum += p.amount.cents();
      return Value(Decimal::fromCents(sum));
    }
    return EquipmentReport::value(name);
  }

 private:
  // The invoice's payments: the supplier's, for this invoice. The invoices
  // come by supplier, so each supplier's payments are read in one pass when
  // his first paid invoice comes; one look-up per invoice would cost a
  // query, and a read-ahead into the next invoices' payments, each.
  void readPayments(const FAM& f) {
    if (paidSupplier_ != f.PROV) readSupplier(f.PROV);
    if (auto it = byInvoice_.find(f.CTA); it != byInvoice_.end()) payments_ = it->second;
  }

  // The supplier's payments by invoice, in key order. Reading stops on the
  // next supplier's first payment, kept so that when he comes next the
  // reading goes on from there: the whole file is then read only once.
  void readSupplier(std::int32_t supplier) {
    byInvoice_.clear();
    paidSupplier_ = supplier;
    Status st;
    if (ahead_ && ahead_->supplier == supplier) {
      byInvoice_[ahead_->invoice].push_back(std::move(ahead_->payment));
    } else {
      pagm_->clear();
      pagm_->rec<PGM>().PROV = supplier;
      st = pagm_->set(PGM::info().key("PGM:NUM_KEY"), 1);
    }
    ahead_.reset();
    while (st && (st = pagm_->next())) {
      const PGM& p = pagm_->rec<PGM>();
      Payment payment{p.FECH, p.CHEC, toCents(p.CANT),
                      p.BANK ? std::to_string(p.BANK) + " " + bankName(p.BANK) : std::string()};
      if (p.PROV != supplier) {
        ahead_ = Ahead{p.PROV, p.FACT, std::move(payment)};
        break;
      }
      byInvoice_[p.FACT].push_back(std::move(payment));
    }
    if (!st && st.code != err::NoRecord) failure_ = st.on("PAGM");
  }

  void layOutPayments(const SheetSpec& s) {
    // Under the supplier's column: date, amount, cheque and bank.
    constexpr int kDate = 11, kAmount = kDate + 10 + 2 + 14, kCheque = kAmount + 2 + 8;
    const int date = sheetX(s, kDate), amount = sheetX(s, kAmount);
    const int cheque = sheetX(s, kCheque), bank = sheetX(s, kCheque + 2);
    BandItem title = label("PAGOS REALIZADOS", sheetX(s, 9), 10);
    title.bold = true;
    blockHeading_.height = 90;
    blockHeading_.items = {title, label("FECHA", date, 50), label("IMPORTE", amount, 50, true),
                           label("CHEQUE", cheque, 50, true), label("BANCO", bank, 50)};
    blockHeading_.lines = {{date, 85, bank + s.font * 6 / 10 * 36, 85}};
    paymentLine_.height = 40;
    paymentLine_.items = {
        field(kPayDate, "@d6", date, 0), field(kPayAmount, "@n-14.2", amount, 0, true),
        field(kPayCheque, "@n_7B", cheque, 0, true), field(kPayBank, "", bank, 0)};
    blockSum_.height = 70;
    blockSum_.items = {label("SUMA:", date, 10), field(kPaySum, "@n-14.2", amount, 10, true)};
    blockSum_.lines = {{amount - s.font * 6 / 10 * 14, 5, amount, 5}};
  }

  ReportDescription d_;
  Band blockHeading_, paymentLine_, blockSum_;
  db::Table* pagm_ = nullptr;
  Status failure_;
  Decimal amount_, paid_, balance_;
  std::string supplier_;
  std::vector<Payment> payments_;
  Payment payment_;
  // The payments of the supplier last read, by invoice, and the first
  // payment of the one after him.
  std::map<std::int32_t, std::vector<Payment>> byInvoice_;
  std::optional<std::int32_t> paidSupplier_;
  struct Ahead {
    std::int32_t supplier, invoice;
    Payment payment;
  };
  std::optional<Ahead> ahead_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<Report> makeImpFac() { return std::make_unique<ImpFac>(); }

}  // namespace velmora::reports
