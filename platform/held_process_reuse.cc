// Run as PID 1 of a fresh PID namespace (unshare -p -f --mount-proc): holds a child, lets it end,
// makes the namespace give its ID to a new child (through /proc/sys/kernel/ns_last_pid), then
// signals what it holds. Exit 0 when the new child survived; 77 when reuse cannot be arranged.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/held_process.h"

namespace {

pid_t StartSleeper() {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

}  // namespace

int main() {
  pid_t first = StartSleeper();
  HeldProcess held = HoldProcess(first);
  if (held.pid != first || held.fd < 0) {
    std::printf("cannot hold %d by a pidfd\n", first);
    return 77;
  }
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  // The next process of this namespace gets the ended one's ID.
  FILE* last = std::fopen("/proc/sys/kernel/ns_last_pid", "w");
  if (last == nullptr) {
    std::printf("ns_last_pid cannot be written here\n");
    return 77;
  }
  std::fprintf(last, "%d", first - 1);
  std::fclose(last);
  pid_t second = StartSleeper();
  if (second != first) {
    std::printf("the ID was not reused (%d, then %d)\n", first, second);
    kill(second, SIGKILL);
    return 77;
  }
  const SignalResult result = SignalHeldProcess(held, SIGKILL);
  usleep(100000);
  int status = 0;
  const bool survived = waitpid(second, &status, WNOHANG) == 0;
  std::printf("signal through the held process: %s\n",
              result == SignalResult::kGone ? "gone" : "sent");
  if (survived) std::printf("the new process with the reused ID survived\n");
  kill(second, SIGKILL);
  waitpid(second, nullptr, 0);
  LetGoOfProcess(&held);
  return survived && result == SignalResult::kGone ? 0 : 1;
}
