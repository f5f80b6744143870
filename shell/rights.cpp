#include "shell/rights.h"

#include <charconv>

#include "framework/file_errors.h"
#include "framework/procedure.h"
#include "shell/globals.h"

namespace velmora::shell {

std::int32_t userFromParameter(std::string_view parameter) {
  parameter = parameter.substr(0, 20);
  if (parameter.size() < 2) return 0;
  std::string_view tail = parameter.substr(1);
  while (!tail.empty() && tail.front() == ' ') tail.remove_prefix(1);
  while (!tail.empty() && tail.back() == ' ') tail.remove_suffix(1);
  if (!tail.empty() && tail.front() == '+') tail.remove_prefix(1);
  std::int32_t user = 0;
  auto [end, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), user);
  if (ec != std::errc() || end != tail.data() + tail.size()) return 0;
  return user;
}

Rights loadRights(Program& program, db::Context& ctx, const ShellProgram& shell) {
  if (program.rights.user <= 0) return Rights::NoUser;
  db::Table& pers = ctx.table(labels::PERS);
  ErrorContext ec;
  ec.thread = ctx.thread();
  if (Status st = pers.open(); !st) {
    reportFileError(program.messages(), ec, st, FileAction::Open);
    return Rights::Unreadable;
  }
  pers.clear();
  pers.rec<PER>().CTA = program.rights.user;
  Status st = pers.get(keys::PER_CTA_KEY);
  if (!st) {
    pers.close();
    if (st.code == err::RecordNotFound) return Rights::UnknownUser;
    reportFileError(program.messages(), ec, st, FileAction::Read);
    return Rights::Unreadable;
  }
  const PER& user = pers.rec<PER>();
  std::string name = user.NOMB;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  globals(program).nombreUsuario = name;
  program.rights.levels = shell.suite == Suite::Dudore ? user.ESTI : user.MATE;
  pers.close();
  if (program.rights.levels[std::size_t(shell.programEntry - 1)] == 0) return Rights::Refused;
  return Rights::Granted;
}

bool importAllowed(const Program& program, const ShellProgram& shell) {
  if (program.rights.user <= 0) return true;
  return shell.suite == Suite::Dudore ? program.rights.levels[7] != 0
                                      : program.rights.levels[0] >= 3;
}

}  // namespace velmora::shell
