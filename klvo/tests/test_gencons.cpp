// General and piecewise-linear constraints: file round trips together with sets, set names,
// indicators and entities; what column and row deletions leave; copies; refused input; solves
// checked against enumeration.
#include "test_support.h"

using namespace klvo_test;

namespace {

// A model with every kind of entity: columns x0 [-3, 4], x1 [0, 5], y free, b3 and b4
// binary, r integer [0, 10], s semi-continuous; two rows; a named set; an indicator; one
// general constraint of each type and two piecewise-linear ones (one with a jump).
void build(KLVOprob prob) {
  const double obj[] = {1, -1, 0, 2, 0, 1, 0.5};
  const double lb[] = {-3, 0, -1e20, 0, 0, 0, 0};
  const double ub[] = {4, 5, 1e20, 1, 1, 10, 8};
  const int64_t start[] = {0, 2, 3, 4, 4, 4, 5, 6};
  const int rowind[] = {0, 1, 0, 1, 0, 1};
  const double val[] = {1, 2, 1, -1, 3, 1};
  const char rowtype[] = {'L', 'G'};
  const double rhs[] = {6, -2};
  ASSERT_EQ(KLVOloadlp64(prob, "entities", 7, 2, rowtype, rhs, nullptr, obj, start, nullptr, rowind, val, lb, ub), 0);
  const int cols[] = {3, 4, 5, 6};
  const char types[] = {'B', 'B', 'I', 'S'};
  ASSERT_EQ(KLVOchgcoltype(prob, 4, cols, types), 0);
  const double limit = 2.5;
  ASSERT_EQ(KLVOchgglblimit(prob, 1, &cols[3], &limit), 0);
  const char settype[] = {'2', '1'};
  const int64_t setstart[] = {0, 3, 5};
  const int setcols[] = {0, 1, 2, 5, 6};
  const double ref[] = {1, 2, 4, 1, 3};
  ASSERT_EQ(KLVOaddsets64(prob, 2, 5, settype, setstart, setcols, ref), 0);
  ASSERT_EQ(KLVOaddsetnames(prob, "chain\0pick", 0, 1), 0);
  const int indrow = 0, indcol = 3, comp = -1;
  ASSERT_EQ(KLVOsetindicators(prob, 1, &indrow, &indcol, &comp), 0);
  // y = max(x0, x1, 1.5), r = min(x1, -2), b3 = and(b4), b4 = or(b3), y = |x0|: a resultant
  // may repeat.
  const int type[] = {KLVO_GENCONS_MAX, KLVO_GENCONS_MIN, KLVO_GENCONS_AND, KLVO_GENCONS_OR, KLVO_GENCONS_ABS};
  const int result[] = {2, 5, 3, 4, 2};
  const int64_t colstart[] = {0, 2, 3, 4, 5};
  const int colind[] = {0, 1, 1, 4, 3, 0};
  const int64_t valstart[] = {0, 1, 2, 2, 2};
  const double vals[] = {1.5, -2};
  ASSERT_EQ(KLVOaddgencons64(prob, 5, 6, 2, type, result, colstart, colind, valstart, vals), 0) << last_error(prob);
  const int pcol[] = {0, 1};
  const int pres[] = {2, 6};
  const int64_t pstart[] = {0, 3};
  const double px[] = {-1, 0, 2, 0, 1, 1, 3};
  const double py[] = {1, 0, 4, 0, 1, 2, 2.5};
  ASSERT_EQ(KLVOaddpwlcons64(prob, 2, 7, pcol, pres, pstart, px, py), 0) << last_error(prob);
}

using GenList = std::vector<std::tuple<int, int, std::vector<int>, std::vector<double>>>;
using PwlList = std::vector<std::tuple<int, int, std::vector<double>, std::vector<double>>>;

}  // namespace

TEST_F(ProblemTest, GeneralConstraintsAndEntitiesSurviveMpsAndLpFiles) {
  build(prob);
  Snapshot original = snapshot(prob);
  ASSERT_EQ(original.gencons.size(), 5u);
  ASSERT_EQ(original.pwlcons.size(), 2u);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_GENCONS), 7);
  TempDir dir;
  for (auto [name, flags] : {std::pair{"m.mps", ""}, std::pair{"f.mps", "x"}, std::pair{"m.lp", ""}}) {
    SCOPED_TRACE(name);
    std::string path = dir.path(name);
    ASSERT_EQ(KLVOwriteprob(prob, path.c_str(), flags), 0) << last_error(prob);
    KLVOprob back = fresh();
    ASSERT_EQ(KLVOreadprob(back, path.c_str(), ""), 0) << last_error(back) << "\n" << slurp(path);
    Snapshot again = snapshot(back);
    EXPECT_TRUE(original == again) << diff(original, again) << "\n" << slurp(path);
  }
}

TEST_F(ProblemTest, DeletionsKeepTheRemainingConstraintsOnTheirColumns) {
  build(prob);
  // Deleting row 0 moves the second row (and no indicator) down; the constraints refer to
  // columns only and stay as they were.
  Snapshot before = snapshot(prob);
  const int row0 = 0;
  ASSERT_EQ(KLVOdelrows(prob, 1, &row0), 0);
  EXPECT_EQ(gencons(prob), before.gencons);
  EXPECT_EQ(pwlcons(prob), before.pwlcons);
  int ic = 0, cp = 0;
  ASSERT_EQ(KLVOgetindicators(prob, &ic, &cp, 0, 0), 0);
  EXPECT_EQ(cp, 0);
  // Deleting column 1 drops what uses it (max, min, the second pwl) and renumbers the rest:
  // columns 2..6 become 1..5.
  const int col1 = 1;
  ASSERT_EQ(KLVOdelcols(prob, 1, &col1), 0);
  GenList expected_gen = {{KLVO_GENCONS_AND, 2, {3}, {}},
                          {KLVO_GENCONS_OR, 3, {2}, {}},
                          {KLVO_GENCONS_ABS, 1, {0}, {}}};
  PwlList expected_pwl = {{0, 1, {-1, 0, 2}, {1, 0, 4}}};
  EXPECT_EQ(gencons(prob), expected_gen);
  EXPECT_EQ(pwlcons(prob), expected_pwl);
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_GENCONS), 4);
  // Deleting the middle general constraint moves the last one down; a copy keeps the rest.
  const int mid = 1;
  ASSERT_EQ(KLVOdelgencons(prob, 1, &mid), 0);
  expected_gen.erase(expected_gen.begin() + 1);
  EXPECT_EQ(gencons(prob), expected_gen);
  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOcopyprob(copy, prob, ""), 0);
  Snapshot a = snapshot(prob), b = snapshot(copy);
  EXPECT_TRUE(a == b) << diff(a, b);
  const int first = 0;
  ASSERT_EQ(KLVOdelpwlcons(prob, 1, &first), 0);
  EXPECT_TRUE(pwlcons(prob).empty());
  EXPECT_EQ(pwlcons(copy), expected_pwl);  // the copy is its own
}

TEST_F(ProblemTest, BadGeneralConstraintsChangeNothing) {
  build(prob);
  Snapshot before = snapshot(prob);
  // The second of two constraints is bad each time; the first must not be added either.
  const int64_t cs[] = {0, 1};
  const int res[] = {0, 1};
  struct Case {
    int type[2];
    int cols[3];
    int64_t ncols;
    const char *words;
  } cases[] = {
      {{KLVO_GENCONS_MAX, KLVO_GENCONS_ABS}, {1, 2, 3}, 3, "exactly one column"},
      {{KLVO_GENCONS_MAX, 7}, {1, 2, 3}, 2, "unknown type 7"},
      {{KLVO_GENCONS_MAX, KLVO_GENCONS_OR}, {1, 99, 0}, 2, "column index 99"},
      {{KLVO_GENCONS_MAX, KLVO_GENCONS_AND}, {1, 2, 0}, 1, "at least one column"},
  };
  for (const Case &c : cases) {
    EXPECT_NE(KLVOaddgencons64(prob, 2, c.ncols, 0, c.type, res, cs, c.cols, nullptr, nullptr), 0);
    EXPECT_NE(last_error(prob).find(c.words), std::string::npos) << last_error(prob);
  }
  const int pc[] = {0, 1};
  const int64_t ps[] = {0, 2};
  const double down[] = {0, 1, 2, 1};  // the second constraint's x decreases
  const double single[] = {0, 1, 2};   // the second has one breakpoint
  const double y[] = {0, 0, 0, 0};
  EXPECT_NE(KLVOaddpwlcons64(prob, 2, 4, pc, res, ps, down, y), 0);
  EXPECT_NE(last_error(prob).find("decrease"), std::string::npos) << last_error(prob);
  EXPECT_NE(KLVOaddpwlcons64(prob, 2, 3, pc, res, ps, single, y), 0);
  const int twice[] = {1, 1};
  EXPECT_NE(KLVOdelgencons(prob, 2, twice), 0);
  const int beyond = 2;
  EXPECT_NE(KLVOdelpwlcons(prob, 1, &beyond), 0);
  Snapshot after = snapshot(prob);
  EXPECT_TRUE(before == after) << diff(before, after);
  // Reading back a part: the sizes first, then arrays clipped to maxcols.
  int64_t nc = -1, nv = -1;
  ASSERT_EQ(KLVOgetgencons64(prob, nullptr, nullptr, nullptr, nullptr, 0, &nc, nullptr, nullptr, 0, &nv, 0, 1), 0);
  EXPECT_EQ(nc, 3);
  EXPECT_EQ(nv, 2);
  int64_t start[3];
  int cols[2] = {-7, -7};
  ASSERT_EQ(KLVOgetgencons64(prob, nullptr, nullptr, start, cols, 2, &nc, nullptr, nullptr, 0, &nv, 0, 1), 0);
  EXPECT_EQ((std::vector<int64_t>{start[0], start[1], start[2]}), (std::vector<int64_t>{0, 2, 2}));
  EXPECT_EQ(cols[0], 0);
  EXPECT_EQ(cols[1], 1);
  EXPECT_NE(KLVOgetgencons64(prob, nullptr, nullptr, nullptr, nullptr, 0, &nc, nullptr, nullptr, 0, &nv, 3, 5), 0);
}

// x in [-3, 4] and y in [-2, 5] integer, b1 and b2 binary, x + y <= 3; resultants
// m = max(x, y, 1), n = min(x, y), a = |x|, p = pwl(y) through (-1, 2), (1, -1), (1, 0), (3, 4)
// (a jump at 1), c = b1 and b2, d = b1 or b2. Each objective is checked against enumeration of
// x, y, b1, b2, with signs both ways so that every side of each reformulation is pressed.
TEST_F(ProblemTest, GeneralAndPiecewiseConstraintsSolveToTheEnumeratedOptimum) {
  enum { X, Y, B1, B2, M, N, A, P, C, D, NCOLS };
  const double lb[NCOLS] = {-3, -2, 0, 0, -1e20, -1e20, -1e20, -1e20, -1e20, -1e20};
  const double ub[NCOLS] = {4, 5, 1, 1, 1e20, 1e20, 1e20, 1e20, 1e20, 1e20};
  const int64_t start[NCOLS + 1] = {0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  const int rowind[] = {0, 0};
  const double coef[] = {1, 1};
  const char le = 'L';
  const double three = 3;
  ASSERT_EQ(KLVOloadlp64(prob, "enum", NCOLS, 1, &le, &three, nullptr, nullptr, start, nullptr, rowind, coef, lb, ub),
            0);
  const int icols[] = {X, Y, B1, B2};
  const char itypes[] = {'I', 'I', 'B', 'B'};
  ASSERT_EQ(KLVOchgcoltype(prob, 4, icols, itypes), 0);
  const int type[] = {KLVO_GENCONS_MAX, KLVO_GENCONS_MIN, KLVO_GENCONS_ABS, KLVO_GENCONS_AND, KLVO_GENCONS_OR};
  const int res[] = {M, N, A, C, D};
  const int64_t cs[] = {0, 2, 4, 5, 7};
  const int cols[] = {X, Y, X, Y, X, B1, B2, B1, B2};
  const int64_t vs[] = {0, 1, 1, 1, 1};
  const double one = 1;
  ASSERT_EQ(KLVOaddgencons64(prob, 5, 9, 1, type, res, cs, cols, vs, &one), 0) << error();
  const int pcol = Y, pres = P;
  const int64_t ps = 0;
  const double px[] = {-1, 1, 1, 3}, py[] = {2, -1, 0, 4};
  ASSERT_EQ(KLVOaddpwlcons64(prob, 1, 4, &pcol, &pres, &ps, px, py), 0) << error();
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_MIPRELSTOP, 0.0), 0);

  // The function's values at integer y, both ordinates at the jump.
  auto pwl_values = [](int y) -> std::vector<double> {
    if (y == 1) return {-1, 0};
    if (y < 1) return {2 - 1.5 * (y + 1)};
    return {2.0 * (y - 1)};
  };
  const std::vector<std::vector<double>> objectives = {
      {0.3, -0.2, 0.5, -0.7, 1, -1, 2, -1, -3, 2},
      {-0.3, 0.2, -0.5, 0.7, -1, 1, -2, 1, 3, -2},
      {1, 1, 0, 0, -2, -2, 1, 0.5, 1, -1},
      {0, -1, 1, 1, 0.5, 3, -1, 2, -2, 1}};
  for (const std::vector<double> &obj : objectives) {
    std::vector<int> all(NCOLS);
    for (int j = 0; j < NCOLS; ++j) all[j] = j;
    ASSERT_EQ(KLVOchgobj(prob, NCOLS, all.data(), obj.data()), 0);
    double best = 1e300;
    for (int x = -3; x <= 4; ++x)
      for (int y = -2; y <= 5 && x + y <= 3; ++y)
        for (int b1 = 0; b1 <= 1; ++b1)
          for (int b2 = 0; b2 <= 1; ++b2)
            for (double p : pwl_values(y)) {
              double v[NCOLS] = {double(x), double(y), double(b1), double(b2), std::max({double(x), double(y), 1.0}),
                                 double(std::min(x, y)), double(std::abs(x)), p, double(b1 && b2), double(b1 || b2)};
              double value = 0;
              for (int j = 0; j < NCOLS; ++j) value += obj[j] * v[j];
              best = std::min(best, value);
            }
    int solvestatus = 0, solstatus = 0;
    ASSERT_EQ(KLVOoptimize(prob, "", &solvestatus, &solstatus), 0) << error();
    ASSERT_EQ(solstatus, KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_OBJVAL), best, 1e-6);
    std::vector<double> v(NCOLS);
    int status = 0;
    ASSERT_EQ(KLVOgetsolution(prob, &status, v.data(), 0, NCOLS - 1), 0);
    EXPECT_NEAR(v[M], std::max({v[X], v[Y], 1.0}), 1e-6);
    EXPECT_NEAR(v[N], std::min(v[X], v[Y]), 1e-6);
    EXPECT_NEAR(v[A], std::fabs(v[X]), 1e-6);
    EXPECT_NEAR(v[C], std::round(v[B1]) * std::round(v[B2]), 1e-6);
    EXPECT_NEAR(v[D], std::max(std::round(v[B1]), std::round(v[B2])), 1e-6);
    std::vector<double> pv = pwl_values(static_cast<int>(std::lround(v[Y])));
    EXPECT_TRUE(std::any_of(pv.begin(), pv.end(), [&](double p) { return std::fabs(p - v[P]) < 1e-6; })) << v[P];
  }
  EXPECT_EQ(int_attr(prob, KLVO_ATTR_COLS), NCOLS);  // the extra columns never show

  // Refused: an operand of max without a lower bound; the relaxation.
  const int x = X;
  const char lower = 'L';
  const double minus_inf = -1e20;
  ASSERT_EQ(KLVOchgbounds(prob, 1, &x, &lower, &minus_inf), 0);
  EXPECT_EQ(KLVOoptimize(prob, "", nullptr, nullptr), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(error().find("general constraint 0 needs a finite lower bound on column 0 (max)"), std::string::npos)
      << error();
  EXPECT_EQ(KLVOlpoptimize(prob, ""), KLVO_ERR_NOT_SUPPORTED);
  EXPECT_NE(error().find("general constraints (5) and piecewise-linear constraints (1)"), std::string::npos)
      << error();
}
