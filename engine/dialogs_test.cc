#include "engine/dialogs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "bundle/shell.h"
#include "engine/test_env.h"
#include "platform/programs.h"
#include "tests/fixture.h"

namespace {

const char kMissingEngineText[] =
    "Whoops! You don't seem to have the required Quillon Engine installed for this Quillon Port. "
    "The Engine that you're missing is the Ambergate 8 Engine. Please visit the Wrenfield's "
    "Quillon Project Page for more information: " QUILLON_PROJECT_PAGE;

const char kMissingProgramText[] =
    "Whoops! The Wrapper cannot start. Please check if the path to the Windows executable is correct.";

TEST(Messages, ReadAsWritten) {
  EXPECT_EQ(MissingEngineMessage("Ambergate 8"), kMissingEngineText);
  EXPECT_EQ(MissingProgramMessage(), kMissingProgramText);
  const std::string empty = MissingEngineMessage("");
  EXPECT_NE(empty.find("missing is the  Engine. Please"), std::string::npos) << empty;
  const std::string page = QUILLON_PROJECT_PAGE;
  EXPECT_EQ(empty.substr(empty.size() - page.size()), page);
}

TEST(Messages, OsascriptFormMatchesTheTemplateByteForByte) {
  EXPECT_EQ(ComposeOsascriptDialogCommand(MissingEngineMessage("Ambergate 8")),
            "/usr/bin/osascript -e \"tell application \\\"System Events\\\" to activate\" -e "
            "\"tell application \\\"System Events\\\" to display dialog \\\"Whoops! You don't "
            "seem to have the required Quillon Engine installed for this Quillon Port. The Engine "
            "that you're missing is the Ambergate 8 Engine. Please visit the Wrenfield's Quillon "
            "Project Page for more information: " QUILLON_PROJECT_PAGE
            "\\\" buttons {\\\"OK\\\"} default button \\\"OK\\\" with icon 0\"");
  EXPECT_EQ(ComposeOsascriptDialogCommand(MissingProgramMessage()),
            "/usr/bin/osascript -e \"tell application \\\"System Events\\\" to activate\" -e "
            "\"tell application \\\"System Events\\\" to display dialog \\\"Whoops! The Wrapper "
            "cannot start. Please check if the path to the Windows executable is correct.\\\" "
            "buttons {\\\"OK\\\"} default button \\\"OK\\\" with icon 0\"");
}

// The shell hands osascript the two script lines with the message as a proper AppleScript string.
TEST_F(BundleTest, OsascriptFormEscapesForAppleScriptAndTheShell) {
  const std::string canary = bundle.root + "/canary";
  const std::string message = "Path \"" + bundle.root + "\\x\" $(touch " + canary + ") `touch " +
                              canary + "` $HOME it's";
  std::string command = ComposeOsascriptDialogCommand(message);
  const std::string program = "/usr/bin/osascript";
  ASSERT_EQ(command.compare(0, program.size(), program), 0);
  // The fixture's dialog stand-in records its words; let it take osascript's place.
  command.replace(0, program.size(), QuoteForShell(bundle.bin + "/zenity"));
  RunShellCommand(command);
  const std::vector<std::string> expected = {
      "-e", "tell application \"System Events\" to activate", "-e",
      "tell application \"System Events\" to display dialog \"Path \\\"" + bundle.root +
          "\\\\x\\\" $(touch " + canary + ") `touch " + canary +
          "` $HOME it's\" buttons {\"OK\"} default button \"OK\" with icon 0"};
  EXPECT_EQ(RecordedArgs(bundle, "zenity"), expected);
  EXPECT_FALSE(PathExists(canary));
}

TEST(Messages, NoX11ApplicationNamesTheMarkerAndTheFolder) {
  const std::string text = NoX11ApplicationMessage("/A/W.app/Contents/MacOS");
  EXPECT_NE(text.find(".X11location"), std::string::npos) << text;
  EXPECT_NE(text.find("/A/W.app/Contents/MacOS"), std::string::npos) << text;
  EXPECT_NE(text.find("MacOS folder"), std::string::npos) << text;
  EXPECT_NE(text.find("does not go on"), std::string::npos) << text;
}

TEST(ServerMessages, NameTheLogAndAMissingLogsFolder) {
  for (bool withLogs : {true, false}) {
    TestBundleOptions options;
    options.withLogs = withLogs;
    TestBundle bundle = MakeTestBundle(options);
    const struct {
      std::string text;
      const char* log;
    } cases[] = {{X11ServerDidNotStartMessage(bundle.paths.macos), "LastX11.log"},
                 {WineServerDidNotStartMessage(bundle.paths.macos), "LastWine.log"}};
    for (const auto& c : cases) {
      EXPECT_NE(c.text.find(c.log), std::string::npos) << c.text;
      EXPECT_NE(c.text.find("Contents/Resources/Logs"), std::string::npos) << c.text;
      EXPECT_NE(c.text.find(bundle.contents + "/Resources/Logs"), std::string::npos) << c.text;
      EXPECT_EQ(c.text.find("is missing") != std::string::npos, !withLogs) << c.text;
      EXPECT_EQ(c.text.find('\n'), std::string::npos) << c.text;
    }
    RemoveTestBundle(bundle);
  }
}

TEST(DialogCommands, ZenityAndKdialogForms) {
  EXPECT_EQ(ComposeZenityDialogCommand("Whoops! It's gone."),
            "zenity --error --no-markup --text=\"Whoops! It's gone.\"");
  EXPECT_EQ(ComposeKdialogDialogCommand("a \"b\" $c"), "kdialog --error \"a \\\"b\\\" \\$c\"");
}

// Shows message with the given display variables and PATH; returns what went to standard error.
std::string ShowWith(const char* display, const char* wayland, const std::string& path,
                     const std::string& message) {
  ScopedEnv displayVar("DISPLAY", display ? display : "", display == nullptr);
  ScopedEnv waylandVar("WAYLAND_DISPLAY", wayland ? wayland : "", wayland == nullptr);
  ScopedEnv pathVar("PATH", path);
  testing::internal::CaptureStderr();
  ShowMessageDialog(message);
  return testing::internal::GetCapturedStderr();
}

TEST_F(BundleTest, DialogFormIsChosenByPathAndDisplay) {
  if (IsExecutableFile("/usr/bin/osascript")) GTEST_SKIP() << "this machine shows osascript dialogs";
  // A folder with only kdialog, plus the few tools the stand-in itself needs.
  const std::string kdialogOnly = bundle.root + "/kdialog-only";
  const std::string toolsOnly = bundle.root + "/tools-only";
  for (const std::string& folder : {kdialogOnly, toolsOnly}) {
    mkdir(folder.c_str(), 0755);
    for (const char* tool : {"basename", "env", "cat"}) {
      std::string found = FindProgramOnPath(tool);
      ASSERT_FALSE(found.empty()) << tool;
      symlink(found.c_str(), (folder + "/" + tool).c_str());
    }
  }
  symlink((bundle.bin + "/kdialog").c_str(), (kdialogOnly + "/kdialog").c_str());
  const std::string withStandIns = StandInDialogPath(bundle);
  const struct {
    const char* name;
    const char* display;
    const char* wayland;
    std::string path;
    int zenityCalls;
    int kdialogCalls;
  } cases[] = {
      {"X11 display, zenity first on PATH", ":quillon-test", nullptr, withStandIns, 1, 0},
      {"Wayland only", nullptr, "wayland-quillon", withStandIns, 1, 0},
      {"no display", nullptr, nullptr, withStandIns, 0, 0},
      {"empty display", "", "", withStandIns, 0, 0},
      {"only kdialog", ":quillon-test", nullptr, kdialogOnly, 0, 1},
      {"no dialog program", ":quillon-test", nullptr, toolsOnly, 0, 0},
  };
  const std::string message = "Whoops! Nothing to see; it's only a \"test\".";
  int zenityCalls = 0;
  int kdialogCalls = 0;
  for (const auto& c : cases) {
    const std::string err = ShowWith(c.display, c.wayland, c.path, message);
    EXPECT_NE(err.find(message + "\n"), std::string::npos) << c.name << ": " << err;
    zenityCalls += c.zenityCalls;
    kdialogCalls += c.kdialogCalls;
    EXPECT_EQ(RecordedCalls(bundle, "zenity"), zenityCalls) << c.name;
    EXPECT_EQ(RecordedCalls(bundle, "kdialog"), kdialogCalls) << c.name;
    if (c.zenityCalls == 1) {
      EXPECT_EQ(RecordedArgs(bundle, "zenity"),
                (std::vector<std::string>{"--error", "--no-markup", "--text=" + message}))
          << c.name;
    }
    if (c.kdialogCalls == 1) {
      EXPECT_EQ(RecordedArgs(bundle, "kdialog"), (std::vector<std::string>{"--error", message}))
          << c.name;
    }
  }
}

TEST_F(BundleTest, HostileMessageReachesZenityUnchanged) {
  if (IsExecutableFile("/usr/bin/osascript")) GTEST_SKIP() << "this machine shows osascript dialogs";
  const std::string canary = bundle.root + "/canary";
  const std::string message = "Folder \"$(touch " + canary + ")\" `touch " + canary +
                              "` back\\slash $HOME";
  const std::string err = ShowWith(":quillon-test", nullptr, StandInDialogPath(bundle), message);
  EXPECT_EQ(err, message + "\n");
  EXPECT_EQ(RecordedArgs(bundle, "zenity"),
            (std::vector<std::string>{"--error", "--no-markup", "--text=" + message}));
  EXPECT_FALSE(PathExists(canary));
}

}  // namespace
