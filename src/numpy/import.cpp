// NumPy's array and ufunc interfaces, imported once at start-up.
#define KELVO_NUMPY_IMPORT
#include "numpy/numpy.h"

namespace kelvo {

int import_numpy() {
  if (_import_array() < 0) return -1;
  if (_import_umath() < 0) return -1;
  return 0;
}

}  // namespace kelvo
