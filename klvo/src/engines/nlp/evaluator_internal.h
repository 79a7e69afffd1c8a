// The evaluator's groups and scratch memory, shared by its compiling (evaluator.cpp) and its
// sweeps (evaluator_sweeps.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "engines/nlp/evaluator.h"
#include "klvo/elementary.hpp"

namespace klvo {
namespace nlp {

// Instances evaluated together by one sweep: large enough to pay the dispatch rarely, small
// enough for a block's scratch to stay in cache.
constexpr int kBlock = 64;

// The elementary function an operation applies, if it is one; used by the generic sweeps and
// the compiler of straight-line sweeps alike.
inline bool elementary_of(Op op, elementary::Function &f) {
  switch (op) {
    case Op::Exp: f = elementary::Function::Exp; return true;
    case Op::Log: f = elementary::Function::Log; return true;
    case Op::Log10: f = elementary::Function::Log10; return true;
    case Op::Sin: f = elementary::Function::Sin; return true;
    case Op::Cos: f = elementary::Function::Cos; return true;
    case Op::Tan: f = elementary::Function::Tan; return true;
    case Op::Asin: f = elementary::Function::Asin; return true;
    case Op::Acos: f = elementary::Function::Acos; return true;
    case Op::Atan: f = elementary::Function::Atan; return true;
    case Op::Abs: f = elementary::Function::Abs; return true;
    case Op::Sign: f = elementary::Function::Sign; return true;
    case Op::Erf: f = elementary::Function::Erf; return true;
    case Op::Erfc: f = elementary::Function::Erfc; return true;
    case Op::Sqrt: f = elementary::Function::Sqrt; return true;
    default: return false;
  }
}

struct EvalNode {
  Op op;
  bool dep;         // depends on a variable
  bool second;      // has non-zero second derivatives in its operands
  int arg, nargs;   // operands in Group::args
  int slot;         // Const: constant index; Var: local variable
  int soff;         // second-derivative block (nargs * nargs entries) when `second`
  const UserFunction *user;
};

// A group's sweeps compiled once into straight-line code over lanes. Every instruction but the
// outputs defines a register (lanes of one block); derivative constants are folded, zero
// tangents and adjoints dropped and repeated subexpressions shared, so a sweep does only the
// arithmetic its formula's derivatives need and dispatches once per instruction and block.
enum class POp : uint8_t {
  Const,      // per-instance constant `slot`
  Var,        // x at local variable `slot`
  Fill,       // k
  Neg, Add, Sub, Mul, Div, Square,
  AddK, MulK,  // a + k, a * k
  KSub,       // k - a
  MulAdd,     // a * b + c
  Unary,      // elementary function fn at a
  Unary1,     // its first derivative at (a, value b), with the derivative's domain checked
  Unary2,     // its second derivative
  Pow,        // a ^ b
  PowD1,      // d(a ^ b)/da, b constant
  PowD2,      // d2(a ^ b)/da2, b constant
  Value,      // the formula's value is a
  Gradient,   // gradient target `slot` += weight * a
  Hessian,    // Hessian target `slot` += weight * a
};

struct Instr {
  POp op;
  bool check;  // the result must be finite
  uint8_t fn;  // Unary*: elementary function
  int dst, a, b, c, slot;
  double k;
};

struct Program {
  std::vector<Instr> code;
  int nregs = 0;
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
  // Compiled sweeps (values, gradients, Hessians) when every operation of the group has them;
  // registers hold `lanes` entries each.
  bool compiled = false;
  int lanes = 0;
  Program program[3];
};

// Compiles the group's sweeps when it can (after its instances are slot-major).
void compile_group(Evaluator::Group &g);
// Runs program p of group g on instances [k0, k0 + b); false when a result is not finite or
// an operand lies outside its operation's domain.
bool run_program(const Evaluator::Group &g, const Program &p, int k0, int b, const double *x, double *regs,
                 const double *weight, double *target, double *out);

// The value of a node whose operands have the values in[0..m), for the operations other than
// variables, constants and user functions; false outside the operation's domain.
bool node_value(Op op, const double *in, int m, double &y);

struct Evaluator::Work {
  std::vector<double> v, d, s, a, t, at, g, regs;
};

}  // namespace nlp
}  // namespace klvo
