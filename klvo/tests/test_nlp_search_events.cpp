// The nonlinear layer's node events in the library's search over a problem with formulas and
// integer columns: when they fire, and what their answers do to the search.
#include <cmath>

#include "test_support.h"

using namespace klvo_test;

namespace {

struct Counts {
  int prenode = 0, slpnode = 0, optnode = 0, intsol = 0;
  bool drop_all = false;
};

// min (x - 1.4)^2 + exp(y) - y with x integer in [0, 3] and y in [-1, 2]: by hand x = 1 and
// y = 0 (where exp(y) - y is least), objective 0.16 + 1.
void build(NlpProblem &p) {
  p.columns(2, {0, -1}, {3, 2});
  char integer = 'I';
  int col = 0;
  ASSERT_EQ(KLVOchgcoltype(p.prob, 1, &col, &integer), 0) << p.error();
  p.objective(pow(X(0) - 1.4, 2.0) + exp(X(1)) - X(1));
}

void set_events(NlpProblem &p, Counts &c) {
  ASSERT_EQ(KSLPsetcbprenode(p.slp, [](KSLPprob, void *d, int *infeasible) {
              auto *c = static_cast<Counts *>(d);
              ++c->prenode;
              EXPECT_EQ(*infeasible, 0);
              return 0;
            }, &c), 0);
  ASSERT_EQ(KSLPsetcbslpnode(p.slp, [](KSLPprob, void *d) { return ++static_cast<Counts *>(d)->slpnode, 0; }, &c), 0);
  ASSERT_EQ(KSLPsetcboptnode(p.slp, [](KSLPprob, void *d, int *infeasible) {
              auto *c = static_cast<Counts *>(d);
              ++c->optnode;
              if (c->drop_all) *infeasible = 1;
              return 0;
            }, &c), 0);
  ASSERT_EQ(KSLPsetcbintsol(p.slp, [](KSLPprob, void *d) { return ++static_cast<Counts *>(d)->intsol, 0; }, &c), 0);
}

}  // namespace

TEST(NlpSearchEvents, FireAtEachNodeAndTheirAnswersPruneIt) {
  NlpProblem p;
  build(p);
  Counts c;
  set_events(p, c);
  ASSERT_EQ(KLVOsetintcontrol(p.prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  ASSERT_EQ(KLVOoptimize(p.prob, "", nullptr, nullptr), 0) << p.error();
  EXPECT_NEAR(dbl_attr(p.prob, KLVO_ATTR_MIPOBJVAL), 0.16 + 1.0, 1e-6);
  std::vector<double> x = solution(p.prob);
  EXPECT_NEAR(x[0], 1.0, 1e-6);
  EXPECT_NEAR(x[1], 0.0, 1e-4);
  // The root's relaxation (x = 1.4) is fractional: the search branches, so there is more than
  // one node, and every node goes through prenode and slpnode before its relaxation.
  EXPECT_GE(c.prenode, 2);
  EXPECT_EQ(c.slpnode, c.prenode);
  EXPECT_GE(c.optnode, 1);
  EXPECT_LE(c.optnode, c.prenode);
  EXPECT_GE(c.intsol, 1);

  // Every node declared infeasible at optnode: nothing is found.
  c = Counts();
  c.drop_all = true;
  ASSERT_EQ(KLVOoptimize(p.prob, "", nullptr, nullptr), 0) << p.error();
  EXPECT_EQ(c.optnode, 1);
  EXPECT_EQ(c.intsol, 0);
  EXPECT_EQ(int_attr(p.prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_INFEAS);

  // Removed events fire no more.
  ASSERT_EQ(KSLPsetcboptnode(p.slp, nullptr, nullptr), 0);
  c = Counts();
  ASSERT_EQ(KLVOoptimize(p.prob, "", nullptr, nullptr), 0) << p.error();
  EXPECT_EQ(c.optnode, 0);
  EXPECT_GE(c.intsol, 1);
}
