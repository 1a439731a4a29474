// Fuzzes the display claims file: the first two bytes choose the display asked for, the rest is
// the claims file's content. The chosen display is one that no live claim names, and the file is
// rewritten to the live claims followed by this process's own.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <sstream>

#include "display/display_choice.h"
#include "fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile claimsFile;
  const std::string& claims = claimsFile.path;
  // An X11 root that holds no sockets or lock files: only the claims decide.
  static const std::string root = claims + ".root";
  static const bool made = mkdir(root.c_str(), 0700) == 0 || errno == EEXIST;
  if (!made || size < 2) return 0;
  const int asked = 5 + (data[0] * 256 + data[1]) % 7156;
  const std::string content(reinterpret_cast<const char*>(data) + 2, size - 2);
  WriteFuzzFile(claims, content);

  const std::string chosen = ClaimFreeDisplay(":" + std::to_string(asked), root, claims);
  if (chosen.size() < 2 || chosen[0] != ':') std::abort();
  const int n = std::atoi(chosen.c_str() + 1);
  if (n < 5 || n > 7160) std::abort();

  // Every line kept is "«number» «ID»"; the last is this process's claim on the chosen display.
  std::istringstream kept(ReadRegularFile(claims).value_or(""));
  std::vector<std::string> lines;
  for (std::string line; std::getline(kept, line);) lines.push_back(line);
  if (lines.empty() || lines.back() != std::to_string(n) + " " + std::to_string(getpid())) std::abort();
  lines.pop_back();
  std::set<int> live;
  for (const std::string& line : lines) {
    std::istringstream fields(line);
    int number = 0;
    long pid = 0;
    std::string rest;
    if (!(fields >> number >> pid) || (fields >> rest) || pid <= 0) std::abort();
    live.insert(number);
  }
  // Seven thousand claims could fill every display; short of that, a claimed one is never chosen.
  if (live.size() < 7000 && live.count(n) != 0) std::abort();
  return 0;
}
