#include "process/wait_bound.h"

#include <algorithm>
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

double ShortWaitSeconds() { return std::min(3.0, WaitBoundSeconds()); }

std::chrono::steady_clock::time_point DeadlineAfter(double seconds) {
  using Clock = std::chrono::steady_clock;
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}
