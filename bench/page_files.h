#pragma once

// What writing a run's page files costs alone: the report benchmarks print
// it beside the run (`page_files_s`), so that their figure shows how much of
// a run goes to the file system (one file per page, created and, when the
// pages go, removed) rather than to reading records or laying out pages.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reports/report.h"

namespace velmora::bench {

// The bytes of every page of a run.
inline std::vector<std::string> pageBytes(const reports::PageFiles& pages) {
  std::vector<std::string> bytes;
  for (const std::string& file : pages.files()) {
    std::ifstream f(file, std::ios::binary);
    bytes.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  return bytes;
}

// Seconds to write `pages` as files of a fresh folder under `root`, one per
// page as a run names them, and to remove the folder.
inline double pageFilesSeconds(const std::vector<std::string>& pages,
                               const std::filesystem::path& root) {
  std::string folder;
  if (!reports::makeRunFolder(root.string(), folder)) std::abort();
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/HOJA%05d.WMF", int(i) + 1);
    const int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::write(fd, pages[i].data(), pages[i].size()) != ssize_t(pages[i].size()))
      std::abort();
    ::close(fd);
  }
  std::filesystem::remove_all(folder);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace velmora::bench
