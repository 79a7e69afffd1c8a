// Solving and querying solutions: problem.optimize, getSolution, getDuals, getSlacks, ...
#include "kelvo/problem_methods.h"

namespace kelvo {

PyMethodDef problem_methods_solve[] = {{nullptr}};

}  // namespace kelvo
