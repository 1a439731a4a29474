// How the waits of a launcher pace their retakes and probes: a pause that grows from a few
// milliseconds to 100 ms, stretched so that retakes cost under 2 % of a core whatever one costs.
#ifndef QUILLON_PROCESS_PACING_H_
#define QUILLON_PROCESS_PACING_H_

// The first pause, in seconds.
inline constexpr double kFirstPauseSeconds = 0.002;

// The longest the growing pause becomes, in seconds.
inline constexpr double kLongestGrowingPauseSeconds = 0.1;

// How many times its own processor time a retake is followed by a pause at least: retakes then
// take 1 / (1 + 60), about 1.6 % of a core, under 2 % with room for what the count misses.
inline constexpr double kPauseToCostRatio = 60;

// Returns the next growing pause: pause doubled, at most kLongestGrowingPauseSeconds.
double GrowPause(double pause);

// Returns the processor time, in seconds, that this process and its reaped children have used
// so far: the difference around a retake is what the retake cost, whatever else the machine does.
double ProcessorSecondsUsed();

// Returns the pause before the next retake: the larger of what is left of growingPause after
// the last retake's lastWallSeconds (so retakes start growingPause apart), and kPauseToCostRatio
// times costSeconds, the processor time a retake costs.
double PauseBeforeRetake(double growingPause, double lastWallSeconds, double costSeconds);

// Returns the cost to pace by: the smaller of the last two retakes' processor times (the last
// alone when there is no earlier one, previousSeconds < 0), so one retake slowed by a busy
// moment does not stretch the wait, while a pidof that is costly every time does.
double PacingCost(double previousSeconds, double lastSeconds);

#endif  // QUILLON_PROCESS_PACING_H_
