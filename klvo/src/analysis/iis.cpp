// Irreducible infeasible sets: HiGHS finds a set, a deletion filter makes it irreducible, and
// a search over relaxations of the sets found so far finds the others.
#include "analysis/iis.h"
#include "engines/highs/instances.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <sstream>

#include "analysis/analysis.h"
#include "analysis/engine_access.h"
#include "io/problem_file.h"

namespace klvo {

namespace {

constexpr double kInf = INFINITY;
constexpr int kMaxTrials = 1000;
constexpr int kMaxSets = 1000;

// A fresh, silent HiGHS instance for one auxiliary solve.
struct Aux {
  void *h = new_highs_instance();
  Aux() {
    Highs_setBoolOptionValue(h, "output_flag", 0);
  }
  ~Aux() { free_highs_instance(h); }
  Aux(const Aux &) = delete;
  Aux &operator=(const Aux &) = delete;
};

// The continuous relaxation as a feasibility problem (no objective): IIS work only asks
// whether constraints can hold together.
HighsModel feasibility_model(const ModelStore &m) {
  HighsModel base;
  build_highs_model(m, true, base, false);  // the user's units: measure() reads the user's rows
  std::fill(base.cost.begin(), base.cost.end(), 0.0);
  base.qstart.clear(), base.qindex.clear(), base.qvalue.clear();
  base.offset = 0.0;
  return base;
}

// The base model with the given elements dropped (relax) or with only them kept (keep).
HighsModel with_elements(const HighsModel &base, const std::vector<int> &elements, bool keep) {
  HighsModel m = base;
  int rows = base.nrows;
  std::vector<char> in(rows + 2 * static_cast<size_t>(base.ncols), 0);
  for (int e : elements) in[e] = 1;
  for (int i = 0; i < rows; ++i)
    if (in[i] != keep) m.row_lower[i] = -kInf, m.row_upper[i] = kInf;
  for (int j = 0; j < base.ncols; ++j) {
    if (in[rows + 2 * j] != keep) m.col_lower[j] = -kInf;
    if (in[rows + 2 * j + 1] != keep) m.col_upper[j] = kInf;
  }
  return m;
}

void pass(void *h, const HighsModel &m, const char *fn) {
  if (Highs_passLp(h, m.ncols, m.nrows, static_cast<HighsInt>(m.index.size()), kHighsMatrixFormatColwise, 1, 0.0,
                   m.cost.data(), m.col_lower.data(), m.col_upper.data(), m.row_lower.data(), m.row_upper.data(),
                   m.start.data(), m.index.data(), m.value.data()) == kHighsStatusError)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS refused the model", fn);
}

// The verdict of the last run on h: 1 infeasible, 0 feasible, -1 undecided.
int verdict(void *h, HighsInt run) {
  if (run == kHighsStatusError) return -1;
  HighsInt st = Highs_getModelStatus(h);
  if (st == kHighsModelStatusInfeasible) return 1;
  if (st == kHighsModelStatusOptimal || st == kHighsModelStatusModelEmpty) return 0;
  return -1;
}

bool infeasible(const HighsModel &m, const char *fn) {
  Aux aux;
  pass(aux.h, m, fn);
  int v = verdict(aux.h, Highs_run(aux.h));
  if (v < 0) {
    // The simplex gives up on some systems of free columns that the interior point method
    // decides.
    Highs_setStringOptionValue(aux.h, "solver", "ipm");
    Highs_setStringOptionValue(aux.h, "presolve", "off");
    Highs_clearSolver(aux.h);
    v = verdict(aux.h, Highs_run(aux.h));
  }
  if (v < 0)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not decide feasibility (model status %d)", fn,
         static_cast<int>(Highs_getModelStatus(aux.h)));
  return v == 1;
}

// A set of the model from HiGHS (empty when the model is feasible).
std::vector<int> engine_set(const HighsModel &m, int mode, const char *fn) {
  Aux aux;
  Highs_setIntOptionValue(aux.h, "iis_strategy", mode == 0 ? kHighsIisStrategyFromLpRowPriority : 1);
  pass(aux.h, m, fn);
  if (Highs_run(aux.h) == kHighsStatusError) fail(KLVO_ERR_ENGINE, "%s: HiGHS failed on a trial solve", fn);
  if (Highs_getModelStatus(aux.h) != kHighsModelStatusInfeasible) return {};
  size_t size = static_cast<size_t>(std::max(m.ncols, m.nrows)) + 1;
  std::vector<HighsInt> colind(size), rowind(size), colbnd(size), rowbnd(size), colst(size), rowst(size);
  HighsInt ncol = 0, nrow = 0;
  if (Highs_getIis(aux.h, &ncol, &nrow, colind.data(), rowind.data(), colbnd.data(), rowbnd.data(), colst.data(),
                   rowst.data()) == kHighsStatusError)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not find an infeasible set", fn);
  std::vector<int> elements;
  for (HighsInt k = 0; k < nrow; ++k) elements.push_back(rowind[k]);
  for (HighsInt k = 0; k < ncol; ++k) {
    int j = colind[k];
    if (colbnd[k] == kHighsIisBoundLower || colbnd[k] == kHighsIisBoundBoxed) elements.push_back(m.nrows + 2 * j);
    if (colbnd[k] == kHighsIisBoundUpper || colbnd[k] == kHighsIisBoundBoxed) elements.push_back(m.nrows + 2 * j + 1);
  }
  std::sort(elements.begin(), elements.end());
  elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
  return elements;
}

// One instance holding the model with elements switched off and on one at a time, so that
// each solve starts from the basis of the one before.
class Switchable {
 public:
  Switchable(const HighsModel &base, HighsModel start, const char *fn) : base_(base), now_(std::move(start)), fn_(fn) {
    pass(aux_.h, now_, fn);
  }
  // Keeps (on) or drops (off) the row or bound e.
  void set(int e, bool on) {
    if (e < base_.nrows) {
      now_.row_lower[e] = on ? base_.row_lower[e] : -kInf;
      now_.row_upper[e] = on ? base_.row_upper[e] : kInf;
      Highs_changeRowBounds(aux_.h, e, now_.row_lower[e], now_.row_upper[e]);
    } else {
      int j = (e - base_.nrows) / 2;
      if ((e - base_.nrows) % 2 == 0) now_.col_lower[j] = on ? base_.col_lower[j] : -kInf;
      else now_.col_upper[j] = on ? base_.col_upper[j] : kInf;
      Highs_changeColBounds(aux_.h, j, now_.col_lower[j], now_.col_upper[j]);
    }
  }
  // An undecided warm run is repeated from scratch.
  bool is_infeasible() {
    int v = verdict(aux_.h, Highs_run(aux_.h));
    return v < 0 ? infeasible(now_, fn_) : v == 1;
  }
  const HighsModel &model() const { return now_; }

 private:
  const HighsModel &base_;
  HighsModel now_;
  const char *fn_;
  Aux aux_;
};

// Deletion filter: drops every element without which the kept ones stay infeasible. What is
// left is irreducible: dropping any one of them gives a feasible set.
std::vector<int> irreducible(const HighsModel &base, std::vector<int> elements, const char *fn) {
  Switchable model(base, with_elements(base, elements, true), fn);
  std::vector<int> kept;
  for (int e : elements) {
    model.set(e, false);
    if (!model.is_infeasible()) {
      model.set(e, true);
      kept.push_back(e);
    }
  }
  return kept;
}

bool finite_bound(const HighsModel &base, int e) {
  int j = (e - base.nrows) / 2;
  return (e - base.nrows) % 2 == 0 ? std::isfinite(base.col_lower[j]) : std::isfinite(base.col_upper[j]);
}

// The least total violation of the elements' constraints: an elastic copy of them where each
// row and bound may be violated at unit cost.
void measure(const ModelStore &store, const HighsModel &base, IisSet &set, const char *fn) {
  int n = base.ncols;
  std::vector<double> cost(n, 0.0), lo(n, -kInf), up(n, kInf), rlo, rup, value;
  std::vector<HighsInt> start{0}, index;
  auto elastic = [&](double sign) {
    cost.push_back(1.0), lo.push_back(0.0), up.push_back(kInf);
    index.push_back(static_cast<HighsInt>(cost.size() - 1));
    value.push_back(sign);
  };
  for (int e : set.elements) {
    double l, u;
    if (e < base.nrows) {
      for (const Entry &en : store.rowentries[e]) index.push_back(en.index), value.push_back(en.value);
      l = base.row_lower[e], u = base.row_upper[e];
    } else {
      int j = (e - base.nrows) / 2;
      index.push_back(j), value.push_back(1.0);
      bool lower = (e - base.nrows) % 2 == 0;
      l = lower ? base.col_lower[j] : -kInf;
      u = lower ? kInf : base.col_upper[j];
    }
    if (std::isfinite(l)) elastic(1.0);
    if (std::isfinite(u)) elastic(-1.0);
    rlo.push_back(l), rup.push_back(u);
    start.push_back(static_cast<HighsInt>(index.size()));
  }
  int ncol = static_cast<int>(cost.size()), nrow = static_cast<int>(rlo.size());
  Aux aux;
  if (Highs_passLp(aux.h, ncol, nrow, static_cast<HighsInt>(index.size()), kHighsMatrixFormatRowwise, 1, 0.0,
                   cost.data(), lo.data(), up.data(), rlo.data(), rup.data(), start.data(), index.data(),
                   value.data()) == kHighsStatusError ||
      Highs_run(aux.h) == kHighsStatusError || Highs_getModelStatus(aux.h) != kHighsModelStatusOptimal)
    fail(KLVO_ERR_ENGINE, "%s: HiGHS could not measure the infeasibility of a set", fn);
  std::vector<double> x(ncol), dj(ncol), act(nrow), dual(nrow);
  Highs_getSolution(aux.h, x.data(), dj.data(), act.data(), dual.data());
  set.suminfeas = Highs_getObjectiveValue(aux.h);
  set.rates = dual;
  // Row activities include the elastic terms; count violations from x alone.
  double tol = 1e-9;
  set.numinfeas = 0;
  for (int r = 0; r < nrow; ++r) {
    double a = 0;
    for (HighsInt k = start[r]; k < start[r + 1]; ++k)
      if (index[k] < n) a += value[k] * x[index[k]];
    if (a < rlo[r] - tol * (1 + std::fabs(rlo[r])) || a > rup[r] + tol * (1 + std::fabs(rup[r]))) ++set.numinfeas;
  }
}

IisSearch *current(Problem &prob) {
  IisSearch *s = prob.iis.get();
  return s && s->revision == prob.model.revision && s->rows == prob.model.nrows() && s->cols == prob.model.ncols()
             ? s
             : nullptr;
}

IisSearch &started(Problem &prob, const char *fn) {
  IisSearch *s = current(prob);
  if (!s) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no IIS search has been started on the problem as it is now", fn);
  return *s;
}

const IisSet &set_number(Problem &prob, int num, const char *fn) {
  IisSearch *s = current(prob);
  int count = s ? static_cast<int>(s->sets.size()) : 0;
  if (num < 1 || num > count)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: there is no IIS number %d (%d found)", fn, num, count);
  return s->sets[num - 1];
}

// Tries every choice of one element of each found set to relax; 0 found, 1 none left, 2 gave
// up. found receives the new irreducible set.
int search(const HighsModel &base, const std::vector<IisSet> &sets, std::vector<int> &found, const char *fn) {
  int trials = 0;
  std::set<std::vector<int>> tried;
  std::vector<int> relaxed;
  Switchable model(base, base, fn);
  // Depth-first over the sets; a set already hit by an earlier choice needs no choice.
  std::function<int(size_t)> visit = [&](size_t k) -> int {
    if (k == sets.size()) {
      std::vector<int> key = relaxed;
      std::sort(key.begin(), key.end());
      if (!tried.insert(key).second) return 1;
      if (++trials > kMaxTrials) return 2;
      for (int e : key) model.set(e, false);
      bool still = model.is_infeasible();
      HighsModel trial = still ? model.model() : HighsModel{};
      for (int e : key) model.set(e, true);
      if (!still) return 1;
      std::vector<int> candidates = engine_set(trial, 0, fn);
      if (candidates.empty()) fail(KLVO_ERR_ENGINE, "%s: HiGHS found no infeasible set in an infeasible relaxation", fn);
      found = irreducible(base, std::move(candidates), fn);
      return 0;
    }
    const std::vector<int> &members = sets[k].elements;
    bool hit = std::any_of(members.begin(), members.end(),
                           [&](int e) { return std::find(relaxed.begin(), relaxed.end(), e) != relaxed.end(); });
    if (hit) return visit(k + 1);
    bool gave_up = false;
    for (int e : members) {
      relaxed.push_back(e);
      int r = visit(k + 1);
      relaxed.pop_back();
      if (r == 0) return 0;
      if (r == 2) gave_up = true;
      if (trials > kMaxTrials) break;
    }
    return gave_up ? 2 : 1;
  };
  return visit(0);
}

}  // namespace

int iis_first(Problem &prob, int mode, const char *fn) {
  if (mode != 0 && mode != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: mode %d is not 0 or 1", fn, mode);
  const ModelStore &m = prob.model;
  auto s = std::make_shared<IisSearch>();
  s->revision = m.revision;
  s->rows = m.nrows();
  s->cols = m.ncols();
  HighsModel base = feasibility_model(m);
  int status;
  if (!infeasible(base, fn)) {
    status = 1;
    s->exhausted = true;
  } else {
    std::vector<int> elements = engine_set(base, mode, fn);
    if (mode == 0 && !elements.empty()) elements = irreducible(base, elements, fn);
    status = elements.empty() ? 2 : 0;
    for (int i = 0; i < base.nrows; ++i) s->whole.elements.push_back(i);
    for (int e = base.nrows; e < base.nrows + 2 * base.ncols; ++e)
      if (finite_bound(base, e)) s->whole.elements.push_back(e);
    measure(m, base, s->whole, fn);
    if (status == 0) {
      IisSet set;
      set.elements = std::move(elements);
      measure(m, base, set, fn);
      s->sets.push_back(std::move(set));
    }
  }
  prob.iis = std::move(s);
  return status;
}

int iis_next(Problem &prob, const char *fn) {
  IisSearch &s = started(prob, fn);
  if (s.exhausted) return 1;
  if (s.sets.empty()) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the search found no first set to go on from", fn);
  HighsModel base = feasibility_model(prob.model);
  std::vector<int> found;
  int status = search(base, s.sets, found, fn);
  if (status == 1) s.exhausted = true;
  if (status == 0) {
    IisSet set;
    set.elements = std::move(found);
    measure(prob.model, base, set, fn);
    s.sets.push_back(std::move(set));
  }
  return status;
}

void iis_all(Problem &prob, const char *fn) {
  if (iis_first(prob, 0, fn) != 0) return;
  while (prob.iis->sets.size() < static_cast<size_t>(kMaxSets) && iis_next(prob, fn) == 0) {
  }
}

void iis_clear(Problem &prob) { prob.iis.reset(); }

void iis_status(Problem &prob, int *count, int *rowsizes, int *colsizes, double *suminfeas, int *numinfeas,
                const char *fn) {
  require_out(count, fn);
  IisSearch *s = current(prob);
  *count = s ? static_cast<int>(s->sets.size()) : 0;
  if (!*count) return;
  for (int k = 0; k <= *count; ++k) {
    const IisSet &set = k == 0 ? s->whole : s->sets[k - 1];
    int rows = 0;
    std::set<int> cols;
    for (int e : set.elements) {
      if (e < s->rows) ++rows;
      else cols.insert((e - s->rows) / 2);
    }
    if (rowsizes) rowsizes[k] = rows;
    if (colsizes) colsizes[k] = static_cast<int>(cols.size());
    if (suminfeas) suminfeas[k] = set.suminfeas;
    if (numinfeas) numinfeas[k] = set.numinfeas;
  }
}

void iis_data(Problem &prob, int num, int *nrows, int *ncols, int *rowind, int *colind, char *contype,
              char *bndtype, double *duals, double *djs, char *isorows, char *isocols, const char *fn) {
  const IisSet &set = set_number(prob, num, fn);
  const ModelStore &m = prob.model;
  int rows = m.nrows(), nr = 0, nc = 0;
  for (size_t k = 0; k < set.elements.size(); ++k) {
    int e = set.elements[k];
    if (e < rows) {
      if (rowind) rowind[nr] = e;
      if (contype) contype[nr] = m.rowtype[e];
      if (duals) duals[nr] = set.rates[k];
      if (isorows) isorows[nr] = set.isolated.empty() ? -1 : set.isolated[k];
      ++nr;
      continue;
    }
    int j = (e - rows) / 2;
    bool lower = (e - rows) % 2 == 0;
    // Both bounds of a column make one entry: the upper follows the lower in element order.
    if (!lower && k > 0 && set.elements[k - 1] == e - 1) {
      if (bndtype) bndtype[nc - 1] = 'B';
      // A column is isolated when both of its bounds are.
      if (isocols && !set.isolated.empty()) isocols[nc - 1] = static_cast<char>(std::min<int>(isocols[nc - 1], set.isolated[k]));
      if (djs) djs[nc - 1] += set.rates[k];
      continue;
    }
    if (colind) colind[nc] = j;
    if (bndtype) bndtype[nc] = lower ? 'L' : 'U';
    if (djs) djs[nc] = set.rates[k];
    if (isocols) isocols[nc] = set.isolated.empty() ? -1 : set.isolated[k];
    ++nc;
  }
  if (nrows) *nrows = nr;
  if (ncols) *ncols = nc;
}

void iis_isolations(Problem &prob, int num, const char *fn) {
  set_number(prob, num, fn);
  IisSearch &s = *current(prob);
  // Whether an element lies in another set is known once every set has been found.
  while (!s.exhausted && s.sets.size() < static_cast<size_t>(kMaxSets) && iis_next(prob, fn) == 0) {
  }
  if (!s.exhausted)
    fail(KLVO_ERR_ENGINE, "%s: the search for further sets gave up after %d trial solves; isolations are unknown",
         fn, kMaxTrials);
  IisSet &set = s.sets[num - 1];
  set.isolated.assign(set.elements.size(), 1);
  for (size_t k = 0; k < set.elements.size(); ++k)
    for (size_t other = 0; other < s.sets.size(); ++other) {
      const std::vector<int> &e = s.sets[other].elements;
      if (other != static_cast<size_t>(num - 1) && std::binary_search(e.begin(), e.end(), set.elements[k]))
        set.isolated[k] = 0;
    }
}

void iis_write(Problem &prob, int num, const char *filename, int filetype, const char *flags, const char *fn) {
  require_no_flags(flags, fn);
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name", fn);
  if (filetype != 0 && filetype != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: file type %d is not 0 or 1", fn, filetype);
  const IisSet &set = set_number(prob, num, fn);
  const ModelStore &m = prob.model;
  int rows = m.nrows();
  if (filetype == 1) {
    std::ostringstream out;
    out << "kind,index,name,type,bound,rate\n";
    for (size_t k = 0; k < set.elements.size(); ++k) {
      int e = set.elements[k];
      if (e < rows)
        out << "row," << e << ',' << m.rownames.get(e) << ',' << m.rowtype[e] << ',' << format_number(m.rhs[e])
            << ',' << format_number(set.rates[k]) << '\n';
      else {
        int j = (e - rows) / 2;
        bool lower = (e - rows) % 2 == 0;
        out << "column," << j << ',' << m.colnames.get(j) << ',' << (lower ? 'L' : 'U') << ','
            << format_number(lower ? m.lb[j] : m.ub[j]) << ',' << format_number(set.rates[k]) << '\n';
      }
    }
    write_text_file(filename, out.str(), fn);
    return;
  }
  // The subproblem: the set's rows over the columns they touch and the columns with a bound in
  // the set, each column keeping only its bounds in the set.
  std::vector<int> colmap(m.ncols(), -1), cols;
  std::vector<int> rowlist;
  auto use_col = [&](int j) {
    if (colmap[j] < 0) colmap[j] = static_cast<int>(cols.size()), cols.push_back(j);
  };
  for (int e : set.elements) {
    if (e < rows) {
      rowlist.push_back(e);
      for (const Entry &en : m.rowentries[e]) use_col(en.index);
    } else {
      use_col((e - rows) / 2);
    }
  }
  std::sort(cols.begin(), cols.end());
  for (size_t k = 0; k < cols.size(); ++k) colmap[cols[k]] = static_cast<int>(k);
  ModelStore sub;
  sub.name = m.name.empty() ? "iis" : m.name + "_iis";
  int n = static_cast<int>(cols.size());
  sub.obj.assign(n, 0.0);
  sub.lb.assign(n, -KLVO_INFINITY);
  sub.ub.assign(n, KLVO_INFINITY);
  sub.limit.assign(n, 0.0);
  sub.coltype.assign(n, 'C');
  sub.colentries.get().resize(n);
  for (int e : set.elements)
    if (e >= rows) {
      int j = (e - rows) / 2;
      if ((e - rows) % 2 == 0) sub.lb[colmap[j]] = m.lb[j];
      else sub.ub[colmap[j]] = m.ub[j];
    }
  for (int i : rowlist) {
    int r = sub.nrows();
    sub.rowtype.push_back(m.rowtype[i]);
    sub.rhs.push_back(m.rhs[i]);
    sub.range.push_back(m.range[i]);
    sub.rowentries.emplace_back();
    for (const Entry &en : m.rowentries[i]) {
      sub.rowentries.back().push_back({colmap[en.index], en.value});
      sub.colentries[colmap[en.index]].push_back({r, en.value});
    }
  }
  std::vector<std::string> rownames, colnames;
  for (int i : rowlist) rownames.push_back(m.rownames.get(i));
  for (int j : cols) colnames.push_back(m.colnames.get(j));
  sub.rownames.append_empty(sub.nrows());
  sub.colnames.append_empty(n);
  sub.rownames.assign(0, std::move(rownames));
  sub.colnames.assign(0, std::move(colnames));
  write_lp(sub, filename, fn, [&](const std::string &text) { prob.message(KLVO_MSG_WARNING, text); });
}

}  // namespace klvo
