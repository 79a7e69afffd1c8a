// Solution files: CSV, a printable report, a simple text format read back by column name, and
// a binary image of the whole solution.
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <unordered_map>

#include "analysis/analysis.h"
#include "env/solution_details.h"
#include "engines/solution.h"
#include "io/problem_file.h"

namespace klvo {

namespace {

const SolutionStore &solution_of(Problem &prob, const char *fn) {
  const SolutionStore &s = prob.solution;
  if (s.primal_status == KLVO_SOLSTATUS_NOTFOUND || static_cast<int>(s.x.size()) != prob.model.ncols() ||
      static_cast<int>(s.slack.size()) != prob.model.nrows())
    fail(KLVO_ERR_NO_SOLUTION, "%s: no solution is available", fn);
  return s;
}

bool has_duals(const Problem &prob) {
  const SolutionStore &s = prob.solution;
  return s.dual_status != KLVO_SOLSTATUS_NOTFOUND && static_cast<int>(s.duals.size()) == prob.model.nrows() &&
         static_cast<int>(s.djs.size()) == prob.model.ncols();
}

// Column names as an MPS file of the problem would write them: distinct, no white space.
std::vector<std::string> column_names(Problem &prob, const char *fn) {
  return file_names(
             prob.model, "solution",
             [](const std::string &name, int) -> const char * {
               for (char c : name)
                 if (std::isspace(static_cast<unsigned char>(c))) return "it contains white space";
               return nullptr;
             },
             fn, [&](const std::string &text) { prob.message(KLVO_MSG_WARNING, text); })
      .cols;
}

// A CSV field: quoted when it holds a separator or a quote.
std::string csv(const std::string &text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

double objective(const Problem &prob) {
  const SolutionStore &s = prob.solution;
  return s.optimizetype == KLVO_OPTTYPE_MIP ? s.mipobjval : s.lpobjval;
}

template <class T>
void put(std::string &out, const T &v) {
  out.append(reinterpret_cast<const char *>(&v), sizeof v);
}
void put_vector(std::string &out, const std::vector<double> &v) {
  put(out, static_cast<int64_t>(v.size()));
  out.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(double));
}

constexpr char kBinaryMagic[8] = {'K', 'L', 'V', 'O', 'B', 'S', 'O', 'L'};
constexpr int32_t kBinaryVersion = 1;

}  // namespace

void write_csv_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  const SolutionStore &s = solution_of(prob, fn);
  const ModelStore &m = prob.model;
  bool duals = has_duals(prob);
  std::ostringstream out;
  out << "kind,index,name,type,value,lower or slack,upper or rhs,reduced cost or dual\n";
  for (int j = 0; j < m.ncols(); ++j)
    out << "C," << j << ',' << csv(m.colnames.get(j)) << ',' << m.coltype[j] << ',' << format_number(s.x[j]) << ','
        << format_number(m.lb[j]) << ',' << format_number(m.ub[j]) << ','
        << (duals ? format_number(s.djs[j]) : std::string()) << '\n';
  for (int i = 0; i < m.nrows(); ++i)
    out << "R," << i << ',' << csv(m.rownames.get(i)) << ',' << m.rowtype[i] << ','
        << format_number(m.rhs[i] - s.slack[i]) << ',' << format_number(s.slack[i]) << ',' << format_number(m.rhs[i])
        << ',' << (duals ? format_number(s.duals[i]) : std::string()) << '\n';
  write_text_file(filename, out.str(), fn);
}

void write_printed_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  const SolutionStore &s = solution_of(prob, fn);
  const ModelStore &m = prob.model;
  bool duals = has_duals(prob);
  std::ostringstream out;
  out << "Problem " << (m.name.empty() ? "noname" : m.name) << '\n'
      << "Rows " << m.nrows() << ", columns " << m.ncols() << '\n'
      << "Solution status " << s.solstatus << ", LP status " << s.lpstatus << ", MIP status " << s.mipstatus << '\n'
      << "Objective " << std::setprecision(15) << objective(prob) << "\n\n";
  out << std::left << std::setprecision(8);
  out << "Rows\n" << std::setw(8) << "Number" << std::setw(20) << "Name" << std::setw(5) << "Type" << std::setw(16)
      << "Activity" << std::setw(16) << "Slack" << std::setw(16) << "RHS" << "Dual\n";
  for (int i = 0; i < m.nrows(); ++i) {
    out << std::setw(8) << i << std::setw(20) << (m.rownames.get(i).empty() ? "-" : m.rownames.get(i)) << std::setw(5)
        << m.rowtype[i] << std::setw(16) << m.rhs[i] - s.slack[i] << std::setw(16) << s.slack[i] << std::setw(16)
        << m.rhs[i];
    if (duals) out << s.duals[i];
    out << '\n';
  }
  out << "\nColumns\n" << std::setw(8) << "Number" << std::setw(20) << "Name" << std::setw(5) << "Type"
      << std::setw(16) << "Value" << std::setw(16) << "Lower" << std::setw(16) << "Upper" << "Reduced cost\n";
  for (int j = 0; j < m.ncols(); ++j) {
    out << std::setw(8) << j << std::setw(20) << (m.colnames.get(j).empty() ? "-" : m.colnames.get(j))
        << std::setw(5) << m.coltype[j] << std::setw(16) << s.x[j] << std::setw(16) << m.lb[j] << std::setw(16)
        << m.ub[j];
    if (duals) out << s.djs[j];
    out << '\n';
  }
  write_text_file(filename, out.str(), fn);
}

void write_text_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  const SolutionStore &s = solution_of(prob, fn);
  std::vector<std::string> names = column_names(prob, fn);
  std::ostringstream out;
  out << "NAME " << (prob.model.name.empty() ? "noname" : prob.model.name) << '\n';
  for (int j = 0; j < prob.model.ncols(); ++j) out << " C " << names[j] << ' ' << format_number(s.x[j]) << '\n';
  out << ".\n";
  write_text_file(filename, out.str(), fn);
}

void read_text_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  std::ifstream in(filename);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open \"%s\"", fn, filename);
  const ModelStore &m = prob.model;
  std::vector<std::string> names = column_names(prob, fn);
  std::unordered_map<std::string, int> index;
  for (int j = 0; j < m.ncols(); ++j) index.emplace(names[j], j);
  std::vector<double> x(m.ncols(), 0.0);
  std::vector<int> listed;
  std::vector<char> seen(m.ncols(), 0);
  std::string line;
  int lineno = 0;
  bool ended = false;
  while (!ended && std::getline(in, line)) {
    ++lineno;
    std::istringstream fields(line);
    std::string kind, name, value;
    if (!(fields >> kind)) continue;
    if (kind == "NAME" && lineno == 1) continue;
    if (kind == ".") {
      ended = true;
      continue;
    }
    std::string rest;
    if (kind != "C" || !(fields >> name >> value) || (fields >> rest))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: expected \"C <column name> <value>\"", fn, filename, lineno);
    auto at = index.find(name);
    if (at == index.end())
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: no column is named \"%s\"", fn, filename, lineno, name.c_str());
    char *end = nullptr;
    double v = std::strtod(value.c_str(), &end);
    if (*end || !std::isfinite(v))
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: \"%s\" is not a number", fn, filename, lineno, value.c_str());
    if (seen[at->second]++)
      fail(KLVO_ERR_FILE, "%s: \"%s\" line %d: column \"%s\" is given twice", fn, filename, lineno, name.c_str());
    x[at->second] = v;
    listed.push_back(at->second);
  }
  if (!ended) fail(KLVO_ERR_FILE, "%s: \"%s\" ends without its final \".\" line", fn, filename);
  SolutionStore s;
  s.slack.resize(m.nrows());
  calc_slacks(m, s, x.data(), s.slack.data(), fn);
  double obj = 0;
  calc_objective(m, s, x.data(), &obj, fn);
  s.x = std::move(x);
  s.primal_status = s.solstatus = KLVO_SOLSTATUS_FEASIBLE;
  (m.nentities() ? s.mipobjval : s.lpobjval) = obj;
  s.optimizetype = m.nentities() ? KLVO_OPTTYPE_MIP : KLVO_OPTTYPE_LP;
  // The values also start the next solve: a MIP start over the columns the file lists (the
  // solve completes the others), or the point a continuous solve crosses over from.
  if (m.nentities() && !listed.empty()) {
    std::vector<double> values;
    for (int j : listed) values.push_back(s.x[j]);
    add_mipsol(prob, static_cast<int>(listed.size()), values.data(),
               static_cast<int>(listed.size()) == m.ncols() ? nullptr : listed.data(), filename, fn);
  } else if (!m.nentities()) {
    load_lpsol(prob, s.x.data(), nullptr, nullptr, nullptr, nullptr);
  }
  prob.solution = std::move(s);
}

void write_binary_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  const SolutionStore &s = solution_of(prob, fn);
  std::string out(kBinaryMagic, sizeof kBinaryMagic);
  put(out, kBinaryVersion);
  put(out, static_cast<int32_t>(prob.model.nrows()));
  put(out, static_cast<int32_t>(prob.model.ncols()));
  for (int v : {s.lpstatus, s.mipstatus, s.solvestatus, s.solstatus, s.stopstatus, s.optimizetype, s.primal_status,
                s.dual_status})
    put(out, static_cast<int32_t>(v));
  for (int64_t v : {s.simplexiter, s.bariter, s.nodes, s.mipsols}) put(out, v);
  for (double v : {s.lpobjval, s.mipobjval, s.bestbound, s.miprelgap, s.time}) put(out, v);
  for (const auto *v : {&s.x, &s.slack, &s.duals, &s.djs}) put_vector(out, *v);
  write_text_file(filename, out, fn);
}

void read_binary_solution(Problem &prob, const char *filename, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  std::ifstream in(filename, std::ios::binary);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open \"%s\"", fn, filename);
  auto bad = [&](const char *why) { fail(KLVO_ERR_FILE, "%s: \"%s\" is not a solution file of this problem: %s", fn, filename, why); };
  auto get = [&](auto &v) {
    if (!in.read(reinterpret_cast<char *>(&v), sizeof v)) bad("it ends early");
  };
  char magic[8];
  if (!in.read(magic, sizeof magic) || std::memcmp(magic, kBinaryMagic, sizeof magic) != 0) bad("wrong header");
  int32_t version, rows, cols;
  get(version);
  if (version != kBinaryVersion) bad("unknown version");
  get(rows);
  get(cols);
  if (rows != prob.model.nrows() || cols != prob.model.ncols()) bad("it was written for another number of rows or columns");
  SolutionStore s;
  for (int *v : {&s.lpstatus, &s.mipstatus, &s.solvestatus, &s.solstatus, &s.stopstatus, &s.optimizetype,
                 &s.primal_status, &s.dual_status}) {
    int32_t w;
    get(w);
    *v = w;
  }
  for (int64_t *v : {&s.simplexiter, &s.bariter, &s.nodes, &s.mipsols}) get(*v);
  for (double *v : {&s.lpobjval, &s.mipobjval, &s.bestbound, &s.miprelgap, &s.time}) get(*v);
  for (std::vector<double> *v : {&s.x, &s.slack, &s.duals, &s.djs}) {
    int64_t n;
    get(n);
    int64_t want = (v == &s.x || v == &s.djs) ? cols : rows;
    if (n != 0 && n != want) bad("a vector has the wrong length");
    v->resize(static_cast<size_t>(n));
    if (n && !in.read(reinterpret_cast<char *>(v->data()), static_cast<std::streamsize>(n * sizeof(double))))
      bad("it ends early");
  }
  prob.solution = std::move(s);
}

}  // namespace klvo
