#include "framework/file_errors.h"

namespace velmora {

int fileErrorMessage(const Status& st, FileAction action) {
  // A missing file is created on first opening; when that fails, it is the
  // creation that is reported.
  if (action == FileAction::Open && st.creating) return 12;
  switch (st.code) {
    case err::DuplicateKey: return 15;
    case err::RestrictedDelete: return 33;
    case err::RestrictedUpdate: return 34;
    case err::RecordChanged: return 7;
    case err::KeysNeedRebuilding: return action == FileAction::BuildKeys ? 29 : 30;
    case err::FileNotOpen: return 42;
    case err::FileLocked:
      if (action == FileAction::Read) return 31;
      if (action == FileAction::Open) return 26;
      return 2;
    case err::AccessDenied:
      if (action == FileAction::Add || action == FileAction::Change || action == FileAction::Delete)
        return 2;
      break;
    default: break;
  }
  switch (action) {
    case FileAction::Open: return 26;
    case FileAction::Read: return 1;
    case FileAction::Add: return 4;
    case FileAction::Change: return 28;
    case FileAction::Delete: return 13;
    case FileAction::Transaction: return 24;
    case FileAction::BuildKeys: return 29;
  }
  return 1;
}

int reportFileError(MessageService& messages, ErrorContext& ctx, const Status& st,
                    FileAction action) {
  int id = fileErrorMessage(st, action);
  // The duplicate names its key as the message; every other names its table.
  if (id == 15) return messages.raiseWithMessage(ctx, id, st.key, st);
  messages.setKey(ctx, st.key);
  return messages.raiseWithFile(ctx, id, st.table, st);
}

}  // namespace velmora
