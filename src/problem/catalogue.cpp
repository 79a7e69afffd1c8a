// The control and attribute tables, read once from the library's catalogue.
#include <cctype>
#include <string>

#include "module/environment.h"
#include "module/frame.h"
#include "problem/params.h"

#include <nanobind/nanobind.h>

namespace nb = nanobind;

namespace kelvo {

// Longest name kept in the tables.
constexpr size_t catalogue_name_max = 128;

static PyObject *entry_tuple(int id, int type, int source) { return Py_BuildValue("(iii)", id, type, source); }

// Reads the library's default of one control from the temporary problem; null without an
// exception when the library cannot read it.
static PyObject *default_value(KLVOprob prob, int id, int type) {
  if (type == type_int) {
    int64_t v = 0;
    return KLVOgetintcontrol64(prob, id, &v) == 0 ? PyLong_FromLongLong(v) : nullptr;
  }
  if (type == type_double) {
    double v = 0;
    return KLVOgetdblcontrol(prob, id, &v) == 0 ? PyFloat_FromDouble(v) : nullptr;
  }
  char text[2048] = {0};
  return KLVOgetstringcontrol(prob, id, text, sizeof text, nullptr) == 0 ? PyUnicode_FromString(text) : nullptr;
}

// Enters one catalogue entry into the tables. Attributes always go in; a control goes in only
// when its default could be read (`value` null without an exception means it could not).
// Steals `value`; -1 with an exception on failure.
static int enter_entry(const char *raw_name, int id, int type, bool control, int source, PyObject *value,
                       PyObject *defaults) {
  if (control && !value) return PyErr_Occurred() ? -1 : 0;
  std::string name(raw_name);
  if (name.size() > catalogue_name_max) name.resize(catalogue_name_max);
  for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  nb::object owned_value = nb::steal(value);
  nb::object entry = nb::steal(entry_tuple(id, type, source));
  if (!entry) return -1;
  if (!control) return PyDict_SetItemString(g.attribute_table, name.c_str(), entry.ptr());
  if (PyDict_SetItemString(g.control_table, name.c_str(), entry.ptr()) < 0) return -1;
  return PyDict_SetItemString(defaults, name.c_str(), value);
}

// Fills the tables from the optimizer's catalogue; -1 with an exception on failure.
static int read_optimizer_catalogue(KLVOprob prob, PyObject *defaults) {
  const int *ids = nullptr, *flags = nullptr;
  const char *const *names = nullptr;
  if (KLVOgetcalist(&ids, &names, &flags) != 0 || !ids || !names || !flags) {
    PyErr_SetString(PyExc_RuntimeError, "Could not get control/attribute list from Kelvo");
    return -1;
  }
  for (int i = 0; ids[i] != 0; ++i) {
    if (!names[i]) continue;
    int type = (flags[i] & KLVO_CA_INT) ? type_int : (flags[i] & KLVO_CA_DBL) ? type_double : type_string;
    bool control = (flags[i] & KLVO_CA_CONTROL) != 0;
    PyObject *value = control ? default_value(prob, ids[i], type) : nullptr;
    if (enter_entry(names[i], ids[i], type, control, source_optimizer, value, defaults) < 0) return -1;
  }
  return 0;
}

// Bits of the nonlinear layer's name classification (KSLPcontrolcode).
constexpr int slp_flag_int = 1 << 0, slp_flag_double = 1 << 1, slp_flag_string = 1 << 2, slp_flag_control = 1 << 4,
              slp_flag_known = 1 << 10;

// Reads the default of one nonlinear-layer control from the temporary nonlinear problem; null
// without an exception when the layer cannot read it.
static PyObject *slp_default_value(KSLPprob slp, int id, int type) {
  if (type == type_int) {
    int64_t v = 0;
    return KSLPgetintcontrol64(slp, id, &v) == 0 ? PyLong_FromLongLong(v) : nullptr;
  }
  if (type == type_double) {
    double v = 0;
    return KSLPgetdblcontrol(slp, id, &v) == 0 ? PyFloat_FromDouble(v) : nullptr;
  }
  char text[2048] = {0};
  return KSLPgetstringcontrol(slp, id, text, sizeof text, nullptr) == 0 ? PyUnicode_FromString(text) : nullptr;
}

using SlpCatalogueFn = int (*)(const int **, const char *const **, const int **, int *);

// Fills the tables from one of the nonlinear layer's catalogues (source 1 or 2). Each name is
// classified by the layer itself; names it does not know, and entries of no plain value type
// (pointers), are skipped. -1 with an exception on failure.
static int read_slp_catalogue(SlpCatalogueFn list, const char *fname, int source, KSLPprob slp, PyObject *defaults) {
  const int *ids = nullptr, *flags = nullptr;
  const char *const *names = nullptr;
  if (list(&ids, &names, &flags, nullptr) != 0 || !names) {
    PyErr_Format(PyExc_RuntimeError, "Could not get the nonlinear control/attribute list from Kelvo (%s)", fname);
    return -1;
  }
  for (int i = 0; names[i] && names[i][0] != '\0'; ++i) {
    int id = 0, bits = 0;
    if (KSLPcontrolcode(names[i], &id, &bits) != 0) {
      PyErr_Format(PyExc_RuntimeError, "Could not classify the nonlinear control or attribute %s", names[i]);
      return -1;
    }
    if (!(bits & slp_flag_known)) continue;
    int type = (bits & slp_flag_int) ? type_int : (bits & slp_flag_double) ? type_double
                                                : (bits & slp_flag_string) ? type_string : 0;
    if (type == 0) continue;
    bool control = (bits & slp_flag_control) != 0;
    PyObject *value = control ? slp_default_value(slp, id, type) : nullptr;
    if (enter_entry(names[i], id, type, control, source, value, defaults) < 0) return -1;
  }
  return 0;
}

// Called by library initialisation while the attribute table is empty, and by _getcontrols.
int build_catalogue() {
  auto *global = reinterpret_cast<ControlObject *>(g.global_controls);
  if (!global || !g.control_table || !g.attribute_table) {
    PyErr_SetString(PyExc_RuntimeError, "Error initializing optimization environment");
    return -1;
  }
  // Hold the library for the duration of the build.
  if (KLVOinit(nullptr) != 0) {
    raise_error(nullptr);
    return -1;
  }
  bool slp_up = false;
  if (g.nlp_flag != 0) {
    int rc = KSLPinit();
    slp_up = rc == 0;
    g.nlp_flag = slp_up ? 1 : 0;
  }
  KLVOprob temp = nullptr;
  KSLPprob temp_slp = nullptr;
  int result = -1;
  if (KLVOcreateprob(&temp) != 0 || !temp || (slp_up && (KSLPcreateprob(&temp_slp, &temp) != 0 || !temp_slp))) {
    PyErr_SetString(PyExc_RuntimeError, "Could not create temporary problem");
  } else {
    result = read_optimizer_catalogue(temp, global->dict);
    if (result == 0 && slp_up)
      result = read_slp_catalogue(KSLPgetcalist, "KSLPgetcalist", source_nonlinear, temp_slp, global->dict);
    if (result == 0 && slp_up)
      result = read_slp_catalogue(KSLPgetKTRcalist, "KSLPgetKTRcalist", source_nonlinear_ktr, temp_slp, global->dict);
  }
  if (temp_slp) KSLPdestroyprob(temp_slp);
  if (temp) KLVOdestroyprob(temp);
  if (slp_up) KSLPfree();
  KLVOfree();

  if (result == 0) {
    // The nonlinear layer postsolves by default for every new problem.
    nb::object postsolve = nb::steal(PyUnicode_FromString("kslp_postsolve"));
    nb::object one = nb::steal(PyLong_FromLong(1));
    if (!postsolve || !one) {
      result = -1;
    } else if (PyDict_Contains(g.control_table, postsolve.ptr()) == 1) {
      if (PyDict_SetItem(global->dict, postsolve.ptr(), one.ptr()) < 0 ||
          PyDict_SetItem(g.default_controls, postsolve.ptr(), one.ptr()) < 0)
        result = -1;
    }
  }
  if (result < 0) {
    // Leave empty tables so that a later initialisation tries again.
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyDict_Clear(g.control_table);
    PyDict_Clear(g.attribute_table);
    PyDict_Clear(global->dict);
    if (!type) PyErr_SetString(PyExc_RuntimeError, "Error initializing optimization environment");
    else PyErr_Restore(type, value, traceback);
  }
  return result;
}

}  // namespace kelvo
