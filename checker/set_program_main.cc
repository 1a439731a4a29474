// quillon-set-program (run as `quillon-bundle set-program`): makes a Windows program below the
// bundle's drive_c the program its Valnor runs. Exit status 0 when written, 1 when refused (then
// Info.plist is unchanged), 2 for bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "checker/bundle_locate.h"
#include "checker/set_program.h"
#include "platform/process_state.h"

namespace {

const char kUsage[] =
    "usage: quillon-bundle set-program BUNDLE.app PATH [--workdir PATH] [--flags WORDS] [--quick|--background]\n"
    "  PATH       the Windows program below the bundle's drive_c, beginning with \"/\"\n"
    "             (as `quillon-bundle programs BUNDLE.app` lists them)\n"
    "  --workdir  its working folder below drive_c (default: the program's folder)\n"
    "  --flags    extra words for its command line (default: none)\n"
    "  --quick / --background  the shutdown mode (default: left as it is)\n";

int BadUsage(const std::string& why) {
  std::fprintf(stderr, "quillon-bundle set-program: %s\n%s", why.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments: the bundle, the program, and the options.
  SetProgramRequest request;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool hasValue = i + 1 < argc;
    if (word == "-h" || word == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (word == "--workdir" || word == "--flags") {
      if (!hasValue) return BadUsage("option " + word + " needs a value");
      (word == "--workdir" ? request.workdir : request.flags) = argv[++i];
    } else if (word == "--quick" || word == "--background") {
      request.shutdownMode = word.substr(2);
    } else if (word.size() > 1 && word[0] == '-') {
      return BadUsage("unknown option " + word);
    } else {
      operands.push_back(word);
    }
  }
  if (operands.size() != 2) return BadUsage("name the bundle and the program");

  // The bundle's paths, as its launchers derive them.
  const auto contents = LocateContents(operands[0], CurrentWorkingFolder());
  if (!contents) return BadUsage("\"" + operands[0] + "\" is not a wrapper bundle");
  const BundlePaths paths = PathsForContents(*contents);
  request.program = operands[1];

  // The edit, read back before it replaces Info.plist.
  const std::string refusal = SetProgram(paths, request);
  if (!refusal.empty()) {
    std::fprintf(stderr, "quillon-bundle set-program: %s\n", refusal.c_str());
    return 1;
  }

  // What the launchers will now read.
  for (const PlistSetting& setting : SettingsFor(request)) {
    std::printf("quillon-bundle set-program: %s = %s\n", setting.key.c_str(), setting.value.c_str());
  }
  std::printf("quillon-bundle set-program: start it with \"%s/MacOS/Valnor\"\n", contents->c_str());
  return 0;
}
