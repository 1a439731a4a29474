#include "display/x11_ready.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/fixture.h"
#include "tests/private_x11_sockets.h"
#include "tests/scoped_env.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(X11SocketPathTest, ADisplayNumberNamesItsSocket) {
  const struct {
    const char* display;
    const char* path;
  } cases[] = {{":5", "/tmp/.X11-unix/X5"}, {":7160", "/tmp/.X11-unix/X7160"},
               {":0", "/tmp/.X11-unix/X0"}, {"", ""}, {":", ""}, {"5", ""}, {":5.0", ""},
               {":x", ""}, {":-1", ""}, {":1/../../etc", ""}};
  for (const auto& c : cases) EXPECT_EQ(X11SocketPath(c.display), c.path) << c.display;
}

// A stand-in server for one display: the fixture's listener, started with a socket delay.
class X11ReadyTest : public BundleTest {
 protected:
  void SetUp() override {
    BundleTest::SetUp();
    if (!UsePrivateX11SocketFolder()) GTEST_SKIP() << "no private /tmp/.X11-unix here";
  }
  void TearDown() override {
    if (server_ > 0) {
      kill(server_, SIGKILL);
      waitpid(server_, nullptr, 0);
    }
    BundleTest::TearDown();
  }
  // Starts a listener on display's socket after delay ("never": it never listens).
  HeldProcess StartServer(const std::string& display, const std::string& delay) {
    server_ = fork();
    if (server_ == 0) {
      execl(X11_LISTENER_BINARY, "x11_listener", X11SocketPath(display).c_str(), delay.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    return HoldProcess(server_);
  }
  pid_t server_ = -1;
};

TEST_F(X11ReadyTest, WaitsUntilTheSocketAnswers) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "10");
  HeldProcess server = StartServer(":6101", "0.5");
  EXPECT_FALSE(DoesSocketAnswer(X11SocketPath(":6101")));
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitForDisplayToAnswer(":6101", server));
  EXPECT_GE(SecondsSince(start), 0.4);
  EXPECT_TRUE(DoesSocketAnswer(X11SocketPath(":6101")));
  EXPECT_FALSE(DoesSocketAnswer(X11SocketPath(":6102")));
  LetGoOfProcess(&server);
}

TEST_F(X11ReadyTest, NeverAnsweringGivesUpAtTheBound) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "1");
  HeldProcess server = StartServer(":6103", "never");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitForDisplayToAnswer(":6103", server));
  EXPECT_GE(SecondsSince(start), 0.9);
  EXPECT_LT(SecondsSince(start), 5);
  LetGoOfProcess(&server);
}

TEST_F(X11ReadyTest, AServerThatEndsFirstEndsTheWait) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "30");
  HeldProcess server = StartServer(":6104", "never");
  auto start = std::chrono::steady_clock::now();
  kill(server_, SIGKILL);  // not reaped: a zombie counts as ended
  EXPECT_FALSE(WaitForDisplayToAnswer(":6104", server));
  EXPECT_LT(SecondsSince(start), 5);
  EXPECT_FALSE(WaitForDisplayToAnswer(":6104", HeldProcess()));
  LetGoOfProcess(&server);
}

}  // namespace
