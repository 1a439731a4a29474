#include "installer/file_dialog.h"

#include <gtest/gtest.h>

#include "bundle/shell.h"
#include "tests/fixture.h"

namespace {

TEST(InstallerFolderOf, CutsAfterTheLastSlash) {
  const struct {
    const char* chosen;
    const char* folder;
  } cases[] = {
      {"/Users/u/Downloads/setup.exe", "/Users/u/Downloads/"},
      {"/setup.exe", "/"},
      {"/Users/u/My Setup.exe", "/Users/u/"},
      {"/Users/u/folder/", "/Users/u/folder/"},
      {"setup.exe", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(InstallerFolderOf(c.chosen), c.folder) << c.chosen;
}

TEST(FileDialogCommands, MatchTheirForms) {
  // The macOS form: the prompt with its trade mark sign, the chosen path as "quoted form of"
  // written by printf, the scratch file between escaped quotes.
  EXPECT_EQ(ComposeOsascriptFileDialogCommand("/A/W.app/Contents/MacOS/QVTempfile"),
            "/usr/bin/osascript -e \"tell application \\\"System Events\\\" to activate\" -e "
            "\"tell application \\\"System Events\\\" to set QUESTION to (POSIX path of (choose "
            "file with prompt \\\"Please choose Windows\xE2\x84\xA2 installer or setup "
            "executable\\\" without invisibles))\" -e \"do shell script (\\\"printf '%s\\\\\\\\n' "
            "\\\"&quoted form of QUESTION&\\\" > \\\\\\\"/A/W.app/Contents/MacOS/QVTempfile\\\\\\\"\\\")\"");
  EXPECT_EQ(ComposeZenityFileDialogCommand("/A/QVTempfile"),
            "zenity --file-selection --title=\"Please choose Windows\xE2\x84\xA2 installer or "
            "setup executable\" > \"/A/QVTempfile\"");
  EXPECT_EQ(ComposeKdialogFileDialogCommand("/A/$b/QVTempfile"),
            "kdialog --getopenfilename --title \"Please choose Windows\xE2\x84\xA2 installer or "
            "setup executable\" > \"/A/\\$b/QVTempfile\"");
}

// The outer shell level of the macOS form hands osascript the script lines intended: run the
// command with a stand-in osascript that prints its words.
TEST_F(BundleTest, OsascriptFormSurvivesTheOuterShell) {
  const std::string scratch = bundle.root + "/we\"ird $x `y` \\z/QVTempfile";
  std::string command = ComposeOsascriptFileDialogCommand(scratch);
  const std::string prefix = "/usr/bin/osascript ";
  ASSERT_EQ(command.compare(0, prefix.size(), prefix), 0);
  WriteFile(bundle.root + "/words", "");
  RunShellCommand("printf '%s\\n' " + command.substr(prefix.size()) + " > " +
                  QuoteForShell(bundle.root + "/words"));
  EXPECT_EQ(ReadFile(bundle.root + "/words"),
            "-e\ntell application \"System Events\" to activate\n-e\n"
            "tell application \"System Events\" to set QUESTION to (POSIX path of (choose file "
            "with prompt \"Please choose Windows\xE2\x84\xA2 installer or setup executable\" "
            "without invisibles))\n-e\n"
            "do shell script (\"printf '%s\\\\n' \"&quoted form of QUESTION&\" > \\\"" +
                bundle.root + "/we\\\\\\\"ird \\\\$x \\\\`y\\\\` \\\\\\\\z/QVTempfile\\\"\")\n");
}

}  // namespace
