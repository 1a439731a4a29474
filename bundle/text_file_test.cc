#include "bundle/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/fixture.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(BundleTest, LinesSplitAtLineFeedOnly) {
  const struct {
    std::string content;
    Lines lines;
    std::string first;
  } cases[] = {
      {"", {}, ""},
      {"a", {"a"}, "a"},
      {"a\n", {"a"}, "a"},
      {"a\nb", {"a", "b"}, "a"},
      {"a\n\nb\n", {"a", "", "b"}, "a"},
      {"\n", {""}, ""},
      {"a\r\n b \n", {"a\r", " b "}, "a\r"},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}, std::string("a\0b", 3)},
  };
  const std::string path = bundle.root + "/lines";
  for (const auto& c : cases) {
    WriteFile(path, c.content);
    EXPECT_EQ(ReadLines(path), c.lines) << c.content;
    EXPECT_EQ(ReadFirstLine(path), c.first) << c.content;
  }
  EXPECT_EQ(ReadLines(bundle.root + "/missing"), Lines{});
  EXPECT_EQ(ReadFirstLine(bundle.root + "/missing"), "");
}

TEST_F(BundleTest, FileHasLineComparesWholeLines) {
  const std::string path = bundle.root + "/snapshot";
  WriteFile(path, "101\n0202\n303 \n404");
  EXPECT_TRUE(FileHasLine(path, "101"));
  EXPECT_TRUE(FileHasLine(path, "404"));
  EXPECT_FALSE(FileHasLine(path, "202"));
  EXPECT_FALSE(FileHasLine(path, "303"));
  EXPECT_FALSE(FileHasLine(path, "10"));
  EXPECT_FALSE(FileHasLine(bundle.root + "/missing", "101"));
}

TEST_F(BundleTest, CanOpenForReading) {
  const std::string file = bundle.root + "/file";
  WriteFile(file, "x");
  symlink("file", (bundle.root + "/good-link").c_str());
  symlink("nowhere", (bundle.root + "/dangling").c_str());
  symlink("self-link", (bundle.root + "/self-link").c_str());
  EXPECT_TRUE(CanOpenForReading(file));
  EXPECT_TRUE(CanOpenForReading(bundle.root));
  EXPECT_TRUE(CanOpenForReading(bundle.root + "/good-link"));
  EXPECT_FALSE(CanOpenForReading(bundle.root + "/dangling"));
  EXPECT_FALSE(CanOpenForReading(bundle.root + "/self-link"));
  EXPECT_FALSE(CanOpenForReading(bundle.root + "/missing"));
}

}  // namespace
