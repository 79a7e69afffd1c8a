// A problem being solved refuses to be changed, released or solved again, from any thread,
// the solving one too; reads and interrupts still go through.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "test_support.h"

using namespace klvo_test;

namespace {

// Holds the solve inside its first message until the test lets it go, after recording what a
// change made from the solving thread itself returned.
struct Gate {
  std::atomic<bool> entered{false};
  std::atomic<bool> released{false};
  int inner_change = 0, inner_solve = 0;
};

void hold(KLVOprob prob, void *data, const char *, int, int) {
  auto *gate = static_cast<Gate *>(data);
  if (gate->entered.load()) return;
  const int col = 0;
  const double zero = 0;
  gate->inner_change = KLVOchgobj(prob, 1, &col, &zero);
  gate->inner_solve = KLVOmipoptimize(prob, "");
  gate->entered = true;
  for (int k = 0; k < 20000 && !gate->released.load(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool says_being_solved(const std::string &text, const char *fn) {
  return text == std::string(fn) + ": the problem is being solved";
}

}  // namespace

TEST_F(ProblemTest, AProblemBeingSolvedRefusesChangesButAnswersReadsAndInterrupts) {
  // A market-split MIP: hard enough that the search is still running when interrupted.
  load(prob, market_split(4, 40, 2));
  Gate gate;
  ASSERT_EQ(KLVOaddcbmessage(prob, hold, &gate, 0), 0);
  int rc = -1, solvestatus = 0, solstatus = 0;
  std::thread solver([&] { rc = KLVOoptimize(prob, "", &solvestatus, &solstatus); });
  while (!gate.entered.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  // From the solving thread: a change and a second solve were refused.
  EXPECT_EQ(gate.inner_change, KLVO_ERR_BUSY);
  EXPECT_EQ(gate.inner_solve, KLVO_ERR_BUSY);

  // From another thread: changes, reloads, a second solve and releases fail with the message.
  const int col = 0;
  const char upper = 'U';
  const double one = 1;
  EXPECT_EQ(KLVOdelcols(prob, 1, &col), KLVO_ERR_BUSY);
  EXPECT_TRUE(says_being_solved(error(), "KLVOdelcols")) << error();
  EXPECT_EQ(KLVOchgbounds(prob, 1, &col, &upper, &one), KLVO_ERR_BUSY);
  EXPECT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MAXNODE, 5), KLVO_ERR_BUSY);
  EXPECT_EQ(load_empty(prob, "x"), KLVO_ERR_BUSY);
  EXPECT_EQ(KLVOlpoptimize(prob, ""), KLVO_ERR_BUSY);
  EXPECT_TRUE(says_being_solved(error(), "KLVOlpoptimize")) << error();
  EXPECT_EQ(KLVOdestroyprob(prob), KLVO_ERR_BUSY);
  EXPECT_EQ(KLVOfree(), KLVO_ERR_BUSY);
  char text[512];
  KLVO_ge_getlasterror(nullptr, text, sizeof text, nullptr);
  EXPECT_STREQ(text, "KLVOfree: a problem is being solved");

  // Reads answer, and the interrupt stops the search.
  EXPECT_EQ(ncols(prob), 40);
  EXPECT_EQ(KLVOinterrupt(prob, 1), 0);
  gate.released = true;
  solver.join();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_STOPPED);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_STOPSTATUS), KLVO_STOP_INTERRUPT);
  ASSERT_EQ(KLVOremovecbmessage(prob, hold, &gate), 0);

  // Once the solve is over the problem is the caller's again; an interrupt left over from
  // before a solve does not stop it.
  EXPECT_EQ(KLVOdelcols(prob, 1, &col), 0);
  EXPECT_EQ(KLVOinterrupt(prob, 1), 0);
  load(prob, multi_knapsack(3, 8, 1));
  EXPECT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
}
