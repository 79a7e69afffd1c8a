// Argument conversion for the problem methods that call one library function: Python values
// into the flat arrays the library takes, and result arrays back into Python values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

// What one array element holds. The numbers appear in "Wrong item returned" messages.
enum ElemKind : int {
  ek_row = 0,    // int32 row index: integer, kelvo.constraint or row name
  ek_col = 1,    // int32 column index: integer, kelvo.var or column name
  ek_int = 2,    // int32, integers only
  ek_int64 = 3,  // int64, integers only
  ek_real = 4,   // double
  ek_char = 5,   // one byte from a one-character str
  ek_cut = 6,    // library cut handle held by a kelvo.poolcut
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

// Array from a Python object (None or null gives no array). slot may be null. 0 or -1.
int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out);
// Names as a buffer of zero-terminated UTF-8 texts. 0 or -1.
int conv_names(PyObject *obj, Py_ssize_t count, std::string &out);
// One object to a row or column index. 0 or -1.
int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index);
// One object (int, kelvo.var or kelvo.constraint) to an index of the combined row-column
// range. *objects_used is set when the object was a model object. 0 or -1.
int conv_obj2combined(ProblemObject *p, PyObject *obj, int *index, bool *objects_used);
// The kelvo.var or kelvo.constraint standing at a combined index (new reference or null).
PyObject *conv_combined2obj(ProblemObject *p, int index);
// Results into the caller's list: nothing when data is null or arg is None/null. 0 or -1.
int conv_arr2obj(ProblemObject *p, int64_t count, const void *data, PyObject *arg, ElemKind kind);

// Iterable conversions of the array-sized methods. Each fills `out` from any iterable;
// element failures are reported as "Error in element %d of argument '%s': %s". 0 or -1.
enum SetKind { sk_row, sk_col, sk_set };
int iter_indices(ProblemObject *p, PyObject *obj, const char *name, SetKind kind, std::vector<int> &out,
                 bool *objects_used);
int iter_chars(PyObject *obj, const char *name, std::vector<char> &out);
int iter_ints(PyObject *obj, const char *name, std::vector<int> &out);
int iter_int64s(PyObject *obj, const char *name, std::vector<int64_t> &out);
int iter_reals(PyObject *obj, const char *name, std::vector<double> &out);
PyObject *int_list(const int *values, size_t n);
PyObject *real_list(const double *values, size_t n);

}  // namespace kelvo
