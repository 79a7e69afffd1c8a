// Records of the control and attribute accessors.
#pragma once

#include "kelvo/state.h"

namespace kelvo {

// kelvo.control: a problem's controls, or (problem null) the global controls object whose
// dictionary holds the library's default values.
struct ControlObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  PyObject *dict;          // the control table, or the global object's own value dictionary
};

// kelvo.attribute: a problem's attributes, optionally tied to one objective.
struct AttributeObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  PyObject *table;         // the attribute table
  int32_t objective;       // -1 = not tied to an objective
};

// kelvo.objattrib: one attribute accessor per objective.
struct ObjAttribObject {
  PyObject_HEAD
  ProblemObject *problem;  // not owned
  Py_ssize_t nslots;
  PyObject **accessors;    // owned array of nslots owned references (entries may be null)
};

// New accessors bound to a problem (null for the global controls object).
PyObject *new_control(ProblemObject *problem, PyObject *dict);
PyObject *new_attribute(ProblemObject *problem, PyObject *table, int32_t objective);
PyObject *new_objattrib(ProblemObject *problem);

}  // namespace kelvo
