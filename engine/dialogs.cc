#include "engine/dialogs.h"

#include <cstdlib>
#include <iostream>

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/programs.h"

#ifndef QUILLON_PROJECT_PAGE
#error "QUILLON_PROJECT_PAGE must name the project page's web address"
#endif

namespace {

constexpr char kOsascript[] = "/usr/bin/osascript";

// Returns the wrapper's Contents folder as the user knows it: macos without its "/MacOS".
std::string ContentsFolderOf(const std::string& macos) {
  const std::string suffix = "/MacOS";
  if (macos.size() >= suffix.size() &&
      macos.compare(macos.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return macos.substr(0, macos.size() - suffix.size());
  }
  return macos + "/..";
}

// Returns the sentences that point the user at logName, or say that its folder is missing.
std::string LogAdvice(const std::string& macos, const std::string& logName,
                      const std::string& program) {
  const std::string logs = ContentsFolderOf(macos) + "/Resources/Logs";
  if (!CanOpenForReading(LogsFolder(macos))) {
    return " The folder Contents/Resources/Logs is missing from the wrapper (" + logs +
           "), so the shell could not create the log " + logName + " and never started " +
           program + ". Create that folder and try again.";
  }
  return " What " + program + " printed is in the log " + logName +
         " in the wrapper's Contents/Resources/Logs folder (" + logs + "/" + logName + ").";
}

}  // namespace

std::string MissingEngineMessage(const std::string& engineRequirement) {
  return "Whoops! You don't seem to have the required Quillon Engine installed for this Quillon Port. The Engine that you're missing is the " +
         engineRequirement + " Engine. Please visit the Wrenfield's Quillon Project Page for more information: " +
         QUILLON_PROJECT_PAGE;
}

std::string MissingProgramMessage() {
  return "Whoops! The Wrapper cannot start. Please check if the path to the Windows executable is correct.";
}

std::string NoX11ApplicationMessage(const std::string& macos) {
  return "Whoops! The Wrapper cannot start: no X11 server application was found in its MacOS folder (" +
         macos + "). The X11 server's application folder must hold a file named " +
         kX11MarkerName + " directly inside it, beside its Contents folder. The launch does not go on.";
}

std::string X11ServerDidNotStartMessage(const std::string& macos) {
  return "Whoops! The Wrapper's X11 server did not start, so the launch does not go on." +
         LogAdvice(macos, "LastX11.log", "the X11 server");
}

std::string WineServerDidNotStartMessage(const std::string& macos) {
  return "Whoops! The Wine engine did not bring up its Wine server, so the Wrapper stops here." +
         LogAdvice(macos, "LastWine.log", "the engine");
}

std::string ComposeOsascriptDialogCommand(const std::string& message) {
  // The message is an AppleScript string inside a double-quoted shell word: escape for both.
  return std::string(kOsascript) +
         " -e \"tell application \\\"System Events\\\" to activate\" -e \"tell application "
         "\\\"System Events\\\" to display dialog \\\"" +
         EscapeForDoubleQuotes(EscapeForAppleScript(message)) +
         "\\\" buttons {\\\"OK\\\"} default button \\\"OK\\\" with icon 0\"";
}

std::string ComposeZenityDialogCommand(const std::string& message) {
  return "zenity --error --no-markup --text=" + QuoteForShell(message);
}

std::string ComposeKdialogDialogCommand(const std::string& message) {
  return "kdialog --error " + QuoteForShell(message);
}

void ShowMessageDialog(const std::string& message) {
  std::string line = message;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::cerr << line << std::endl;
  switch (ChooseDialogForm()) {
    case DialogForm::kOsascript:
      RunShellCommand(ComposeOsascriptDialogCommand(message));
      return;
    case DialogForm::kZenity:
      RunShellCommand(ComposeZenityDialogCommand(message));
      return;
    case DialogForm::kKdialog:
      RunShellCommand(ComposeKdialogDialogCommand(message));
      return;
    case DialogForm::kStandardError:
      return;
  }
}
