#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/status.h"

// The numbered message catalogue shared by both programs: a raised error
// becomes a Spanish message box and the caller learns what the user answered.
namespace velmora {

// Stored as a byte: values other than these are kept and treated as a
// program error.
enum class MessageLevel : std::uint8_t {
  Silent = 0,
  Question = 1,
  ProgramError = 2,
  Fatal = 3,
  CancelQuestion = 4,
  Notice = 5,
};

namespace button {
inline constexpr int Ok = 1, Yes = 2, No = 4, Cancel = 8;
}  // namespace button

enum class MessageIcon { None, Question, Exclamation };

// What the host shows. A '|' in the text starts a new line; the host turns it
// into one.
struct MessageBox {
  std::string title;
  std::string text;
  MessageIcon icon = MessageIcon::None;
  int buttons = button::Ok;
  int defaultButton = button::Ok;
  int style = 0;

  std::vector<std::string> lines() const;
};

// Implemented by the Qt, script and test hosts.
class MessageHost {
 public:
  virtual ~MessageHost() = default;
  // Returns the button pressed.
  virtual int show(const MessageBox& box) = 0;
  // After a fatal message. A real host ends the program; a test host may
  // record the call and return.
  virtual void stopProgram() = 0;
};

struct MessageEntry {
  std::uint16_t id = 0;
  MessageLevel level = MessageLevel::Silent;
  std::string title;  // at most kEntryTextLimit characters
  std::string text;   // idem; may hold placeholders
  std::string category;
};

// One per procedure context, passed explicitly (our "threads" are procedure
// contexts, not OS threads) and never shared between them.
struct ErrorContext {
  int thread = 0;  // the context number, for %Procedure

  std::string fieldName;
  std::string fileName;
  std::string keyName;
  std::string messageText;

  // The last error as it was when the message was raised.
  int saveErrorCode = 0;
  std::string saveError;
  std::string saveFileErrorCode;
  std::string saveFileError;

  // The current error: text is the built text, before any suffix the box adds.
  int errorId = 0;
  std::string title;
  std::string text;
  MessageLevel level = MessageLevel::Silent;
  std::string category;
  int previousErrorId = 0;
};

// The 52 messages both programs carry.
std::vector<MessageEntry> standardCatalogue();

class MessageService {
 public:
  static constexpr std::size_t kNameLimit = 255;       // FIELDNAME, FILENAME, KEYNAME, MESSAGETEXT
  static constexpr std::size_t kEntryTextLimit = 255;  // catalogue title and text
  static constexpr std::size_t kTextLimit = 2000;      // the built text
  static constexpr std::string_view kFatalSuffix = "  Press OK to end this application";

  // Results of raise().
  static constexpr int kAnsweredYes = 0;  // also: nothing was shown
  static constexpr int kStopped = 3;      // a fatal message whose host did not end the program
  static constexpr int kAnsweredNo = 4;
  static constexpr int kNoticed = 5;

  MessageService();
  MessageService(const MessageService&) = delete;
  MessageService& operator=(const MessageService&) = delete;

  // Without a host nothing can be shown: the service then behaves as if silent.
  void setHost(MessageHost* host) { host_ = host; }

  // SILENT: nothing is shown and every question answers its default button.
  // A fatal message still stops the program.
  std::atomic<bool> silent{false};
  // MSGSTYLE: passed through to every box.
  std::atomic<int> style{0};

  // Title and text are cut to kEntryTextLimit characters. The newest entry
  // for an id wins.
  void add(MessageEntry entry);
  std::optional<MessageEntry> find(int id) const;

  int raise(ErrorContext& ctx, int id, const Status& lastError = {});
  int raiseWithFile(ErrorContext& ctx, int id, std::string_view table,
                    const Status& lastError = {});
  int raiseWithMessage(ErrorContext& ctx, int id, std::string_view text,
                       const Status& lastError = {});
  void setField(ErrorContext& ctx, std::string_view name) const;
  void setKey(ErrorContext& ctx, std::string_view name) const;

  // Shows the message with the caller's buttons and returns the button
  // pressed. The level only decides whether anything is shown; a fatal entry
  // asked this way does not stop the program.
  int ask(ErrorContext& ctx, int id, int buttons, int defaultButton, const Status& lastError = {});

  void registerProcedure(int thread, std::string name);
  // Removes the newest registration of that name on that thread.
  void unregisterProcedure(int thread, std::string_view name);
  // Empty when the thread has no procedure.
  std::string currentProcedure(int thread) const;

  // Replaces the placeholders of templateText with the context's values in one
  // left-to-right scan: an inserted value is never scanned again, so values
  // holding placeholder text appear as they are. Cut to kTextLimit characters.
  std::string buildText(const ErrorContext& ctx, const std::string& templateText) const;

 private:
  // Captures the last error and fills the context's current error.
  void prepare(ErrorContext& ctx, int id, const Status& lastError);
  const MessageEntry* findLocked(int id) const;
  std::string procedureLocked(int thread) const;
  MessageHost* visibleHost() const;

  std::atomic<MessageHost*> host_{nullptr};

  mutable std::mutex mutex_;
  std::vector<MessageEntry> catalogue_;
  struct Procedure {
    int thread;
    std::string name;
  };
  std::vector<Procedure> procedures_;
};

}  // namespace velmora
