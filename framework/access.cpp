#include "framework/access.h"

namespace velmora {

namespace {

WarningLines refused(bool fourPoints = false) {
  return warningLines("NO TIENE ACCESO A ESTE PROGRAMA", "VERIFIQUE SUS ACCESOS AL SISTEMA",
                      fourPoints ? "CON Ok CONTINUA...." : "CON Ok CONTINUA...");
}

}  // namespace

int accessLevel(const Program& program, int entry) {
  if (entry < 1 || entry > int(program.rights.levels.size())) return 0;
  return program.rights.levels[std::size_t(entry - 1)];
}

std::optional<WarningLines> formAccess(const Program& program, int entry, int req) {
  if (program.rights.user <= 0) return std::nullopt;
  int level = accessLevel(program, entry);
  if (level == 0) return refused();
  if (level == 1 && (req == request::Insert || req == request::Change)) return refused();
  if (level == 2 && req == request::Change) return refused(true);
  return std::nullopt;
}

std::optional<WarningLines> deleteAccess(const Program& program, int entry) {
  if (program.rights.user <= 0 || accessLevel(program, entry) >= 3) return std::nullopt;
  return refused();
}

std::optional<WarningLines> specialAccess(const Program& program, int entry, int minimum) {
  if (program.rights.user <= 0 || accessLevel(program, entry) >= minimum) return std::nullopt;
  return refused();
}

}  // namespace velmora
