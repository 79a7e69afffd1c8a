// Multistart methods of kelvo.problem: jobs with their initial values and control settings,
// presets, and clearing them. The job objects are kept alive by the problem, since the
// library hands them back to the multistart callbacks.
#include <climits>
#include <new>
#include <vector>

#include "api/convert.h"
#include "api/multistart_methods.h"
#include "module/frame.h"
#include "problem/params.h"

namespace nb = nanobind;

namespace kelvo {

void job_objects_release(ProblemObject *p) {
  delete p->job_objects;
  p->job_objects = nullptr;
}

namespace {

// The control dictionary as two pairs of arrays (ids, values), in the dictionary's order.
struct JobControls {
  std::vector<int> int_ids, int_values, dbl_ids;
  std::vector<double> dbl_values;
};

PyObject *interface_error(const char *message) {
  PyErr_SetString(g.InterfaceError, message);
  return nullptr;
}

// A parse failure is reported with the method's own message; a deprecation the warnings
// filter turned into an error is kept.
PyObject *incorrect_arguments(const char *method) {
  if (PyErr_ExceptionMatches(PyExc_TypeError) || PyErr_ExceptionMatches(PyExc_ValueError) ||
      PyErr_ExceptionMatches(PyExc_OverflowError)) {
    PyErr_Clear();
    PyErr_Format(g.InterfaceError, "Incorrect arguments in %s", method);
  }
  return nullptr;
}

int require_dict(PyObject *control) {
  if (PyDict_Check(control)) return 0;
  interface_error("Incorrect argument 'control' in msaddcustompreset/msaddjob: must be a dictionary");
  return -1;
}

int read_controls(PyObject *control, JobControls &out) {
  // Hold the dictionary: reading a key's normal form may run code that changes it.
  nb::object dict = nb::steal(PyDict_Copy(control));
  if (!dict) return -1;
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  try {
    while (PyDict_Next(dict.ptr(), &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        interface_error("Incorrect key in parameter 'control' (all keys must be strings) of msaddcustompreset/msaddjob");
        return -1;
      }
      nb::object name = nb::steal(normalise_name(key));
      CatalogueEntry e;
      int found = name ? find_entry(g.control_table, name.ptr(), &e) : 0;
      if (found < 0) return -1;
      if (!name) PyErr_Clear();
      if (found == 0) {
        PyErr_Format(g.InterfaceError, "Unknown control %S in msaddcustompreset/msaddjob", key);
        return -1;
      }
      bool integer = e.type == type_int && is_integer(value) && !PyBool_Check(value);
      bool real = e.type == type_double && (PyFloat_Check(value) || (is_integer(value) && !PyBool_Check(value)));
      if (!integer && !real) {
        interface_error("Only integer and double controls allowed in msaddcustompreset/msaddjob");
        return -1;
      }
      if (integer) {
        int overflow = 0;
        nb::object number = nb::steal(PyNumber_Index(value));
        long v = number ? PyLong_AsLongAndOverflow(number.ptr(), &overflow) : -1;
        if (!number || (v == -1 && PyErr_Occurred())) return -1;
        if (overflow || v < INT_MIN || v > INT_MAX) {
          PyErr_Format(PyExc_OverflowError, "Value of control %S does not fit a 32-bit integer", key);
          return -1;
        }
        out.int_ids.push_back(e.id);
        out.int_values.push_back(static_cast<int>(v));
      } else {
        double v = PyFloat_AsDouble(value);
        if (v == -1.0 && PyErr_Occurred()) return -1;
        out.dbl_ids.push_back(e.id);
        out.dbl_values.push_back(v);
      }
    }
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return -1;
  }
  return 0;
}

// Room for one more job object, made before the library call so that keeping it cannot fail
// after the library took the job.
JobObjects *job_room(ProblemObject *p) {
  try {
    if (!p->job_objects) p->job_objects = new JobObjects();
    p->job_objects->held.reserve(p->job_objects->held.size() + 1);
  } catch (const std::bad_alloc &) {
    PyErr_NoMemory();
    return nullptr;
  }
  return p->job_objects;
}

// Initial values and controls of a job, converted in the order the messages expect.
struct JobArguments {
  WorkArray cols, values;
  int n = 0;
  JobControls controls;
};

int job_arguments(ProblemObject *p, PyObject *ivcols, PyObject *ivvalues, PyObject *control, JobArguments &a) {
  if (require_dict(control) < 0) return -1;
  LengthSlot slot = -1;
  if (conv_obj2arr(p, &slot, ivcols, ek_col, a.cols) < 0 || conv_obj2arr(p, &slot, ivvalues, ek_real, a.values) < 0 ||
      array_count(slot, &a.n) < 0)
    return -1;
  if ((a.cols.data == nullptr) != (a.values.data == nullptr) && a.n > 0) {
    interface_error("Arguments 'ivcols' and 'ivvalues' must be given together");
    return -1;
  }
  return read_controls(control, a.controls);
}

template <class T>
const T *data_of(const std::vector<T> &v) {
  return v.empty() ? nullptr : v.data();
}

PyObject *m_msaddjob(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"description", "ivcols", "ivvalues", "control", "job_object", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  const char *description;
  PyObject *ivcols, *ivvalues, *control, *job;
  if (!parse_keywords(args, kwargs, "sOOOO", kw, nullptr, 5, &description, &ivcols, &ivvalues, &control, &job))
    return incorrect_arguments("msaddjob");
  JobArguments a;
  if (job_arguments(p, ivcols, ivvalues, control, a) < 0) return nullptr;
  JobObjects *room = job_room(p);
  if (!room) return nullptr;
  const JobControls &c = a.controls;
  if (call(KSLPmsaddjob, "KSLPmsaddjob", p, p->slp, description, a.n, a.cols.as<int>(), a.values.as<double>(),
           static_cast<int>(c.int_ids.size()), data_of(c.int_ids), data_of(c.int_values),
           static_cast<int>(c.dbl_ids.size()), data_of(c.dbl_ids), data_of(c.dbl_values), static_cast<void *>(job)))
    return check_result(self, nullptr);
  room->held.push_back(nb::borrow(job));
  Py_RETURN_NONE;
}

PyObject *m_msaddcustompreset(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"description", "preset", "count",     "ivcols",
                                   "ivvalues",    "control", "job_object", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  const char *description;
  int preset, count;
  PyObject *ivcols, *ivvalues, *control, *job;
  if (!parse_keywords(args, kwargs, "siiOOOO", kw, nullptr, 5, &description, &preset, &count, &ivcols, &ivvalues,
                      &control, &job))
    return incorrect_arguments("msaddcustompreset");
  JobArguments a;
  if (job_arguments(p, ivcols, ivvalues, control, a) < 0) return nullptr;
  JobObjects *room = job_room(p);
  if (!room) return nullptr;
  const JobControls &c = a.controls;
  if (call(KSLPmsaddcustompreset, "KSLPmsaddcustompreset", p, p->slp, description, preset, count, a.n,
           a.cols.as<int>(), a.values.as<double>(), static_cast<int>(c.int_ids.size()), data_of(c.int_ids),
           data_of(c.int_values), static_cast<int>(c.dbl_ids.size()), data_of(c.dbl_ids), data_of(c.dbl_values),
           static_cast<void *>(job)))
    return check_result(self, nullptr);
  room->held.push_back(nb::borrow(job));
  Py_RETURN_NONE;
}

PyObject *m_msaddpreset(PyObject *self, PyObject *args, PyObject *kwargs) {
  static const char *const kw[] = {"description", "preset", "count", "job_object", nullptr};
  static const char *const oldkw[] = {"description", "preset", "maxjobs", "data", nullptr};
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  const char *description;
  int preset, count;
  PyObject *job;
  if (!parse_keywords(args, kwargs, "siiO", kw, oldkw, 5, &description, &preset, &count, &job)) return nullptr;
  JobObjects *room = job_room(p);
  if (!room) return nullptr;
  if (call(KSLPmsaddpreset, "KSLPmsaddpreset", p, p->slp, description, preset, count, static_cast<void *>(job)))
    return check_result(self, nullptr);
  room->held.push_back(nb::borrow(job));
  Py_RETURN_NONE;
}

PyObject *m_msclear(PyObject *self, PyObject *) {
  ProblemObject *p = problem_of(self);
  if (require_handle(p) < 0) return nullptr;
  if (call(KSLPmsclear, "KSLPmsclear", p, p->slp)) return check_result(self, nullptr);
  // The library no longer holds the objects' addresses.
  job_objects_release(p);
  Py_RETURN_NONE;
}

}  // namespace

PyMethodDef problem_methods_multistart[] = {
    keywords_method("msaddjob", m_msaddjob, "Adds a multistart job: its initial values, controls and job object"),
    keywords_method("msaddpreset", m_msaddpreset, "Adds `count` multistart jobs of a preset"),
    keywords_method("msaddcustompreset", m_msaddcustompreset,
                    "Adds `count` multistart jobs of a preset with initial values and controls"),
    plain_method("msclear", m_msclear, "Removes every multistart job"),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace kelvo
