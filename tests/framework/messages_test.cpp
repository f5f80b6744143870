#include "framework/messages.h"

#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace velmora {
namespace {

// Answers from a script (then the default button) and records everything.
class RecordingHost : public MessageHost {
 public:
  int show(const MessageBox& box) override {
    std::lock_guard lock(mutex);
    shown.push_back(box);
    if (answers.empty()) return box.defaultButton;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }
  void stopProgram() override {
    std::lock_guard lock(mutex);
    ++stops;
  }

  std::mutex mutex;
  std::vector<int> answers;
  std::vector<MessageBox> shown;
  int stops = 0;
};

std::size_t charCount(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

Status failure(int code, std::string text, std::string fileCode = {}, std::string fileText = {}) {
  Status s = Status::error(code, std::move(text));
  s.fileErrorCode = std::move(fileCode);
  s.fileError = std::move(fileText);
  return s;
}

class MessagesTest : public ::testing::Test {
 protected:
  MessagesTest() { service.setHost(&host); }
  MessageService service;
  RecordingHost host;
  ErrorContext ctx;
};

Status fileSystemError() {
  return failure(90, "Error del sistema de archivos", "14", "unable to open database file");
}

TEST_F(MessagesTest, CatalogueMatchesTheUsersTexts) {
  std::ifstream in(VELMORA_TEST_DATA "/framework/data/messages.tsv");
  ASSERT_TRUE(in) << "messages.tsv not found";
  std::set<int> expectedIds;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cols;
    std::stringstream row(line);
    for (std::string col; std::getline(row, col, '\t');) cols.push_back(col);
    if (line.back() == '\t') cols.emplace_back();
    ASSERT_EQ(cols.size(), 4u) << line;
    const int id = std::stoi(cols[0]);
    expectedIds.insert(id);
    const std::optional<MessageEntry> entry = service.find(id);
    ASSERT_TRUE(entry) << id;
    EXPECT_EQ(static_cast<int>(entry->level), std::stoi(cols[1])) << id;
    EXPECT_EQ(entry->title, cols[2]) << id;
    EXPECT_EQ(entry->text, cols[3]) << id;
    EXPECT_EQ(entry->category, "") << id;
  }
  EXPECT_EQ(expectedIds.size(), 52u);

  std::set<int> ids;
  for (const MessageEntry& entry : standardCatalogue()) ids.insert(entry.id);
  EXPECT_EQ(ids, expectedIds);
  EXPECT_EQ(standardCatalogue().size(), 52u);  // no id twice
}

TEST_F(MessagesTest, PlaceholdersInEveryCaseAndLongestFirst) {
  service.registerProcedure(7, "UP_OBRA");
  ctx.thread = 7;
  ctx.fileName = "OBRA";
  ctx.keyName = "OBR:KOBRA";
  ctx.fieldName = "OBR:NOMB";
  ctx.messageText = "1 y 9";
  ctx.saveErrorCode = 33;
  ctx.saveError = "Registro no disponible";
  ctx.saveFileErrorCode = "5";
  ctx.saveFileError = "locked";
  ctx.category = "Tablas";
  ctx.previousErrorId = 25;

  EXPECT_EQ(service.buildText(ctx,
                              "%FileErrorCode/%FileError/%File/%Key/%ErrorCode/%ErrorText/%Error/"
                              "%Message/%Field/%Procedure/%Category/%Previous"),
            "5/locked/OBRA/OBR:KOBRA/33/Registro no disponible (33)/Registro no disponible/"
            "1 y 9/OBR:NOMB/UP_OBRA/Tablas/No se encontraron registros disponibles para procesar.");
  EXPECT_EQ(service.buildText(ctx,
                              "%fileerrorcode %FILEERROR %fIlE %key %errorcode %ERRORTEXT "
                              "%error %message %FIELD %procedure %category"),
            "5 locked OBRA OBR:KOBRA 33 Registro no disponible (33) Registro no disponible 1 y 9 "
            "OBR:NOMB UP_OBRA Tablas");
  // Every occurrence; prefixes glued to other text; lone and unknown marks kept.
  EXPECT_EQ(service.buildText(ctx, "%File%File %Filed %FileErrorCodes 100% %%Key %Nada %"),
            "OBRAOBRA OBRAd 5s 100% %OBR:KOBRA %Nada %");

  ctx.previousErrorId = 32;  // not in the catalogue
  EXPECT_EQ(service.buildText(ctx, "[%Previous]"), "[]");
  ctx.thread = 8;
  EXPECT_EQ(service.buildText(ctx, "[%Procedure]"), "[]");
}

TEST_F(MessagesTest, InsertedValuesAreNeverSubstitutedAgain) {
  ctx.fileName = "%File";  // equal to its placeholder: left as written
  ctx.keyName = "%field%Key";
  ctx.fieldName = "NOMB";
  EXPECT_EQ(service.buildText(ctx, "%file|%Key|%Field|%FILE"), "%file|%field%Key|NOMB|%FILE");

  // A value full of placeholders cannot make the text grow without end.
  ctx.fileName = std::string(100000, 'x') + "%File%File";
  ctx.keyName = std::string(300, '%');
  std::string many;
  for (int i = 0; i < 60; ++i) many += "%File%Key";
  const std::string text = service.buildText(ctx, many);
  EXPECT_EQ(text, std::string(2000, 'x'));

  // The cut counts characters and never splits one.
  std::string accents;
  for (int i = 0; i < 2100; ++i) accents += "ñ";
  const std::string cut = service.buildText(ctx, accents);
  EXPECT_EQ(charCount(cut), 2000u);
  EXPECT_EQ(cut.size(), 4000u);
}

TEST_F(MessagesTest, ErrorTextShowsTheFileErrorForFileSystemErrors) {
  const std::string prefix = "Un error fue experimentado durante la creación del registro. Error: ";
  EXPECT_EQ(service.raise(ctx, 4, fileSystemError()), 5);
  EXPECT_EQ(ctx.text, prefix + "unable to open database file (14).");

  service.raise(ctx, 4, failure(100, "Otro", "7", "disk full"));
  EXPECT_EQ(ctx.text, prefix + "disk full (7).");
  service.raise(ctx, 4, failure(40, "Clave duplicada", "19", "UNIQUE constraint failed"));
  EXPECT_EQ(ctx.text, prefix + "Clave duplicada (40).");
  // Each raise captures the state afresh, so an old error does not linger.
  service.raise(ctx, 4);
  EXPECT_EQ(ctx.text, prefix + " (0).");
}

TEST_F(MessagesTest, ProcedureIsTheNewestOfTheContextsThread) {
  service.add({900, MessageLevel::Notice, "Aviso", "En %Procedure.", {}});
  ctx.thread = 1;
  service.raise(ctx, 900);
  EXPECT_EQ(ctx.text, "En .");

  service.registerProcedure(1, "BRW_OBRA");
  service.registerProcedure(2, "CAP_EST");
  service.registerProcedure(1, "UP_OBRA");
  service.raise(ctx, 900);
  EXPECT_EQ(ctx.text, "En UP_OBRA.");

  service.registerProcedure(1, "BRW_OBRA");  // the same procedure called again
  service.unregisterProcedure(1, "BRW_OBRA");
  service.unregisterProcedure(1, "CAP_EST");  // another thread's: no effect
  EXPECT_EQ(service.currentProcedure(1), "UP_OBRA");
  service.unregisterProcedure(1, "UP_OBRA");
  EXPECT_EQ(service.currentProcedure(1), "BRW_OBRA");
  EXPECT_EQ(service.currentProcedure(2), "CAP_EST");
}

TEST_F(MessagesTest, PreviousIsTheRawTextOfTheErrorBefore) {
  service.add({901, MessageLevel::Notice, "Aviso", "Antes: %Previous", {}});
  service.raise(ctx, 901);
  EXPECT_EQ(ctx.text, "Antes: ");  // nothing raised yet
  service.raise(ctx, 30);
  service.raise(ctx, 901);
  EXPECT_EQ(ctx.previousErrorId, 30);
  EXPECT_EQ(ctx.text, "Antes: %File : Clave inválida. Clave debe ser reconstruida.");
  service.raise(ctx, 901);
  EXPECT_EQ(ctx.text, "Antes: Antes: %Previous");
}

TEST_F(MessagesTest, FatalOpenErrorNamesTableAndFileError) {
  EXPECT_EQ(service.raiseWithFile(ctx, 26, "OBRA      ", fileSystemError()), 3);
  ASSERT_EQ(host.shown.size(), 1u);
  const MessageBox& box = host.shown[0];
  EXPECT_EQ(box.title, "Error de Acceso");
  EXPECT_EQ(box.text,
            "Archivo (OBRA) no pudo ser abierto.  Error: unable to open database file (14)."
            "  Press OK to end this application");
  EXPECT_EQ(box.icon, MessageIcon::Exclamation);
  EXPECT_EQ(box.buttons, button::Ok);
  EXPECT_EQ(box.defaultButton, button::Ok);
  EXPECT_EQ(host.stops, 1);

  // A program error and an unknown level end the program the same way.
  service.add({902, static_cast<MessageLevel>(9), "Raro", "Nivel %File", {}});
  service.style = 48;
  EXPECT_EQ(service.raiseWithFile(ctx, 42, "PART"), 3);
  EXPECT_EQ(service.raise(ctx, 902), 3);
  ASSERT_EQ(host.shown.size(), 3u);
  EXPECT_EQ(host.shown[2].text, "Nivel PART  Press OK to end this application");
  EXPECT_EQ(host.shown[2].buttons, button::Ok);
  EXPECT_EQ(host.shown[2].style, 48);
  EXPECT_EQ(host.stops, 3);
}

TEST_F(MessagesTest, QuestionsAndNotices) {
  host.answers = {button::No, button::Yes, button::Cancel, 0};
  EXPECT_EQ(service.raise(ctx, 11), 4);
  EXPECT_EQ(service.raise(ctx, 11), 0);
  // A box closed without an answer, or an answer not offered, is not a Yes.
  EXPECT_EQ(service.raise(ctx, 11), 4);
  EXPECT_EQ(service.raise(ctx, 11), 4);
  ASSERT_EQ(host.shown.size(), 4u);
  EXPECT_EQ(host.shown[0].title, "Confirmar Borrado");
  EXPECT_EQ(host.shown[0].icon, MessageIcon::Question);
  EXPECT_EQ(host.shown[0].buttons, button::Yes | button::No);
  // Yes deletes: Enter must not give it.
  EXPECT_EQ(host.shown[0].defaultButton, button::No);

  service.add({903, MessageLevel::CancelQuestion, "¿Seguir?", "Pregunta", {}});
  host.answers = {button::No};
  EXPECT_EQ(service.raise(ctx, 903), 4);
  EXPECT_EQ(host.shown.back().buttons, button::Yes | button::No);
  EXPECT_EQ(host.shown.back().defaultButton, button::Yes);

  EXPECT_EQ(service.raiseWithMessage(ctx, 15, "OBR:KOBRA  "), 5);
  EXPECT_EQ(host.shown.back().text,
            "Agregar este registro crea una clave duplicada para la clave: OBR:KOBRA");
  EXPECT_EQ(host.shown.back().buttons, button::Ok);
  EXPECT_EQ(host.stops, 0);

  host.shown.clear();
  service.raise(ctx, 9, failure(33, "Registro no disponible"));
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].lines(),
            (std::vector<std::string>{"Este registro fue modificado por otra estación. Los "
                                      "cambios serán mostrados ahora.",
                                      "Error: (Registro no disponible (33)) "}));
  EXPECT_EQ((MessageBox{"", "a||b|", {}, 0, 0, 0}.lines()),
            (std::vector<std::string>{"a", "", "b", ""}));
}

TEST_F(MessagesTest, AskUsesTheCallersButtons) {
  const int ync = button::Yes | button::No | button::Cancel;
  host.answers = {button::No, button::Ok};
  EXPECT_EQ(service.ask(ctx, 37, ync, button::Cancel), button::No);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].buttons, ync);
  EXPECT_EQ(host.shown[0].defaultButton, button::Cancel);
  EXPECT_EQ(host.shown[0].icon, MessageIcon::Question);
  EXPECT_EQ(service.ask(ctx, 37, ync, button::Cancel), button::Cancel);  // Ok was not offered
  EXPECT_EQ(service.ask(ctx, 37, ync, button::Cancel), button::Cancel);  // the default

  // A default outside the buttons falls to the cautious one.
  host.shown.clear();
  service.ask(ctx, 37, button::Yes | button::No, button::Ok);
  EXPECT_EQ(host.shown[0].defaultButton, button::No);

  // A fatal entry asked for an answer does not stop the program.
  host.answers = {button::Yes};
  EXPECT_EQ(service.ask(ctx, 26, button::Yes | button::No, button::No), button::Yes);
  EXPECT_EQ(host.stops, 0);

  host.shown.clear();
  EXPECT_EQ(service.ask(ctx, 32, ync, button::Cancel), button::Cancel);  // unknown id
  service.silent = true;
  EXPECT_EQ(service.ask(ctx, 37, ync, button::Cancel), button::Cancel);
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(MessagesTest, UnknownIdsAndSilenceShowNothing) {
  // 65547 would be 11 if the id were narrowed to 16 bits.
  for (int id : {0, 32, 54, 65547, -65525}) {
    EXPECT_EQ(service.raise(ctx, id), 0) << id;
    EXPECT_EQ(ctx.title + ctx.text, "") << id;
    EXPECT_EQ(ctx.level, MessageLevel::Silent) << id;
  }
  EXPECT_TRUE(host.shown.empty());

  // No host: nothing can be shown, and nothing breaks.
  service.setHost(nullptr);
  EXPECT_EQ(service.raise(ctx, 11), 0);
  EXPECT_EQ(service.raise(ctx, 25), 5);
  EXPECT_EQ(service.raise(ctx, 26), 3);

  service.setHost(&host);
  service.silent = true;
  host.answers = {button::No};
  EXPECT_EQ(service.raise(ctx, 11), 0);
  EXPECT_EQ(service.raise(ctx, 25), 5);
  EXPECT_EQ(service.raiseWithFile(ctx, 26, "OBRA"), 3);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(host.stops, 1);
  EXPECT_EQ(ctx.text, "Archivo (OBRA) no pudo ser abierto.  Error:  (0).");
}

TEST_F(MessagesTest, NamesAndEntriesKeepTheirLimits) {
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "é";
  service.setField(ctx, accents);
  EXPECT_EQ(charCount(ctx.fieldName), 255u);
  EXPECT_EQ(ctx.fieldName.size(), 510u);
  service.setKey(ctx, std::string(254, 'k') + "  z");  // blanks left at the cut go too
  EXPECT_EQ(ctx.keyName, std::string(254, 'k'));
  service.raiseWithFile(ctx, 0, std::string(10, 'f') + std::string(400, ' '));
  EXPECT_EQ(ctx.fileName, std::string(10, 'f'));

  // The newest entry for an id wins; titles and texts are cut.
  service.add({11, MessageLevel::Notice, std::string(300, 't'), std::string(300, 'x'), "Cat"});
  const std::optional<MessageEntry> entry = service.find(11);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->level, MessageLevel::Notice);
  EXPECT_EQ(entry->title, std::string(255, 't'));
  EXPECT_EQ(entry->text, std::string(255, 'x'));
  EXPECT_EQ(service.raise(ctx, 11), 5);
  EXPECT_EQ(ctx.category, "Cat");
}

TEST_F(MessagesTest, ThreadsDoNotMixTheirTexts) {
  service.add({904, MessageLevel::Notice, "Aviso", "%Procedure %File %ErrorText %Previous", {}});
  constexpr int kRounds = 2000;
  std::vector<std::string> faults[2];

  auto worker = [&](int n) {
    ErrorContext own;  // each thread its own context
    own.thread = n + 1;
    const std::string table = n == 0 ? "OBRA" : "PART";
    const std::string proc = n == 0 ? "UP_OBRA" : "CAP_EST";
    service.registerProcedure(own.thread, proc);
    for (int i = 0; i < kRounds; ++i) {
      const Status st = failure(40 + n, table + std::to_string(i));
      service.raiseWithFile(own, 904, table, st);
      const std::string previous = i ? "%Procedure %File %ErrorText %Previous" : "";
      const std::string expected = proc + " " + table + " " + table + std::to_string(i) + " (" +
                                   std::to_string(40 + n) + ") " + previous;
      if (own.text != expected) faults[n].push_back(own.text);
    }
    service.unregisterProcedure(own.thread, proc);
  };
  std::thread writer([&] {
    for (int i = 0; i < kRounds; ++i) service.add({905, MessageLevel::Notice, "", "", {}});
  });
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  writer.join();
  EXPECT_TRUE(faults[0].empty()) << faults[0].front();
  EXPECT_TRUE(faults[1].empty()) << faults[1].front();
  EXPECT_EQ(host.shown.size(), 2u * kRounds);
}

}  // namespace
}  // namespace velmora
