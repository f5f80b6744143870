#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "exchange/transfer.h"
#include "exchange/transfer_files.h"

namespace velmora::exchange {

namespace fs = std::filesystem;
using namespace detail;

namespace {

// Copies the records of `src` (read inside the send's transaction) into a
// new transfer file at `path`, in record order.
Status copyTable(db::Storage& storage, db::Table& src, const Channel& ch, const std::string& path,
                 std::int64_t& count) {
  std::error_code ec;
  fs::remove(path, ec);
  storage.setFileName(ch.transfer, path);
  db::Context out(storage);
  db::Table& dst = out.table(ch.transfer);
  Status st = dst.open();
  if (!st) return st;
  st = dst.stream();
  if (st) st = src.setStart(nullptr);
  while (st && (st = src.next())) {
    copyRecord(src.buffer(), dst.buffer());
    st = dst.add();
    if (st) ++count;
  }
  if (st.code == err::NoRecord) st = {};
  Status flushed = dst.flush();
  dst.close();
  return st ? flushed : st;
}

bool writable(const std::string& dir) {
  std::error_code ec;
  const fs::perms p = fs::status(dir, ec).permissions();
  const fs::perms anyWrite =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return !ec && (p & anyWrite) != fs::perms::none && ::access(dir.c_str(), W_OK) == 0;
}

}  // namespace

SendJob::SendJob(db::Storage& storage, WorkId work, std::string dir)
    : storage_(storage), work_(std::move(work)), dir_(std::move(dir)) {
  setCaption(channels().front().sending);
  setPercent(0);
}

SendJob::~SendJob() {
  source_.reset();
  if (!finished_) discard();
}

void SendJob::discard() {
  std::error_code ec;
  for (const std::string& t : temps_) fs::remove(t, ec);
  temps_.clear();
}

bool SendJob::stop(Status st) {
  status_ = std::move(st);
  stopped_ = true;
  source_.reset();
  discard();
  return false;
}

// The work's five tables, held in one transaction for the whole send: other
// stations wait to write, so every file shows the work at one moment.
Status SendJob::begin() {
  std::error_code ec;
  if (dir_.empty() || !fs::is_directory(dir_, ec))
    return refusal("No existe el directorio " + dir_);
  if (!writable(dir_)) return refusal("No se puede escribir en el directorio " + dir_);
  source_ = std::make_unique<db::Context>(storage_);
  std::vector<db::Table*> tables;
  for (const Channel& ch : channels()) {
    db::Table& t = source_->table(ch.base);
    if (Status st = t.open(); !st) return st;
    tables.push_back(&t);
  }
  manifest_ = "OBRA: " + trimmed(work_.code) + "\nNOMBRE: " + trimmed(work_.name) +
              "\nFECHA: " + nowText() + "\n";
  return source_->begin(tables);
}

bool SendJob::step() {
  if (finished_ || stopped_) return false;
  if (!source_)
    if (Status st = begin(); !st) return stop(st);
  const Channel& ch = channels()[next_];
  const std::string final = inDir(dir_, ch.file);
  const std::string temp = final + ".tmp";
  temps_.push_back(temp);
  SentFile sent{ch.file, 0, {}};
  if (Status st = copyTable(storage_, source_->table(ch.base), ch, temp, sent.records); !st)
    return stop(refusal("No se pudo escribir " + final + ": " + withDetail(st)));
  if (Status st = sha256(temp, kTransferFileLimit, sent.sha256); !st)
    return stop(refusal("No se pudo escribir " + final + ": " + st.text));
  manifest_ += sent.name + " " + std::to_string(sent.records) + " " + sent.sha256 + "\n";
  summary_.files.push_back(std::move(sent));
  ++next_;
  setPercent(int(next_ * 100 / (channels().size() + 1)));
  if (next_ < channels().size()) {
    setCaption(channels()[next_].sending);
    return true;
  }
  source_.reset();
  if (Status st = finish(); !st) return stop(st);
  finished_ = true;
  setPercent(100);
  return false;
}

Status SendJob::finish() {
  const std::string manifestTemp = inDir(dir_, kManifest) + ".tmp";
  temps_.push_back(manifestTemp);
  {
    std::ofstream out(manifestTemp, std::ios::binary | std::ios::trunc);
    out << manifest_;
    out.close();
    if (!out) return refusal("No se pudo escribir " + manifestTemp);
  }
  // The manifest goes last: a stop between the renames leaves new files
  // beside the old manifest, which receive then refuses.
  std::error_code ec;
  for (const std::string& temp : temps_) {
    const std::string final = temp.substr(0, temp.size() - 4);
    fs::rename(temp, final, ec);
    if (ec) return refusal("No se pudo reemplazar " + final);
  }
  temps_.clear();
  return {};
}

}  // namespace velmora::exchange
