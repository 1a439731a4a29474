#include "process/pacing.h"

#include <sys/resource.h>

#include <algorithm>

namespace {

double Seconds(const struct timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

}  // namespace

double ProcessorSecondsUsed() {
  double total = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    struct rusage usage;
    if (getrusage(who, &usage) == 0) total += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  }
  return total;
}

double GrowPause(double pause) { return std::min(pause * 2, kLongestGrowingPauseSeconds); }

double PauseBeforeRetake(double growingPause, double lastWallSeconds, double costSeconds) {
  return std::max({growingPause - lastWallSeconds, kPauseToCostRatio * costSeconds, 0.0});
}

double PacingCost(double previousSeconds, double lastSeconds) {
  return previousSeconds < 0 ? lastSeconds : std::min(previousSeconds, lastSeconds);
}
