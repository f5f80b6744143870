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
bool sha256(const std::string& path, std::string& hex);
void copyRecord(const Record& from, Record& to);
std::string nowText();

struct Manifest {
  std::string code, name;
  std::map<std::string, std::pair<std::int64_t, std::string>> files;  // records, sha256
};
bool readManifest(const std::string& path, Manifest& m);

}  // namespace velmora::exchange::detail
