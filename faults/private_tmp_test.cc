// Hostile entries in the machine-wide places a launcher looks at: the display claims file and
// the X11 lock files in /tmp. Each run happens in a mount namespace of its own with a fresh tmpfs
// on /tmp (the bundle's folder bound into it), so nothing lands in the machine's own /tmp. Each run
// ends within its bound with exit status 0 and leaves what it may not trust as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <set>

#include "display/x11_server.h"
#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const double kBound = 2;   // QUILLON_WAIT_SECONDS
const double kSlack = 10;  // what a run may take beyond its bound on a loaded machine

// Enters a new mount namespace with a tmpfs on /tmp and the bundle's folder bound back in place,
// sources $ROOT/plant.sh, runs the launcher ($1), then writes what $ROOT/inspect.sh prints into
// $ROOT/inspect.out; ends with the launcher's status.
const char kPrivateTmpScript[] =
    "set -e\n"
    "mount --make-rprivate /\n"
    "exec 9<\"$ROOT\"\n"
    "mount -t tmpfs -o mode=1777 quillon-private-tmp /tmp\n"
    "mkdir -p \"$ROOT\"\n"
    "mount --no-canonicalize --bind /proc/self/fd/9 \"$ROOT\"\n"
    "exec 9<&-\n"
    "cd \"$ROOT\"\n"
    ". \"$ROOT/plant.sh\"\n"
    "set +e\n"
    "\"$1\"\n"
    "status=$?\n"
    ". \"$ROOT/inspect.sh\" > \"$ROOT/inspect.out\" 2>&1\n"
    "exit $status\n";

// Returns true when this machine lets a test make a private /tmp.
bool CanMakePrivateTmp() {
  return geteuid() == 0 &&
         std::system("unshare -m /bin/sh -c 'mount --make-rprivate / && "
                     "mount -t tmpfs quillon-probe /tmp' >/dev/null 2>&1") == 0;
}

class FaultsPrivateTmp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CanMakePrivateTmp()) GTEST_SKIP() << "needs root and unshare -m to make a private /tmp";
  }
  void TearDown() override { RemoveTestBundle(bundle_); }

  // Runs Valnor in a private /tmp after plant (shell text) and returns the run; inspect (shell
  // text) then runs in the same /tmp and its output is in inspected_.
  TimedRun Run(const std::string& plant, const std::string& inspect) {
    RemoveTestBundle(bundle_);
    bundle_ = MakeFaultBundle();
    WriteFile(bundle_.root + "/plant.sh", plant + "\n");
    WriteFile(bundle_.root + "/inspect.sh", inspect + "\n");
    LaunchPlan plan = PlanFor(bundle_, "Valnor", kBound);
    plan.options.args = {"-m", "/bin/sh", "-c", kPrivateTmpScript, "sh", plan.program};
    plan.program = "/usr/bin/unshare";
    plan.argv0 = "unshare";
    plan.options.env["ROOT"] = bundle_.root;
    // The claims file's place: /tmp/.quillon-displays, the name every user once shared.
    plan.options.env["TMPDIR"] = "/tmp";
    plan.options.unsetEnv.push_back("XDG_RUNTIME_DIR");
    TimedRun run = RunTimed(plan, bundle_.root, 60);
    inspected_ = ReadFile(bundle_.root + "/inspect.out");
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_LT(run.seconds, 2 * kBound + kSlack);
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(RecordedCalls(bundle_, "wine"), 1) << run.result.err;
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
    return run;
  }

  // Returns the display the stand-in X11 server was given.
  std::string ServedDisplay() const {
    std::vector<std::string> words = RecordedArgs(bundle_, "QVX11Server");
    return words.empty() ? "" : words[0];
  }

  TestBundle bundle_;
  std::string inspected_;
};

const char kInspectClaims[] =
    "f=/tmp/.quillon-displays\n"
    "stat -c '%F %a %u %h' \"$f\"\n"
    "[ -f \"$f\" ] && cat \"$f\"\n"
    "echo --\n"
    "stat -c '%F %a %u %h' /tmp/victim 2>/dev/null\n"
    "cat /tmp/victim 2>/dev/null\n";

TEST_F(FaultsPrivateTmp, FreshClaimsFileIsTheUsersOwn) {
  Run("", kInspectClaims);
  const std::string display = ServedDisplay();
  ASSERT_FALSE(display.empty());
  // Made by this launcher: only its user may read and write it, and it holds the claim.
  EXPECT_EQ(inspected_.substr(0, inspected_.find('\n') + 1), "regular file 600 0 1\n");
  EXPECT_NE(inspected_.find("\n" + display.substr(1) + " "), std::string::npos) << inspected_;
}

TEST_F(FaultsPrivateTmp, ClaimsFileItMayNotTrustIsLeftAsItIs) {
  const struct {
    const char* name;
    const char* plant;
    const char* inspected;
  } cases[] = {
      {"FIFO", "mkfifo /tmp/.quillon-displays",
       "fifo 644 0 1\n--\n"},
      {"a file of nobody", "printf '9 1\\nnot ours\\n' > /tmp/.quillon-displays; "
                           "chown 65534:65534 /tmp/.quillon-displays; chmod 644 /tmp/.quillon-displays",
       "regular file 644 65534 1\n9 1\nnot ours\n--\n"},
      {"second hard link", "echo 'export PATH=/usr/bin' > /tmp/victim; chmod 644 /tmp/victim; "
                           "ln /tmp/victim /tmp/.quillon-displays",
       "regular file 644 0 2\nexport PATH=/usr/bin\n--\nregular file 644 0 2\nexport PATH=/usr/bin\n"},
      {"symbolic link", "echo 'export PATH=/usr/bin' > /tmp/victim; chmod 644 /tmp/victim; "
                        "ln -s /tmp/victim /tmp/.quillon-displays",
       "symbolic link 777 0 1\nexport PATH=/usr/bin\n--\nregular file 644 0 1\nexport PATH=/usr/bin\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Run(std::string("umask 022; ") + c.plant, kInspectClaims);
    EXPECT_EQ(inspected_, c.inspected);
    EXPECT_FALSE(ServedDisplay().empty());
  }
}

TEST_F(FaultsPrivateTmp, OddX11LockFiles) {
  // The plan repeats this program's own rand(); launchers built against another C library (the
  // 32-bit musl build) draw other displays from the same seed.
  if (BuiltLauncher("Valnor") != VALNOR_BINARY) {
    GTEST_SKIP() << "the launchers under test draw their displays from another C library's rand()";
  }
  // The displays SetDisplay gives for the seconds this test may take; each gets the odd lock file.
  std::set<std::string> planned;
  const std::time_t now = std::time(nullptr);
  for (std::time_t t = now - 2; t < now + 40; ++t) {
    std::srand(static_cast<unsigned>(t));
    planned.insert(DisplayForRandomValue(std::rand()).substr(1));
  }
  std::string numbers;
  for (const std::string& n : planned) numbers += " " + n;
  const struct {
    const char* name;
    std::string plant;
    bool holds;  // whether the planted lock file holds its display
  } cases[] = {
      {"FIFO", "for n in" + numbers + "; do mkfifo /tmp/.X$n-lock; done", true},
      {"folder", "for n in" + numbers + "; do mkdir /tmp/.X$n-lock; done", true},
      {"link to /dev/zero", "for n in" + numbers + "; do ln -s /dev/zero /tmp/.X$n-lock; done", true},
      {"100 MB file", "head -c 1048576 /dev/zero | tr '\\0' 7 > /tmp/big; truncate -s 100M /tmp/big; "
                      "for n in" + numbers + "; do ln /tmp/big /tmp/.X$n-lock; done", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Run(c.plant, "");
    const std::string display = ServedDisplay();
    ASSERT_FALSE(display.empty());
    EXPECT_EQ(planned.count(display.substr(1)) == 1, !c.holds) << display;
  }
}

}  // namespace
