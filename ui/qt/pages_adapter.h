#pragma once

// The Pages control: the area where a procedure's PageView shows pages.
// Only the slots in sight are painted, when Qt asks, so a long report
// opens at once; keys, clicks and the wheel go to the procedure.

#include <memory>

#include "ui/qt/control_adapters.h"

namespace velmora::qt {

std::unique_ptr<ControlAdapter> makePagesAdapter(WindowWidget& window, const Control& control);

}  // namespace velmora::qt
