#include "bundle/shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/process_state.h"
#include "platform/quit_signals.h"

extern char** environ;

std::string EscapeForDoubleQuotes(const std::string& value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (char c : value) {
    if (c == '"' || c == '$' || c == '`' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string EscapeForAppleScript(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string QuoteForShell(const std::string& value) {
  return "\"" + EscapeForDoubleQuotes(value) + "\"";
}

namespace {

// Returns the ID of a /bin/sh -c command started as the leader of a new process group, so that
// the whole group can be ended without reaching the launcher or its parent; -1 on failure.
pid_t StartShellInOwnGroup(const std::string& command) {
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return -1;
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK));
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                  const_cast<char*>(command.c_str()), nullptr};
  pid_t shell = -1;
  int error = posix_spawn(&shell, "/bin/sh", nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    std::fprintf(stderr, "/bin/sh could not be started: %s\n", std::strerror(error));
    return -1;
  }
  return shell;
}

// Ends the process group that shell leads: SIGTERM, a grace for it to end, then SIGKILL to what
// still lives. The shell is reaped only at the end, so the group's ID cannot be reused before.
// Returns the shell's wait status.
int EndShellGroup(pid_t shell) {
  kill(-shell, SIGTERM);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(kQuitGraceSeconds));
  while (ProcessGroupHasLiveMember(shell) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (ProcessGroupHasLiveMember(shell)) kill(-shell, SIGKILL);
  int status = 0;
  while (waitpid(shell, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

int RunShellCommand(const std::string& command) {
  // The shell would get only the part before a NUL byte: a different command than the one composed.
  if (command.find('\0') != std::string::npos) {
    std::fprintf(stderr, "A command holding a NUL byte was not run: %s\n", command.c_str());
    return -1;
  }
  const bool quitBefore = QuitSignal() != 0;
  pid_t shell = StartShellInOwnGroup(command);
  if (shell < 0) return -1;
  int status = 0;
  // Only a quit that comes in while this command runs ends it; the clean-up after a quit runs.
  if (!quitBefore) return WaitForChildUnlessQuit(shell, &status) ? status : EndShellGroup(shell);
  while (waitpid(shell, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}
