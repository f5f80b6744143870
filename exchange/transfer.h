#pragma once

// The office transfer: the estimate tables of a work written as five
// standalone files ("ENVIO1.DAT" ... "ENVIO5.DAT") plus a manifest, and
// such files merged back into a work at another office.

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/storage.h"

namespace velmora::exchange {

struct WorkId {
  std::string code;  // OBR:CTA
  std::string name;  // OBR:OBRA
};

struct SentFile {
  std::string name;  // "ENVIO1.DAT"
  std::int64_t records = 0;
  std::string sha256;  // hex
};

struct SendSummary {
  std::vector<SentFile> files;
};

struct MergeCount {
  int added = 0;
  int rewritten = 0;  // existing records whose values changed
  int unchanged = 0;
};

struct ReceiveSummary {
  int estimatesAdded = 0;
  int estimatesSkipped = 0;  // the folio exists here: ours kept, with its lines
  int linesAdded = 0;
  MergeCount contractors, items, concepts;
  bool manifest = false;  // the files came with "ENVIO.TXT"
};

// The transfer file names in sending order.
const std::vector<std::string>& transferFiles();
inline constexpr const char* kManifest = "ENVIO.TXT";

// Writes the transfer files of the work whose files `storage` names into
// `dir`. Every table is read inside one engine transaction and written
// under a temporary name; the files replace older ones only once all five
// and the manifest are complete.
Status sendWork(db::Storage& storage, const WorkId& work, const std::string& dir,
                SendSummary& summary);

// Merges the transfer files in `dir` into the work. Every file is checked
// first (and against the manifest when there is one); a refusal merges
// nothing. Files sent from another work are refused unless `otherWork`.
Status receiveWork(db::Storage& storage, const WorkId& work, const std::string& dir, bool otherWork,
                   ReceiveSummary& summary);

}  // namespace velmora::exchange
