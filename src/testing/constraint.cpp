// Private entry points of the constraint record for the test suite (joined to
// kelvo._kelvo._testing): the record's bit fields, and rows made directly in the library.
#include "kelvo/constraint.h"
#include "kelvo/frame.h"

namespace kelvo {

// constraint_record(c) -> (slot count, name slot, lb state, ub state, kind, index field)
static PyObject *t_constraint_record(PyObject *, PyObject *arg) {
  if (!is_constraint(arg)) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.constraint");
    return nullptr;
  }
  ConstraintObject *c = as_con(arg);
  return Py_BuildValue("(iiiiiK)", constraint_slot_count(c), c->slot_flags & 7, c->bound_flags & 7,
                       (c->bound_flags >> 3) & 7, constraint_kind(c),
                       static_cast<unsigned long long>(constraint_index(c)));
}

// linked_row(problem, letter, rhs, range) -> a constraint linked to a new empty row, appended
// to the problem's constraint list.
static PyObject *t_linked_row(PyObject *, PyObject *args) {
  PyObject *po;
  char letter;
  double rhs, range;
  if (!PyArg_ParseTuple(args, "OCdd", &po, &letter, &rhs, &range)) return nullptr;
  if (!is_problem(po)) {
    PyErr_SetString(PyExc_TypeError, "expected a kelvo.problem");
    return nullptr;
  }
  auto *p = reinterpret_cast<ProblemObject *>(po);
  if (!p->prob || !p->cons) {
    PyErr_SetString(g.ModelError, "Problem is not initialized");
    return nullptr;
  }
  int row = static_cast<int>(PyList_GET_SIZE(p->cons));
  int start = 0;
  if (call(KLVOaddrows, "KLVOaddrows", p, p->prob, 1, 0, &letter, &rhs, &range, &start, nullptr, nullptr) != 0)
    return check_result(po, nullptr);
  PyObject *c = new_linked_constraint(p, row);
  if (!c) return nullptr;
  if (PyList_Append(p->cons, c) < 0) Py_CLEAR(c);
  return c;
}

PyMethodDef constraint_testing_methods[] = {
    {"constraint_record", t_constraint_record, METH_O, nullptr},
    {"linked_row", t_linked_row, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace kelvo
