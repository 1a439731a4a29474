#include "checker/instance_check.h"

#include <sys/stat.h>

#include <cstdio>

#include "process/instance_guard.h"
#include "process/snapshots.h"

Finding ClassifyInstance(bool exists, const std::string& firstLine, bool free,
                         const std::string& commandName) {
  Finding finding{Severity::kOk, kAreaInstance, "", ""};
  if (!exists) {
    finding.text = "no instance file yet: the wrapper is free";
  } else if (firstLine == "Not Running") {
    finding.text = "the instance file says \"Not Running\": the wrapper is free";
  } else if (firstLine.empty()) {
    finding.text = "the instance file's first line is empty: the wrapper is free";
  } else if (ParsePID(firstLine) <= 0) {
    finding.text = "the instance file's first line " + ShowValue(firstLine) +
                   " gives a process ID of 0 or below, which counts as free";
  } else if (free) {
    finding.severity = Severity::kNote;
    finding.text = "the instance file holds a stale claim by process " + std::to_string(ParsePID(firstLine)) +
                   ", which holds no claim on the wrapper (it has ended, or it is no launcher of it): it counts as free";
    finding.advice = "nothing to do; the next start overwrites it";
  } else {
    finding.severity = Severity::kError;
    finding.text = "the wrapper is claimed by the live process " + std::to_string(ParsePID(firstLine)) +
                   (commandName.empty() ? "" : " (" + commandName + ")") +
                   ": a start now is denied";
    finding.advice = "wait until that process has ended, or end it; if it is not a launcher of this wrapper, write \"Not Running\" into Contents/.AlreadyRunningPID";
  }
  return finding;
}

std::string ReadCommandName(int pid) {
  // ps is read through a pipe: the same on Linux and macOS, and nothing is written anywhere.
  const std::string command = "ps -o comm= -p " + std::to_string(pid) + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string name;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) name += buffer;
  pclose(pipe);
  while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
  return name;
}

Finding CheckInstance(const std::string& instanceFile) {
  struct stat info;
  const bool exists = stat(instanceFile.c_str(), &info) == 0;
  const InstanceState state = IsInstanceFree(instanceFile);
  // A start is denied only while a live launcher holds the claim's lock, whatever ID the file
  // names; the content decides alone where the lock cannot be probed.
  const std::optional<bool> held = IsClaimHeld(instanceFile);
  const bool free = held ? !*held : state.free;
  const int pid = ParsePID(state.firstLine);
  const std::string name = !free && pid > 0 ? ReadCommandName(pid) : "";
  return ClassifyInstance(exists, state.firstLine, free, name);
}
