#include "checker/x11_check.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bundle/companions.h"
#include "bundle/text_file.h"
#include "display/x11_server.h"
#include "platform/process_state.h"
#include "platform/programs.h"

namespace {

void WalkForMarkers(const std::string& folder, std::vector<std::string>* markers) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    if (name == kX11MarkerName) markers->push_back(path);
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) WalkForMarkers(path, markers);
  }
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ServerProgramPath(const std::string& macos, const std::string& x11App) {
  return macos + "/" + x11App + "/Contents/MacOS/QVX11Server";
}

// Returns the nearest folder above the named one, relative to macos, that holds a server program.
std::string FindServerAbove(const std::string& macos, std::string x11App) {
  for (std::string::size_type slash; (slash = x11App.rfind('/')) != std::string::npos;) {
    x11App.erase(slash);
    if (IsExecutableFile(ServerProgramPath(macos, x11App))) return x11App;
  }
  return "";
}

}  // namespace

std::vector<std::string> ListMarkers(const std::string& macos) {
  std::vector<std::string> markers;
  WalkForMarkers(macos, &markers);
  return markers;
}

std::string FirstFindLine(const std::vector<std::string>& markers) {
  if (markers.empty()) return "";
  return markers.front().substr(0, markers.front().find('\n'));
}

std::vector<Finding> CheckMarkers(const std::string& macos, const std::vector<std::string>& markers,
                                  std::string* x11App) {
  std::vector<Finding> findings;
  *x11App = CutX11AppName(FirstFindLine(markers), macos);
  if (markers.empty()) {
    findings.push_back({Severity::kError, kAreaX11,
                        "no .X11location marker below Contents/MacOS: the launchers find no X11 server application and start nothing",
                        "put an empty file named .X11location directly into the X11 server's application folder, beside its Contents folder"});
    return findings;
  }
  const std::string& first = markers.front();
  if (markers.size() > 1) {
    std::string list;
    for (const std::string& marker : markers) list += (list.empty() ? "" : ", ") + marker;
    findings.push_back({Severity::kWarning, kAreaX11,
                        std::to_string(markers.size()) + " .X11location markers (" + list +
                            "); the first that find lists counts: " + first + ", X11 app " + ShowValue(*x11App),
                        "keep one marker, in the X11 server's application folder; find's order is the folders' read order and can change"});
  }
  if (first.find('\n') != std::string::npos) {
    findings.push_back({Severity::kError, kAreaX11,
                        "the marker's path " + ShowValue(first) +
                            " holds a line feed; find prints one path per line, so the launchers read only up to it and take the X11 app to be " + ShowValue(*x11App),
                        "remove line feeds from the names of the bundle and the folders inside it"});
    return findings;
  }
  if (x11App->empty()) {
    findings.push_back({Severity::kError, kAreaX11,
                        "the marker " + first + " lies directly in the MacOS folder: the X11 app name is empty and leads nowhere",
                        "move the marker into the X11 server's application folder"});
  } else if (x11App->size() >= 9 && x11App->compare(x11App->size() - 9, 9, "/Contents") == 0) {
    findings.push_back({Severity::kError, kAreaX11,
                        "the marker " + first + " lies inside a Contents folder: the X11 app name " + ShowValue(*x11App) +
                            " leads to " + *x11App + "/Contents/MacOS/QVX11Server, which is not there",
                        "move the marker up into " + x11App->substr(0, x11App->size() - 9) + ", beside its Contents folder"});
  } else {
    findings.push_back({Severity::kOk, kAreaX11, "the marker " + first + " names the X11 app " + ShowValue(*x11App), ""});
  }
  return findings;
}

std::vector<Finding> CheckX11Server(const std::string& macos, const std::string& x11App) {
  std::vector<Finding> findings;
  const std::string server = ServerProgramPath(macos, x11App);
  if (!IsExecutableFile(server)) {
    const std::string above = FindServerAbove(macos, x11App);
    findings.push_back({Severity::kError, kAreaX11,
                        "the X11 server program " + server +
                            (CanOpenForReading(server) ? " is not an executable file" : " is missing") +
                            ": the server does not start, and the launchers wait for it in vain",
                        above.empty() ? "put the server program at Contents/MacOS/QVX11Server inside the X11 app and make it executable"
                                      : "move the marker into " + above + ", the folder that holds the server"});
  } else {
    findings.push_back({Severity::kOk, kAreaX11, "the X11 server program " + server + " is executable", ""});
  }
  const std::string libraries = macos + "/" + x11App + "/Contents/SharedSupport/X11";
  if (!IsFolder(libraries)) {
    findings.push_back({Severity::kError, kAreaX11,
                        "the X11 libraries folder " + libraries + " is missing: the engine's link Contents/SharedSupport/X11 leads nowhere",
                        "put the X11 libraries into Contents/SharedSupport/X11/lib inside the X11 app"});
  } else if (!IsFolder(libraries + "/lib")) {
    findings.push_back({Severity::kWarning, kAreaX11,
                        "the X11 libraries folder " + libraries + " holds no lib folder: the engine finds no X11 libraries through its fallback path",
                        "put the X11 libraries into its lib folder"});
  } else {
    findings.push_back({Severity::kOk, kAreaX11, "the X11 libraries folder " + libraries + "/lib is there", ""});
  }
  return findings;
}

LinkState ReadLinkState(const std::string& path, std::string* target) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return LinkState::kMissing;
  if (S_ISLNK(info.st_mode)) {
    char buffer[4096];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof(buffer));
    target->assign(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    return CanOpenForReading(path) ? LinkState::kLink : LinkState::kDangling;
  }
  if (!CanOpenForReading(path)) return LinkState::kUnopenable;
  return S_ISDIR(info.st_mode) ? LinkState::kFolder : LinkState::kFile;
}

Finding CheckX11Link(const std::string& macos, const std::string& x11App) {
  const std::string link = X11LinkPath(macos);
  const std::string expected = X11LinkTarget(x11App);
  const std::string shown = "Contents/SharedSupport/X11";
  const std::string remake = "the launcher re-creates it as a link to " + ShowValue(expected);
  std::string target;
  switch (ReadLinkState(link, &target)) {
    case LinkState::kMissing:
      return {Severity::kNote, kAreaX11, shown + " is missing: " + remake + " (SharedSupport must be writable)",
              "make the link yourself: cd Contents/SharedSupport && ln -s \"" + expected + "\" X11"};
    case LinkState::kDangling:
      return {Severity::kNote, kAreaX11, shown + " is a dangling link to " + ShowValue(target) + ": " + remake,
              "make the link yourself: cd Contents/SharedSupport && rm X11 && ln -s \"" + expected + "\" X11"};
    case LinkState::kLink: {
      const std::string here = ResolvedPath(link);
      if (target == expected || (!here.empty() && here == ResolvedPath(macos + "/" + x11App + "/Contents/SharedSupport/X11"))) {
        return {Severity::kOk, kAreaX11, shown + " is a link to the X11 app's libraries", ""};
      }
      return {Severity::kWarning, kAreaX11,
              shown + " is a link to " + ShowValue(target) + ", not to the X11 app's libraries; it opens, so the launcher leaves it alone",
              "point it at the X11 app: cd Contents/SharedSupport && rm X11 && ln -s \"" + expected + "\" X11"};
    }
    case LinkState::kFolder:
      return {Severity::kNote, kAreaX11,
              shown + " is a real folder, not a link: the launcher leaves it alone and the engine takes its libraries from " + shown + "/lib",
              IsFolder(link + "/lib") ? "" : "it holds no lib folder: put the X11 libraries there, or replace it by a link"};
    case LinkState::kFile:
      return {Severity::kWarning, kAreaX11,
              shown + " is a plain file: it counts as present, so the launcher leaves it alone, and the engine finds no libraries through it",
              "remove it; the launcher then makes the link"};
    case LinkState::kUnopenable:
      return {Severity::kWarning, kAreaX11,
              shown + " exists but cannot be opened: the launcher tries to remove it with rm (which leaves a folder in place) and to make the link",
              "remove it and make the link: ln -s \"" + expected + "\" X11"};
  }
  return {Severity::kError, kAreaX11, shown + " is in an unknown state", ""};
}
