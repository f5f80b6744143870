#pragma once

// Runs the velmora tool (or any command) as a user would, capturing what it
// prints.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace velmora::test {

struct CommandResult {
  int status;
  std::string out;
};

// Runs a shell command line, capturing its standard output.
inline CommandResult runCommand(const std::string& commandLine) {
  FILE* p = popen(commandLine.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int st = pclose(p);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

inline CommandResult runVelmora(const std::string& args, bool withErrors = true) {
  return runCommand(std::string(VELMORA_EXE) + " " + args +
                    (withErrors ? " 2>&1" : " 2>/dev/null"));
}

}  // namespace velmora::test
