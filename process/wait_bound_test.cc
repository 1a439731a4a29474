#include "process/wait_bound.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(WaitBoundTest, ReadsPositiveNumbersAndFallsBackToThirtySeconds) {
  struct Case {
    const char* value;  // nullptr: unset
    double seconds;
  };
  const Case cases[] = {
      {nullptr, 30}, {"", 30},   {"5", 5},    {"1.5", 1.5}, {"0", 30},
      {"-3", 30},    {"abc", 30}, {"5s", 30}, {"inf", 30},  {"nan", 30},
  };
  const char* saved = std::getenv(kWaitBoundVariable);
  std::string savedValue = saved ? saved : "";
  for (const Case& c : cases) {
    if (c.value == nullptr) {
      unsetenv(kWaitBoundVariable);
    } else {
      setenv(kWaitBoundVariable, c.value, 1);
    }
    EXPECT_DOUBLE_EQ(WaitBoundSeconds(), c.seconds) << (c.value ? c.value : "(unset)");
  }
  if (saved) {
    setenv(kWaitBoundVariable, savedValue.c_str(), 1);
  } else {
    unsetenv(kWaitBoundVariable);
  }
}

}  // namespace
