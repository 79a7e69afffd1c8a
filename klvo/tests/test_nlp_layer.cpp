// The nonlinear layer's handle: catalogues, controls, formula entries and their read-back,
// copies, deletions that shift indices, and solving through KLVOoptimize.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "nlp_test_util.h"

using namespace nlptest;

namespace {

std::vector<std::string> catalogue_names(int which, std::vector<int> *ids = nullptr, std::vector<int> *flags = nullptr) {
  const int *i = nullptr, *f = nullptr;
  const char *const *n = nullptr;
  int count = -1;
  EXPECT_EQ(which == 1 ? KSLPgetcalist(&i, &n, &f, &count) : KSLPgetKTRcalist(&i, &n, &f, &count), 0);
  std::vector<std::string> names;
  for (int k = 0; n[k][0]; ++k) {
    names.push_back(n[k]);
    if (ids) ids->push_back(i[k]);
    if (flags) flags->push_back(f[k]);
  }
  EXPECT_EQ(static_cast<int>(names.size()), count);
  EXPECT_EQ(i[count], 0);
  return names;
}

TEST(LayerCatalogue, ListsEveryIdWithFlagsThatControlCodeAgreesWith) {
  std::vector<int> ids, flags, ktr_ids, ktr_flags;
  std::vector<std::string> names = catalogue_names(1, &ids, &flags);
  std::vector<std::string> ktr = catalogue_names(2, &ktr_ids, &ktr_flags);
  ASSERT_FALSE(ktr.empty());
  std::set<int> all(ids.begin(), ids.end());
  for (int id : {11999, 12000, 12013, 12016, 12026, 12044, 12062, 12146, 12179, 12415, 12601})
    EXPECT_TRUE(all.count(id)) << id;
  for (int id : ktr_ids) EXPECT_FALSE(all.count(id)) << "id " << id << " in both catalogues";
  EXPECT_NE(std::find(names.begin(), names.end(), "kslp_postsolve"), names.end());
  names.insert(names.end(), ktr.begin(), ktr.end());
  ids.insert(ids.end(), ktr_ids.begin(), ktr_ids.end());
  flags.insert(flags.end(), ktr_flags.begin(), ktr_flags.end());
  for (size_t k = 0; k < names.size(); ++k) {
    int id = 0, f = 0;
    ASSERT_EQ(KSLPcontrolcode(names[k].c_str(), &id, &f), 0);
    EXPECT_EQ(id, ids[k]) << names[k];
    EXPECT_EQ(f, flags[k]) << names[k];
    EXPECT_TRUE(f & (1 << 10)) << names[k];
  }
  auto code = [](const char *name) {
    int id = 0, f = 0;
    EXPECT_EQ(KSLPcontrolcode(name, &id, &f), 0);
    return std::make_pair(id, f);
  };
  // Objective sense: a double control; status: an integer attribute; the main problem: neither type.
  EXPECT_EQ(code("kslp_objsense").second & 0x17, 0x12);
  EXPECT_EQ(code("KSLP_NLPSTATUS"), std::make_pair(12044, (1 << 10) | 1));
  EXPECT_EQ(code("kslp_mainproblem").second & 0x7, 0);
  EXPECT_EQ(code("kslp_engineoptions").second & 0x17, 0x14);
  // Stored without effect, and said so.
  EXPECT_TRUE(code("kslp_postsolve").second & (1 << 8));
  EXPECT_FALSE(code("kslp_iterlimit").second & (1 << 8));
  EXPECT_EQ(code("no_such_control"), std::make_pair(0, 0));
}

TEST(LayerControls, TypedAccessIsCheckedAndReachableThroughTheMainHandle) {
  NlpProblem p;
  int iv = 0;
  ASSERT_EQ(KSLPgetintcontrol(p.slp, 12100, &iv), 0);
  EXPECT_EQ(iv, 3000);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 50), 0);
  ASSERT_EQ(KLVOgetintcontrol(p.prob, 12100, &iv), 0) << p.error();
  EXPECT_EQ(iv, 50);
  double dv = 0;
  EXPECT_EQ(KSLPgetdblcontrol(p.slp, 12100, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KSLPsetintcontrol(p.slp, 12044, 1), KLVO_ERR_UNKNOWN_ID);
  EXPECT_EQ(KSLPsetintcontrol(p.slp, 99999, 1), KLVO_ERR_UNKNOWN_ID);
  // Out of range: refused, value kept.
  EXPECT_EQ(KSLPsetdblcontrol(p.slp, 12104, 2.0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.slp_error().find("kslp_feastol"), std::string::npos);
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, 12104, &dv), 0);
  EXPECT_EQ(dv, 1e-6);
  ASSERT_EQ(KLVOsetdblcontrol(p.prob, 12104, 1e-7), 0) << p.error();
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, 12104, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  // Strings, with a size query and a buffer too small.
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, 12106, "mu_oracle quality-function"), 0);
  int n = 0;
  ASSERT_EQ(KSLPgetstringcontrol(p.slp, 12106, nullptr, 0, &n), 0);
  EXPECT_EQ(n, 27);
  char small[5], big[64];
  EXPECT_NE(KSLPgetstringcontrol(p.slp, 12106, small, sizeof small, nullptr), 0);
  ASSERT_EQ(KLVOgetstringcontrol(p.prob, 12106, big, sizeof big, nullptr), 0) << p.error();
  EXPECT_STREQ(big, "mu_oracle quality-function");
  // The objective sense control is the problem's objective sense.
  ASSERT_EQ(KLVOchgobjsense(p.prob, -1), 0);
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, 12146, &dv), 0);
  EXPECT_EQ(dv, -1.0);
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, 12146, 1.0), 0);
  ASSERT_EQ(KLVOgetdblcontrol(p.prob, 12146, &dv), 0);
  EXPECT_EQ(dv, 1.0);
  EXPECT_EQ(KSLPsetdblcontrol(p.slp, 12146, 0.5), KLVO_ERR_INVALID_ARGUMENT);
  // Attributes through both handles; the pointer attribute is the main problem.
  p.columns(3);
  int cols = 0;
  ASSERT_EQ(KLVOgetintattrib(p.prob, 12000, &cols), 0) << p.error();
  EXPECT_EQ(cols, 3);
  void *main = nullptr;
  ASSERT_EQ(KSLPgetptrattrib(p.slp, 12601, &main), 0);
  EXPECT_EQ(main, static_cast<void *>(p.prob));
  int eq = 0;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12013, &eq), 0);
  EXPECT_EQ(eq, -1);
  // Copying controls.
  NlpProblem q;
  ASSERT_EQ(KSLPcopycontrols(q.slp, p.slp), 0);
  ASSERT_EQ(KSLPgetintcontrol(q.slp, 12100, &iv), 0);
  EXPECT_EQ(iv, 50);
  // A layer control on a problem without a layer cannot be set.
  KLVOprob bare = nullptr;
  ASSERT_EQ(KLVOcreateprob(&bare), 0);
  EXPECT_EQ(KLVOsetintcontrol(bare, 12100, 5), KLVO_ERR_NOT_INITIALIZED);
  ASSERT_EQ(KLVOgetintcontrol(bare, 12100, &iv), 0);
  EXPECT_EQ(iv, 3000);
  KLVOdestroyprob(bare);
}

std::vector<std::pair<int, double>> tokens_of(const Ex &e) {
  std::vector<std::pair<int, double>> t;
  for (size_t k = 0; k < e.type.size(); ++k) t.push_back({e.type[k], e.value[k]});
  return t;
}

std::vector<std::pair<int, double>> read_coef(KSLPprob slp, int row, int col, double *factor) {
  int n = 0;
  EXPECT_EQ(KSLPgetcoefformula(slp, row, col, factor, 1, 0, &n, nullptr, nullptr), 0);
  std::vector<int> type(n);
  std::vector<double> value(n);
  EXPECT_EQ(KSLPgetcoefformula(slp, row, col, factor, 1, n, &n, type.data(), value.data()), 0);
  std::vector<std::pair<int, double>> t;
  for (int k = 0; k < n; ++k) t.push_back({type[k], value[k]});
  return t;
}

TEST(LayerEntries, EntriesReadBackAsStoredAndCombineAtTheSamePair) {
  NlpProblem p;
  p.columns(3);
  p.row('L', 1);
  p.row('L', 1);
  Ex f1 = sin(X(0)), f2 = X(1) * X(2), f3 = exp(X(2));
  p.add(0, 2, 3.0, f1);
  p.add(1, -1000, 2.0, f2);
  p.add(1, -1000, 1.0, f3);
  p.add(-1, 0, 1.0, f2);
  int n = 0;
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  ASSERT_EQ(n, 3);
  std::vector<int> rows(n), cols(n);
  ASSERT_EQ(KLVOslpgetcoefs(p.prob, &n, rows.data(), cols.data()), 0);
  EXPECT_EQ(rows, (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(cols, (std::vector<int>{2, -1000, 0}));
  int c16 = 0, c26 = 0;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12016, &c16), 0);
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12026, &c26), 0);
  EXPECT_EQ(c16, 2);
  EXPECT_EQ(c26, 2);

  double factor = 0;
  auto t = read_coef(p.slp, 0, 2, &factor);
  EXPECT_EQ(factor, 3.0);
  auto expect = tokens_of(f1.ended());
  EXPECT_EQ(t, expect);

  // Row 1 holds 2 * x1 * x2 + exp(x2) as two entries: read back as one formula with factor 1.
  t = read_coef(p.slp, 1, -1000, &factor);
  EXPECT_EQ(factor, 1.0);
  std::vector<int> type;
  std::vector<double> value;
  for (auto &tv : t) {
    type.push_back(tv.first);
    value.push_back(tv.second);
  }
  int init_cols[3] = {0, 1, 2};
  double init[3] = {0.5, 2.0, -1.0};
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, 3, init_cols, init), 0);
  double v = 0;
  ASSERT_EQ(KSLPevaluateformula(p.slp, 1, type.data(), value.data(), &v), 0) << p.slp_error();
  EXPECT_NEAR(v, 2 * 2.0 * -1.0 + std::exp(-1.0), 1e-14);

  // The row formula of row 1 is the same; rows with formulas are listed once.
  int nt = 0;
  ASSERT_EQ(KLVOnlpgetformula(p.prob, 1, 1, 0, &nt, nullptr, nullptr), 0);
  EXPECT_EQ(nt, static_cast<int>(t.size()));
  std::vector<int> small(nt - 1);
  std::vector<double> smallv(nt - 1);
  EXPECT_EQ(KLVOnlpgetformula(p.prob, 1, 1, nt - 1, &nt, small.data(), smallv.data()), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOnlpgetformula(p.prob, 0, 1, 0, &nt, nullptr, nullptr), 0);
  EXPECT_EQ(nt, 0);  // row 0 has an entry with a column only
  int nr = 0, fr[4];
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &nr, fr), 0);
  ASSERT_EQ(nr, 1);
  EXPECT_EQ(fr[0], 1);
  EXPECT_NE(KSLPgetcoefformula(p.slp, 0, 1, &factor, 1, 0, &nt, nullptr, nullptr), 0);

  // A single row formula with a factor reads back with the factor multiplied in.
  NlpProblem q;
  q.columns(1);
  q.row('L', 0);
  q.add(0, -1000, 4.0, sin(X(0)));
  ASSERT_EQ(KLVOnlpgetformula(q.prob, 0, 1, 0, &nt, nullptr, nullptr), 0);
  std::vector<int> qt(nt);
  std::vector<double> qv(nt);
  ASSERT_EQ(KLVOnlpgetformula(q.prob, 0, 1, nt, &nt, qt.data(), qv.data()), 0);
  Ex scaled = sin(X(0)) * C(4);
  EXPECT_EQ(qt, scaled.ended().type);
  EXPECT_EQ(qv, scaled.ended().value);

  // Deleting: a missing pair fails and deletes nothing.
  int drow[2] = {0, 0}, dcol[2] = {2, 1};
  EXPECT_EQ(KSLPdelcoefs(p.slp, 2, drow, dcol), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 3);
  ASSERT_EQ(KSLPdelcoefs(p.slp, 1, drow, dcol), 0);
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 2);
  // Row formulas through the main handle.
  int r0 = 0, starts[2] = {0, static_cast<int>(f3.type.size())};
  ASSERT_EQ(KLVOnlpaddformulas(p.prob, 1, &r0, starts, 1, f3.type.data(), f3.value.data()), 0) << p.error();
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &nr, fr), 0);
  EXPECT_EQ(nr, 2);
  ASSERT_EQ(KLVOnlpdelformulas(p.prob, 1, &r0), 0);
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &nr, fr), 0);
  EXPECT_EQ(nr, 1);
  // Loading replaces everything.
  int lrow = -1, lcol = -1000, ls[2] = {0, static_cast<int>(f1.type.size())};
  double lf = 1.0;
  ASSERT_EQ(KSLPloadcoefs(p.slp, 1, &lrow, &lcol, &lf, ls, 1, f1.type.data(), f1.value.data()), 0);
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 1);
}

TEST(LayerEntries, DeletingRowsAndColumnsKeepsFormulasInStep) {
  NlpProblem p;
  p.columns(4);
  for (int i = 0; i < 3; ++i) p.row('L', 10);
  p.add(0, -1000, 1.0, sin(X(3)));
  p.add(1, -1000, 1.0, exp(X(1)));
  p.add(2, 3, 2.0, X(2) * X(3));
  int init_cols[2] = {1, 3};
  double init[2] = {7, 9};
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, 2, init_cols, init), 0);

  int row = 1;
  ASSERT_EQ(KLVOdelrows(p.prob, 1, &row), 0) << p.error();
  int n = 0, rows[4], cols[4];
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, rows, cols), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[1], 1);  // was row 2
  EXPECT_EQ(cols[1], 3);

  // Deleting column 1 (used by no formula left) shifts columns 2 and 3 down.
  int col = 1;
  ASSERT_EQ(KLVOdelcols(p.prob, 1, &col), 0) << p.error();
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, rows, cols), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cols[1], 2);
  double factor = 0;
  auto t = read_coef(p.slp, 1, 2, &factor);
  EXPECT_EQ(factor, 2.0);
  EXPECT_EQ(t, tokens_of((X(1) * X(2)).ended()));
  t = read_coef(p.slp, 0, -1000, &factor);
  EXPECT_EQ(t, tokens_of(sin(X(2)).ended()));
  // The initial value of old column 3 is now that of column 2.
  Ex e = X(2).ended();
  double v = 0;
  ASSERT_EQ(KSLPevaluateformula(p.slp, 1, e.type.data(), e.value.data(), &v), 0);
  EXPECT_EQ(v, 9.0);

  // Deleting a column a formula uses drops the entries that use it.
  col = 2;
  ASSERT_EQ(KLVOdelcols(p.prob, 1, &col), 0);
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, rows, cols), 0);
  EXPECT_EQ(n, 0);
}

TEST(LayerCopies, CopiedProblemSolvesAloneAndIndependently) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  p.row('L', 1, &g);
  NlpProblem q;
  ASSERT_EQ(KLVOcopyprob(q.prob, p.prob, "copy"), 0) << q.error();
  ASSERT_EQ(KSLPcopyprob(q.slp, p.slp, nullptr), 0) << q.slp_error();
  // Changing the original afterwards does not reach the copy.
  int r = 0, c = -1000;
  ASSERT_EQ(KSLPdelcoefs(p.slp, 1, &r, &c), 0);
  ASSERT_EQ(KLVOnlpoptimize(q.prob, nullptr), 0) << q.error();
  EXPECT_EQ(q.status(), 1);
  EXPECT_NEAR(q.objval(), -std::sqrt(2.0), 1e-7);
  int n = 0;
  ASSERT_EQ(KSLPgetcoefs(q.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 1);
  // A copy into a problem of another shape is refused.
  NlpProblem other;
  EXPECT_EQ(KSLPcopyprob(other.slp, p.slp, nullptr), KLVO_ERR_INVALID_ARGUMENT);
}

// Formulas live in the model store but may call the layer's user functions, so they move only
// with the layer: copying the problem alone brings none, and destroying the layer drops them.
TEST(LayerCopies, FormulasGoWithTheirLayer) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  p.row('L', 1, &g);
  NlpProblem q;
  ASSERT_EQ(KLVOcopyprob(q.prob, p.prob, "copy"), 0) << q.error();
  int n = -1;
  ASSERT_EQ(KSLPgetcoefs(q.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);

  ASSERT_EQ(KSLPdestroyprob(p.slp), 0);
  ASSERT_EQ(KSLPcreateprob(&p.slp, &p.prob), 0);
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);
}

TEST(LayerSolve, KlvoOptimizeSolvesQuadraticRowsWithoutALayerHandle) {
  ASSERT_EQ(KLVOinit(nullptr), 0);
  KLVOprob prob = nullptr;
  ASSERT_EQ(KLVOcreateprob(&prob), 0);
  double obj[2] = {1, 1}, lb[2] = {-KLVO_INFINITY, -KLVO_INFINITY}, ub[2] = {KLVO_INFINITY, KLVO_INFINITY};
  ASSERT_EQ(KLVOaddcols(prob, 2, 0, obj, nullptr, nullptr, nullptr, lb, ub), 0);
  char type = 'L';
  double rhs = 2;
  ASSERT_EQ(KLVOaddrows(prob, 1, 0, &type, &rhs, nullptr, nullptr, nullptr, nullptr), 0);
  int c[2] = {0, 1};
  double q[2] = {1, 1};
  ASSERT_EQ(KLVOaddqmatrix64(prob, 0, 2, c, c, q), 0);
  int solvestatus = -1, solstatus = -1;
  ASSERT_EQ(KLVOoptimize(prob, nullptr, &solvestatus, &solstatus), 0);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_COMPLETED);
  EXPECT_EQ(solstatus, KLVO_SOLSTATUS_OPTIMAL);
  double x[2], dual, objval;
  int st = 0;
  ASSERT_EQ(KLVOgetsolution(prob, &st, x, 0, 1), 0);
  EXPECT_EQ(st, KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(x[0], -1.0, 1e-6);  // radius sqrt(2)
  ASSERT_EQ(KLVOgetduals(prob, &st, &dual, 0, 0), 0);
  EXPECT_NEAR(dual, -0.5, 1e-6);  // d(-2 sqrt(r/2))/dr at r = 2
  ASSERT_EQ(KLVOgetdblattrib(prob, KLVO_ATTR_OBJVAL, &objval), 0);
  EXPECT_NEAR(objval, -2.0, 1e-7);
  int opttype = -9;
  ASSERT_EQ(KLVOgetintattrib(prob, KLVO_ATTR_OPTIMIZETYPE, &opttype), 0);
  EXPECT_EQ(opttype, KLVO_OPTTYPE_NLP);
  KLVOdestroyprob(prob);
  KLVOfree();
}

TEST(LayerSolve, KlvoOptimizeReportsNonlinearOutcomesInTheSolveStatuses) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  p.row('L', 1, &g);
  int solvestatus = -1, solstatus = -1;
  ASSERT_EQ(KLVOoptimize(p.prob, "", &solvestatus, &solstatus), 0) << p.error();
  EXPECT_EQ(solstatus, KLVO_SOLSTATUS_OPTIMAL);
  int status = 0;
  ASSERT_EQ(KLVOgetintattrib(p.prob, 12044, &status), 0);
  EXPECT_EQ(status, 1);
  double objval = 0;
  ASSERT_EQ(KLVOgetdblattrib(p.prob, 12179, &objval), 0);
  EXPECT_NEAR(objval, -std::sqrt(2.0), 1e-7);
  int bits = 0;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12062, &bits), 0);
  EXPECT_EQ(bits, 1 | (1 << 29));
  ASSERT_EQ(KSLPunconstruct(p.slp), 0);
  ASSERT_EQ(KSLPpostsolve(p.slp), 0);
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12062, &bits), 0);
  EXPECT_EQ(bits, 0);
  double x[2];
  ASSERT_EQ(KLVOgetsolution(p.prob, &status, x, 0, 1), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_OPTIMAL);

  // An iteration limit: stopped, with the reason.
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 1), 0);
  ASSERT_EQ(KLVOoptimize(p.prob, "", &solvestatus, &solstatus), 0);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_STOPPED);
  int stop = 0;
  ASSERT_EQ(KLVOgetintattrib(p.prob, KLVO_ATTR_STOPSTATUS, &stop), 0);
  EXPECT_EQ(stop, KLVO_STOP_ITERLIMIT);

  // Infeasible.
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 3000), 0);
  p.row('G', 3, nullptr, {{0, 1}, {1, 1}});
  ASSERT_EQ(KLVOoptimize(p.prob, "", &solvestatus, &solstatus), 0);
  EXPECT_EQ(solvestatus, KLVO_SOLVESTATUS_COMPLETED);
  EXPECT_EQ(solstatus, KLVO_SOLSTATUS_INFEASIBLE);
  ASSERT_EQ(KLVOgetsolution(p.prob, &status, x, 0, 1), 0);
  EXPECT_EQ(status, KLVO_SOLSTATUS_NOTFOUND);
}

TEST(LayerSolve, RefusesWhatItCannotSolveWithAClearError) {
  NlpProblem p;
  p.columns(2);
  p.objective(pow(X(0), 2.0));
  int col = 0;
  char integer = 'I';
  ASSERT_EQ(KLVOchgcoltype(p.prob, 1, &col, &integer), 0);
  EXPECT_EQ(KLVOnlpoptimize(p.prob, nullptr), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(p.error().find("continuous problems only"), std::string::npos) << p.error();
  EXPECT_EQ(KLVOoptimize(p.prob, nullptr, nullptr, nullptr), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(p.error().find("nonlinear formulas"), std::string::npos) << p.error();
  // The relaxation is solved.
  EXPECT_EQ(KLVOoptimize(p.prob, "l", nullptr, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 1);

  KLVOprob bare = nullptr;
  ASSERT_EQ(KLVOcreateprob(&bare), 0);
  EXPECT_EQ(KLVOnlpoptimize(bare, nullptr), KLVO_ERR_NOT_INITIALIZED);
  EXPECT_EQ(KLVOnlpsetinitval(bare, 0, nullptr, nullptr), KLVO_ERR_NOT_INITIALIZED);
  KLVOdestroyprob(bare);

  int id = 0;
  EXPECT_EQ(KSLPadduserfunction(p.slp, "f", 3, 1, 1, 0, reinterpret_cast<KSLPuserfunction>(&KSLPinit), nullptr, &id),
            KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KSLPadduserfunction(p.slp, "f", 2, 1, 2, 0, reinterpret_cast<KSLPuserfunction>(&KSLPinit), nullptr, &id),
            KLVO_ERR_INVALID_ARGUMENT);
  int c = 5;
  double v = 1;
  EXPECT_EQ(KLVOnlpsetinitval(p.prob, 1, &c, &v), KLVO_ERR_INVALID_ARGUMENT);
}

}  // namespace

namespace {

// The compiled model is reused between solves; every change must reach the next solve.
TEST(LayerSolve, ResolveSeesChangesOfStoreAndFormulas) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  int r = p.row('L', 1, &g);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), -std::sqrt(2.0), 1e-7);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), -std::sqrt(2.0), 1e-7);
  double rhs = 8;
  ASSERT_EQ(KLVOchgrhs(p.prob, 1, &r, &rhs), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), -4.0, 1e-7);
  // A second entry in the row: x^2 + y^2 + (x^2 + y^2) <= 8.
  p.add(r, -1000, 1.0, g);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), -std::sqrt(8.0), 1e-7);
  ASSERT_EQ(KSLPunconstruct(p.slp), 0);
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, 12146, -1.0), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), std::sqrt(8.0), 1e-7);
}

}  // namespace

namespace {

TEST(LayerVars, ChgvarChangesOnlyWhatIsGivenAndItsInitialValueStartsTheSolve) {
  // (x^2 - 1)^2 + 0.1 x has local minima near x = 1 and x = -1; the start decides.
  NlpProblem p;
  p.columns(2);
  p.row('E', 0, nullptr, {{1, 1}});
  p.objective(pow(pow(X(0), 2.0) - 1.0, 2.0) + C(0.1) * X(0));
  double sb = 0.25, init = 2.0;
  int detrow = 0;
  ASSERT_EQ(KSLPchgvar(p.slp, 0, &detrow, nullptr, &sb, nullptr, nullptr, &init, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0)
      << p.slp_error();
  double stepbound = 0, initvalue = 0, penalty = -1;
  int d = 0, delta = 0;
  ASSERT_EQ(KSLPgetvar(p.slp, 0, &d, nullptr, &stepbound, &penalty, nullptr, &initvalue, nullptr, nullptr, nullptr,
                       nullptr, nullptr, &delta, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(stepbound, 0.25);
  EXPECT_EQ(penalty, 0.0);
  EXPECT_EQ(initvalue, 2.0);
  EXPECT_EQ(delta, -1);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_GT(p.x()[0], 0.9);
  init = -2.0;
  ASSERT_EQ(KSLPchgvar(p.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &init, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_LT(p.x()[0], -0.9);
  ASSERT_EQ(KSLPgetvar(p.slp, 0, &d, nullptr, &stepbound, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(stepbound, 0.25);  // untouched by the second call

  // Row status words and determining rows follow deleted rows.
  p.row('L', 1);
  int status = 0x800;
  ASSERT_EQ(KSLPchgrowstatus(p.slp, 1, &status), 0);
  detrow = 1;
  ASSERT_EQ(KSLPchgvar(p.slp, 1, &detrow, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0);
  int r0 = 0;
  ASSERT_EQ(KLVOdelrows(p.prob, 1, &r0), 0);
  ASSERT_EQ(KSLPgetrowstatus(p.slp, 0, &status), 0);
  EXPECT_EQ(status, 0x800);
  ASSERT_EQ(KSLPgetvar(p.slp, 1, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(d, 0);
  ASSERT_EQ(KSLPgetvar(p.slp, 0, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(d, -1);  // its determining row was deleted
  // Forgetting column 0's settings drops its initial value too.
  int c0 = 0;
  ASSERT_EQ(KSLPdelvars(p.slp, 1, &c0), 0);
  ASSERT_EQ(KSLPgetvar(p.slp, 0, nullptr, nullptr, &stepbound, nullptr, nullptr, &initvalue, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(stepbound, 0.0);
  EXPECT_EQ(initvalue, 0.0);
  EXPECT_EQ(KSLPchgrowstatus(p.slp, 7, &status), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KSLPgetvar(p.slp, 9, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            KLVO_ERR_INVALID_ARGUMENT);
}

}  // namespace

namespace {

TEST(LayerArraySizes, ShortArraysAreRefusedBeforeAnythingIsStored) {
  NlpProblem p;
  p.columns(2);
  p.row('L', 1);
  p.row('L', 1);
  Ex f = sin(X(0)) + exp(X(1));
  std::vector<int> type = f.type;
  std::vector<double> value = f.value;
  int n = static_cast<int>(type.size());
  int rows[2] = {0, 1}, starts[3] = {0, n, 2 * n};
  type.insert(type.end(), f.type.begin(), f.type.end());
  value.insert(value.end(), f.value.begin(), f.value.end());
  int tsize = static_cast<int>(type.size());
  EXPECT_EQ(KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, 1, starts, 3, 1, type.data(), tsize, value.data(), tsize),
            KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.error().find("rowind"), std::string::npos) << p.error();
  EXPECT_EQ(KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, 2, starts, 2, 1, type.data(), tsize, value.data(), tsize),
            KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, 2, starts, 3, 1, type.data(), tsize, value.data(), tsize - 1),
            KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.error().find("value"), std::string::npos) << p.error();
  int count = -1;
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &count, nullptr), 0);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, 2, starts, 3, 1, type.data(), tsize, value.data(), tsize), 0)
      << p.error();
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &count, nullptr), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 2, rows, 1), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 1, rows, 1), 0);
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &count, nullptr), 0);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(KLVOnlploadformulas_witharraysizes(p.prob, 1, rows, 1, starts, 2, 1, type.data(), n, value.data(), n), 0);
  int fr[2];
  ASSERT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &count, fr, 2), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(fr[0], 0);

  // Determining rows and initial step bounds.
  int cols[2] = {0, 1}, det[2] = {1, -1};
  double isb[2] = {0.5, 2.0};
  EXPECT_EQ(KLVOslpsetdetrow_witharraysizes(p.prob, 2, cols, 2, det, 1), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOslpsetdetrow_witharraysizes(p.prob, 2, cols, 2, det, 2), 0) << p.error();
  ASSERT_EQ(KLVOslpsetinitstepbounds_witharraysizes(p.prob, 2, cols, 2, isb, 2), 0) << p.error();
  int d = 0;
  double s = 0;
  ASSERT_EQ(KSLPgetvar(p.slp, 0, &d, &s, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(s, 0.5);
  int badrow[1] = {5};
  EXPECT_EQ(KLVOslpsetdetrow_witharraysizes(p.prob, 1, cols, 1, badrow, 1), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KSLPgetvar(p.slp, 0, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(d, 1);
}

}  // namespace

TEST(LayerEntries, ReadingAProblemFileDropsTheOldModelsFormulas) {
  NlpProblem p;
  p.columns(2);
  p.row('L', 10);
  p.add(0, -1000, 1.0, sin(X(1)));
  p.add(-1, 0, 2.0, exp(X(1)));
  int col = 1;
  double init = 3;
  ASSERT_EQ(KLVOnlpsetinitval(p.prob, 1, &col, &init), 0);
  ASSERT_EQ(KSLPsetintcontrol(p.slp, 12100, 40), 0);

  ASSERT_EQ(KLVOreadprob(p.prob, (std::string(KLVO_TEST_DATA_DIR) + "/afiro.mps").c_str(), ""), 0) << p.error();
  int n = -1;
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);
  int formulas = -1, coefficients = -1;
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12026, &formulas), 0);
  ASSERT_EQ(KSLPgetintattrib(p.slp, 12016, &coefficients), 0);
  EXPECT_EQ(formulas + coefficients, 0);
  // The old initial value of column 1 does not carry over to the new column 1.
  Ex e = X(1).ended();
  double v = -1;
  ASSERT_EQ(KSLPevaluateformula(p.slp, 1, e.type.data(), e.value.data(), &v), 0);
  EXPECT_EQ(v, 0.0);
  // Controls are the layer's own and stay.
  int iterlimit = 0;
  ASSERT_EQ(KSLPgetintcontrol(p.slp, 12100, &iterlimit), 0);
  EXPECT_EQ(iterlimit, 40);
}

TEST(LayerFiles, FormulasWrittenWithTheModelReadBackInBothFormats) {
  for (const char *name : {"nlp_roundtrip.mps", "nlp_roundtrip.lp"}) {
    std::string path = ::testing::TempDir() + name;
    NlpProblem p;
    p.columns(3, {}, {}, {1, 1, 1});  // columns with entries, so that both formats keep them
    p.row('L', 10);
    p.row('G', -1);
    p.add(0, -1000, 1.0, sin(X(2)) * C(0.1));
    p.add(1, 0, -2.5, exp(X(1)));
    p.add(-1, -1000, 1.0, X(0) * X(1));
    ASSERT_EQ(KSLPwriteprob(p.slp, path.c_str(), ""), 0) << p.error();

    NlpProblem q;
    ASSERT_EQ(KSLPreadprob(q.slp, path.c_str(), ""), 0) << q.error();
    int n = 0, rows[4], cols[4];
    ASSERT_EQ(KSLPgetcoefs(q.slp, &n, rows, cols), 0);
    ASSERT_EQ(n, 3);
    double factor = 0;
    EXPECT_EQ(read_coef(q.slp, 0, -1000, &factor), tokens_of((sin(X(2)) * C(0.1)).ended()));
    EXPECT_EQ(read_coef(q.slp, 1, 0, &factor), tokens_of(exp(X(1)).ended()));
    EXPECT_EQ(factor, -2.5);
    EXPECT_EQ(read_coef(q.slp, -1, -1000, &factor), tokens_of((X(0) * X(1)).ended()));
    int rowcount = 0;
    ASSERT_EQ(KLVOgetintattrib(q.prob, KLVO_ATTR_ORIGINALROWS, &rowcount), 0);
    EXPECT_EQ(rowcount, 2);
    std::remove(path.c_str());
  }
}

TEST(LayerFiles, FilesWithFormulasAreRefusedWhereTheyCannotBeLoaded) {
  std::string path = ::testing::TempDir() + "nlp_refused.mps";
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  p.row('L', 1);
  p.add(0, -1000, 1.0, exp(X(1)));
  ASSERT_EQ(KSLPwriteprob(p.slp, path.c_str(), ""), 0) << p.error();

  // A problem without a layer handle keeps its model.
  KLVOprob plain = nullptr;
  ASSERT_EQ(KLVOcreateprob(&plain), 0);
  EXPECT_NE(KLVOreadprob(plain, path.c_str(), ""), 0);
  int cols = -1;
  ASSERT_EQ(KLVOgetintattrib(plain, KLVO_ATTR_ORIGINALCOLS, &cols), 0);
  EXPECT_EQ(cols, 0);
  KLVOdestroyprob(plain);

  // A damaged entry fails the read and leaves model and formulas as they were.
  {
    std::ofstream out(path, std::ios::app);
    out << "*FORMULA 0 -1000 1 3 10 0\n";
  }
  NlpProblem q;
  q.columns(1);
  q.add(-1, -1000, 1.0, sin(X(0)));
  EXPECT_NE(KLVOreadprob(q.prob, path.c_str(), ""), 0);
  EXPECT_NE(q.error().find("fewer than 3 tokens"), std::string::npos) << q.error();
  ASSERT_EQ(KLVOgetintattrib(q.prob, KLVO_ATTR_ORIGINALCOLS, &cols), 0);
  EXPECT_EQ(cols, 1);
  int n = 0;
  ASSERT_EQ(KSLPgetcoefs(q.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 1);
  std::remove(path.c_str());
}
