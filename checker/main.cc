// wrapper-check: tells a bundle maker why a wrapper bundle will not start. Reads the bundle and
// changes nothing in it; exit status 0 when it can launch, 1 when it cannot, 2 for bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "checker/bundle_locate.h"
#include "checker/check_bundle.h"
#include "checker/json_printer.h"
#include "checker/text_printer.h"
#include "platform/process_state.h"

namespace {

const char kUsage[] =
    "usage: wrapper-check [--json] <wrapper bundle | its Contents folder | a launcher inside it>\n";

int BadUsage(const std::string& why) {
  std::fprintf(stderr, "wrapper-check: %s\n%s", why.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--json") {
      json = true;
    } else if (word == "-h" || word == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (word.size() > 1 && word[0] == '-' && word != "--") {
      return BadUsage("unknown option " + word);
    } else if (word != "--") {
      operands.push_back(word);
    }
  }
  if (operands.size() != 1) return BadUsage("name exactly one bundle");
  const auto contents = LocateContents(operands[0], CurrentWorkingFolder());
  if (!contents) {
    return BadUsage("\"" + operands[0] + "\" is neither a wrapper bundle, its Contents folder, nor a launcher inside it");
  }
  const std::vector<Finding> findings = CheckBundle(PathsForContents(*contents));
  const std::string report = json ? FormatJson(*contents, findings) : FormatText(*contents, findings, WantsColour(), TerminalWidth());
  std::fwrite(report.data(), 1, report.size(), stdout);
  return CanLaunch(findings) ? 0 : 1;
}
