// The script driver running the maintenance pair on a real table file,
// through the velmora tool, with its whole transcript checked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "framework/browse.h"
#include "framework/form.h"
#include "framework/maintenance.h"
#include "tests/support/lines_form.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"
#include "ui/script/script_host.h"

namespace velmora {
namespace {

TEST(Script, MaintenancePairOnARealFile) {
  test::TempFolder folder;
  std::ofstream(folder.file("g.txt")) << R"(# fronts of a work
carpeta )" << folder.path().string() << R"(
archivo FREN OBRA8.TPS
inicia BROWSE:FREN
  pulsa Alta
    campo ?FRE:NOMB "PUENTE NORTE"
    pulsa ?OK
  pulsa Alta
    campo ?FRE:NOMB "ACCESO"
    campo ?FRE:TPRES 1,500.50
    campo ?FRE:CTA abc
    pulsa ?OK
  pestaña 2
  pagina
  localiza P
  responde no
  tecla Delete
  fila 1
  responde si
  tecla Delete
  doble 1
    muestra ?FRE:NOMB
    campo ?FRE:NOMB "PUENTE SUR"
    pulsa ?OK
  pagina
cierra
registro FREN
)";
  auto r = test::runVelmora("script " + folder.file("g.txt"));
  const char* expected =
      R"T(ABRE BROWSE:FREN "Mantenimiento de FREN"
ABRE FORM:FREN "Actualiza FREN" (alta)
CIERRA FORM:FREN respuesta 1
ABRE FORM:FREN "Actualiza FREN" (alta)
RECHAZADO ?FRE:CTA: )T";
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind(expected, 0), 0u) << r.out;
  std::string rest = r.out.substr(r.out.find('\n', std::strlen(expected)) + 1);
  EXPECT_EQ(
      rest,
      "CIERRA FORM:FREN respuesta 1\n"
      "> 1: |      2 | ACCESO |           1,500.5000 |               0.0000 |               0.0000 "
      "|"
      "               0.0000 |               0.0000 |            0\n"
      "  2: |      1 | PUENTE NORTE |               0.0000 |               0.0000 |               "
      "0.0000 |"
      "               0.0000 |               0.0000 |            0\n"
      "MENSAJE: Confirmar Borrado: ¿ Está seguro que desea eliminar el registro seleccionado? "
      "[si/no] -> no\n"
      "MENSAJE: Confirmar Borrado: ¿ Está seguro que desea eliminar el registro seleccionado? "
      "[si/no] -> si\n"
      "ABRE FORM:FREN \"Actualiza FREN\" (cambio)\n"
      "CAMPO ?FRE:NOMB = \"PUENTE NORTE\"\n"
      "CIERRA FORM:FREN respuesta 1\n"
      "> 1: |      1 | PUENTE SUR |               0.0000 |               0.0000 |               "
      "0.0000 |"
      "               0.0000 |               0.0000 |            0\n"
      "CIERRA BROWSE:FREN respuesta 1\n"
      "REGISTRO FREN: FRE:CTA=1 FRE:NOMB=PUENTE SUR FRE:TPRES=0 FRE:TESTI=0 FRE:COOB=0 FRE:EQRE=0 "
      "FRE:EQPA=0 FRE:USUA=0 FRE:ACFE=0 FRE:ACHO=0\n");
}

TEST(Script, BadLinesStopWithTheirLineNumber) {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program("VELMORA", storage, messages, folder.file("velmora.INI"));
  addMaintenance(program);
  storage.setFileName(*dict::findTable("FREN"), folder.file("OBRA8.TPS"));
  auto run = [&](const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out;
    ScriptHost host(program, in, out);
    messages.setHost(&host);
    int st = host.run();
    messages.setHost(nullptr);
    return std::make_pair(st, out.str());
  };
  auto [st, out] = run("inicia NOEXISTE\n");
  EXPECT_EQ(st, 1);
  EXPECT_EQ(out, "ERROR en la línea 1: no existe el procedimiento NOEXISTE\n");
  std::tie(st, out) = run("\n# nada\ninicia BROWSE:FREN\nfila 3\n");
  EXPECT_EQ(st, 1);
  EXPECT_NE(out.find("ERROR en la línea 4: no hay fila 3"), std::string::npos) << out;
  EXPECT_NE(out.find("CIERRA BROWSE:FREN respuesta 1"), std::string::npos) << out;
  std::tie(st, out) = run("pulsa ?OK\n");
  EXPECT_EQ(out, "ERROR en la línea 1: pulsa necesita una ventana abierta\n");
  // Help opens the manual's page of the window; a form opened to look takes
  // no typing.
  std::ofstream(folder.file("index.html")) << "<h1>Manual</h1>";
  std::ofstream(folder.file("ventanas.txt")) << "MANTENIMIENTO ventanas.html\n";
  ::setenv("VELMORA_MANUAL", folder.path().string().c_str(), 1);
  std::tie(st, out) =
      run("inicia BROWSE:FREN\npulsa Ayuda\ncierra\ninicia FORM:FREN ver\n"
          "campo ?FRE:NOMB OTRO\ncierra\n");
  ::unsetenv("VELMORA_MANUAL");
  EXPECT_NE(out.find("AYUDA ventanas.html#MANTENIMIENTO\n"), std::string::npos) << out;
  EXPECT_NE(out.find("RECHAZADO ?FRE:NOMB: Esta ventana solo muestra el registro"),
            std::string::npos)
      << out;
  // A user whose level only lets him look finds "&Alta" and "&Borra" disabled.
  const dict::TableInfo& fren = *dict::findTable("FREN");
  program.addProcedure("UP_X", [&fren](Program& p, db::Context& c) {
    return std::make_unique<FormProcedure>(p, c, maintenanceFormWindow(fren), "FREN", 5);
  });
  program.addProcedure("CAP_X", [&fren](Program& p, db::Context& c) {
    BrowseTab byNumber;
    byNumber.key = "FRE:CTA_KEY";
    return std::make_unique<BrowseProcedure>(p, c, maintenanceBrowseWindow(fren), "FREN", "UP_X",
                                             std::vector<BrowseTab>{byNumber, byNumber});
  });
  std::tie(st, out) =
      run("usuario 3\nacceso 5 1\ninicia CAP_X\npulsa Alta\npulsa Borra\ncierra\nusuario 0\n");
  EXPECT_NE(out.find("DESHABILITADO ?INSERT:3\nDESHABILITADO ?DELETE:3"), std::string::npos) << out;
  std::tie(st, out) = run("inicia BROWSE:FREN\npulsa Borra\ntecla Volar\n");
  EXPECT_NE(out.find("DESHABILITADO ?DELETE:3"), std::string::npos) << out;
  EXPECT_NE(out.find("ERROR en la línea 3: tecla desconocida Volar"), std::string::npos) << out;

  // A save that fails stops the script there, with the form closed.
  const std::string addOne = "inicia FORM:FREN alta\ncampo ?FRE:CTA 1\npulsa ?OK\n";
  std::tie(st, out) = run(addOne);
  ASSERT_EQ(st, 0) << out;
  std::tie(st, out) = run(addOne + "campo ?FRE:NOMB OTRO\n");
  EXPECT_EQ(st, 1);
  EXPECT_NE(out.find("Error Clave Duplicada"), std::string::npos) << out;
  EXPECT_NE(out.find("ERROR en la línea 3: no se guardó el registro de FORM:FREN"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("OTRO"), std::string::npos) << out;
  EXPECT_NE(out.find("CIERRA FORM:FREN respuesta 2"), std::string::npos) << out;

  // A work whose folder would lead out of the company is never saved.
  storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1.TPS"));
  std::tie(st, out) = run("inicia FORM:OBRA alta\ncampo ?OBR:CTA ../fuera\npulsa ?OK\ncierra\n");
  EXPECT_NE(out.find("AVISO: EL CODIGO DE LA OBRA NO ES VALIDO / ../fuera"), std::string::npos)
      << out;
  EXPECT_NE(out.find("CIERRA FORM:OBRA respuesta 2"), std::string::npos) << out;
  storage.setFileName(*dict::findTable("CONTROL"), folder.file("DATA0.TPS"));
  std::tie(st, out) = run("inicia FORM:CONTROL alta\ncampo ?CTL:CTA 6\npulsa ?OK\ncierra\n");
  EXPECT_NE(out.find("AVISO: EL REGISTRO DE CONTROL DEBE"), std::string::npos) << out;
  EXPECT_NE(out.find("CIERRA FORM:CONTROL respuesta 2"), std::string::npos) << out;

  // The same question over and over with no line read: answered no, once.
  std::istringstream none;
  std::ostringstream said;
  ScriptHost host(program, none, said);
  MessageBox retry;
  retry.title = "Error AutoNumeración";
  retry.buttons = button::Yes | button::No;
  retry.defaultButton = button::Yes;
  int answers = 0, last = button::Yes;
  while (last == button::Yes && answers < 100) last = host.show(retry), ++answers;
  EXPECT_EQ(last, button::No);
  EXPECT_LE(answers, 5);
  EXPECT_EQ(host.status(), 1);

  EXPECT_EQ(scriptWords(R"(campo ?X "DOS  PALABRAS" # comentario)"),
            (std::vector<std::string>{"campo", "?X", "DOS  PALABRAS"}));
}

// The header and lines form under the script host: its in-memory list is
// addressed as the window's only list or by its control.
TEST(Script, ListOfLinesInAForm) {
  test::TempFolder folder;
  db::Storage storage;
  MessageService messages;
  Program program("VELMORA", storage, messages, folder.file("velmora.INI"));
  program.addProcedure("CAP_LIN", [](Program& p, db::Context& c) {
    return std::make_unique<test::LinesForm>(p, c);
  });
  auto run = [&](const std::string& script) {
    std::istringstream in(script);
    std::ostringstream out;
    ScriptHost host(program, in, out);
    messages.setHost(&host);
    int st = host.run();
    messages.setHost(nullptr);
    return std::make_pair(st, out.str());
  };
  auto [st, out] = run(R"(inicia CAP_LIN
  campo ?CLIENTE "CONSTRUCTORA DEL NORTE"
  pagina
  campo ?CONCEPTO ZAPATA
  campo ?CANTIDAD 2
  campo ?PRECIO 150.25
  pulsa Alta
  campo ?CONCEPTO BARDA
  campo ?CANTIDAD 3.5
  campo ?PRECIO 10.01
  pulsa Alta
  campo ?CONCEPTO MURO
  campo ?CANTIDAD 1
  campo ?PRECIO 0.10
  pulsa Alta
  muestra ?TOTAL
  encabezado 1 ?LINEAS
  pagina
  fila 1
  tecla Delete
  pagina ?lineas
  muestra ?TOTAL
  pulsa OK
)");
  EXPECT_EQ(st, 0);
  EXPECT_EQ(out,
            "ABRE CAP_LIN \"Captura de Líneas\"\n"
            "  (sin registros)\n"
            "CAMPO ?TOTAL = \"        335.64\"\n"
            "  1: | BARDA |       3.50 |        10.01 |          35.04\n"
            "> 2: | MURO |       1.00 |         0.10 |           0.10\n"
            "  3: | ZAPATA |       2.00 |       150.25 |         300.50\n"
            "> 1: | MURO |       1.00 |         0.10 |           0.10\n"
            "  2: | ZAPATA |       2.00 |       150.25 |         300.50\n"
            "CAMPO ?TOTAL = \"        300.60\"\n"
            "CIERRA CAP_LIN respuesta 1\n");
  std::tie(st, out) = run("inicia CAP_LIN\npagina ?CLIENTE\n");
  EXPECT_NE(out.find("ERROR en la línea 2: no existe la lista ?CLIENTE en CAP_LIN"),
            std::string::npos)
      << out;
  // With two lists, a list command names the one it means.
  struct TwoLists : test::LinesForm {
    TwoLists(Program& p, db::Context& c) : LinesForm(p, c) {
      addList(std::make_unique<MemoryListPart>(*this, "?OTRA"));
    }
  };
  program.addProcedure("CAP_LIN2",
                       [](Program& p, db::Context& c) { return std::make_unique<TwoLists>(p, c); });
  std::tie(st, out) = run("inicia CAP_LIN2\npagina ?LINEAS\npagina\n");
  EXPECT_EQ(out,
            "ABRE CAP_LIN \"Captura de Líneas\"\n  (sin registros)\n"
            "ERROR en la línea 3: pagina necesita el control de la lista: hay varias en CAP_LIN\n"
            "CIERRA CAP_LIN respuesta 2\n");
  std::tie(st, out) = run("inicia CAP_LIN\nbarra 50\n");
  EXPECT_NE(out.find("ERROR en la línea 2: la lista ?LINEAS no tiene barra"), std::string::npos)
      << out;
}

}  // namespace
}  // namespace velmora
