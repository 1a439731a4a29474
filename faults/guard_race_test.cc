// Two launchers of one bundle released from one start gate at the same instant, round after
// round: in each round exactly one proceeds and the other prints its denial line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const int kRounds = 50;

struct Pairing {
  const char* first;
  const char* second;
};

void PrintTo(const Pairing& p, std::ostream* os) { *os << p.first << "+" << p.second; }

class FaultsGuardRace : public ::testing::TestWithParam<Pairing> {
 protected:
  void TearDown() override { RemoveTestBundle(bundle_); }
  TestBundle bundle_;
};

std::string DenialLine(const std::string& program, const std::string& firstLine) {
  return program == "Valnor" ? ValnorDenialLine(firstLine) : BrackenfoldDenialLine(firstLine);
}

TEST_P(FaultsGuardRace, ExactlyOneProceedsInEachRound) {
  const Pairing& pairing = GetParam();
  bundle_ = MakeFaultBundle();
  // The winner stays in its engine until the round is judged, then it is quit with SIGTERM.
  WriteFile(bundle_.control + "/wine.seconds", "60");
  const std::string programs[2] = {pairing.first, pairing.second};
  LaunchPlan plans[2] = {PlanFor(bundle_, programs[0], 5), PlanFor(bundle_, programs[1], 5)};
  int wins[2] = {0, 0};
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t pids[2];
    std::string outs[2], errs[2];
    for (int i = 0; i < 2; ++i) {
      outs[i] = bundle_.root + "/race" + std::to_string(i) + ".out";
      errs[i] = bundle_.root + "/race" + std::to_string(i) + ".err";
      plans[i].options.startGateFd = gate[0];
      plans[i].options.startGateWriteFd = gate[1];
      pids[i] = StartLauncher(plans[i], outs[i], errs[i]);
    }
    close(gate[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    close(gate[1]);  // both start now

    // The first to end is the one denied; the other waits in its engine.
    int loser = -1;
    auto start = std::chrono::steady_clock::now();
    while (loser < 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
      for (int i = 0; i < 2 && loser < 0; ++i) {
        int status;
        if (waitpid(pids[i], &status, WNOHANG) == pids[i]) {
          loser = i;
          EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
              << "wait status " << status << ", standard error: " << ReadFile(errs[i]);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(loser, 0) << "neither launcher ended";
    const int winner = 1 - loser;
    const std::string claim = std::to_string(pids[winner]);
    EXPECT_EQ(ReadFile(outs[loser]), DenialLine(programs[loser], claim));
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), claim + "\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(waitpid(pids[winner], nullptr, WNOHANG), 0)
        << "the winner ended too: " << ReadFile(outs[winner]) << ReadFile(errs[winner]);
    EXPECT_EQ(ReadFile(outs[winner]), "");
    ++wins[winner];
    // Quit, the winner ends its whole run: its X11 server and engine run in groups of their own.
    kill(pids[winner], SIGTERM);
    RunResult ended = WaitProgram(pids[winner], 10, outs[winner], errs[winner]);
    EXPECT_EQ(ended.out, "");
    EXPECT_EQ(ended.exitStatus, 128 + SIGTERM);
    ASSERT_TRUE(WaitForStandInsToEnd(bundle_, 10))
        << "left running: " << LiveStandIns(bundle_, "QVX11Server").size() << " X11 server(s), "
        << LiveStandIns(bundle_, "wineserver").size() << " Wine server(s); " << ended.err;
  }
  EXPECT_EQ(wins[0] + wins[1], kRounds);
  std::printf("races %s+%s: %d rounds, first won %d, second won %d\n", pairing.first,
              pairing.second, kRounds, wins[0], wins[1]);
}

INSTANTIATE_TEST_SUITE_P(EveryPairing, FaultsGuardRace,
                         ::testing::Values(Pairing{"Valnor", "Valnor"},
                                           Pairing{"Valnor", "Brackenfold"},
                                           Pairing{"Brackenfold", "Valnor"},
                                           Pairing{"Brackenfold", "Brackenfold"}),
                         [](const ::testing::TestParamInfo<Pairing>& param) {
                           return std::string(param.param.first) + param.param.second;
                         });

}  // namespace
