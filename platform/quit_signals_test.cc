#include "platform/quit_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs body in a child that watches the quit signals, sends it signal after a short while, and
// returns the child's exit status (its body's verdict) or -1.
template <typename Body>
int RunWatchedChild(int signal, Body body) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    alarm(20);
    WatchQuitSignals();
    if (write(ready[1], "x", 1) != 1) _exit(100);
    _exit(body());
  }
  close(ready[1]);
  char byte;
  if (read(ready[0], &byte, 1) != 1) return -1;
  close(ready[0]);
  usleep(100000);
  kill(pid, signal);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(QuitSignalsTest, EachQuitSignalEndsAPauseAndIsNoted) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    auto start = std::chrono::steady_clock::now();
    int status = RunWatchedChild(signal, [signal] {
      if (QuitSignal() != 0) return 1;
      if (PauseUnlessQuit(10)) return 2;  // the pause must be cut short
      if (QuitSignal() != signal) return 3;
      if (PauseUnlessQuit(10)) return 4;  // and later pauses do not start
      return 0;
    });
    EXPECT_EQ(status, 0) << strsignal(signal);
    EXPECT_LT(SecondsSince(start), 5) << strsignal(signal);
  }
}

// The wait for a child ends when the child ends, or at once for a quit, also one that came in
// before the wait began; the child is left unreaped then.
TEST(QuitSignalsTest, TheWaitForAChildEndsWithItOrWithAQuit) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(20);
    WatchQuitSignals();
    pid_t quick = fork();
    if (quick == 0) _exit(5);
    int status = 0;
    if (!WaitForChildUnlessQuit(quick, &status) || !WIFEXITED(status) || WEXITSTATUS(status) != 5) {
      _exit(1);
    }
    pid_t slow = fork();
    if (slow == 0) {
      sleep(30);
      _exit(0);
    }
    raise(SIGINT);
    if (WaitForChildUnlessQuit(slow, &status)) _exit(2);
    if (waitpid(slow, &status, WNOHANG) != 0) _exit(3);  // still there, unreaped
    kill(slow, SIGKILL);
    waitpid(slow, &status, 0);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(QuitSignalsTest, AnIgnoredHangupStaysIgnored) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(20);
    signal(SIGHUP, SIG_IGN);  // as nohup leaves it
    WatchQuitSignals();
    raise(SIGHUP);
    _exit(QuitSignal() == 0 && PauseUnlessQuit(0.01) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(QuitSignalsTest, APauseWithoutASignalLastsItsTime) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(PauseUnlessQuit(0.2));
  EXPECT_GE(SecondsSince(start), 0.19);
}

}  // namespace
