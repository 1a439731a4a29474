#include "tests/launch_helpers.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

std::string ValnorDenialLine(const std::string& firstLine) {
  return "Someone attempted to run Valnor while it was already running on PID number " +
         firstLine + " in the same wrapper! RUN DENIED!!\n";
}

std::string BrackenfoldDenialLine(const std::string& firstLine) {
  return "Someone attempted to run Brackenfold while something was already running on PID number " +
         firstLine + " in the same wrapper! RUN DENIED!!\n";
}

RunResult RunLauncher(const TestBundle& bundle, const std::string& program, RunOptions options) {
  std::string path = InstallLauncher(bundle, program);
  return RunProgram(path, path, options);
}

RunResult RunLauncher(const TestBundle& bundle, const std::string& program) {
  return RunLauncher(bundle, program, LauncherRunOptions(bundle));
}

bool HoldsEndedClaim(const TestBundle& bundle) {
  std::string content = ReadFile(bundle.paths.instanceFile);
  if (content.empty() || content.back() != '\n') return false;
  content.pop_back();
  if (content.find_first_not_of("0123456789") != std::string::npos) return false;
  pid_t pid = static_cast<pid_t>(std::atol(content.c_str()));
  return pid > 0 && kill(pid, 0) != 0;
}

int HoldInstanceLock(const TestBundle& bundle) {
  const int fd = open(bundle.paths.instanceFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  return fd;
}

pid_t WaitForNumberIn(const std::string& file, double seconds) {
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    const std::string text = ReadFile(file);
    if (!text.empty() && text.back() == '\n') return static_cast<pid_t>(std::atoi(text.c_str()));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}
