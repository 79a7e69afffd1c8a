// The library hands HiGHS what HiGHS would get by itself: its default controls are HiGHS's
// defaults, and the same model searched through the library and through HiGHS alone explores
// the same tree (HiGHS's search is deterministic for a given model and options).
#include <cmath>
#include <string>

// The C API header declares a function it never defines.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <interfaces/highs_c_api.h>
#pragma GCC diagnostic pop

#include "test_support.h"

using namespace klvo_test;

namespace {

using HighsDefaultsTest = ProblemTest;

}  // namespace

TEST_F(HighsDefaultsTest, DefaultControlsAreHighsDefaults) {
  void *highs = Highs_create();
  const struct {
    int control;
    const char *option;
  } tolerances[] = {
      {KLVO_CONTROL_FEASTOL, "primal_feasibility_tolerance"},
      {KLVO_CONTROL_OPTTOL, "dual_feasibility_tolerance"},
      {KLVO_CONTROL_MIPTOL, "mip_feasibility_tolerance"},
      {KLVO_CONTROL_MIPRELSTOP, "mip_rel_gap"},
      {KLVO_CONTROL_MIPABSSTOP, "mip_abs_gap"},
  };
  for (const auto &t : tolerances) {
    SCOPED_TRACE(t.option);
    double ours = 0, theirs = 0;
    ASSERT_EQ(KLVOgetdblcontrol(prob, t.control, &ours), 0);
    ASSERT_EQ(Highs_getDoubleOptionValue(highs, t.option, &theirs), kHighsStatusOk);
    EXPECT_EQ(ours, theirs);
  }
  Highs_destroy(highs);
}

TEST_F(HighsDefaultsTest, MipSearchIsTheOneHighsRunsAlone) {
  // flugpl branches (about ninety nodes) and solves in well under a second.
  read_instance(prob, "flugpl.mps");
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);

  void *highs = Highs_create();
  Highs_setBoolOptionValue(highs, "output_flag", 0);
  ASSERT_NE(Highs_readModel(highs, data_file("flugpl.mps").c_str()), kHighsStatusError);
  ASSERT_NE(Highs_run(highs), kHighsStatusError);
  int64_t nodes = 0;
  HighsInt iterations = 0;
  Highs_getInt64InfoValue(highs, "mip_node_count", &nodes);
  Highs_getIntInfoValue(highs, "simplex_iteration_count", &iterations);
  double objective = Highs_getObjectiveValue(highs);
  Highs_destroy(highs);

  ASSERT_GT(nodes, 1);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_NODES), nodes);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SIMPLEXITER), iterations);
  EXPECT_EQ(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), objective);
}
