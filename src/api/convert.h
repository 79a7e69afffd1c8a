// Argument conversion for the problem methods that call one library function: Python values
// into the flat arrays the library takes, and result arrays back into Python values.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/model.h"
#include "problem/problem.h"

namespace kelvo {

// What one array element holds.
enum ElemKind : int {
  ek_row,    // int32 row index: integer, kelvo.constraint or row name
  ek_col,    // int32 column index: integer, kelvo.var or column name
  ek_real,   // double
  ek_int,    // int32, integers only
  ek_int64,  // int64, integers only (start arrays of the 64-bit functions)
  ek_char,   // one byte: a one-character str (row, column, bound and set type codes)
  ek_cut,    // pointer: the library cut handle of a kelvo.poolcut
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

// Array from a list, tuple, other sequence (NumPy arrays of numbers are read through their
// buffer) or iterator; None or null gives no array. Arrays sharing a slot must have the same
// length; slot may be null. 0 or -1 with the exception set and no array.
int conv_obj2arr(ProblemObject *p, LengthSlot *slot, PyObject *obj, ElemKind kind, WorkArray &out);
// The index of a row (kind ek_row) or column (ek_col) name, -1 when no row or column has it.
// 0 or -1 with the exception set.
int lookup_name(ProblemObject *p, PyObject *obj, ElemKind kind, int *index);
// One object to a row or column index; a name that no row or column has is refused. 0 or -1.
int conv_obj2index(ProblemObject *p, PyObject *obj, ElemKind kind, int *index);
// One object (an int, kelvo.var or kelvo.constraint) to a combined index, where rows come
// first and columns start at rows + sparerows. 0 or -1.
int conv_obj2combined(ProblemObject *p, PyObject *obj, int *index);
// The kelvo.var or kelvo.constraint standing at a combined index (new reference), null with
// IndexError outside the problem's object lists.
PyObject *combined_object(ProblemObject *p, int index);
// Writes the first `count` elements of `values` into the caller's list `arg`: the list is cut
// to `count` items, earlier items are replaced and the rest appended. Index kinds give the
// problem's kelvo.var / kelvo.constraint objects (a plain int beyond the object list, None for
// a negative index). Nothing happens when values or arg is null or None. 0 or -1.
int conv_arr2obj(ProblemObject *p, int64_t count, const void *values, PyObject *arg, ElemKind kind);
inline int conv_arr2obj(ProblemObject *p, int64_t count, const WorkArray &values, PyObject *arg, ElemKind kind) {
  return conv_arr2obj(p, count, values.data, arg, kind);
}
// The first `count` names of obj (list, tuple, sequence or iterator of str) as one buffer of
// zero-terminated UTF-8 texts. A count of 0 gives an empty buffer whatever obj is. 0 or -1.
int conv_names(PyObject *obj, int64_t count, std::string &buffer);
// A new list of the n values.
PyObject *real_list(const double *values, size_t n);
PyObject *int_list(const int *values, size_t n);

// The count a length slot settled on, as the library's 32-bit count (0 when no array was
// given); OverflowError beyond 2^31 - 1 elements. 0 or -1.
int array_count(LengthSlot n, int *count);

// InterfaceError "Must provide argument NAME" or "Must provide arguments A, B, C"; -1.
int missing_arguments(std::initializer_list<const char *> names);
// Raises the missing-arguments error over all `names` when any of `values` is null or None.
int require_arguments(std::initializer_list<const char *> names, std::initializer_list<PyObject *> values);

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
