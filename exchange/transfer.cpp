#include "exchange/transfer.h"

#include <openssl/evp.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "dictionary/records.h"

namespace velmora::exchange {

namespace fs = std::filesystem;

namespace {

// One transfer file: the work table it carries and the table its records
// are written through (same layout, a file of its own).
struct Channel {
  const char* file;
  const dict::TableInfo& base;
  const dict::TableInfo& transfer;
};

const std::vector<Channel>& channels() {
  // The transfer tables by their own entries: `APOL` shares POLI's record
  // struct, but its file name and instance are its own, so naming a
  // transfer file never renames the work's table.
  static const std::vector<Channel> all = {
      {"ENVIO1.DAT", CTR::info(), dict::table(dict::id::ACTR)},
      {"ENVIO2.DAT", POL::info(), dict::table(dict::id::APOL)},
      {"ENVIO3.DAT", DPO::info(), dict::table(dict::id::ADPO)},
      {"ENVIO4.DAT", PAR::info(), dict::table(dict::id::APAR)},
      {"ENVIO5.DAT", COE::info(), dict::table(dict::id::ACOE)}};
  return all;
}

std::string trimmed(const std::string& s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

Status refusal(std::string text) { return Status::error(err::InvalidDataFile, std::move(text)); }

std::string detail(const Status& st) {
  std::string text = st.text;
  if (!st.fileError.empty()) text += ": " + st.fileError;
  return text;
}

bool sha256(const std::string& path, std::string& hex) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  bool ok = md && EVP_DigestInit_ex(md, EVP_sha256(), nullptr) == 1;
  char buf[65536];
  while (ok && in) {
    in.read(buf, sizeof buf);
    if (in.gcount() > 0) ok = EVP_DigestUpdate(md, buf, std::size_t(in.gcount())) == 1;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  ok = ok && !in.bad() && EVP_DigestFinal_ex(md, digest, &len) == 1;
  EVP_MD_CTX_free(md);
  hex.clear();
  for (unsigned int i = 0; ok && i < len; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return ok;
}

void copyRecord(const Record& from, Record& to) { to.table().ops->copy(to.data(), from.data()); }

// Copies one work table into a new file at `path`. The table is read while
// held for writing, so that other stations cannot show a half state.
Status copyTable(db::Storage& storage, const Channel& ch, const std::string& path,
                 std::int64_t& count) {
  std::vector<Record> rows;
  {
    db::Context ctx(storage);
    db::Table& src = ctx.table(ch.base);
    Status st = src.open();
    if (!st) return st;
    st = src.stream();
    if (st) st = src.setStart(nullptr);
    while (st && (st = src.next())) rows.push_back(src.buffer());
    if (st.code == err::NoRecord) st = {};
    Status flushed = src.flush();
    src.close();
    if (!st) return st;
    if (!flushed) return flushed;
  }
  std::error_code ec;
  fs::remove(path, ec);
  storage.setFileName(ch.transfer, path);
  db::Context ctx(storage);
  db::Table& dst = ctx.table(ch.transfer);
  Status st = dst.open();
  if (st) st = dst.stream();
  for (const Record& r : rows) {
    if (!st) break;
    copyRecord(r, dst.buffer());
    st = dst.add();
    if (st) ++count;
  }
  Status flushed = dst.flush();
  dst.close();
  return st ? flushed : st;
}

std::string nowText() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &tm);
  return buf;
}

struct Manifest {
  std::string code, name;
  std::map<std::string, std::pair<std::int64_t, std::string>> files;  // records, sha256
};

bool readManifest(const std::string& path, Manifest& m) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("OBRA: ", 0) == 0) {
      m.code = line.substr(6);
    } else if (line.rfind("NOMBRE: ", 0) == 0) {
      m.name = line.substr(8);
    } else if (line.rfind("ENVIO", 0) == 0) {
      std::istringstream fields(line);
      std::string file, hash;
      std::int64_t records = -1;
      if (fields >> file >> records >> hash) m.files[file] = {records, hash};
    }
  }
  return true;
}

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
                   detail(st) + ")");
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

Status merge(db::Storage& storage, const std::vector<std::vector<Record>>& in,
             ReceiveSummary& sum) {
  db::Context ctx(storage);
  db::Table& poli = ctx.table<POL>();
  db::Table& dpol = ctx.table<DPO>();
  db::Table& cont = ctx.table<CTR>();
  db::Table& part = ctx.table<PAR>();
  db::Table& conc = ctx.table<COE>();
  std::vector<db::Table*> all = {&poli, &dpol, &cont, &part, &conc};
  Status st;
  for (db::Table* t : all)
    if (st) st = t->open();
  if (st) st = ctx.begin(all);
  if (!st) {
    for (db::Table* t : all) t->close();
    return st;
  }
  std::multimap<std::int64_t, const Record*> lines;
  for (const Record& r : in[2]) lines.emplace(std::int64_t(r.as<DPO>().CTA), &r);
  for (const Record& r : in[1]) {
    if (!st) break;
    copyRecord(r, poli.buffer());
    st = poli.get("POL:CTA_KEY");
    if (st) {
      ++sum.estimatesSkipped;
      continue;
    }
    if (st.code != err::RecordNotFound) break;
    copyRecord(r, poli.buffer());
    st = poli.add();
    if (st) ++sum.estimatesAdded;
    auto [from, to] = lines.equal_range(std::int64_t(r.as<POL>().CTA));
    for (auto it = from; st && it != to; ++it) {
      copyRecord(*it->second, dpol.buffer());
      st = dpol.add();
      if (st) ++sum.linesAdded;
    }
  }
  for (const Record& r : in[0])
    if (st) st = addOrRewrite(cont, r, "CTR:CTA_KEY", sum.contractors);
  for (const Record& r : in[3])
    if (st) st = addOrRewrite(part, r, "PAR:CTA_KEY", sum.items);
  for (const Record& r : in[4])
    if (st) st = addOrRewrite(conc, r, "COE:CTA_KEY", sum.concepts);
  if (st)
    st = ctx.commit();
  else
    ctx.rollback();
  for (db::Table* t : all) t->close();
  return st;
}

}  // namespace

const std::vector<std::string>& transferFiles() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const Channel& ch : channels()) v.emplace_back(ch.file);
    return v;
  }();
  return names;
}

Status sendWork(db::Storage& storage, const WorkId& work, const std::string& dir,
                SendSummary& summary) {
  summary = {};
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return refusal("No existe el directorio " + dir);
  const fs::path base(dir);
  std::vector<std::string> temps;
  auto discard = [&](Status st) {
    for (const std::string& t : temps) fs::remove(t, ec);
    return st;
  };
  std::string manifest = "OBRA: " + trimmed(work.code) + "\nNOMBRE: " + trimmed(work.name) +
                         "\nFECHA: " + nowText() + "\n";
  for (const Channel& ch : channels()) {
    const std::string temp = (base / (std::string(ch.file) + ".tmp")).string();
    temps.push_back(temp);
    SentFile sent{ch.file, 0, {}};
    Status st = copyTable(storage, ch, temp, sent.records);
    if (!st)
      return discard(
          refusal("No se pudo escribir " + (base / ch.file).string() + ": " + detail(st)));
    if (!sha256(temp, sent.sha256)) return discard(refusal("No se pudo leer " + temp));
    manifest += sent.name + " " + std::to_string(sent.records) + " " + sent.sha256 + "\n";
    summary.files.push_back(std::move(sent));
  }
  const std::string manifestTemp = (base / (std::string(kManifest) + ".tmp")).string();
  temps.push_back(manifestTemp);
  {
    std::ofstream out(manifestTemp, std::ios::binary | std::ios::trunc);
    out << manifest;
    out.close();
    if (!out) return discard(refusal("No se pudo escribir " + manifestTemp));
  }
  // The manifest goes last: a stop between the renames leaves new files
  // beside the old manifest, which receive then refuses.
  for (std::size_t i = 0; i < temps.size(); ++i) {
    const std::string& temp = temps[i];
    fs::rename(temp, temp.substr(0, temp.size() - 4), ec);
    if (ec) return discard(refusal("No se pudo reemplazar " + temp.substr(0, temp.size() - 4)));
  }
  return {};
}

Status receiveWork(db::Storage& storage, const WorkId& work, const std::string& dir, bool otherWork,
                   ReceiveSummary& summary) {
  summary = {};
  const fs::path base(dir);
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return refusal("No existe el directorio " + dir);
  const std::string manifestPath = (base / kManifest).string();
  Manifest m;
  if (fs::exists(manifestPath, ec)) {
    if (!readManifest(manifestPath, m)) return refusal("No se pudo leer " + manifestPath);
    summary.manifest = true;
    if (trimmed(m.code) != trimmed(work.code) && !otherWork)
      return refusal("Los archivos son de la obra " + trimmed(m.code) + " " + m.name +
                     ", no de la obra " + trimmed(work.code) + " " + trimmed(work.name) +
                     "; no se recibió nada");
    for (const Channel& ch : channels()) {
      auto it = m.files.find(ch.file);
      std::string hash;
      if (it == m.files.end())
        return refusal(std::string("El envío no lista el archivo ") + ch.file);
      if (!sha256((base / ch.file).string(), hash))
        return refusal("Falta el archivo " + (base / ch.file).string());
      if (hash != it->second.second)
        return refusal("El archivo " + (base / ch.file).string() +
                       " no es el que se envió; no se recibió nada");
    }
  }
  std::vector<std::vector<Record>> in(channels().size());
  {
    for (std::size_t i = 0; i < channels().size(); ++i) {
      const Channel& ch = channels()[i];
      if (Status st = loadFile(storage, ch, (base / ch.file).string(), in[i]); !st) return st;
      if (summary.manifest && std::int64_t(in[i].size()) != m.files[ch.file].first)
        return refusal(std::string("El archivo ") + ch.file +
                       " no tiene los registros que se enviaron; no se recibió nada");
    }
  }
  Status st = merge(storage, in, summary);
  if (!st) {
    ReceiveSummary none;
    none.manifest = summary.manifest;
    summary = none;
  }
  return st;
}

}  // namespace velmora::exchange
