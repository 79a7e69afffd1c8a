// Problem files: reading the published instances, MPS and LP round trips of every part of a
// model, other writers' spellings, and failures that must keep the previous model.
#include <sys/stat.h>

#include "test_support.h"

using namespace klvo_test;

namespace {

// A file in a private temporary directory, removed at the end of the test.
class TempFile : TempDir {
 public:
  explicit TempFile(const std::string &name, const std::string &text = "") : path_(TempDir::path(name)) {
    if (!text.empty()) std::ofstream(path_) << text;
  }
  const char *path() const { return path_.c_str(); }
  std::string contents() const { return slurp(path_); }

 private:
  std::string path_;
};

int count_entities(KLVOprob prob, char type) {
  int n = 0;
  EXPECT_EQ(KLVOgetmipentities64(prob, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  std::vector<char> types(n);
  EXPECT_EQ(KLVOgetmipentities64(prob, nullptr, nullptr, types.data(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr),
            0);
  return static_cast<int>(std::count(types.begin(), types.end(), type));
}

void collect_warning(KLVOprob, void *data, const char *msg, int len, int type) {
  if (type == KLVO_MSG_WARNING) static_cast<std::vector<std::string> *>(data)->emplace_back(msg, len);
}

// Writes the model to a file of this name, reads it into a new problem and expects the same
// model back.
void expect_round_trip(KLVOprob prob, const char *name, const char *flags = "") {
  Snapshot original = snapshot(prob);
  TempFile file(name);
  ASSERT_EQ(KLVOwriteprob(prob, file.path(), flags), 0) << last_error(prob);
  KLVOprob back = nullptr;
  ASSERT_EQ(KLVOcreateprob(&back), 0);
  EXPECT_EQ(KLVOreadprob(back, file.path(), ""), 0) << name << ": " << last_error(back) << "\n" << file.contents();
  Snapshot again = snapshot(back);
  EXPECT_EQ(KLVOdestroyprob(back), 0);
  EXPECT_TRUE(original == again) << name << " '" << flags << "': " << diff(original, again) << "\n" << file.contents();
}

// A model with every part a file can hold: ranges of every row type, a free row, bounds of
// every kind, all column types, objective constant and sense, both quadratic parts, sets and
// names (some left to their defaults). `partial` adds a partial-integer column.
void build_rich(KLVOprob prob, bool partial) {
  const char rowtype[] = {'L', 'G', 'E', 'R', 'N', 'L', 'G'};
  const double rhs[] = {4, -2, 3.5, 10, 0, 1e-7, 0};
  const double range[] = {0, 0, 0, 2.25, 0, 0, 0};
  const int ncols = 10;
  const double obj[] = {1, -2, 0, 0.1, 3, 0, 1e6, -0.5, 0, 2};
  const double lb[] = {0, -1e20, -1e20, 2, -5, 0, 0, 0, 0, 1};
  const double ub[] = {1e20, 1e20, 7, 2, -1, 1, 1e20, 9, 3, 20};
  // Column-wise entries; row 4 (free) has entries, row 6 has none.
  const int64_t start[] = {0, 3, 5, 7, 8, 10, 11, 12, 14, 15, 16};
  const int rowind[] = {0, 1, 4, 0, 2, 1, 3, 3, 0, 5, 2, 3, 1, 4, 5, 0};
  const double val[] = {1, 2, -1, 3.25, 1, -4, 1, 2, 0.3333333333333333, 1, 7, -1, 5, 1, 1e-3, 2};
  const int q1[] = {0, 0, 1};
  const int q2[] = {0, 1, 2};
  const double qv[] = {2, -1.5, 0.75};
  const int qrow[] = {0, 5};
  const int64_t nq[] = {2, 1};
  const int rq1[] = {0, 2, 1};
  const int rq2[] = {0, 3, 1};
  const double rqv[] = {1, 0.5, 3};
  ASSERT_EQ(KLVOloadqcqp64(prob, "rich", ncols, 7, rowtype, rhs, range, obj, start, nullptr, rowind, val, lb, ub, 3,
                           q1, q2, qv, 2, qrow, nq, rq1, rq2, rqv),
            0);
  const int cols[] = {5, 6, 7, 8, 9};
  const char types[] = {'B', 'I', 'S', 'R', 'C'};
  ASSERT_EQ(KLVOchgcoltype(prob, 5, cols, types), 0);
  const int limcols[] = {7, 8};
  const double lims[] = {2.5, 1};
  ASSERT_EQ(KLVOchgglblimit(prob, 2, limcols, lims), 0);
  const int b = 5;
  const char u = 'U';
  const double zero = 0;
  ASSERT_EQ(KLVOchgbounds(prob, 1, &b, &u, &zero), 0);  // a binary fixed at 0
  if (partial) {
    const int p = 9;
    const char t = 'P';
    const double lim = 4;
    ASSERT_EQ(KLVOchgcoltype(prob, 1, &p, &t), 0);
    ASSERT_EQ(KLVOchgglblimit(prob, 1, &p, &lim), 0);
  }
  const int objc[] = {-1};
  const double constant[] = {-12.5};
  ASSERT_EQ(KLVOchgobj(prob, 1, objc, constant), 0);
  ASSERT_EQ(KLVOchgobjsense(prob, -1), 0);
  const char settype[] = {'1', '2'};
  const int64_t setstart[] = {0, 3, 5};
  const int setcols[] = {0, 2, 4, 1, 3};
  const double ref[] = {1, 2, 3, 1.5, 2.5};
  ASSERT_EQ(KLVOaddsets64(prob, 2, 5, settype, setstart, setcols, ref), 0);
  ASSERT_EQ(KLVOaddnames(prob, 2, "x(0,1)\0y_2\0\0z.3\0w#4\0v\0n\0s1\0\0last", 0, 9), 0);
  ASSERT_EQ(KLVOaddnames(prob, 1, "cap\0\0bal\0rng\0free_rows\0tiny", 0, 5), 0);
  ASSERT_EQ(KLVOaddnames(prob, 3, "sosA", 0, 0), 0);
  if (partial) {  // indicators go with the partial-integer column
    const int rows[] = {0, 2};
    const int icols[] = {5, 6};
    const int comp[] = {1, -1};
    ASSERT_EQ(KLVOsetindicators(prob, 2, rows, icols, comp), 0);
  }
}

}  // namespace

// Their MPS and LP round trips are the fuzz test's unmutated seeds (test_io_fuzz.cpp).
TEST_F(ProblemTest, InstancesReadWithTheirPublishedSizesIntegersAndNames) {
  std::vector<Instance> all = instances();
  ASSERT_EQ(all.size(), 8u);
  // The integer counts stated in the MIP instances' headers.
  std::map<std::string, int> integers = {{"bell5", 58}, {"egout", 55}, {"flugpl", 11}, {"lseu", 89}};
  for (const Instance &inst : all) {
    SCOPED_TRACE(inst.file);
    ASSERT_EQ(KLVOreadprob(prob, data_file(inst.file).c_str(), ""), 0) << error();
    EXPECT_EQ(nrows(prob), inst.rows);
    EXPECT_EQ(ncols(prob), inst.cols);
    std::string name = inst.file.substr(0, inst.file.size() - 4);
    EXPECT_EQ(count_entities(prob, 'I'), integers.count(name) ? integers[name] : 0);
    char pname[64];
    ASSERT_EQ(KLVOgetprobname(prob, pname), 0);
    EXPECT_STRCASEEQ(pname, name.c_str());
  }
}

TEST_F(ProblemTest, RoundTripsKeepEveryPartOfTheModel) {
  build_rich(prob, false);
  expect_round_trip(prob, "rich.lp");
  KLVOprob mps = fresh();
  build_rich(mps, true);  // with the parts only MPS holds
  expect_round_trip(mps, "rich.mps");
  // Fixed format needs short names: rename the long one first.
  ASSERT_EQ(KLVOaddnames(mps, 1, "freerow", 4, 4), 0);
  expect_round_trip(mps, "rich.mps", "x");
}

TEST_F(ProblemTest, RepeatedNamesReadBackSuffixedAndTheWriterSaysSo) {
  build_rich(prob, false);
  // Columns 0, 3 and 6 share a name whose first suffixed form column 9 already carries.
  ASSERT_EQ(KLVOaddnames(prob, 2, "x(0,1)", 3, 3), 0);
  ASSERT_EQ(KLVOaddnames(prob, 2, "x(0,1)", 6, 6), 0);
  ASSERT_EQ(KLVOaddnames(prob, 2, "x(0,1)_2", 9, 9), 0);
  ASSERT_EQ(KLVOaddnames(prob, 1, "cap", 2, 2), 0);
  ASSERT_EQ(KLVOaddnames(prob, 3, "sosA", 1, 1), 0);
  Snapshot expected = snapshot(prob);
  expected.colnames[3] = "x(0,1)_3";
  expected.colnames[6] = "x(0,1)_4";
  expected.rownames[2] = "cap_2";
  expected.setnames[1] = "sosA_2";
  std::vector<std::string> warnings;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect_warning, &warnings, 0), 0);
  for (const char *name : {"dup.mps", "dup.lp"}) {
    SCOPED_TRACE(name);
    warnings.clear();
    TempFile file(name);
    ASSERT_EQ(KLVOwriteprob(prob, file.path(), ""), 0) << error();
    KLVOprob back = fresh();
    ASSERT_EQ(KLVOreadprob(back, file.path(), ""), 0) << last_error(back) << "\n" << file.contents();
    Snapshot again = snapshot(back);
    again.name = expected.name;  // an LP file is named by its comment
    EXPECT_TRUE(expected == again) << diff(expected, again) << "\n" << file.contents();
    ASSERT_EQ(warnings.size(), 3u);  // one for each kind
    EXPECT_NE(warnings[1].find("KLVOwriteprob: 2 columns repeat"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[1].find("'x(0,1)_3'"), std::string::npos) << warnings[1];
  }
}

TEST_F(ProblemTest, MpsSpellingsOfOtherWritersAreUnderstood) {
  TempFile file("other.mps",
                "* comment line\n"
                "NAME          other\n"
                "OBJSENSE MAXIMIZE\n"
                "ROWS\n"
                " N  profit\n"
                " E  e1\n"
                " E  e2\n"
                " G  g1\n"
                " L  l1\n"
                "COLUMNS\n"
                "    x  profit  1  e1  1\n"
                "    x  e2  1\n"
                "    y  g1  2  l1  3\n"
                "    z  profit  -1\n"
                "RHS\n"
                "    e1  5  e2  5\n"         // no set name
                "    rhs  g1  1  profit  4\n" // objective entry: constant -4
                "RANGES\n"
                "    rng  e1  3  e2  -3\n"
                "    rng  g1  2\n"
                "BOUNDS\n"
                " UP BND x -2\n"           // lower bound left at 0: becomes -infinity
                " MI y\n"                  // no set name
                " UP y 8\n"
                " LI BND z 2\n"
                " UI BND z 9\n"
                "QMATRIX\n"
                "    x  y  3\n"
                "    y  x  3\n"
                "    z  z  4\n"
                "QSECTION l1\n"
                "    y  y  2\n"
                "ENDATA\n");
  std::vector<std::string> warnings;
  ASSERT_EQ(KLVOaddcbmessage(prob, collect_warning, &warnings, 0), 0);
  ASSERT_EQ(KLVOreadprob(prob, file.path(), ""), 0) << error();
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.name, "other");
  EXPECT_EQ(s.rowtype, "RRRL");
  // e1: [5, 8]; e2: [2, 5]; g1: [1, 3].
  EXPECT_EQ(s.rhs, (std::vector<double>{8, 5, 3, 0}));
  EXPECT_EQ(s.range, (std::vector<double>{3, 3, 2, 0}));
  EXPECT_EQ(s.lb, (std::vector<double>{-1e20, -1e20, 2}));
  EXPECT_EQ(s.ub, (std::vector<double>{-2, 8, 9}));
  EXPECT_EQ(s.coltype, "CCI");
  EXPECT_EQ(s.obj, (std::vector<double>{1, 0, -1}));
  std::map<std::pair<int, int>, double> q = {{{0, 1}, 3}, {{1, 0}, 3}, {{2, 2}, 4}};
  EXPECT_EQ(s.qobj, q);
  std::map<std::tuple<int, int, int>, double> qr = {{{3, 1, 1}, 2}};
  EXPECT_EQ(s.qrows, qr);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("negative upper bound of column 'x'"), std::string::npos) << warnings[0];
  EXPECT_EQ(s.sense, -1.0);
  EXPECT_EQ(s.constant, -4.0);  // the objective's rhs is minus its constant
}

TEST_F(ProblemTest, LpSpellingsOfOtherWritersAreUnderstood) {
  TempFile file("other.lp",
                "\\ a comment\n"
                "max: 2x + 3 y - z\n"
                "  + 4\n"
                "st\n"
                " x + y <= 4\n"
                " c2: 3 >= x - z >= -1\n"
                " c3: x + [ x * y + 2 z ^ 2 ] >= 1 \\ trailing comment\n"
                " 2 y + 0 x = 3\n"
                "bounds\n"
                " x >= -2\n"
                " y <= 10\n"
                " -inf <= z <= 5\n"
                "integers\n"
                " y\n"
                "semi-continuous\n"
                " x\n"
                "end\n");
  ASSERT_EQ(KLVOreadprob(prob, file.path(), ""), 0) << error();
  Snapshot s = snapshot(prob);
  EXPECT_EQ(s.name, "other");
  EXPECT_EQ(s.sense, -1.0);
  EXPECT_EQ(s.constant, 4.0);
  EXPECT_EQ(s.colnames, (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(s.rownames, (std::vector<std::string>{"R1", "c2", "c3", "R4"}));
  EXPECT_EQ(s.rowtype, "LRGE");
  EXPECT_EQ(s.rhs, (std::vector<double>{4, 3, 1, 3}));
  EXPECT_EQ(s.range, (std::vector<double>{0, 4, 0, 0}));
  EXPECT_EQ(s.obj, (std::vector<double>{2, 3, -1}));
  EXPECT_EQ(s.lb, (std::vector<double>{-2, 0, -1e20}));  // min(threshold, 0) for x
  EXPECT_EQ(s.ub, (std::vector<double>{1e20, 10, 5}));
  EXPECT_EQ(s.coltype, "SIC");
  EXPECT_EQ(s.limit, (std::map<int, double>{{0, -2.0}}));  // the lower bound is the threshold
  // x*y with coefficient 1 is P_xy = 0.5; 2 z^2 is P_zz = 2.
  std::map<std::tuple<int, int, int>, double> qr = {{{2, 0, 1}, 0.5}, {{2, 2, 2}, 2}};
  EXPECT_EQ(s.qrows, qr);
  EXPECT_EQ(s.matrix.count({3, 0}), 0u);  // the written zero is not stored
}

TEST_F(ProblemTest, NamesWithoutExtensionGetTheFormatsOwnAndReadBack) {
  build_rich(prob, false);
  TempFile lp("model.lp"), mps("model.mps");
  std::string base = std::string(lp.path()).substr(0, std::string(lp.path()).size() - 3);
  ASSERT_EQ(KLVOwriteprob(prob, base.c_str(), "l"), 0) << error();
  EXPECT_NE(lp.contents().find("Subject To"), std::string::npos);
  std::string mbase = std::string(mps.path()).substr(0, std::string(mps.path()).size() - 4);
  ASSERT_EQ(KLVOwriteprob(prob, mbase.c_str(), ""), 0) << error();
  EXPECT_NE(mps.contents().find("ENDATA"), std::string::npos);
  // Reading the bare name finds the MPS file; "l" reads the LP file explicitly.
  Snapshot original = snapshot(prob);
  ASSERT_EQ(load_empty(prob), 0);
  ASSERT_EQ(KLVOreadprob(prob, mbase.c_str(), ""), 0) << error();
  EXPECT_TRUE(original == snapshot(prob));
  ASSERT_EQ(KLVOreadprob(prob, lp.path(), "l"), 0) << error();
  EXPECT_TRUE(original == snapshot(prob));
}

// A directory is named as one, never written beside with an extension added; a message
// quoting a long path is cut on a whole UTF-8 character.
TEST_F(ProblemTest, DirectoriesAndLongPathsAreReportedAsSuch) {
  build_rich(prob, false);
  Snapshot before = snapshot(prob);
  // Without an extension and with one (a write goes to a file beside it first).
  TempDir tmp;
  for (const char *name : {"model", "model.lp"}) {
    const std::string dir = tmp.path(name);
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    EXPECT_EQ(KLVOwriteprob(prob, dir.c_str(), ""), KLVO_ERR_FILE);
    EXPECT_NE(error().find("KLVOwriteprob"), std::string::npos) << error();
    EXPECT_NE(error().find("it is a directory"), std::string::npos) << error();
    EXPECT_EQ(KLVOreadprob(prob, dir.c_str(), ""), KLVO_ERR_FILE);
    EXPECT_NE(error().find("it is a directory"), std::string::npos) << error();
  }
  EXPECT_EQ(tmp.entries(), (std::set<std::string>{"model", "model.lp"}));
  EXPECT_TRUE(before == snapshot(prob));
  for (std::string path : {"/", "/x"}) {
    for (int i = 0; i < 300; ++i) path += "\xc3\xa9";  // é
    EXPECT_EQ(KLVOreadprob(prob, path.c_str(), ""), KLVO_ERR_FILE);
    std::string text = error();
    ASSERT_GT(text.size(), 400u);
    EXPECT_NE(static_cast<unsigned char>(text.back()), 0xc3) << "cut inside a character";
  }
}

TEST_F(ProblemTest, FailedReadsKeepThePreviousModelAndSayWhere) {
  build_rich(prob, true);
  Snapshot before = snapshot(prob);
  struct Case {
    const char *name, *text, *message;
  };
  const Case cases[] = {
      {"bad.mps", "NAME x\nROWS\n N obj\n L r1\nCOLUMNS\n x r2 1\nENDATA\n", "line 6: unknown row 'r2'"},
      {"bad2.mps", "NAME x\nROWS\n N obj\n L r1\n Q r2\nENDATA\n", "line 5: invalid row type 'Q'"},
      {"bad3.mps", "NAME x\nROWS\n N obj\n L r1\nCOLUMNS\n x r1 one\nENDATA\n", "'one' is not a number"},
      {"bad4.mps", "NAME x\nROWS\n N obj\n L r1\n L r1\nENDATA\n", "row 'r1' is defined twice"},
      {"bad5.mps", "NAME x\nROWS\n N obj\n E r1\nCOLUMNS\n x r1 1\nBOUNDS\n BV B x\n UP B x 5\nENDATA\n",
       "binary column 'x' has bounds outside [0, 1]"},
      {"bad6.mps", "NAME x\nROWS\n N obj\n E r1\nCOLUMNS\n x r1 1\nQCMATRIX r1\n x y 1\nENDATA\n",
       "line 8: unknown column 'y'"},
      {"bad.lp", "minimize\n obj: x + y\nsubject to\n c1: x + y <=\nend\n", "expected a number"},
      {"bad2.lp", "minimize\n x\nsubject to\n c1: x + y <= 1\n c1: x >= 0\nend\n", "duplicate row name 'c1'"},
  };
  for (const Case &c : cases) {
    TempFile file(c.name, c.text);
    EXPECT_EQ(KLVOreadprob(prob, file.path(), ""), KLVO_ERR_FILE) << c.name;
    EXPECT_NE(error().find(c.message), std::string::npos) << c.name << ": " << error();
    Snapshot after = snapshot(prob);
    EXPECT_TRUE(before == after) << c.name << ": " << diff(before, after);
  }
  EXPECT_EQ(KLVOreadprob(prob, "/nonexistent/dir/model.mps", ""), KLVO_ERR_FILE);
  EXPECT_NE(error().find("no such file"), std::string::npos);
  EXPECT_TRUE(before == snapshot(prob));
}

// Every prefix of a valid file either reads or fails with a file error, and a failure keeps
// the model that was there.
TEST_F(ProblemTest, TruncatedFilesFailCleanly) {
  build_rich(prob, false);
  TempFile mps("whole.mps"), lp("whole.lp");
  ASSERT_EQ(KLVOwriteprob(prob, mps.path(), ""), 0);
  ASSERT_EQ(KLVOwriteprob(prob, lp.path(), ""), 0);
  Snapshot before = snapshot(prob);
  for (const TempFile *whole : {&mps, &lp}) {
    std::string text = whole->contents();
    int failures = 0;
    for (size_t cut = 0; cut < text.size(); cut += 7) {
      TempFile part(whole == &mps ? "part.mps" : "part.lp", text.substr(0, cut) + "\n");
      KLVOprob p = nullptr;
      ASSERT_EQ(KLVOcreateprob(&p), 0);
      ASSERT_EQ(KLVOcopyprob(p, prob, ""), 0);
      int rc = KLVOreadprob(p, part.path(), "");
      ASSERT_TRUE(rc == 0 || rc == KLVO_ERR_FILE) << "cut " << cut << ": " << rc << " " << last_error(p);
      if (rc != 0) {
        ++failures;
        Snapshot after = snapshot(p);
        EXPECT_TRUE(before == after) << "cut " << cut << ": " << diff(before, after);
      }
      EXPECT_EQ(KLVOdestroyprob(p), 0);
    }
    EXPECT_GT(failures, 0);
  }
}

TEST_F(ProblemTest, WritersRefuseWhatTheirFormatCannotHold) {
  build_rich(prob, true);
  TempFile lp("p.lp"), fixed("f.mps"), mps("m.mps");
  EXPECT_EQ(KLVOwriteprob(prob, lp.path(), ""), KLVO_ERR_FILE);
  EXPECT_NE(error().find("partial-integer"), std::string::npos);
  const int p = 9;
  const char c = 'C';
  ASSERT_EQ(KLVOchgcoltype(prob, 1, &p, &c), 0);
  expect_round_trip(prob, "ind.lp");  // indicators have an LP form
  EXPECT_EQ(KLVOwriteprob(prob, fixed.path(), "x"), KLVO_ERR_FILE);
  EXPECT_NE(error().find("'free_rows'"), std::string::npos) << error();
  ASSERT_EQ(KLVOaddnames(prob, 2, "has space", 0, 0), 0);
  EXPECT_EQ(KLVOwriteprob(prob, mps.path(), ""), KLVO_ERR_FILE);
  EXPECT_NE(error().find("white space"), std::string::npos);
}
