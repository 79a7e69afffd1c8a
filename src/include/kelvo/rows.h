// Constraint objects for rows added by the low-level row methods.
#pragma once

#include "kelvo/problem.h"

namespace kelvo {

// Appends `count` constraint objects for rows first .. first + count - 1 to p's constraint
// list: free constraints with bounds (-1e20, 1e20), no body, the names from `names` (a
// sequence or null) and a fresh serial id mapped to their row when `unlinked` is set, linked
// ones otherwise. -1 with an exception.
int create_row_objects(ProblemObject *p, PyObject *names, int first, int count, bool unlinked);

// Sends `count` names from the sequence `names` (null or None: nothing) to the library as
// the names of rows first .. first + count - 1. -1 with an exception.
int add_row_names(ProblemObject *p, PyObject *names, int first, int count);

}  // namespace kelvo
