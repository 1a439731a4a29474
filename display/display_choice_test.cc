#include "display/display_choice.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/fixture.h"

namespace {

// Returns the lock file text the X server writes: the ID right-aligned in ten columns.
std::string LockText(pid_t pid) {
  char text[32];
  std::snprintf(text, sizeof(text), "%10d\n", static_cast<int>(pid));
  return text;
}

// Returns the ID of a process that has ended and been reaped.
pid_t DeadProcessID() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

class DisplayChoice : public BundleTest {
 protected:
  void SetUp() override {
    BundleTest::SetUp();
    root = bundle.root + "/machine-tmp";
    mkdir(root.c_str(), 0755);
    mkdir((root + "/.X11-unix").c_str(), 0755);
  }
  void AddSocket(int n) { WriteFile(root + "/.X11-unix/X" + std::to_string(n), ""); }
  void AddLock(int n, const std::string& text) {
    WriteFile(root + "/.X" + std::to_string(n) + "-lock", text);
  }
  std::string root;
};

TEST_F(DisplayChoice, StepsPastTakenDisplays) {
  AddSocket(100);                      // served: socket
  AddLock(101, LockText(getpid()));    // served: lock of a live process
  AddLock(102, LockText(DeadProcessID()));  // stale lock: free
  AddLock(200, "garbage\n");           // unreadable lock: free
  AddSocket(7160);
  AddSocket(5);
  const struct {
    const char* first;
    const char* chosen;
  } cases[] = {
      {":99", ":99"},     // free: unchanged
      {":100", ":102"},   // socket, then live lock, then the stale lock's display
      {":101", ":102"},
      {":102", ":102"},
      {":200", ":200"},
      {":7160", ":6"},    // wraps past 7160 to 5, which is taken too
      {"", ""},           // no display text: unchanged
      {"host:100", "host:100"},
      {":1x", ":1x"},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseFreeDisplay(c.first, root), c.chosen) << c.first;
  EXPECT_TRUE(IsDisplayTaken(100, root));
  EXPECT_TRUE(IsDisplayTaken(101, root));
  EXPECT_FALSE(IsDisplayTaken(102, root));
}

// A server killed with signal 9 leaves its socket behind: only a socket that answers holds.
TEST_F(DisplayChoice, StaleSocketIsFreeListeningSocketIsTaken) {
  const struct {
    int n;
    bool listening;
  } sockets[] = {{300, true}, {301, false}};
  std::vector<int> open;
  for (const auto& s : sockets) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::string path = root + "/.X11-unix/X" + std::to_string(s.n);
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof(address)), 0) << path;
    if (s.listening) {
      ASSERT_EQ(listen(fd, 1), 0);
      open.push_back(fd);
    } else {
      close(fd);
    }
  }
  EXPECT_TRUE(IsDisplayTaken(300, root));
  EXPECT_FALSE(IsDisplayTaken(301, root));
  EXPECT_EQ(ChooseFreeDisplay(":300", root), ":301");
  for (int fd : open) close(fd);
}

TEST_F(DisplayChoice, GivesUpAfterAFewHundredTriesWithTheFirstChoice) {
  for (int n = 10; n < 1010; ++n) AddSocket(n);
  EXPECT_EQ(ChooseFreeDisplay(":10", root), ":10");
}

TEST(DisplayChoiceOnThisMachine, ReturnsAFreeDisplayText) {
  const std::string chosen = ChooseFreeDisplay(":4242");
  ASSERT_EQ(chosen[0], ':');
  EXPECT_FALSE(IsDisplayTaken(std::stoi(chosen.substr(1)), "/tmp"));
}

}  // namespace
