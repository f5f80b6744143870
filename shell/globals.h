#pragma once

// The shell's globals of a program run: the company, today, the salary
// zones and the chosen work. The shell sets them; business procedures read
// them as the read-only program variables GLO:EMPRESA, GLO:HOY, GLO:OBRA,
// GLO:NOMBRE_OBRA, GLO:DIRECCION_OBRA and GLO:LISTA, so that they need not know the shell.

#include <array>
#include <cstdint>
#include <string>

#include "framework/program.h"

namespace velmora::shell {

struct Globals {
  std::string empresa;
  std::int32_t hoy = 0;
  std::array<std::string, 5> zona;  // the five salary zones
  std::string obra;
  std::string nombreObra;
  std::string direccionObra;
  std::uint8_t lista = 0;
  // The user's name from his PERS record, shown by the frame beside his
  // number; blank without a user.
  std::string nombreUsuario;
};

// The program's globals; the first call declares their variables.
Globals& globals(Program& program);

}  // namespace velmora::shell
