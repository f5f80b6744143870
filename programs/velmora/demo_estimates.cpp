#include "programs/velmora/demo_estimates.h"

#include <fmt/core.h>

#include "dictionary/unit_of_work.h"
#include "estimates/estimate_save.h"

namespace velmora::demo {

namespace {

using estimates::figure;

// Mid-morning of the estimate's own day, by the administrator.
estimates::EstimateHeader headerOf(const POL& p) {
  estimates::EstimateHeader h;
  h.contractor = p.CONT;
  h.date = p.FECH;
  h.stamp = {1, p.FECH, 10 * 360000 + 1};
  return h;
}

estimates::EstimateLine lineOf(const DPO& d, const LineQuantity& q) {
  estimates::EstimateLine l;
  l.conc = d.PART, l.process = d.PROC, l.front = d.FREN;
  l.paidBefore = figure(d.TANT);
  l.doneBefore = d.PANT;
  l.quantity = Ratio::of(q.now) / Ratio::of(100);
  l.executed = Ratio::of(q.executed) / Ratio::of(100);
  l.amount = Decimal::fromCents(figure(d.TACT).cents() - l.paidBefore.cents());
  l.percent = progressAfter(q);
  return l;
}

Status save(db::Context& ctx, const Estimate& e, estimates::SaveOutcome& out) {
  const POL& p = e.header;
  if (p.ESTI < 0) {
    estimates::AdvanceEntry a;
    a.header = headerOf(p);
    a.type = p.ESTI == -1 ? '1' : '3';
    a.amount = figure(p.CANT);
    return estimates::saveAdvance(ctx, a, &out);
  }
  estimates::ProgressEstimate in;
  in.header = headerOf(p);
  in.finals = {figure(p.PANT), figure(p.PFON), figure(p.IVA),
               figure(p.PPRE), figure(p.PRES), figure(p.NOMI)};
  for (std::size_t i = 0; i < e.lines.size(); ++i)
    in.lines.push_back(lineOf(e.lines[i], e.typed[i]));
  return estimates::saveProgressEstimate(ctx, in, &out);
}

}  // namespace

Status saveDemoEstimates(db::Context& ctx, const Work& w) {
  db::Transaction tx(ctx, {"POLI", "DPOL", "PART", "CONT"});
  if (!tx.status()) return tx.status();
  for (const Estimate& e : w.estimates) {
    estimates::SaveOutcome out;
    Status st = save(ctx, e, out);
    // The entries were planned from what the windows show; a refusal means
    // the plan and the program part ways.
    if (st && out.saved.CTA != e.header.CTA)
      st =
          Status::error(err::ValueRefused, fmt::format("se guardó con el folio {}", out.saved.CTA));
    if (!st) {
      std::string why = out.message[0].empty() ? st.text : out.message[0];
      for (std::size_t i = 1; i < out.message.size(); ++i)
        if (!out.message[i].empty()) why += " " + out.message[i];
      st.text =
          fmt::format("La estimación {} del contratista {}: {}", e.header.CTA, e.header.CONT, why);
      return st;
    }
  }
  return tx.commit();
}

}  // namespace velmora::demo
