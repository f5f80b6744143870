#pragma once

#include "dictionary/storage.h"
#include "programs/velmora/demo_data.h"

namespace velmora::demo {

// Equipment invoices of one supplier on the first work, saved as VOROVID's
// invoice form saves them: with the supplier's total, the items' equipment
// cost and the invoices' policies of the month.
Status addDemoInvoices(db::Storage& storage, const DemoOptions& options);

}  // namespace velmora::demo
