// Whether the library can be asked about a linked object's row or column right now.
#include "model/model.h"
#include "module/frame.h"

namespace kelvo {

int properties_accessible(ProblemObject *p) {
  if (p->parent) return 0;
  if (!p->prob) {
    PyErr_SetString(g.ModelError, "Problem is not initialized");
    return -1;
  }
  int state = 0;
  if (call(KLVOgetintattrib, "KLVOgetintattrib", p, p->prob, static_cast<int>(KLVO_ATTR_PRESOLVESTATE), &state) != 0) {
    raise_error(reinterpret_cast<PyObject *>(p));
    return -1;
  }
  return (state & 6) ? 0 : 1;
}

int require_properties_accessible(ProblemObject *p, const char *what) {
  int a = properties_accessible(p);
  if (a == 0)
    PyErr_Format(g.InterfaceError,
                 "%s properties are not available when problem is presolved or in a callback: use indices instead",
                 what);
  return a == 1 ? 0 : -1;
}

}  // namespace kelvo
