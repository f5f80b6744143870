#pragma once

// Reading files from places the user chose (a transfer folder, a budget
// file, a settings file) without trusting what sits under the name: only
// a regular file of a sane size is opened, so that a FIFO never blocks the
// program, a device such as /dev/zero never fills its memory, and a file
// swapped in between the check and the open is noticed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dictionary/status.h"

namespace velmora::files {

inline constexpr std::uint64_t KiB = 1024, MiB = 1024 * KiB, GiB = 1024 * MiB;

// Whether `path` names a regular file of at most `maxBytes` bytes; a link
// is judged by what it points to. Nothing is opened. The refusal names the
// file in Spanish: missing (err::FileNotFound), without the right to read it
// (err::AccessDenied), a folder, a device, a pipe or a socket, or too large
// (err::InvalidDataFile).
Status checkRegularFile(const std::string& path, std::uint64_t maxBytes);

// Reads a checked file in chunks handed to `chunk`, which may stop the read
// by returning false (the read then fails with err::FileSystem). The file is opened without
// blocking and the opened descriptor checked again: still a regular file,
// the same one that was checked, within the size. At most `maxBytes` bytes
// are ever read, even from a file that grows meanwhile.
Status readRegularFile(const std::string& path, std::uint64_t maxBytes,
                       const std::function<bool(const char*, std::size_t)>& chunk);

// The whole file as text, by the same rules.
Status readRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& out);

}  // namespace velmora::files
