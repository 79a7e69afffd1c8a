// NumPy's C API, shared by every source file of the extension. Only src/numpy/import.cpp
// defines the API tables; the others refer to them.
#pragma once

#include "module/state.h"

#define PY_ARRAY_UNIQUE_SYMBOL kelvo_ARRAY_API
#define PY_UFUNC_UNIQUE_SYMBOL kelvo_UFUNC_API
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#ifndef KELVO_NUMPY_IMPORT
#define NO_IMPORT_ARRAY
#define NO_IMPORT_UFUNC
#endif
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>

namespace kelvo {

// Registers the three object dtypes, their casts and their ufunc loops, keeping their
// descriptors in g.npvar, g.npexpr and g.npconstraint. -1 with an exception.
int register_dtypes();

// Type numbers of the three dtypes; -1 until they are registered.
int npvar_typenum();
int npexpr_typenum();
int npconstraint_typenum();

// o in a zero-dimensional array of npvar (a variable) or npexpr (anything else), so that NumPy
// combines it with another array through the module's loops rather than as a generic object.
PyObject *model_scalar_array(PyObject *o);

// Whether the elements of arrays of this descriptor are references to the module's objects
// held by one of the three dtypes.
inline bool is_model_dtype(const PyArray_Descr *d) {
  int t = d->type_num;
  return t >= NPY_USERDEF && (t == npvar_typenum() || t == npexpr_typenum() || t == npconstraint_typenum());
}

// Module functions of the NumPy and SciPy interoperation (Dot).
extern PyMethodDef numpy_methods[];

}  // namespace kelvo
