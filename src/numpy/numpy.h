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

// Type numbers of the three object dtypes, or -1 while they are not registered.
int npvar_typenum();
int npexpr_typenum();
int npconstraint_typenum();

// Module functions of the NumPy and SciPy interoperation (Dot).
extern PyMethodDef numpy_methods[];

}  // namespace kelvo
