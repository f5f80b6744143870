#pragma once

// What a script sees of the desktop calls of a frame: each one is written
// to the transcript, and documents "open" when the file exists.

#include <ostream>

#include "framework/frame.h"

namespace velmora {

class ScriptFrameServices : public FrameServices {
 public:
  explicit ScriptFrameServices(std::ostream& transcript) : out_(transcript) {}

  void standard(StandardCommand command) override;
  void pictures(FrameProcedure& frame) override;
  void splash(bool open) override;
  void titles(FrameProcedure& frame) override;

 private:
  std::ostream& out_;
};

}  // namespace velmora
