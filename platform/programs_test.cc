#include "platform/programs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/fixture.h"

namespace {

// Sets PATH for one test and puts the old value back afterwards.
struct ScopedPath {
  explicit ScopedPath(const std::string& value) {
    const char* old = std::getenv("PATH");
    had = old != nullptr;
    if (had) saved = old;
    setenv("PATH", value.c_str(), 1);
  }
  ~ScopedPath() {
    if (had) {
      setenv("PATH", saved.c_str(), 1);
    } else {
      unsetenv("PATH");
    }
  }
  bool had = false;
  std::string saved;
};

TEST_F(BundleTest, IsExecutableFileWantsARunnableRegularFile) {
  const std::string plain = bundle.root + "/plain";
  WriteFile(plain, "text");
  chmod(plain.c_str(), 0644);
  symlink((bundle.bin + "/zenity").c_str(), (bundle.root + "/link").c_str());
  EXPECT_TRUE(IsExecutableFile(bundle.bin + "/zenity"));
  EXPECT_TRUE(IsExecutableFile(bundle.root + "/link"));
  EXPECT_FALSE(IsExecutableFile(plain));
  EXPECT_FALSE(IsExecutableFile(bundle.bin));  // a searchable folder is no program
  EXPECT_FALSE(IsExecutableFile(bundle.root + "/missing"));
  EXPECT_FALSE(IsExecutableFile(""));
}

TEST_F(BundleTest, FindProgramOnPathSearchesInOrder) {
  const std::string first = bundle.root + "/first";
  const std::string second = bundle.root + "/second";
  for (const std::string& folder : {first, second}) mkdir(folder.c_str(), 0755);
  WriteFile(first + "/tool", "not runnable");
  chmod((first + "/tool").c_str(), 0644);
  WriteFile(second + "/tool", "#!/bin/sh\n");
  chmod((second + "/tool").c_str(), 0755);
  {
    ScopedPath path(bundle.root + "/missing:" + first + ":" + second);
    EXPECT_EQ(FindProgramOnPath("tool"), second + "/tool");  // a file that cannot run is passed over
    EXPECT_EQ(FindProgramOnPath("none"), "");
    EXPECT_EQ(FindProgramOnPath(""), "");
    EXPECT_EQ(FindProgramOnPath(second + "/tool"), second + "/tool");
    EXPECT_EQ(FindProgramOnPath(first + "/tool"), "");
  }
  {
    ScopedPath path(bundle.bin);
    EXPECT_EQ(FindProgramOnPath("zenity"), bundle.bin + "/zenity");
  }
}

}  // namespace
