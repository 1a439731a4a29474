// Brackenfold's file dialog: asks the user for a Windows installer and writes its path into the
// scratch file.
#ifndef QUILLON_INSTALLER_FILE_DIALOG_H_
#define QUILLON_INSTALLER_FILE_DIALOG_H_

#include <string>

// The prompt of every form of the file dialog.
inline constexpr char kFileDialogPrompt[] =
    "Please choose Windows\u2122 installer or setup executable";

// Returns the macOS file dialog command: osascript lets the user choose a file and writes its
// POSIX path, quoted for the inner shell, and a line feed into scratchFile.
std::string ComposeOsascriptFileDialogCommand(const std::string& scratchFile);

// Returns the zenity file selection command whose output goes into scratchFile.
std::string ComposeZenityFileDialogCommand(const std::string& scratchFile);

// Returns the kdialog file selection command whose output goes into scratchFile.
std::string ComposeKdialogFileDialogCommand(const std::string& scratchFile);

// Shows the first file dialog form this machine offers and returns once it has closed; the
// chosen path and a line feed are then in scratchFile, nothing on cancel. Without any form it
// says so on standard error and writes nothing.
void ShowFileDialog(const std::string& scratchFile);

// Returns the chosen path cut after its last "/", keeping that "/"; "" when it holds none.
std::string InstallerFolderOf(const std::string& chosenPath);

#endif  // QUILLON_INSTALLER_FILE_DIALOG_H_
