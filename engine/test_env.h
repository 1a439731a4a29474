// Test helpers for the engine tests: the dialog stand-ins' PATH.
#ifndef QUILLON_ENGINE_TEST_ENV_H_
#define QUILLON_ENGINE_TEST_ENV_H_

#include <cstdlib>
#include <string>

#include "tests/fixture.h"
#include "tests/scoped_env.h"

// Returns PATH with the bundle's stand-in dialogs in front of the current folders.
inline std::string StandInDialogPath(const TestBundle& bundle) {
  const char* path = std::getenv("PATH");
  return bundle.bin + ":" + (path ? path : "/usr/bin:/bin");
}

#endif  // QUILLON_ENGINE_TEST_ENV_H_
