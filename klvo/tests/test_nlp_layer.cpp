// The nonlinear layer's handle: catalogue lookups, controls through both handles, formula
// entries and their read-back, copies, deletions that shift indices, re-solves, and files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>

#include "test_support.h"

using namespace klvo_test;

namespace {

TEST(LayerCatalogue, EveryListedNameIsFoundWithItsIdAndFlagsInEitherCase) {
  std::set<int> seen;
  for (auto list : {KSLPgetcalist, KSLPgetKTRcalist}) {
    const int *ids = nullptr, *flags = nullptr;
    const char *const *names = nullptr;
    int count = -1;
    ASSERT_EQ(list(&ids, &names, &flags, &count), 0);
    ASSERT_GT(count, 0);
    for (int k = 0; k < count; ++k) {
      EXPECT_TRUE(seen.insert(ids[k]).second) << "id " << ids[k] << " listed twice";
      std::string upper = names[k];
      for (char &c : upper) c = static_cast<char>(toupper(c));
      int id = 0, f = 0;
      ASSERT_EQ(KSLPcontrolcode(upper.c_str(), &id, &f), 0);
      EXPECT_EQ(id, ids[k]) << names[k];
      EXPECT_EQ(f, flags[k]) << names[k];
    }
    EXPECT_EQ(names[count][0], '\0');
    EXPECT_EQ(ids[count], 0);
  }
  int id = -1, f = -1;
  ASSERT_EQ(KSLPcontrolcode("no_such_control", &id, &f), 0);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(f, 0);
}

TEST(LayerControls, CheckedByTypeAndRangeAndReachableThroughTheMainHandle) {
  NlpProblem p;
  int iv = 0;
  double dv = 0;
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpIterLimit, 50), 0);
  ASSERT_EQ(KLVOgetintcontrol(p.prob, kSlpIterLimit, &iv), 0) << p.error();
  EXPECT_EQ(iv, 50);
  EXPECT_EQ(KSLPgetdblcontrol(p.slp, kSlpIterLimit, &dv), KLVO_ERR_WRONG_TYPE);
  EXPECT_EQ(KSLPsetintcontrol(p.slp, kSlpStatus, 1), KLVO_ERR_UNKNOWN_ID);  // an attribute
  EXPECT_EQ(KSLPsetintcontrol(p.slp, 99999, 1), KLVO_ERR_UNKNOWN_ID);
  // Out of range: refused, value kept; a value set through the main handle arrives.
  EXPECT_EQ(KSLPsetdblcontrol(p.slp, 12104, 2.0), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_NE(p.slp_error().find("kslp_feastol"), std::string::npos);
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, 12104, &dv), 0);
  EXPECT_EQ(dv, 1e-6);
  ASSERT_EQ(KLVOsetdblcontrol(p.prob, 12104, 1e-7), 0) << p.error();
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, 12104, &dv), 0);
  EXPECT_EQ(dv, 1e-7);
  // Strings: a buffer too small is refused.
  ASSERT_EQ(KSLPsetstrcontrol(p.slp, kSlpEngineOptions, "mu_oracle quality-function"), 0);
  char small[5];
  EXPECT_NE(KSLPgetstringcontrol(p.slp, kSlpEngineOptions, small, sizeof small, nullptr), 0);
  // The objective sense control is the problem's objective sense.
  ASSERT_EQ(KLVOchgobjsense(p.prob, -1), 0);
  ASSERT_EQ(KSLPgetdblcontrol(p.slp, kSlpObjSense, &dv), 0);
  EXPECT_EQ(dv, -1.0);
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, 1.0), 0);
  EXPECT_EQ(dbl_attr(p.prob, KLVO_ATTR_OBJSENSE), 1.0);
  EXPECT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, 0.5), KLVO_ERR_INVALID_ARGUMENT);
  // The layer's attributes through the main handle.
  p.columns(3);
  EXPECT_EQ(int_attr(p.prob, kSlpCols), 3);
  // Copies, and a problem without a layer, which reads the default and cannot set it.
  NlpProblem q;
  ASSERT_EQ(KSLPcopycontrols(q.slp, p.slp), 0);
  ASSERT_EQ(KSLPgetintcontrol(q.slp, kSlpIterLimit, &iv), 0);
  EXPECT_EQ(iv, 50);
  KLVOprob bare = nullptr;
  ASSERT_EQ(KLVOcreateprob(&bare), 0);
  EXPECT_EQ(KLVOsetintcontrol(bare, kSlpIterLimit, 5), KLVO_ERR_NOT_INITIALIZED);
  ASSERT_EQ(KLVOgetintcontrol(bare, kSlpIterLimit, &iv), 0);
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

double evaluate(KSLPprob slp, const std::vector<std::pair<int, double>> &tokens) {
  std::vector<int> type;
  std::vector<double> value;
  for (auto &tv : tokens) type.push_back(tv.first), value.push_back(tv.second);
  double v = std::nan("");
  EXPECT_EQ(KSLPevaluateformula(slp, 1, type.data(), value.data(), &v), 0);
  return v;
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
  EXPECT_EQ(p.int_attr(12016), 2);  // entries with a column
  EXPECT_EQ(p.int_attr(12026), 2);  // entries without

  double factor = 0;
  EXPECT_EQ(read_coef(p.slp, 0, 2, &factor), tokens_of(f1.ended()));
  EXPECT_EQ(factor, 3.0);
  // Row 1 holds 2 * x1 * x2 + exp(x2) as two entries: read back as one formula with factor 1.
  auto t = read_coef(p.slp, 1, -1000, &factor);
  EXPECT_EQ(factor, 1.0);
  p.start({0.5, 2.0, -1.0});
  EXPECT_NEAR(evaluate(p.slp, t), 2 * 2.0 * -1.0 + std::exp(-1.0), 1e-14);
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

  // Deleting: a missing pair fails and deletes nothing.
  int drow[2] = {0, 0}, dcol[2] = {2, 1};
  EXPECT_EQ(KSLPdelcoefs(p.slp, 2, drow, dcol), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(p.coefs(), 3);
  ASSERT_EQ(KSLPdelcoefs(p.slp, 1, drow, dcol), 0);
  EXPECT_EQ(p.coefs(), 2);
  // Loading replaces everything.
  int lrow = -1, lcol = -1000, ls[2] = {0, static_cast<int>(f1.type.size())};
  double lf = 1.0;
  ASSERT_EQ(KSLPloadcoefs(p.slp, 1, &lrow, &lcol, &lf, ls, 1, f1.type.data(), f1.value.data()), 0);
  EXPECT_EQ(p.coefs(), 1);

  // A single row formula with a factor reads back with the factor multiplied in.
  NlpProblem q;
  q.columns(1);
  q.row('L', 0);
  q.add(0, -1000, 4.0, sin(X(0)));
  ASSERT_EQ(KLVOnlpgetformula(q.prob, 0, 1, 0, &nt, nullptr, nullptr), 0);
  std::vector<int> qt(nt);
  std::vector<double> qv(nt);
  ASSERT_EQ(KLVOnlpgetformula(q.prob, 0, 1, nt, &nt, qt.data(), qv.data()), 0);
  Ex scaled = (sin(X(0)) * C(4)).ended();
  EXPECT_EQ(qt, scaled.type);
  EXPECT_EQ(qv, scaled.value);
}

TEST(LayerEntries, DeletingRowsAndColumnsKeepsFormulasAndSettingsInStep) {
  NlpProblem p;
  p.columns(4);
  for (int i = 0; i < 3; ++i) p.row('L', 10);
  p.add(0, -1000, 1.0, sin(X(3)));
  p.add(1, -1000, 1.0, exp(X(1)));
  p.add(2, 3, 2.0, X(2) * X(3));
  p.start({0, 7, 0, 9});
  int status = 0x800, detrow = 2;
  ASSERT_EQ(KSLPchgrowstatus(p.slp, 2, &status), 0);
  ASSERT_EQ(KSLPchgvar(p.slp, 3, &detrow, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr),
            0);

  int row = 1;
  ASSERT_EQ(KLVOdelrows(p.prob, 1, &row), 0) << p.error();
  int n = 0, rows[4], cols[4];
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, rows, cols), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(rows[0], 0);
  EXPECT_EQ(rows[1], 1);  // was row 2
  EXPECT_EQ(cols[1], 3);
  ASSERT_EQ(KSLPgetrowstatus(p.slp, 1, &status), 0);
  EXPECT_EQ(status, 0x800);

  // Deleting column 1 (used by no formula left) shifts columns 2 and 3 down.
  int col = 1;
  ASSERT_EQ(KLVOdelcols(p.prob, 1, &col), 0) << p.error();
  ASSERT_EQ(KSLPgetcoefs(p.slp, &n, rows, cols), 0);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(cols[1], 2);
  double factor = 0;
  EXPECT_EQ(read_coef(p.slp, 1, 2, &factor), tokens_of((X(1) * X(2)).ended()));
  EXPECT_EQ(factor, 2.0);
  EXPECT_EQ(read_coef(p.slp, 0, -1000, &factor), tokens_of(sin(X(2)).ended()));
  // The initial value and determining row of old column 3 are now those of column 2.
  EXPECT_EQ(evaluate(p.slp, tokens_of(X(2).ended())), 9.0);
  EXPECT_EQ(slp_var(p.slp, 2).detrow, 1);
  // Its determining row deleted, the column has none.
  row = 1;
  ASSERT_EQ(KLVOdelrows(p.prob, 1, &row), 0);
  EXPECT_EQ(slp_var(p.slp, 2).detrow, -1);
  // Deleting a column a formula uses drops the entries that use it.
  col = 2;
  ASSERT_EQ(KLVOdelcols(p.prob, 1, &col), 0);
  EXPECT_EQ(p.coefs(), 0);
}

TEST(LayerVars, ChgvarChangesOnlyWhatIsGivenAndItsInitialValueStartsTheSolve) {
  // (x^2 - 1)^2 + 0.1 x has local minima near x = 1 and x = -1; the start decides.
  NlpProblem p;
  p.columns(1);
  p.objective(pow(pow(X(0), 2.0) - 1.0, 2.0) + C(0.1) * X(0));
  double sb = 0.25, init = 2.0;
  ASSERT_EQ(KSLPchgvar(p.slp, 0, nullptr, nullptr, &sb, nullptr, nullptr, &init, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0)
      << p.slp_error();
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_GT(p.x()[0], 0.9);
  init = -2.0;
  ASSERT_EQ(KSLPchgvar(p.slp, 0, nullptr, nullptr, nullptr, nullptr, nullptr, &init, nullptr, nullptr, nullptr, nullptr,
                       nullptr),
            0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_LT(p.x()[0], -0.9);
  EXPECT_EQ(slp_var(p.slp, 0).stepbound, 0.25);  // untouched by the second call
  // Forgetting the column's settings drops its initial value too.
  int c0 = 0, d = 0;
  ASSERT_EQ(KSLPdelvars(p.slp, 1, &c0), 0);
  EXPECT_EQ(slp_var(p.slp, 0).stepbound, 0.0);
  EXPECT_EQ(slp_var(p.slp, 0).initvalue, 0.0);
  EXPECT_EQ(KSLPchgrowstatus(p.slp, 7, &d), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KSLPgetvar(p.slp, 9, &d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr), KLVO_ERR_INVALID_ARGUMENT);
}

// Formulas live in the model store but may call the layer's user functions, so they move only
// with the layer: copying the problem alone brings none, and destroying the layer drops them.
TEST(LayerCopies, CopiedProblemSolvesAloneAndIndependently) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  p.row('L', 1, &g);
  NlpProblem q;
  ASSERT_EQ(KLVOcopyprob(q.prob, p.prob, "copy"), 0) << q.error();
  int n = -1;
  ASSERT_EQ(KSLPgetcoefs(q.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(KSLPcopyprob(q.slp, p.slp, nullptr), 0) << q.slp_error();
  // Changing the original afterwards does not reach the copy.
  int r = 0, c = -1000;
  ASSERT_EQ(KSLPdelcoefs(p.slp, 1, &r, &c), 0);
  EXPECT_EQ(q.optimize(), 1);
  EXPECT_NEAR(q.objval(), -std::sqrt(2.0), 1e-7);
  EXPECT_EQ(q.coefs(), 1);
  // A copy into a problem of another shape is refused.
  NlpProblem other;
  EXPECT_EQ(KSLPcopyprob(other.slp, p.slp, nullptr), KLVO_ERR_INVALID_ARGUMENT);
  // A new layer on the copy starts without the formulas of the one it replaces.
  ASSERT_EQ(KSLPdestroyprob(q.slp), 0);
  ASSERT_EQ(KSLPcreateprob(&q.slp, &q.prob), 0);
  ASSERT_EQ(KSLPgetcoefs(q.slp, &n, nullptr, nullptr), 0);
  EXPECT_EQ(n, 0);
}

TEST(LayerSolve, ResolveSeesChangesOfStoreAndFormulas) {
  NlpProblem p;
  p.columns(2, {}, {}, {1, 1});
  Ex g = pow(X(0), 2.0) + pow(X(1), 2.0);
  int r = p.row('L', 1, &g);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), -std::sqrt(2.0), 1e-7);
  EXPECT_EQ(p.int_attr(12062), 1 | (1 << 29));  // compiled model held, solved
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
  EXPECT_EQ(p.int_attr(12062) & 1, 0);
  ASSERT_EQ(KSLPsetdblcontrol(p.slp, kSlpObjSense, -1.0), 0);
  ASSERT_EQ(KLVOnlpoptimize(p.prob, nullptr), 0);
  EXPECT_NEAR(p.objval(), std::sqrt(8.0), 1e-7);
}

TEST(LayerSolve, RefusesWhatItCannotSolveWithAClearError) {
  NlpProblem p;
  p.columns(2);
  p.objective(pow(X(0) - 1.4, 2.0));
  int col = 0;
  char integer = 'I';
  ASSERT_EQ(KLVOchgcoltype(p.prob, 1, &col, &integer), 0);
  EXPECT_EQ(KLVOnlpoptimize(p.prob, nullptr), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(p.error().find("continuous problems only"), std::string::npos) << p.error();
  // KLVOoptimize sends it to the search (test_nlp_search_events.cpp) and its relaxation here.
  EXPECT_EQ(KLVOoptimize(p.prob, "l", nullptr, nullptr), 0) << p.error();
  EXPECT_EQ(p.status(), 1);

  KLVOprob bare = nullptr;
  ASSERT_EQ(KLVOcreateprob(&bare), 0);
  EXPECT_EQ(KLVOnlpoptimize(bare, nullptr), KLVO_ERR_NOT_INITIALIZED);
  EXPECT_EQ(KLVOnlpsetinitval(bare, 0, nullptr, nullptr), KLVO_ERR_NOT_INITIALIZED);
  KLVOdestroyprob(bare);

  int id = 0;
  auto f = reinterpret_cast<KSLPuserfunction>(&KSLPinit);
  EXPECT_EQ(KSLPadduserfunction(p.slp, "f", 3, 1, 1, 0, f, nullptr, &id), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KSLPadduserfunction(p.slp, "f", 2, 1, 2, 0, f, nullptr, &id), KLVO_ERR_INVALID_ARGUMENT);
  int c = 5;
  double v = 1;
  EXPECT_EQ(KLVOnlpsetinitval(p.prob, 1, &c, &v), KLVO_ERR_INVALID_ARGUMENT);
}

TEST(LayerFiles, ReadingAProblemFileDropsTheOldModelsFormulasButKeepsTheControls) {
  NlpProblem p;
  p.columns(2);
  p.row('L', 10);
  p.add(0, -1000, 1.0, sin(X(1)));
  p.add(-1, 0, 2.0, exp(X(1)));
  p.start({0, 3});
  ASSERT_EQ(KSLPsetintcontrol(p.slp, kSlpIterLimit, 40), 0);
  ASSERT_EQ(KLVOreadprob(p.prob, data_file("afiro.mps").c_str(), ""), 0) << p.error();
  EXPECT_EQ(p.coefs(), 0);
  EXPECT_EQ(p.int_attr(12026) + p.int_attr(12016), 0);
  // The old initial value of column 1 does not carry over to the new column 1.
  EXPECT_EQ(evaluate(p.slp, tokens_of(X(1).ended())), 0.0);
  int iterlimit = 0;
  ASSERT_EQ(KSLPgetintcontrol(p.slp, kSlpIterLimit, &iterlimit), 0);
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
    EXPECT_EQ(q.coefs(), 3);
    double factor = 0;
    EXPECT_EQ(read_coef(q.slp, 0, -1000, &factor), tokens_of((sin(X(2)) * C(0.1)).ended()));
    EXPECT_EQ(read_coef(q.slp, 1, 0, &factor), tokens_of(exp(X(1)).ended()));
    EXPECT_EQ(factor, -2.5);
    EXPECT_EQ(read_coef(q.slp, -1, -1000, &factor), tokens_of((X(0) * X(1)).ended()));
    EXPECT_EQ(int_attr(q.prob, KLVO_ATTR_ORIGINALROWS), 2);
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
  EXPECT_EQ(int_attr(plain, KLVO_ATTR_ORIGINALCOLS), 0);
  KLVOdestroyprob(plain);

  // A damaged entry fails the read and leaves model and formulas as they were.
  std::ofstream(path, std::ios::app) << "*FORMULA 0 -1000 1 3 10 0\n";
  NlpProblem q;
  q.columns(1);
  q.add(-1, -1000, 1.0, sin(X(0)));
  EXPECT_NE(KLVOreadprob(q.prob, path.c_str(), ""), 0);
  EXPECT_NE(q.error().find("fewer than 3 tokens"), std::string::npos) << q.error();
  EXPECT_EQ(int_attr(q.prob, KLVO_ATTR_ORIGINALCOLS), 1);
  EXPECT_EQ(q.coefs(), 1);
  std::remove(path.c_str());
}

}  // namespace
