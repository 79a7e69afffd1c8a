// Handles of the nonlinear layer, its catalogues, controls and attributes.
#include "engines/nlp/layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "engines/nlp/slp/slp_events.h"
#include "env/environment.h"
#include "env/objects.h"
#include "env/problem.h"

using klvo::Environment;
using klvo::fail;
namespace nlp = klvo::nlp;

kslp_problem_s::kslp_problem_s(KLVOprob base) : prob(base) { klvo::register_object(this, "KSLPprob"); }

kslp_problem_s::~kslp_problem_s() { klvo::forget_object(this); }

void kslp_problem_s::message(int msgtype, const std::string &text) {
  // The layer's messages are its problem's log: the problem's code settings and log file apply.
  if (prob && !prob->message_settings.sent(KLVO_MSGCODE_SOLVER)) return;
  KSLPmessagecb fn;
  void *data;
  {
    std::lock_guard<std::mutex> lock(message_mutex_);
    fn = message_fn_;
    data = message_data_;
  }
  int len = static_cast<int>(text.size());
  if (fn) fn(this, data, text.c_str(), len, msgtype);
  Environment::get().dispatch_message(this, text.c_str(), len, msgtype);
  if (prob) prob->message_settings.log(msgtype, text);
}

void kslp_problem_s::set_message_callback(KSLPmessagecb f, void *data) {
  std::lock_guard<std::mutex> lock(message_mutex_);
  message_fn_ = f;
  message_data_ = f ? data : nullptr;
}

void kslp_problem_s::set_event(int kind, void (*fn)(), void *data) {
  std::lock_guard<std::mutex> lock(event_mutex_);
  events_[kind].fn = fn;
  events_[kind].data = fn ? data : nullptr;
}

kslp_problem_s::EventFn kslp_problem_s::event(int kind) const {
  std::lock_guard<std::mutex> lock(event_mutex_);
  return events_[kind];
}

const klvo::FormulaStore &kslp_problem_s::formulas() const {
  static const klvo::FormulaStore none;
  return prob ? prob->model.formulas : none;
}

klvo::FormulaStore &kslp_problem_s::formulas(const char *function) {
  if (!prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", function);
  return prob->model.formulas;
}

int kslp_problem_s::ncols() const { return prob ? prob->model.ncols() : 0; }
int kslp_problem_s::nrows() const { return prob ? prob->model.nrows() : 0; }

namespace klvo {
namespace nlp {

namespace {

const ParamInfo &param(int id, const char *function) {
  const ParamInfo *p = find_param(id);
  if (!p) fail(KLVO_ERR_UNKNOWN_ID, "%s: the nonlinear layer has no control or attribute with id %d", function, id);
  return *p;
}

const ParamInfo &control(int id, int type, const char *function) {
  const ParamInfo &p = param(id, function);
  if (!p.control) fail(KLVO_ERR_UNKNOWN_ID, "%s: %d (%s) is an attribute, not a control", function, id, p.name);
  if (p.type != type) fail(KLVO_ERR_WRONG_TYPE, "%s: control %d (%s) is not of this type", function, id, p.name);
  return p;
}

const ParamInfo &attribute(int id, int type, const char *function) {
  const ParamInfo &p = param(id, function);
  if (p.control) fail(KLVO_ERR_UNKNOWN_ID, "%s: %d (%s) is a control, not an attribute", function, id, p.name);
  if (p.type != type) fail(KLVO_ERR_WRONG_TYPE, "%s: attribute %d (%s) is not of this type", function, id, p.name);
  return p;
}

int64_t attribute_int(const Problem &prob, int id) {
  const kslp_problem_s *slp = prob.slp;
  switch (id) {
    case kAttrRows: return prob.model.nrows();
    case kAttrCols: return prob.model.ncols();
    case kAttrEqualsColumn: return -1;  // formulas without a column are marked -1000 directly
    case kAttrCoefficients:
    case kAttrFormulas: {
      int64_t n = 0;
      if (slp)
        for (const FormulaEntry &e : prob.model.formulas.entries())
          if ((e.col == KSLP_NOCOLUMN) == (id == kAttrFormulas)) ++n;
      return n;
    }
    case kAttrNlpStatus: return slp ? slp->results.nlpstatus : 0;
    case kAttrLayerStatus: return slp ? slp->results.layer_status : 0;
    case kAttrIterations: return slp ? slp->results.iterations : 0;
    case kAttrValidationStatus: return slp ? slp->validation.status : 0;
    case kAttrMsWinner: return slp ? slp->multistart.winner : 0;
    default: return 0;
  }
}

double attribute_dbl(const Problem &prob, int id) {
  const kslp_problem_s *slp = prob.slp;
  switch (id) {
    case kAttrObjVal: return slp ? slp->results.objval : 0.0;
    case kAttrSolveTime: return slp ? slp->results.solvetime : 0.0;
    case kAttrMaxViolation: return slp ? slp->results.maxviolation : 0.0;
    case kAttrValidationAbs: return slp ? slp->validation.abs_violation : 0.0;
    case kAttrValidationRel: return slp ? slp->validation.rel_violation : 0.0;
    case kAttrValidationKkt: return slp ? slp->validation.kkt_residual : 0.0;
    default: return 0.0;
  }
}

void check_range(const ParamInfo &p, double v, const char *function) {
  if (!(v >= p.lo && v <= p.hi))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: value %g of control %s is outside [%g, %g]", function, v, p.name, p.lo, p.hi);
}



}  // namespace

void fill_catalogue(int which, const int **ids, const char *const **names, const int **flags, int *count) {
  struct Arrays {
    std::vector<int> ids, flags;
    std::vector<const char *> names;
    explicit Arrays(int which) {
      for (const ParamInfo *p : catalogue(which)) {
        ids.push_back(p->id);
        names.push_back(p->name);
        flags.push_back(param_flags(*p));
      }
      ids.push_back(0);
      names.push_back("");
      flags.push_back(0);
    }
  };
  static const Arrays first(1), second(2);
  const Arrays &a = which == 2 ? second : first;
  if (ids) *ids = a.ids.data();
  if (names) *names = a.names.data();
  if (flags) *flags = a.flags.data();
  if (count) *count = static_cast<int>(a.ids.size()) - 1;
}


void set_int_control(kslp_problem_s *slp, int id, int64_t value, const char *function) {
  const ParamInfo &p = control(id, kInt, function);
  check_range(p, static_cast<double>(value), function);
  slp->controls.ints[ControlValues::slot(p)] = value;
}

int64_t get_int_control(const kslp_problem_s *slp, int id, const char *function) {
  const ParamInfo &p = control(id, kInt, function);
  return slp->controls.ints[ControlValues::slot(p)];
}

int64_t int_control(const kslp_problem_s *slp, int id) {
  const ParamInfo *p = find_param(id);
  if (!slp) return static_cast<int64_t>(p->def);
  return slp->controls.ints[ControlValues::slot(*p)];
}

double dbl_control(const kslp_problem_s *slp, int id) {
  const ParamInfo *p = find_param(id);
  if (!slp) return p->def;
  return slp->controls.dbls[ControlValues::slot(*p)];
}

std::string str_control(const kslp_problem_s *slp, int id) {
  const ParamInfo *p = find_param(id);
  if (!slp) return p->sdef ? p->sdef : "";
  return slp->controls.strs[ControlValues::slot(*p)];
}

bool has_formulas(const Problem &prob) { return prob.slp && !prob.model.formulas.empty(); }

int formula_count(const Problem &prob) { return prob.slp ? prob.model.formulas.size() : 0; }

bool forward_get(Problem &prob, int id, bool control, int type, int64_t *i, double *d, std::string *s) {
  const ParamInfo *p = find_param(id);
  if (!p) return false;
  if (p->control != control || p->type != type)
    fail(p->control != control ? KLVO_ERR_UNKNOWN_ID : KLVO_ERR_WRONG_TYPE,
         "Nonlinear-layer %s %d (%s) is not read this way", p->control ? "control" : "attribute", id, p->name);
  if (type == kInt) *i = control ? int_control(prob.slp, id) : attribute_int(prob, id);
  if (type == kDouble) {
    if (id == kCtrlObjSense) *d = prob.model.objsense;
    else *d = control ? dbl_control(prob.slp, id) : attribute_dbl(prob, id);
  }
  if (type == kString) *s = str_control(prob.slp, id);
  return true;
}

bool forward_set(Problem &prob, int id, int type, int64_t i, double d, const char *s, const char *fn) {
  const ParamInfo *p = find_param(id);
  if (!p) return false;
  if (!p->control || p->type != type)
    fail(!p->control ? KLVO_ERR_UNKNOWN_ID : KLVO_ERR_WRONG_TYPE, "Nonlinear-layer %s %d (%s) is not set this way",
         p->control ? "control" : "attribute", id, p->name);
  KSLPprob slp = prob.slp;
  if (!slp) fail(KLVO_ERR_NOT_INITIALIZED, "Control %d (%s) belongs to the nonlinear layer, which this problem does not have", id, p->name);
  if (type == kInt) set_int_control(slp, id, i, fn);
  else if (type == kDouble) set_dbl_control(*slp, id, d, fn);
  else set_str_control(*slp, id, s, fn);
  return true;
}

namespace {
std::vector<int> sorted_unique(int n, const int *index) {
  std::vector<int> v(index, index + (n > 0 && index ? n : 0));
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}
}  // namespace

}  // namespace nlp
}  // namespace klvo

using namespace klvo::nlp;

// Initial values, column settings, row statuses and results of the old model are dropped;
// controls and user functions stay.
void kslp_problem_s::model_replaced() {
  compiled.reset();
  initval.clear();
  vars.clear();
  rowstatus.clear();
  rowweight.clear();
  dfs.clear();
  lin_value.clear();
  lin_maxderiv.clear();
  lp_column.clear();
  lp_row.clear();
  cascade_order.clear();
  results = Results();
}

std::function<void()> kslp_problem_s::rows_deleting(int n, const int *index) {
  if (n <= 0) return [] {};
  auto deleted = std::make_shared<std::vector<int>>(sorted_unique(n, index));
  auto status = std::make_shared<std::map<int, int>>();
  for (const auto &kv : rowstatus) {
    auto it = std::lower_bound(deleted->begin(), deleted->end(), kv.first);
    if (it == deleted->end() || *it != kv.first)
      (*status)[kv.first - static_cast<int>(it - deleted->begin())] = kv.second;
  }
  auto weight = std::make_shared<std::map<int, double>>();
  for (const auto &kv : rowweight) {
    auto it = std::lower_bound(deleted->begin(), deleted->end(), kv.first);
    if (it == deleted->end() || *it != kv.first)
      (*weight)[kv.first - static_cast<int>(it - deleted->begin())] = kv.second;
  }
  auto df = std::make_shared<std::map<std::pair<int, int>, double>>();
  for (const auto &kv : dfs) {
    int r = kv.first.second;
    auto it = std::lower_bound(deleted->begin(), deleted->end(), r);
    if (it == deleted->end() || *it != r)
      (*df)[{kv.first.first, r - static_cast<int>(it - deleted->begin())}] = kv.second;
  }
  return [this, deleted, status, weight, df] {
    rowstatus.swap(*status);
    rowweight.swap(*weight);
    dfs.swap(*df);
    lin_value.clear();
    lin_maxderiv.clear();
    lp_column.clear();
    lp_row.clear();
    cascade_order.clear();
    for (auto &kv : vars) {
      int &d = kv.second.detrow;
      if (d < 0) continue;
      auto it = std::lower_bound(deleted->begin(), deleted->end(), d);
      d = (it != deleted->end() && *it == d) ? -1 : d - static_cast<int>(it - deleted->begin());
    }
  };
}

std::function<void()> kslp_problem_s::cols_deleting(int n, const int *index) {
  if (n <= 0) return [] {};
  std::vector<int> deleted = sorted_unique(n, index);
  auto gone = [&](int c) { return std::binary_search(deleted.begin(), deleted.end(), c); };
  auto shift = [&](int c) { return c - static_cast<int>(std::lower_bound(deleted.begin(), deleted.end(), c) - deleted.begin()); };
  auto init = std::make_shared<std::map<int, double>>();
  for (const auto &kv : initval)
    if (!gone(kv.first)) (*init)[shift(kv.first)] = kv.second;
  auto settings = std::make_shared<std::map<int, VarSettings>>();
  for (const auto &kv : vars)
    if (!gone(kv.first)) (*settings)[shift(kv.first)] = kv.second;
  auto df = std::make_shared<std::map<std::pair<int, int>, double>>();
  for (const auto &kv : dfs)
    if (!gone(kv.first.first)) (*df)[{shift(kv.first.first), kv.first.second}] = kv.second;
  auto jobs = std::make_shared<std::vector<nlp::MsJob>>(nlp::jobs_after_deletion(multistart.jobs, deleted));
  return [this, init, settings, df, jobs] {
    initval.swap(*init);
    vars.swap(*settings);
    dfs.swap(*df);
    multistart.jobs.swap(*jobs);
    lin_value.clear();
    lin_maxderiv.clear();
    lp_column.clear();
    lp_row.clear();
    cascade_order.clear();
    results = Results();
  };
}

namespace klvo {
namespace nlp {

// ---- Handles.

KSLPprob create_layer(KLVOprob *prob, const char *fn) {
  if (!prob || !*prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null argument", fn);
  if (Environment::get().slp_count() <= 0)
    fail(KLVO_ERR_NOT_INITIALIZED, "%s: the nonlinear layer is not initialized; call KSLPinit first", fn);
  if ((*prob)->slp) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the problem already has a nonlinear layer", fn);
  KSLPprob slp = new kslp_problem_s(*prob);
  (*prob)->slp = slp;
  (*prob)->layer = slp;
  return slp;
}

void destroy_layer(KSLPprob slp, const char *fn) {
  if (!slp) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null nonlinear-layer handle", fn);
  fire(slp, KSLP_CB_DESTROY);
  if (slp->prob && slp->prob->slp == slp) {
    // The formulas may call the layer's user functions: they go with it.
    slp->prob->model.formulas.clear();
    slp->prob->slp = nullptr;
    slp->prob->layer = nullptr;
  }
  delete slp;
}

Problem &layer_problem(const kslp_problem_s &slp, const char *fn) {
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  return *slp.prob;
}

void check_col(const kslp_problem_s &slp, int col, const char *fn) {
  if (col < 0 || col >= slp.ncols())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range (the problem has %d columns)", fn, col, slp.ncols());
}

void check_row(const kslp_problem_s &slp, int row, const char *fn) {
  if (row < 0 || row >= slp.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range (the problem has %d rows)", fn, row, slp.nrows());
}

void copy_layer(kslp_problem_s &dest, const kslp_problem_s *src, const char *fn) {
  if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null source handle", fn);
  if (src == &dest) return;
  if (dest.ncols() != src->ncols() || dest.nrows() != src->nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT,
         "%s: the destination problem has %d rows and %d columns, the source %d and %d; copy the problem first", fn,
         dest.nrows(), dest.ncols(), src->nrows(), src->ncols());
  FormulaStore &formulas = dest.formulas(fn);
  copy_settings(dest, *src);
  formulas = src->formulas();
}

void copy_settings(kslp_problem_s &dest, const kslp_problem_s &src) {
  // Deep copy of the user functions: formulas compiled for the copy must point at its records.
  auto users = std::make_shared<UserFunctions>();
  for (const auto &u : src.users->items) users->items.push_back(std::make_unique<UserFunction>(*u));
  dest.users = std::move(users);
  dest.compiled.reset();
  dest.initval = src.initval;
  dest.vars = src.vars;
  dest.rowstatus = src.rowstatus;
  dest.rowweight = src.rowweight;
  dest.tolsets = src.tolsets;
  dest.dfs = src.dfs;
  dest.controls = src.controls;
  dest.results = Results();
}

void copy_controls(kslp_problem_s &dest, const kslp_problem_s *src, const char *fn) {
  if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null source handle", fn);
  dest.controls = src->controls;
  if (dest.prob && src->prob) dest.prob->model.objsense = src->prob->model.objsense;
}

void interrupt(kslp_problem_s &slp, int reason) {
  slp.interrupt_reason = reason > 0 ? reason : 1;
  if (slp.prob) slp.prob->interrupt_reason = reason > 0 ? reason : 1;
}

// ---- Controls and attributes.

void control_code(const char *name, int *id, int *flags, const char *fn) {
  if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null name", fn);
  const ParamInfo *p = find_param(std::string(name));
  if (id) *id = p ? p->id : 0;
  if (flags) *flags = p ? param_flags(*p) : 0;
}

double get_dbl_control(const kslp_problem_s &slp, int id, const char *fn) {
  const ParamInfo &p = control(id, kDouble, fn);
  if (id == kCtrlObjSense && slp.prob) return slp.prob->model.objsense;
  return slp.controls.dbls[ControlValues::slot(p)];
}

void set_dbl_control(kslp_problem_s &slp, int id, double value, const char *fn) {
  const ParamInfo &p = control(id, kDouble, fn);
  if (id == kCtrlObjSense) {
    if (value != 1.0 && value != -1.0)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the objective sense must be 1 (minimize) or -1 (maximize), not %g", fn, value);
    if (slp.prob) {
      slp.prob->model.objsense = value > 0 ? 1 : -1;
      slp.prob->model.touch();
    }
  }
  check_range(p, value, fn);
  slp.controls.dbls[ControlValues::slot(p)] = value;
}

void get_str_control(const kslp_problem_s &slp, int id, char *value, int maxbytes, int *nbytes, const char *fn) {
  const ParamInfo &p = control(id, kString, fn);
  const std::string &s = slp.controls.strs[ControlValues::slot(p)];
  if (nbytes) *nbytes = static_cast<int>(s.size()) + 1;
  if (value) {
    if (maxbytes < static_cast<int>(s.size()) + 1)
      fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the buffer of %d bytes cannot hold %d", fn, maxbytes,
           static_cast<int>(s.size()) + 1);
    std::memcpy(value, s.c_str(), s.size() + 1);
  }
}

void set_str_control(kslp_problem_s &slp, int id, const char *value, const char *fn) {
  const ParamInfo &p = control(id, kString, fn);
  if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value", fn);
  slp.controls.strs[ControlValues::slot(p)] = value;
}

int64_t get_int_attrib(const kslp_problem_s &slp, int id, const char *fn) {
  attribute(id, kInt, fn);
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  return attribute_int(*slp.prob, id);
}

double get_dbl_attrib(const kslp_problem_s &slp, int id, const char *fn) {
  attribute(id, kDouble, fn);
  if (!slp.prob) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the layer's problem has been destroyed", fn);
  return attribute_dbl(*slp.prob, id);
}

void *get_ptr_attrib(const kslp_problem_s &slp, int id, const char *fn) {
  attribute(id, kPointer, fn);
  return slp.prob;
}

// ---- Solve state and user functions.

void unconstruct(kslp_problem_s &slp) {
  slp.compiled.reset();
  slp.results.layer_status &= ~kStatusConstructed;
}

void postsolve(kslp_problem_s &slp) { slp.results.layer_status &= ~kStatusSolved; }

int add_user_function(kslp_problem_s &slp, const char *name, int type, int nin, int nout, int flags, KSLPuserfunction fn,
                      void *data, const char *function) {
  if (!fn) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null function", function);
  if (type != 2 && type != 5)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: type %d is not 2 (values) or 5 (values and derivatives)", function, type);
  if (nin < 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a user function needs at least one argument", function);
  if (nout != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a user function returns one value, not %d", function, nout);
  if (flags != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: flags must be 0", function);
  auto u = std::make_unique<UserFunction>();
  u->name = name ? name : "";
  u->type = type;
  u->arity = nin;
  u->fn = fn;
  u->data = data;
  slp.users->items.push_back(std::move(u));
  return static_cast<int>(slp.users->items.size());
}

}  // namespace nlp
}  // namespace klvo
