#pragma once

// The program-wide values of a running program: the user's rights, the
// declared variables that procedures hand to each other (TOTAL, SUM1, MESS1,
// NPRV ..., and the shell's GLO:* globals), the request passed to a called
// procedure, and the services every procedure uses. One object per program
// run, passed by reference.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/storage.h"
#include "framework/messages.h"

namespace velmora {

class Procedure;

// Who runs the program and his access level per entry, as the framework's
// access checks need them.
struct AccessRights {
  std::int32_t user = 0;                  // 0 or negative: no user, no checks
  std::array<std::uint8_t, 20> levels{};  // access level per entry, 1-based in the system's terms
};

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

  AccessRights rights;

  // The request a caller hands to the procedure it calls; the callee copies
  // and clears it on entry.
  int request = 0;

  // Variables shared by the procedures of the program. Each is declared
  // before use, by the program's set-up or by the procedure that owns it;
  // declaring again sets it back to `initial`. Reading or writing a name
  // never declared is a programming error (std::logic_error), so that a
  // misspelt binding cannot create a variable of its own. A name with the
  // prefix of a table ("PAR:CONX") cannot be declared.
  void declare(std::string_view name, Value initial);
  // A read-only variable whose value lives elsewhere (the shell's globals).
  void declare(std::string_view name, std::function<Value()> source);
  Value var(std::string_view name) const;
  void setVar(std::string_view name, Value v);
  bool hasVar(std::string_view name) const;

  // State a layer above keeps for the whole run (the shell's globals), made
  // on first use, one per type; the framework does not know what it holds.
  template <class T>
  T& attached() {
    std::shared_ptr<void>& slot = attached_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }
  template <class T>
  bool hasAttached() const {
    return attached_.count(std::type_index(typeid(T))) != 0;
  }

  // What each form saved last, by procedure and control, for recall (ditto).
  std::map<std::string, std::map<std::string, Value, NoCaseLess>, NoCaseLess> saved;

  // The procedures the program can start by name (toolbar, menu, scripts).
  using Factory = std::function<std::unique_ptr<Procedure>(Program&, db::Context&)>;
  void addProcedure(std::string name, Factory make);
  std::unique_ptr<Procedure> make(std::string_view name, db::Context& ctx);
  bool knows(std::string_view name) const;
  std::vector<std::string> procedureNames() const;

  // A new thread context number for a started procedure.
  int newThread() { return ++threads_; }

 private:
  std::string name_;
  db::Storage& storage_;
  MessageService& messages_;
  std::string settingsPath_;
  struct Variable {
    Value value;
    std::function<Value()> source;  // set for a read-only variable kept elsewhere
  };
  std::map<std::string, Variable, NoCaseLess> vars_;
  std::map<std::type_index, std::shared_ptr<void>> attached_;
  std::map<std::string, Factory, NoCaseLess> procedures_;
  int threads_ = 0;
};

}  // namespace velmora
