#include "display/display_choice.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "process/wait_bound.h"
#include "tests/fixture.h"
#include "tests/scoped_env.h"

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

// An X server that has ended but is not yet reaped still holds its display for the next X
// server, which probes the lock's owner with signal 0 and refuses the display.
TEST_F(DisplayChoice, LockOfAnUnreapedServerHoldsItsDisplay) {
  pid_t zombie = fork();
  if (zombie == 0) _exit(0);
  ASSERT_GT(zombie, 0);
  siginfo_t info = {};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT), 0);
  AddLock(110, LockText(zombie));
  EXPECT_TRUE(IsDisplayTaken(110, root));
  EXPECT_EQ(ChooseFreeDisplay(":110", root), ":111");
  waitpid(zombie, nullptr, 0);
  EXPECT_FALSE(IsDisplayTaken(110, root));
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

TEST_F(DisplayChoice, LockFilesThatAreNoRegularFilesHoldTheirDisplay) {
  ASSERT_EQ(mkfifo((root + "/.X400-lock").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((root + "/.X401-lock").c_str(), 0755), 0);
  ASSERT_EQ(symlink("/dev/zero", (root + "/.X402-lock").c_str()), 0);
  // A huge lock file is read only to the limit and names no live process.
  WriteFile(root + "/.X403-lock", std::string(1 << 20, '7'));
  ASSERT_EQ(truncate((root + "/.X403-lock").c_str(), 100L << 20), 0);
  EXPECT_EQ(ChooseFreeDisplay(":400", root), ":403");
}

// The claims file of these tests lies in the bundle's own folder, never in the machine's /tmp.
class DisplayClaims : public DisplayChoice {
 protected:
  void SetUp() override {
    DisplayChoice::SetUp();
    claims = bundle.root + "/claims";
  }
  std::string claims;
};

TEST_F(DisplayClaims, ClaimsInAFileOfItsOwnAndStepsPastLiveClaims) {
  EXPECT_EQ(ClaimFreeDisplay(":500", root, claims), ":500");
  struct stat info;
  ASSERT_EQ(stat(claims.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "only its user reads and writes it";
  const std::string own = std::to_string(getpid());
  EXPECT_EQ(ReadFile(claims), "500 " + own + "\n");
  // This process lives, so its claim holds; a dead process's claim is dropped.
  WriteFile(claims, "500 " + own + "\n501 " + std::to_string(DeadProcessID()) + "\n");
  EXPECT_EQ(ClaimFreeDisplay(":500", root, claims), ":501");
  EXPECT_EQ(ReadFile(claims), "500 " + own + "\n501 " + own + "\n");
}

TEST_F(DisplayClaims, AClaimsFileItMayNotTrustIsLeftAsItIs) {
  const std::string victim = bundle.root + "/victim";
  const std::string victimText = "export PATH=/usr/bin\n";
  const struct {
    const char* name;
    std::function<void(const std::string&)> plant;
  } cases[] = {
      {"FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); }},
      {"second hard link", [&](const std::string& path) { ASSERT_EQ(link(victim.c_str(), path.c_str()), 0); }},
      {"symbolic link", [&](const std::string& path) { ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0); }},
      {"folder", [](const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0); }},
  };
  AddSocket(600);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(victim, victimText);
    ASSERT_EQ(chmod(victim.c_str(), 0644), 0);
    c.plant(claims);
    struct stat before;
    ASSERT_EQ(lstat(claims.c_str(), &before), 0);
    auto start = std::chrono::steady_clock::now();
    // Sockets and lock files alone choose the display.
    EXPECT_EQ(ClaimFreeDisplay(":600", root, claims), ":601");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2);
    struct stat after;
    ASSERT_EQ(lstat(claims.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    struct stat victimInfo;
    ASSERT_EQ(stat(victim.c_str(), &victimInfo), 0);
    EXPECT_EQ(victimInfo.st_mode & 07777, 0644u);
    EXPECT_EQ(ReadFile(victim), victimText);
    std::filesystem::remove_all(claims);
  }
}

TEST_F(DisplayClaims, AnotherOwnersFileKeepsItsModeAndContent) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another owner";
  const std::string text = "7 1\nnot ours\n";
  WriteFile(claims, text);
  ASSERT_EQ(chown(claims.c_str(), kNobodyUid, kNobodyGid), 0);
  ASSERT_EQ(chmod(claims.c_str(), 0640), 0);
  EXPECT_EQ(ClaimFreeDisplay(":700", root, claims), ":700");
  struct stat info;
  ASSERT_EQ(stat(claims.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, kNobodyUid);
  EXPECT_EQ(ReadFile(claims), text);
}

TEST_F(DisplayClaims, AHeldLockIsWaitedForAFewSecondsAtMost) {
  ScopedEnv bound(kWaitBoundVariable, "1");
  EXPECT_EQ(ClaimFreeDisplay(":800", root, claims), ":800");
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = open(claims.c_str(), O_RDWR);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    pause();
    _exit(0);
  }
  usleep(200000);
  auto start = std::chrono::steady_clock::now();
  // Its own claim on :800 is not read: the display is chosen by sockets and lock files alone.
  EXPECT_EQ(ClaimFreeDisplay(":800", root, claims), ":800");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.8);
  EXPECT_LT(seconds, 5);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

TEST(DisplayClaimsFile, LiesInAPlaceOfTheUsersOwn) {
  const std::string fallback = "/tmp/.quillon-displays-" + std::to_string(geteuid());
  const struct {
    const char* xdg;  // nullptr: unset
    const char* tmpdir;
    std::string file;
  } cases[] = {
      {"/run/user/1000", "/var/tmp", "/run/user/1000/.quillon-displays"},
      {nullptr, "/var/folders/ab/T/", "/var/folders/ab/T/.quillon-displays"},
      {"", "/var/folders/ab/T", "/var/folders/ab/T/.quillon-displays"},
      {"relative/dir", nullptr, fallback},
      {nullptr, nullptr, fallback},
      {"/", nullptr, "/.quillon-displays"},
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_RUNTIME_DIR", c.xdg ? c.xdg : "", c.xdg == nullptr);
    ScopedEnv tmpdir("TMPDIR", c.tmpdir ? c.tmpdir : "", c.tmpdir == nullptr);
    EXPECT_EQ(DisplayClaimsFile(), c.file) << (c.xdg ? c.xdg : "(unset)");
  }
}

}  // namespace
