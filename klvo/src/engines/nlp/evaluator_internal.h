// The evaluator's groups and scratch memory, shared by its compiling (evaluator.cpp) and its
// sweeps (evaluator_sweeps.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "engines/nlp/evaluator.h"

namespace klvo {
namespace nlp {

// Instances evaluated together by one sweep: large enough to pay the dispatch rarely, small
// enough for a block's scratch to stay in cache.
constexpr int kBlock = 64;

struct EvalNode {
  Op op;
  bool dep;         // depends on a variable
  bool second;      // has non-zero second derivatives in its operands
  int arg, nargs;   // operands in Group::args
  int slot;         // Const: constant index; Var: local variable
  int soff;         // second-derivative block (nargs * nargs entries) when `second`
  const UserFunction *user;
};

struct Evaluator::Group {
  int side = 0;
  std::vector<EvalNode> nodes;  // operands before the nodes using them; the root last
  std::vector<int> args;
  int nconst = 0, nlocal = 0, nsecond = 0;
  std::vector<std::pair<int, int>> pattern;  // Hessian entries (i, j), i >= j, local indices
  std::vector<int> color;                    // colour of each local variable (-1: linear only)
  std::vector<std::vector<int>> by_color;    // pattern entries recovered from each colour's sweep
  std::vector<uint64_t> colors_of;           // by node: the colours it depends on (bit c; bit 63: any beyond)
  int ninst = 0;
  // Per instance, slot-major once finished ([slot * ninst + k]); instance-major while built.
  std::vector<double> consts;
  std::vector<int> cols;
  std::vector<int> gtarget;  // [l * ninst + k]
  std::vector<int> htarget;  // [e * ninst + k]
  std::vector<int> formula;  // [k]
};

// The value of a node whose operands have the values in[0..m), for the operations other than
// variables, constants and user functions; false outside the operation's domain.
bool node_value(Op op, const double *in, int m, double &y);

struct Evaluator::Work {
  std::vector<double> v, d, s, a, t, at, g;
};

}  // namespace nlp
}  // namespace klvo
