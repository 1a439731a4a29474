// End-to-end: bundles built by the assembly tool around the sample program, started through
// the real launchers, run by Debian's Wine on the launcher's own Xvfb.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bundle/info_plist.h"
#include "bundle/shell.h"
#include "e2e/real_env.h"
#include "tests/fixture.h"

namespace fs = std::filesystem;

namespace {

const char kReportName[] = "sample-received.txt";

// Where the sample in a bundle built with --install-dir "/Program Files/Sample" reports.
std::string BundleReport(const std::string& contents) {
  return contents + "/SharedSupport/Ambergate/support/default/drive_c/Program Files/Sample/" +
         kReportName;
}

}  // namespace

// Runs first (CTest fixture): the tool creates the run's one Wine prefix with wineboot.
TEST(RealPrefix, ToolCreatesTheWinePrefixWithWineboot) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string output;
  ASSERT_EQ(RunBundleTool({"--program", QUILLON_SAMPLE, "--name", "Seed", "--dest", WorkFolder(),
                           "--x11", "xvfb", "--force"},
                          &output),
            0)
      << output;
  EXPECT_NE(output.find("creating the Wine prefix"), std::string::npos) << output;
  EXPECT_TRUE(fs::exists(SeedPrefix() + "/system.reg"));
  EXPECT_TRUE(fs::exists(SeedPrefix() + "/drive_c/Program Files/Seed/sample.exe"));
}

TEST(RealTool, BuildsTheWholeBundleWithTheFiveSettings) {
  fs::path fake = WorkFolder() + "/fake-prefix";
  fs::create_directories(fake / "drive_c");
  std::string output;
  ASSERT_EQ(RunBundleTool({"--program", QUILLON_BUNDLE_TOOL, "--name", "Layout", "--dest",
                           WorkFolder(), "--x11", "/bin/true", "--force", "--prefix-from",
                           fake.string(), "--install-dir", "/Games/Layout", "--workdir", "/Save",
                           "--flags", "-x \"two words\"", "--background", "--engine-requirement",
                           "Ambergate 8", "--desktop-folder", WorkFolder() + "/menu"},
                          &output),
            0)
      << output;
  std::string contents = WorkFolder() + "/Layout.app/Contents";
  LaunchConfig config = ReadLaunchConfig(contents + "/Info.plist");
  EXPECT_EQ(config.cmdLine, "/Games/Layout/quillon-bundle");
  EXPECT_EQ(config.workdir, "/Save");
  EXPECT_EQ(config.cmdLineFlags, "-x \"two words\"");
  EXPECT_EQ(config.engineRequirement, "Ambergate 8");
  EXPECT_EQ(config.quickX11KillShutdown, "false");
  for (const char* part : {"MacOS/Valnor", "MacOS/pidof", "MacOS/QVX11.app/.X11location",
                           "MacOS/QVX11.app/Contents/MacOS/QVX11Server",
                           "Brackenfold.app/Contents/MacOS/Brackenfold", "Resources/Logs",
                           "SharedSupport/Ambergate/bin/wine", "SharedSupport/X11/lib",
                           "SharedSupport/Ambergate/support/default/drive_c/Games/Layout/quillon-bundle"}) {
    EXPECT_TRUE(fs::exists(contents + "/" + part)) << part;
  }
  EXPECT_EQ(fs::read_symlink(contents + "/SharedSupport/X11").string(),
            "../MacOS/QVX11.app/Contents/SharedSupport/X11");
  EXPECT_NE(ReadFile(WorkFolder() + "/menu/quillon-Layout.desktop")
                .find("Exec=\"" + contents + "/MacOS/Valnor\""),
            std::string::npos);
}

TEST(RealTool, WorksFromAnInstallPrefix) {
  std::string prefix = WorkFolder() + "/installed";
  fs::remove_all(prefix);
  ASSERT_EQ(RunShellCommand(QuoteForShell(CMAKE_COMMAND) + " --install " +
                            QuoteForShell(PROJECT_BINARY_DIR) + " --prefix " +
                            QuoteForShell(prefix) + " > /dev/null"),
            0);
  for (const char* part : {"bin/quillon-bundle", "share/quillon/launchers/Valnor",
                           "share/quillon/launchers/Brackenfold", "bin/quillon-set-program",
                           "share/quillon/companions/linux/pidof",
                           "share/quillon/companions/linux/wine"}) {
    EXPECT_TRUE(fs::exists(prefix + "/" + part)) << part;
  }
  fs::create_directories(WorkFolder() + "/fake-prefix/drive_c");
  std::string output;
  std::string command = QuoteForShell(prefix + "/bin/quillon-bundle") + " --program " +
                        QuoteForShell(QUILLON_BUNDLE_TOOL) + " --name Installed --force --dest " +
                        QuoteForShell(WorkFolder()) + " --x11 /bin/true --prefix-from " +
                        QuoteForShell(WorkFolder() + "/fake-prefix") + " > /dev/null 2>&1";
  ASSERT_EQ(RunShellCommand(command), 0);
  EXPECT_EQ(ReadFile(WorkFolder() + "/Installed.app/Contents/MacOS/Valnor"),
            ReadFile(prefix + "/share/quillon/launchers/Valnor"));
}

TEST(RealTool, RefusesBadOptionsWithAClearMessage) {
  fs::create_directories(WorkFolder() + "/Taken.app");
  const std::string program = QUILLON_BUNDLE_TOOL;
  const std::string dest = WorkFolder();
  struct Case {
    std::vector<std::string> words;
    std::string message;
  } cases[] = {
      {{}, "--name is required when no --program is given"},
      {{"--name", "No Program", "--flags", "-x"}, "--install-dir, --workdir and --flags need --program"},
      {{"--program", dest + "/missing.exe"}, "is not a file"},
      {{"--program", program, "--bogus"}, "unknown option \"--bogus\""},
      {{"--program", program, "--name"}, "option --name needs a value"},
      {{"--program", program, "--name", "a/b"}, "must be a plain file name"},
      {{"--program", program, "--workdir", "relative"}, "--workdir must begin with \"/\""},
      {{"--program", program, "--flags", "a&b"}, "XML entity"},
      {{"--program", program, "--x11", "wayland"}, "--x11 takes auto, xvfb, xephyr"},
      {{"--program", program, "--dest", dest + "/nowhere"}, "does not exist"},
      {{"--program", program, "--dest", dest, "--name", "Taken", "--x11", "/bin/true"},
       "exists already; use --force"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunBundleTool(c.words, &output), 1) << output;
    EXPECT_NE(output.find(c.message), std::string::npos) << "wanted: " << c.message << "\ngot: " << output;
  }
  EXPECT_TRUE(fs::is_empty(WorkFolder() + "/Taken.app")) << "an existing bundle was touched";
}

TEST(RealCompanions, X11LinkServesADisplayThatPidofListsUntilKilled) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string contents = BuildSampleBundle("Companions", {});
  ASSERT_FALSE(contents.empty());
  std::vector<pid_t> before = BundleProcesses(contents, "QVX11Server");
  EXPECT_TRUE(before.empty());
  RunShellCommand("cd " + QuoteForShell(contents + "/MacOS") +
                  "; ./QVX11.app/Contents/MacOS/QVX11Server :4711 > /dev/null 2>&1 &");
  std::vector<pid_t> servers;
  for (int i = 0; i < 100 && servers.empty(); ++i) {
    usleep(100000);
    servers = BundleProcesses(contents, "QVX11Server");
  }
  ASSERT_EQ(servers.size(), 1u) << "the server did not show up as QVX11Server";
  int served = -1;
  for (int i = 0; i < 50 && served != 0; ++i, usleep(100000)) {
    served = RunShellCommand("xwininfo -display :4711 -root > /dev/null 2>&1");
  }
  EXPECT_EQ(served, 0) << "nothing serves display :4711";

  // The engine adapter runs the sample there; pidof finds Wine's server by "wineserver".
  std::string prefix = contents + "/SharedSupport/Ambergate/support/default";
  std::string exe = prefix + "/drive_c/Program Files/Companions/sample.exe";
  RunShellCommand("export WINEPREFIX=" + QuoteForShell(prefix) + " DISPLAY=:4711; " +
                  QuoteForShell(contents + "/SharedSupport/Ambergate/bin/wine") + " --workdir " +
                  QuoteForShell(prefix + "/drive_c") + " " + QuoteForShell(exe) +
                  " --seconds 1 direct > /dev/null 2>&1 &");
  std::vector<pid_t> wineservers;
  for (int i = 0; i < 300 && wineservers.empty(); ++i, usleep(100000)) {
    wineservers = BundleProcesses(contents, "wineserver");
  }
  EXPECT_EQ(wineservers.size(), 1u) << "pidof wineserver did not list Wine's server";
  std::string report = prefix + "/drive_c/Program Files/Companions/" + kReportName;
  for (int i = 0; i < 300 && ReadReport(report)["window"].empty(); ++i) usleep(100000);
  EXPECT_EQ(ReadReport(report)["argument 3"], "direct");
  EXPECT_EQ(ReadReport(report)["working folder"], "C:\\");
  EXPECT_EQ(ReadReport(report)["DISPLAY"], ":4711");
  EXPECT_EQ(ReadReport(report)["window"], "shown and closed");
  kill(servers[0], SIGKILL);
  EXPECT_TRUE(WaitForBundleServersToEnd(contents, 20));
}

TEST(RealValnor, QuickModeRunsTheSampleOnItsOwnDisplayAndShowsItsWindow) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string contents = BuildSampleBundle(
      "Quick Sample", {"--install-dir", "/Program Files/Sample", "--workdir", "/Quillon Work",
                       "--flags", "--seconds 6 first \"two words\"", "--quick"});
  ASSERT_FALSE(contents.empty());
  std::string valnor = contents + "/MacOS/Valnor";
  std::string out = WorkFolder() + "/quick.out", err = WorkFolder() + "/quick.err";
  pid_t launcher = StartProgram(valnor, valnor, RealLauncherRunOptions(), out, err);
  ASSERT_TRUE(WaitForReport(BundleReport(contents), 90)) << ReadFile(err);
  std::string display = ReadReport(BundleReport(contents))["DISPLAY"];
  ASSERT_TRUE(WaitForWindow(display, "Quillon sample", 20)) << "no sample window on " << display;
  usleep(700000);  // let the window paint
  std::string picture = ArtifactFolder() + "/valnor-quick-window.png";
  ASSERT_TRUE(TakeScreenshot(display, picture));
  EXPECT_GT(SampleColourShare(picture), 0.02) << "the sample window is not in " << picture;

  RunResult result = WaitProgram(launcher, 120, out, err);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  std::map<std::string, std::string> report = ReadReport(BundleReport(contents));
  EXPECT_EQ(report["arguments"], "4");
  EXPECT_EQ(report["argument 3"], "first");
  EXPECT_EQ(report["argument 4"], "two words");
  EXPECT_EQ(report["working folder"], "C:\\Quillon Work");
  EXPECT_EQ(report["window"], "shown and closed") << "the launcher returned before the program ended";
  ExpectCleanEnd(contents);
}

TEST(RealValnor, BackgroundModeWaitsForTheWineServer) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string contents = BuildSampleBundle(
      "Background Sample",
      {"--install-dir", "/Program Files/Sample", "--flags", "--seconds 2 bg", "--background"});
  ASSERT_FALSE(contents.empty());
  std::string valnor = contents + "/MacOS/Valnor";
  RunResult result = RunProgram(valnor, valnor, RealLauncherRunOptions());
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  std::map<std::string, std::string> report = ReadReport(BundleReport(contents));
  EXPECT_EQ(report["argument 3"], "bg");
  EXPECT_EQ(report["working folder"], "C:\\Program Files\\Sample");
  EXPECT_EQ(report["window"], "shown and closed");
  EXPECT_EQ(report["DISPLAY"].rfind(":", 0), 0u);
  // The launcher returned only after the Wine server had ended, so it is gone already.
  EXPECT_TRUE(BundleProcesses(contents, "wineserver").empty());
  ExpectCleanEnd(contents);
}

// Brackenfold runs the sample as an installer chosen in the file dialog: once through a
// stand-in zenity that prints the path, once through the real zenity on an Xvfb display.
class RealBrackenfold : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_REAL_RUNS();
    contents = BuildSampleBundle("Installer Sample", {"--quick"});
    ASSERT_FALSE(contents.empty());
    media = WorkFolder() + "/Installer Media";
    fs::create_directories(media);
    installer = media + "/setup.exe";
    fs::copy_file(QUILLON_SAMPLE, installer, fs::copy_options::overwrite_existing);
    fs::remove(media + "/" + kReportName);
  }
  void TearDown() override {
    if (desktopServer > 0) kill(desktopServer, SIGKILL);
  }

  // Expects the installer to have run on the launcher's own display, in its own folder.
  void ExpectInstallerRan(const std::string& dialogDisplay) {
    std::map<std::string, std::string> report = ReadReport(media + "/" + kReportName);
    EXPECT_EQ(report["arguments"], "0");
    EXPECT_NE(report["working folder"].find("Installer Media"), std::string::npos);
    EXPECT_EQ(report["DISPLAY"].rfind(":", 0), 0u);
    EXPECT_NE(report["DISPLAY"], dialogDisplay) << "the installer ran on the dialog's display";
    EXPECT_EQ(report["window"], "shown and closed");
    EXPECT_FALSE(PathExists(contents + "/MacOS/QVTempfile")) << "the scratch file is left";
    ExpectCleanEnd(contents);
  }

  std::string contents, media, installer;
  pid_t desktopServer = 0;
};

TEST_F(RealBrackenfold, RunsTheInstallerChosenThroughAStandInZenity) {
  std::string bin = WorkFolder() + "/stand-in-zenity";
  fs::create_directories(bin);
  WriteFile(bin + "/zenity", "#!/bin/sh\nprintf '%s\\n' " + QuoteForShell(installer) + "\n");
  fs::permissions(bin + "/zenity", fs::perms::owner_all);
  RunOptions options = RealLauncherRunOptions();
  options.env["PATH"] = bin + ":" + std::getenv("PATH");
  options.env["DISPLAY"] = ":stand-in";
  options.unsetEnv = {"WAYLAND_DISPLAY"};
  std::string brackenfold = contents + "/Brackenfold.app/Contents/MacOS/Brackenfold";
  RunResult result = RunProgram(brackenfold, brackenfold, options);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  ExpectInstallerRan(":stand-in");
}

TEST_F(RealBrackenfold, RunsTheInstallerChosenInTheRealZenityDialog) {
  if (FindExecutable("zenity").empty() || FindExecutable("xdotool").empty()) {
    GTEST_SKIP() << "skipped: zenity or xdotool is not installed (scripts/install-deps real)";
  }
  std::string display = StartTestDisplay(140, &desktopServer);
  ASSERT_FALSE(display.empty()) << "could not start an Xvfb for the dialog";
  RunOptions options = RealLauncherRunOptions();
  options.env["DISPLAY"] = display;
  options.unsetEnv = {"WAYLAND_DISPLAY"};
  std::string brackenfold = contents + "/Brackenfold.app/Contents/MacOS/Brackenfold";
  std::string out = WorkFolder() + "/zenity.out", err = WorkFolder() + "/zenity.err";
  pid_t launcher = StartProgram(brackenfold, brackenfold, options, out, err);
  bool driven = ChooseInFileDialog(display, installer);
  EXPECT_TRUE(driven) << "the file dialog did not show up on " << display;
  RunResult result = WaitProgram(launcher, 90, out, err);
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  ExpectInstallerRan(display);
}
