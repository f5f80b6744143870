// CAP_PART on a work of 100 000 budget items: opening the list with its
// first page, as the toolbar does (a thread context of its own, so the file
// is opened too), and typing in the locator of the "x Descripción" tab.
//
// The work is the first one of a demo company made once with
// `velmora demo DIR --size 100000` in $VELMORA_BENCH_DIR/demo-100000
// (default /tmp/velmora-bench).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "estimates/budget_items.h"
#include "estimates/registry.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int kItems = 100000;

std::string demoWork() {
  const char* env = std::getenv("VELMORA_BENCH_DIR");
  const fs::path dir = fs::path(env ? env : "/tmp/velmora-bench") / "demo-100000";
  const fs::path part = dir / "HOSP01" / "OBRA10.TPS";
  if (fs::exists(part)) return (dir / "HOSP01").string();
  fs::create_directories(dir.parent_path());
  const fs::path tmp = dir.string() + ".tmp";
  fs::remove_all(tmp);
  const std::string cmd = std::string(VELMORA_EXE) + " demo '" + tmp.string() + "' --size " +
                          std::to_string(kItems) + " > /dev/null";
  if (std::system(cmd.c_str()) != 0 || !fs::exists(tmp / "HOSP01" / "OBRA10.TPS")) return {};
  fs::rename(tmp, dir);
  return (dir / "HOSP01").string();
}

// Shows nothing and answers every box with its default.
class QuietHost : public Host {
 public:
  int show(const MessageBox& box) override { return box.defaultButton; }
  void stopProgram() override {}
  void warn(const WarningLines&) override {}
  bool choose(const WarningLines&) override { return true; }
  void opened(Procedure&) override {}
  void runModal(Procedure&) override {}
  void closed(Procedure&) override {}
  void start(std::unique_ptr<Procedure>) override {}
  void place(Procedure&, const WindowPlacement&) override {}
  std::optional<WindowPlacement> placement(Procedure&) override { return std::nullopt; }
  void refresh(Procedure&, const std::string&) override {}
  void focus(Procedure&, const std::string&) override {}
};

struct Session {
  Session() {
    const std::string work = demoWork();
    ok = !work.empty();
    storage.setFileName(*dict::findTable("PART"), work + "/OBRA10.TPS");
    messages.setHost(&host);
    estimates::addBudgetItemProcedures(program);
  }
  bool ok = false;
  db::Storage storage;
  MessageService messages;
  Program program{"DUDORE", storage, messages,
                  (fs::temp_directory_path() / "velmora-bench-DUDORE.INI").string()};
  QuietHost host;
};

void BM_CapPartOpenFirstPage(benchmark::State& state) {
  Session s;
  if (!s.ok) return state.SkipWithError("no demo work");
  int thread = 1;
  for (auto _ : state) {
    db::Context ctx(s.storage, ++thread);
    auto list = s.program.make("CAP_PART", ctx);
    if (!list->open(s.host)) return state.SkipWithError("CAP_PART did not open");
    auto& b = dynamic_cast<BrowseProcedure&>(*list);
    benchmark::DoNotOptimize(b.cell(0, 3));
    list->finish();
  }
}
BENCHMARK(BM_CapPartOpenFirstPage)->Unit(benchmark::kMillisecond);

// Each iteration types a description a key at a time and erases it again:
// every key relocates the list. The rate is in keys.
void BM_CapPartLocateByDescription(benchmark::State& state) {
  Session s;
  if (!s.ok) return state.SkipWithError("no demo work");
  db::Context ctx(s.storage, 1);
  auto list = s.program.make("CAP_PART", ctx);
  if (!list->open(s.host)) return state.SkipWithError("CAP_PART did not open");
  auto& b = dynamic_cast<BrowseProcedure&>(*list);
  b.selectTab(3);
  const std::string words[] = {"SALIDA ELEC", "ACERO DE", "PINTURA", "ZAPATA", "CIMBRA EN L", "Z"};
  std::int64_t keys = 0;
  int i = 0;
  for (auto _ : state) {
    const std::string& word = words[i++ % 6];
    for (char c : word) b.typedCharacter(std::string(1, c));
    for (std::size_t n = 0; n < word.size(); ++n) b.keyPressed(Key::Backspace);
    keys += std::int64_t(2 * word.size());
    benchmark::DoNotOptimize(b.cell(0, 3));
  }
  state.SetItemsProcessed(keys);
  list->finish();
}
BENCHMARK(BM_CapPartLocateByDescription)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
