#include "shell/globals.h"

namespace velmora::shell {

Globals& globals(Program& program) {
  const bool fresh = !program.hasAttached<Globals>();
  Globals& g = program.attached<Globals>();
  if (fresh) {
    program.declare("GLO:EMPRESA", [&g] { return Value(g.empresa); });
    program.declare("GLO:HOY", [&g] { return Value(std::int64_t(g.hoy)); });
    program.declare("GLO:OBRA", [&g] { return Value(g.obra); });
    program.declare("GLO:NOMBRE_OBRA", [&g] { return Value(g.nombreObra); });
    program.declare("GLO:DIRECCION_OBRA", [&g] { return Value(g.direccionObra); });
    program.declare("GLO:LISTA", [&g] { return Value(std::int64_t(g.lista)); });
  }
  return g;
}

}  // namespace velmora::shell
