// The walk over nested argument collections: lists, tuples, other sequences, dictionary
// values, iterators and NumPy arrays, visiting leaves in order.
#pragma once

#include "module/state.h"

namespace kelvo {

// Depth budget every caller passes.
constexpr int walk_max_depth = 32;

// Called for each leaf with the owning object and the caller's data: 0 continues, any other
// value stops the walk and becomes its result (-1 with an exception set for an error).
using LeafHandler = int (*)(PyObject *owner, PyObject *leaf, void *data);

// 0 when every leaf was handled, the first non-zero handler result, or -1 on error.
int walk(PyObject *owner, PyObject *collection, LeafHandler handler, void *data, int depth = walk_max_depth);

}  // namespace kelvo
