#include "platform/programs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0) return false;
  return S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FindProgramOnPath(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  const char* variable = std::getenv("PATH");
  const std::string path = variable != nullptr ? variable : "/usr/bin:/bin";
  std::string::size_type start = 0;
  while (true) {
    std::string::size_type end = path.find(':', start);
    std::string folder = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (end == std::string::npos) return "";
    start = end + 1;
  }
}

namespace {

// Returns true when a graphical session is there to show a dialog in.
bool HasGraphicalSession() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

}  // namespace

DialogForm ChooseDialogForm() {
  if (IsExecutableFile("/usr/bin/osascript")) return DialogForm::kOsascript;
  // Without a display the Linux dialog programs cannot show anything.
  if (!HasGraphicalSession()) return DialogForm::kStandardError;
  if (!FindProgramOnPath("zenity").empty()) return DialogForm::kZenity;
  if (!FindProgramOnPath("kdialog").empty()) return DialogForm::kKdialog;
  return DialogForm::kStandardError;
}
