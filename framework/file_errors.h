#pragma once

// The catalogue message of a failed table operation: which one depends on
// the error and on what was being done.

#include "dictionary/status.h"
#include "framework/messages.h"

namespace velmora {

enum class FileAction { Open, Read, Add, Change, Delete, Transaction, BuildKeys };

// The message id for a failed operation.
int fileErrorMessage(const Status& st, FileAction action);

// Raises that message with the table, key or child table it names, and
// returns what the user answered.
int reportFileError(MessageService& messages, ErrorContext& ctx, const Status& st,
                    FileAction action);

}  // namespace velmora
