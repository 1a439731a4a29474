#include "bench/measure.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

StartedRun StartMeasured(const std::string& program, const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env) {
  StartedRun run;
  run.childrenCpuBefore = ChildrenCpuSeconds();
  run.startSeconds = Now();
  run.pid = fork();
  if (run.pid == 0) {
    for (const auto& [name, value] : env) {
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    int quiet = open("/dev/null", O_RDWR);
    if (quiet >= 0) {
      dup2(quiet, 0);
      dup2(quiet, 1);
      dup2(quiet, 2);
    }
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    execv(program.c_str(), words.data());
    _exit(127);
  }
  return run;
}

bool FinishMeasured(const StartedRun& run, bool wait, RunCost* cost) {
  int status = 0;
  if (run.pid > 0) {
    pid_t done = waitpid(run.pid, &status, wait ? 0 : WNOHANG);
    if (done == 0) return false;
  }
  cost->wallSeconds = Now() - run.startSeconds;
  cost->cpuSeconds = ChildrenCpuSeconds() - run.childrenCpuBefore;
  cost->exitStatus = run.pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

RunCost RunAndMeasure(const std::string& program, const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env) {
  RunCost cost;
  FinishMeasured(StartMeasured(program, argv, env), true, &cost);
  return cost;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Largest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double MedianSystemSeconds(const std::string& command, int count) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const double start = Now();
    int status = std::system(command.c_str());
    (void)status;
    times.push_back(Now() - start);
  }
  return Median(times);
}

double MedianSpawnSeconds(const std::string& program, const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env, int count) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) times.push_back(RunAndMeasure(program, argv, env).wallSeconds);
  return Median(times);
}
