// Snapshot files: the whole problem in one binary file, read back bit for bit. The store is
// written field by field rather than as MPS, which renames repeated names and folds a
// semi-continuous column's lower bound into its threshold, so could not give the store back.
//
// Layout: the magic "KLVOSNAP", the format version (u32), a byte-order mark (u32 0x01020304,
// so a file from a machine of the other byte order is refused), the library version that
// wrote it, then the model, the controls, the solution and the nonlinear layer's part, and at
// the end an FNV-1a checksum (u64) of everything before it. Counts are u64, numbers are
// stored as their bytes.
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <type_traits>

#include "engines/nlp/layer.h"
#include "env/environment.h"
#include "env/error.h"
#include "env/problem.h"
#include "io/problem_file.h"
#include "io/state_files.h"
#include "model/edit.h"
#include "model/gencons.h"
#include "params/catalogue.h"

namespace klvo {

namespace {

constexpr char kMagic[8] = {'K', 'L', 'V', 'O', 'S', 'N', 'A', 'P'};
constexpr uint32_t kFormat = 1;
constexpr uint32_t kByteOrder = 0x01020304;

uint64_t fnv1a(const char *data, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ull;
  }
  return h;
}

class Out {
 public:
  template <class T>
  void pod(const T &v) {
    static_assert(std::is_trivially_copyable_v<T>);
    buf.append(reinterpret_cast<const char *>(&v), sizeof v);
  }
  void count(size_t n) { pod(static_cast<uint64_t>(n)); }
  void str(const std::string &s) {
    count(s.size());
    buf.append(s);
  }
  template <class T>
  void vec(const std::vector<T> &v) {
    static_assert(std::is_trivially_copyable_v<T>);
    count(v.size());
    if (!v.empty()) buf.append(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(T));
  }
  void entries(const std::vector<Entry> &v) {
    count(v.size());
    for (const Entry &e : v) {
      pod(e.index);
      pod(e.value);
    }
  }
  std::string buf;
};

class In {
 public:
  In(const std::string &buf, const std::string &path, const char *fn) : buf_(buf), path_(path), fn_(fn) {}

  [[noreturn]] void bad(const char *what) const {
    fail(KLVO_ERR_FILE, "%s: '%s' is not a valid klvo snapshot: %s", fn_, path_.c_str(), what);
  }
  template <class T>
  T pod() {
    if (buf_.size() - pos_ < sizeof(T)) bad("it ends too early");
    T v;
    std::memcpy(&v, buf_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  }
  // A count of elements of at least `width` bytes each, which the rest of the file must hold.
  size_t count(size_t width) {
    uint64_t n = pod<uint64_t>();
    if (width && n > (buf_.size() - pos_) / width) bad("it ends too early");
    return static_cast<size_t>(n);
  }
  std::string str() {
    size_t n = count(1);
    std::string s(buf_.data() + pos_, n);
    pos_ += n;
    return s;
  }
  template <class T>
  std::vector<T> vec() {
    size_t n = count(sizeof(T));
    std::vector<T> v(n);
    if (n) std::memcpy(v.data(), buf_.data() + pos_, n * sizeof(T));
    pos_ += n * sizeof(T);
    return v;
  }
  std::vector<Entry> entries(int limit) {
    size_t n = count(sizeof(int) + sizeof(double));
    std::vector<Entry> v(n);
    for (size_t k = 0; k < n; ++k) {
      v[k].index = pod<int>();
      v[k].value = pod<double>();
      if (v[k].index < 0 || v[k].index >= limit || (k > 0 && v[k].index <= v[k - 1].index))
        bad("a sparse vector is out of order or out of range");
    }
    return v;
  }
  bool done() const { return pos_ == buf_.size(); }

 private:
  const std::string &buf_;
  std::string path_;
  const char *fn_;
  size_t pos_ = 0;
};

// ---- The model.

void write_names(Out &o, const NameTable &t) {
  o.count(t.size());
  for (int i = 0; i < t.size(); ++i) o.str(t.get(i));
}

void read_names(In &in, NameTable &t, int expected) {
  size_t n = in.count(8);
  if (n != static_cast<size_t>(expected)) in.bad("a name list does not match its elements");
  std::vector<std::string> names(n);
  bool any = false;
  for (auto &s : names) {
    s = in.str();
    any = any || !s.empty();
  }
  t.append_empty(expected);
  if (any) t.assign(0, std::move(names));
}

void write_model(Out &o, const ModelStore &m) {
  o.str(m.name);
  o.pod(m.objsense);
  o.pod(m.objconstant);
  o.vec(m.rowtype);
  o.vec(m.rhs);
  o.vec(m.range);
  o.vec(m.obj);
  o.vec(m.lb);
  o.vec(m.ub);
  o.vec(m.limit);
  o.vec(m.coltype);
  for (const auto &col : m.colentries) o.entries(col);
  o.pod(static_cast<uint8_t>(!m.qobj.empty()));
  for (const auto &col : m.qobj) o.entries(col);
  o.count(m.objn.size());
  for (const auto &v : m.objn) o.vec(v);
  o.count(m.qrows.size());
  for (const auto &terms : m.qrows) {
    o.count(terms.size());
    for (const QTerm &t : terms) {
      o.pod(t.col1);
      o.pod(t.col2);
      o.pod(t.value);
    }
  }
  o.vec(m.indcol);
  o.vec(m.indcomp);
  o.count(m.sets.size());
  for (const SosSet &s : m.sets) {
    o.pod(s.type);
    o.vec(s.cols);
    o.vec(s.weights);
  }
  write_names(o, m.rownames);
  write_names(o, m.colnames);
  write_names(o, m.setnames);
  const auto &formulas = m.formulas.entries();
  o.count(formulas.size());
  for (const FormulaEntry &e : formulas) {
    o.pod(e.row);
    o.pod(e.col);
    o.pod(e.factor);
    o.count(e.tokens.size());
    for (const FormulaToken &t : e.tokens) {
      o.pod(t.type);
      o.pod(t.value);
    }
  }
  const ModelMarks &k = m.marks;
  o.count(k.dirs.size());
  for (const auto &[col, d] : k.dirs) {
    o.pod(col);
    o.pod(d.priority);
    o.pod(d.dir);
    o.pod(d.uppseudo);
    o.pod(d.downpseudo);
  }
  o.vec(k.delayed);
  o.vec(k.modelcuts);
  o.vec(k.securerows);
  o.vec(k.securecols);
  o.vec(k.rowscale);
  o.vec(k.colscale);
  o.count(m.gencons.size());
  for (const GenCons &g : m.gencons) {
    o.pod(g.type);
    o.pod(g.resultant);
    o.vec(g.cols);
    o.vec(g.vals);
  }
  o.count(m.pwlcons.size());
  for (const PwlCons &c : m.pwlcons) {
    o.pod(c.col);
    o.pod(c.resultant);
    o.vec(c.x);
    o.vec(c.y);
  }
}

ModelStore read_model(In &in, const char *fn) {
  ModelStore m;
  m.name = in.str();
  m.objsense = in.pod<int>();
  m.objconstant = in.pod<double>();
  if (m.objsense != 1 && m.objsense != -1) in.bad("invalid objective sense");
  m.rowtype = in.vec<char>();
  m.rhs = in.vec<double>();
  m.range = in.vec<double>();
  const int r = static_cast<int>(m.rowtype.size());
  if (m.rhs.size() != m.rowtype.size() || m.range.size() != m.rowtype.size()) in.bad("row data of unequal sizes");
  for (char t : m.rowtype) check_row_type(t, fn);
  m.obj = in.vec<double>();
  m.lb = in.vec<double>();
  m.ub = in.vec<double>();
  m.limit = in.vec<double>();
  m.coltype = in.vec<char>();
  const size_t n = m.obj.size();
  if (m.lb.size() != n || m.ub.size() != n || m.limit.size() != n || m.coltype.size() != n)
    in.bad("column data of unequal sizes");
  for (char t : m.coltype) check_col_type(t, fn);
  m.colentries.get().resize(n);
  m.rowentries.resize(r);
  for (size_t j = 0; j < n; ++j) {
    m.colentries[j] = in.entries(r);
    for (const Entry &e : m.colentries[j]) m.rowentries[e.index].push_back(Entry{static_cast<int>(j), e.value});
  }
  if (in.pod<uint8_t>()) {
    m.qobj.resize(n);
    for (auto &col : m.qobj) col = in.entries(static_cast<int>(n));
  }
  m.objn.resize(in.count(8));
  for (auto &v : m.objn) {
    v = in.vec<double>();
    if (v.size() > n) in.bad("an objective longer than the columns");
  }
  size_t nq = in.count(8);
  if (nq != 0 && nq != static_cast<size_t>(r)) in.bad("quadratic rows do not match the rows");
  m.qrows.resize(nq);
  for (auto &terms : m.qrows) {
    terms.resize(in.count(2 * sizeof(int) + sizeof(double)));
    for (QTerm &t : terms) {
      t.col1 = in.pod<int>();
      t.col2 = in.pod<int>();
      t.value = in.pod<double>();
      if (t.col1 < 0 || t.col1 > t.col2 || static_cast<size_t>(t.col2) >= n) in.bad("a quadratic term out of range");
    }
  }
  m.indcol = in.vec<int>();
  m.indcomp = in.vec<int>();
  if (m.indcol.size() != m.indcomp.size() || (!m.indcol.empty() && m.indcol.size() != static_cast<size_t>(r)))
    in.bad("indicators do not match the rows");
  for (int c : m.indcol)
    if (c < -1 || c >= static_cast<int>(n)) in.bad("an indicator column out of range");
  m.sets.resize(in.count(1));
  for (SosSet &s : m.sets) {
    s.type = in.pod<char>();
    s.cols = in.vec<int>();
    s.weights = in.vec<double>();
    if ((s.type != '1' && s.type != '2') || s.cols.size() != s.weights.size()) in.bad("an invalid set");
    for (int c : s.cols)
      if (c < 0 || c >= static_cast<int>(n)) in.bad("a set member out of range");
  }
  read_names(in, m.rownames, r);
  read_names(in, m.colnames, static_cast<int>(n));
  read_names(in, m.setnames, m.nsets());
  std::vector<FormulaEntry> formulas(in.count(2 * sizeof(int) + sizeof(double) + 8));
  for (FormulaEntry &e : formulas) {
    e.row = in.pod<int>();
    e.col = in.pod<int>();
    e.factor = in.pod<double>();
    if (e.row < -1 || e.row >= r || ((e.col < 0 || e.col >= static_cast<int>(n)) && e.col != KSLP_NOCOLUMN))
      in.bad("a formula entry out of range");
    e.tokens.resize(in.count(sizeof(int) + sizeof(double)));
    for (FormulaToken &t : e.tokens) {
      t.type = in.pod<int>();
      t.value = in.pod<double>();
      if (t.type == kColumn && !(t.value >= 0 && t.value < static_cast<double>(n)))
        in.bad("a formula column out of range");
    }
  }
  m.formulas.assign(std::move(formulas));
  std::map<int, Directive> dirs;
  for (size_t k = in.count(2 * sizeof(int) + 1 + 2 * sizeof(double)); k > 0; --k) {
    int col = in.pod<int>();
    Directive d;
    d.priority = in.pod<int>();
    d.dir = in.pod<char>();
    d.uppseudo = in.pod<double>();
    d.downpseudo = in.pod<double>();
    dirs[col] = d;
  }
  set_dirs(m, std::move(dirs), fn);
  std::vector<int> delayed = in.vec<int>(), cuts = in.vec<int>(), srows = in.vec<int>(), scols = in.vec<int>();
  load_row_marks(m, 'd', static_cast<int>(delayed.size()), delayed.data(), fn);
  load_row_marks(m, 'm', static_cast<int>(cuts.size()), cuts.data(), fn);
  load_secure(m, static_cast<int>(srows.size()), static_cast<int>(scols.size()), srows.data(), scols.data(), fn);
  m.marks.rowscale = in.vec<double>();
  m.marks.colscale = in.vec<double>();
  if (m.marks.rowscale.size() > static_cast<size_t>(r) || m.marks.colscale.size() > n) in.bad("too many scale factors");
  for (double f : m.marks.rowscale)
    if (!(f > 0.0) || !std::isfinite(f)) in.bad("an invalid scale factor");
  for (double f : m.marks.colscale)
    if (!(f > 0.0) || !std::isfinite(f)) in.bad("an invalid scale factor");
  m.gencons.resize(in.count(2 * sizeof(int)));
  for (size_t k = 0; k < m.gencons.size(); ++k) {
    GenCons &g = m.gencons[k];
    g.type = in.pod<int>();
    g.resultant = in.pod<int>();
    g.cols = in.vec<int>();
    g.vals = in.vec<double>();
    check_gencons(m, g, static_cast<int>(k), fn);
  }
  m.pwlcons.resize(in.count(2 * sizeof(int)));
  for (size_t k = 0; k < m.pwlcons.size(); ++k) {
    PwlCons &c = m.pwlcons[k];
    c.col = in.pod<int>();
    c.resultant = in.pod<int>();
    c.x = in.vec<double>();
    c.y = in.vec<double>();
    check_pwlcons(m, c, static_cast<int>(k), fn);
  }
  return m;
}

// ---- Controls: by id, so that a snapshot of another version of the library still reads.

void write_controls(Out &o, const ParamStore &p, int objectives) {
  const CaDef *cat = catalogue();
  size_t n = 0;
  for (int k = 0; k < catalogue_size(); ++k) n += cat[k].control;
  o.count(n);
  for (int k = 0; k < catalogue_size(); ++k) {
    const CaDef &d = cat[k];
    if (!d.control) continue;
    o.pod(d.id);
    o.pod(static_cast<uint8_t>(d.type));
    if (d.type == CaType::Int) o.pod(p.get_int(d));
    else if (d.type == CaType::Dbl) o.pod(p.get_dbl(d));
    else o.str(p.get_str(d));
  }
  o.count(objectives);
  for (int k = 0; k < objectives; ++k)
    for (int id = KLVO_OBJCONTROL_PRIORITY; id < KLVO_OBJCONTROL_PRIORITY + kObjControlCount; ++id)
      o.pod(p.get_obj(k, id));
}

void read_controls(In &in, ParamStore &p) {
  for (size_t k = in.count(5); k > 0; --k) {
    int id = in.pod<int>();
    auto type = static_cast<CaType>(in.pod<uint8_t>());
    int64_t i = 0;
    double d = 0;
    std::string s;
    if (type == CaType::Int) i = in.pod<int64_t>();
    else if (type == CaType::Dbl) d = in.pod<double>();
    else if (type == CaType::Str) s = in.str();
    else in.bad("a control of unknown type");
    const CaDef *def = find_ca(id);
    if (!def || !def->control || def->type != type) continue;  // not a control of this version
    if (type == CaType::Int) p.set_int(*def, i);
    else if (type == CaType::Dbl) p.set_dbl(*def, d);
    else p.set_str(*def, s);
  }
  size_t objectives = in.count(kObjControlCount * sizeof(double));
  for (size_t k = 0; k < objectives; ++k)
    for (int id = KLVO_OBJCONTROL_PRIORITY; id < KLVO_OBJCONTROL_PRIORITY + kObjControlCount; ++id)
      p.set_obj(static_cast<int>(k), id, in.pod<double>());
}

// ---- The solution.

void write_solution(Out &o, const SolutionStore &s) {
  for (int v : {s.lpstatus, s.mipstatus, s.solvestatus, s.solstatus, s.stopstatus, s.optimizetype, s.primal_status,
                s.dual_status})
    o.pod(v);
  for (int64_t v : {s.simplexiter, s.bariter, s.nodes, s.mipsols}) o.pod(v);
  for (double v : {s.lpobjval, s.mipobjval, s.bestbound, s.miprelgap, s.time}) o.pod(v);
  o.vec(s.x);
  o.vec(s.slack);
  o.vec(s.duals);
  o.vec(s.djs);
}

SolutionStore read_solution(In &in, const ModelStore &m) {
  SolutionStore s;
  for (int *v : {&s.lpstatus, &s.mipstatus, &s.solvestatus, &s.solstatus, &s.stopstatus, &s.optimizetype,
                 &s.primal_status, &s.dual_status})
    *v = in.pod<int>();
  for (int64_t *v : {&s.simplexiter, &s.bariter, &s.nodes, &s.mipsols}) *v = in.pod<int64_t>();
  for (double *v : {&s.lpobjval, &s.mipobjval, &s.bestbound, &s.miprelgap, &s.time}) *v = in.pod<double>();
  s.x = in.vec<double>();
  s.slack = in.vec<double>();
  s.duals = in.vec<double>();
  s.djs = in.vec<double>();
  auto fits = [](const std::vector<double> &v, int size) { return v.empty() || v.size() == static_cast<size_t>(size); };
  if (!fits(s.x, m.ncols()) || !fits(s.djs, m.ncols()) || !fits(s.slack, m.nrows()) || !fits(s.duals, m.nrows()))
    in.bad("the solution does not match the model");
  return s;
}

// ---- The nonlinear layer's part.

struct LayerPart {
  std::map<int, double> initval;
  std::map<int, nlp::VarSettings> vars;
  std::map<int, int> rowstatus;
  std::vector<std::pair<int, int64_t>> ints;
  std::vector<std::pair<int, double>> dbls;
  std::vector<std::pair<int, std::string>> strs;
  nlp::Results results;
};

void write_results(Out &o, const nlp::Results &r) {
  o.pod(r.nlpstatus);
  o.pod(r.layer_status);
  o.pod(r.objval);
  o.pod(r.iterations);
  o.pod(r.solvetime);
  o.pod(r.maxviolation);
  o.pod(static_cast<uint8_t>(r.has_solution));
  o.vec(r.x);
  o.vec(r.slack);
  o.vec(r.duals);
  o.vec(r.djs);
}

void write_layer(Out &o, const kslp_problem_s &slp) {
  o.count(slp.initval.size());
  for (const auto &[col, v] : slp.initval) {
    o.pod(col);
    o.pod(v);
  }
  o.count(slp.vars.size());
  for (const auto &[col, v] : slp.vars) {
    o.pod(col);
    for (int i : {v.detrow, v.tolset, v.history, v.converged, v.vartype}) o.pod(i);
    for (double d : {v.initstepbound, v.stepbound, v.penalty, v.damp, v.value}) o.pod(d);
  }
  o.count(slp.rowstatus.size());
  for (const auto &[row, s] : slp.rowstatus) {
    o.pod(row);
    o.pod(s);
  }
  std::vector<const nlp::ParamInfo *> controls;
  for (int which : {1, 2})
    for (const nlp::ParamInfo *p : nlp::catalogue(which))
      if (p->control && p->type != nlp::kPointer) controls.push_back(p);
  o.count(controls.size());
  for (const nlp::ParamInfo *p : controls) {
    int slot = nlp::ControlValues::slot(*p);
    o.pod(p->id);
    o.pod(static_cast<uint8_t>(p->type));
    if (p->type == nlp::kInt) o.pod(slp.controls.ints[slot]);
    else if (p->type == nlp::kDouble) o.pod(slp.controls.dbls[slot]);
    else o.str(slp.controls.strs[slot]);
  }
  write_results(o, slp.results);
}

LayerPart read_layer(In &in, const ModelStore &m) {
  LayerPart l;
  auto col_ok = [&](int c) { return c >= 0 && c < m.ncols(); };
  for (size_t k = in.count(12); k > 0; --k) {
    int col = in.pod<int>();
    l.initval[col] = in.pod<double>();
    if (!col_ok(col)) in.bad("an initial value out of range");
  }
  for (size_t k = in.count(60); k > 0; --k) {
    int col = in.pod<int>();
    nlp::VarSettings v;
    for (int *i : {&v.detrow, &v.tolset, &v.history, &v.converged, &v.vartype}) *i = in.pod<int>();
    for (double *d : {&v.initstepbound, &v.stepbound, &v.penalty, &v.damp, &v.value}) *d = in.pod<double>();
    if (!col_ok(col) || v.detrow < -1 || v.detrow >= m.nrows()) in.bad("column settings out of range");
    l.vars[col] = v;
  }
  for (size_t k = in.count(8); k > 0; --k) {
    int row = in.pod<int>();
    l.rowstatus[row] = in.pod<int>();
    if (row < 0 || row >= m.nrows()) in.bad("a row status out of range");
  }
  for (size_t k = in.count(5); k > 0; --k) {
    int id = in.pod<int>();
    int type = in.pod<uint8_t>();
    if (type == nlp::kInt) l.ints.emplace_back(id, in.pod<int64_t>());
    else if (type == nlp::kDouble) l.dbls.emplace_back(id, in.pod<double>());
    else if (type == nlp::kString) l.strs.emplace_back(id, in.str());
    else in.bad("a nonlinear control of unknown type");
  }
  nlp::Results &r = l.results;
  r.nlpstatus = in.pod<int>();
  r.layer_status = in.pod<int>();
  r.objval = in.pod<double>();
  r.iterations = in.pod<int>();
  r.solvetime = in.pod<double>();
  r.maxviolation = in.pod<double>();
  r.has_solution = in.pod<uint8_t>() != 0;
  r.x = in.vec<double>();
  r.slack = in.vec<double>();
  r.duals = in.vec<double>();
  r.djs = in.vec<double>();
  return l;
}

bool file_exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool has_extension(const std::string &path) {
  size_t slash = path.find_last_of('/');
  return path.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

}  // namespace

std::string snapshot_name(const Problem &prob) {
  return (prob.model.name.empty() ? std::string("noname") : prob.model.name) + ".svf";
}

bool any_version_flag(const char *flags, const char *fn) {
  bool any_version = false;
  for (const char *f = flags ? flags : ""; *f; ++f) {
    if (*f == 'f') any_version = true;
    else fail(KLVO_ERR_INVALID_ARGUMENT, "%s: invalid flag '%c' (expected f)", fn, *f);
  }
  return any_version;
}

std::string snapshot_bytes(Problem &prob) {
  Out o;
  o.buf.append(kMagic, sizeof kMagic);
  o.pod(kFormat);
  o.pod(kByteOrder);
  o.str(version_text());
  write_model(o, prob.model);
  write_controls(o, prob.params, 1 + static_cast<int>(prob.model.objn.size()));
  write_solution(o, prob.solution);
  o.pod(static_cast<uint8_t>(prob.slp != nullptr));
  if (prob.slp) write_layer(o, *prob.slp);
  o.pod(fnv1a(o.buf.data(), o.buf.size()));
  return std::move(o.buf);
}

void save_snapshot(Problem &prob, const char *path, const char *fn) {
  if (!path || !*path) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", fn);
  std::string target = path;
  if (!has_extension(target)) target += ".svf";
  write_text_file(target, snapshot_bytes(prob), fn);
}

void restore_snapshot(Problem &prob, const char *probname, const char *flags, const char *fn) {
  bool any_version = any_version_flag(flags, fn);
  std::string base = probname && *probname ? probname : prob.model.name.empty() ? "noname" : prob.model.name;
  std::string path = base + ".svf";
  if (!file_exists(path)) {
    if (!file_exists(base))
      fail(KLVO_ERR_FILE, "%s: no snapshot '%s' (nor '%s') to restore", fn, path.c_str(), base.c_str());
    path = base;
  }
  std::ifstream file(path, std::ios::binary);
  std::string buf((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) fail(KLVO_ERR_FILE, "%s: cannot read '%s'", fn, path.c_str());
  restore_snapshot_bytes(prob, buf, path, any_version, fn);
}

void restore_snapshot_bytes(Problem &prob, const std::string &buf, const std::string &path, bool any_version,
                            const char *fn) {
  In in(buf, path, fn);
  if (buf.size() < sizeof kMagic + 8 || std::memcmp(buf.data(), kMagic, sizeof kMagic) != 0)
    in.bad("it does not start as one");
  uint64_t sum;
  std::memcpy(&sum, buf.data() + buf.size() - 8, 8);
  if (sum != fnv1a(buf.data(), buf.size() - 8)) in.bad("its checksum does not match (the file is damaged)");
  std::string body = buf.substr(sizeof kMagic, buf.size() - sizeof kMagic - 8);
  In b(body, path, fn);
  if (b.pod<uint32_t>() != kFormat) b.bad("it has an unknown format version");
  if (b.pod<uint32_t>() != kByteOrder) b.bad("it was written on a machine of another byte order");
  std::string version = b.str();
  if (version != version_text() && !any_version)
    fail(KLVO_ERR_FILE, "%s: '%s' was written by klvo %s, this is klvo %s (flag 'f' restores it anyway)", fn,
         path.c_str(), version.c_str(), version_text().c_str());

  ModelStore m;
  ParamStore controls;
  SolutionStore solution;
  LayerPart layer;
  bool with_layer = false;
  try {
    m = read_model(b, fn);
    read_controls(b, controls);
    solution = read_solution(b, m);
    with_layer = b.pod<uint8_t>() != 0;
    if (with_layer) layer = read_layer(b, m);
    if (!b.done()) b.bad("it has data after its end");
  } catch (const Error &e) {
    // A value the model or the controls refuse means a damaged file.
    if (e.code() == KLVO_ERR_FILE) throw;
    fail(KLVO_ERR_FILE, "%s: '%s' is not a valid klvo snapshot: %s", fn, path.c_str(), e.what());
  }
  kslp_problem_s *slp = prob.slp;
  if (with_layer && !slp)
    fail(KLVO_ERR_NOT_INITIALIZED,
         "%s: '%s' holds a problem with a nonlinear layer; restore it into a problem that has one (KSLPcreateprob)", fn,
         path.c_str());
  if (slp)
    for (const FormulaEntry &e : m.formulas.entries())
      for (const FormulaToken &t : e.tokens)
        if (t.type == kUserFunc && !slp->users->find(static_cast<int>(t.value)))
          fail(KLVO_ERR_INVALID_ARGUMENT,
               "%s: the formulas of '%s' call user function %d, which this layer does not have", fn, path.c_str(),
               static_cast<int>(t.value));

  // Everything is read and checked: replace the problem.
  m.revision = prob.model.revision + 1;
  std::swap(prob.model, m);
  prob.params.copy_from(controls);
  prob.solution = std::move(solution);
  prob.engine.reset();
  if (slp) {
    slp->model_replaced();
    if (with_layer) {
      slp->initval = std::move(layer.initval);
      slp->vars = std::move(layer.vars);
      slp->rowstatus = std::move(layer.rowstatus);
      for (const auto &[id, v] : layer.ints)
        if (const nlp::ParamInfo *p = nlp::find_param(id); p && p->control && p->type == nlp::kInt)
          slp->controls.ints[nlp::ControlValues::slot(*p)] = v;
      for (const auto &[id, v] : layer.dbls)
        if (const nlp::ParamInfo *p = nlp::find_param(id); p && p->control && p->type == nlp::kDouble)
          slp->controls.dbls[nlp::ControlValues::slot(*p)] = v;
      for (const auto &[id, v] : layer.strs)
        if (const nlp::ParamInfo *p = nlp::find_param(id); p && p->control && p->type == nlp::kString)
          slp->controls.strs[nlp::ControlValues::slot(*p)] = v;
      slp->results = std::move(layer.results);
    }
  }
}

}  // namespace klvo
