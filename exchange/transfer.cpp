#include "exchange/transfer.h"

#include <openssl/evp.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "dictionary/records.h"
#include "dictionary/regular_file.h"
#include "exchange/transfer_files.h"

namespace velmora::exchange {

namespace fs = std::filesystem;

namespace detail {

const std::vector<Channel>& channels() {
  // The transfer tables by their own entries: `APOL` shares POLI's record
  // struct, but its file name and instance are its own, so naming a
  // transfer file never renames the work's table.
  static const std::vector<Channel> all = {{"ENVIO1.DAT", CTR::info(), dict::table(dict::id::ACTR),
                                            "COPIANDO CONTRATISTAS", "INCLUYENDO LOS CONTRATISTAS"},
                                           {"ENVIO2.DAT", POL::info(), dict::table(dict::id::APOL),
                                            "COPIANDO ESTIMACIONES", "INCLUYENDO LAS ESTIMACIONES"},
                                           {"ENVIO3.DAT", DPO::info(), dict::table(dict::id::ADPO),
                                            "COPIANDO MOVIMIENTOS", "INCLUYENDO LAS ESTIMACIONES"},
                                           {"ENVIO4.DAT", PAR::info(), dict::table(dict::id::APAR),
                                            "COPIANDO PARTIDAS", "INCLUYENDO LOS PARTIDAS"},
                                           {"ENVIO5.DAT", COE::info(), dict::table(dict::id::ACOE),
                                            "COPIANDO CONCEPTOS", "INCLUYENDO LOS CONCEPTOS"}};
  return all;
}

std::string trimmed(const std::string& s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

Status refusal(std::string text) { return Status::error(err::InvalidDataFile, std::move(text)); }

std::string withDetail(const Status& st) {
  std::string text = st.text;
  if (!st.fileError.empty()) text += ": " + st.fileError;
  return text;
}

std::string inDir(const std::string& dir, const std::string& file) {
  return (fs::path(dir) / file).string();
}

Status sha256(const std::string& path, std::uint64_t limit, std::string& hex,
              const std::string& copyTo) {
  hex.clear();
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> md(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!md || EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr) != 1)
    return refusal("No se pudo calcular la huella de " + path);
  std::ofstream copy;
  if (!copyTo.empty()) {
    copy.open(copyTo, std::ios::binary | std::ios::trunc);
    if (!copy) return refusal("No se pudo copiar " + path + " a " + copyTo);
  }
  bool wrote = true;
  Status st = files::readRegularFile(path, limit, [&](const char* data, std::size_t n) {
    if (copy.is_open() && !copy.write(data, std::streamsize(n))) return wrote = false;
    return EVP_DigestUpdate(md.get(), data, n) == 1;
  });
  if (copy.is_open()) {
    copy.close();
    if (!copy) wrote = false;
  }
  if (!wrote) return refusal("No se pudo copiar " + path + " a " + copyTo);
  if (!st) return st;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_DigestFinal_ex(md.get(), digest, &len) != 1)
    return refusal("No se pudo calcular la huella de " + path);
  for (unsigned int i = 0; i < len; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return {};
}

void copyRecord(const Record& from, Record& to) { to.table().ops->copy(to.data(), from.data()); }

std::string nowText() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &tm);
  return buf;
}

namespace {
// "El archivo ..." inside a sentence.
std::string lowerFirst(std::string text) {
  if (!text.empty()) text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}
}  // namespace

Status readManifest(const std::string& path, Manifest& m) {
  auto unreadable = [&](const std::string& why) {
    return refusal("No se puede leer el manifiesto " + path + ": " + why + "; no se recibió nada");
  };
  std::string text;
  if (Status st = files::readRegularFile(path, kManifestLimit, text); !st)
    return refusal("No se puede leer el manifiesto del envío: " + lowerFirst(st.text) +
                   "; no se recibió nada");
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return unreadable("está vacío");
  m = {};
  bool hasWork = false;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("OBRA: ", 0) == 0) {
      m.code = line.substr(6);
      hasWork = true;
    } else if (line.rfind("NOMBRE: ", 0) == 0) {
      m.name = line.substr(8);
    } else if (line.rfind("ENVIO", 0) == 0) {
      std::istringstream fields(line);
      std::string file, hash;
      std::int64_t records = -1;
      if (fields >> file >> records >> hash) m.files[file] = {records, hash};
    }
  }
  if (!hasWork || trimmed(m.code).empty())
    return unreadable("no dice de qué obra son los archivos");
  return {};
}

}  // namespace detail

const std::vector<std::string>& transferFiles() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const detail::Channel& ch : detail::channels()) v.emplace_back(ch.file);
    return v;
  }();
  return names;
}

std::optional<WorkId> sentFrom(const std::string& dir) {
  detail::Manifest m;
  if (dir.empty() || !detail::readManifest(detail::inDir(dir, kManifest), m)) return std::nullopt;
  return WorkId{detail::trimmed(m.code), detail::trimmed(m.name)};
}

Status sendWork(db::Storage& storage, const WorkId& work, const std::string& dir,
                SendSummary& summary) {
  SendJob job(storage, work, dir);
  runToEnd(job);
  summary = job.summary();
  return job.status();
}

Status receiveWork(db::Storage& storage, const WorkId& work, const std::string& dir, bool otherWork,
                   ReceiveSummary& summary) {
  ReceiveJob job(storage, work, dir, otherWork);
  runToEnd(job);
  summary = job.summary();
  return job.status();
}

}  // namespace velmora::exchange
