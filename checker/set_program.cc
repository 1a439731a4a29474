#include "checker/set_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "checker/plist_parser.h"

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Returns true when path has a "." or ".." component, which could lead out of drive_c.
bool HasDotComponent(const std::string& path) {
  std::stringstream parts(path);
  for (std::string part; std::getline(parts, part, '/');) {
    if (part == "." || part == "..") return true;
  }
  return false;
}

// Returns the program's folder below drive_c: the path cut before its last "/", or "/".
std::string FolderOf(const std::string& program) {
  const std::string::size_type slash = program.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : program.substr(0, slash);
}

// Returns why a path below drive_c is unusable as what; "" when it begins with "/" and has no
// "." or ".." components.
std::string PathRefusal(const std::string& what, const std::string& path) {
  if (path.empty() || path[0] != '/') {
    return what + " \"" + path + "\" must begin with \"/\": a path below drive_c, as `quillon-bundle programs` prints it";
  }
  if (HasDotComponent(path)) return what + " \"" + path + "\" must not hold \".\" or \"..\" components";
  return "";
}

// Returns why the parser or the launchers' reader would read another value from file; "" when
// both read every setting exactly.
std::string ReadBackMismatch(const std::string& file, const std::string& text,
                             const std::vector<PlistSetting>& settings) {
  std::vector<std::string> keys;
  for (const PlistSetting& setting : settings) keys.push_back(setting.key);
  const ParsedPlist parsed = ParsePlist(text, keys);
  if (!parsed.readable) return "a property-list parser could not read the changed Info.plist";
  for (const PlistSetting& setting : settings) {
    auto entry = parsed.entries.find(setting.key);
    if (entry == parsed.entries.end() || entry->second.element != setting.kind ||
        entry->second.text != setting.value) {
      return "a property-list parser would not read " + setting.key + " back as written";
    }
    if (GetFromInfoPlist(file, setting.key, setting.kind) != setting.value) {
      return "the launchers would not read " + setting.key + " back as written";
    }
  }
  return "";
}

}  // namespace

std::vector<PlistSetting> SettingsFor(const SetProgramRequest& request) {
  std::vector<PlistSetting> settings = {
      {kCmdLineKey, kStringKind, request.program},
      {kWorkdirKey, kStringKind, request.workdir.empty() ? FolderOf(request.program) : request.workdir},
      {kCmdLineFlagsKey, kStringKind, request.flags}};
  if (!request.shutdownMode.empty()) {
    settings.push_back({kQuickX11KillShutdownKey, kBooleanKind,
                        request.shutdownMode == "background" ? "false" : "true"});
  }
  return settings;
}

std::string RefusalFor(const BundlePaths& paths, const SetProgramRequest& request) {
  const struct {
    const char* what;
    const std::string& value;
  } values[] = {{"the program path", request.program},
                {"the working folder", request.workdir},
                {"the flags", request.flags}};
  for (const auto& value : values) {
    const std::string character = ForbiddenCharacterIn(value.value);
    if (!character.empty()) {
      return std::string(value.what) + " holds " + character +
             ", which Info.plist cannot hold so that the launchers read it as written; choose another";
    }
  }
  std::string refusal = PathRefusal("the program path", request.program);
  if (refusal.empty() && !request.workdir.empty()) refusal = PathRefusal("the working folder", request.workdir);
  if (!refusal.empty()) return refusal;
  if (!IsRegularFile(paths.driveC + request.program)) {
    return "the program \"" + request.program + "\" is not a file below " + paths.driveC;
  }
  const std::string workdir = request.workdir.empty() ? FolderOf(request.program) : request.workdir;
  if (!IsFolder(paths.driveC + workdir)) {
    return "the working folder \"" + workdir + "\" is not a folder below " + paths.driveC;
  }
  return "";
}

std::string SetProgram(const BundlePaths& paths, const SetProgramRequest& request) {
  const std::string refusal = RefusalFor(paths, request);
  if (!refusal.empty()) return refusal;
  const std::optional<std::string> read = ReadRegularFile(paths.infoPlist);
  if (!read) return "cannot read " + paths.infoPlist + " as a regular file";
  const std::string& text = *read;
  const std::vector<PlistSetting> settings = SettingsFor(request);
  const PlistEdit edit = SetPlistValues(text, settings);
  if (!edit.done) return edit.error;

  // The new file is written beside the old one and read back before it takes its place.
  const std::string temporary = paths.contents + "/.Info.plist.set-program";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << edit.text;
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return "cannot write " + temporary;
    }
  }
  const std::string mismatch = ReadBackMismatch(temporary, edit.text, settings);
  if (!mismatch.empty()) {
    std::remove(temporary.c_str());
    return mismatch + "; Info.plist was left unchanged";
  }
  struct stat info;
  if (stat(paths.infoPlist.c_str(), &info) == 0) chmod(temporary.c_str(), info.st_mode & 07777);
  if (std::rename(temporary.c_str(), paths.infoPlist.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    std::remove(temporary.c_str());
    return "cannot replace " + paths.infoPlist + ": " + why;
  }
  return "";
}
