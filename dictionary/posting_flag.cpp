#include "dictionary/posting_flag.h"

#include <cctype>
#include <ctime>

#include "dictionary/records.h"
#include "dictionary/unit_of_work.h"

namespace velmora::db {

Status readPostingFlag(Table& control, bool& busy, Table::FlagHolder& holder) {
  busy = false;
  holder = {};
  Status st = control.setStart(nullptr);
  if (st) st = control.next();
  if (!st) return st;
  if (control.rec<CTL>().OCUP == 0) return st;
  st = control.flagHolder(kPostingFlag, holder);
  // Set with nobody running behind it: left by a station that stopped.
  busy = st && holder.held;
  return st;
}

Status takePostingFlag(Table& control, std::int64_t user) {
  control.rec<CTL>().OCUP = 1;
  Status st = control.put();
  if (st) st = control.holdFlag(kPostingFlag, user);
  return st;
}

Status clearPostingFlag(Context& ctx, bool onlyIfDead) {
  Table& control = ctx.table("CONTROL");
  Transaction tx(ctx, {&control});
  Status st = tx.status();
  if (st) st = control.setStart(nullptr);
  if (st) st = control.next();
  if (st.code == err::NoRecord) return Status::success();  // no control record yet
  if (st && control.rec<CTL>().OCUP != 0) {
    Table::FlagHolder holder;
    st = control.flagHolder(kPostingFlag, holder);
    if (st && onlyIfDead && holder.held) return Status::success();
    if (st) {
      control.rec<CTL>().OCUP = 0;
      st = control.put();
    }
  }
  if (st) st = control.releaseFlag(kPostingFlag);
  if (st) st = tx.commit();
  return st.on("CONTROL");
}

std::array<std::string, 3> postingBusyLines(const Table::FlagHolder& holder) {
  std::string host;
  for (char c : holder.host) host += char(std::toupper(static_cast<unsigned char>(c)));
  if (host.size() > 16) host.resize(16);
  std::string third = "LA OCUPA " + host;
  if (holder.user > 0) third += " USUARIO " + std::to_string(holder.user);
  if (holder.since > 0) {
    std::time_t t = std::time_t(holder.since);
    std::tm tm{};
    localtime_r(&t, &tm);
    char at[8];
    std::strftime(at, sizeof at, "%H:%M", &tm);
    third += std::string(" ") + at;
  }
  return {"ACTUALIZANDO ARCHIVOS EN OTRA", "TERMINAL... INTENTE NUEVAMENTE", third};
}

}  // namespace velmora::db
