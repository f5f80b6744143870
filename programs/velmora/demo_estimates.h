#pragma once

#include "dictionary/storage.h"
#include "programs/velmora/demo_work.h"

namespace velmora::demo {

// Saves the work's estimates as UP_ESTI saves them, in the order they were
// captured: the headers, lines, items and contractors hold what the program
// itself writes. Its items and contractors must be on file, nothing paid
// yet. One transaction for the whole work.
Status saveDemoEstimates(db::Context& ctx, const Work& w);

}  // namespace velmora::demo
