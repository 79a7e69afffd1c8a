// Type numbers of the object dtypes while none is registered.
#include "numpy/numpy.h"

namespace kelvo {

int npvar_typenum() { return -1; }
int npexpr_typenum() { return -1; }
int npconstraint_typenum() { return -1; }

}  // namespace kelvo
