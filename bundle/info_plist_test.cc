#include "bundle/info_plist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "tests/fixture.h"

namespace {

// The worked example: every line ends with a line feed.
const char kExample[] =
    "<dict>\n"
    "\t<key>QVOEMCmdLine</key>\n"
    "\t<string>/Program Files/Example/Example.exe</string>\n"
    "\t<key>Quick X11 Kill Shutdown</key>\n"
    "\t<false/>\n"
    "</dict>\n";

// Returns the whole literal, NUL bytes included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

struct ReaderCase {
  const char* name;
  std::string content;
  const char* key;
  const char* kind;
  std::string expected;
};

class InfoPlistReader : public BundleTest {
 protected:
  std::string Read(const std::string& content, const std::string& key, const std::string& kind) {
    std::string path = bundle.root + "/reader.plist";
    WriteFile(path, content);
    return GetFromInfoPlist(path, key, kind);
  }
};

TEST_F(InfoPlistReader, Table) {
  const ReaderCase cases[] = {
      {"worked example, string", kExample, "QVOEMCmdLine", "string",
       "/Program Files/Example/Example.exe"},
      {"worked example, boolean", kExample, "Quick X11 Kill Shutdown", "boolean", "false"},
      {"missing key", kExample, "QVOEMWorkdir", "string", ""},
      {"CRLF lines", "\t<key>QVOEMCmdLine</key>\r\n\t<string>/a.exe</string>\r\n",
       "QVOEMCmdLine", "string", ""},
      {"key line last, with line feed", "<dict>\n\t<key>QVOEMCmdLine</key>\n", "QVOEMCmdLine",
       "string", ""},
      {"key line last, without line feed", "<dict>\n\t<key>QVOEMCmdLine</key>", "QVOEMCmdLine",
       "string", ""},
      {"key line first in file", "\t<key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", "/a.exe"},
      {"empty value line", "\t<key>QVOEMCmdLine</key>\n\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"blanks instead of the tab", "    <key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"two tabs: nested entry", "\t\t<key>QVOEMCmdLine</key>\n\t\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"nested entry, then a top-level one",
       "\t\t<key>QVOEMCmdLine</key>\n\t\t<string>/n.exe</string>\n"
       "\t<key>QVOEMCmdLine</key>\n\t<string>/t.exe</string>\n",
       "QVOEMCmdLine", "string", "/t.exe"},
      {"blank after the key line", "\t<key>QVOEMCmdLine</key> \n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"letter case differs", "\t<key>qvoemcmdline</key>\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"two key lines: the first wins",
       "\t<key>QVOEMCmdLine</key>\n\t<string>/1.exe</string>\n"
       "\t<key>QVOEMCmdLine</key>\n\t<string>/2.exe</string>\n",
       "QVOEMCmdLine", "string", "/1.exe"},
      {"key line followed by another key line: no closing text",
       "\t<key>QVOEMCmdLine</key>\n\t<key>QVOEMWorkdir</key>\n\t<string>/w</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"the following key still reads",
       "\t<key>QVOEMCmdLine</key>\n\t<key>QVOEMWorkdir</key>\n\t<string>/w</string>\n",
       "QVOEMWorkdir", "string", "/w"},
      {"string too short for its tags", "\t<key>QVOEMCmdLine</key>\n\t<str>\n", "QVOEMCmdLine",
       "string", ""},
      {"string over several lines", "\t<key>QVOEMCmdLine</key>\n\t<string>/a\nb.exe</string>\n",
       "QVOEMCmdLine", "string", ""},
      {"integer element asked as string", "\t<key>QVOEMCmdLine</key>\n\t<integer>5</integer>\n",
       "QVOEMCmdLine", "string", ""},
      {"true asked as string", "\t<key>QVOEMCmdLine</key>\n\t<true/>\n", "QVOEMCmdLine", "string",
       ""},
      {"string asked as boolean", "\t<key>Quick X11 Kill Shutdown</key>\n\t<string>false</string>\n",
       "Quick X11 Kill Shutdown", "boolean", ""},
      {"trailing blanks stay", "\t<key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>  \n",
       "QVOEMCmdLine", "string", "/a.exe  "},
      {"carriage return stays after false", "\t<key>Quick X11 Kill Shutdown</key>\n\t<false/>\r\n",
       "Quick X11 Kill Shutdown", "boolean", "false\r"},
      {"blank before the slash", "\t<key>Quick X11 Kill Shutdown</key>\n\t<false />\n",
       "Quick X11 Kill Shutdown", "boolean", "false "},
      {"string indented by two tabs", "\t<key>QVOEMCmdLine</key>\n\t\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "string", ">/a.exe"},
      {"last closing text is the one removed",
       "\t<key>QVOEMCmdLine</key>\n\t<string>a</string>b</string>c\n", "QVOEMCmdLine", "string",
       "a</string>bc"},
      {"value line last, without line feed", "\t<key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>",
       "QVOEMCmdLine", "string", "/a.exe"},
      {"entities stay as written", "\t<key>QVOEMCmdLineFlags</key>\n\t<string>A &amp; B</string>\n",
       "QVOEMCmdLineFlags", "string", "A &amp; B"},
      {"empty string element", "\t<key>QVOEMCmdLineFlags</key>\n\t<string></string>\n",
       "QVOEMCmdLineFlags", "string", ""},
      {"other kind: the line unchanged", "\t<key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "integer", "\t<string>/a.exe</string>"},
      {"kind compared exactly", "\t<key>QVOEMCmdLine</key>\n\t<string>/a.exe</string>\n",
       "QVOEMCmdLine", "String", "\t<string>/a.exe</string>"},
      {"NUL bytes are ordinary bytes",
       Bytes("\t<key>QVOEMCmdLine</key>\n\t<string>/a\0b.exe</string>\n"), "QVOEMCmdLine",
       "string", Bytes("/a\0b.exe")},
      {"binary property list", Bytes("bplist00\xd1\x01\x02_\x10\x0cQVOEMCmdLine"),
       "QVOEMCmdLine", "string", ""},
      {"empty file", "", "QVOEMCmdLine", "string", ""},
  };
  for (const ReaderCase& c : cases) {
    EXPECT_EQ(Read(c.content, c.key, c.kind), c.expected) << c.name;
  }
}

TEST_F(InfoPlistReader, MissingFileGivesEmptyText) {
  EXPECT_EQ(GetFromInfoPlist(bundle.root + "/none.plist", "QVOEMCmdLine", "string"), "");
}

TEST_F(InfoPlistReader, LongLineAndLargeFile) {
  std::string longValue(10 * 1024 * 1024, 'x');
  std::string content = std::string(200000, '\n') + "\t<key>QVOEMCmdLine</key>\n\t<string>" +
                        longValue + "</string>\n";
  EXPECT_EQ(Read(content, "QVOEMCmdLine", "string"), longValue);
}

TEST_F(InfoPlistReader, AnInfoPlistThatIsNoRegularFileReadsAsNoSettings) {
  const std::string path = bundle.paths.infoPlist;
  const std::function<void()> makers[] = {
      [&] { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); },
      [&] { ASSERT_EQ(mkdir(path.c_str(), 0755), 0); },
      [&] { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); },
  };
  for (const auto& make : makers) {
    std::remove(path.c_str());
    rmdir(path.c_str());
    make();
    LaunchConfig read = ReadLaunchConfig(path);
    EXPECT_EQ(read.cmdLine, "");
    EXPECT_EQ(read.quickX11KillShutdown, "");
  }
  std::remove(path.c_str());
  rmdir(path.c_str());
}

TEST_F(InfoPlistReader, ReadLaunchConfigReadsAllFive) {
  LaunchConfig written{"/P/a.exe", "/P", "-x -y", "Ambergate 8", "false"};
  WriteFile(bundle.paths.infoPlist, InfoPlistText(written));
  LaunchConfig read = ReadLaunchConfig(bundle.paths.infoPlist);
  EXPECT_EQ(read.cmdLine, "/P/a.exe");
  EXPECT_EQ(read.workdir, "/P");
  EXPECT_EQ(read.cmdLineFlags, "-x -y");
  EXPECT_EQ(read.engineRequirement, "Ambergate 8");
  EXPECT_EQ(read.quickX11KillShutdown, "false");
}

TEST(StripPlistValue, FixedCounts) {
  EXPECT_EQ(StripPlistValue("XXXXXXXXXvalue</string>", "string"), "value");
  EXPECT_EQ(StripPlistValue("XXtrue/>", "boolean"), "true");
  EXPECT_EQ(StripPlistValue("\t<", "boolean"), "");
  EXPECT_EQ(StripPlistValue("", "integer"), "");
}

}  // namespace
