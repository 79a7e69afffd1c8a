// Python functions called from inside formulas: their registration with the nonlinear layer
// and the per-problem registry that keeps them alive.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "problem/problem.h"

namespace kelvo {

// One Python function registered with a nonlinear-layer handle for one arity. The layer holds
// a plain pointer to the record as the function's user data; a copied problem's layer holds the
// same pointer, so the copy's registry shares the record.
struct UserFunctionRecord {
  PyObject *function = nullptr;  // owned
  int arity = 0;
  int code = 0;  // node operator: 27 values only, 28 derivatives always, 29 on demand
  int id = 0;    // the layer's id for the function
  // The live problems whose layers hold the record; the first one receives the exceptions the
  // function raises and its handle reports failures. Changed only with the interpreter lock.
  std::vector<ProblemObject *> holders;

  ~UserFunctionRecord();
};

// The registry of one problem: function address to its records (one per arity).
// Records retired by `read` stay alive while the problem's layer, which may still call them,
// lives.
struct UserFunctionRegistry {
  std::multimap<PyObject *, std::shared_ptr<UserFunctionRecord>> records;
  std::vector<std::shared_ptr<UserFunctionRecord>> retired;
};

// The layer's id of `function` for a user-function node with this operator code and arity n,
// registering it with the problem's nonlinear handle on first use. -1 with an exception.
int user_function_id(ProblemObject *p, PyObject *node_args, int code);

// Empties the problem's registry. While the problem still has its nonlinear handle the records
// are only retired; otherwise the registry is freed and records shared with copies stay alive
// for them. Needs the interpreter lock.
void user_functions_release(ProblemObject *p);

// Makes `copy` share every record of `source`'s registry (after the layer was copied). -1 with
// an exception.
int user_functions_share(ProblemObject *copy, const ProblemObject *source);

}  // namespace kelvo
