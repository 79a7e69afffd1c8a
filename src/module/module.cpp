// Module initialisation of _kelvo.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static struct PyModuleDef kelvo_module = {
    PyModuleDef_HEAD_INIT, "_kelvo",
    "Create, solve, query and handle optimization problems with the klvo solver library.", -1, nullptr,
};

PyMODINIT_FUNC PyInit__kelvo(void) { return PyModule_Create(&kelvo_module); }
