#include "installer/file_dialog.h"

#include <cstdio>

#include "bundle/shell.h"
#include "platform/programs.h"

std::string ComposeOsascriptFileDialogCommand(const std::string& scratchFile) {
  // The scratch path passes three levels: the inner shell's double quotes, the AppleScript
  // string, the outer shell's double quotes; for an ordinary path each escape is a no-op.
  const std::string scratch =
      EscapeForDoubleQuotes(EscapeForAppleScript(EscapeForDoubleQuotes(scratchFile)));
  // The chosen path reaches the inner shell as "quoted form of", and printf writes it byte for
  // byte where echo would expand backslashes.
  return std::string("/usr/bin/osascript -e \"tell application \\\"System Events\\\" to activate\" "
                     "-e \"tell application \\\"System Events\\\" to set QUESTION to (POSIX path of "
                     "(choose file with prompt \\\"") +
         kFileDialogPrompt +
         "\\\" without invisibles))\" "
         "-e \"do shell script (\\\"printf '%s\\\\\\\\n' \\\"&quoted form of QUESTION&\\\" > "
         "\\\\\\\"" +
         scratch + "\\\\\\\"\\\")\"";
}

std::string ComposeZenityFileDialogCommand(const std::string& scratchFile) {
  return std::string("zenity --file-selection --title=") + QuoteForShell(kFileDialogPrompt) +
         " > " + QuoteForShell(scratchFile);
}

std::string ComposeKdialogFileDialogCommand(const std::string& scratchFile) {
  return std::string("kdialog --getopenfilename --title ") + QuoteForShell(kFileDialogPrompt) +
         " > " + QuoteForShell(scratchFile);
}

void ShowFileDialog(const std::string& scratchFile) {
  switch (ChooseDialogForm()) {
    case DialogForm::kOsascript:
      RunShellCommand(ComposeOsascriptFileDialogCommand(scratchFile));
      return;
    case DialogForm::kZenity:
      RunShellCommand(ComposeZenityFileDialogCommand(scratchFile));
      return;
    case DialogForm::kKdialog:
      RunShellCommand(ComposeKdialogFileDialogCommand(scratchFile));
      return;
    case DialogForm::kStandardError:
      std::fprintf(stderr,
                   "Brackenfold: no file dialog is available (osascript, or zenity or kdialog "
                   "with a display); no installer was chosen.\n");
      return;
  }
}

std::string InstallerFolderOf(const std::string& chosenPath) {
  std::string::size_type slash = chosenPath.rfind('/');
  if (slash == std::string::npos) return "";
  return chosenPath.substr(0, slash + 1);
}
