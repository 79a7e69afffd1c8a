// Fault injection: each call below is run again and again with its N-th allocation failing
// (N = 1, 2, ... until a run completes without reaching N), and each file write with its N-th
// step failing as on a full disk. Every failure must come back as an error code with a clear
// text, leave the model exactly as it was, let the same call succeed afterwards and leak nothing
// (the sanitizer build checks leaks at exit).
//
// The failures come from this executable alone: it replaces the global operator new and delete
// (the library, HiGHS and Ipopt all allocate through them) and the file calls open, write,
// close and rename, so the library carries no test hook. Only the thread that arms the
// injection sees failures: gtest's own work and engine worker threads run undisturbed.
//
// Solves make thousands of allocations; by default each solve is failed at its first 40 points
// and at 120 more spread evenly over the rest. KLVO_FAULTS_ALL=1 fails every point.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <functional>
#include <new>
#include <set>

#include "test_support.h"

// ---- The injector ----

namespace fault {

enum class Kind { none, alloc, io };

// Armed per thread: the thread under test counts its allocations (or file steps) and the
// fail_at-th one fails; later ones succeed, as memory freed by the unwinding would allow.
thread_local Kind armed = Kind::none;
thread_local long fail_at = 0, seen = 0;
thread_local bool hit = false;

inline bool next_fails(Kind k) {
  if (armed != k) return false;
  if (++seen != fail_at) return false;
  hit = true;
  return true;
}

void *allocate(std::size_t n, std::size_t align) noexcept {
  if (next_fails(Kind::alloc)) return nullptr;
  if (n == 0) n = 1;
  if (align <= alignof(std::max_align_t)) return std::malloc(n);
  void *p = nullptr;
  return posix_memalign(&p, align, n) == 0 ? p : nullptr;
}

void *allocate_or_throw(std::size_t n, std::size_t align) {
  void *p = allocate(n, align);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace fault

void *operator new(std::size_t n) { return fault::allocate_or_throw(n, 0); }
void *operator new[](std::size_t n) { return fault::allocate_or_throw(n, 0); }
void *operator new(std::size_t n, std::align_val_t a) { return fault::allocate_or_throw(n, std::size_t(a)); }
void *operator new[](std::size_t n, std::align_val_t a) { return fault::allocate_or_throw(n, std::size_t(a)); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return fault::allocate(n, 0); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return fault::allocate(n, 0); }
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {
  return fault::allocate(n, std::size_t(a));
}
void *operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {
  return fault::allocate(n, std::size_t(a));
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }

// File steps: creating a file, each write (cut to half its length while armed, so that a file
// takes several writes), closing it (where a delayed write error shows) and renaming it.
namespace fault {
template <class F>
F real(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace fault

extern "C" {

__attribute__((visibility("default"))) int open(const char *path, int flags, ...) {
  static auto next = fault::real<int (*)(const char *, int, ...)>("open");
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
    if (fault::next_fails(fault::Kind::io)) {
      errno = ENOSPC;
      return -1;
    }
  }
  return next(path, flags, mode);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void *buf, size_t n) {
  static auto next = fault::real<ssize_t (*)(int, const void *, size_t)>("write");
  if (fault::armed == fault::Kind::io) {
    if (fault::next_fails(fault::Kind::io)) {
      errno = ENOSPC;
      return -1;
    }
    if (n > 1) n = (n + 1) / 2;
  }
  return next(fd, buf, n);
}

__attribute__((visibility("default"))) int close(int fd) {
  static auto next = fault::real<int (*)(int)>("close");
  bool fails = fault::next_fails(fault::Kind::io);
  int rc = next(fd);  // the descriptor is released even when closing reports an error
  if (fails) {
    errno = ENOSPC;
    return -1;
  }
  return rc;
}

__attribute__((visibility("default"))) int rename(const char *from, const char *to) {
  static auto next = fault::real<int (*)(const char *, const char *)>("rename");
  if (fault::next_fails(fault::Kind::io)) {
    errno = ENOSPC;
    return -1;
  }
  return next(from, to);
}

}  // extern "C"

namespace {

using namespace klvo_test;

// Runs call with the given kind of step failing at fail_at (0: none fails); returns its code,
// the number of steps seen and whether the failing one was reached.
struct Run {
  int rc;
  long seen;
  bool hit;
};
Run armed_run(fault::Kind kind, long fail_at, const std::function<int()> &call) {
  fault::seen = 0;
  fault::hit = false;
  fault::fail_at = fail_at;
  fault::armed = kind;
  int rc = -1;
  try {
    rc = call();
  } catch (...) {
    fault::armed = fault::Kind::none;
    ADD_FAILURE() << "an exception crossed the C interface";
  }
  fault::armed = fault::Kind::none;
  return Run{rc, fault::seen, fault::hit};
}

bool every_point() {
  const char *all = std::getenv("KLVO_FAULTS_ALL");
  return all && *all && std::strcmp(all, "0") != 0;
}

// The points to fail out of `total`: all of them, or for long calls the first ones and an even
// spread over the rest.
std::vector<long> points_to_try(long total, bool spread) {
  std::vector<long> out;
  const long head = 40, rest = 120;
  if (!spread || every_point() || total <= head + rest) {
    for (long n = 1; n <= total; ++n) out.push_back(n);
    return out;
  }
  for (long n = 1; n <= head; ++n) out.push_back(n);
  for (long k = 1; k <= rest; ++k) out.push_back(head + (total - head) * k / rest);
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One problem (with its nonlinear layer when built with one) per attempt.
struct Fixture {
  KLVOprob prob = nullptr;
  KSLPprob slp = nullptr;
  KLVOprob other = nullptr;  // a second problem for copies
  TempDir dir;               // a folder of its own for files
  // Arguments a call needs, made before it runs: the test's own allocations must not count.
  std::string file;
  Ex formula;

  Fixture() {
    EXPECT_EQ(KLVOinit(nullptr), 0);
    EXPECT_EQ(KLVOcreateprob(&prob), 0);
    EXPECT_EQ(KLVOcreateprob(&other), 0);
#ifdef KLVO_HAVE_IPOPT
    EXPECT_EQ(KSLPinit(), 0);
    EXPECT_EQ(KSLPcreateprob(&slp, &prob), 0);
#endif
  }
  ~Fixture() {
#ifdef KLVO_HAVE_IPOPT
    EXPECT_EQ(KSLPdestroyprob(slp), 0);
    EXPECT_EQ(KSLPfree(), 0);
#endif
    EXPECT_EQ(KLVOdestroyprob(other), 0);
    EXPECT_EQ(KLVOdestroyprob(prob), 0);
    EXPECT_EQ(KLVOfree(), 0);
  }
  std::string error() const { return last_error(prob); }
  std::string layer_error() const {
    char text[512] = "";
    int code = 0;
    if (slp) KSLPgetlasterror(slp, &code, text);
    return text;
  }
  std::string path(const char *name) const { return dir.path(name); }
};

// Everything the calls below can change, read back through the C interface: the model, the
// extra objectives and, with the nonlinear layer, its formulas.
struct State {
  Snapshot model;
  std::vector<std::vector<double>> objn;
  std::vector<std::string> formulas;
  bool operator==(const State &o) const { return model == o.model && objn == o.objn && formulas == o.formulas; }
  std::string diff(const State &o) const {
    std::string d = klvo_test::diff(model, o.model);
    if (objn != o.objn) d += "objectives ";
    if (formulas != o.formulas) d += "formulas ";
    return d;
  }
};

State state_of(const Fixture &f) {
  State s;
  s.model = snapshot(f.prob);
  int nobj = int_attr(f.prob, KLVO_ATTR_OBJECTIVES), n = s.model.ncols;
  for (int k = 1; k < nobj && n > 0; ++k) {
    std::vector<double> c(n);
    EXPECT_EQ(KLVOgetobjn(f.prob, k, c.data(), 0, n - 1), 0);
    s.objn.push_back(c);
  }
#ifdef KLVO_HAVE_IPOPT
  int ncoef = 0;
  EXPECT_EQ(KSLPgetcoefs(f.slp, &ncoef, nullptr, nullptr), 0);
  std::vector<int> rows(ncoef), cols(ncoef);
  EXPECT_EQ(KSLPgetcoefs(f.slp, &ncoef, rows.data(), cols.data()), 0);
  for (int k = 0; k < ncoef; ++k) {
    double factor = 0;
    int ntok = 0;
    EXPECT_EQ(KSLPgetcoefformula(f.slp, rows[k], cols[k], &factor, 1, 0, &ntok, nullptr, nullptr), 0);
    std::vector<int> type(ntok);
    std::vector<double> value(ntok);
    EXPECT_EQ(KSLPgetcoefformula(f.slp, rows[k], cols[k], &factor, 1, ntok, &ntok, type.data(), value.data()), 0);
    std::string text = std::to_string(rows[k]) + "," + std::to_string(cols[k]) + ":" + std::to_string(factor);
    for (int t = 0; t < ntok; ++t) text += " " + std::to_string(type[t]) + "/" + std::to_string(value[t]);
    s.formulas.push_back(text);
  }
#endif
  return s;
}

// ---- Models ----

// min -x0 - 2 x1 - 3 x2 (x0, x1, x2 in [0, 4]) s.t. x0 + x1 + x2 <= 6 (cap), x1 - x2 >= -2
// (link), x0 + x2 = 3 (pair), with names, an extra objective, a set, an indicator and a
// quadratic objective term: a model with every part the edits below touch.
void lp_model(KLVOprob p);
void rich_model(Fixture &f) {
  KLVOprob p = f.prob;
  lp_model(p);
  ASSERT_EQ(KLVOsetprobname(p, "rich"), 0);
  ASSERT_EQ(KLVOaddnames(p, 1, "cap\0link\0pair", 0, 2), 0);
  ASSERT_EQ(KLVOaddnames(p, 2, "x0\0x1\0x2", 0, 2), 0);
  int q1[1] = {0};
  double qv[1] = {0.5};
  ASSERT_EQ(KLVOchgmqobj64(p, 1, q1, q1, qv), 0);
  int cols[2] = {1, 2};
  double extra[2] = {1, 1};
  ASSERT_EQ(KLVOaddobj(p, 2, cols, extra, 1, 1.0), 0);
  int sstart[2] = {0, 2};
  double weights[2] = {1, 2};
  ASSERT_EQ(KLVOaddsets(p, 1, 2, "1", sstart, cols, weights), 0);
  int row = 0, ind = 1;
  ASSERT_EQ(KLVOsetindicators(p, 1, &row, &ind, nullptr), 0);
  ASSERT_EQ(KLVOaddnames(p, 3, "s0", 0, 0), 0);
}

// The linear part of the model above. By hand: x0 = 3 - x2 turns the objective into
// -3 - 2 x1 - 2 x2 and the cap into x1 <= 3; x2 <= 3 keeps x0 >= 0, and x1 = x2 = 3 meets the
// link, so the optimum is -15 at (0, 3, 3).
void lp_model(KLVOprob p) {
  char types[3] = {'L', 'G', 'E'};
  double rhs[3] = {6, -2, 3}, obj[3] = {-1, -2, -3}, lb[3] = {0, 0, 0}, ub[3] = {4, 4, 4};
  int start[4] = {0, 2, 4, 7}, rowind[7] = {0, 2, 0, 1, 0, 1, 2};
  double coef[7] = {1, 1, 1, 1, 1, -1, 1};
  ASSERT_EQ(KLVOloadlp(p, "lp", 3, 3, types, rhs, nullptr, obj, start, nullptr, rowind, coef, lb, ub), 0);
}
constexpr double kLpOptimum = -15;

// A knapsack in binaries: max 10a + 13b + 7c + 8d s.t. 4a + 6b + 3c + 5d <= 10. Its optimum
// comes from trying all 16 choices (milp_optimum).
void milp_model(Fixture &f) {
  char type = 'L';
  double rhs = 10, obj[4] = {10, 13, 7, 8}, lb[4] = {0, 0, 0, 0}, ub[4] = {1, 1, 1, 1};
  int start[5] = {0, 1, 2, 3, 4}, rowind[4] = {0, 0, 0, 0};
  double coef[4] = {4, 6, 3, 5};
  ASSERT_EQ(KLVOloadlp(f.prob, "milp", 4, 1, &type, &rhs, nullptr, obj, start, nullptr, rowind, coef, lb, ub), 0);
  int cols[4] = {0, 1, 2, 3};
  ASSERT_EQ(KLVOchgcoltype(f.prob, 4, cols, "BBBB"), 0);
  ASSERT_EQ(KLVOchgobjsense(f.prob, -1), 0);
}
double milp_optimum() {
  double w[4] = {4, 6, 3, 5}, v[4] = {10, 13, 7, 8}, best = 0;
  for (int s = 0; s < 16; ++s) {
    double tw = 0, tv = 0;
    for (int j = 0; j < 4; ++j)
      if (s >> j & 1) tw += w[j], tv += v[j];
    if (tw <= 10) best = std::max(best, tv);
  }
  return best;
}

// min 1/2 (x^2 + y^2) - x - 2y s.t. x + y <= 1: optimum at (0, 1), value -1.5.
void qp_model(Fixture &f) {
  char type = 'L';
  double rhs = 1, obj[2] = {-1, -2}, lb[2] = {-kInf, -kInf}, ub[2] = {kInf, kInf};
  int start[3] = {0, 1, 2}, rowind[2] = {0, 0};
  double coef[2] = {1, 1};
  ASSERT_EQ(KLVOloadlp(f.prob, "qp", 2, 1, &type, &rhs, nullptr, obj, start, nullptr, rowind, coef, lb, ub), 0);
  int c[2] = {0, 1};
  double q[2] = {1, 1};
  ASSERT_EQ(KLVOchgmqobj64(f.prob, 2, c, c, q), 0);
}
constexpr double kQpOptimum = -1.5;

double objective(KLVOprob p) { return dbl_attr(p, KLVO_ATTR_OBJVAL); }

// ---- The sweeps ----

int failures() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

struct Case {
  const char *name;
  const char *fn;  // the entry point the error text must name
  std::function<void(Fixture &)> setup;
  std::function<int(Fixture &)> call;
  std::function<void(Fixture &)> check;  // the call's effect, after it succeeded
  bool engine = false;                   // a solve: engines may report failures of their own
};

// Fails each allocation point of the call in turn; returns the number of points.
long sweep_allocations(const Case &c) {
  long total;
  {
    Fixture f;
    c.setup(f);
    Run r = armed_run(fault::Kind::alloc, 0, [&] { return c.call(f); });
    EXPECT_EQ(r.rc, 0) << c.name << ": " << f.error();
    c.check(f);
    total = r.seen;
  }
  const int failed = failures();
  for (long n : points_to_try(total, c.engine)) {
    SCOPED_TRACE(std::string(c.name) + ", allocation " + std::to_string(n) + " of " + std::to_string(total));
    Fixture f;
    c.setup(f);
    State before = state_of(f);
    Run r = armed_run(fault::Kind::alloc, n, [&] { return c.call(f); });
    if (!r.hit) {
      // Fewer allocations than counted (a solve's path may vary): the call must have succeeded.
      EXPECT_EQ(r.rc, 0) << f.error();
      c.check(f);
      continue;
    }
    if (r.rc != 0) {
      std::string text = std::strncmp(c.fn, "KSLP", 4) == 0 ? f.layer_error() : f.error();
      if (r.rc == KLVO_ERR_OUT_OF_MEMORY) {
        EXPECT_NE(text.find("Out of memory"), std::string::npos) << text;
        EXPECT_NE(text.find(c.fn), std::string::npos) << text;
      } else {
        // An engine may turn a failed allocation into a failure of its own; it is reported.
        EXPECT_TRUE(c.engine) << "code " << r.rc << ": " << text;
        EXPECT_EQ(r.rc, KLVO_ERR_ENGINE) << text;
        EXPECT_FALSE(text.empty());
      }
      State after = state_of(f);
      EXPECT_TRUE(after == before) << "changed: " << after.diff(before);
      if (c.engine) EXPECT_NE(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL) << "a failed solve";
      // The same call on the same problem now works.
      EXPECT_EQ(c.call(f), 0) << f.error();
    }
    c.check(f);
    if (failures() > failed) break;  // one report per case is enough
  }
  return total;
}

// Fails each step of writing a file in turn, over an earlier file and where there was none.
long sweep_writes(const Case &c) {
  long total = 0;
  const int failed = failures();
  for (bool earlier : {true, false}) {
    Fixture f;
    c.setup(f);
    const std::string path = f.file;
    if (earlier) {
      EXPECT_EQ(KLVOwriteprob(f.prob, path.c_str(), ""), 0) << f.error();
      int j = 0;
      double v = 99;
      EXPECT_EQ(KLVOchgobj(f.prob, 1, &j, &v), 0);  // the next write differs
    }
    const std::string old = read_file(path);
    const std::set<std::string> files = f.dir.entries();
    Run r = armed_run(fault::Kind::io, 0, [&] { return c.call(f); });
    EXPECT_EQ(r.rc, 0) << f.error();
    const std::string fresh = read_file(path);
    EXPECT_NE(fresh, old);
    total = r.seen;
    for (long n = 1; n <= total; ++n) {
      SCOPED_TRACE(std::string(c.name) + (earlier ? " over a file" : " to a new file") + ", step " +
                   std::to_string(n) + " of " + std::to_string(total));
      if (earlier) {  // the earlier file as it was
        std::ofstream(path, std::ios::binary | std::ios::trunc) << old;
      } else {
        ::unlink(path.c_str());
      }
      r = armed_run(fault::Kind::io, n, [&] { return c.call(f); });
      EXPECT_TRUE(r.hit);
      EXPECT_EQ(r.rc, KLVO_ERR_FILE);
      std::string text = f.error();
      EXPECT_NE(text.find(c.fn), std::string::npos) << text;
      EXPECT_NE(text.find(std::strerror(ENOSPC)), std::string::npos) << text;
      EXPECT_NE(text.find(earlier ? "the earlier file is unchanged" : "no file was written"), std::string::npos)
          << text;
      EXPECT_EQ(read_file(path), old);
      EXPECT_EQ(f.dir.entries(), files) << "a partial file was left behind";
      if (failures() > failed) return total;
    }
    EXPECT_EQ(c.call(f), 0) << f.error();
    EXPECT_EQ(read_file(path), fresh);
  }
  return total;
}

void report(const char *what, const char *name, long points) {
  std::printf("[  faults  ] %-28s %-5s points: %ld%s\n", name, what, points,
              every_point() ? " (all tried)" : "");
}

// ---- The calls ----

int add_cols(Fixture &f) {
  double obj[2] = {4, 5}, lb[2] = {0, -1}, ub[2] = {9, 9};
  int start[2] = {0, 2}, rows[3] = {0, 2, 1};
  double coef[3] = {1.5, -2, 3};
  return KLVOaddcols(f.prob, 2, 3, obj, start, rows, coef, lb, ub);
}

int add_rows(Fixture &f) {
  char types[2] = {'L', 'R'};
  double rhs[2] = {7, 8}, range[2] = {0, 3};
  int start[2] = {0, 2}, cols[4] = {0, 2, 1, 2};
  double coef[4] = {1, 2, 3, 4};
  return KLVOaddrows(f.prob, 2, 4, types, rhs, range, start, cols, coef);
}

std::vector<Case> build_cases() {
  std::vector<Case> cases;
  cases.push_back({"loadlp over a model", "KLVOloadlp", rich_model, [](Fixture &f) {
                     char types[2] = {'G', 'N'};
                     double rhs[2] = {1, 0}, obj[2] = {1, 1};
                     int start[3] = {0, 2, 3}, rows[3] = {0, 1, 0};
                     double coef[3] = {1, 1, 1};
                     return KLVOloadlp(f.prob, "new", 2, 2, types, rhs, nullptr, obj, start, nullptr, rows, coef,
                                       nullptr, nullptr);
                   },
                   [](Fixture &f) {
                     EXPECT_EQ(ncols(f.prob), 2);
                     EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SETS), 0);
                   }});
  cases.push_back({"addcols", "KLVOaddcols", rich_model, add_cols, [](Fixture &f) {
                     Snapshot s = snapshot(f.prob);
                     EXPECT_EQ(s.ncols, 5);
                     EXPECT_EQ((s.matrix[{1, 4}]), 3);
                     EXPECT_EQ(s.colnames.size(), 5u);
                   }});
  cases.push_back({"addrows", "KLVOaddrows", rich_model, add_rows, [](Fixture &f) {
                     Snapshot s = snapshot(f.prob);
                     EXPECT_EQ(s.nrows, 5);
                     EXPECT_EQ((s.matrix[{4, 2}]), 4);
                     EXPECT_EQ(s.indcol.size(), 5u);
                   }});
  cases.push_back({"addqmatrix", "KLVOaddqmatrix64", rich_model, [](Fixture &f) {
                     int c1[2] = {0, 1}, c2[2] = {0, 2};
                     double v[2] = {1, 2};
                     return KLVOaddqmatrix64(f.prob, 1, 2, c1, c2, v);
                   },
                   [](Fixture &f) { EXPECT_EQ((snapshot(f.prob).qrows[{1, 1, 2}]), 2); }});
  cases.push_back({"chgmqobj", "KLVOchgmqobj64", rich_model, [](Fixture &f) {
                     int c1[2] = {1, 0}, c2[2] = {2, 0};
                     double v[2] = {0.25, 0};
                     return KLVOchgmqobj64(f.prob, 2, c1, c2, v);
                   },
                   [](Fixture &f) {
                     Snapshot s = snapshot(f.prob);
                     EXPECT_EQ((s.qobj[{2, 1}]), 0.25);
                     EXPECT_EQ(s.qobj.count({0, 0}), 0u);
                   }});
  cases.push_back({"addnames", "KLVOaddnames", rich_model,
                   [](Fixture &f) { return KLVOaddnames(f.prob, 2, "x2\0y\0x0", 0, 2); },
                   [](Fixture &f) {
                     int j = -1;
                     EXPECT_EQ(KLVOgetindex(f.prob, 2, "x0", &j), 0);
                     EXPECT_EQ(j, 2);
                   }});
  cases.push_back({"addsets", "KLVOaddsets", rich_model, [](Fixture &f) {
                     int start[2] = {0, 3}, cols[3] = {0, 1, 2};
                     return KLVOaddsets(f.prob, 1, 3, "2", start, cols, nullptr);
                   },
                   [](Fixture &f) { EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SETS), 2); }});
  cases.push_back({"delsets", "KLVOdelsets", rich_model, [](Fixture &f) {
                     int k = 0;
                     return KLVOdelsets(f.prob, 1, &k);
                   },
                   [](Fixture &f) { EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SETS), 0); }});
  cases.push_back({"setindicators", "KLVOsetindicators", rich_model, [](Fixture &f) {
                     int rows[2] = {1, 2}, cols[2] = {0, 0}, comp[2] = {-1, 1};
                     return KLVOsetindicators(f.prob, 2, rows, cols, comp);
                   },
                   [](Fixture &f) { EXPECT_EQ(snapshot(f.prob).indcomp[1], -1); }});
  cases.push_back({"chgbounds", "KLVOchgbounds", rich_model, [](Fixture &f) {
                     int cols[2] = {0, 2};
                     double v[2] = {1, 2};
                     return KLVOchgbounds(f.prob, 2, cols, "LU", v);
                   },
                   [](Fixture &f) { EXPECT_EQ(snapshot(f.prob).ub[2], 2); }});
  cases.push_back({"chgmcoef", "KLVOchgmcoef", rich_model, [](Fixture &f) {
                     int rows[3] = {1, 0, 2}, cols[3] = {0, 1, 1};
                     double v[3] = {7, 0, 8};
                     return KLVOchgmcoef(f.prob, 3, rows, cols, v);
                   },
                   [](Fixture &f) {
                     Snapshot s = snapshot(f.prob);
                     EXPECT_EQ((s.matrix[{2, 1}]), 8);
                     EXPECT_EQ(s.matrix.count({0, 1}), 0u);
                   }});
  cases.push_back({"chgcoltype", "KLVOchgcoltype", rich_model, [](Fixture &f) {
                     int cols[2] = {0, 1};
                     return KLVOchgcoltype(f.prob, 2, cols, "IS");
                   },
                   [](Fixture &f) { EXPECT_EQ(snapshot(f.prob).coltype, "ISC"); }});
  cases.push_back({"chgobjn", "KLVOchgobjn", rich_model, [](Fixture &f) {
                     int cols[1] = {0};
                     double v[1] = {6};
                     return KLVOchgobjn(f.prob, 2, 1, cols, v);
                   },
                   [](Fixture &f) { EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_OBJECTIVES), 3); }});
  cases.push_back({"delobj", "KLVOdelobj", rich_model, [](Fixture &f) { return KLVOdelobj(f.prob, 1); },
                   [](Fixture &f) { EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_OBJECTIVES), 1); }});
  cases.push_back({"delcols", "KLVOdelcols", rich_model, [](Fixture &f) {
                     int cols[2] = {2, 0};
                     return KLVOdelcols(f.prob, 2, cols);
                   },
                   [](Fixture &f) { EXPECT_EQ(snapshot(f.prob).colnames, std::vector<std::string>{"x1"}); }});
  cases.push_back({"delrows", "KLVOdelrows", rich_model, [](Fixture &f) {
                     int rows[1] = {1};
                     return KLVOdelrows(f.prob, 1, rows);
                   },
                   [](Fixture &f) {
                     EXPECT_EQ(snapshot(f.prob).rownames, (std::vector<std::string>{"cap", "pair"}));
                   }});
  cases.push_back({"copyprob", "KLVOcopyprob",
                   [](Fixture &f) {
                     rich_model(f);
                     lp_model(f.other);
                   },
                   [](Fixture &f) { return KLVOcopyprob(f.prob, f.other, "copy"); },
                   [](Fixture &f) {
                     Snapshot copy = snapshot(f.prob), source = snapshot(f.other);
                     EXPECT_EQ(copy.name, "copy");
                     copy.name = source.name;
                     EXPECT_TRUE(copy == source);
                   }});
  cases.push_back({"readprob MPS", "KLVOreadprob",
                   [](Fixture &f) {
                     lp_model(f.other);
                     f.file = f.path("in.mps");
                     ASSERT_EQ(KLVOwriteprob(f.other, f.file.c_str(), ""), 0);
                     rich_model(f);
                   },
                   [](Fixture &f) { return KLVOreadprob(f.prob, f.file.c_str(), ""); },
                   [](Fixture &f) { EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SETS), 0); }});
  cases.push_back({"readprob LP", "KLVOreadprob",
                   [](Fixture &f) {
                     lp_model(f.other);
                     f.file = f.path("in.lp");
                     ASSERT_EQ(KLVOwriteprob(f.other, f.file.c_str(), ""), 0);
                     rich_model(f);
                   },
                   [](Fixture &f) { return KLVOreadprob(f.prob, f.file.c_str(), ""); },
                   [](Fixture &f) { EXPECT_EQ(snapshot(f.prob).matrix, snapshot(f.other).matrix); }});
#ifdef KLVO_HAVE_IPOPT
  cases.push_back({"formula", "KSLPaddcoefs",
                   [](Fixture &f) {
                     rich_model(f);
                     f.formula = (X(0) * X(1) + exp(X(2))).ended();
                   },
                   [](Fixture &f) {
                     int row = 0, col = -1000, fstart[2] = {0, static_cast<int>(f.formula.type.size())};
                     double factor = 2;
                     return KSLPaddcoefs(f.slp, 1, &row, &col, &factor, fstart, 1, f.formula.type.data(),
                                         f.formula.value.data());
                   },
                   [](Fixture &f) {
                     int n = 0;
                     EXPECT_EQ(KSLPgetcoefs(f.slp, &n, nullptr, nullptr), 0);
                     EXPECT_EQ(n, 1);
                   }});
#endif
  return cases;
}

class FaultInjection : public ::testing::Test {};

TEST_F(FaultInjection, EveryAllocationOfAModelEditFailsCleanly) {
  for (const Case &c : build_cases()) {
    long points = sweep_allocations(c);
    report("alloc", c.name, points);
  }
}

std::vector<Case> solve_cases() {
  std::vector<Case> cases;
  auto lp_optimal = [](Fixture &f) {
    EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
    EXPECT_NEAR(objective(f.prob), kLpOptimum, 1e-9);
  };
  cases.push_back({"LP", "KLVOlpoptimize", [](Fixture &f) { lp_model(f.prob); },
                   [](Fixture &f) { return KLVOlpoptimize(f.prob, ""); }, lp_optimal, true});
  // A second solve after a change goes through the engine's incremental update.
  cases.push_back({"LP re-solve", "KLVOlpoptimize",
                   [](Fixture &f) {
                     lp_model(f.prob);
                     ASSERT_EQ(KLVOlpoptimize(f.prob, ""), 0);
                     int j = 0;
                     double v = 5;
                     ASSERT_EQ(KLVOchgobj(f.prob, 1, &j, &v), 0);
                   },
                   [](Fixture &f) { return KLVOlpoptimize(f.prob, ""); },
                   [](Fixture &f) {
                     // x0 now costs: x0 = 0, x2 = 3, x1 = 3 stays optimal at -6 - 9 = -15.
                     EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
                     EXPECT_NEAR(objective(f.prob), -15, 1e-9);
                   },
                   true});
  cases.push_back({"MILP", "KLVOmipoptimize", milp_model, [](Fixture &f) { return KLVOmipoptimize(f.prob, ""); },
                   [](Fixture &f) {
                     EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
                     EXPECT_NEAR(objective(f.prob), milp_optimum(), 1e-9);
                   },
                   true});
  cases.push_back({"QP", "KLVOoptimize", qp_model,
                   [](Fixture &f) {
                     int solvestatus = 0, solstatus = 0;
                     return KLVOoptimize(f.prob, "", &solvestatus, &solstatus);
                   },
                   [](Fixture &f) {
                     EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
                     EXPECT_NEAR(objective(f.prob), kQpOptimum, 1e-6);
                   },
                   true});
#ifdef KLVO_HAVE_IPOPT
  // min (x - 1)^2 + exp(y) - y: optimum at (1, 0), value 1.
  cases.push_back({"NLP", "KLVOnlpoptimize",
                   [](Fixture &f) {
                     double lb[2] = {-kInf, -kInf}, ub[2] = {kInf, kInf};
                     ASSERT_EQ(KLVOaddcols(f.prob, 2, 0, nullptr, nullptr, nullptr, nullptr, lb, ub), 0);
                     Ex e = (pow(X(0) - 1.0, 2.0) + exp(X(1)) - X(1)).ended();
                     int row = -1, col = -1000, fstart[2] = {0, static_cast<int>(e.type.size())};
                     double factor = 1;
                     ASSERT_EQ(KSLPaddcoefs(f.slp, 1, &row, &col, &factor, fstart, 1, e.type.data(), e.value.data()), 0);
                   },
                   [](Fixture &f) { return KLVOnlpoptimize(f.prob, ""); },
                   [](Fixture &f) {
                     EXPECT_EQ(int_attr(f.prob, KLVO_ATTR_SOLSTATUS), KLVO_SOLSTATUS_OPTIMAL);
                     EXPECT_NEAR(objective(f.prob), 1.0, 1e-7);
                   },
                   true});
#endif
  return cases;
}

// Reading a solution and writing the model.
std::vector<Case> output_cases() {
  std::vector<Case> cases;
  auto solved = [](Fixture &f) {
    lp_model(f.prob);
    ASSERT_EQ(KLVOaddnames(f.prob, 2, "x\0y\0z", 0, 2), 0);
    ASSERT_EQ(KLVOlpoptimize(f.prob, ""), 0);
  };
  cases.push_back({"getlpsol", "KLVOgetlpsol", solved,
                   [](Fixture &f) {
                     double x[3], slack[3], duals[3], djs[3];
                     return KLVOgetlpsol(f.prob, x, slack, duals, djs);
                   },
                   [](Fixture &f) { EXPECT_NEAR(objective(f.prob), kLpOptimum, 1e-9); }});
  cases.push_back({"getnamelist", "KLVOgetnamelist", solved,
                   [](Fixture &f) {
                     char buf[64];
                     int need = 0;
                     return KLVOgetnamelist(f.prob, 2, buf, sizeof buf, &need, 0, 2);
                   },
                   [](Fixture &) {}});
  // Reading an error text must not itself fail for want of memory.
  cases.push_back({"getlasterror", "KLVOgetlasterror",
                   [](Fixture &f) {
                     int j = 12345;
                     EXPECT_NE(KLVOchgbounds(f.prob, 1, &j, "U", nullptr), 0);
                   },
                   [](Fixture &f) {
                     char text[512];
                     return KLVOgetlasterror(f.prob, text);
                   },
                   [](Fixture &) {}});
  for (const char *flags : {"", "l"}) {
    auto write = flags[0] ? [](Fixture &f) { return KLVOwriteprob(f.prob, f.file.c_str(), "l"); }
                          : [](Fixture &f) { return KLVOwriteprob(f.prob, f.file.c_str(), ""); };
    cases.push_back({flags[0] ? "writeprob LP" : "writeprob MPS", "KLVOwriteprob",
                     [solved, flags](Fixture &f) {
                       solved(f);
                       f.file = f.path(flags[0] ? "out.lp" : "out.mps");
                       // An earlier file, which a failed write must leave as it was.
                       std::ofstream(f.file) << "earlier\n";
                     },
                     write,
                     [](Fixture &f) {
                       // The file reads back as the model.
                       std::string text = read_file(f.file);
                       EXPECT_EQ(text.find("earlier"), std::string::npos) << "not rewritten";
                       KLVOprob back = nullptr;
                       ASSERT_EQ(KLVOcreateprob(&back), 0);
                       EXPECT_EQ(KLVOreadprob(back, f.file.c_str(), ""), 0);
                       EXPECT_EQ(snapshot(back).matrix, snapshot(f.prob).matrix);
                       KLVOdestroyprob(back);
                     }});
  }
  return cases;
}

TEST_F(FaultInjection, EveryAllocationOfASolveFailsCleanly) {
  for (const Case &c : solve_cases()) {
    auto started = std::chrono::steady_clock::now();
    long points = sweep_allocations(c);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    report("alloc", c.name, points);
    std::printf("[  faults  ] %-28s %.1f s\n", c.name, seconds);
  }
}

TEST_F(FaultInjection, EveryAllocationOfReadingAndWritingFailsCleanly) {
  for (const Case &c : output_cases()) report("alloc", c.name, sweep_allocations(c));
}

TEST_F(FaultInjection, EveryStepOfWritingAFileFailsCleanly) {
  for (const char *file : {"model.mps", "model.lp"}) {
    Case c{file, "KLVOwriteprob",
           [file](Fixture &f) {
             lp_model(f.prob);
             f.file = f.path(file);
           },
           [](Fixture &f) { return KLVOwriteprob(f.prob, f.file.c_str(), ""); }, [](Fixture &) {}};
    report("write", file, sweep_writes(c));
  }
}

}  // namespace
