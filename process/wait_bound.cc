#include "process/wait_bound.h"

#include <cmath>
#include <cstdlib>

double WaitBoundSeconds() {
  const double kDefaultSeconds = 30;
  const char* text = std::getenv(kWaitBoundVariable);
  if (text == nullptr || *text == '\0') return kDefaultSeconds;
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  // Only a whole positive number counts; anything else falls back to the default.
  if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0) return kDefaultSeconds;
  return seconds;
}
