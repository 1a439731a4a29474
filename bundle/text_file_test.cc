#include "bundle/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

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

// Each entry that can stand where a file of the bundle should: none of them may hang a read,
// and none is read.
struct OddEntry {
  const char* name;
  std::function<void(const std::string&)> make;
};

const OddEntry kOddEntries[] = {
    {"FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); }},
    {"folder", [](const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0); }},
    {"link to /dev/zero", [](const std::string& path) { ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0); }},
};

TEST_F(BundleTest, OnlyRegularFilesAreReadAndNothingBlocks) {
  int index = 0;
  for (const OddEntry& entry : kOddEntries) {
    const std::string path = bundle.root + "/odd" + std::to_string(++index);
    entry.make(path);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadRegularFile(path), std::nullopt) << entry.name;
    EXPECT_EQ(ReadFirstLine(path), "") << entry.name;
    EXPECT_EQ(ReadLines(path), Lines{}) << entry.name;
    EXPECT_FALSE(FileHasLine(path, "")) << entry.name;
    EXPECT_FALSE(CanWriteRegularFile(path)) << entry.name;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5)
        << entry.name;
  }
  // A link to a regular file is read through.
  WriteFile(bundle.root + "/target", "line\n");
  ASSERT_EQ(symlink("target", (bundle.root + "/link").c_str()), 0);
  EXPECT_EQ(ReadFirstLine(bundle.root + "/link"), "line");
}

TEST_F(BundleTest, ReadsStayWithinTheirBounds) {
  const std::string path = bundle.root + "/huge";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string block(1 << 20, 'y');
    for (std::size_t i = 0; i < (kReadLimit >> 20) + 4; ++i) out << block;
    out << "\nlast\n";
  }
  EXPECT_EQ(ReadRegularFile(path)->size(), kReadLimit);
  EXPECT_EQ(ReadRegularFile(path, 10), std::string(10, 'y'));
  // A line is cut at the limit; the lines after it are still read.
  EXPECT_EQ(ReadFirstLine(path), std::string(kReadLimit, 'y'));
  EXPECT_TRUE(FileHasLine(path, "last"));
  EXPECT_EQ(ReadLines(path), Lines{}) << "more text than a whole read keeps";

  // Nothing past the scan limit is looked at (the zeros before it take no disk).
  const std::string sparse = bundle.root + "/sparse";
  WriteFile(sparse, "first\n");
  const int fd = open(sparse.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "\nbeyond\n", 8, static_cast<off_t>(kScanLimit) + 10), 8);
  close(fd);
  EXPECT_EQ(ReadFirstLine(sparse), "first");
  EXPECT_FALSE(FileHasLine(sparse, "beyond"));

  // ReadLines keeps a bounded number of lines.
  WriteFile(path, std::string(kLineCountLimit + 5, '\n'));
  EXPECT_EQ(ReadLines(path).size(), kLineCountLimit);
}

TEST_F(BundleTest, CanWriteRegularFileCreatesOnlyRegularFiles) {
  const std::string missing = bundle.root + "/new";
  EXPECT_TRUE(CanWriteRegularFile(missing));
  EXPECT_EQ(ReadFile(missing), "");
  WriteFile(missing, "kept");
  EXPECT_TRUE(CanWriteRegularFile(missing));
  EXPECT_EQ(ReadFile(missing), "kept") << "nothing is truncated";
  EXPECT_FALSE(CanWriteRegularFile(bundle.root + "/no folder/new"));
}

TEST_F(BundleTest, RemoveLeftoverFileClearsAnythingButAFolderWithContent) {
  for (const OddEntry& entry : kOddEntries) {
    const std::string path = bundle.root + "/leftover";
    entry.make(path);
    EXPECT_TRUE(RemoveLeftoverFile(path)) << entry.name;
    EXPECT_FALSE(PathExists(path)) << entry.name;
  }
  const std::string folder = bundle.root + "/leftover";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  WriteFile(folder + "/kept", "data");
  EXPECT_FALSE(RemoveLeftoverFile(folder));
  EXPECT_EQ(ReadFile(folder + "/kept"), "data");
  std::filesystem::remove_all(folder);
  WriteFile(bundle.root + "/leftover", "/old/choice.exe\n");
  EXPECT_TRUE(RemoveLeftoverFile(bundle.root + "/leftover"));
  EXPECT_FALSE(PathExists(bundle.root + "/leftover"));
  EXPECT_TRUE(RemoveLeftoverFile(bundle.root + "/leftover")) << "nothing there is fine";
  EXPECT_TRUE(PathExists("/dev/zero")) << "a link's target is never touched";
}

}  // namespace
