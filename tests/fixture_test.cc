// The fixture's own promises: the bundle's layout and stand-ins that record what they received.
#include "tests/fixture.h"

#include <gtest/gtest.h>

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"

#include <signal.h>

#include <iostream>

#include "tests/scoped_env.h"

namespace {

// Returns "ELF 32-bit" or "ELF 64-bit" by the class byte of an ELF file's header, else "not ELF".
std::string ElfClass(const std::string& content) {
  if (content.size() < 5 || content.compare(0, 4, "\x7f" "ELF") != 0) return "not ELF";
  return content[4] == 1 ? "ELF 32-bit" : content[4] == 2 ? "ELF 64-bit" : "not ELF";
}

// The bundle gets the launcher the run names (QUILLON_LAUNCHERS, else this build's own); the
// log shows each one's path and word size, so a run tells which programs it tested.
TEST_F(BundleTest, InstallsTheLauncherTheRunNames) {
  for (const std::string program : {"Valnor", "Brackenfold"}) {
    std::string from = BuiltLauncher(program);
    std::string content = ReadFile(from);
    ASSERT_FALSE(content.empty()) << from;
    EXPECT_EQ(ReadFile(InstallLauncher(bundle, program)), content) << program;
    std::cout << "launcher under test: " << from << " (" << ElfClass(content) << ")\n";
  }
  {
    ScopedEnv named(kLaunchersVariable, "/elsewhere/launchers");
    EXPECT_EQ(BuiltLauncher("Valnor"), "/elsewhere/launchers/Valnor");
    EXPECT_EQ(BuiltLauncher("Brackenfold"), "/elsewhere/launchers/Brackenfold");
  }
  ScopedEnv empty(kLaunchersVariable, "");
  EXPECT_EQ(BuiltLauncher("Valnor"), VALNOR_BINARY);
  EXPECT_EQ(BuiltLauncher("Brackenfold"), BRACKENFOLD_BINARY);
}

TEST_F(BundleTest, HoldsTheWrapperLayout) {
  const std::string& c = bundle.contents;
  for (const std::string& path :
       {c + "/Info.plist", c + "/MacOS/pidof", c + "/Resources/Logs",
        c + "/SharedSupport/Ambergate/bin/wine", c + "/SharedSupport/Ambergate/support/default/drive_c",
        c + "/MacOS/QVX11.app/.X11location", c + "/MacOS/QVX11.app/Contents/MacOS/QVX11Server",
        c + "/MacOS/QVX11.app/Contents/SharedSupport/X11/lib", c + "/SharedSupport/X11/lib",
        bundle.paths.driveC + "/Program Files/Example/Example.exe"}) {
    EXPECT_TRUE(CanOpenForReading(path)) << path;
  }
}

TEST_F(BundleTest, StandInsRecordWordsFolderAndEnvironment) {
  RunShellCommand("cd " + QuoteForShell(bundle.paths.macos) +
                  "; export PROBE='a b'; ./pidof \"QVX11Server\" > /dev/null 2>&1");
  EXPECT_EQ(RecordedArgs(bundle, "pidof"), std::vector<std::string>{"QVX11Server"});
  EXPECT_EQ(RecordedEnv(bundle, "pidof")["PROBE"], "a b");
  EXPECT_EQ(ReadFile(bundle.record + "/pidof.cwd"), ResolvedPath(bundle.paths.macos) + "\n");
  EXPECT_EQ(RecordedCalls(bundle, "pidof"), 1);
}

TEST_F(BundleTest, StandInServerIsListedWhileItLives) {
  RunShellCommand("cd " + QuoteForShell(bundle.paths.macos) +
                  "; ./QVX11.app/Contents/MacOS/QVX11Server :9 > /dev/null 2>&1 &");
  ASSERT_TRUE(WaitForStandIn(bundle, "QVX11Server", 10));
  std::vector<pid_t> live = LiveStandIns(bundle, "QVX11Server");
  ASSERT_EQ(live.size(), 1u);
  const std::string out = bundle.root + "/snapshot";
  RunShellCommand(ComposePidofCommand(bundle.paths.macos, "QVX11Server", out));
  EXPECT_EQ(ReadFile(out), std::to_string(live[0]) + "\n");
  kill(live[0], SIGKILL);
  EXPECT_TRUE(WaitForStandInsToEnd(bundle, 10));
  RunShellCommand(ComposePidofCommand(bundle.paths.macos, "QVX11Server", out));
  EXPECT_EQ(ReadFile(out), "");
}

}  // namespace
