// The entry points that take each array with its length: a wrong length is refused with the
// array named and the model left as it was; right lengths behave like the size-less calls.
#include <cmath>
#include <functional>

#include "test_support.h"

using namespace klvo_test;

namespace {

// Three rows over four columns; every row but one mentions every column.
DenseModel three_by_four() {
  DenseModel m;
  m.obj = {1, 2, 3, 4};
  m.lb = {0, 0, 0, 0};
  m.ub = {10, 10, 10, 10};
  m.rowtype = {'G', 'G', 'L'};
  m.rhs = {1, 2, 30};
  m.rows = {{1, 1, 1, 1}, {1, 2, 0, 1}, {3, 1, 1, 2}};
  return m;
}

class ArraySizes : public ProblemTest {
 protected:
  void SetUp() override {
    ProblemTest::SetUp();
    load(prob, three_by_four());
  }
  void expect_refused(int rc, const char *array) {
    EXPECT_EQ(rc, KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_NE(error().find(std::string("array ") + array), std::string::npos) << error();
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALROWS), 3);
    EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALCOLS), 4);
  }
};

TEST_F(ArraySizes, ShortOrLongArraysAreRefusedBeforeAnythingChanges) {
  int ind[3] = {0, 2, 1};
  for (int size : {1, 3}) {
    expect_refused(KLVOdelrows_witharraysizes(prob, 2, ind, size), "rowind");
    expect_refused(KLVOdelcols_witharraysizes(prob, 2, ind, size), "colind");
  }
  char settype[2] = {'1', '2'};
  int64_t start[3] = {0, 2, 4};
  int colind[4] = {0, 1, 2, 3};
  double refval[4] = {1, 2, 1, 2};
  auto add = [&](int ntype, int nstart, int ncol, int nref) {
    return KLVOaddsets64_witharraysizes(prob, 2, 4, settype, ntype, start, nstart, colind, ncol, refval, nref);
  };
  expect_refused(add(1, 2, 4, 4), "settype");
  expect_refused(add(2, 1, 4, 4), "start");
  expect_refused(add(2, 4, 4, 4), "start");
  expect_refused(add(2, 2, 3, 4), "colind");
  expect_refused(add(2, 2, 4, 5), "refval");
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 0);
  // A start array with its end entry is as good as one without.
  ASSERT_EQ(add(2, 3, 4, 4), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 2);
  expect_refused(KLVOdelsets_witharraysizes(prob, 1, ind, 0), "setind");
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_SETS), 2);

  ASSERT_EQ(KLVOdelrows_witharraysizes(prob, 2, ind, 2), 0) << error();
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_ORIGINALROWS), 1);
  double rhs = 0;
  ASSERT_EQ(KLVOgetrhs(prob, &rhs, 0, 0), 0);
  EXPECT_EQ(rhs, 2);  // the middle row is what is left
}

TEST_F(ArraySizes, SparseTransformsAgreeWithTheDenseOnes) {
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  const double dense_in[3] = {0.0, -2.0, 5.0};
  for (bool transpose : {false, true}) {
    std::vector<double> dense(dense_in, dense_in + 3);
    ASSERT_EQ(transpose ? KLVObtran(prob, dense.data()) : KLVOftran(prob, dense.data()), 0);
    // Row 2 listed before row 1, and its value split in two entries that must add up.
    double val[3] = {2.0, -2.0, 3.0};
    int ind[3] = {2, 1, 2}, nnz = 3;
    auto sparse = transpose ? KLVOsparsebtran_witharraysizes : KLVOsparseftran_witharraysizes;
    EXPECT_EQ(sparse(prob, val, 2, ind, 3, &nnz), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(nnz, 3);
    ASSERT_EQ(sparse(prob, val, 3, ind, 3, &nnz), 0) << error();
    std::vector<double> spread(3, 0.0);
    for (int k = 0; k < nnz; ++k) {
      if (k > 0) {
        EXPECT_LT(ind[k - 1], ind[k]);
      }
      spread[ind[k]] = val[k];
    }
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(spread[i], dense[i], 1e-12) << i;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dense[i] == 0.0, std::count(ind, ind + nnz, i) == 0) << i;
  }
}

}  // namespace

TEST_F(ArraySizes, RowFlagsMirrorTheMarksAndClearOnlyWhatTheMasksSay) {
  int delayed = 0, cut = 2, secure[2] = {0, 1};
  ASSERT_EQ(KLVOloaddelayedrows(prob, 1, &delayed), 0);
  ASSERT_EQ(KLVOloadmodelcuts(prob, 1, &cut), 0);
  ASSERT_EQ(KLVOloadsecurevecs(prob, 2, 0, secure, nullptr), 0);
  int flags[4] = {-1, -1, -1, -1};
  for (int size : {2, 4}) {
    expect_refused(KLVOgetrowflags_witharraysizes(prob, flags, size, 0, 2), "flags");
    expect_refused(KLVOclearrowflags_witharraysizes(prob, flags, size, 0, 2), "flags");
  }
  ASSERT_EQ(KLVOgetrowflags_witharraysizes(prob, flags, 3, 0, 2), 0) << error();
  EXPECT_EQ(std::vector<int>(flags, flags + 3),
            (std::vector<int>{KLVO_ROWFLAG_DELAYED | KLVO_ROWFLAG_SECURE, KLVO_ROWFLAG_SECURE, KLVO_ROWFLAG_MODELCUT}));
  int unknown_bit[1] = {8};
  EXPECT_EQ(KLVOclearrowflags(prob, unknown_bit, 1, 1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOgetrowflags(prob, flags, 2, 3), KLVO_ERR_INVALID_ARGUMENT);
  // Row 0 loses its delay but stays secure; row 2 stops being a model cut.
  int masks[3] = {KLVO_ROWFLAG_DELAYED, 0, KLVO_ROWFLAG_MODELCUT};
  ASSERT_EQ(KLVOclearrowflags_witharraysizes(prob, masks, 3, 0, 2), 0) << error();
  int n = -1, nrows = -1, ncols = -1, rows[3];
  ASSERT_EQ(KLVOgetdelayedrows(prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(KLVOgetmodelcuts(prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(KLVOgetsecurevecs(prob, &nrows, rows, &ncols, nullptr), 0);
  EXPECT_EQ(std::vector<int>(rows, rows + nrows), (std::vector<int>{0, 1}));
}

TEST(ArraySizesNlp, FormulaAndColumnArraysMustHaveExactlyTheirCounts) {
  NlpProblem p;
  p.columns(2);
  p.row('L', 4);
  p.row('L', 5);
  Ex f = pow(X(0), 2.0);
  f.push(0, 0);
  int rows[2] = {0, 1}, start[3] = {0, static_cast<int>(f.type.size()), 2 * static_cast<int>(f.type.size())};
  std::vector<int> type = f.type;
  std::vector<double> value = f.value;
  type.insert(type.end(), f.type.begin(), f.type.end());
  value.insert(value.end(), f.value.begin(), f.value.end());
  int nt = static_cast<int>(type.size());
  auto add = [&](int nrow, int nstart, int ntype, int nvalue) {
    return KLVOnlpaddformulas_witharraysizes(p.prob, 2, rows, nrow, start, nstart, 1, type.data(), ntype, value.data(),
                                             nvalue);
  };
  // Short and long arrays alike are refused, and nothing is added.
  for (int d : {-1, 1}) {
    EXPECT_EQ(add(2 + d, 3, nt, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3 + d, nt, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3, nt + d, nt), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(add(2, 3, nt, nt + d), KLVO_ERR_INVALID_ARGUMENT);
    EXPECT_NE(p.error().find("array"), std::string::npos) << p.error();
  }
  int n = -1;
  ASSERT_EQ(KLVOnlpgetformularows(p.prob, &n, nullptr), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(add(2, 3, nt, nt), 0) << p.error();
  int found[3] = {-1, -1, -1};
  EXPECT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 3), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 1), KLVO_ERR_INVALID_ARGUMENT);
  ASSERT_EQ(KLVOnlpgetformularows_witharraysizes(p.prob, &n, found, 2), 0) << p.error();
  EXPECT_EQ(std::vector<int>(found, found + n), (std::vector<int>{0, 1}));
  EXPECT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 1, rows, 2), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOnlpdelformulas_witharraysizes(p.prob, 1, rows, 0), KLVO_ERR_INVALID_ARGUMENT);

  int cols[2] = {0, 1}, detrow[2] = {0, 1};
  double initial[2] = {0.5, 0.25};
  EXPECT_EQ(KLVOslpsetdetrow_witharraysizes(p.prob, 1, cols, 2, detrow, 1), KLVO_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(KLVOslpsetinitstepbounds_witharraysizes(p.prob, 1, cols, 1, initial, 2), KLVO_ERR_INVALID_ARGUMENT);
  double step = -1;
  ASSERT_EQ(KSLPgetvar(p.slp, 0, nullptr, &step, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(step, 0.0);
}

namespace {

// One array of a sized call: its name in the library's messages, the length the call needs
// and the lengths it must refuse.
struct Array {
  const char *name;
  int right;
  std::vector<int> wrong;
};

Array exact(const char *name, int right) { return {name, right, {right - 1, right + 1}}; }

struct SizedCall {
  const char *function;
  std::vector<Array> arrays;
  std::function<int(const std::vector<int> &)> run;
};

// What a refused call must leave alone: the model, the formulas, the cut pool and the
// nonlinear layer's column settings.
struct State {
  Snapshot model;
  std::vector<int> formula_rows;
  int cuts = 0, detrow = 0;
  double step = 0;
  bool operator==(const State &o) const {
    return model == o.model && formula_rows == o.formula_rows && cuts == o.cuts && detrow == o.detrow &&
           step == o.step;
  }
};

State state_of(NlpProblem &p) {
  State s;
  s.model = snapshot(p.prob);
  int n = 0;
  EXPECT_EQ(KLVOnlpgetformularows(p.prob, &n, nullptr), 0);
  s.formula_rows.resize(n);
  EXPECT_EQ(KLVOnlpgetformularows(p.prob, &n, s.formula_rows.data()), 0);
  EXPECT_EQ(KLVOgetcpcutlist(p.prob, 0, -1, 0.0, &s.cuts, 0, nullptr, nullptr), 0);
  EXPECT_EQ(KSLPgetvar(p.slp, 0, &s.detrow, &s.step, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  return s;
}

}  // namespace

// Every array of every sized entry point given one entry short or one entry long (or, for a
// start array that may leave out its end entry, outside both lengths) is refused with the
// array named, before anything is read, written or changed; the right lengths then work.
TEST(ArraySizesAll, EveryArrayOfEveryCallIsCheckedAgainstItsLength) {
  NlpProblem p;
  KLVOprob prob = p.prob;
  load(prob, three_by_four());
  char two_sets[2] = {'1', '2'};
  int64_t set_start[3] = {0, 2, 4};
  int set_cols[4] = {0, 1, 2, 3};
  double set_ref[4] = {1, 2, 1, 2};
  // Solved as an LP for the basis the transforms need; two sets and row 0's formula come
  // after them.
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  Ex f = pow(X(0), 2.0).ended();
  const int nt = static_cast<int>(f.type.size());

  // Room for more than any call may read, so that a missed check shows as a wrong result.
  constexpr int kRoom = 16;
  std::vector<double> dbl(kRoom, 0.5), out(kRoom, -7.0);
  std::vector<int> ints(kRoom, 0), iout(kRoom, -7);
  std::vector<int64_t> start64 = {0, 2, 4, 4, 4, 4};
  int rows2[2] = {1, 2}, cstart[3] = {0, nt, 2 * nt};
  std::vector<int> types = f.type, det = {-1};
  std::vector<double> values = f.value, initial = {0.25};
  types.insert(types.end(), f.type.begin(), f.type.end());
  values.insert(values.end(), f.value.begin(), f.value.end());
  types.resize(kRoom, 0);
  values.resize(kRoom, 0.0);
  const char *ltype = "LLLL", *stype = "1111";
  int nnz = 0, nrows = 0;

  // The unit vector of row 0, transformed in place.
  auto transform = [&](auto fn) {
    return [&, fn](const std::vector<int> &n) {
      out.assign(kRoom, 0.0);
      out[0] = 1.0;
      iout.assign(kRoom, 0);
      nnz = 1;
      return fn(prob, out.data(), n[0], iout.data(), n[1], &nnz);
    };
  };
  // Readers first, then the calls that change the model (each succeeds with right lengths).
  std::vector<SizedCall> transforms = {
      {"KLVOsparseftran_witharraysizes", {exact("val", 3), exact("ind", 3)},
       transform(KLVOsparseftran_witharraysizes)},
      {"KLVOsparsebtran_witharraysizes", {exact("val", 3), exact("ind", 3)},
       transform(KLVOsparsebtran_witharraysizes)},
  };
  std::vector<SizedCall> calls = {
      {"KLVOgetscale_witharraysizes", {exact("rowscale", 3), exact("colscale", 4)},
       [&](const std::vector<int> &n) {
         return KLVOgetscale_witharraysizes(prob, iout.data(), n[0], iout.data() + 8, n[1]);
       }},
      {"KLVOpostsolvesol_witharraysizes", {exact("prex", 4), exact("origx", 4)},
       [&](const std::vector<int> &n) { return KLVOpostsolvesol_witharraysizes(prob, dbl.data(), n[0], out.data(), n[1]); }},
      {"KLVOgetrowflags_witharraysizes", {exact("flags", 3)},
       [&](const std::vector<int> &n) { return KLVOgetrowflags_witharraysizes(prob, iout.data(), n[0], 0, 2); }},
      {"KLVOclearrowflags_witharraysizes", {exact("flags", 3)},
       [&](const std::vector<int> &n) { return KLVOclearrowflags_witharraysizes(prob, ints.data(), n[0], 0, 2); }},
      {"KLVOnlpgetformularows_witharraysizes", {exact("rowindex", 1)},
       [&](const std::vector<int> &n) { return KLVOnlpgetformularows_witharraysizes(prob, &nrows, iout.data(), n[0]); }},
      {"KLVOslpsetdetrow_witharraysizes", {exact("colind", 1), exact("rowind", 1)},
       [&](const std::vector<int> &n) {
         return KLVOslpsetdetrow_witharraysizes(prob, 1, set_cols, n[0], det.data(), n[1]);
       }},
      {"KLVOslpsetinitstepbounds_witharraysizes", {exact("colind", 1), exact("initial", 1)},
       [&](const std::vector<int> &n) {
         return KLVOslpsetinitstepbounds_witharraysizes(prob, 1, set_cols, n[0], initial.data(), n[1]);
       }},
      {"KLVOaddmanagedcuts64_witharraysizes",
       {exact("rowtype", 2), exact("rhs", 2), {"start", 3, {1, 4}}, exact("colind", 4), exact("cutcoef", 4)},
       [&](const std::vector<int> &n) {
         return KLVOaddmanagedcuts64_witharraysizes(prob, 1, 2, ltype, n[0], dbl.data(), n[1], start64.data(), n[2],
                                                    set_cols, n[3], dbl.data(), n[4]);
       }},
      {"KLVOaddsets64_witharraysizes",
       {exact("settype", 2), {"start", 3, {1, 4}}, exact("colind", 4), exact("refval", 4)},
       [&](const std::vector<int> &n) {
         return KLVOaddsets64_witharraysizes(prob, 2, 4, stype, n[0], start64.data(), n[1], set_cols, n[2], set_ref,
                                             n[3]);
       }},
      {"KLVOnlploadformulas_witharraysizes",
       {exact("rowind", 2), exact("formulastart", 3), exact("type", 2 * nt), exact("value", 2 * nt)},
       [&](const std::vector<int> &n) {
         return KLVOnlploadformulas_witharraysizes(prob, 2, rows2, n[0], cstart, n[1], 1, types.data(), n[2],
                                                   values.data(), n[3]);
       }},
      {"KLVOnlpaddformulas_witharraysizes",
       {exact("rowind", 2), exact("formulastart", 3), exact("type", 2 * nt), exact("value", 2 * nt)},
       [&](const std::vector<int> &n) {
         return KLVOnlpaddformulas_witharraysizes(prob, 2, rows2, n[0], cstart, n[1], 1, types.data(), n[2],
                                                  values.data(), n[3]);
       }},
      {"KLVOnlpdelformulas_witharraysizes", {exact("rowind", 2)},
       [&](const std::vector<int> &n) { return KLVOnlpdelformulas_witharraysizes(prob, 2, rows2, n[0]); }},
      {"KLVOdelsets_witharraysizes", {exact("setind", 2)},
       [&](const std::vector<int> &n) { return KLVOdelsets_witharraysizes(prob, 2, set_cols, n[0]); }},
      {"KLVOdelcols_witharraysizes", {exact("colind", 2)},
       [&](const std::vector<int> &n) { return KLVOdelcols_witharraysizes(prob, 2, rows2, n[0]); }},
      {"KLVOdelrows_witharraysizes", {exact("rowind", 2)},
       [&](const std::vector<int> &n) { return KLVOdelrows_witharraysizes(prob, 2, rows2, n[0]); }},
  };
  auto check_all = [&](const std::vector<SizedCall> &all) {
    for (const SizedCall &c : all) {
      SCOPED_TRACE(c.function);
      std::vector<int> right;
      for (const Array &a : c.arrays) right.push_back(a.right);
      State before = state_of(p);
      for (size_t k = 0; k < c.arrays.size(); ++k) {
        for (int wrong : c.arrays[k].wrong) {
          SCOPED_TRACE(std::string(c.arrays[k].name) + " of length " + std::to_string(wrong));
          std::vector<int> sizes = right;
          sizes[k] = wrong;
          out.assign(kRoom, -7.0);
          iout.assign(kRoom, -7);
          ASSERT_EQ(c.run(sizes), KLVO_ERR_INVALID_ARGUMENT);
          std::string text = p.error();
          EXPECT_NE(text.find(c.function), std::string::npos) << text;
          EXPECT_NE(text.find(std::string("array ") + c.arrays[k].name + " has"), std::string::npos) << text;
          EXPECT_TRUE(state_of(p) == before) << diff(state_of(p).model, before.model);
          // Output arrays untouched (the sparse transforms' input stays as given).
          EXPECT_EQ(std::count(iout.begin(), iout.end(), -7) + std::count(iout.begin(), iout.end(), 0), kRoom);
          EXPECT_EQ(std::count(out.begin() + 1, out.end(), -7.0) + std::count(out.begin() + 1, out.end(), 0.0),
                    kRoom - 1);
        }
      }
      ASSERT_EQ(c.run(right), 0) << p.error();
    }
  };
  check_all(transforms);
  ASSERT_EQ(KLVOaddsets64(prob, 2, 4, two_sets, set_start, set_cols, set_ref), 0) << p.error();
  int row0 = 0, fstart[2] = {0, nt};
  ASSERT_EQ(KLVOnlpaddformulas(prob, 1, &row0, fstart, 1, f.type.data(), f.value.data()), 0) << p.error();
  check_all(calls);
  // The right-length calls did their work: two sets added to the two deleted, the formulas
  // loaded in place of row 0's and deleted again, two columns and two rows gone.
  State after = state_of(p);
  EXPECT_EQ(after.model.sets.size(), 2u);
  EXPECT_EQ(after.formula_rows, std::vector<int>{});
  EXPECT_EQ(after.model.ncols, 2);
  EXPECT_EQ(after.model.nrows, 1);
  EXPECT_EQ(after.cuts, 0);  // both cuts mention a deleted column
  EXPECT_EQ(after.step, 0.25);
}
