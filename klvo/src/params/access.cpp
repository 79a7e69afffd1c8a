// Reading and writing controls and attributes by id, and the catalogue lists: what the C entry
// points of params hand over. The nonlinear layer's ids are forwarded to the layer.
#include "params/access.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "engines/nlp/layer.h"
#include "env/problem.h"
#include "params/attributes.h"
#include "params/catalogue.h"

namespace klvo {

namespace {

struct CatalogueArrays {
  std::vector<int> ids, flags;
  std::vector<const char *> names;
  std::vector<KLVOcaentry> entries;
};

const CatalogueArrays &arrays() {
  static const CatalogueArrays a = [] {
    CatalogueArrays r;
    const CaDef *defs = catalogue();
    for (int i = 0, n = catalogue_size(); i < n; ++i) {
      r.ids.push_back(defs[i].id);
      r.names.push_back(defs[i].name);
      r.flags.push_back(defs[i].flags());
      r.entries.push_back(KLVOcaentry{defs[i].id, defs[i].name, defs[i].flags()});
    }
    r.ids.push_back(0);
    r.names.push_back(nullptr);
    r.flags.push_back(0);
    r.entries.push_back(KLVOcaentry{0, nullptr, 0});
    return r;
  }();
  return a;
}

const char *type_name(CaType t) { return t == CaType::Int ? "integer" : t == CaType::Dbl ? "double" : "string"; }

// The catalogue entry of a control (or attribute) id accessed as type `want`.
const CaDef &lookup(int id, bool control, CaType want, const char *function) {
  const CaDef *def = find_ca(id);
  if (!def || def->control != control)
    fail(KLVO_ERR_UNKNOWN_ID, "%s: no %s with id %d", function, control ? "control" : "attribute", id);
  if (def->type != want)
    fail(KLVO_ERR_WRONG_TYPE, "%s: %s %d (%s) is a%s %s, not a%s %s", function,
         control ? "control" : "attribute", id, def->name, def->type == CaType::Int ? "n" : "",
         type_name(def->type), want == CaType::Int ? "n" : "", type_name(want));
  return *def;
}

int narrow(int64_t v, const CaDef &def, const char *function) {
  if (v < INT_MIN || v > INT_MAX)
    fail(KLVO_ERR_WRONG_TYPE, "%s: the value of %s does not fit in 32 bits; use the 64-bit getter",
         function, def.name);
  return static_cast<int>(v);
}

void copy_string(const std::string &text, char *value, int maxbytes, int *nbytes, const char *function) {
  if (nbytes) *nbytes = static_cast<int>(text.size()) + 1;
  if (!value) return;  // a size query
  if (maxbytes < static_cast<int>(text.size()) + 1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: buffer of %d bytes is too small for %d characters", function,
         maxbytes, static_cast<int>(text.size()));
  std::memcpy(value, text.c_str(), text.size() + 1);
}

void check_objidx(const Problem &prob, int objidx, const char *function) {
  int n = model_facts(prob).objectives;
  if (objidx < 0 || objidx >= n)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective index %d is out of range (the problem has %d)",
         function, objidx, n);
}

const ObjControlDef &objcontrol(int id, CaType want, const char *function) {
  const auto *def = find_objcontrol(id);
  if (!def) fail(KLVO_ERR_UNKNOWN_ID, "%s: no objective control with id %d", function, id);
  if (def->type != want)
    fail(KLVO_ERR_WRONG_TYPE, "%s: objective control %d (%s) is a%s %s", function, id, def->name,
         def->type == CaType::Int ? "n" : "", type_name(def->type));
  return *def;
}

}  // namespace

void control_info(const char *name, bool control, int *id, int *type, const char *function) {
  if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null name", function);
  const CaDef *def = find_ca(std::string(name));
  if (!def || def->control != control)
    fail(KLVO_ERR_UNKNOWN_ID, "%s: no %s named \"%s\"", function, control ? "control" : "attribute", name);
  if (id) *id = def->id;
  if (type) *type = def->type == CaType::Int ? 1 : def->type == CaType::Dbl ? 2 : 3;
}

void catalogue_lists(const int **ids, const char *const **names, const int **flags) {
  const auto &a = arrays();
  if (ids) *ids = a.ids.data();
  if (names) *names = a.names.data();
  if (flags) *flags = a.flags.data();
}

void catalogue_entries(const KLVOcaentry **entries, int *count, const char *fn) {
  require_out(entries, fn);
  const auto &a = arrays();
  *entries = a.entries.data();
  if (count) *count = static_cast<int>(a.entries.size()) - 1;
}

void get_int_control(Problem &prob, int id, int *value, const char *fn) {
  require_out(value, fn);
  int64_t v64;  // the nonlinear layer's controls are readable here too
  if (nlp::forward_get(prob, id, true, 1, &v64, nullptr, nullptr)) return void(*value = static_cast<int>(v64));
  const CaDef &def = lookup(id, true, CaType::Int, fn);
  *value = narrow(prob.params.get_int(def), def, fn);
}

void get_int_control64(Problem &prob, int id, int64_t *value, const char *fn) {
  if (value && nlp::forward_get(prob, id, true, 1, value, nullptr, nullptr)) return;
  require_out(value, fn);
  *value = prob.params.get_int(lookup(id, true, CaType::Int, fn));
}

void get_dbl_control(Problem &prob, int id, double *value, const char *fn) {
  if (value && nlp::forward_get(prob, id, true, 2, nullptr, value, nullptr)) return;
  require_out(value, fn);
  *value = prob.params.get_dbl(lookup(id, true, CaType::Dbl, fn));
}

void get_str_control(Problem &prob, int id, char *value, int maxbytes, int *nbytes, const char *fn) {
  std::string text;
  if (nlp::forward_get(prob, id, true, 3, nullptr, nullptr, &text)) return copy_string(text, value, maxbytes, nbytes, fn);
  const CaDef &def = lookup(id, true, CaType::Str, fn);
  copy_string(prob.params.get_str(def), value, maxbytes, nbytes, fn);
}

void set_int_control(Problem &prob, int id, int64_t value, const char *fn) {
  if (nlp::forward_set(prob, id, 1, value, 0, nullptr, fn)) return;
  prob.params.set_int(lookup(id, true, CaType::Int, fn), value);
}

void set_dbl_control(Problem &prob, int id, double value, const char *fn) {
  if (nlp::forward_set(prob, id, 2, 0, value, nullptr, fn)) return;
  prob.params.set_dbl(lookup(id, true, CaType::Dbl, fn), value);
}

void set_str_control(Problem &prob, int id, const char *value, const char *fn) {
  if (value && nlp::forward_set(prob, id, 3, 0, 0, value, fn)) return;
  if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null value", fn);
  prob.params.set_str(lookup(id, true, CaType::Str, fn), value);
}

void set_default_control(Problem &prob, int id, const char *fn) {
  const CaDef *def = find_ca(id);
  if (!def || !def->control) fail(KLVO_ERR_UNKNOWN_ID, "%s: no control with id %d", fn, id);
  prob.params.reset(*def);
}

void copy_controls(Problem &dest, const Problem *src, const char *fn) {
  if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null source problem", fn);
  dest.params.copy_from(src->params);
}

void get_int_attrib(Problem &prob, int id, int *value, const char *fn) {
  require_out(value, fn);
  int64_t v64;  // the nonlinear layer's attributes are readable here too
  if (nlp::forward_get(prob, id, false, 1, &v64, nullptr, nullptr)) return void(*value = static_cast<int>(v64));
  const CaDef &def = lookup(id, false, CaType::Int, fn);
  *value = narrow(int_attribute(prob, def), def, fn);
}

void get_int_attrib64(Problem &prob, int id, int64_t *value, const char *fn) {
  if (value && nlp::forward_get(prob, id, false, 1, value, nullptr, nullptr)) return;
  require_out(value, fn);
  *value = int_attribute(prob, lookup(id, false, CaType::Int, fn));
}

void get_dbl_attrib(Problem &prob, int id, double *value, const char *fn) {
  if (value && nlp::forward_get(prob, id, false, 2, nullptr, value, nullptr)) return;
  require_out(value, fn);
  *value = dbl_attribute(prob, lookup(id, false, CaType::Dbl, fn));
}

void get_str_attrib(Problem &prob, int id, char *value, int maxbytes, int *nbytes, const char *fn) {
  const CaDef &def = lookup(id, false, CaType::Str, fn);
  copy_string(str_attribute(prob, def), value, maxbytes, nbytes, fn);
}

void get_obj_int_control(Problem &prob, int objidx, int id, int *value, const char *fn) {
  require_out(value, fn);
  objcontrol(id, CaType::Int, fn);
  check_objidx(prob, objidx, fn);
  *value = static_cast<int>(prob.params.get_obj(objidx, id));
}

void get_obj_dbl_control(Problem &prob, int objidx, int id, double *value, const char *fn) {
  require_out(value, fn);
  objcontrol(id, CaType::Dbl, fn);
  check_objidx(prob, objidx, fn);
  *value = prob.params.get_obj(objidx, id);
}

void set_obj_int_control(Problem &prob, int objidx, int id, int value, const char *fn) {
  objcontrol(id, CaType::Int, fn);
  check_objidx(prob, objidx, fn);
  prob.params.set_obj(objidx, id, value);
}

void set_obj_dbl_control(Problem &prob, int objidx, int id, double value, const char *fn) {
  const ObjControlDef &def = objcontrol(id, CaType::Dbl, fn);
  check_objidx(prob, objidx, fn);
  // An infinite allowance is simply no restriction; a weight or constant must be a number.
  bool allowance = id == KLVO_OBJCONTROL_ABSTOL || id == KLVO_OBJCONTROL_RELTOL;
  if (allowance ? !(value >= 0) : !std::isfinite(value))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective control %s must be %s, not %g", fn, def.name,
         allowance ? "0 or more" : "finite", value);
  prob.params.set_obj(objidx, id, value);
}

void get_obj_int_attrib64(Problem &prob, int objidx, int id, int64_t *value, const char *fn) {
  require_out(value, fn);
  const CaDef &def = lookup(id, false, CaType::Int, fn);
  check_objidx(prob, objidx, fn);
  *value = obj_int_attribute(prob, objidx, def);
}

void get_obj_dbl_attrib(Problem &prob, int objidx, int id, double *value, const char *fn) {
  require_out(value, fn);
  const CaDef &def = lookup(id, false, CaType::Dbl, fn);
  check_objidx(prob, objidx, fn);
  *value = obj_dbl_attribute(prob, objidx, def);
}

}  // namespace klvo
