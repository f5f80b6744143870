// The manual as the programs open it: every window either program can
// start has its section, a window's "Ayuda" and F1 open that section in the
// running programs, the frame opens the contents and the first flow, and a
// program without its manual says where it looks.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/help.h"
#include "programs/shell/procedures.h"
#include "tests/support/run_command.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Help, EveryWindowOfBothProgramsHasItsSection) {
  ::setenv("VELMORA_MANUAL", VELMORA_MANUAL_DIR, 1);
  const std::string folder = help::manualFolder();
  ASSERT_FALSE(folder.empty()) << "no manual at " << VELMORA_MANUAL_DIR;
  for (const shell::ShellProgram* shell : {&shell::dudore(), &shell::vorovid()}) {
    test::TempFolder programFolder;
    db::Storage storage;
    MessageService messages;
    Program program(shell->name, storage, messages, programFolder.file(shell->name + ".INI"));
    addProgramProcedures(program, *shell, programFolder.path().string());
    std::string missing;
    for (const std::string& name : program.procedureNames()) {
      const std::optional<help::Topic> topic = help::windowTopic(folder, shell->name, name);
      if (!topic) {
        missing += " " + name;
        continue;
      }
      // The section is on its page, and the page is not the other program's.
      const std::string page = slurp(fs::path(folder) / topic->page);
      EXPECT_NE(page.find("id=\"" + topic->anchor + "\""), std::string::npos)
          << name << " → " << help::location(folder, *topic);
      const std::string other = shell->suite == shell::Suite::Dudore ? "vorovid-" : "dudore-";
      EXPECT_NE(topic->page.rfind(other, 0), 0u) << shell->name << " " << name;
    }
    EXPECT_EQ(missing, "") << shell->name << " windows without a section in the manual";
  }
  ::unsetenv("VELMORA_MANUAL");
}

class HelpInPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::runVelmora("demo '" + company.path().string() + "'").status, 0);
  }
  test::CommandResult run(const char* program, const std::string& script,
                          const std::string& environment = {}) {
    std::ofstream(company.file("guion.txt")) << script;
    return test::runCommand("cd '" + company.path().string() + "' && " + environment +
                            " timeout 120 " + program + " /1 --script guion.txt 2>&1");
  }
  // The pages the run opened, in order.
  static std::vector<std::string> opened(const std::string& transcript) {
    std::vector<std::string> pages;
    std::size_t at = 0;
    while ((at = transcript.find("AYUDA ", at)) != std::string::npos) {
      const std::size_t end = transcript.find('\n', at);
      pages.push_back(transcript.substr(at + 6, end - at - 6));
      at = end;
    }
    return pages;
  }
  test::TempFolder company;
};

TEST_F(HelpInPrograms, TheFrameAndEachWindowOpenTheirPages) {
  test::CommandResult r = run(DUDORE_EXE, R"(pulsa Selecciona
pulsa "Manual del Sistema"
pulsa "Tutorial del Sistema"
pulsa ?HelpIndex
pulsa ?HelpOnHelp
pulsa "Pago de mano de obra"
  tecla F1
  pulsa ?HELP
  pulsa Alta
    tecla F1
    tecla Esc
  tecla Esc
pulsa "Conceptos de la Obra"
  tecla F1
  tecla Esc
)");
  EXPECT_EQ(opened(r.out),
            (std::vector<std::string>{
                "index.html", "primeros-pasos.html", "index.html", "ventanas.html#ayuda",
                "dudore-estimaciones.html#CAP_EST", "dudore-estimaciones.html#CAP_EST",
                "dudore-estimaciones.html#UP_ESTI", "dudore-presupuesto.html#CAP_PART"}))
      << r.out;

  // VOROVID's windows of the same name have their own sections.
  r = run(VOROVID_EXE, R"(pulsa Selecciona
pulsa "Facturas a Revisión"
  tecla F1
  tecla Esc
pulsa "Catálogo de Maquinaria de la Obra"
  tecla F1
  tecla Esc
)");
  EXPECT_EQ(opened(r.out), (std::vector<std::string>{"vorovid-facturas.html#CAP_FACT",
                                                     "vorovid-equipo.html#CAP_EQUI"}))
      << r.out;
}

TEST_F(HelpInPrograms, AProgramWithoutItsManualSaysWhereItLooks) {
  test::TempFolder empty;
  test::CommandResult r = run(DUDORE_EXE, "pulsa Selecciona\npulsa \"Manual del Sistema\"\n",
                              "VELMORA_MANUAL='" + empty.path().string() + "'");
  EXPECT_TRUE(opened(r.out).empty()) << r.out;
  EXPECT_NE(r.out.find("No se encontró el Manual del Sistema."), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmora
