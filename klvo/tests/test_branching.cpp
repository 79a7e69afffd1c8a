// Branching objects and strong branching in the library's own search, checked against optima
// HiGHS's MIP solver finds on the same models and against relaxations solved separately.
#include <cstring>

#include "test_support.h"

using namespace klvo_test;

namespace {

class BranchingTest : public ProblemTest {
 protected:
  // The optimum HiGHS's own MIP solver finds for the model (no node callbacks registered).
  double engine_optimum(const DenseModel &m) {
    KLVOprob p = fresh();
    load(p, m);
    EXPECT_EQ(KLVOsetintcontrol(p, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_ENGINE), 0);
    EXPECT_EQ(KLVOmipoptimize(p, ""), 0);
    EXPECT_EQ(int_attr(p, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
    return dbl_attr(p, KLVO_ATTR_MIPOBJVAL);
  }
  int64_t nodes(KLVOprob p) {
    int64_t n = -1;
    EXPECT_EQ(KLVOgetintattrib64(p, KLVO_ATTR_NODES, &n), 0);
    return n;
  }
  std::string bo_error(KLVObranchobject bo) {
    char text[512] = "";
    int code = 0;
    EXPECT_EQ(KLVO_bo_getlasterror(bo, &code, text, sizeof text, nullptr), 0);
    return text;
  }
};

TEST_F(BranchingTest, BadInputIsRefusedAndLeavesTheObjectAsItWas) {
  load(prob, multi_knapsack(1, 4, 3));
  KLVObranchobject bo = nullptr;
  ASSERT_EQ(KLVO_bo_create(&bo, prob, 1), 0);
  int status = -1;
  ASSERT_EQ(KLVO_bo_validate(bo, &status), 0);
  EXPECT_EQ(status, 1);  // no branches
  ASSERT_EQ(KLVO_bo_addbranches(bo, 2), 0);

  char types[] = {'L', 'X'};
  int cols[] = {0, 1};
  double vals[] = {1.0, 0.0};
  EXPECT_NE(KLVO_bo_addbounds(bo, 0, 2, types, cols, vals), 0);
  EXPECT_NE(bo_error(bo).find("invalid bound type 'X'"), std::string::npos) << bo_error(bo);
  types[1] = 'U';
  cols[1] = 4;  // the problem has 4 columns
  EXPECT_NE(KLVO_bo_addbounds(bo, 0, 2, types, cols, vals), 0);
  EXPECT_NE(bo_error(bo).find("column 4 is out of range"), std::string::npos) << bo_error(bo);
  EXPECT_NE(KLVO_bo_addbounds(bo, 2, 1, types, cols, vals), 0);
  EXPECT_NE(bo_error(bo).find("branch 2 does not exist"), std::string::npos) << bo_error(bo);
  int n = -1;
  ASSERT_EQ(KLVO_bo_getbounds(bo, 0, &n, 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);

  // Rows: a free row and a start beyond the coefficients are refused; good rows read back
  // whole or cut at the caller's sizes.
  char rt[] = {'N'};
  double rhs[] = {1.0};
  int start[] = {0};
  int rc[] = {0, 1};
  double rv[] = {1.0, 1.0};
  EXPECT_NE(KLVO_bo_addrows(bo, 1, 1, 2, rt, rhs, start, rc, rv), 0);
  EXPECT_NE(bo_error(bo).find("free row"), std::string::npos);
  char rt2[] = {'L', 'G'};
  double rhs2[] = {1.0, 2.0};
  int start2[] = {0, 3};
  EXPECT_NE(KLVO_bo_addrows(bo, 1, 2, 2, rt2, rhs2, start2, rc, rv), 0);
  int start3[] = {0, 1};
  int rc3[] = {0, 1, 2};
  double rv3[] = {1.0, 2.0, 3.0};
  ASSERT_EQ(KLVO_bo_addrows(bo, 1, 2, 3, rt2, rhs2, start3, rc3, rv3), 0) << bo_error(bo);
  int nr = -1, nc = -1, outstart[3] = {-1, -1, -1}, outcol[3] = {-1, -1, -1};
  char outtype[2] = {0, 0};
  double outrhs[2] = {0, 0}, outval[3] = {0, 0, 0};
  ASSERT_EQ(KLVO_bo_getrows(bo, 1, &nr, 1, &nc, 3, outtype, outrhs, outstart, outcol, outval), 0);
  EXPECT_EQ(nr, 2);
  EXPECT_EQ(nc, 3);
  EXPECT_EQ(outtype[0], 'L');
  EXPECT_EQ(outstart[1], 1);  // only the first row was asked for: one coefficient
  EXPECT_EQ(outcol[0], 0);
  EXPECT_EQ(outcol[1], -1);
  ASSERT_EQ(KLVO_bo_getrows(bo, 1, &nr, 2, &nc, 3, outtype, outrhs, outstart, outcol, outval), 0);
  EXPECT_EQ(outtype[1], 'G');
  EXPECT_EQ(outstart[2], 3);
  EXPECT_EQ(outval[2], 3.0);
  ASSERT_EQ(KLVO_bo_validate(bo, &status), 0);
  EXPECT_EQ(status, 0);

  // Storing and strong branching need a node of a running search.
  EXPECT_NE(KLVO_bo_store(bo, &status), 0);
  EXPECT_NE(bo_error(bo).find("only from a node callback"), std::string::npos) << bo_error(bo);
  int col = 0, st = -1;
  char bt = 'U';
  double bv = 0, obj = 0;
  EXPECT_NE(KLVOstrongbranchcb(prob, 1, &col, &bt, &bv, 0, &obj, &st, nullptr, nullptr), 0);
  EXPECT_NE(error().find("node callback"), std::string::npos) << error();
  EXPECT_EQ(KLVO_bo_destroy(bo), 0);
}

// Two fractional columns of the node's point whose sum s is fractional: x_a + x_b <= floor(s)
// or >= ceil(s) is a disjunction that covers every integer point and cuts the node's point.
bool fractional_pair(KLVOprob prob, int cols[2], double *s) {
  std::vector<double> x = callback_x(prob);
  std::vector<int> frac;
  for (int j = 0; j < static_cast<int>(x.size()); ++j)
    if (std::fabs(x[j] - std::round(x[j])) > 1e-6) frac.push_back(j);
  for (size_t a = 0; a < frac.size(); ++a)
    for (size_t b = a + 1; b < frac.size(); ++b) {
      *s = x[frac[a]] + x[frac[b]];
      cols[0] = frac[a], cols[1] = frac[b];
      if (std::fabs(*s - std::round(*s)) >= 1e-6) return true;
    }
  return false;
}

// The disjunction on rows.
void row_rule(KLVOprob prob, void *data, KLVObranchobject branch, KLVObranchobject *newbranch) {
  int cols[2];
  double s = 0;
  if (!branch || !fractional_pair(prob, cols, &s)) return;
  KLVObranchobject bo = nullptr;
  if (KLVO_bo_create(&bo, prob, 1) != 0) return;
  KLVO_bo_addbranches(bo, 2);
  double ones[] = {1.0, 1.0}, down = std::floor(s), up = std::ceil(s);
  int start[] = {0};
  char le = 'L', ge = 'G';
  KLVO_bo_addrows(bo, 0, 1, 2, &le, &down, start, cols, ones);
  KLVO_bo_addrows(bo, 1, 1, 2, &ge, &up, start, cols, ones);
  KLVO_bo_setpreferredbranch(bo, 1);
  *newbranch = bo;
  ++*static_cast<int *>(data);
}

TEST_F(BranchingTest, RowDisjunctionChangesTheTreeAndKeepsTheOptimum) {
  DenseModel m = multi_knapsack(2, 16, 11);
  double truth = engine_optimum(m);
  load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
  ASSERT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  int64_t plain = nodes(prob);

  int replaced = 0;
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, row_rule, &replaced, 0), 0);
  // The search's closing log says how many relaxation rows served its branching rows.
  static std::string rows_line;
  rows_line.clear();
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_OUTPUTLOG, KLVO_OUTPUT_ALL), 0);
  ASSERT_EQ(KLVOaddcbmessage(prob, [](KLVOprob, void *, const char *msg, int, int) {
              if (msg && std::string(msg).rfind("Branching rows:", 0) == 0) rows_line = msg;
            }, nullptr, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
  ASSERT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  EXPECT_GT(replaced, 0);
  EXPECT_NE(nodes(prob), plain);
  // One row per child of each replaced branching; the rows that no open node holds any more
  // are reused, so the relaxation ends with fewer.
  long long made = -1;
  int held = -1;
  ASSERT_EQ(std::sscanf(rows_line.c_str(), "Branching rows: %lld made, %d rows", &made, &held), 2) << rows_line;
  EXPECT_EQ(made, 2LL * replaced);
  EXPECT_LT(held, made);
  ASSERT_EQ(KLVOremovecbmessage(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOremovecbchgbranchobject(prob, row_rule, &replaced), 0);
}

// At the root, strong branching on the most fractional column gives the objectives of the two
// relaxations a separate LP solve finds; the node is then branched on a stored object of
// bounds built from it.
struct StrongRule {
  KLVOprob prob;
  int col = -1, trials = 0, stored = 0;
  double floor_value = 0, objval[2] = {0, 0};
  int status[2] = {-1, -1};
};

int count_trial(KLVOprob, void *data, int) {
  ++static_cast<StrongRule *>(data)->trials;
  return 0;
}

void strong_rule(KLVOprob prob, void *data, int *) {
  auto *rule = static_cast<StrongRule *>(data);
  std::vector<double> x = callback_x(prob);
  int best = -1;
  double dist = 1e-6;
  for (int j = 0; j < static_cast<int>(x.size()); ++j) {
    double f = std::fabs(x[j] - std::round(x[j]));
    if (f > dist) dist = f, best = j;
  }
  if (best < 0) return;
  int node = 0;
  KLVOgetintattrib(prob, KLVO_ATTR_CURRENTNODE, &node);
  double lo = std::floor(x[best]), hi = std::ceil(x[best]);
  if (node == 1) {
    rule->col = best;
    rule->floor_value = lo;
    int cols[] = {best, best};
    char types[] = {'U', 'L'};
    double vals[] = {lo, hi};
    if (KLVOstrongbranchcb(prob, 2, cols, types, vals, 0, rule->objval, rule->status, count_trial, rule) != 0) return;
  }
  KLVObranchobject bo = nullptr;
  KLVO_bo_create(&bo, prob, 1);
  KLVO_bo_addbranches(bo, 2);
  char u = 'U', l = 'L';
  KLVO_bo_addbounds(bo, 0, 1, &u, &best, &lo);
  KLVO_bo_addbounds(bo, 1, 1, &l, &best, &hi);
  int status = -1;
  if (KLVO_bo_store(bo, &status) == 0) ++rule->stored;
  else KLVO_bo_destroy(bo);
}

TEST_F(BranchingTest, StrongBranchingAndStoredObjectsFromOptnode) {
  DenseModel m = multi_knapsack(2, 12, 5);
  double truth = engine_optimum(m);
  load(prob, m);
  StrongRule rule{prob};
  ASSERT_EQ(KLVOaddcboptnode(prob, strong_rule, &rule, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0) << error();
  ASSERT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  EXPECT_GT(rule.stored, 1);
  ASSERT_GE(rule.col, 0);
  EXPECT_EQ(rule.trials, 2);

  // The two children of the root as separate relaxations.
  for (int side = 0; side < 2; ++side) {
    KLVOprob p = fresh();
    DenseModel child = m;
    child.coltype.clear();
    child.lb.assign(m.obj.size(), 0.0);
    child.ub.assign(m.obj.size(), 1.0);
    if (side == 0) child.ub[rule.col] = rule.floor_value;
    else child.lb[rule.col] = rule.floor_value + 1;
    load(p, child);
    ASSERT_EQ(KLVOlpoptimize(p, ""), 0);
    if (int_attr(p, KLVO_ATTR_LPSTATUS) == KLVO_LP_INFEAS) {
      EXPECT_EQ(rule.status[side], KLVO_LP_INFEAS);
      continue;
    }
    EXPECT_EQ(rule.status[side], KLVO_LP_OPTIMAL);
    EXPECT_NEAR(rule.objval[side], dbl_attr(p, KLVO_ATTR_LPOBJVAL), 1e-6);
  }
}

// Special ordered set of type 1 over four columns, branched by a user split into {0} / {1,2,3}
// instead of the search's own split; checked against the binary formulation solved by HiGHS.
void sos_rule(KLVOprob prob, void *data, KLVObranchobject branch, KLVObranchobject *newbranch) {
  if (!branch) return;
  std::vector<double> x = callback_x(prob);
  int nonzero = 0, first = -1;
  for (int j = 0; j < 4; ++j)
    if (x[j] > 1e-7) ++nonzero, first = first < 0 ? j : first;
  if (nonzero < 2) return;
  // Branch 0: the first nonzero member at 0; branch 1: every other member at 0.
  KLVObranchobject bo = nullptr;
  KLVO_bo_create(&bo, prob, 1);
  KLVO_bo_addbranches(bo, 2);
  char b = 'B';
  double zero = 0;
  KLVO_bo_addbounds(bo, 0, 1, &b, &first, &zero);
  for (int j = 0; j < 4; ++j)
    if (j != first) KLVO_bo_addbounds(bo, 1, 1, &b, &j, &zero);
  *newbranch = bo;
  ++*static_cast<int *>(data);
}

TEST_F(BranchingTest, SetDisjunctionFromTheUser) {
  // max 3x0 + 4x1 + 5x2 + 2x3 + y, x in [0, 2], x0 + x1 + x2 + x3 + y <= 3, 2x1 + x2 + 2y <= 4,
  // y integer in [0, 3], at most one x nonzero.
  DenseModel m;
  m.obj = {3, 4, 5, 2, 1};
  m.lb = {0, 0, 0, 0, 0};
  m.ub = {2, 2, 2, 2, 3};
  m.rows = {{1, 1, 1, 1, 1}, {0, 2, 1, 0, 2}};
  m.rowtype = {'L', 'L'};
  m.rhs = {3, 4};
  m.coltype = {'C', 'C', 'C', 'C', 'I'};
  m.sense = -1;
  // The same with a binary z_j per member: x_j <= 2 z_j, sum z <= 1.
  DenseModel bin = m;
  for (auto &row : bin.rows) row.insert(row.end(), 4, 0.0);
  for (int j = 0; j < 4; ++j) {
    std::vector<double> row(9, 0.0);
    row[j] = 1;
    row[5 + j] = -2;
    bin.rows.push_back(row);
    bin.rowtype.push_back('L');
    bin.rhs.push_back(0);
  }
  bin.rows.push_back({0, 0, 0, 0, 0, 1, 1, 1, 1});
  bin.rowtype.push_back('L');
  bin.rhs.push_back(1);
  for (int j = 0; j < 4; ++j) bin.obj.push_back(0), bin.lb.push_back(0), bin.ub.push_back(1), bin.coltype.push_back('B');
  double truth = engine_optimum(bin);

  load(prob, m);
  char t = '1';
  int start[] = {0, 4}, members[] = {0, 1, 2, 3};
  double weights[] = {1, 2, 3, 4};
  ASSERT_EQ(KLVOaddsets(prob, 1, 4, &t, start, members, weights), 0);
  int replaced = 0;
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, sos_rule, &replaced, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0) << error();
  ASSERT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  EXPECT_GT(replaced, 0);
  auto x = solution(prob);
  int nonzero = 0;
  for (int j = 0; j < 4; ++j) nonzero += x[j] > 1e-6;
  EXPECT_LE(nonzero, 1);
}

// The same disjunction carried by pool cuts instead of rows: x_a + x_b <= floor(s) on one
// branch, >= ceil(s) on the other, stored in the pool before they go to the branches.
struct CutRule {
  int replaced = 0, nodes_with_cuts = 0, violated = 0, failures = 0;
};

void cut_rule(KLVOprob prob, void *data, KLVObranchobject branch, KLVObranchobject *newbranch) {
  auto *rule = static_cast<CutRule *>(data);
  int pair[2];
  double s = 0;
  if (!branch || !fractional_pair(prob, pair, &s)) return;
  int cols[] = {pair[0], pair[1], pair[0], pair[1]};
  double ones[] = {1, 1, 1, 1}, rhs[] = {std::floor(s), std::ceil(s)};
  int64_t start[] = {0, 2, 4};
  KLVOcut cuts[2] = {nullptr, nullptr};
  KLVObranchobject bo = nullptr;
  bool ok = KLVOstorecuts64(prob, 2, 1, nullptr, "LG", rhs, start, cuts, cols, ones) == 0 &&
            KLVO_bo_create(&bo, prob, 1) == 0 && KLVO_bo_addbranches(bo, 2) == 0 &&
            KLVO_bo_addcuts(bo, 0, 1, &cuts[0]) == 0 && KLVO_bo_addcuts(bo, 1, 1, &cuts[1]) == 0;
  if (!ok) {
    ++rule->failures;
    KLVO_bo_destroy(bo);
    return;
  }
  *newbranch = bo;
  ++rule->replaced;
}

// Every cut a node holds is satisfied by its relaxation's point: the cuts are in the relaxation.
void cuts_hold(KLVOprob prob, void *data, int *) {
  auto *rule = static_cast<CutRule *>(data);
  int n = 0;
  if (KLVOgetcutlist(prob, 0, -1, &n, 0, nullptr) != 0) return void(++rule->failures);
  if (n == 0) return;
  ++rule->nodes_with_cuts;
  std::vector<KLVOcut> cuts(n);
  KLVOgetcutlist(prob, 0, -1, &n, n, cuts.data());
  for (KLVOcut c : cuts) {
    double slack = 0;  // rhs - activity
    char type = 0;
    if (KLVOgetcutslack(prob, c, &slack) != 0 ||
        KLVOgetcpcuts64(prob, &c, 1, 0, nullptr, &type, nullptr, nullptr, nullptr, nullptr) != 0) {
      ++rule->failures;
      continue;
    }
    if ((type == 'L' && slack < -1e-6) || (type == 'G' && slack > 1e-6)) ++rule->violated;
  }
}

TEST_F(BranchingTest, CutDisjunctionChangesTheTreeAndKeepsTheOptimum) {
  DenseModel m = multi_knapsack(2, 16, 11);
  double truth = engine_optimum(m);
  load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
  int64_t plain = nodes(prob);

  // Branches that added nothing would remake their node forever: a limit ends such a search.
  ASSERT_EQ(KLVOsetintcontrol64(prob, KLVO_CONTROL_MAXNODE, 20 * plain + 100), 0);
  CutRule rule;
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, cut_rule, &rule, 0), 0);
  ASSERT_EQ(KLVOaddcboptnode(prob, cuts_hold, &rule, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0) << error();
  ASSERT_EQ(int_attr(prob, KLVO_ATTR_MIPSTATUS), KLVO_MIP_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  EXPECT_GT(rule.replaced, 0);
  EXPECT_GT(rule.nodes_with_cuts, 0);
  EXPECT_EQ(rule.violated, 0);
  EXPECT_EQ(rule.failures, 0);
  EXPECT_NE(nodes(prob), plain);
}

TEST_F(BranchingTest, CutsNotInThePoolAreRefused) {
  load(prob, multi_knapsack(1, 4, 3));
  KLVOprob other = fresh();
  load(other, multi_knapsack(1, 4, 3));
  int cols[] = {0, 1};
  double ones[] = {1, 1}, rhs = 1;
  int64_t start[] = {0, 2};
  KLVOcut mine = nullptr, foreign = nullptr, removed = nullptr;
  ASSERT_EQ(KLVOstorecuts64(prob, 1, 0, nullptr, "L", &rhs, start, &mine, cols, ones), 0);
  ASSERT_EQ(KLVOstorecuts64(prob, 1, 0, nullptr, "G", &rhs, start, &removed, cols, ones), 0);
  ASSERT_EQ(KLVOdelcpcuts(prob, 0, -1, 1, &removed), 0);
  ASSERT_EQ(KLVOstorecuts64(other, 1, 0, nullptr, "L", &rhs, start, &foreign, cols, ones), 0);

  KLVObranchobject bo = nullptr;
  ASSERT_EQ(KLVO_bo_create(&bo, prob, 1), 0);
  ASSERT_EQ(KLVO_bo_addbranches(bo, 2), 0);
  for (KLVOcut bad : {foreign, removed}) {
    KLVOcut both[] = {mine, bad};
    EXPECT_NE(KLVO_bo_addcuts(bo, 0, 2, both), 0);
    EXPECT_NE(bo_error(bo).find("cut 1 is not in the problem's cut pool"), std::string::npos) << bo_error(bo);
  }
  EXPECT_NE(KLVO_bo_addcuts(bo, 2, 1, &mine), 0);
  EXPECT_NE(bo_error(bo).find("branch 2 does not exist"), std::string::npos) << bo_error(bo);
  EXPECT_EQ(KLVO_bo_addcuts(bo, 1, 1, &mine), 0) << bo_error(bo);
  EXPECT_EQ(KLVO_bo_destroy(bo), 0);
}

// The column of each branching the search offers, with the node's point: a branching on a
// column is a bound on that column in each branch.
struct Offers {
  std::vector<int> column;
  std::vector<std::vector<double>> x;
};

void record_offer(KLVOprob prob, void *data, KLVObranchobject branch, KLVObranchobject *) {
  auto *o = static_cast<Offers *>(data);
  int nbounds = 0, col = -1;
  std::vector<double> x = callback_x(prob);
  ASSERT_NE(branch, nullptr);
  char type = 0;
  double value = 0;
  ASSERT_EQ(KLVO_bo_getbounds(branch, 0, &nbounds, 1, &type, &col, &value), 0);
  ASSERT_EQ(nbounds, 1);
  o->column.push_back(col);
  o->x.push_back(std::move(x));
}

}  // namespace

// A column given the best branching priority is branched on at every node where it is
// fractional, the root included, where the search chose another column without the directive.
TEST_F(BranchingTest, PriorityDirectiveDecidesTheBranchingColumn) {
  DenseModel m = multi_knapsack(3, 18, 5);
  double truth = engine_optimum(m);
  load(prob, m);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_MIPSEARCH, KLVO_MIPSEARCH_OWN), 0);
  Offers plain;
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, record_offer, &plain, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  ASSERT_FALSE(plain.column.empty());
  // A column fractional at the root that the search did not choose there.
  int favourite = -1;
  for (int j = 0; j < static_cast<int>(plain.x[0].size()) && favourite < 0; ++j)
    if (j != plain.column[0] && std::fabs(plain.x[0][j] - std::round(plain.x[0][j])) > 1e-6) favourite = j;
  ASSERT_GE(favourite, 0) << "the root has a single fractional column";

  int priority = 1;
  ASSERT_EQ(KLVOloaddirs(prob, 1, &favourite, &priority, nullptr, nullptr, nullptr), 0);
  Offers directed;
  ASSERT_EQ(KLVOremovecbchgbranchobject(prob, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOaddcbchgbranchobject(prob, record_offer, &directed, 0), 0);
  ASSERT_EQ(KLVOmipoptimize(prob, ""), 0);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_MIPOBJVAL), truth, 1e-6);
  ASSERT_FALSE(directed.column.empty());
  EXPECT_EQ(directed.column[0], favourite);
  int fractional = 0;
  for (size_t k = 0; k < directed.column.size(); ++k) {
    double v = directed.x[k][favourite];
    if (std::fabs(v - std::round(v)) <= 1e-6) continue;
    ++fractional;
    EXPECT_EQ(directed.column[k], favourite) << "offer " << k;
  }
  EXPECT_GT(fractional, 0);
}
