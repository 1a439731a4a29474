#include "engine/presence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "bundle/companions.h"
#include "bundle/text_file.h"
#include "engine/dialogs.h"
#include "engine/test_env.h"
#include "tests/fixture.h"

namespace fs = std::filesystem;

namespace {

// Returns the target of the link at path, or "" when it is no link.
std::string LinkTarget(const std::string& path) {
  std::error_code error;
  fs::path target = fs::read_symlink(path, error);
  return error ? "" : target.string();
}

// The dialog stand-ins first on PATH and a display, so a dialog is recorded, not shown.
class Presence : public BundleTest {
 protected:
  void SetUp() override {
    BundleTest::SetUp();
    path = std::make_unique<ScopedEnv>("PATH", StandInDialogPath(bundle));
    display = std::make_unique<ScopedEnv>("DISPLAY", ":quillon-test");
  }
  void TearDown() override {
    display.reset();
    path.reset();
    BundleTest::TearDown();
  }
  std::string Link() const { return X11LinkPath(bundle.paths.macos); }
  std::unique_ptr<ScopedEnv> path;
  std::unique_ptr<ScopedEnv> display;
};

TEST(ComposeX11LinkRepairCommand, MatchesTheTemplate) {
  EXPECT_EQ(ComposeX11LinkRepairCommand("/A/W.app/Contents/MacOS", "X.app"),
            "cd \"/A/W.app/Contents/MacOS/../SharedSupport\"; rm X11; ln -s "
            "\"../MacOS/X.app/Contents/SharedSupport/X11\" X11");
  EXPECT_EQ(ComposeX11LinkRepairCommand("/A/$W.app/Contents/MacOS", "sub/X 1.app"),
            "cd \"/A/\\$W.app/Contents/MacOS/../SharedSupport\"; rm X11; ln -s "
            "\"../MacOS/sub/X 1.app/Contents/SharedSupport/X11\" X11");
}

TEST_F(Presence, RepairsAMissingOrDanglingLinkAndLeavesAPresentOneAlone) {
  const std::string standard = X11LinkTarget(bundle.x11App);
  const std::string other = bundle.contents + "/SharedSupport/OtherX11";
  fs::create_directories(other);
  const struct {
    const char* name;
    std::string linkTo;  // "" : no entry; "folder": a real folder
    std::string expectedTarget;  // after the check; "" for the real folder
  } cases[] = {
      {"present link elsewhere is not touched", "OtherX11", "OtherX11"},
      {"dangling link is replaced", "../MacOS/Moved.app/Contents/SharedSupport/X11", standard},
      {"missing entry is created", "", standard},
      {"real folder is left alone", "folder", ""},
  };
  for (const auto& c : cases) {
    fs::remove_all(Link());
    if (c.linkTo == "folder") {
      fs::create_directories(Link());
      WriteFile(Link() + "/kept", "");
    } else if (!c.linkTo.empty()) {
      fs::create_symlink(c.linkTo, Link());
    }
    EXPECT_TRUE(IsEngineInstalled(bundle.paths.macos, bundle.x11App, "Ambergate 8")) << c.name;
    EXPECT_EQ(LinkTarget(Link()), c.expectedTarget) << c.name;
    EXPECT_TRUE(CanOpenForReading(Link() + "/lib") || c.linkTo == "folder" ||
                c.linkTo == "OtherX11")
        << c.name;
    if (c.linkTo == "folder") {
      EXPECT_TRUE(PathExists(Link() + "/kept"));
    }
  }
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
}

TEST_F(Presence, EmptyX11AppNameRepairsToALinkThatLeadsNowhere) {
  fs::remove(Link());
  EXPECT_TRUE(IsEngineInstalled(bundle.paths.macos, "", "Ambergate 8"));
  EXPECT_EQ(LinkTarget(Link()), "../MacOS//Contents/SharedSupport/X11");
  EXPECT_FALSE(CanOpenForReading(Link()));
}

TEST(PresenceWithoutEngine, ShowsTheDialogAndLeavesTheLinkAlone) {
  TestBundleOptions options;
  options.withEngine = false;
  TestBundle bundle = MakeTestBundle(options);
  ScopedEnv path("PATH", StandInDialogPath(bundle));
  ScopedEnv display("DISPLAY", ":quillon-test");
  const std::string link = X11LinkPath(bundle.paths.macos);
  fs::remove(link);
  fs::create_symlink("../MacOS/Gone.app/Contents/SharedSupport/X11", link);
  for (const std::string requirement : {"Ambergate 8", ""}) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(IsEngineInstalled(bundle.paths.macos, bundle.x11App, requirement));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, MissingEngineMessage(requirement) + "\n");
    EXPECT_EQ(RecordedArgs(bundle, "zenity"),
              (std::vector<std::string>{"--error", "--no-markup",
                                        "--text=" + MissingEngineMessage(requirement)}));
    EXPECT_EQ(LinkTarget(link), "../MacOS/Gone.app/Contents/SharedSupport/X11");
  }
  RemoveTestBundle(bundle);
}

TEST_F(Presence, ExeIsPresentAsFileOrFolderAndAbsentOtherwise) {
  const std::string program = bundle.paths.driveC + "/Program Files/Example/Example.exe";
  EXPECT_TRUE(IsExeInstalled(program));
  EXPECT_TRUE(IsExeInstalled(bundle.paths.driveC + "/Program Files/Example"));
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(IsExeInstalled(program + ".missing"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), MissingProgramMessage() + "\n");
  EXPECT_EQ(RecordedArgs(bundle, "zenity"),
            (std::vector<std::string>{"--error", "--no-markup", "--text=" + MissingProgramMessage()}));
  const std::string dangling = bundle.root + "/dangling.exe";
  fs::create_symlink("nowhere.exe", dangling);
  EXPECT_FALSE(IsExeInstalled(dangling));
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 2);
}

}  // namespace
