// Saved state: snapshots restore the problem, its controls and its solution exactly; message
// codes and the log file; directives and row marks through files, deletions and copies; user
// scaling that the engine sees while the user's answers stay the same.
#include <regex>

#include "test_support.h"

using namespace klvo_test;

namespace {

// A temporary directory made the working directory for the test: KLVOsave writes beside the
// program.
struct WorkDir : TempDir {
  char *old = getcwd(nullptr, 0);
  WorkDir() { EXPECT_EQ(chdir(dir().c_str()), 0); }
  ~WorkDir() {
    EXPECT_EQ(chdir(old), 0);
    free(old);
  }
};

std::string mps_text(KLVOprob prob, const TempDir &dir) {
  std::string path = dir.path("model.mps");
  EXPECT_EQ(KLVOwriteprob(prob, path.c_str(), ""), 0);
  return slurp(path);
}

// max 3x + 5y - z  s.t.  x <= 4,  2y <= 12,  3x + 2y <= 18,  x + z >= 3.
// With z = 3 - x the objective is 4x + 5y - 3: optimum x = 2, y = 6, z = 1, value 35.
DenseModel production() {
  DenseModel m;
  m.obj = {3, 5, -1};
  m.rowtype = {'L', 'L', 'L', 'G'};
  m.rhs = {4, 12, 18, 3};
  m.rows = {{1, 0, 0}, {0, 2, 0}, {3, 2, 0}, {1, 0, 1}};
  m.sense = -1;
  return m;
}

struct Answers {
  std::vector<double> x, slack, duals, djs;
};

Answers answers(KLVOprob prob) {
  Answers a;
  a.x = vec(prob, KLVOgetsolution, ncols(prob), KLVO_SOLSTATUS_OPTIMAL);
  a.slack = vec(prob, KLVOgetslacks, nrows(prob), KLVO_SOLSTATUS_OPTIMAL);
  a.duals = vec(prob, KLVOgetduals, nrows(prob), KLVO_SOLSTATUS_OPTIMAL);
  a.djs = vec(prob, KLVOgetredcosts, ncols(prob), KLVO_SOLSTATUS_OPTIMAL);
  return a;
}

struct Dirs {
  std::vector<int> col, pri;
  std::string dir;
  std::vector<double> up, down;
  bool operator==(const Dirs &o) const {
    return col == o.col && pri == o.pri && dir == o.dir && up == o.up && down == o.down;
  }
};

Dirs dirs(KLVOprob prob) {
  int n = -1;
  EXPECT_EQ(KLVOgetdirs(prob, &n, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  Dirs d;
  d.col.resize(n);
  d.pri.resize(n);
  d.dir.resize(n);
  d.up.resize(n);
  d.down.resize(n);
  EXPECT_EQ(KLVOgetdirs(prob, &n, d.col.data(), d.pri.data(), d.dir.data(), d.up.data(), d.down.data()), 0);
  return d;
}

std::vector<int> marks(KLVOprob prob, int (*get)(KLVOprob, int *, int *)) {
  int n = -1;
  EXPECT_EQ(get(prob, &n, nullptr), 0);
  std::vector<int> rows(n);
  EXPECT_EQ(get(prob, &n, rows.data()), 0);
  return rows;
}

// Sets, indicators, both quadratic parts, a semi-continuous column, a range, repeated names:
// what the snapshot must carry beyond a plain LP.
const char *kRichMps = R"(NAME rich
ROWS
 N obj
 L c1
 G c2
 E c3
 L q1
COLUMNS
 MARKER 'MARKER' 'INTORG'
 a obj 1 c1 2
 a c3 1 c2 1e-7
 MARKER 'MARKER' 'INTEND'
 b obj -2.5 c2 0.1
 s obj 0.3333333333333333 c1 1
 dup c3 4 q1 1
 dup obj 1
RHS
 RHS c1 10 c2 -1
 RHS c3 0.7 q1 5
RANGES
 RNG c1 3.25
BOUNDS
 UP BND a 9
 SC BND s 8
 LO BND s 1.5
 MI BND b
SOS
 S1 SOS set1 1
 a 1
 b 2.5
QUADOBJ
 a a 2
 a b 0.5
QCMATRIX q1
 dup dup 1
INDICATORS
 IF c2 a 1
GENCONS
 MAX  a
    COL  b
    VAL  2
PWLCONS
 PWL  dup  s
    0  0
    1  2
ENDATA
)";

}  // namespace

TEST_F(ProblemTest, RestoreGivesBackTheSavedProblemItsControlsAndItsSolution) {
  WorkDir dir;
  load(prob, production());
  ASSERT_EQ(KLVOaddnames(prob, 2, "x\0y\0z", 0, 2), 0);
  int all[] = {0, 1, 2};
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_RELTOL, 0.25), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, 1.0 / 3 * 1e-6), 0);
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_LPITERLIMIT, 12345), 0);
  int row1 = 1;
  ASSERT_EQ(KLVOloaddelayedrows(prob, 1, &row1), 0);
  char updown[] = "UD";
  double up[] = {0.1, 1e300}, down[] = {2, 0};
  ASSERT_EQ(KLVOloaddirs(prob, 2, all, nullptr, updown, up, down), 0);
  double rowscale[] = {3.7, 1, 0.01, 1}, colscale[] = {1, 1, 1 / 3.0};
  ASSERT_EQ(KLVOscale(prob, rowscale, colscale), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  const Answers saved = answers(prob);
  const std::string mps = mps_text(prob, dir);
  const double objval = dbl_attr(prob, KLVO_ATTR_LPOBJVAL);
  EXPECT_NEAR(objval, 35, 1e-9);
  ASSERT_EQ(KLVOsave(prob), 0);  // "test.svf", the problem's name

  // Change everything that was saved: the model, the controls, the marks, the solution.
  double three = 3;
  ASSERT_EQ(KLVOchgbounds(prob, 1, all, "U", &three), 0);
  ASSERT_EQ(KLVOdelcols(prob, 1, &all[2]), 0);
  ASSERT_EQ(KLVOsetdblcontrol(prob, KLVO_CONTROL_FEASTOL, 1e-5), 0);
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_LPITERLIMIT), 0);
  ASSERT_EQ(KLVOsetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_RELTOL, 0), 0);
  ASSERT_EQ(KLVOloaddirs(prob, 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOscale(prob, nullptr, nullptr), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_NE(mps_text(prob, dir), mps);

  ASSERT_EQ(KLVOrestore(prob, "test", ""), 0) << error();
  EXPECT_EQ(mps_text(prob, dir), mps);
  EXPECT_EQ(dbl_control(prob, KLVO_CONTROL_FEASTOL), 1.0 / 3 * 1e-6);
  EXPECT_EQ(int_control(prob, KLVO_CONTROL_LPITERLIMIT), 12345);
  double w = 0;
  ASSERT_EQ(KLVOgetobjdblcontrol(prob, 0, KLVO_OBJCONTROL_RELTOL, &w), 0);
  EXPECT_EQ(w, 0.25);
  // The solution comes back bit for bit, without a solve.
  Answers back = answers(prob);
  EXPECT_EQ(back.x, saved.x);
  EXPECT_EQ(back.slack, saved.slack);
  EXPECT_EQ(back.duals, saved.duals);
  EXPECT_EQ(back.djs, saved.djs);
  EXPECT_EQ(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), objval);
  Dirs d = dirs(prob);
  EXPECT_EQ(d.dir, "UD");
  EXPECT_EQ(d.up, std::vector<double>({0.1, 1e300}));
  EXPECT_EQ(marks(prob, KLVOgetdelayedrows), std::vector<int>{1});
  std::vector<double> rs(4), cs(3);
  ASSERT_EQ(KLVOgetscale(prob, rs.data(), cs.data()), 0);
  EXPECT_EQ(rs, std::vector<double>(rowscale, rowscale + 4));
  EXPECT_EQ(cs, std::vector<double>(colscale, colscale + 3));
  // And it solves to the same optimum again.
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 35, 1e-9);

  // A model with every other part (general and piecewise-linear constraints too), under a
  // file name of its own.
  KLVOprob rich = fresh();
  std::ofstream(dir.path("rich.mps")) << kRichMps;
  ASSERT_EQ(KLVOreadprob(rich, dir.path("rich.mps").c_str(), ""), 0) << error(rich);
  const Snapshot before = snapshot(rich);
  const std::string rich_mps = mps_text(rich, dir);
  ASSERT_EQ(KLVOsaveas(rich, dir.path("rich_state").c_str()), 0);
  ASSERT_EQ(load_empty(rich, "other"), 0);
  ASSERT_EQ(KLVOrestore(rich, dir.path("rich_state").c_str(), nullptr), 0) << error(rich);
  EXPECT_EQ(diff(snapshot(rich), before), "");
  EXPECT_EQ(mps_text(rich, dir), rich_mps);

  // A damaged or foreign file is refused and the problem stays as it is.
  std::string bytes = slurp(dir.path("rich_state.svf"));
  bytes[bytes.size() / 2] ^= 0x20;
  std::ofstream(dir.path("bad.svf"), std::ios::binary) << bytes;
  EXPECT_NE(KLVOrestore(prob, dir.path("bad").c_str(), ""), 0);
  EXPECT_NE(error().find("checksum"), std::string::npos) << error();
  std::ofstream(dir.path("short.svf"), std::ios::binary) << bytes.substr(0, 40);
  EXPECT_NE(KLVOrestore(prob, dir.path("short").c_str(), ""), 0);
  EXPECT_NE(KLVOrestore(prob, dir.path("rich.mps").c_str(), ""), 0);
  EXPECT_NE(KLVOrestore(prob, "no_such_snapshot", ""), 0);
  EXPECT_EQ(mps_text(prob, dir), mps);
  EXPECT_EQ(answers(prob).x.size(), 3u);

  // In memory: the bytes restore into another problem with every part, damaged bytes and a
  // refusing writer fail, and the problem stays as it is.
  auto keep = [](void *ctx, const char *data, size_t size) {
    static_cast<std::string *>(ctx)->assign(data, size);
    return 0;
  };
  std::string mem;
  ASSERT_EQ(KLVOsavetomemory(rich, keep, &mem), 0) << error(rich);
  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOrestorefrommemory(copy, mem.data(), mem.size(), ""), 0) << error(copy);
  EXPECT_EQ(diff(snapshot(copy), before), "");
  mem[mem.size() / 3] ^= 0x01;
  EXPECT_NE(KLVOrestorefrommemory(prob, mem.data(), mem.size(), ""), 0);
  EXPECT_NE(error().find("checksum"), std::string::npos) << error();
  EXPECT_NE(KLVOrestorefrommemory(prob, mem.data(), 12, ""), 0);
  EXPECT_NE(KLVOsavetomemory(prob, [](void *, const char *, size_t) { return 1; }, nullptr), 0);
  EXPECT_EQ(mps_text(prob, dir), mps);
}

TEST_F(ProblemTest, SuppressedMessageCodesAreNotDeliveredAndTheLogFileGetsTheRest) {
  TempDir dir;
  load(prob, production());
  int col = 0;
  ASSERT_EQ(KLVOloadbranchdirs(prob, 1, &col, nullptr), 0);
  std::vector<std::string> got;
  ASSERT_EQ(KLVOaddcbmessage(prob, keep_lines, &got, 0), 0);
  const std::string log = dir.path("solve.log");
  ASSERT_EQ(KLVOsetlogfile(prob, log.c_str()), 0);

  // The engine's log off: only the notice about the directives arrives.
  ASSERT_EQ(KLVOsetmessagestatus(prob, KLVO_MSGCODE_SOLVER, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_NE(got[0].find("branching directives are kept but not used"), std::string::npos) << got[0];

  // The notice off and the log on: the engine's lines, no notice.
  got.clear();
  ASSERT_EQ(KLVOsetmessagestatus(prob, KLVO_MSGCODE_UNUSED, 0), 0);
  ASSERT_EQ(KLVOsetmessagestatus(prob, KLVO_MSGCODE_SOLVER, 1), 0);
  int status = -1;
  ASSERT_EQ(KLVOgetmessagestatus(prob, KLVO_MSGCODE_UNUSED, &status), 0);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  EXPECT_TRUE(any_contains(got, "Model status")) << got.size();
  EXPECT_FALSE(any_contains(got, "kept but not used"));
  const std::vector<std::string> second = got;

  // Controls away from their defaults, and nothing once they are back.
  got.clear();
  ASSERT_EQ(KLVOsetintcontrol(prob, KLVO_CONTROL_LPITERLIMIT, 77), 0);
  ASSERT_EQ(KLVOdumpcontrols(prob), 0);
  EXPECT_EQ(got, std::vector<std::string>{"lpiterlimit = 77"});
  got.clear();
  ASSERT_EQ(KLVOsetdefaultcontrol(prob, KLVO_CONTROL_LPITERLIMIT), 0);
  ASSERT_EQ(KLVOdumpcontrols(prob), 0);
  EXPECT_TRUE(got.empty());

  // The log holds every line the callback received, in order, and nothing after it stopped.
  ASSERT_EQ(KLVOsetlogfile(prob, nullptr), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  std::string expected = "The problem's branching directives are kept but not used by this solve: they take effect "
                         "only in the library's own branch-and-bound search\n";
  for (const auto &line : second) expected += line + "\n";
  expected += "lpiterlimit = 77\n";
  EXPECT_EQ(slurp(log), expected);

  EXPECT_NE(KLVOsetmessagestatus(prob, 0, 0), 0);
  EXPECT_NE(KLVOsetmessagestatus(prob, 3, 2), 0);
  EXPECT_NE(KLVOsetlogfile(prob, dir.path("no/such/dir/x.log").c_str()), 0);
}

TEST_F(ProblemTest, DirectivesAndRowMarksSurviveFilesDeletionsAndCopies) {
  TempDir dir;
  load(prob, production());
  ASSERT_EQ(KLVOaddnames(prob, 2, "x\0\0x", 0, 2), 0);  // an unnamed column and a repeated name
  int cols[] = {2, 0, 1}, pri[] = {0, 1000, 17};
  char updown[] = "dUN";
  double up[] = {0.1, 3, 1.0 / 7}, down[] = {0, 2.5e-300, 9};
  ASSERT_EQ(KLVOloaddirs(prob, 3, cols, pri, updown, up, down), 0);
  const Dirs loaded = dirs(prob);
  EXPECT_EQ(loaded.col, std::vector<int>({0, 1, 2}));
  EXPECT_EQ(loaded.dir, "UND");
  EXPECT_EQ(loaded.up, std::vector<double>({3, 1.0 / 7, 0.1}));

  // Through a file and back, every double exactly.
  ASSERT_EQ(KLVOwritedirs(prob, dir.path("d").c_str()), 0);
  ASSERT_EQ(KLVOloaddirs(prob, 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(KLVOreaddirs(prob, dir.path("d").c_str()), 0) << error();
  EXPECT_TRUE(dirs(prob) == loaded);
  // A bad line names itself and changes nothing.
  std::ofstream(dir.path("bad.dir")) << "* header\nx 5 U 1 1\nnobody 1 U 0 0\n";
  EXPECT_NE(KLVOreaddirs(prob, dir.path("bad.dir").c_str()), 0);
  EXPECT_NE(error().find("line 3: unknown column 'nobody'"), std::string::npos) << error();
  std::ofstream(dir.path("bad.dir")) << "x 5 sideways 1 1\n";
  EXPECT_NE(KLVOreaddirs(prob, dir.path("bad.dir").c_str()), 0);
  EXPECT_TRUE(dirs(prob) == loaded);
  int neg = -1;
  EXPECT_NE(KLVOloaddirs(prob, 1, cols, &neg, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(dirs(prob) == loaded);

  // Row marks: written to MPS and read back.
  int delayed[] = {3, 0}, cut = 2, srow = 1, scol = 2;
  ASSERT_EQ(KLVOloaddelayedrows(prob, 2, delayed), 0);
  ASSERT_EQ(KLVOloadmodelcuts(prob, 1, &cut), 0);
  EXPECT_NE(KLVOloadmodelcuts(prob, 1, &delayed[0]), 0);  // already delayed
  ASSERT_EQ(KLVOloadsecurevecs(prob, 1, 1, &srow, &scol), 0);
  KLVOprob read = fresh();
  ASSERT_EQ(KLVOwriteprob(prob, dir.path("m.mps").c_str(), ""), 0);
  ASSERT_EQ(KLVOreadprob(read, dir.path("m.mps").c_str(), ""), 0) << error(read);
  EXPECT_EQ(marks(read, KLVOgetdelayedrows), std::vector<int>({0, 3}));
  EXPECT_EQ(marks(read, KLVOgetmodelcuts), std::vector<int>{2});
  int nr = 0, nc = 0, r = -1, c = -1;
  ASSERT_EQ(KLVOgetsecurevecs(read, &nr, &r, &nc, &c), 0);
  EXPECT_EQ(std::make_tuple(nr, r, nc, c), std::make_tuple(1, 1, 1, 2));

  // Deleting column 1 and row 0 shifts what follows and drops what they held.
  int one = 1, zero = 0;
  ASSERT_EQ(KLVOdelcols(prob, 1, &one), 0);
  ASSERT_EQ(KLVOdelrows(prob, 1, &zero), 0);
  Dirs after = dirs(prob);
  EXPECT_EQ(after.col, std::vector<int>({0, 1}));
  EXPECT_EQ(after.dir, "UD");
  EXPECT_EQ(after.pri, std::vector<int>({1000, 0}));
  EXPECT_EQ(marks(prob, KLVOgetdelayedrows), std::vector<int>{2});
  EXPECT_EQ(marks(prob, KLVOgetmodelcuts), std::vector<int>{1});
  ASSERT_EQ(KLVOgetsecurevecs(prob, &nr, &r, &nc, &c), 0);
  EXPECT_EQ(std::make_tuple(nr, r, nc, c), std::make_tuple(1, 0, 1, 1));

  // A copy carries them.
  KLVOprob copy = fresh();
  ASSERT_EQ(KLVOcopyprob(copy, prob, "copy"), 0);
  EXPECT_TRUE(dirs(copy) == after);
  EXPECT_EQ(marks(copy, KLVOgetdelayedrows), std::vector<int>{2});
}

TEST_F(ProblemTest, UserScalingChangesWhatTheEngineSeesButNotTheAnswers) {
  load(prob, production());
  std::vector<std::string> log;
  ASSERT_EQ(KLVOaddcbmessage(prob, keep_lines, &log, 0), 0);
  ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
  expect_lp_optimal(prob);
  const Answers plain = answers(prob);
  EXPECT_EQ(plain.x, std::vector<double>({2, 6, 1}));
  // HiGHS reports the range of the matrix it was given.
  const std::regex range(R"(Matrix\s+\[([0-9.e+-]+), ([0-9.e+-]+)\])");
  auto matrix_range = [&] {
    std::smatch m;
    for (const auto &line : log)
      if (std::regex_search(line, m, range)) return m[1].str() + " " + m[2].str();
    return std::string("none");
  };
  EXPECT_EQ(matrix_range(), "1e+00 3e+00");

  struct Case {
    std::vector<double> rows, cols;
    const char *range;
  };
  const Case cases[] = {
      {{1024, 1, 1, 1}, {1, 1, 1}, "1e+00 1e+03"},
      {{0.5, 0.25, 2, 8}, {4, 0.125, 2}, "6e-02 3e+01"},
      {{3.7, 1e-3, 123.456, 0.77}, {1 / 3.0, 2.5e4, 7}, "3e-01 6e+06"},
  };
  for (const Case &k : cases) {
    log.clear();
    ASSERT_EQ(KLVOscale(prob, k.rows.data(), k.cols.data()), 0);
    ASSERT_EQ(solve(prob), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_EQ(matrix_range(), k.range);
    expect_lp_optimal(prob);
    const Answers s = answers(prob);
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_NEAR(s.x[j], plain.x[j], 1e-7 * (1 + std::fabs(plain.x[j])));
      EXPECT_NEAR(s.djs[j], plain.djs[j], 1e-7 * (1 + std::fabs(plain.djs[j])));
    }
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_NEAR(s.duals[i], plain.duals[i], 1e-7 * (1 + std::fabs(plain.duals[i])));
      EXPECT_NEAR(s.slack[i], plain.slack[i], 1e-7 * (1 + std::fabs(plain.slack[i])));
    }
    EXPECT_NEAR(dbl_attr(prob, KLVO_ATTR_LPOBJVAL), 35, 1e-7);
  }
  // Factors follow deletions; bad factors are refused and the old ones kept.
  int first = 0;
  ASSERT_EQ(KLVOdelrows(prob, 1, &first), 0);
  std::vector<double> rs(3), cs(3);
  ASSERT_EQ(KLVOgetscale(prob, rs.data(), cs.data()), 0);
  EXPECT_EQ(rs, std::vector<double>({1e-3, 123.456, 0.77}));
  double bad[] = {1, -2, 1};
  EXPECT_NE(KLVOscale(prob, bad, nullptr), 0);
  ASSERT_EQ(KLVOgetscale(prob, rs.data(), cs.data()), 0);
  EXPECT_EQ(rs, std::vector<double>({1e-3, 123.456, 0.77}));
}
