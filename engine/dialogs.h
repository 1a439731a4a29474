// Every message the launchers show the user, and the one way a message dialog is shown.
#ifndef QUILLON_ENGINE_DIALOGS_H_
#define QUILLON_ENGINE_DIALOGS_H_

#include <string>

// Returns the missing-engine message, naming engineRequirement and the project page.
std::string MissingEngineMessage(const std::string& engineRequirement);

// Returns the message shown when the Windows program cannot be found.
std::string MissingProgramMessage();

// Returns the message shown when no ".X11location" marker lies below the MacOS folder.
std::string NoX11ApplicationMessage(const std::string& macos);

// Returns the message shown when the X11 server did not show up; it names LastX11.log and says
// so plainly when the Logs folder is missing.
std::string X11ServerDidNotStartMessage(const std::string& macos);

// Returns the message shown when no new Wine server showed up in background mode; names LastWine.log.
std::string WineServerDidNotStartMessage(const std::string& macos);

// Returns the macOS dialog command: osascript with System Events, one OK button, icon 0.
std::string ComposeOsascriptDialogCommand(const std::string& message);

// Returns the zenity error dialog command: the message as plain text, one OK button.
std::string ComposeZenityDialogCommand(const std::string& message);

// Returns the kdialog error dialog command.
std::string ComposeKdialogDialogCommand(const std::string& message);

// Writes message as one line on standard error, then shows it in the first dialog form this
// machine offers (osascript, zenity, kdialog); returns once the user has closed it.
void ShowMessageDialog(const std::string& message);

#endif  // QUILLON_ENGINE_DIALOGS_H_
