// Problem files under mutation. Every mutation of the shipped instances, of their LP forms and
// of two small files holding every other part of the formats either reads into a model that
// writes and reads back to the same model and the same text, or fails with an error that names
// the entry point and the file, leaving the previous model in place. Crashes, out-of-bounds
// reads and leaks show under the sanitizer build; a hang trips the watchdog.
//
// CI runs a fixed number of cases from a fixed seed. `make fuzz` runs more:
//   KLVO_FUZZ_CASES=n       number of cases (default 600)
//   KLVO_FUZZ_SEED=s|random seed (default fixed)
//   KLVO_FUZZ_CASE=k        replays case k of the seed alone
//   KLVO_FUZZ_DIR=dir       where failing files are kept (default /tmp)
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using namespace klvo_test;

namespace {

const char kRichMps[] = R"(NAME          rich
OBJSENSE
    MAX
ROWS
 N  obj
 L  cap
 G  dem
 E  bal
 L  rng
 N  frow
 G  ind
COLUMNS
    x  obj  1  cap  1
    x  dem  2
    y  obj  -2  bal  3.25
    MARKER  'MARKER'  'INTORG'
    n  cap  1  rng  1
    MARKER  'MARKER'  'INTEND'
    b  obj  0.5  ind  1
    s  rng  -1  frow  1
    r  bal  7
    p  dem  1
RHS
    RHS  obj  12.5  cap  4
    RHS  dem  -2  bal  3.5
    RHS  rng  10  ind  1
RANGES
    RNG  rng  2.25  bal  -1
BOUNDS
 UP BND x  40
 MI BND y
 BV BND b
 SC BND s  9
 LO BND s  2.5
 SI BND r  3
 LO BND r  1
 PI BND p  4
 UP BND p  20
 LI BND n  -3
 UI BND n  8
SOS
 S1 SOS  sa  1
    x  1
    y  2
 S2 SOS  sb  2
    n:1.5
    s  2.5
QUADOBJ
    x  x  2
    x  y  -1.5
    y  n  0.75
QCMATRIX   cap
    x  x  1
    y  n  0.5
    n  y  0.5
INDICATORS
 IF ind  b  1
ENDATA
)";

const char kRichLp[] = R"(\ Problem name: richlp
Maximize
 obj: x - 2 y + 0.5 b + 3 n + [ 2 x ^ 2 - 3 x * y + 1.5 y * n ] / 2 - 12.5
Subject To
 cap: x + n + [ x ^ 2 + y * n ] <= 4
 dem: 2 x + p >= -2
 bal: 3.25 y + 7 r = 3.5
 rng: -7.75 <= n - s <= 10
 frow: s >= -inf
 -x + y <= 1e30
 c7: 0 >= -3
Bounds
 x <= 40
 y free
 -3 <= n <= 8
 2.5 <= s <= 9
 1 <= r <= 3
 p >= -inf
 -inf <= q <= inf
Generals
 n r
Binaries
 b
Semi-continuous
 s r
SOS
 sa: S1:: x:1 y:2
 sb: S2:: n:1.5 s:2.5
End
)";

// Lines and tokens the mutations insert: section headers, data lines of every kind and
// the format's operators and keywords.
const std::vector<std::string> kMpsLines = {
    "NAME", "NAME  two words", "ROWS", "COLUMNS", "RHS", "RANGES", "BOUNDS", "SOS", "QUADOBJ", "QMATRIX",
    "QCMATRIX   cap", "QCMATRIX", "QSECTION  obj", "QSECTION  R09", "INDICATORS", "ENDATA", "OBJSENSE",
    "OBJSENSE  MAX", "OBJSENSE\n    MIN", "OBJSENS  MAXIMIZE", "OBJNAME  cap", " N  obj2", " L  cap", " E  x",
    " G  R09", " N  COST", "    x  obj  1", "    x  cap  1  cap  2", "    MARKER  'MARKER'  'INTORG'",
    "    MARKER  'MARKER'  'INTEND'", "    MARKER  'MARKER'  'INTXX'", " UP BND x  -1", " BV BND x", " SC BND x",
    " FR x", " FX BND x  1e400", " PI BND x  -5", " MI BND x", " S1 SOS  s9  1", " S2  s8", "    x:1", "    x  -7",
    " IF cap x 1", " IF R09 C0001 0", " IF obj x 2", "    x  x  1", "    x  y  nan", "    RHS  obj  1e400",
    "    RNG  cap  -inf", "*FORMULA 0 -1000 1 2 3 4 5 6", "*FORMULA -1 -1000 1 99999999999", "*FORMULA x"};
const std::vector<std::string> kLpLines = {
    "Minimize", "Maximize", "max:", "Subject To", "st", "such that", "Bounds", "Generals", "Integers", "Binaries",
    "Semi-continuous", "semis", "SOS", "End", "\\ Problem name: z", " s1: S1:: x:1 y:-1", " s2: S2::", " r9: 1 <= x <= 0",
    " r8: -inf <= x + y <= inf", " x free", " x >= 1e400", " [ x * y ] / 2", " -inf <= x", " c: 0 >= 3", " obj: x",
    " cap: x <= 1", " 3 x1 + 2 x2 >= 1", " x ^ 2 <= 1", " free: x <= 1", " bounds: x >= 0", " 7: x <= 2",
    "\\FORMULA 0 -1000 1 0"};
const std::vector<std::string> kTokens = {
    "<=", ">=", "=", "=<", "=>", ":", "::", "[", "]", "^", "^ 2", "/ 2", "/", "*", "+", "-", "free", "inf", "-inf",
    "infinity", "S1::", "S2", "'MARKER'", "'INTORG'", "IF", "1e400", "nan", "0x1p3", "e", ".", "1.", "..", "bounds",
    "end", "st", "min", "obj", "RHS", "BND", "UP", "SC", "\\", "*", "\t", "\r"};
const std::vector<std::string> kNumbers = {
    "nan", "NaN", "-nan", "inf", "-inf", "Infinity", "1e308", "-1e308", "1e309", "-1e999", "1e-400", "4.9e-324",
    "0x1p-1074", "0x1.8p1", "1e20", "-1e20", "1e19", "1e21", "0", "-0", "1e+", "--1", "+-1", "1..2", "2147483648",
    "-2147483649", "99999999999999999999", "-1", ".5", "5.", "2", "1", "0.5"};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

std::string join(const std::vector<std::string> &lines, bool final_newline) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i];
    if (i + 1 < lines.size() || final_newline) out += '\n';
  }
  return out;
}

// Spans [begin, end) of the white-space separated tokens of a line.
std::vector<std::pair<size_t, size_t>> tokens_of(const std::string &line) {
  std::vector<std::pair<size_t, size_t>> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    size_t b = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > b) out.push_back({b, i});
  }
  return out;
}

bool is_header(const std::string &line, bool lp) {
  if (line.empty()) return false;
  if (!lp) return !std::isspace(static_cast<unsigned char>(line[0])) && line[0] != '*';
  static const char *const words[] = {"minimize", "maximize", "min", "max", "subject", "st", "bounds", "generals",
                                      "general", "integers", "binaries", "binary", "semi", "semis", "sos", "end"};
  std::string w;
  for (char c : line) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == '-' || c == ':') {
      if (!w.empty()) break;
      continue;
    }
    w += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const char *k : words)
    if (w == k) return true;
  return false;
}

// One mutation of the file's text, picked and placed by rng.
class Mutator {
 public:
  Mutator(std::mt19937_64 &rng, bool lp) : rng_(rng), lp_(lp) {}

  void apply(std::string &text) {
    switch (pick(13)) {
      case 0: {  // a byte replaced
        if (text.empty()) return;
        static const char special[] = {'\0', '\n', ' ', ':', '-', '[', '\xff', '\xc3', '\t', '\r', '*', '\\'};
        size_t at = pick(text.size());
        text[at] = pick(2) ? static_cast<char>(pick(256)) : special[pick(sizeof special)];
        return;
      }
      case 1: text.resize(pick(text.size() + 1)); return;  // truncated
      default: break;
    }
    std::vector<std::string> lines = lines_of(text);
    bool final_newline = !text.empty() && text.back() == '\n';
    if (lines.empty()) lines.push_back("");
    size_t i = pick(lines.size());
    std::string &line = lines[i];
    switch (pick(11)) {
      case 0: lines.insert(lines.begin() + pick(lines.size() + 1), lines[i]); break;  // duplicated
      case 1: lines.erase(lines.begin() + i, lines.begin() + std::min(lines.size(), i + 1 + pick(3))); break;
      case 2: std::swap(lines[i], lines[pick(lines.size())]); break;
      case 3: {  // two fields swapped
        auto t = tokens_of(line);
        if (t.size() < 2) break;
        size_t a = pick(t.size()), b = pick(t.size());
        if (a == b) break;
        if (a > b) std::swap(a, b);
        std::string fa = line.substr(t[a].first, t[a].second - t[a].first);
        std::string fb = line.substr(t[b].first, t[b].second - t[b].first);
        line.replace(t[b].first, fb.size(), fa);
        line.replace(t[a].first, fa.size(), fb);
        break;
      }
      case 4: {  // a number made extreme, a name very long or not text
        auto t = tokens_of(line);
        if (t.empty()) break;
        auto [b, e] = t[pick(t.size())];
        std::string replacement;
        if (pick(2)) {
          replacement = kNumbers[pick(kNumbers.size())];
        } else {
          static const std::string odd[] = {"\xff", "\xc3\x28", "a\x01" "b", "\x7f", "n\xe9", std::string("a\0b", 3),
                                            "\xe2\x82", "x\\y", "a:b", "[x]"};
          replacement = pick(2) ? std::string(1 + pick(3) * pick(40000), static_cast<char>('a' + pick(26)))
                                : odd[pick(sizeof odd / sizeof odd[0])];
        }
        line.replace(b, e - b, replacement);
        break;
      }
      case 5:  // a section header or data line of the format inserted
      case 6: {
        const auto &dict = lp_ ? kLpLines : kMpsLines;
        lines.insert(lines.begin() + i, dict[pick(dict.size())]);
        break;
      }
      case 7: {  // a token inserted between fields
        auto t = tokens_of(line);
        size_t at = t.empty() ? line.size() : (pick(2) ? t[pick(t.size())].first : t[pick(t.size())].second);
        line.insert(at, " " + kTokens[pick(kTokens.size())] + " ");
        break;
      }
      case 8:  // a whole section removed or repeated
      case 9: {
        std::vector<size_t> headers;
        for (size_t k = 0; k < lines.size(); ++k)
          if (is_header(lines[k], lp_)) headers.push_back(k);
        if (headers.empty()) break;
        size_t h = pick(headers.size());
        size_t b = headers[h], e = h + 1 < headers.size() ? headers[h + 1] : lines.size();
        std::vector<std::string> section(lines.begin() + b, lines.begin() + e);
        if (pick(2)) {
          lines.erase(lines.begin() + b, lines.begin() + e);
        } else {
          size_t at = headers[pick(headers.size())];
          lines.insert(lines.begin() + at, section.begin(), section.end());
        }
        break;
      }
      default: {  // the numbers of a line replaced by extremes
        auto t = tokens_of(line);
        for (size_t k = t.size(); k-- > 0;) {
          char c = line[t[k].first];
          if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.')
            line.replace(t[k].first, t[k].second - t[k].first, kNumbers[pick(kNumbers.size())]);
        }
        break;
      }
    }
    text = join(lines, final_newline);
  }

 private:
  size_t pick(size_t n) { return n == 0 ? 0 : static_cast<size_t>(rng_() % n); }
  std::mt19937_64 &rng_;
  bool lp_;
};

struct SeedFile {
  std::string name, text;
  bool lp;
};

void write_text(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The whole literal, NUL bytes included.
template <size_t N>
std::string with_nul(const char (&text)[N]) {
  return std::string(text, N - 1);
}

unsigned long long env_number(const char *name, unsigned long long fallback) {
  const char *v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

class FileFuzz : public ProblemTest {
 protected:
  void SetUp() override {
    ProblemTest::SetUp();
    other_ = fresh();
  }

  // The instances, their LP forms as the writer gives them, and the two rich files.
  std::vector<SeedFile> seeds() {
    std::vector<SeedFile> out;
    for (const Instance &inst : instances()) {
      std::string mps = data_file(inst.file), lp = dir_ + "/seed.lp";
      out.push_back({inst.file, slurp(mps), false});
      EXPECT_EQ(KLVOreadprob(prob, mps.c_str(), ""), 0) << error();
      EXPECT_EQ(KLVOwriteprob(prob, lp.c_str(), ""), 0) << error();
      out.push_back({inst.file + " as LP", slurp(lp), true});
    }
    out.push_back({"rich.mps", kRichMps, false});
    out.push_back({"rich.lp", kRichLp, true});
    return out;
  }

  std::string name_of(KLVOprob p) {
    int n = int_attr(p, KLVO_ATTR_PROBNAMELENGTH);
    std::string s(static_cast<size_t>(std::max(n, 0)) + 1, '\0');
    EXPECT_EQ(KLVOgetprobname(p, &s[0]), 0);
    s.resize(std::strlen(s.c_str()));
    return s;
  }

  // Reads the file at path into prob; returns what went wrong, or "" when the file behaved.
  // refused counts the files that were refused.
  std::string check(const std::string &path, bool lp, bool &refused) {
    int cols = ncols(prob), rows = nrows(prob);
    std::string name = name_of(prob);
    refused = KLVOreadprob(prob, path.c_str(), "") != 0;
    if (refused) {
      std::string e = error();
      if (e.rfind("KLVOreadprob: ", 0) != 0 || e.find(path) == std::string::npos)
        return "the error does not name the entry point and the file: '" + e + "'";
      if (ncols(prob) != cols || nrows(prob) != rows || name_of(prob) != name)
        return "the failed read changed the model: " + e;
      return "";
    }
    const char *ext = lp ? ".lp" : ".mps";
    std::string back = dir_ + "/back" + ext, again = dir_ + "/again" + ext;
    if (KLVOwriteprob(prob, back.c_str(), "") != 0) return "the model read cannot be written: " + error();
    if (KLVOreadprob(other_, back.c_str(), "") != 0) return "the written model does not read back: " + error(other_);
    if (KLVOwriteprob(other_, again.c_str(), "") != 0) return "the model read back cannot be written: " + error(other_);
    if (slurp(back) != slurp(again)) return "writing the model read back gives a different text";
    Snapshot first = snapshot(prob), second = snapshot(other_);
    if (!lp && first.name.empty()) first.name = "noname";  // what MPS writes for no name
    std::string d = diff(first, second);
    if (!d.empty()) return "the model read back differs in: " + d;
    return "";
  }

  TempDir tmp_;
  const std::string dir_ = tmp_.dir();
  KLVOprob other_ = nullptr;
};

// Aborts with the reproducer when one case runs for longer than the limit.
class Watchdog {
 public:
  Watchdog(int seconds) : thread_([this, seconds] { watch(seconds); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void start(const std::string &what) {
    std::lock_guard<std::mutex> lock(mutex_);
    what_ = what;
    ++count_;
  }

 private:
  void watch(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      unsigned long long seen = count_;
      if (wake_.wait_for(lock, std::chrono::seconds(seconds), [&] { return stop_ || count_ != seen; })) continue;
      std::fprintf(stderr, "file fuzz: still running after %d s: %s\n", seconds, what_.c_str());
      std::_Exit(1);
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  unsigned long long count_ = 0;
  std::string what_;
  std::thread thread_;
};

// The case under way, printed when the process dies in it (a signal, or a sanitizer report).
char g_current_case[1024] = "";

void print_current_case() {
  ssize_t ignored = write(2, g_current_case, std::strlen(g_current_case));
  (void)ignored;
}

extern "C" void on_fatal_signal(int sig) {
  print_current_case();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

TEST_F(FileFuzz, MutatedFilesReadBackToThemselvesOrFailClearly) {
  unsigned long long seed = 20261207;
  const char *seed_text = std::getenv("KLVO_FUZZ_SEED");
  if (seed_text && std::string(seed_text) == "random") seed = std::random_device{}() * 4294967296ull + std::random_device{}();
  else seed = env_number("KLVO_FUZZ_SEED", seed);
  const unsigned long long cases = env_number("KLVO_FUZZ_CASES", 600);
  const long long only = std::getenv("KLVO_FUZZ_CASE") ? static_cast<long long>(env_number("KLVO_FUZZ_CASE", 0)) : -1;
  const char *keep_dir = std::getenv("KLVO_FUZZ_DIR");
  std::string keep = keep_dir && *keep_dir ? keep_dir : "/tmp";
  std::printf("file fuzz: seed %llu, %llu cases\n", seed, cases);
  std::fflush(stdout);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, on_fatal_signal);
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(print_current_case);

  std::vector<SeedFile> all = seeds();
  ASSERT_FALSE(HasFailure());
  // The unmutated files behave, so that every later failure is the mutation's.
  for (const SeedFile &s : all) {
    std::string path = dir_ + (s.lp ? "/case.lp" : "/case.mps");
    write_text(path, s.text);
    bool refused = false;
    EXPECT_EQ(check(path, s.lp, refused), "") << s.name;
    EXPECT_FALSE(refused) << s.name << ": " << error();
  }
  ASSERT_FALSE(HasFailure());

  Watchdog watchdog(static_cast<int>(env_number("KLVO_FUZZ_HANG_SECONDS", 120)));
  unsigned long long refusals = 0, failures = 0;
  for (unsigned long long k = only >= 0 ? only : 0; k < (only >= 0 ? only + 1 : cases); ++k) {
    std::seed_seq seq{static_cast<unsigned>(seed), static_cast<unsigned>(seed >> 32), static_cast<unsigned>(k)};
    std::mt19937_64 rng(seq);
    const SeedFile &s = all[rng() % all.size()];
    std::string text = s.text;
    Mutator mutate(rng, s.lp);
    for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) mutate.apply(text);
    std::string path = dir_ + (s.lp ? "/case.lp" : "/case.mps");
    write_text(path, text);
    std::string where = "seed " + std::to_string(seed) + " case " + std::to_string(k) + " (from " + s.name + ")";
    std::string kept = keep + "/klvo_fuzz_" + std::to_string(seed) + "_" + std::to_string(k) + (s.lp ? ".lp" : ".mps");
    watchdog.start(where + "; replay with KLVO_FUZZ_SEED=" + std::to_string(seed) +
                   " KLVO_FUZZ_CASE=" + std::to_string(k));
    std::snprintf(g_current_case, sizeof g_current_case,
                  "\nfile fuzz: died in %s; the file is %s\n  replay: KLVO_FUZZ_SEED=%llu KLVO_FUZZ_CASE=%llu "
                  "klvo_tests --gtest_filter='FileFuzz.*'\n",
                  where.c_str(), path.c_str(), seed, k);
    int before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    bool refused = false;
    std::string fault = check(path, s.lp, refused);
    refusals += refused;
    int after = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    if (fault.empty() && after == before) continue;
    write_text(kept, text);
    ADD_FAILURE() << where << ": " << (fault.empty() ? "see above" : fault) << "\n  file kept as " << kept
                  << "\n  replay: KLVO_FUZZ_SEED=" << seed << " KLVO_FUZZ_CASE=" << k
                  << " klvo_tests --gtest_filter='FileFuzz.*'";
    if (++failures >= 5) break;
  }
  g_current_case[0] = '\0';
  std::printf("file fuzz: %llu cases run, %llu refused with an error, %llu faults\n",
              only >= 0 ? 1ull : cases, refusals, failures);
}

// Files the fuzzing found mishandled: each either reads and round-trips, or is refused saying
// what is wrong and where.
TEST_F(FileFuzz, FilesItFoundReadBackOrAreRefusedWithTheirLine) {
  struct Case {
    const char *ext;
    std::string text;
    const char *error;  // null: the file reads and round-trips
  };
  const Case cases[] = {
      // An unlabelled row is named as the writer names it, past a label that equals its default.
      {".lp", "min\n x\nst\n R1: x >= 1\n x <= 5\n R2: x <= 4\nend\n", nullptr},
      // A row without terms on an equality, as the writer writes it.
      {".lp", "min\n x\nst\n c: 0 = 3\nend\n", nullptr},
      {".lp", "min\n x\nst\n c: 0 = x\nend\n", "line 4: a range needs <= or >="},
      {".lp", "min\n x\nst\n free: x >= 1\nend\n", "line 4: 'free' is a keyword"},
      {".lp", "min\n x\nst\n c: x >= 1\nsos\n s: S1:: x:1\n s: S1:: x:2\nend\n", "line 7: duplicate set name 's'"},
      {".mps", "NAME n\nROWS\n N obj\nCOLUMNS\n x obj 1\nSOS\n S1 SOS s 1\n x 1\n S1 SOS s 1\nENDATA\n",
       "line 9: set 's' is defined twice"},
      {".lp", "min\n x - 1e999\nend\n", "line 2: the objective constant is not a finite number"},
      {".mps", "NAME n\nROWS\n N obj\nCOLUMNS\n x obj 1\nRHS\n RHS obj 1e400\nENDATA\n",
       "line 7: the objective constant '1e400' is not a finite number"},
      {".mps", "NAME n\nROWS\n N obj\nCOLUMNS\n x obj 1\nRHS\n RHS obj 1e20\nENDATA\n", "line 7: the objective"},
      {".lp", with_nul("min\n x\nst\n c: x \0>= 1\nend\n"), "line 4: a NUL byte"},
      {".mps", with_nul("NAME n\nROWS\n N o\0bj\nENDATA\n"), "line 3: a NUL byte"},
  };
  int k = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(k++);
    std::string path = dir_ + "/case" + c.ext;
    write_text(path, c.text);
    bool refused = false;
    EXPECT_EQ(check(path, std::string(c.ext) == ".lp", refused), "");
    EXPECT_EQ(refused, c.error != nullptr) << error();
    if (c.error) EXPECT_NE(error().find(c.error), std::string::npos) << error();
  }
  // The labelled row keeps its name; the unlabelled one between gets R2_ (its default R2 is a label).
  ASSERT_EQ(KLVOreadprob(prob, (write_text(dir_ + "/case.lp", cases[0].text), dir_ + "/case.lp").c_str(), ""), 0);
  EXPECT_EQ(names(prob, 1, 3), (std::vector<std::string>{"R1", "R2_", "R2"}));
}
