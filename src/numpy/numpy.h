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
