// A scoped change of one environment variable, for tests that call library code in-process.
#ifndef QUILLON_TESTS_SCOPED_ENV_H_
#define QUILLON_TESTS_SCOPED_ENV_H_

#include <cstdlib>
#include <string>

// Sets (or, with unset, removes) an environment variable and puts the old state back when it goes.
struct ScopedEnv {
  ScopedEnv(const std::string& variable, const std::string& value, bool unset = false)
      : name(variable) {
    const char* old = std::getenv(name.c_str());
    had = old != nullptr;
    if (had) saved = old;
    if (unset) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    if (had) {
      setenv(name.c_str(), saved.c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  std::string name;
  bool had = false;
  std::string saved;
};

#endif  // QUILLON_TESTS_SCOPED_ENV_H_
