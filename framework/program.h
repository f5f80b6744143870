#pragma once

// The program-wide values of a running program: the shell's globals, the
// window variables that procedures hand to each other (TOTAL, SUM1, MESS1,
// NPRV ...), the request passed to a called procedure, and the services every
// procedure uses. One object per program run, passed by reference.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "dictionary/record.h"
#include "dictionary/storage.h"
#include "framework/messages.h"

namespace velmora {

class Procedure;

// Window variable names compare without regard to case, as field names do.
struct NoCaseLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

class Program {
 public:
  Program(std::string name, db::Storage& storage, MessageService& messages,
          std::string settingsPath);

  const std::string& name() const { return name_; }
  db::Storage& storage() { return storage_; }
  MessageService& messages() { return messages_; }
  const std::string& settingsPath() const { return settingsPath_; }

  // Shell globals (GLO:*).
  std::int32_t usuario = 0;               // 0 or negative: no user, no checks
  std::array<std::uint8_t, 20> acceso{};  // access level per entry, 1-based in the system's terms
  std::string empresa;
  std::int32_t hoy = 0;
  std::array<std::string, 5> zona;  // the five salary zones
  std::string obra;
  std::string nombreObra;
  std::uint8_t lista = 0;

  // The request a caller hands to the procedure it calls; the callee copies
  // and clears it on entry.
  int request = 0;

  // Window variables shared by the procedures of the program.
  Value var(std::string_view name) const;
  void setVar(std::string_view name, Value v);
  bool hasVar(std::string_view name) const;

  // What each form saved last, by procedure and control, for recall (ditto).
  std::map<std::string, std::map<std::string, Value, NoCaseLess>, NoCaseLess> saved;

  // The procedures the program can start by name (toolbar, menu, scripts).
  using Factory = std::function<std::unique_ptr<Procedure>(Program&, db::Context&)>;
  void addProcedure(std::string name, Factory make);
  std::unique_ptr<Procedure> make(std::string_view name, db::Context& ctx);
  bool knows(std::string_view name) const;

  // A new thread context number for a started procedure.
  int newThread() { return ++threads_; }

 private:
  std::string name_;
  db::Storage& storage_;
  MessageService& messages_;
  std::string settingsPath_;
  std::map<std::string, Value, NoCaseLess> vars_;
  std::map<std::string, Factory, NoCaseLess> procedures_;
  int threads_ = 0;
};

}  // namespace velmora
