#include "platform/held_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/process_state.h"

namespace {

// Returns a child that sleeps until it is killed.
pid_t StartSleeper() {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

TEST(HeldProcessTest, GroupIDsAndMissingProcessesAreNotHeld) {
  for (pid_t pid : {0, -1, -4000123, 4000123}) {
    HeldProcess held = HoldProcess(pid);
    EXPECT_EQ(held.pid, 0) << pid;
    EXPECT_EQ(SignalHeldProcess(held, 0), SignalResult::kGone) << pid;
    EXPECT_TRUE(HasHeldProcessEnded(held)) << pid;
    LetGoOfProcess(&held);
  }
}

TEST(HeldProcessTest, SignalsReachTheHeldProcessUntilItEnds) {
  pid_t pid = StartSleeper();
  ASSERT_GT(pid, 0);
  HeldProcess held = HoldProcess(pid);
  EXPECT_EQ(held.pid, pid);
#if defined(__linux__)
  ASSERT_GE(held.fd, 0) << "this kernel offers pidfds";
  EXPECT_TRUE(fcntl(held.fd, F_GETFD) & FD_CLOEXEC) << "no started command may inherit it";
#endif
  EXPECT_EQ(SignalHeldProcess(held, 0), SignalResult::kSent);
  EXPECT_FALSE(HasHeldProcessEnded(held));
  EXPECT_EQ(SignalHeldProcess(held, SIGKILL), SignalResult::kSent);
  // Killed but not reaped: a zombie counts as ended.
  auto start = std::chrono::steady_clock::now();
  while (!HasHeldProcessEnded(held) &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(HasHeldProcessEnded(held));
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(SignalHeldProcess(held, 0), SignalResult::kGone);
  EXPECT_EQ(SignalHeldProcess(held, SIGKILL), SignalResult::kGone);
  LetGoOfProcess(&held);
  EXPECT_EQ(held.fd, -1);
  EXPECT_EQ(held.pid, 0);
}

TEST(HeldProcessTest, AProcessOfAnotherUserIsNotPermitted) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  pid_t parent = getpid();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    HeldProcess held = HoldProcess(parent);
    if (held.pid != parent) _exit(3);
    _exit(SignalHeldProcess(held, SIGTERM) == SignalResult::kNotPermitted ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot switch to the user nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// In a PID namespace of its own, the helper holds a process, lets it end, has its ID given to a
// new process, and sends SIGKILL through what it holds: the new process must survive, where a
// kill() by ID would have killed it.
TEST(HeldProcessTest, AReusedIDIsNotReached) {
#if !defined(__linux__)
  GTEST_SKIP() << "pidfds are Linux's";
#else
  if (getuid() != 0 || std::system("command -v unshare > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs root and unshare for a PID namespace";
  }
  const std::string command =
      std::string("unshare -p -f --mount-proc ") + HELD_PROCESS_REUSE_BINARY + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
  int status = pclose(pipe);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << out;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
  EXPECT_NE(out.find("the new process with the reused ID survived"), std::string::npos) << out;
#endif
}

}  // namespace
