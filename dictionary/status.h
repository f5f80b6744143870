#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace velmora {

// Error codes in the platform's numbering, so that the message catalogue can
// substitute them as the users know them. Codes above 1000 are ours.
namespace err {
inline constexpr int None = 0;
inline constexpr int FileNotFound = 2;
inline constexpr int PathNotFound = 3;
inline constexpr int AccessDenied = 5;
inline constexpr int FileLocked = 32;
inline constexpr int NoRecord = 33;
inline constexpr int RecordNotFound = 35;
inline constexpr int InvalidDataFile = 36;
inline constexpr int FileNotOpen = 37;
inline constexpr int DuplicateKey = 40;
inline constexpr int KeysNeedRebuilding = 46;
inline constexpr int InvalidRecord = 47;
inline constexpr int FileAlreadyOpen = 52;
inline constexpr int RecordChanged = 89;
inline constexpr int FileSystem = 90;
// A value that the field cannot hold (character outside Windows-1252,
// number out of range, text that is not a number).
inline constexpr int ValueRefused = 1001;
// A parent whose children forbid the delete or the change of its linked fields.
inline constexpr int RestrictedDelete = 1002;
inline constexpr int RestrictedUpdate = 1003;
// The operation needs a transaction that the thread context cannot give it.
inline constexpr int TransactionRefused = 1004;
}  // namespace err

// Outcome of an operation that can fail at run time: a code and the Spanish
// text shown to the user. Success is code 0 with no text.
struct Status {
  int code = err::None;
  std::string text;
  // For file system errors (code 90): the underlying engine's own code and
  // text, which the messages show as the file error.
  std::string fileErrorCode;
  std::string fileError;
  // The table (label) and key the error concerns, for the messages that name them.
  std::string table;
  std::string key;
  // An open failed on a file that did not exist: it could not be created.
  bool creating = false;

  bool ok() const { return code == err::None; }
  explicit operator bool() const { return ok(); }

  static Status success() { return {}; }
  static Status error(int code, std::string text) {
    Status s;
    s.code = code;
    s.text = std::move(text);
    return s;
  }
  Status& on(std::string_view tableLabel) {
    table = tableLabel;
    return *this;
  }
};

}  // namespace velmora
