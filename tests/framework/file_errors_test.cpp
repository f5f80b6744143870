// Failed table operations reach the user as the catalogue's messages.

#include <gtest/gtest.h>

#include <fstream>

#include "dictionary/storage.h"
#include "framework/file_errors.h"
#include "tests/support/temp_folder.h"

namespace velmora {
namespace {

struct Recorder : MessageHost {
  std::vector<MessageBox> shown;
  int show(const MessageBox& box) override {
    shown.push_back(box);
    return button::Ok;
  }
  void stopProgram() override {}
};

TEST(FileErrors, DuplicateRestrictAndOpenFailuresNameWhatTheyConcern) {
  test::TempFolder folder;
  db::Storage storage;
  for (const char* l : {"PART", "AGEN", "PAGE", "OBRA"})
    storage.setFileName(*dict::findTable(l), folder.file(std::string(l) + ".TPS"));
  db::Context ctx(storage);
  MessageService messages;
  Recorder host;
  messages.setHost(&host);
  ErrorContext ec;

  db::Table& part = ctx.table("PART");
  ASSERT_TRUE(part.open().ok());
  part.rec<PAR>().CONC = 1;
  ASSERT_TRUE(part.add().ok());
  Status dup = part.add();
  EXPECT_EQ(reportFileError(messages, ec, dup, FileAction::Add), 5);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].title, "Error Clave Duplicada");
  EXPECT_EQ(host.shown[0].text,
            "Agregar este registro crea una clave duplicada para la clave: PAR:CTA_KEY");

  db::Table& agen = ctx.table("AGEN");
  db::Table& page = ctx.table("PAGE");
  ASSERT_TRUE(agen.open().ok());
  ASSERT_TRUE(page.open().ok());
  agen.rec<AGE>().CTA = 1;
  ASSERT_TRUE(agen.add().ok());
  page.rec<PGE>().FOLIO = 1;
  page.rec<PGE>().AGEN = 1;
  ASSERT_TRUE(page.add().ok());
  db::RelationManager relations(ctx);
  reportFileError(messages, ec, relations.remove(agen), FileAction::Delete);
  EXPECT_EQ(host.shown.back().title, "Error de Integridad Referencial (Borrado)");
  EXPECT_NE(host.shown.back().text.find("desde la tabla PAGE."), std::string::npos)
      << host.shown.back().text;

  // Message 26 for OBRA on a file that is not a database.
  std::ofstream(folder.file("OBRA.TPS")) << std::string(4096, '#');
  Status bad = ctx.table("OBRA").open();
  ASSERT_EQ(fileErrorMessage(bad, FileAction::Open), 26);
  host.shown.clear();
  reportFileError(messages, ec, bad, FileAction::Open);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].text.rfind(
                "Archivo (OBRA) no pudo ser abierto.  Error: Archivo de datos inválido", 0),
            0u)
      << host.shown[0].text;
  EXPECT_NE(host.shown[0].text.find("(36)"), std::string::npos);

  // Message 12 for a missing file that cannot be created (its folder is gone).
  storage.setFileName(*dict::findTable("AGEN"), folder.file("falta/AGEN.TPS"));
  db::Context other(storage);
  Status uncreated = other.table("AGEN").open();
  EXPECT_EQ(fileErrorMessage(uncreated, FileAction::Open), 12);
  reportFileError(messages, ec, uncreated, FileAction::Open);
  EXPECT_EQ(host.shown.back().title, "Error en creación de Tabla");
}

}  // namespace
}  // namespace velmora
