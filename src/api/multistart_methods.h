// The objects given to multistart jobs: the problem holds them while the library keeps their
// addresses (until msclear or the problem's release).
#pragma once

#include <vector>

#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace kelvo {

struct JobObjects {
  std::vector<nanobind::object> held;
};

// Lets go of the problem's job objects (after the library dropped the jobs).
void job_objects_release(ProblemObject *p);

}  // namespace kelvo
