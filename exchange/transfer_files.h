#pragma once

// What the send and the receive share: the five transfer files with the
// tables they carry, the manifest and the file checks.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"

namespace velmora::exchange::detail {

// One transfer file: the work table it carries, the table its records are
// written through (same layout, a file of its own) and what the window
// shows while it is copied or merged.
struct Channel {
  const char* file;
  const dict::TableInfo& base;
  const dict::TableInfo& transfer;
  const char* sending;
  const char* receiving;
};
const std::vector<Channel>& channels();
// Indexes into channels(), in sending order.
enum : std::size_t { kContractors, kEstimates, kLines, kItems, kConcepts };

std::string trimmed(const std::string& s);
Status refusal(std::string text);
// A status's text with the engine's own detail.
std::string withDetail(const Status& st);
// The directory and a file in it, joined with the platform's separator.
std::string inDir(const std::string& dir, const std::string& file);

// Limits of what a transfer folder may hold: anything larger is refused
// before it is read. A manifest is a few lines; a transfer file carries a
// work's estimates, generously bounded.
inline constexpr std::uint64_t kManifestLimit = 64 * 1024;
inline constexpr std::uint64_t kTransferFileLimit = std::uint64_t(2) * 1024 * 1024 * 1024;

// The SHA-256 of a regular file of at most `limit` bytes, read once; when
// `copyTo` is given the same bytes are written there, so that what is
// hashed is exactly what is later read.
Status sha256(const std::string& path, std::uint64_t limit, std::string& hex,
              const std::string& copyTo = {});
void copyRecord(const Record& from, Record& to);
std::string nowText();

struct Manifest {
  std::string code, name;
  std::map<std::string, std::pair<std::int64_t, std::string>> files;  // records, sha256
};
// Reads a manifest: a regular file of at most kManifestLimit bytes that
// says which work the files come from. The refusal names the file.
Status readManifest(const std::string& path, Manifest& m);

}  // namespace velmora::exchange::detail
