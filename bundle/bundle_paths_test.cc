#include "bundle/bundle_paths.h"

#include <gtest/gtest.h>

#include "tests/fixture.h"

namespace {

struct DerivationCase {
  const char* invocation;
  const char* suffix;
  const char* contents;  // nullptr: no bundle
};

TEST(DeriveBundlePaths, Table) {
  const DerivationCase cases[] = {
      {"/Applications/Foo.app/Contents/MacOS/Valnor", kValnorSuffix,
       "/Applications/Foo.app/Contents"},
      {"/Applications/Foo.app/Contents/Brackenfold.app/Contents/MacOS/Brackenfold",
       kBrackenfoldSuffix, "/Applications/Foo.app/Contents"},
      // Text after the last occurrence stays in place.
      {"/A/Foo.app/Contents/MacOS/ValnorX", kValnorSuffix, "/A/Foo.app/ContentsX"},
      // The last occurrence counts, not the first.
      {"/A/MacOS/Valnor/B.app/Contents/MacOS/Valnor", kValnorSuffix, "/A/MacOS/Valnor/B.app/Contents"},
      // Nothing is normalised.
      {"//A/./Foo.app//Contents/MacOS/Valnor", kValnorSuffix, "//A/./Foo.app//Contents"},
      {"./MacOS/Valnor", kValnorSuffix, "."},
      {"/MacOS/Valnor", kValnorSuffix, ""},
      // Brackenfold's suffix is not Valnor's.
      {"/Applications/Foo.app/Contents/MacOS/Valnor", kBrackenfoldSuffix, nullptr},
      {"/usr/local/bin/Valnor", kValnorSuffix, nullptr},
      {"./Valnor", kValnorSuffix, nullptr},
      {"", kValnorSuffix, nullptr},
      {"/A/Foo.app/Contents/MacOS/valnor", kValnorSuffix, nullptr},
  };
  for (const DerivationCase& c : cases) {
    std::optional<BundlePaths> paths = DeriveBundlePaths(c.invocation, c.suffix);
    if (c.contents == nullptr) {
      EXPECT_FALSE(paths) << c.invocation;
      continue;
    }
    ASSERT_TRUE(paths) << c.invocation;
    EXPECT_EQ(paths->contents, c.contents) << c.invocation;
  }
}

TEST(DeriveBundlePaths, EveryFieldFollowsContents) {
  std::optional<BundlePaths> paths =
      DeriveBundlePaths("/Applications/Foo.app/Contents/MacOS/Valnor", kValnorSuffix);
  ASSERT_TRUE(paths);
  EXPECT_EQ(paths->infoPlist, "/Applications/Foo.app/Contents/Info.plist");
  EXPECT_EQ(paths->instanceFile, "/Applications/Foo.app/Contents/.AlreadyRunningPID");
  EXPECT_EQ(paths->driveC,
            "/Applications/Foo.app/Contents/SharedSupport/Ambergate/support/default/drive_c");
  EXPECT_EQ(paths->macos, "/Applications/Foo.app/Contents/MacOS");
  EXPECT_EQ(paths->tempFile, "/Applications/Foo.app/Contents/MacOS/QVTempfile");
}

TEST(MakeAbsolutePath, Table) {
  struct Case {
    const char* path;
    const char* start;
    const char* expected;
  } cases[] = {
      {"/A/Foo.app/Contents/MacOS/Valnor", "/elsewhere", "/A/Foo.app/Contents/MacOS/Valnor"},
      {"./MacOS/Valnor", "/A/Foo.app/Contents", "/A/Foo.app/Contents/./MacOS/Valnor"},
      {"MacOS/Valnor", "/A/Foo.app/Contents", "/A/Foo.app/Contents/MacOS/Valnor"},
      {"../MacOS/Valnor", "/A/Foo.app/Contents/x", "/A/Foo.app/Contents/x/../MacOS/Valnor"},
      {"Valnor", "", "Valnor"},
  };
  for (const Case& c : cases) EXPECT_EQ(MakeAbsolutePath(c.path, c.start), c.expected) << c.path;
}

// The built programs, started by a path without their suffix, say where they must lie,
// touch nothing and end with status 1.
TEST(LauncherOutsideBundle, SaysWhereItMustLieAndEndsWithOne) {
  TestBundle bundle = MakeTestBundle();
  for (const std::string program : {"Valnor", "Brackenfold"}) {
    std::string binary = BuiltLauncher(program);
    std::string argv0 = bundle.root + "/" + program + "-elsewhere";
    RunResult run = RunProgram(binary, argv0);
    EXPECT_EQ(run.exitStatus, 1) << program;
    EXPECT_EQ(run.out, "") << program;
    EXPECT_NE(run.err.find(program + ": cannot find its wrapper bundle"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(argv0), std::string::npos) << run.err;
    EXPECT_FALSE(PathExists(bundle.paths.instanceFile));
  }
  RemoveTestBundle(bundle);
}

}  // namespace
