// DUDORE and VOROVID as a user starts them: in a program folder of their
// own, driven by a script, or without a display.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/storage.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

using Outcome = test::CommandResult;

// Runs `command` through the shell in `dir`, with stderr folded into the
// output. A program that hangs is stopped after two minutes (status 124).
Outcome runIn(const fs::path& dir, const std::string& command) {
  return test::runCommand("cd '" + dir.string() + "' && timeout 120 " + command + " 2>&1");
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Where each line appears in the transcript; npos when it does not.
std::size_t at(const std::string& out, const std::string& line) { return out.find(line + "\n"); }

class Programs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder.path() / "OB1");
    fs::create_directories(folder.path() / "CONTA1");
    fs::create_directories(config);
    db::Storage storage;
    storage.setFileName(*dict::findTable("OBRA"), folder.file("DATA1"));
    storage.setFileName(*dict::findTable("PERS"), folder.file("DATA7"));
    db::Context c(storage, 1);
    db::Table& obra = c.table("OBRA");
    ASSERT_TRUE(obra.open().ok());
    obra.clear();
    obra.rec<OBR>().CTA = "OB1";
    obra.rec<OBR>().OBRA = "PUENTE NORTE";
    obra.rec<OBR>().DICO = "CONTA1";
    ASSERT_TRUE(obra.add().ok());
    obra.close();
    // A user who may use VOROVID but not DUDORE.
    db::Table& pers = c.table("PERS");
    ASSERT_TRUE(pers.open().ok());
    pers.clear();
    pers.rec<PER>().CTA = 7;
    pers.rec<PER>().NOMB = "ANA";
    pers.rec<PER>().LOGIN = "ANA";
    pers.rec<PER>().ESTI.fill(0);
    pers.rec<PER>().MATE.fill(3);
    ASSERT_TRUE(pers.add().ok());
    pers.close();
  }

  void script(const std::string& text) { std::ofstream(folder.file("guion.txt")) << text; }

  Outcome run(const char* exe, const std::string& args) {
    return runIn(folder.path(),
                 "env XDG_CONFIG_HOME='" + config.string() + "' " + exe + " " + args);
  }

  test::TempFolder folder;
  test::TempFolder home;
  fs::path config = home.path() / "config";
};

TEST_F(Programs, AScriptChoosesTheWorkAndLeavesThroughSalir) {
  script(
      "pagina\n"
      "fila 1\n"
      "pulsa Selecciona\n"
      "pulsa Salir\n");
  struct Case {
    const char* exe;
    std::string title;
    std::string selection;
  };
  for (const Case& c : {Case{DUDORE_EXE, "Sub-Sistema de Control de Estimaciones Velmora",
                             "Seleccione la Obra a Trabajar"},
                        Case{VOROVID_EXE, "Sub-Sistema de Control de Maquinaria y Equipo Velmora",
                             "Mostrando Archivo de Obras"}}) {
    SCOPED_TRACE(c.exe);
    Outcome r = run(c.exe, "--script guion.txt");
    EXPECT_EQ(r.status, 0) << r.out;
    std::size_t frame = at(r.out, "ABRE Main \"" + c.title + "\"");
    std::size_t selection = at(r.out, "ABRE SEL_OBRA \"" + c.selection + "\" (selecciona)");
    std::size_t row = r.out.find("> 1: | OB1 | PUENTE NORTE");
    std::size_t chosen = at(r.out, "CIERRA SEL_OBRA respuesta 1");
    std::size_t splash = at(r.out, "PRESENTACION abre");
    // The chosen work, the user and the date, in the title and the status bar.
    std::size_t title =
        r.out.find("TITULO " + c.title + " - Obra OB1 PUENTE NORTE - Sin usuario - ");
    std::size_t bar = r.out.find("BARRA DE ESTADO Obra OB1 PUENTE NORTE | Sin usuario | ");
    EXPECT_LT(chosen, title) << r.out;
    EXPECT_LT(title, bar) << r.out;
    EXPECT_LT(bar, splash) << r.out;
    std::size_t closed = at(r.out, "CIERRA Main respuesta 1");
    ASSERT_NE(frame, std::string::npos) << r.out;
    ASSERT_NE(closed, std::string::npos) << r.out;
    EXPECT_LT(frame, selection) << r.out;
    EXPECT_LT(selection, row) << r.out;
    EXPECT_LT(row, chosen) << r.out;
    EXPECT_LT(chosen, splash) << r.out;
    EXPECT_LT(splash, closed) << r.out;
    EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("LANZADOR"), std::string::npos) << r.out;
  }
  // VOROVID keeps its settings in the user's configuration folder.
  EXPECT_TRUE(fs::is_directory(config / "velmora"));
  EXPECT_FALSE(fs::exists(folder.path() / "vorovid.INI"));
}

TEST_F(Programs, AnOldWorksCatalogueIsConvertedByVorovidAndRefusedWithAdviceByDudore) {
  db::Storage storage;
  const std::string works = folder.file("DATA1.TPS");
  ASSERT_EQ(db::convertFile(storage, OBR::info(), works, 1).outcome,
            db::UpgradeResult::Outcome::Upgraded);
  script("pulsa Selecciona\npulsa Salir\n");
  Outcome refused = run(DUDORE_EXE, "--script guion.txt");
  std::size_t advice = refused.out.find(
      "AVISO: EL ARCHIVO OBRA ES DE UNA VERSION / ANTERIOR; ABRA "
      "LA OBRA UNA VEZ CON / VOROVID PARA ACTUALIZARLO...");
  EXPECT_LT(advice, refused.out.find("MENSAJE: Error de Acceso")) << refused.out;
  EXPECT_EQ(db::layoutVersion(storage, OBR::info(), works), 1);

  Outcome r = run(VOROVID_EXE, "--script guion.txt");
  EXPECT_EQ(r.status, 0) << r.out;
  std::size_t window = at(r.out, "ABRE PROGRESO \"File: data1.tps\" (proceso)");
  std::size_t copy = at(r.out, "PASO: Upgrading File From Version: 1 To Version: 2");
  std::size_t keys = at(r.out, "PASO: Building key(s). Please Wait...");
  std::size_t chosen = at(r.out, "CIERRA SEL_OBRA respuesta 1");
  EXPECT_LT(window, copy) << r.out;
  EXPECT_LT(copy, keys) << r.out;
  EXPECT_LT(keys, chosen) << r.out;
  EXPECT_EQ(db::layoutVersion(storage, OBR::info(), works), 2);
  EXPECT_EQ(run(VOROVID_EXE, "--script guion.txt").out.find("PROGRESO"), std::string::npos);
}

TEST_F(Programs, DudoresReportMenuRunsTheContractorsStatementThroughItsWindows) {
  script(
      "pulsa Selecciona\n"
      "pulsa Reportes\n"
      "campo ?REPORTE IMP_TAB\n"
      "pulsa Imprime\n"
      "pulsa Cancela\n"
      "campo ?REPORTE IMP_CON\n"
      "pulsa Imprime\n"
      "muestra ?COPIAS\n"
      "pulsa Ejecuta\n"
      "muestra ?ZOOMSTATUS\n"
      "pulsa Sale\n"
      "pulsa Cierra\n"
      "pulsa Salir\n");
  Outcome r = run(DUDORE_EXE, "--script guion.txt");
  EXPECT_EQ(r.status, 0) << r.out;
  const std::size_t menu =
      at(r.out, "ABRE IMP_REP \"Imprimiendo del Sub-Sistema de Cuentas x Pagar\"");
  // A report with options asks them first; cancelled there, it does not run.
  const std::size_t asked = at(r.out, "ABRE OPCIONES_REPORTE \"Opciones del Reporte\" (proceso)");
  const std::size_t later = at(r.out, "CIERRA OPCIONES_REPORTE respuesta 2");
  const std::size_t options = at(r.out, "ABRE DESTINO_REPORTE \"Destino del Reporte\" (proceso)");
  const std::size_t copies = at(r.out, "CAMPO ?COPIAS = \"  1\"");
  const std::size_t progress = at(r.out, "ABRE AVANCE_REPORTE \"Avance...\" (proceso)");
  const std::size_t step = at(r.out, "PASO: ESTADO DE CUENTAS DE CONTRATISTAS AL");
  const std::size_t ran = at(r.out, "CIERRA AVANCE_REPORTE respuesta 1");
  const std::size_t shown = at(r.out, "ABRE VISTA_PREVIA \"Vista Previa\" (proceso)");
  const std::size_t zoom = at(r.out, "CAMPO ?ZOOMSTATUS = \"Ancho hoja\"");
  const std::size_t left = at(r.out, "CIERRA VISTA_PREVIA respuesta 2");
  ASSERT_NE(menu, std::string::npos) << r.out;
  EXPECT_LT(menu, asked) << r.out;
  EXPECT_LT(asked, later) << r.out;
  EXPECT_LT(later, options) << r.out;
  EXPECT_LT(options, copies) << r.out;
  EXPECT_LT(copies, progress) << r.out;
  EXPECT_LT(progress, step) << r.out;
  EXPECT_EQ(r.out.find("PASO", step + 1), std::string::npos) << r.out;  // told once
  EXPECT_LT(step, ran) << r.out;
  EXPECT_LT(ran, shown) << r.out;
  EXPECT_LT(shown, zoom) << r.out;
  EXPECT_LT(zoom, left) << r.out;
  EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
}

TEST_F(Programs, TheExitButtonNamesTheLauncherInsteadOfRunningIt) {
  script(
      "pulsa Selecciona\n"
      "pulsa \"Salir del Sistema\"\n");
  test::TempFolder bin;
  const fs::path kelto = bin.path() / "kelto";
  std::ofstream(kelto) << "#!/bin/sh\ntouch ran\n";
  fs::permissions(kelto, fs::perms::owner_all);
  Outcome found =
      runIn(folder.path(), "env PATH='" + bin.path().string() + "' XDG_CONFIG_HOME='" +
                               config.string() + "' " + DUDORE_EXE + " --script guion.txt");
  EXPECT_EQ(found.status, 0) << found.out;
  EXPECT_NE(at(found.out, "LANZADOR " + kelto.string()), std::string::npos) << found.out;
  EXPECT_FALSE(fs::exists(folder.path() / "ran"));

  // VOROVID's exit button has an icon and no caption.
  script(
      "pulsa Selecciona\n"
      "pulsa ?Button8\n");
  Outcome none =
      runIn(folder.path(), "env PATH='" + home.path().string() + "' XDG_CONFIG_HOME='" +
                               config.string() + "' " + VOROVID_EXE + " --script guion.txt");
  EXPECT_EQ(none.status, 0) << none.out;
  EXPECT_NE(at(none.out, "LANZADOR (no se encontró)"), std::string::npos) << none.out;
  EXPECT_EQ(none.out.find("ERROR"), std::string::npos) << none.out;
}

TEST_F(Programs, TheUserComesFromTheFirstParameter) {
  script("");
  // Refused by DUDORE (entry 1 at 0): the warning, and nothing more.
  Outcome refused = run(DUDORE_EXE, "/7 --script guion.txt");
  EXPECT_EQ(refused.status, 0) << refused.out;
  EXPECT_NE(at(refused.out,
               "AVISO: NO TIENE PERMITIDO EL ACCESO / A ESTE SISTEMA, VERIFIQUE / SUS ACCESOS..."),
            std::string::npos)
      << refused.out;
  EXPECT_EQ(refused.out.find("SEL_OBRA"), std::string::npos) << refused.out;

  // Let in by VOROVID (entry 9 at 3); the script ends in the work selection,
  // which closes as with the close box and ends the program.
  Outcome granted = run(VOROVID_EXE, "--script guion.txt /7");
  EXPECT_EQ(granted.status, 0) << granted.out;
  EXPECT_EQ(granted.out.find("AVISO"), std::string::npos) << granted.out;
  EXPECT_NE(at(granted.out, "CIERRA SEL_OBRA respuesta 2"), std::string::npos) << granted.out;
  EXPECT_EQ(granted.out.find("PRESENTACION"), std::string::npos) << granted.out;

  // A user without a record: the program ends without a word.
  Outcome unknown = run(DUDORE_EXE, "/99 --script guion.txt");
  EXPECT_EQ(unknown.status, 0) << unknown.out;
  EXPECT_EQ(unknown.out, "");
}

TEST_F(Programs, WithoutAScriptOrADisplayTheProgramsRefuseToStart) {
  for (const char* exe : {DUDORE_EXE, VOROVID_EXE}) {
    SCOPED_TRACE(exe);
    Outcome missing = run(exe, "--script no-existe.txt");
    EXPECT_EQ(missing.status, 2) << missing.out;
    EXPECT_NE(missing.out.find("No se puede leer el guion: Falta el archivo no-existe.txt"),
              std::string::npos)
        << missing.out;
    EXPECT_EQ(missing.out.find("ABRE"), std::string::npos) << missing.out;

    Outcome noFile = run(exe, "--script");
    EXPECT_EQ(noFile.status, 2) << noFile.out;
    EXPECT_NE(noFile.out.find("Falta el archivo del guion"), std::string::npos) << noFile.out;

    Outcome noDisplay = runIn(folder.path(), std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") +
                                                 "-u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                                                 config.string() + "' " + exe);
    EXPECT_EQ(noDisplay.status, 2) << noDisplay.out;
    EXPECT_NE(noDisplay.out.find("No hay pantalla donde mostrar el programa"), std::string::npos)
        << noDisplay.out;
  }
  // Nothing was touched in the program folder.
  EXPECT_FALSE(fs::exists(folder.path() / "DATA0.TPS"));
}

TEST_F(Programs, CapturesNeverWaitForAHand) {
  const fs::path shots = folder.path() / "capturas";
  fs::create_directories(shots);
  auto capture = [&](const char* exe, const std::string& args) {
    return runIn(folder.path(), "env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME='" +
                                    config.string() + "' timeout 60 " + exe + " " + args +
                                    " --captura '" + shots.string() + "'");
  };
  // A refused user: the warning is drawn and answered, and the program ends.
  Outcome refused = capture(DUDORE_EXE, "/7");
  EXPECT_EQ(refused.status, 0) << refused.out;
  EXPECT_TRUE(fs::exists(shots / "DUDORE-aviso.png")) << refused.out;
  EXPECT_FALSE(fs::exists(shots / "DUDORE-seleccion.png")) << refused.out;

  // Steps switch tabs and open a date field's calendar, whose keys close it.
  Outcome steps = capture(DUDORE_EXE,
                          "--pasos 'Conceptos de la Obra;pestaña:x Descripción;pestaña:Nada;"
                          "Alta;calendario:PAR:FINI;tecla:Esc;calendario:NADA'");
  EXPECT_EQ(steps.status, 0) << steps.out;
  for (int n = 1; n <= 7; ++n)
    EXPECT_TRUE(fs::exists(shots / ("DUDORE-paso-" + std::to_string(n) + ".png"))) << n;
  EXPECT_EQ(steps.out.find("No hay pestaña x Descripción"), std::string::npos) << steps.out;
  EXPECT_NE(steps.out.find("No hay pestaña Nada"), std::string::npos) << steps.out;
  EXPECT_EQ(steps.out.find("No hay calendario para PAR:FINI"), std::string::npos) << steps.out;
  EXPECT_NE(steps.out.find("No hay calendario para NADA"), std::string::npos) << steps.out;
  EXPECT_EQ(steps.out.find("No hay botón"), std::string::npos) << steps.out;
}

TEST_F(Programs, ADamagedCatalogueEndsTheRunAsAFailure) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage += char((i * 29 + 3) & 0xFF);
  std::ofstream(folder.file("DATA1.TPS"), std::ios::binary | std::ios::trunc) << garbage;
  script(
      "fila 1\n"
      "pulsa Selecciona\n"
      "pulsa Salir\n");
  Outcome r = run(DUDORE_EXE, "--script guion.txt");
  EXPECT_NE(r.out.find("MENSAJE: Error de Acceso: Archivo (OBRA) no pudo ser abierto."),
            std::string::npos)
      << r.out;
  EXPECT_NE(at(r.out, "FIN DEL PROGRAMA"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("PRESENTACION"), std::string::npos) << r.out;
  EXPECT_EQ(slurp(folder.path() / "DATA1.TPS"), garbage);
  // The script's lines were never carried out: the run did not succeed.
  EXPECT_NE(r.status, 0) << r.out;
}

TEST_F(Programs, AFolderInPlaceOfASettingsFileIsToldAndLeftAlone) {
  fs::create_directory(folder.path() / "DUDORE.INI");
  fs::create_directory(folder.path() / "VELMORA.INI");
  script(
      "fila 1\n"
      "pulsa Selecciona\n"
      "pulsa Salir\n");
  Outcome r = run(DUDORE_EXE, "--script guion.txt");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("AVISO: NO SE PUEDE LEER EL ARCHIVO DE / CONFIGURACION DUDORE.INI"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("CONFIGURACION VELMORA.INI"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("CIERRA Main respuesta 1"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_directory(folder.path() / "DUDORE.INI"));
  EXPECT_TRUE(fs::is_empty(folder.path() / "DUDORE.INI"));
}

}  // namespace
}  // namespace velmora
