// Formulas: postfix token arrays (the model store's format, model/formulas.h) checked and
// parsed into nodes (formula_parse.cpp); the evaluator (evaluator.h) compiles the nodes of all
// formulas of a problem for evaluation and differentiation.
//
// Function codes: 14 log10, 15 log, 16 exp, 17 abs, 18 sqrt, 27 sin, 28 cos, 29 tan, 30 asin,
//   31 acos, 32 atan, 33 min, 34 max, 35 pwl, 36 sum, 37 prod, 46 sign, 49 erf, 50 erfc.
// One-argument functions take their argument after a (22) marker; n-ary functions (min, max,
// sum, prod, pwl, user functions) take everything pushed since the latest marker. The operands
// of pwl and of user functions are pushed last to first, so popping gives them in order; pwl's
// are (argument, x0, y0, x1, y1, ...) with constant breakpoints in non-decreasing x.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "model/formulas.h"

namespace klvo {
namespace nlp {

using Token = FormulaToken;

// A function registered by the user. Value-only functions (type 2) are differentiated
// numerically; functions of type 5 also return first derivatives on request.
struct UserFunction {
  std::string name;
  int type = 2;
  int arity = 0;
  void (*fn)(void) = nullptr;
  void *data = nullptr;
};

// The user functions of one layer handle, by id (id = position + 1). Records are never removed
// while the registry lives, so compiled formulas keep plain pointers to them.
struct UserFunctions {
  std::vector<std::unique_ptr<UserFunction>> items;
  const UserFunction *find(int id) const {
    return id >= 1 && id <= static_cast<int>(items.size()) ? items[id - 1].get() : nullptr;
  }
};

enum class Op : uint8_t {
  Const, Var, Neg, Add, Sub, Mul, Div, Pow, Exp, Log, Log10, Sin, Cos, Tan, Asin, Acos, Atan,
  Abs, Sign, Erf, Erfc, Sqrt, Min, Max, Sum, Prod, Pwl, User,
  Square  // u^2, which the evaluator makes of a power with the constant exponent 2
};

// A parsed formula: its nodes with operands before the node using them and the root last.
// Every node is the operand of at most one other (the nodes form a tree). Variable nodes hold
// their column in c.
struct ParsedFormula {
  struct Node {
    Op op;
    bool dep;  // depends on a column
    int arg;   // first operand in args
    int nargs;
    double c;  // constant value or column
    const UserFunction *user;
  };
  std::vector<Node> nodes;
  std::vector<int> args;
  bool has_user = false;

  int add_node(Op op, const int *first, const int *last, double c = 0.0, const UserFunction *user = nullptr);
  int add_node(Op op, std::initializer_list<int> operands, double c = 0.0, const UserFunction *user = nullptr) {
    return add_node(op, operands.begin(), operands.end(), c, user);
  }
};

// Parses a token array (an end token, if any, must be the last token); columns must lie in
// [0, ncols). Throws klvo::Error with a readable message on a malformed array.
ParsedFormula parse_formula(const Token *tokens, int ntokens, int ncols, const UserFunctions *users);

// Checks a token array and returns the tokens without their end token.
std::vector<Token> normalize_tokens(const int *type, const double *value, int ntokens, int ncols,
                                    const UserFunctions *users);

// Name of a function code, for messages; null when the code is unknown.
const char *function_name(int code);

// The current thread's user-function error flag (set by KSLPsetfunctionerror).
void set_user_function_error();

}  // namespace nlp
}  // namespace klvo
