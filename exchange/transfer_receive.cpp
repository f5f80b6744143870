#include <fmt/core.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "dictionary/cp1252.h"
#include "dictionary/file_locks.h"
#include "dictionary/records.h"
#include "exchange/transfer.h"
#include "exchange/transfer_files.h"

namespace velmora::exchange {

namespace fs = std::filesystem;
using namespace detail;

namespace {

// Records merged per step, so that a window stays live on a large work.
constexpr std::size_t kBatch = 2000;
// The last counter tried on a name before the receive is refused.
constexpr int kLastCounter = 99;
constexpr const char* kNothing = "; no se recibió nada";

std::string number(double v) { return fmt::format("{}", v); }

// A record as the messages name it: what it is (with its article when
// `article`), its number and, when `named`, its name.
std::string recordName(std::size_t file, const Record& r, bool named = true, bool article = true) {
  auto name = [&](const std::string& text) {
    return named ? " «" + trimmed(text) + "»" : std::string();
  };
  auto the = [&](const char* a) { return article ? std::string(a) + " " : std::string(); };
  switch (file) {
    case kContractors: {
      const CTR& c = r.as<CTR>();
      return the("el") + fmt::format("contratista {}", c.CTA) + name(c.NOMB);
    }
    case kEstimates: return the("la") + fmt::format("estimación (folio) {}", r.as<POL>().CTA);
    case kLines: {
      const DPO& l = r.as<DPO>();
      return the("el") + fmt::format("renglón de la estimación (folio) {} (partida {}/{}/{})",
                                     l.CTA, number(l.PART), l.PROC, l.FREN);
    }
    case kItems: {
      const PAR& p = r.as<PAR>();
      return the("la") + fmt::format("partida {}/{}/{}", number(p.CONC), p.PROC, p.FREN) +
             name(p.TEXT);
    }
    case kConcepts: {
      const COE& c = r.as<COE>();
      return the("el") + fmt::format("concepto {}", c.CTA) + name(c.TEXT);
    }
    default: return the("el") + "registro";
  }
}

// The one text field of a unique key, which a counter can tell apart; an
// empty ref for keys of numbers or of several fields.
FieldRef nameField(const dict::TableInfo& t, const dict::KeyInfo& key) {
  if (key.components.size() != 1) return {};
  const dict::FieldInfo& f = t.fields[std::size_t(key.components[0])];
  if (f.type != dict::Type::String) return {};
  return resolve(t, f.name, 1);
}

// "PEDRO RAMIREZ 2": the name cut short enough for the counter to fit the
// field, so the counter is never the part that is lost.
std::string withCounter(const std::string& name, int counter, std::size_t width) {
  const std::string suffix = " " + std::to_string(counter);
  if (suffix.size() >= width) return suffix.substr(suffix.size() - width);
  return trimmed(cp1252::utf8Prefix(trimmed(name), width - suffix.size())) + suffix;
}

// Who else holds the file, for a message about a lock.
std::string holders(const std::string& path) {
  std::string pids;
  for (int pid : files::lockHolders(path)) pids += (pids.empty() ? "" : ", ") + std::to_string(pid);
  return pids.empty() ? std::string() : " (lo tiene bloqueado el proceso " + pids + ")";
}

// The private copies of a receive live in "velmora-recibe-<pid>-XXXXXX".
const std::string kCopies = "velmora-recibe-";

// Copies left by a receive whose process was killed go with the next one.
void sweepCopies() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path(ec), ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(kCopies, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + kCopies.size(), nullptr, 10);
    if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
  }
}

// Every record of a transfer file, in file order; a file that is not a
// sound table of the expected layout under the work's password is refused.
// `path` is the private copy that is read, `shown` the file the user gave.
Status loadFile(db::Storage& storage, const Channel& ch, const std::string& path,
                const std::string& shown, std::vector<Record>& out, std::size_t expected) {
  // As many as the manifest says, within what a file of this size can hold
  // (no stored record takes fewer than 16 bytes).
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (!ec) out.reserve(std::min<std::uint64_t>(expected, size / 16));
  storage.setFileName(ch.transfer, path);
  db::Context ctx(storage);
  db::Table& t = ctx.table(ch.transfer);
  Status st = t.openReadOnly();
  if (st) st = t.setStart(nullptr);
  while (st && (st = t.next())) {
    out.emplace_back(ch.base);
    copyRecord(t.buffer(), out.back());
  }
  if (st.code == err::NoRecord) st = {};
  t.close();
  if (!st)
    return refusal("El archivo " + shown +
                   " está dañado, es de otra tabla o de otra contraseña; no se recibió nada (" +
                   withDetail(st) + ")");
  return st;
}

}  // namespace

std::string describeRename(const Renamed& r) {
  std::string what = r.record;
  if (!what.empty()) what[0] = char(std::toupper(static_cast<unsigned char>(what[0])));
  return fmt::format("{} «{}» de {}: ese nombre ya lo tiene {} de esta obra; se guardó como «{}»",
                     what, r.from, r.file, r.clashesWith, r.to);
}

bool sameWork(const WorkId& sent, const WorkId& here) {
  if (trimmed(sent.code) != trimmed(here.code)) return false;
  // A caller that does not know the name checks the code only.
  return trimmed(sent.name).empty() || trimmed(here.name).empty() ||
         trimmed(sent.name) == trimmed(here.name);
}

ReceiveJob::ReceiveJob(db::Storage& storage, WorkId work, std::string dir, bool otherWork)
    : storage_(storage),
      work_(std::move(work)),
      dir_(std::move(dir)),
      otherWork_(otherWork),
      in_(channels().size()) {
  setCaption("REVISANDO LOS ARCHIVOS");
  setPercent(0);
}

// A merge not committed is rolled back with its context.
ReceiveJob::~ReceiveJob() {
  target_.reset();
  dropCopies();
}

void ReceiveJob::dropCopies() {
  if (copies_.empty()) return;
  std::error_code ec;
  fs::remove_all(copies_, ec);
  copies_.clear();
}

bool ReceiveJob::stop(Status st) {
  status_ = std::move(st);
  target_.reset();
  dropCopies();
  ReceiveSummary none;
  none.manifest = summary_.manifest;
  summary_ = none;
  renamedFrom_.clear();
  stage_ = Stage::Done;
  return false;
}

Status ReceiveJob::failed(const Status& st, const std::string& what) const {
  Status out = st;
  out.text = "No se pudo " + what + ": " + st.text + kNothing;
  return out;
}

Status ReceiveJob::checkManifest() {
  struct stat info;
  if (dir_.empty() || ::stat(dir_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    return refusal("No existe el directorio " + dir_);
  const std::string path = inDir(dir_, kManifest);
  // Whatever is under the name (a broken link too) must be a manifest.
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return {};
    return refusal("No se puede leer el manifiesto " + path + kNothing);
  }
  Manifest m;
  if (Status st = readManifest(path, m); !st) return st;
  summary_.manifest = true;
  const WorkId sent{trimmed(m.code), trimmed(m.name)};
  if (!otherWork_ && !sameWork(sent, work_))
    return refusal("Los archivos son de la obra " + sent.code + " " + sent.name +
                   ", no de la obra " + trimmed(work_.code) + " " + trimmed(work_.name) + kNothing);
  for (const Channel& ch : channels()) {
    auto it = m.files.find(ch.file);
    if (it == m.files.end()) return refusal(std::string("El envío no lista el archivo ") + ch.file);
    expected_.push_back(it->second.first);
    hashes_.push_back(it->second.second);
  }
  return {};
}

// The file is copied while its fingerprint is taken and only the copy is
// opened: the engine never opens what sits in the transfer folder, which
// may change under us.
Status ReceiveJob::load(std::size_t file) {
  const Channel& ch = channels()[file];
  const std::string path = inDir(dir_, ch.file);
  if (copies_.empty()) {
    sweepCopies();
    std::string pattern =
        (fs::temp_directory_path() / (kCopies + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
      return refusal("No se pudo preparar la copia de trabajo de los archivos" +
                     std::string(kNothing));
    copies_ = pattern;
  }
  const std::string copy = (fs::path(copies_) / ch.file).string();
  std::string hash;
  if (Status st = sha256(path, kTransferFileLimit, hash, copy); !st) {
    st.text += kNothing;
    return st;
  }
  if (!hashes_.empty() && hash != hashes_[file])
    return refusal("El archivo " + path + " no es el que se envió" + kNothing);
  const std::size_t expected =
      expected_.empty() || expected_[file] < 0 ? 0 : std::size_t(expected_[file]);
  if (Status st = loadFile(storage_, ch, copy, path, in_[file], expected); !st) return st;
  if (!expected_.empty() && std::int64_t(in_[file].size()) != expected_[file])
    return refusal(std::string("El archivo ") + ch.file +
                   " no tiene los registros que se enviaron" + kNothing);
  return validate(file);
}

// What the engine would refuse half way through the merge, or take
// silently: amounts that are no number, folios the work cannot hold.
Status ReceiveJob::validate(std::size_t file) const {
  const Channel& ch = channels()[file];
  const std::string path = inDir(dir_, ch.file);
  std::vector<FieldRef> reals;
  for (const dict::FieldInfo& f : ch.base.fields) {
    if (f.type != dict::Type::Real) continue;
    FieldRef ref = resolve(ch.base, f.name, 1);
    for (int e = 1; ref && e <= ref.elements(); ++e) reals.push_back({ref.table, ref.field, e});
  }
  for (const Record& r : in_[file]) {
    if (file == kEstimates && r.as<POL>().CTA < 1)
      return refusal(
          fmt::format("El archivo {} trae la estimación con folio {}; los folios van "
                      "de 1 a 32767{}",
                      path, r.as<POL>().CTA, kNothing));
    for (const FieldRef& ref : reals) {
      const Value v = r.get(ref);
      if (const double* d = std::get_if<double>(&v); d && !std::isfinite(*d)) {
        std::string field(ref.field->name);
        if (ref.elements() > 1) field += fmt::format("[{}]", ref.element);
        return refusal(
            fmt::format("El archivo {} trae un valor que no es un número ({}) en {} "
                        "de {}{}",
                        path, toText(v), field, recordName(file, r), kNothing));
      }
    }
  }
  return {};
}

Status ReceiveJob::begin() {
  for (const Record& r : in_[kLines]) lines_.emplace(std::int64_t(r.as<DPO>().CTA), &r);
  for (std::size_t f : {kEstimates, kContractors, kItems, kConcepts}) total_ += in_[f].size();
  target_ = std::make_unique<db::Context>(storage_);
  std::vector<db::Table*> tables;
  for (const dict::TableInfo* t :
       {&POL::info(), &DPO::info(), &CTR::info(), &PAR::info(), &COE::info()}) {
    db::Table& table = target_->table(*t);
    if (Status st = table.open(); !st)
      return failed(st, "abrir " + storage_.fileName(*t) + holders(storage_.fileName(*t)));
    tables.push_back(&table);
  }
  Status st = target_->begin(tables);
  if (!st) return lockFailure(st, "iniciar la recepción");
  return st;
}

// The engine cannot say which file of the transaction another station
// holds; the system's list of locks can.
Status ReceiveJob::lockFailure(const Status& st, const std::string& what) const {
  std::string held, all;
  std::string label;
  for (const dict::TableInfo* t :
       {&POL::info(), &DPO::info(), &CTR::info(), &PAR::info(), &COE::info()}) {
    const std::string path = storage_.fileName(*t);
    all += (all.empty() ? "" : ", ") + path;
    if (std::string who = holders(path); !who.empty()) {
      held += (held.empty() ? "" : ", ") + path + who;
      if (label.empty()) label = t->label;
    }
  }
  Status out = failed(st, what + (held.empty() ? " en " + all : " en " + held));
  out.table = label;  // not the first file of the transaction, which may be free
  return out;
}

void ReceiveJob::enter(Stage stage) {
  stage_ = stage;
  row_ = 0;
  renamedBefore_ = summary_.renamed.size();
  const std::size_t shown[] = {kEstimates, kEstimates, kContractors, kItems, kConcepts};
  if (stage != Stage::Done) setCaption(channels()[shown[int(stage)]].receiving);
}

bool ReceiveJob::step() {
  if (finished_ || stage_ == Stage::Done) return false;
  if (stage_ == Stage::Check) {
    if (file_ == 0)
      if (Status st = checkManifest(); !st) return stop(st);
    if (Status st = load(file_++); !st) return stop(st);
    if (file_ < channels().size()) return true;
    dropCopies();
    if (Status st = begin(); !st) return stop(st);
    enter(Stage::Estimates);
    return true;
  }
  if (Status st = mergeBatch(); !st) return stop(st);
  if (total_ > 0) setPercent(int(done_ * 100 / total_));
  if (stage_ != Stage::Done) return true;
  Status st = target_->commit();
  if (!st) return stop(lockFailure(st, "confirmar la recepción"));
  target_.reset();
  finished_ = true;
  setPercent(100);
  return false;
}

// Adds the record or writes it over the one with the same key. When
// another unique key of one text field already holds the value here (a
// contractor's name), the record is written under the name with a counter.
Status ReceiveJob::merge(std::size_t file, const Record& rec, const char* key, MergeCount& count) {
  const Channel& ch = channels()[file];
  db::Table& t = target_->table(ch.base);
  // Named only in a message: most records never need it.
  auto target = [&] { return storage_.fileName(ch.base); };
  auto where = [&] {
    return recordName(file, rec) + " de " + inDir(dir_, ch.file) + " en " + target();
  };
  copyRecord(rec, t.buffer());
  Status st = t.get(key);
  const bool adding = st.code == err::RecordNotFound;
  if (!adding && !st) return failed(st, "leer " + where() + holders(target()));
  if (adding) {
    // The common case: a new record whose names are free here.
    copyRecord(rec, t.buffer());
    if (st = t.add(); st) {
      ++count.added;
      return {};
    }
  }
  Record want = rec;
  std::optional<Renamed> renamed;
  for (int counter = 2;; ++counter) {
    if (!adding) {
      // Back on the record to write over: looking up a clash moved away.
      copyRecord(want, t.buffer());
      if (!(st = t.get(key))) return failed(st, "leer " + where() + holders(target()));
      if (t.buffer() == want) {
        ++count.unchanged;
        break;
      }
    }
    if (!adding || counter > 2) {
      copyRecord(want, t.buffer());
      st = adding ? t.add() : t.put();
    }
    if (st) {
      ++(adding ? count.added : count.rewritten);
      break;
    }
    const dict::KeyInfo* clash =
        st.code == err::DuplicateKey && !st.key.empty() ? ch.base.key(st.key) : nullptr;
    const FieldRef name =
        clash && !dict::sameName(clash->name, key) ? nameField(ch.base, *clash) : FieldRef{};
    if (!name || counter > kLastCounter) {
      std::string also;
      if (clash) {
        copyRecord(want, t.buffer());
        if (t.get(*clash))
          also = "; ya existe " + recordName(file, t.buffer()) + " con " + std::string(clash->name);
      }
      return failed(st, std::string(adding ? "agregar " : "reescribir ") + where() + also +
                            (st.code == err::FileLocked ? holders(target()) : ""));
    }
    if (!renamed) {
      renamed.emplace();
      renamed->file = ch.file;
      renamed->record = recordName(file, rec, false, false);
      renamed->field = std::string(name.field->name);
      renamed->from = trimmed(toText(rec.get(name)));
      copyRecord(rec, t.buffer());
      renamed->clashesWith =
          t.get(*clash) ? recordName(file, t.buffer(), false) : std::string("otro registro");
    }
    if (Status set = want.set(name, withCounter(renamed->from, counter, name.field->size)); !set)
      return failed(set, "cambiar el nombre de " + where());
  }
  if (renamed) {
    renamed->to = trimmed(toText(want.get(resolve(ch.base, renamed->field, 1))));
    summary_.renamed.push_back(std::move(*renamed));
    renamedFrom_.push_back({&rec, file, key});
  }
  return {};
}

// A name given a counter may be free by the end of the stage: two
// contractors that swapped names at the other office come out as sent.
Status ReceiveJob::restoreNames() {
  for (bool progress = true; progress;) {
    progress = false;
    for (std::size_t i = renamedBefore_; i < summary_.renamed.size();) {
      const Renamed& r = summary_.renamed[i];
      const Record& rec = *renamedFrom_[i].record;
      const std::size_t file = renamedFrom_[i].file;
      const Channel& ch = channels()[file];
      db::Table& t = target_->table(ch.base);
      const std::string where = recordName(file, rec) + " de " + inDir(dir_, ch.file) + " en " +
                                storage_.fileName(ch.base);
      copyRecord(rec, t.buffer());
      Status st = t.get(renamedFrom_[i].key);
      if (!st) return failed(st, "leer " + where);
      const FieldRef name = resolve(ch.base, r.field, 1);
      if (Status set = t.buffer().set(name, rec.get(name)); !set)
        return failed(set, "cambiar el nombre de " + where);
      st = t.put();
      if (st.code == err::DuplicateKey) {
        ++i;
        continue;
      }
      if (!st) return failed(st, "reescribir " + where);
      summary_.renamed.erase(summary_.renamed.begin() + std::ptrdiff_t(i));
      renamedFrom_.erase(renamedFrom_.begin() + std::ptrdiff_t(i));
      progress = true;
    }
  }
  return {};
}

// The next batch of the stage: estimates are added with their lines unless
// the folio exists (ours is kept, with its lines); the rest are added or
// written over by key.
Status ReceiveJob::mergeBatch() {
  static const std::size_t source[] = {0, kEstimates, kContractors, kItems, kConcepts};
  const std::size_t file = source[int(stage_)];
  const std::vector<Record>& rows = in_[file];
  Status st;
  // Whether the record before was new here: the next one likely is too,
  // and is added without looking it up first. Anything but a plain add
  // (the key here already, a name taken) goes the whole way.
  bool fresh = false;
  auto mergeRecord = [&](const Record& r, const char* key, MergeCount& count) {
    if (fresh) {
      db::Table& t = target_->table(channels()[file].base);
      copyRecord(r, t.buffer());
      if (t.add()) {
        ++count.added;
        return Status{};
      }
    }
    const int added = count.added;
    const std::size_t renamed = summary_.renamed.size();
    Status merged = merge(file, r, key, count);
    fresh = merged && count.added > added && summary_.renamed.size() == renamed;
    return merged;
  };
  for (std::size_t n = 0; st && n < kBatch && row_ < rows.size(); ++n, ++row_, ++done_) {
    const Record& r = rows[row_];
    switch (stage_) {
      case Stage::Estimates: {
        db::Table& poli = target_->table<POL>();
        db::Table& dpol = target_->table<DPO>();
        auto where = [&] {
          return recordName(kEstimates, r) + " de " + inDir(dir_, channels()[kEstimates].file);
        };
        copyRecord(r, poli.buffer());
        st = poli.get("POL:CTA_KEY");
        if (st) {
          ++summary_.estimatesSkipped;
          continue;
        }
        if (st.code != err::RecordNotFound)
          return failed(st, "leer " + where() + holders(storage_.fileName(POL::info())));
        copyRecord(r, poli.buffer());
        if (!(st = poli.add()))
          return failed(st, "agregar " + where() + " en " + storage_.fileName(POL::info()) +
                                holders(storage_.fileName(POL::info())));
        ++summary_.estimatesAdded;
        auto [from, to] = lines_.equal_range(std::int64_t(r.as<POL>().CTA));
        for (auto it = from; it != to; ++it) {
          copyRecord(*it->second, dpol.buffer());
          if (!(st = dpol.add()))
            return failed(st, "agregar " + recordName(kLines, *it->second) + " de " +
                                  inDir(dir_, channels()[kLines].file) + " en " +
                                  storage_.fileName(DPO::info()) +
                                  holders(storage_.fileName(DPO::info())));
          ++summary_.linesAdded;
        }
        break;
      }
      case Stage::Contractors: st = mergeRecord(r, "CTR:CTA_KEY", summary_.contractors); break;
      case Stage::Items: st = mergeRecord(r, "PAR:CTA_KEY", summary_.items); break;
      case Stage::Concepts: st = mergeRecord(r, "COE:CTA_KEY", summary_.concepts); break;
      default: break;
    }
  }
  if (!st) return st;
  if (row_ >= rows.size()) {
    if (stage_ != Stage::Estimates)
      if (st = restoreNames(); !st) return st;
    enter(Stage(int(stage_) + 1));
  }
  return st;
}

}  // namespace velmora::exchange
