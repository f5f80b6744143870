#include <filesystem>

#include "dictionary/records.h"
#include "exchange/transfer.h"
#include "exchange/transfer_files.h"

namespace velmora::exchange {

namespace fs = std::filesystem;
using namespace detail;

namespace {

// Records merged per step, so that a window stays live on a large work.
constexpr std::size_t kBatch = 2000;

// Every record of a transfer file, in file order; a file that is not a
// sound table of the expected layout under the work's password is refused.
Status loadFile(db::Storage& storage, const Channel& ch, const std::string& path,
                std::vector<Record>& out) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return refusal("Falta el archivo " + path);
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
    return refusal("El archivo " + path +
                   " está dañado, es de otra tabla o de otra contraseña; no se recibió nada (" +
                   withDetail(st) + ")");
  return st;
}

// Adds the record or writes it over the one with the same key.
Status addOrRewrite(db::Table& t, const Record& rec, const char* key, MergeCount& count) {
  copyRecord(rec, t.buffer());
  Status st = t.get(key);
  if (st.code == err::RecordNotFound) {
    copyRecord(rec, t.buffer());
    st = t.add();
    if (st) ++count.added;
    return st;
  }
  if (!st) return st;
  if (t.buffer() == rec) {
    ++count.unchanged;
    return st;
  }
  copyRecord(rec, t.buffer());
  st = t.put();
  if (st) ++count.rewritten;
  return st;
}

}  // namespace

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
ReceiveJob::~ReceiveJob() = default;

bool ReceiveJob::stop(Status st) {
  status_ = std::move(st);
  target_.reset();
  ReceiveSummary none;
  none.manifest = summary_.manifest;
  summary_ = none;
  stage_ = Stage::Done;
  return false;
}

Status ReceiveJob::checkManifest() {
  std::error_code ec;
  if (dir_.empty() || !fs::is_directory(dir_, ec))
    return refusal("No existe el directorio " + dir_);
  const std::string path = inDir(dir_, kManifest);
  if (!fs::exists(path, ec)) return {};
  Manifest m;
  if (!readManifest(path, m)) return refusal("No se pudo leer " + path);
  summary_.manifest = true;
  if (trimmed(m.code) != trimmed(work_.code) && !otherWork_)
    return refusal("Los archivos son de la obra " + trimmed(m.code) + " " + m.name +
                   ", no de la obra " + trimmed(work_.code) + " " + trimmed(work_.name) +
                   "; no se recibió nada");
  for (const Channel& ch : channels()) {
    auto it = m.files.find(ch.file);
    std::string hash;
    if (it == m.files.end()) return refusal(std::string("El envío no lista el archivo ") + ch.file);
    if (!sha256(inDir(dir_, ch.file), hash))
      return refusal("Falta el archivo " + inDir(dir_, ch.file));
    if (hash != it->second.second)
      return refusal("El archivo " + inDir(dir_, ch.file) +
                     " no es el que se envió; no se recibió nada");
    expected_.push_back(it->second.first);
  }
  return {};
}

Status ReceiveJob::load(std::size_t file) {
  const Channel& ch = channels()[file];
  if (Status st = loadFile(storage_, ch, inDir(dir_, ch.file), in_[file]); !st) return st;
  if (!expected_.empty() && std::int64_t(in_[file].size()) != expected_[file])
    return refusal(std::string("El archivo ") + ch.file +
                   " no tiene los registros que se enviaron; no se recibió nada");
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
    if (Status st = table.open(); !st) return st;
    tables.push_back(&table);
  }
  return target_->begin(tables);
}

void ReceiveJob::enter(Stage stage) {
  stage_ = stage;
  row_ = 0;
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
    if (Status st = begin(); !st) return stop(st);
    enter(Stage::Estimates);
    return true;
  }
  if (Status st = mergeBatch(); !st) return stop(st);
  if (total_ > 0) setPercent(int(done_ * 100 / total_));
  if (stage_ != Stage::Done) return true;
  Status st = target_->commit();
  if (!st) return stop(st);
  target_.reset();
  finished_ = true;
  setPercent(100);
  return false;
}

// The next batch of the stage: estimates are added with their lines unless
// the folio exists (ours is kept, with its lines); the rest are added or
// written over by key.
Status ReceiveJob::mergeBatch() {
  static const std::size_t source[] = {0, kEstimates, kContractors, kItems, kConcepts};
  const std::vector<Record>& rows = in_[source[int(stage_)]];
  Status st;
  for (std::size_t n = 0; st && n < kBatch && row_ < rows.size(); ++n, ++row_, ++done_) {
    const Record& r = rows[row_];
    switch (stage_) {
      case Stage::Estimates: {
        db::Table& poli = target_->table<POL>();
        db::Table& dpol = target_->table<DPO>();
        copyRecord(r, poli.buffer());
        st = poli.get("POL:CTA_KEY");
        if (st) {
          ++summary_.estimatesSkipped;
          continue;
        }
        if (st.code != err::RecordNotFound) break;
        copyRecord(r, poli.buffer());
        st = poli.add();
        if (st) ++summary_.estimatesAdded;
        auto [from, to] = lines_.equal_range(std::int64_t(r.as<POL>().CTA));
        for (auto it = from; st && it != to; ++it) {
          copyRecord(*it->second, dpol.buffer());
          st = dpol.add();
          if (st) ++summary_.linesAdded;
        }
        break;
      }
      case Stage::Contractors:
        st = addOrRewrite(target_->table<CTR>(), r, "CTR:CTA_KEY", summary_.contractors);
        break;
      case Stage::Items:
        st = addOrRewrite(target_->table<PAR>(), r, "PAR:CTA_KEY", summary_.items);
        break;
      case Stage::Concepts:
        st = addOrRewrite(target_->table<COE>(), r, "COE:CTA_KEY", summary_.concepts);
        break;
      default: break;
    }
  }
  if (st && row_ >= rows.size()) enter(Stage(int(stage_) + 1));
  return st;
}

}  // namespace velmora::exchange
