// C entry points of the controls and attributes.
#include <climits>
#include <cstring>
#include <vector>

#include "engines/dispatch.h"
#include "engines/nlp/layer.h"
#include "env/problem.h"
#include "params/attributes.h"
#include "params/catalogue.h"

using klvo::CaDef;
using klvo::CaType;
using klvo::fail;

namespace {

struct CatalogueArrays {
  std::vector<int> ids, flags;
  std::vector<const char *> names;
  std::vector<KLVOcaentry> entries;
};

const CatalogueArrays &arrays() {
  static const CatalogueArrays a = [] {
    CatalogueArrays r;
    const CaDef *defs = klvo::catalogue();
    for (int i = 0, n = klvo::catalogue_size(); i < n; ++i) {
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
  const CaDef *def = klvo::find_ca(id);
  if (!def || def->control != control)
    fail(KLVO_ERR_UNKNOWN_ID, "%s: no %s with id %d", function, control ? "control" : "attribute", id);
  if (def->type != want)
    fail(KLVO_ERR_WRONG_TYPE, "%s: %s %d (%s) is a%s %s, not a%s %s", function,
         control ? "control" : "attribute", id, def->name, def->type == CaType::Int ? "n" : "",
         type_name(def->type), want == CaType::Int ? "n" : "", type_name(want));
  return *def;
}

template <class T>
void require_out(T *p, const char *function) {
  if (!p) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", function);
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

void info(const char *name, bool control, int *id, int *type, const char *function) {
  if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null name", function);
  const CaDef *def = klvo::find_ca(std::string(name));
  if (!def || def->control != control)
    fail(KLVO_ERR_UNKNOWN_ID, "%s: no %s named \"%s\"", function, control ? "control" : "attribute", name);
  if (id) *id = def->id;
  if (type) *type = def->type == CaType::Int ? 1 : def->type == CaType::Dbl ? 2 : 3;
}

void check_objidx(const klvo::Problem &prob, int objidx, const char *function) {
  int n = klvo::model_facts(prob).objectives;
  if (objidx < 0 || objidx >= n)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: objective index %d is out of range (the problem has %d)",
         function, objidx, n);
}

const klvo::ObjControlDef &objcontrol(int id, CaType want, const char *function) {
  const auto *def = klvo::find_objcontrol(id);
  if (!def) fail(KLVO_ERR_UNKNOWN_ID, "%s: no objective control with id %d", function, id);
  if (def->type != want)
    fail(KLVO_ERR_WRONG_TYPE, "%s: objective control %d (%s) is a%s %s", function, id, def->name,
         def->type == CaType::Int ? "n" : "", type_name(def->type));
  return *def;
}

}  // namespace

extern "C" {

int KLVOgetcalist(const int **ids, const char *const **names, const int **flags) {
  return klvo::api_global_call([&] {
    const auto &a = arrays();
    if (ids) *ids = a.ids.data();
    if (names) *names = a.names.data();
    if (flags) *flags = a.flags.data();
  });
}

int KLVOgetcalist_d(const KLVOcaentry **entries, int *count) {
  return klvo::api_global_call([&] {
    require_out(entries, "KLVOgetcalist_d");
    const auto &a = arrays();
    *entries = a.entries.data();
    if (count) *count = static_cast<int>(a.entries.size()) - 1;
  });
}

int KLVOgetcontrolinfo(KLVOprob prob, const char *name, int *id, int *type) {
  return klvo::api_call(prob, "KLVOgetcontrolinfo", [&] { info(name, true, id, type, "KLVOgetcontrolinfo"); });
}

int KLVOgetattribinfo(KLVOprob prob, const char *name, int *id, int *type) {
  return klvo::api_call(prob, "KLVOgetattribinfo", [&] { info(name, false, id, type, "KLVOgetattribinfo"); });
}

int KLVOgetintcontrol(KLVOprob prob, int id, int *value) {
  return klvo::api_call(prob, "KLVOgetintcontrol", [&] {
    require_out(value, "KLVOgetintcontrol");
    int64_t v64;  // the nonlinear layer's controls are readable here too
    if (klvo::nlp::forward_get(*prob, id, true, 1, &v64, nullptr, nullptr)) return void(*value = static_cast<int>(v64));
    const CaDef &def = lookup(id, true, CaType::Int, "KLVOgetintcontrol");
    *value = narrow(prob->params.get_int(def), def, "KLVOgetintcontrol");
  });
}

int KLVOgetintcontrol64(KLVOprob prob, int id, int64_t *value) {
  return klvo::api_call(prob, "KLVOgetintcontrol64", [&] {
    if (value && klvo::nlp::forward_get(*prob, id, true, 1, value, nullptr, nullptr)) return;
    require_out(value, "KLVOgetintcontrol64");
    *value = prob->params.get_int(lookup(id, true, CaType::Int, "KLVOgetintcontrol64"));
  });
}

int KLVOgetdblcontrol(KLVOprob prob, int id, double *value) {
  return klvo::api_call(prob, "KLVOgetdblcontrol", [&] {
    if (value && klvo::nlp::forward_get(*prob, id, true, 2, nullptr, value, nullptr)) return;
    require_out(value, "KLVOgetdblcontrol");
    *value = prob->params.get_dbl(lookup(id, true, CaType::Dbl, "KLVOgetdblcontrol"));
  });
}

int KLVOgetstringcontrol(KLVOprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return klvo::api_call(prob, "KLVOgetstringcontrol", [&] {
    std::string text;
    if (klvo::nlp::forward_get(*prob, id, true, 3, nullptr, nullptr, &text)) return copy_string(text, value, maxbytes, nbytes, "KLVOgetstringcontrol");
    const CaDef &def = lookup(id, true, CaType::Str, "KLVOgetstringcontrol");
    copy_string(prob->params.get_str(def), value, maxbytes, nbytes, "KLVOgetstringcontrol");
  });
}

int KLVOsetintcontrol(KLVOprob prob, int id, int value) {
  return klvo::api_call(prob, "KLVOsetintcontrol", [&] {
    if (klvo::nlp::forward_set(*prob, id, 1, value, 0, nullptr)) return;
    prob->params.set_int(lookup(id, true, CaType::Int, "KLVOsetintcontrol"), value);
  });
}

int KLVOsetintcontrol64(KLVOprob prob, int id, int64_t value) {
  return klvo::api_call(prob, "KLVOsetintcontrol64", [&] {
    if (klvo::nlp::forward_set(*prob, id, 1, value, 0, nullptr)) return;
    prob->params.set_int(lookup(id, true, CaType::Int, "KLVOsetintcontrol64"), value);
  });
}

int KLVOsetdblcontrol(KLVOprob prob, int id, double value) {
  return klvo::api_call(prob, "KLVOsetdblcontrol", [&] {
    if (klvo::nlp::forward_set(*prob, id, 2, 0, value, nullptr)) return;
    prob->params.set_dbl(lookup(id, true, CaType::Dbl, "KLVOsetdblcontrol"), value);
  });
}

int KLVOsetstrcontrol(KLVOprob prob, int id, const char *value) {
  return klvo::api_call(prob, "KLVOsetstrcontrol", [&] {
    if (value && klvo::nlp::forward_set(*prob, id, 3, 0, 0, value)) return;
    if (!value) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOsetstrcontrol: null value");
    prob->params.set_str(lookup(id, true, CaType::Str, "KLVOsetstrcontrol"), value);
  });
}

int KLVOsetdefaultcontrol(KLVOprob prob, int id) {
  return klvo::api_call(prob, "KLVOsetdefaultcontrol", [&] {
    const CaDef *def = klvo::find_ca(id);
    if (!def || !def->control) fail(KLVO_ERR_UNKNOWN_ID, "KLVOsetdefaultcontrol: no control with id %d", id);
    prob->params.reset(*def);
  });
}

int KLVOsetdefaults(KLVOprob prob) {
  return klvo::api_call(prob, "KLVOsetdefaults", [&] { prob->params.reset_all(); });
}

int KLVOcopycontrols(KLVOprob dest, KLVOprob src) {
  return klvo::api_call(dest, "KLVOcopycontrols", [&] {
    if (!src) fail(KLVO_ERR_INVALID_ARGUMENT, "KLVOcopycontrols: null source problem");
    dest->params.copy_from(src->params);
  });
}

int KLVOgetintattrib(KLVOprob prob, int id, int *value) {
  return klvo::api_call(prob, "KLVOgetintattrib", [&] {
    require_out(value, "KLVOgetintattrib");
    int64_t v64;  // the nonlinear layer's attributes are readable here too
    if (klvo::nlp::forward_get(*prob, id, false, 1, &v64, nullptr, nullptr)) return void(*value = static_cast<int>(v64));
    const CaDef &def = lookup(id, false, CaType::Int, "KLVOgetintattrib");
    *value = narrow(klvo::int_attribute(*prob, def), def, "KLVOgetintattrib");
  });
}

int KLVOgetintattrib64(KLVOprob prob, int id, int64_t *value) {
  return klvo::api_call(prob, "KLVOgetintattrib64", [&] {
    if (value && klvo::nlp::forward_get(*prob, id, false, 1, value, nullptr, nullptr)) return;
    require_out(value, "KLVOgetintattrib64");
    *value = klvo::int_attribute(*prob, lookup(id, false, CaType::Int, "KLVOgetintattrib64"));
  });
}

int KLVOgetdblattrib(KLVOprob prob, int id, double *value) {
  return klvo::api_call(prob, "KLVOgetdblattrib", [&] {
    if (value && klvo::nlp::forward_get(*prob, id, false, 2, nullptr, value, nullptr)) return;
    require_out(value, "KLVOgetdblattrib");
    *value = klvo::dbl_attribute(*prob, lookup(id, false, CaType::Dbl, "KLVOgetdblattrib"));
  });
}

int KLVOgetstringattrib(KLVOprob prob, int id, char *value, int maxbytes, int *nbytes) {
  return klvo::api_call(prob, "KLVOgetstringattrib", [&] {
    const CaDef &def = lookup(id, false, CaType::Str, "KLVOgetstringattrib");
    copy_string(klvo::str_attribute(*prob, def), value, maxbytes, nbytes, "KLVOgetstringattrib");
  });
}

int KLVOgetobjintcontrol(KLVOprob prob, int objidx, int id, int *value) {
  return klvo::api_call(prob, "KLVOgetobjintcontrol", [&] {
    require_out(value, "KLVOgetobjintcontrol");
    objcontrol(id, CaType::Int, "KLVOgetobjintcontrol");
    check_objidx(*prob, objidx, "KLVOgetobjintcontrol");
    *value = static_cast<int>(prob->params.get_obj(objidx, id));
  });
}

int KLVOgetobjdblcontrol(KLVOprob prob, int objidx, int id, double *value) {
  return klvo::api_call(prob, "KLVOgetobjdblcontrol", [&] {
    require_out(value, "KLVOgetobjdblcontrol");
    objcontrol(id, CaType::Dbl, "KLVOgetobjdblcontrol");
    check_objidx(*prob, objidx, "KLVOgetobjdblcontrol");
    *value = prob->params.get_obj(objidx, id);
  });
}

int KLVOsetobjintcontrol(KLVOprob prob, int objidx, int id, int value) {
  return klvo::api_call(prob, "KLVOsetobjintcontrol", [&] {
    objcontrol(id, CaType::Int, "KLVOsetobjintcontrol");
    check_objidx(*prob, objidx, "KLVOsetobjintcontrol");
    prob->params.set_obj(objidx, id, value);
  });
}

int KLVOsetobjdblcontrol(KLVOprob prob, int objidx, int id, double value) {
  return klvo::api_call(prob, "KLVOsetobjdblcontrol", [&] {
    objcontrol(id, CaType::Dbl, "KLVOsetobjdblcontrol");
    check_objidx(*prob, objidx, "KLVOsetobjdblcontrol");
    prob->params.set_obj(objidx, id, value);
  });
}

int KLVOgetobjintattrib64(KLVOprob prob, int objidx, int id, int64_t *value) {
  return klvo::api_call(prob, "KLVOgetobjintattrib64", [&] {
    require_out(value, "KLVOgetobjintattrib64");
    const CaDef &def = lookup(id, false, CaType::Int, "KLVOgetobjintattrib64");
    check_objidx(*prob, objidx, "KLVOgetobjintattrib64");
    *value = klvo::int_attribute(*prob, def);
  });
}

int KLVOgetobjdblattrib(KLVOprob prob, int objidx, int id, double *value) {
  return klvo::api_call(prob, "KLVOgetobjdblattrib", [&] {
    require_out(value, "KLVOgetobjdblattrib");
    const CaDef &def = lookup(id, false, CaType::Dbl, "KLVOgetobjdblattrib");
    check_objidx(*prob, objidx, "KLVOgetobjdblattrib");
    *value = klvo::obj_dbl_attribute(*prob, objidx, def);
  });
}

}  // extern "C"
