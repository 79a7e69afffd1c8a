// Handles of the nonlinear layer, its catalogues, controls and attributes.
#include "engines/nlp/layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "env/environment.h"
#include "env/objects.h"

using klvo::Environment;
using klvo::fail;
namespace nlp = klvo::nlp;

kslp_problem_s::kslp_problem_s(KLVOprob base) : prob(base) { klvo::register_object(this, "KSLPprob"); }

kslp_problem_s::~kslp_problem_s() { klvo::forget_object(this); }

void kslp_problem_s::message(int msgtype, const std::string &text) {
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
}

void kslp_problem_s::set_message_callback(KSLPmessagecb f, void *data) {
  std::lock_guard<std::mutex> lock(message_mutex_);
  message_fn_ = f;
  message_data_ = f ? data : nullptr;
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
    default: return 0;
  }
}

double attribute_dbl(const Problem &prob, int id) {
  const kslp_problem_s *slp = prob.slp;
  switch (id) {
    case kAttrObjVal: return slp ? slp->results.objval : 0.0;
    case kAttrSolveTime: return slp ? slp->results.solvetime : 0.0;
    case kAttrMaxViolation: return slp ? slp->results.maxviolation : 0.0;
    default: return 0.0;
  }
}

void check_range(const ParamInfo &p, double v, const char *function) {
  if (!(v >= p.lo && v <= p.hi))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: value %g of control %s is outside [%g, %g]", function, v, p.name, p.lo, p.hi);
}

void set_int(kslp_problem_s *slp, int id, int64_t value, const char *function) {
  const ParamInfo &p = control(id, kInt, function);
  check_range(p, static_cast<double>(value), function);
  slp->controls.ints[ControlValues::slot(p)] = value;
}

int64_t get_int_control(const kslp_problem_s *slp, int id, const char *function) {
  const ParamInfo &p = control(id, kInt, function);
  return slp->controls.ints[ControlValues::slot(p)];
}

int fill_catalogue(int which, const int **ids, const char *const **names, const int **flags, int *count) {
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
  return KLVO_OK;
}

}  // namespace

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

bool forward_set(Problem &prob, int id, int type, int64_t i, double d, const char *s) {
  const ParamInfo *p = find_param(id);
  if (!p) return false;
  if (!p->control || p->type != type)
    fail(!p->control ? KLVO_ERR_UNKNOWN_ID : KLVO_ERR_WRONG_TYPE, "Nonlinear-layer %s %d (%s) is not set this way",
         p->control ? "control" : "attribute", id, p->name);
  KSLPprob slp = prob.slp;
  if (!slp) fail(KLVO_ERR_NOT_INITIALIZED, "Control %d (%s) belongs to the nonlinear layer, which this problem does not have", id, p->name);
  int rc = type == kInt ? KSLPsetintcontrol64(slp, id, i) : type == kDouble ? KSLPsetdblcontrol(slp, id, d) : KSLPsetstrcontrol(slp, id, s);
  if (rc != 0) fail(rc, "%s", slp->error.text().c_str());
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
  results = Results();
}

void kslp_problem_s::rows_deleted(int n, const int *index) {
  if (n <= 0) return;
  std::vector<int> deleted = sorted_unique(n, index);
  std::map<int, int> status;
  for (const auto &kv : rowstatus) {
    auto it = std::lower_bound(deleted.begin(), deleted.end(), kv.first);
    if (it == deleted.end() || *it != kv.first) status[kv.first - static_cast<int>(it - deleted.begin())] = kv.second;
  }
  rowstatus = std::move(status);
  for (auto &kv : vars) {
    int &d = kv.second.detrow;
    if (d < 0) continue;
    auto it = std::lower_bound(deleted.begin(), deleted.end(), d);
    d = (it != deleted.end() && *it == d) ? -1 : d - static_cast<int>(it - deleted.begin());
  }
}

void kslp_problem_s::cols_deleted(int n, const int *index) {
  if (n <= 0) return;
  std::vector<int> deleted = sorted_unique(n, index);
  auto gone = [&](int c) { return std::binary_search(deleted.begin(), deleted.end(), c); };
  auto shift = [&](int c) { return c - static_cast<int>(std::lower_bound(deleted.begin(), deleted.end(), c) - deleted.begin()); };
  std::map<int, double> init;
  for (const auto &kv : initval)
    if (!gone(kv.first)) init[shift(kv.first)] = kv.second;
  initval = std::move(init);
  std::map<int, VarSettings> settings;
  for (const auto &kv : vars)
    if (!gone(kv.first)) settings[shift(kv.first)] = kv.second;
  vars = std::move(settings);
  results = Results();
}

extern "C" {

int KSLPcreateprob(KSLPprob *slp, KLVOprob *prob) {
  return klvo::api_global_call([&] {
    if (!slp || !prob || !*prob) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcreateprob: null argument");
    *slp = nullptr;
    if (Environment::get().slp_count() <= 0)
      fail(KLVO_ERR_NOT_INITIALIZED, "KSLPcreateprob: the nonlinear layer is not initialized; call KSLPinit first");
    if ((*prob)->slp) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcreateprob: the problem already has a nonlinear layer");
    *slp = new kslp_problem_s(*prob);
    (*prob)->slp = *slp;
    (*prob)->layer = *slp;
  });
}

int KSLPdestroyprob(KSLPprob slp) {
  return klvo::api_global_call([&] {
    if (!slp) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPdestroyprob: null nonlinear-layer handle");
    if (slp->prob && slp->prob->slp == slp) {
      // The formulas may call the layer's user functions: they go with it.
      slp->prob->model.formulas.clear();
      slp->prob->slp = nullptr;
      slp->prob->layer = nullptr;
    }
    delete slp;
  });
}

int KSLPcopyprob(KSLPprob dest, KSLPprob src, const char *name) {
  return klvo::slp_api_call(dest, "KSLPcopyprob", [&] {
    if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcopyprob: null source handle");
    if (src == dest) return;
    if (dest->ncols() != src->ncols() || dest->nrows() != src->nrows())
      fail(KLVO_ERR_INVALID_ARGUMENT,
           "KSLPcopyprob: the destination problem has %d rows and %d columns, the source %d and %d; copy the problem first",
           dest->nrows(), dest->ncols(), src->nrows(), src->ncols());
    // Deep copy of the user functions: formulas compiled for the copy must point at its records.
    auto users = std::make_shared<UserFunctions>();
    for (const auto &u : src->users->items) users->items.push_back(std::make_unique<UserFunction>(*u));
    klvo::FormulaStore &formulas = dest->formulas("KSLPcopyprob");
    dest->users = std::move(users);
    dest->compiled.reset();
    formulas = src->formulas();
    dest->initval = src->initval;
    dest->vars = src->vars;
    dest->rowstatus = src->rowstatus;
    dest->controls = src->controls;
    dest->results = Results();
  });
}

int KSLPcopycontrols(KSLPprob dest, KSLPprob src) {
  return klvo::slp_api_call(dest, "KSLPcopycontrols", [&] {
    if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcopycontrols: null source handle");
    dest->controls = src->controls;
    if (dest->prob && src->prob) dest->prob->model.objsense = src->prob->model.objsense;
  });
}

int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg) {
  if (!slp) return KLVO_ERR_INVALID_ARGUMENT;
  if (code) *code = slp->error.code();
  if (errmsg) klvo::copy_text(slp->error.text(), errmsg, 512);
  return KLVO_OK;
}

int KSLPinterrupt(KSLPprob slp, int reason) {
  return klvo::slp_api_call(slp, "KSLPinterrupt", [&] {
    slp->interrupt_reason = reason > 0 ? reason : 1;
    if (slp->prob) KLVOinterrupt(slp->prob, reason);
  });
}

int KSLPsetcbmessage(KSLPprob slp, KSLPmessagecb f, void *data) {
  return klvo::slp_api_call(slp, "KSLPsetcbmessage", [&] { slp->set_message_callback(f, data); });
}

int KSLPgetcalist(const int **ids, const char *const **names, const int **flags, int *count) {
  return fill_catalogue(1, ids, names, flags, count);
}

int KSLPgetKTRcalist(const int **ids, const char *const **names, const int **flags, int *count) {
  return fill_catalogue(2, ids, names, flags, count);
}

int KSLPcontrolcode(const char *name, int *id, int *flags) {
  return klvo::api_global_call([&] {
    if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPcontrolcode: null name");
    const ParamInfo *p = find_param(std::string(name));
    if (id) *id = p ? p->id : 0;
    if (flags) *flags = p ? param_flags(*p) : 0;
  });
}

int KSLPgetintcontrol64(KSLPprob slp, int id, int64_t *value) {
  return klvo::slp_api_call(slp, "KSLPgetintcontrol", [&] {
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetintcontrol: null value pointer");
    *value = get_int_control(slp, id, "KSLPgetintcontrol");
  });
}

int KSLPgetintcontrol(KSLPprob slp, int id, int *value) {
  int64_t v = 0;
  int rc = KSLPgetintcontrol64(slp, id, value ? &v : nullptr);
  if (rc == 0) *value = static_cast<int>(v);
  return rc;
}

int KSLPsetintcontrol64(KSLPprob slp, int id, int64_t value) {
  return klvo::slp_api_call(slp, "KSLPsetintcontrol", [&] { set_int(slp, id, value, "KSLPsetintcontrol"); });
}

int KSLPsetintcontrol(KSLPprob slp, int id, int value) { return KSLPsetintcontrol64(slp, id, value); }

int KSLPgetdblcontrol(KSLPprob slp, int id, double *value) {
  return klvo::slp_api_call(slp, "KSLPgetdblcontrol", [&] {
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetdblcontrol: null value pointer");
    const ParamInfo &p = control(id, kDouble, "KSLPgetdblcontrol");
    if (id == kCtrlObjSense && slp->prob) *value = slp->prob->model.objsense;
    else *value = slp->controls.dbls[ControlValues::slot(p)];
  });
}

int KSLPsetdblcontrol(KSLPprob slp, int id, double value) {
  return klvo::slp_api_call(slp, "KSLPsetdblcontrol", [&] {
    const ParamInfo &p = control(id, kDouble, "KSLPsetdblcontrol");
    if (id == kCtrlObjSense) {
      if (value != 1.0 && value != -1.0)
        fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPsetdblcontrol: the objective sense must be 1 (minimize) or -1 (maximize), not %g",
             value);
      if (slp->prob) {
        slp->prob->model.objsense = value > 0 ? 1 : -1;
        slp->prob->model.touch();
      }
    }
    check_range(p, value, "KSLPsetdblcontrol");
    slp->controls.dbls[ControlValues::slot(p)] = value;
  });
}

int KSLPgetstringcontrol(KSLPprob slp, int id, char *value, int maxbytes, int *nbytes) {
  return klvo::slp_api_call(slp, "KSLPgetstringcontrol", [&] {
    const ParamInfo &p = control(id, kString, "KSLPgetstringcontrol");
    const std::string &s = slp->controls.strs[ControlValues::slot(p)];
    if (nbytes) *nbytes = static_cast<int>(s.size()) + 1;
    if (value) {
      if (maxbytes < static_cast<int>(s.size()) + 1)
        fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetstringcontrol: the buffer of %d bytes cannot hold %d", maxbytes,
             static_cast<int>(s.size()) + 1);
      std::memcpy(value, s.c_str(), s.size() + 1);
    }
  });
}

int KSLPsetstrcontrol(KSLPprob slp, int id, const char *value) {
  return klvo::slp_api_call(slp, "KSLPsetstrcontrol", [&] {
    const ParamInfo &p = control(id, kString, "KSLPsetstrcontrol");
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPsetstrcontrol: null value");
    slp->controls.strs[ControlValues::slot(p)] = value;
  });
}

int KSLPgetintattrib64(KSLPprob slp, int id, int64_t *value) {
  return klvo::slp_api_call(slp, "KSLPgetintattrib", [&] {
    attribute(id, kInt, "KSLPgetintattrib");
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetintattrib: null value pointer");
    if (!slp->prob) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetintattrib: the layer's problem has been destroyed");
    *value = attribute_int(*slp->prob, id);
  });
}

int KSLPgetintattrib(KSLPprob slp, int id, int *value) {
  int64_t v = 0;
  int rc = KSLPgetintattrib64(slp, id, value ? &v : nullptr);
  if (rc == 0) *value = static_cast<int>(v);
  return rc;
}

int KSLPgetdblattrib(KSLPprob slp, int id, double *value) {
  return klvo::slp_api_call(slp, "KSLPgetdblattrib", [&] {
    attribute(id, kDouble, "KSLPgetdblattrib");
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetdblattrib: null value pointer");
    if (!slp->prob) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetdblattrib: the layer's problem has been destroyed");
    *value = attribute_dbl(*slp->prob, id);
  });
}

int KSLPgetptrattrib(KSLPprob slp, int id, void **value) {
  return klvo::slp_api_call(slp, "KSLPgetptrattrib", [&] {
    attribute(id, kPointer, "KSLPgetptrattrib");
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPgetptrattrib: null value pointer");
    *value = slp->prob;
  });
}

int KSLPunconstruct(KSLPprob slp) {
  return klvo::slp_api_call(slp, "KSLPunconstruct", [&] {
    slp->compiled.reset();
    slp->results.layer_status &= ~kStatusConstructed;
  });
}

int KSLPpostsolve(KSLPprob slp) {
  return klvo::slp_api_call(slp, "KSLPpostsolve", [&] { slp->results.layer_status &= ~kStatusSolved; });
}

int KSLPsetfunctionerror(KSLPprob slp) {
  return klvo::slp_api_call(slp, "KSLPsetfunctionerror", [&] { set_user_function_error(); });
}

int KSLPadduserfunction(KSLPprob slp, const char *name, int type, int nin, int nout, int flags, KSLPuserfunction fn,
                        void *data, int *id) {
  return klvo::slp_api_call(slp, "KSLPadduserfunction", [&] {
    if (!fn) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPadduserfunction: null function");
    if (type != 2 && type != 5)
      fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPadduserfunction: type %d is not 2 (values) or 5 (values and derivatives)", type);
    if (nin < 1) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPadduserfunction: a user function needs at least one argument");
    if (nout != 1) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPadduserfunction: a user function returns one value, not %d", nout);
    if (flags != 0) fail(KLVO_ERR_INVALID_ARGUMENT, "KSLPadduserfunction: flags must be 0");
    auto u = std::make_unique<UserFunction>();
    u->name = name ? name : "";
    u->type = type;
    u->arity = nin;
    u->fn = fn;
    u->data = data;
    slp->users->items.push_back(std::move(u));
    if (id) *id = static_cast<int>(slp->users->items.size());
  });
}

}  // extern "C"
