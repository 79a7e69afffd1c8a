// Argument conversion for the problem methods that call one library function: Python values
// into the flat arrays the library takes, and result arrays back into Python values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

// What one array element holds.
enum ElemKind : int {
  ek_row,   // int32 row index: integer, kelvo.constraint or row name
  ek_col,   // int32 column index: integer, kelvo.var or column name
  ek_real,  // double
};

size_t elem_width(ElemKind kind);

// The module-wide allocator of work arrays. allocate and resize fail with MemoryError;
// release accepts null.
struct ArrayAllocator {
  void *(*allocate)(size_t bytes);
  void *(*resize)(void *block, size_t bytes);
  void (*release)(void *block);
};
extern const ArrayAllocator array_allocator;

// One work array, released when it goes out of scope.
struct WorkArray {
  void *data = nullptr;
  int64_t count = 0;
  WorkArray() = default;
  WorkArray(const WorkArray &) = delete;
  WorkArray &operator=(const WorkArray &) = delete;
  ~WorkArray() { reset(); }
  void reset() {
    array_allocator.release(data);
    data = nullptr;
    count = 0;
  }
  template <class T> T *as() const { return static_cast<T *>(data); }
};

// Length slot shared by arrays that must agree in length; -1 means not known yet.
using LengthSlot = int64_t;

// "Problem is not initialized" unless p has a library handle: 0 or -1.
int require_handle(ProblemObject *p);

// Integer and double attributes read through the solver-call frame: 0, or -1 with the
// library's error raised.
int read_int_attrib(ProblemObject *p, int id, int *value);
int read_dbl_attrib(ProblemObject *p, int id, double *value);

// Row of a kelvo.constraint in p: the row, or -1 with ModelError (deleted constraints too).
int resolve_row(PyObject *constraint, ProblemObject *p);

// Array from a sequence (None or null gives no array). slot may be null. 0 or -1.
int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out);
// One object to a row or column index. 0 or -1.
int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index);
// A new list of the n values.
PyObject *real_list(const double *values, size_t n);

// UTF-8 text of a str or bytes the library takes as a C string (a name, a string control).
// The library stops at the first NUL, so a text holding one is refused with ValueError rather
// than stored cut; `what` starts the message ("Name"). size may be null. Null on error.
const char *c_text(PyObject *obj, Py_ssize_t *size, const char *what = "Name");
// An integer argument the library takes as a 32-bit int; OverflowError naming the value when
// it does not fit. 0 or -1.
int int32_value(PyObject *obj, int *value);
// The same as a PyArg "O&" converter (accepts __index__ like the "i" format).
int int32_converter(PyObject *obj, void *value);

}  // namespace kelvo
