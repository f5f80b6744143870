// Every report of both programs on a work whose amounts run to tens of
// thousands of millions and whose sums pass a hundred thousand millions:
// every figure prints (no '#'), and no text of a page runs into another.

#include <gtest/gtest.h>

#include <cmath>

#include "programs/shell/report_catalogue.h"
#include "reports/report_options.h"
#include "tests/support/report_fixture.h"

namespace velmora::reports {
namespace {

constexpr std::int32_t kDay = 80000;
// 34,828,252,242.42: three of them are 104,484,756,727.26.
constexpr double kBig = 34828252242.42;

class WideSums : public ReportFixture {
 protected:
  WideSums() {
    storage_.setFileName(PAR::info(), folder_.file("OBRA10.TPS"));
    storage_.setFileName(CTR::info(), folder_.file("OBRA12.TPS"));
    storage_.setFileName(POL::info(), folder_.file("OBRA13.TPS"));
    storage_.setFileName(DPO::info(), folder_.file("OBRA14.TPS"));
    storage_.setFileName(PRV::info(), folder_.file("MATE1.TPS"));
    storage_.setFileName(BAN::info(), folder_.file("PAGO3.TPS"));
    storage_.setFileName(MAQ::info(), folder_.file("OBRA19.TPS"));
    storage_.setFileName(FAM::info(), folder_.file("OBRA20.TPS"));
    storage_.setFileName(PGM::info(), folder_.file("OBRA21.TPS"));
    settings_.heading = {"CONSTRUCTORA DEMO", "HOSPITAL GENERAL", kDay, "AV. JUAREZ 100"};
  }

  // Three contractors, items, estimates and suppliers, each amount about
  // kBig; an advance given and applied, a fund return, posted and unposted
  // estimates.
  void wideWork() {
    for (std::int16_t c = 1; c <= 3; ++c) {
      add<CTR>([c](CTR& r) {
        r.CTA = c, r.NOMB = "CONTRATISTA " + std::to_string(c);
        r.ICON = r.TPAG = r.PRES = r.GAAC = r.NOAC = r.AAMO = kBig;
        r.TIVA = kBig * 0.16, r.ANTI = 2 * kBig;
      });
      add<PAR>([c](PAR& p) {
        p.CONC = c + c / 100.0, p.PROC = 1, p.FREN = 1, p.TEXT = "PARTIDA " + std::to_string(c);
        p.UNID = "M3", p.CANT = 123456789.12, p.PRES = kBig, p.VPRE = 1000, p.TPAG = kBig / 2;
        p.MATE = p.EQUI = kBig, p.VMAT = p.VEQU = 1000, p.CONT = c, p.AVAN = 50;
      });
      add<POL>([c](POL& e) {
        e.CTA = c, e.CONT = c, e.FECH = kDay - 10 + c, e.ESTI = 1, e.CANT = e.TACU = kBig;
        e.NOMI = e.PANT = kBig / 10, e.IVA = kBig * 0.16, e.PFON = kBig / 20;
        e.PPRE = 1000, e.PRES = 2000, e.NOPO = c == 1 ? 5 : 0;
      });
      // Each estimate moves two items from a quarter to a half.
      for (std::int16_t item : {c, std::int16_t(c % 3 + 1)})
        add<DPO>([c, item](DPO& d) {
          d.CTA = c, d.PART = item + item / 100.0, d.PROC = 1, d.FREN = 1;
          d.TANT = kBig / 4, d.TACT = kBig / 2, d.PANT = 25, d.PACT = 50;
        });
      add<PRV>([c](PRV& p) {
        p.CTA = c, p.NOMB = "PROVEEDOR " + std::to_string(c), p.RFC = "RFC" + std::to_string(c);
        p.TIPO = 2;
        p.TREC = p.TPAG = p.TFAC = p.AAMO = kBig, p.ANTI = 2 * kBig;
      });
      add<FAM>([c](FAM& f) {
        f.CTA = 10 + c, f.PROV = c, f.FACT = 5000 + c, f.FECH = kDay - 5 + c, f.MAQU = 1;
        f.FREN = 1, f.CANT = 1234567.89, f.IMPO = kBig, f.IVA = kBig * 0.16, f.PAGO = kBig / 2;
      });
      // An advance, and a payment of the invoice applying part of it.
      add<PGM>([c](PGM& p) {
        p.PROV = c, p.FECH = kDay - 4, p.CHEC = 100 + c, p.BANK = 1, p.TIPO = "A";
        p.CANT = p.ANTI = kBig;
      });
      add<PGM>([c](PGM& p) {
        p.PROV = c, p.FACT = 10 + c, p.FECH = kDay - 2, p.CHEC = 200 + c, p.BANK = 1;
        p.TIPO = "F", p.CANT = p.ANTI = kBig / 2;
      });
    }
    add<POL>([](POL& e) {
      e.CTA = 4, e.CONT = 1, e.FECH = kDay - 3, e.ESTI = -1, e.UFEC = 1, e.CANT = kBig;
      e.PANT = -kBig, e.NOPO = 6;
    });
    add<POL>([](POL& e) {
      e.CTA = 5, e.CONT = 2, e.FECH = kDay - 2, e.ESTI = -3, e.UFEC = 3, e.CANT = kBig / 20;
      e.PFON = -kBig / 20;
    });
    add<BAN>([](BAN& b) { b.CTA = 1, b.NOMB = "BANCO CENTRAL"; });
    add<MAQ>([](MAQ& m) { m.CTA = 1, m.FREN = 1, m.DESC = "GRUA TITAN"; });
  }

  // A run's pages, each as its image and as its text.
  struct Run {
    std::vector<WmfPage> pages;
    std::string text;
  };
  Run run(Report& report) {
    ReportRun r(ctx_, report, settings_);
    runToEnd(r);
    EXPECT_EQ(r.response(), 1) << r.failure().text;
    Run out;
    auto pages = r.takePages();
    for (const std::string& file : pages ? pages->files() : std::vector<std::string>{}) {
      WmfPage wp;
      EXPECT_TRUE(readWmf(file, wp));
      for (const std::string& l : pageText(wp)) out.text += l + "\n";
      out.pages.push_back(std::move(wp));
    }
    return out;
  }
};

// Where a text's ink lies on the page: blanks paint nothing. The report
// font is fixed-pitch, 0.6 of its height a character.
struct Ink {
  double from, to;
  int y, height;
  std::string text;
};

std::vector<Ink> inkOf(const WmfPage& page) {
  std::vector<Ink> all;
  int height = 0;
  for (const WmfItem& i : page.items) {
    if (i.kind == WmfItem::Kind::Font) height = i.y2;
    if (i.kind != WmfItem::Kind::Text) continue;
    const std::size_t first = i.text.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    const std::size_t last = i.text.find_last_not_of(' ');
    const double advance = 0.6 * height;
    // Multi-byte characters (Ñ) count once.
    auto chars = [&](std::size_t bytes) {
      double n = 0;
      for (std::size_t k = 0; k < bytes; ++k) n += (i.text[k] & 0xC0) != 0x80;
      return n;
    };
    all.push_back({i.x + advance * chars(first), i.x + advance * chars(last + 1), i.y, height,
                   i.text.substr(first, last + 1 - first)});
  }
  return all;
}

// Texts on one row whose ink meets or comes closer than half a character.
std::vector<std::string> overlaps(const WmfPage& page) {
  const std::vector<Ink> ink = inkOf(page);
  std::vector<std::string> found;
  for (std::size_t a = 0; a < ink.size(); ++a)
    for (std::size_t b = a + 1; b < ink.size(); ++b) {
      const Ink &p = ink[a], &q = ink[b];
      const double gap = 0.3 * std::max(p.height, q.height);
      if (std::abs(p.y - q.y) >= std::max(p.height, q.height)) continue;
      if (p.from < q.to + gap && q.from < p.to + gap)
        found.push_back("«" + p.text + "» y «" + q.text + "»");
    }
  return found;
}

TEST(WideFigures, ANumberTooLongForItsPictureShowsWholeInAWiderOne) {
  bool widened = true;
  EXPECT_EQ(showValue("@n-13.2", Value(Decimal::fromCents(34828252242)), &widened),
            "348,282,522.42");
  EXPECT_TRUE(widened);
  EXPECT_EQ(showValue("@n-13.2", Value(-104484756727.26)), "-104,484,756,727.26");
  EXPECT_EQ(showValue("@n_6", Value(std::int64_t(12345678))), "12345678");
  // What fits keeps its picture's width, blanks included.
  EXPECT_EQ(showValue("@n-13.2", Value(1234.5), &widened), "     1,234.50");
  EXPECT_FALSE(widened);
  // Page ten thousand and on.
  EXPECT_EQ(showValue("pHoja <<<#p", Value(std::int64_t(12345))), "Hoja 12345");
  // A day that is no date has no wider picture.
  EXPECT_EQ(showValue("@D6", Value(std::int64_t(99999999)), &widened), "##########");
  EXPECT_FALSE(widened);
}

TEST_F(WideSums, EveryReportPrintsEveryFigureWithoutRunningIntoItsNeighbours) {
  wideWork();
  const std::vector<std::string> names = reportNames();
  ASSERT_GE(names.size(), 15u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    auto report = makeReport(name);
    ASSERT_TRUE(report);
    // The estimate printouts take every folio; the invoices show their payments.
    if (name == "REP_IMP" || name == "REP_PORC") {
      ASSERT_TRUE(report->option("FOLIO_INICIAL", "1"));
      ASSERT_TRUE(report->option("FOLIO_FINAL", "5"));
    }
    if (name == "IMP_FAC") {
      ASSERT_TRUE(report->option("INCLUYE_PAGOS", "SI"));
    }
    const Run out = run(*report);
    ASSERT_FALSE(out.pages.empty());
    EXPECT_FALSE(has(out.text, "#")) << out.text;
    for (std::size_t p = 0; p < out.pages.size(); ++p)
      for (const std::string& o : overlaps(out.pages[p]))
        ADD_FAILURE() << "hoja " << p + 1 << ": " << o << "\n" << out.text;

    // The sums of hundreds of thousands of millions are there, in full.
    auto shows = [&](const char* figure) { EXPECT_TRUE(has(out.text, figure)) << figure; };
    if (name == "IMP_CON" || name == "IMP_PRV" || name == "IMP_AUX") shows("104,484,756,727.26");
    if (name == "REP_ESC") shows("141,054,421,581.80");
    if (name == "IMP_TAB") shows("313,454,279,181.78");
    if (name == "IMP_PAG") shows("156,727,135,090.89"), shows("-17,414,126,121.21");
  }
}

}  // namespace
}  // namespace velmora::reports
