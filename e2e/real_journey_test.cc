// End-to-end: a bundle made without a program, real NSIS installers chosen in Brackenfold's
// zenity dialog and run by Debian's Wine, the programs they installed listed and made the
// bundle's program, and Valnor running them; 32-bit and 64-bit programs alike.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bundle/info_plist.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "e2e/real_env.h"
#include "tests/fixture.h"

namespace fs = std::filesystem;

namespace {

const char kPrefixPart[] = "/SharedSupport/Ambergate/support/default/drive_c";
const char kUserMenu[] = "/users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs";
const char kCommonMenu[] = "/ProgramData/Microsoft/Windows/Start Menu/Programs";

// A silent installer: acme.exe and acmetool.exe with an uninstaller, a shortcut for each in the
// user's and the common Start Menu.
const char kSilentInstaller[] = R"(Unicode true
Name "Acme"
OutFile "acme-setup.exe"
InstallDir "$PROGRAMFILES\Acme"
RequestExecutionLevel admin
SilentInstall silent
Section
  SetOutPath "$INSTDIR"
  File "/oname=acme.exe" "sample32.exe"
  File "/oname=acmetool.exe" "sample32.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateDirectory "$SMPROGRAMS\Acme"
  CreateShortCut "$SMPROGRAMS\Acme\Acme.lnk" "$INSTDIR\acme.exe"
  CreateShortCut "$SMPROGRAMS\Acme\Uninstall Acme.lnk" "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Acme Tools"
  CreateShortCut "$SMPROGRAMS\Acme Tools\Acme Tool.lnk" "$INSTDIR\acmetool.exe"
SectionEnd
Section "Uninstall"
SectionEnd
)";

// An installer with pages (the folder, then the progress): bravo.exe and an uninstaller, no
// shortcut at all.
const char kPagedInstaller[] = R"(Unicode true
Name "Bravo Tools"
OutFile "bravo-setup.exe"
InstallDir "$PROGRAMFILES\Bravo Tools"
RequestExecutionLevel admin
Page directory
Page instfiles
Section
  SetOutPath "$INSTDIR"
  File "/oname=bravo.exe" "sample32.exe"
  WriteUninstaller "$INSTDIR\unins000.exe"
SectionEnd
Section "Uninstall"
SectionEnd
)";

// Runs program with words through the shell; fills *out and *err apart; returns its status.
int RunApart(const std::string& program, const std::vector<std::string>& words, std::string* out,
             std::string* err) {
  std::string command = QuoteForShell(program);
  for (const std::string& word : words) command += " " + QuoteForShell(word);
  const std::string outFile = WorkFolder() + "/apart.out", errFile = WorkFolder() + "/apart.err";
  int status = RunShellCommand(command + " > " + QuoteForShell(outFile) + " 2> " + QuoteForShell(errFile));
  *out = ReadFile(outFile);
  *err = ReadFile(errFile);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunToolApart(const std::vector<std::string>& words, std::string* out, std::string* err) {
  return RunApart(QUILLON_BUNDLE_TOOL, words, out, err);
}

// Runs wrapper-check on the bundle; returns its status, fills *report with what it printed.
int RunWrapperCheck(const std::string& bundle, std::string* report) {
  std::string err;
  int status = RunApart(WRAPPER_CHECK_BINARY, {bundle}, report, &err);
  *report += err;
  return status;
}

// Places a copy of the shortcut file below drive_c at path.
void PlaceShortcut(const std::string& driveC, const std::string& path, const std::string& name) {
  fs::create_directories(fs::path(driveC + path).parent_path());
  fs::copy_file(std::string(QUILLON_E2E_SHORTCUTS) + "/" + name, driveC + path,
                fs::copy_options::overwrite_existing);
}

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, "MZ stand-in\n");
}

}  // namespace

// Without Wine: a bundle made without a program, then what came later listed by source.
TEST(RealTool, BuildsABundleWithoutAProgramAndListsWhatCameLater) {
  if (FindExecutable("lnkinfo").empty()) GTEST_SKIP() << "skipped: lnkinfo is not installed (scripts/install-deps real)";
  fs::path fake = WorkFolder() + "/programs-prefix";
  fs::remove_all(fake);
  Touch(fake.string() + "/drive_c/windows/system32/notepad.exe");
  Touch(fake.string() + "/drive_c/Program Files/Old/old.exe");
  std::string out, err;
  ASSERT_EQ(RunToolApart({"--name", "No Program", "--dest", WorkFolder(), "--x11", "/bin/true",
                          "--force", "--prefix-from", fake.string()},
                         &out, &err),
            0)
      << out << err;
  EXPECT_NE(out.find("the bundle has no program yet; next, open its Brackenfold"), std::string::npos) << out;
  const std::string app = WorkFolder() + "/No Program.app";
  const std::string contents = app + "/Contents", driveC = contents + kPrefixPart;
  EXPECT_FALSE(FileHasLine(contents + "/Info.plist", "\t<key>QVOEMCmdLine</key>"));
  EXPECT_EQ(ReadLaunchConfig(contents + "/Info.plist").engineRequirement, "Ambergate");
  EXPECT_EQ(ReadFile(contents + "/Resources/ProgramsBaseline.txt"), "/Program Files/Old/old.exe\n");

  // What an installer might leave: programs, uninstallers, shortcuts, one leading nowhere.
  for (const char* file : {"/Program Files (x86)/Acme/acme.exe", "/Program Files (x86)/Acme/uninstall.exe",
                           "/Program Files (x86)/Acme/ACME2.EXE", "/Program Files (x86)/Bravo Tools/bravo.exe",
                           "/Program Files (x86)/Bravo Tools/unins000.exe", "/windows/new.exe",
                           "/Program Files (x86)/Bravo Tools/readme.txt"}) {
    Touch(driveC + file);
  }
  PlaceShortcut(driveC, std::string(kUserMenu) + "/Acme/Acme.lnk", "acme.lnk");
  PlaceShortcut(driveC, std::string(kUserMenu) + "/Acme/Uninstall Acme.lnk", "uninstall-acme.lnk");
  PlaceShortcut(driveC, std::string(kCommonMenu) + "/Acme Tools/Acme Tool.lnk", "acme-tool.lnk");
  ASSERT_EQ(RunToolApart({"programs", app}, &out, &err), 0) << err;
  EXPECT_EQ(out,
            "/Program Files (x86)/Acme/acme.exe\tStart Menu shortcut " + std::string(kUserMenu) + "/Acme/Acme.lnk\n"
            "/Program Files (x86)/Acme/ACME2.EXE\tnew since the bundle was made\n"
            "/Program Files (x86)/Bravo Tools/bravo.exe\tnew since the bundle was made\n");
  EXPECT_NE(err.find("Acme Tool.lnk leads to /Program Files (x86)/Acme/acmetool.exe, which is not a file below drive_c"),
            std::string::npos) << err;

  // The listed path is what set-program takes; wrapper-check passes afterwards.
  ASSERT_EQ(RunToolApart({"set-program", app, "/Program Files (x86)/Bravo Tools/bravo.exe"}, &out, &err), 0) << err;
  EXPECT_EQ(ReadLaunchConfig(contents + "/Info.plist").cmdLine, "/Program Files (x86)/Bravo Tools/bravo.exe");
  std::string check;
  EXPECT_EQ(RunWrapperCheck(app, &check), 0) << check;
  EXPECT_EQ(RunToolApart({"programs", WorkFolder() + "/nowhere.app"}, &out, &err), 1);
  EXPECT_NE(err.find("is not a wrapper bundle with a Wine prefix"), std::string::npos) << err;
}

// A linked prefix shares its files with the source, but not the registry files that Wine
// rewrites in place at every run.
TEST(RealTool, LinkedPrefixGetsRegistryFilesOfItsOwn) {
  fs::path source = WorkFolder() + "/linked-source";
  fs::remove_all(source);
  Touch(source.string() + "/drive_c/Program Files/Old/old.exe");
  WriteFile(source.string() + "/user.reg", "WINE REGISTRY Version 2\n");
  WriteFile(source.string() + "/system.reg", "WINE REGISTRY Version 2\n");
  std::string out, err;
  ASSERT_EQ(RunToolApart({"--name", "Linked", "--dest", WorkFolder(), "--x11", "/bin/true", "--force",
                          "--prefix-from", source.string(), "--link-prefix"},
                         &out, &err),
            0)
      << out << err;
  const std::string prefix = WorkFolder() + "/Linked.app/Contents/SharedSupport/Ambergate/support/default";
  EXPECT_TRUE(fs::equivalent(prefix + "/drive_c/Program Files/Old/old.exe",
                             source / "drive_c/Program Files/Old/old.exe"));
  for (const char* reg : {"/user.reg", "/system.reg"}) {
    EXPECT_FALSE(fs::equivalent(prefix + reg, source.string() + reg)) << reg << " is shared with the source";
    EXPECT_EQ(ReadFile(prefix + reg), "WINE REGISTRY Version 2\n");
  }
}

// The engine adapter reads the program's PE header and says in LastWine.log when this machine's
// Wine has no loader for its architecture; with one, that loader runs it.
TEST(RealAdapter, SaysInTheLogWhenTheProgramsArchitectureHasNoWine) {
  if (FindExecutable("Xvfb").empty()) GTEST_SKIP() << "skipped: Xvfb is not installed (scripts/install-deps real)";
  if (std::string(QUILLON_SAMPLE32).empty() || std::string(QUILLON_SAMPLE).empty()) {
    GTEST_SKIP() << "skipped: the samples were not built (mingw-w64 missing)";
  }
  const struct {
    const char* program;
    const char* loader;  // the only loader in the stand-in Wine folder
    std::string logged;
  } cases[] = {
      {QUILLON_SAMPLE32, "wine64", "is a 32-bit Windows program, but this machine's Wine cannot run 32-bit programs"},
      {QUILLON_SAMPLE, "wine", "is a 64-bit Windows program, but this machine's Wine cannot run 64-bit programs"},
      {QUILLON_SAMPLE32, "wine", "loader wine ran"},
      {QUILLON_SAMPLE, "wine64", "loader wine64 ran"},
  };
  fs::path fake = WorkFolder() + "/adapter-prefix";
  fs::create_directories(fake / "drive_c");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " with only " + c.loader);
    std::string output;
    ASSERT_EQ(RunBundleTool({"--program", c.program, "--name", "Adapter", "--dest", WorkFolder(), "--x11", "xvfb",
                             "--force", "--prefix-from", fake.string()},
                            &output),
              0)
        << output;
    const std::string contents = WorkFolder() + "/Adapter.app/Contents";
    const std::string loaders = WorkFolder() + "/loaders";
    fs::remove_all(loaders);
    fs::create_directories(loaders);
    WriteFile(loaders + "/" + c.loader, std::string("#!/bin/sh\necho \"loader ") + c.loader + " ran $1\"\n");
    fs::permissions(loaders + "/" + c.loader, fs::perms::owner_all);
    RunOptions options = RealLauncherRunOptions();
    options.env["QUILLON_WINE_DIR"] = loaders;
    options.unsetEnv.push_back("QUILLON_WINE");
    const std::string valnor = contents + "/MacOS/Valnor";
    RunResult result = RunProgram(valnor, valnor, options);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string log = ReadFile(contents + "/Resources/Logs/LastWine.log");
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_TRUE(WaitForBundleServersToEnd(contents, 20));
    // The launcher picks its display from the clock's second: the next case starts in another
    // second, so it does not pick the display whose killed server may not yet be reaped.
    sleep(2);
  }
}

// Both architectures run through Valnor under Debian's Wine.
TEST(RealArchitectures, A32BitAndA64BitProgramBothRunThroughValnor) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string missing = MissingForInstallerRuns();
  if (!missing.empty()) GTEST_SKIP() << "skipped: " << missing;
  for (const std::string bits : {"32", "64"}) {
    SCOPED_TRACE(bits + "-bit");
    const std::string program = bits == "32" ? QUILLON_SAMPLE32 : QUILLON_SAMPLE;
    std::string contents = BuildSampleBundle("Sample " + bits, {"--program", program, "--install-dir", "/Program Files/Sample",
                                                                "--flags", "--seconds 1 bits" + bits, "--quick"});
    ASSERT_FALSE(contents.empty());
    const std::string valnor = contents + "/MacOS/Valnor";
    RunResult result = RunProgram(valnor, valnor, RealLauncherRunOptions());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    std::map<std::string, std::string> report =
        ReadReport(contents + kPrefixPart + "/Program Files/Sample/sample-received.txt");
    EXPECT_EQ(report["argument 3"], "bits" + bits) << ReadFile(contents + "/Resources/Logs/LastWine.log");
    EXPECT_EQ(report["window"], "shown and closed");
    ExpectCleanEnd(contents);
  }
}

// The journey of the README: make a bundle, run two installers through Brackenfold's dialog,
// list what they installed, make each the bundle's program and run it through Valnor.
class RealJourney : public ::testing::Test {
 protected:
  void TearDown() override {
    if (desktopServer > 0) kill(desktopServer, SIGKILL);
  }

  // Starts Brackenfold with the dialog on the test's display and chooses installer in it.
  pid_t ChooseInBrackenfold(const std::string& installer, const std::string& name) {
    RunOptions options = RealLauncherRunOptions();
    options.env["DISPLAY"] = dialogDisplay;
    options.unsetEnv = {"WAYLAND_DISPLAY"};
    const std::string brackenfold = contents + "/Brackenfold.app/Contents/MacOS/Brackenfold";
    pid_t launcher = StartProgram(brackenfold, brackenfold, options, Out(name), Err(name));
    EXPECT_TRUE(ChooseInFileDialog(dialogDisplay, installer)) << "the file dialog did not show up";
    return launcher;
  }

  // Runs the bundle's Valnor to its end; returns the program's report.
  std::map<std::string, std::string> RunValnor(const std::string& reportPath) {
    fs::remove(reportPath);
    const std::string valnor = contents + "/MacOS/Valnor";
    RunResult result = RunProgram(valnor, valnor, RealLauncherRunOptions());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return ReadReport(reportPath);
  }

  std::string Out(const std::string& name) { return WorkFolder() + "/journey-" + name + ".out"; }
  std::string Err(const std::string& name) { return WorkFolder() + "/journey-" + name + ".err"; }

  std::string contents, dialogDisplay;
  pid_t desktopServer = 0;
};

TEST_F(RealJourney, InstallersThroughBrackenfoldThenProgramsAndSetProgramThenValnor) {
  SKIP_WITHOUT_REAL_RUNS();
  std::string missing = MissingForInstallerRuns();
  if (!missing.empty()) GTEST_SKIP() << "skipped: " << missing;
  const std::string media = WorkFolder() + "/Journey Media";
  const std::string silent = BuildInstaller(media, kSilentInstaller, "acme-setup.exe");
  const std::string paged = BuildInstaller(media, kPagedInstaller, "bravo-setup.exe");
  ASSERT_FALSE(silent.empty() || paged.empty());
  // Wine makes no menu entries on this machine for the shortcuts installed in the bundle.
  const char* home = std::getenv("HOME");
  const std::string hostEntry = std::string(home ? home : "/nonexistent") +
                                "/.local/share/applications/wine/Programs/Acme/Acme.desktop";
  fs::remove(hostEntry);

  // Make a bundle without a program.
  std::string out, err;
  ASSERT_EQ(RunToolApart({"--name", "Journey", "--dest", WorkFolder(), "--x11", "xvfb", "--force",
                          "--prefix-from", SeedPrefix(), "--link-prefix"},
                         &out, &err),
            0)
      << out << err;
  const std::string app = WorkFolder() + "/Journey.app";
  contents = app + "/Contents";
  const std::string driveC = contents + kPrefixPart;
  dialogDisplay = StartTestDisplay(160, &desktopServer);
  ASSERT_FALSE(dialogDisplay.empty()) << "could not start an Xvfb for the dialog";

  // Brackenfold runs the silent installer chosen in its dialog.
  pid_t launcher = ChooseInBrackenfold(silent, "silent");
  RunResult result = WaitProgram(launcher, 120, Out("silent"), Err("silent"));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  ASSERT_TRUE(fs::exists(driveC + "/Program Files (x86)/Acme/acme.exe"))
      << ReadFile(contents + "/Resources/Logs/LastWine.log");
  EXPECT_TRUE(WaitForBundleServersToEnd(contents, 30));

  // Brackenfold runs the installer with pages; Return goes through them on the bundle's display.
  launcher = ChooseInBrackenfold(paged, "paged");
  const std::string display = WaitForBundleWindow(contents, "Bravo Tools Setup", 90);
  ASSERT_FALSE(display.empty()) << "no installer window on the bundle's X server\n"
                                << ReadFile(contents + "/Resources/Logs/LastWine.log");
  EXPECT_NE(display, dialogDisplay);
  usleep(1500000);  // let the page paint
  EXPECT_TRUE(TakeScreenshot(display, ArtifactFolder() + "/brackenfold-installer-window.png"));
  EXPECT_TRUE(PressReturnUntilGone(display, "Bravo Tools Setup", 10)) << "the installer's pages did not close";
  result = WaitProgram(launcher, 120, Out("paged"), Err("paged"));
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  ASSERT_TRUE(fs::exists(driveC + "/Program Files (x86)/Bravo Tools/bravo.exe"));
  EXPECT_TRUE(WaitForBundleServersToEnd(contents, 30));

  EXPECT_FALSE(fs::exists(hostEntry)) << "Wine wrote a menu entry outside the bundle";
  EXPECT_EQ(ReadFile(SeedPrefix() + "/user.reg").find("Acme"), std::string::npos)
      << "the install changed the prefix the bundle was linked from";

  // programs: the shortcuts' programs, and the one without a shortcut through the baseline.
  ASSERT_EQ(RunToolApart({"programs", app}, &out, &err), 0) << err;
  EXPECT_EQ(out,
            "/Program Files (x86)/Acme/acme.exe\tStart Menu shortcut " + std::string(kUserMenu) + "/Acme/Acme.lnk\n"
            "/Program Files (x86)/Acme/acmetool.exe\tStart Menu shortcut " + std::string(kCommonMenu) +
                "/Acme Tools/Acme Tool.lnk\n"
            "/Program Files (x86)/Bravo Tools/bravo.exe\tnew since the bundle was made\n")
      << err;

  // set-program makes the shortcut's program the bundle's; Valnor runs it in background mode.
  fs::create_directories(driveC + "/Acme Data");
  ASSERT_EQ(RunToolApart({"set-program", app, "/Program Files (x86)/Acme/acme.exe", "--workdir", "/Acme Data",
                          "--flags", "--seconds 1 journey \"two words\"", "--background"},
                         &out, &err),
            0)
      << err;
  std::string check;
  EXPECT_EQ(RunWrapperCheck(app, &check), 0) << check;
  std::map<std::string, std::string> report = RunValnor(driveC + "/Program Files (x86)/Acme/sample-received.txt");
  EXPECT_EQ(report["program"], "C:\\Program Files (x86)\\Acme\\acme.exe");
  EXPECT_EQ(report["arguments"], "4");
  EXPECT_EQ(report["argument 3"], "journey");
  EXPECT_EQ(report["argument 4"], "two words");
  EXPECT_EQ(report["working folder"], "C:\\Acme Data");
  EXPECT_EQ(report["window"], "shown and closed");
  ExpectCleanEnd(contents);

  // And the program without a shortcut, in quick mode, in its own folder.
  ASSERT_EQ(RunToolApart({"set-program", app, "/Program Files (x86)/Bravo Tools/bravo.exe", "--flags",
                          "--seconds 1 bravo", "--quick"},
                         &out, &err),
            0)
      << err;
  report = RunValnor(driveC + "/Program Files (x86)/Bravo Tools/sample-received.txt");
  EXPECT_EQ(report["argument 3"], "bravo");
  EXPECT_EQ(report["working folder"], "C:\\Program Files (x86)\\Bravo Tools");
  EXPECT_EQ(report["window"], "shown and closed");
  ExpectCleanEnd(contents);
}
