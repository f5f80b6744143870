#include "dictionary/storage.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cctype>
#include <filesystem>
#include <stdexcept>

namespace velmora::db {

namespace {

// SQLCipher 3's passphrase derivation, done here once per password and salt
// so that later opens can hand it the raw key.
constexpr int kKdfIterations = 64000;

std::string hex(const unsigned char* p, std::size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

}  // namespace

Storage::Storage() = default;
Storage::~Storage() = default;

std::string withDefaultExtension(std::string name) {
  auto slash = name.find_last_of("/\\");
  auto dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".TPS";
  return name;
}

std::string Storage::fileName(const dict::TableInfo& t) const {
  std::lock_guard lock(mu_);
  auto it = names_.find(t.index);
  if (it != names_.end()) return it->second;
  if (t.place == dict::Place::ProgramFolder) return std::string(t.fileName);
  return {};
}

void Storage::setFileName(const dict::TableInfo& t, std::string path) {
  std::lock_guard lock(mu_);
  names_[t.index] = std::move(path);
}

void Storage::setServer(std::string connection, const std::string& programFolder) {
  std::lock_guard lock(mu_);
  server_ = std::move(connection);
  std::error_code ec;
  serverRoot_ =
      std::filesystem::weakly_canonical(std::filesystem::absolute(programFolder, ec), ec).string();
}

// The program folder's own tables are in the schema "programa"; a work's
// folder (named by its code) is a schema of that name. A table is named
// after its file, in capitals, as the file system of the offices compares
// names.
bool Storage::serverPlace(const std::string& path, std::string& schema, std::string& table) const {
  namespace fs = std::filesystem;
  std::string root;
  {
    std::lock_guard lock(mu_);
    if (server_.empty()) return false;
    root = serverRoot_;
  }
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) return false;
  const fs::path folder = p.parent_path().lexically_relative(root);
  if (folder.empty() || *folder.begin() == "..") return false;
  schema = folder == "." ? "programa" : folder.generic_string();
  table = upperFileName(p.stem().string());
  return true;
}

std::string upperFileName(std::string name) {
  for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string Storage::saltFor(std::string_view password) {
  std::string seed = "velmora/" + std::string(password);
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(seed.data()), seed.size(), digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}

std::string Storage::rawKey(std::string_view password, const std::string& salt) {
  auto id = std::make_pair(std::string(password), salt);
  {
    std::lock_guard lock(mu_);
    auto it = keys_.find(id);
    if (it != keys_.end()) return it->second;
  }
  unsigned char key[32];
  if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), int(salt.size()),
                        kKdfIterations, EVP_sha1(), sizeof key, key) != 1)
    throw std::runtime_error("key derivation failed");
  std::string literal = "x'" + hex(key, sizeof key) +
                        hex(reinterpret_cast<const unsigned char*>(salt.data()), salt.size()) + "'";
  std::lock_guard lock(mu_);
  keys_.emplace(id, literal);
  return literal;
}

std::string errorText(int code) {
  switch (code) {
    case err::FileNotFound: return "Archivo no encontrado";
    case err::PathNotFound: return "Carpeta no encontrada";
    case err::AccessDenied: return "Acceso denegado";
    case err::FileLocked: return "Archivo bloqueado por otra estación";
    case err::NoRecord: return "Registro no disponible";
    case err::RecordNotFound: return "Registro no encontrado";
    case err::InvalidDataFile: return "Archivo de datos inválido";
    case err::FileNotOpen: return "Archivo no abierto";
    case err::DuplicateKey: return "Crea llave duplicada";
    case err::KeysNeedRebuilding: return "Las llaves deben reconstruirse";
    case err::InvalidRecord: return "Declaración de registro inválida";
    case err::FileAlreadyOpen: return "Archivo ya abierto";
    case err::RecordChanged: return "Registro cambiado por otra estación";
    case err::FileSystem: return "Error del sistema de archivos";
    case err::ValueRefused: return "Valor no aceptado";
    case err::RestrictedDelete: return "Borrado restringido por la integridad referencial";
    case err::RestrictedUpdate: return "Cambio restringido por la integridad referencial";
    case err::TransactionRefused: return "Transacción no permitida";
    default: return "Error " + std::to_string(code);
  }
}

}  // namespace velmora::db
