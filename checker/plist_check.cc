#include "checker/plist_check.h"

#include <fstream>
#include <sstream>

#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "checker/plist_lines.h"
#include "engine/wine_launch.h"

namespace {

struct SettingKey {
  const char* key;
  const char* kind;
};

const SettingKey kSettings[] = {{kCmdLineKey, kStringKind},
                                {kWorkdirKey, kStringKind},
                                {kCmdLineFlagsKey, kStringKind},
                                {kEngineRequirementKey, kStringKind},
                                {kQuickX11KillShutdownKey, kBooleanKind}};

const char kLayoutAdvice[] =
    "write it at the top level as two lines: a tab and <key>…</key>, then a tab and the value "
    "(<string>…</string> on one line, or <true/> / <false/>); line feeds only, no entities";

std::string ShowParserEntry(const ParsedEntry& entry, const std::string& kind) {
  if (entry.element == kind) return ShowValue(entry.text);
  return "a <" + entry.element + "> element" + (entry.text.empty() ? "" : " " + ShowValue(entry.text));
}

// The severity of a setting that both readers lack, or that the launchers read as empty.
Severity MissingSeverity(const std::string& key) {
  if (key == kCmdLineKey) return Severity::kError;
  if (key == kCmdLineFlagsKey) return Severity::kOk;
  return Severity::kNote;
}

// The severity of a difference between the two readings.
Severity DifferenceSeverity(const SettingReading& reading) {
  const std::string& key = reading.key;
  if (key == kCmdLineKey) return reading.launcherValue.empty() ? Severity::kError : Severity::kWarning;
  if (key == kEngineRequirementKey) return Severity::kNote;
  if (key == kQuickX11KillShutdownKey) {
    const bool parserFalse = reading.parser && reading.parser->element == kBooleanKind &&
                             reading.parser->text == "false";
    return IsBackgroundMode(reading.launcherValue) == parserFalse ? Severity::kNote
                                                                  : Severity::kWarning;
  }
  return Severity::kWarning;
}

}  // namespace

std::string DescribeSettingEffect(const std::string& key, const std::string& value) {
  if (key == kCmdLineKey) {
    return value.empty() ? "the launchers take the drive_c folder itself as the Windows program, so nothing can launch"
                         : "the launchers run drive_c" + value;
  }
  if (key == kWorkdirKey) {
    return value.empty() ? "the working folder is the drive_c folder itself"
                         : "the working folder is drive_c" + value;
  }
  if (key == kCmdLineFlagsKey) {
    return value.empty() ? "the program gets no extra words"
                         : "these words go unquoted into the engine command";
  }
  if (key == kEngineRequirementKey) {
    return value.empty() ? "the missing-engine message names no engine"
                         : "it is only shown in the missing-engine message";
  }
  if (key == kQuickX11KillShutdownKey) {
    return IsBackgroundMode(value)
               ? "background mode: the launcher waits for the Wine server to end before it stops the X11 server"
               : "quick mode: the launcher stops the X11 server as soon as the engine command returns";
  }
  return "";
}

Finding CompareSetting(const SettingReading& reading, const std::vector<std::string>& lines,
                       bool binary) {
  Finding finding;
  finding.area = kAreaPlist;
  const std::string& key = reading.key;
  const std::string effect = DescribeSettingEffect(key, reading.launcherValue);
  const bool agree = !reading.parserKnown ||
                     (reading.parser ? reading.parser->element == reading.kind &&
                                           reading.parser->text == reading.launcherValue
                                     : reading.launcherValue.empty());
  if (agree && reading.launcherValue.empty()) {
    finding.severity = MissingSeverity(key);
    const bool written = reading.parserKnown ? reading.parser.has_value() : reading.keyLineFound;
    finding.text = key + (written ? ": empty, so " : ": missing, so ") + effect;
    const std::string why = written ? "" : ExplainMissingKeyLine(lines, key);
    if (!why.empty()) finding.text += " (" + why + ")";
    if (key == kCmdLineKey) {
      finding.advice = "add the Windows program's path below drive_c, beginning with \"/\"; " + std::string(kLayoutAdvice);
    } else if (finding.severity != Severity::kOk) {
      finding.advice = "add the key if the default is not what you want; " + std::string(kLayoutAdvice);
    }
    return finding;
  }
  if (agree) {
    finding.severity = Severity::kOk;
    finding.text = key + ": " + ShowValue(reading.launcherValue) +
                   (reading.parserKnown ? " (the launchers and a property-list parser read the same); "
                                        : " as the launchers read it; ") +
                   effect;
    return finding;
  }
  finding.severity = DifferenceSeverity(reading);
  std::string why;
  if (binary) {
    why = "the file is a binary property list, in which the launchers' line reader finds no line";
  } else if (reading.keyLineFound) {
    why = ExplainValueLine(reading.valueLine, reading.kind,
                           reading.parser ? std::optional<std::string>(reading.parser->text)
                                          : std::nullopt);
    if (why.empty()) why = "the value line reads " + ShowValue(reading.valueLine);
  } else {
    why = ExplainMissingKeyLine(lines, key);
    if (why.empty()) why = "no line is exactly the key line";
  }
  finding.text = key + ": the launchers read " + ShowValue(reading.launcherValue) +
                 ", a property-list parser reads " +
                 (reading.parser ? ShowParserEntry(*reading.parser, reading.kind)
                                 : std::string("nothing (no top-level entry)")) +
                 ", because " + why + "; " + effect;
  finding.advice = binary ? "convert Info.plist to XML text (plutil -convert xml1 Info.plist)"
                          : std::string(kLayoutAdvice);
  return finding;
}

std::vector<Finding> CheckInfoPlistData(const std::string& infoPlist, const std::string& data) {
  std::vector<Finding> findings;
  std::vector<std::string> keys;
  for (const SettingKey& setting : kSettings) keys.push_back(setting.key);
  const ParsedPlist parsed = ParsePlist(data, keys);
  const std::vector<std::string> lines = SplitLines(data);

  if (parsed.binary) {
    findings.push_back({Severity::kError, kAreaPlist,
                        "Info.plist is a binary property list: the launchers read every setting as empty",
                        "convert it to XML text: plutil -convert xml1 Info.plist"});
  } else if (!parsed.readable) {
    findings.push_back({Severity::kError, kAreaPlist,
                        "a property-list parser cannot read Info.plist (not a well-formed property list "
                        "with a dictionary at the top); macOS reads the bundle's Info.plist with such a parser",
                        "repair the XML; plutil -lint Info.plist names the fault"});
  }
  int carriageReturns = 0;
  for (const std::string& line : lines) carriageReturns += !line.empty() && line.back() == '\r';
  if (!parsed.binary && carriageReturns > 0) {
    findings.push_back({Severity::kWarning, kAreaPlist,
                        std::to_string(carriageReturns) +
                            " lines of Info.plist end in a carriage return (Windows line ends); the "
                            "launchers see no key on such a line and keep the carriage return in a value",
                        "save Info.plist with line feeds only (for example: tr -d '\\r')"});
  }
  for (const SettingKey& setting : kSettings) {
    SettingReading reading;
    reading.key = setting.key;
    reading.kind = setting.kind;
    reading.launcherValue = GetFromInfoPlist(infoPlist, setting.key, setting.kind);
    reading.valueLine = FindPlistValueLine(infoPlist, setting.key);
    reading.keyLineFound = HasExactKeyLine(lines, setting.key);
    reading.parserKnown = parsed.readable;
    auto entry = parsed.entries.find(setting.key);
    if (entry != parsed.entries.end()) reading.parser = entry->second;
    findings.push_back(CompareSetting(reading, lines, parsed.binary));
  }
  return findings;
}

std::vector<Finding> CheckInfoPlist(const std::string& infoPlist) {
  // A FIFO or device in its place reads as unreadable instead of hanging the check.
  const std::optional<std::string> data = ReadRegularFile(infoPlist);
  if (!data) {
    return {{Severity::kError, kAreaPlist,
             "Info.plist cannot be read at " + infoPlist +
                 ": the launchers read every setting as empty, so the program would be the drive_c folder itself",
             "put the wrapper's Info.plist into the Contents folder and make it readable"}};
  }
  return CheckInfoPlistData(infoPlist, *data);
}
