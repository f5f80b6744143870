#include "dictionary/file_locks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace velmora::files {

std::vector<int> lockHolders(const std::string& path) {
  std::vector<int> pids;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return pids;
  // Lines such as "3: POSIX  ADVISORY  WRITE 1234 08:01:5678 1073741825 1073741825";
  // a waiter's line has "->" after the number and holds nothing yet.
  std::ifstream in("/proc/locks");
  const int self = int(::getpid());
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::string number, kind, mode, access, device;
    int pid = 0;
    if (!(f >> number >> kind) || kind == "->") continue;
    if (!(f >> mode >> access >> pid >> device)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(device.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major != ::major(st.st_dev) || minor != ::minor(st.st_dev) || inode != st.st_ino) continue;
    if (pid == self || pid <= 0) continue;
    if (std::find(pids.begin(), pids.end(), pid) == pids.end()) pids.push_back(pid);
  }
  return pids;
}

}  // namespace velmora::files
