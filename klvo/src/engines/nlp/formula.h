// Formulas: postfix token arrays (the model store's format, model/formulas.h) compiled into an
// evaluation tape, with values, gradients and Hessians by automatic differentiation over the
// tape. The work is split by job: formula_parse.cpp (tokens to nodes), formula_compile.cpp
// (the tape and its Hessian structure), formula_eval.cpp (values), formula_derivatives.cpp
// (gradients and Hessians).
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
// while the registry lives, so tapes keep plain pointers to them.
struct UserFunctions {
  std::vector<std::unique_ptr<UserFunction>> items;
  const UserFunction *find(int id) const {
    return id >= 1 && id <= static_cast<int>(items.size()) ? items[id - 1].get() : nullptr;
  }
};

enum class Op : uint8_t {
  Const, Var, Neg, Add, Sub, Mul, Div, Pow, Exp, Log, Log10, Sin, Cos, Tan, Asin, Acos, Atan,
  Abs, Sign, Erf, Erfc, Sqrt, Min, Max, Sum, Prod, Pwl, User
};

// Scratch memory for evaluating tapes; one per evaluating thread.
struct TapeWork {
  std::vector<double> v, t, a, at, d, s, scratch;
};

class Tape {
 public:
  // Compiles a postfix token array (an end token, if any, must be the last token) into the
  // formula times `column` (when column >= 0) times `factor`. Columns must lie in [0, ncols).
  // Throws klvo::Error with a readable message on a malformed array.
  static Tape compile(const Token *tokens, int ntokens, int ncols, const UserFunctions *users, int column = -1,
                      double factor = 1.0);
  // Checks a token array as compile does, without building what evaluation needs.
  static void check(const Token *tokens, int ntokens, int ncols, const UserFunctions *users);

  // Columns the tape depends on; local variable i is column cols()[i]. Sorted ascending.
  const std::vector<int> &cols() const { return cols_; }
  bool has_user_functions() const { return has_user_; }

  // Each returns false when the formula cannot be evaluated at x (a domain error, a failing
  // user function, a non-finite result). x is indexed by column.
  bool value(const double *x, double &f, TapeWork &w) const;
  // grad has cols().size() entries (local order).
  bool gradient(const double *x, double &f, double *grad, TapeWork &w) const;
  // The structurally non-zero entries (i, j), i >= j, of the Hessian in local indices, found
  // symbolically from the tape when it is compiled.
  const std::vector<std::pair<int, int>> &hess_pattern() const { return pattern_; }
  // hess: one value per hess_pattern() entry, multiplied by `weight` and added to what is
  // there. grad (local order) may be null. Evaluated with one forward-over-reverse sweep per
  // group of structurally orthogonal columns, not per column.
  bool hessian(const double *x, double weight, double *hess, double *grad, TapeWork &w) const;

 private:
  struct Node {
    Op op;
    bool dep;       // depends on a column
    int arg;        // first operand in args_
    int nargs;
    int soff;       // offset of this node's second-derivative block in TapeWork::s
    double c;       // constant value, local variable index, or pwl/user data
    const UserFunction *user;
  };
  std::vector<Node> nodes_;
  std::vector<int> args_;
  std::vector<int> cols_;
  int nsecond_ = 0;
  bool has_user_ = false;
  std::vector<std::pair<int, int>> pattern_;
  std::vector<int> color_;                     // group of each local variable (-1: linear only)
  std::vector<std::vector<int>> by_color_;     // pattern entries recovered from each group
  friend class TapeParser;  // builds the nodes (formula_parse.cpp)
  friend class Evaluator;   // compiles parsed nodes (evaluator.cpp)

  // Parsing and compiling (formula_parse.cpp, formula_compile.cpp).
  // The nodes of a token array, variables still holding their columns.
  static Tape parse(const Token *tokens, int ntokens, int ncols, const UserFunctions *users);
  int add_node(Op op, const int *first, const int *last, double c = 0.0, const UserFunction *user = nullptr);
  int add_node(Op op, std::initializer_list<int> operands, double c = 0.0, const UserFunction *user = nullptr) {
    return add_node(op, operands.begin(), operands.end(), c, user);
  }
  void finish();
  void hessian_pattern();
  void color_columns();
  // Evaluating (formula_eval.cpp).
  void resize(TapeWork &w) const;
  bool forward(const double *x, TapeWork &w) const;
  bool node_value(const Node &n, TapeWork &w) const;
  bool call_user(const Node &n, const double *in, double &f, double *grad, bool want_grad) const;
  // Differentiating (formula_derivatives.cpp).
  bool local_derivatives(TapeWork &w, bool second) const;
  bool node_derivatives(const Node &n, TapeWork &w, double *d, double *s) const;
  bool user_derivatives(const Node &n, const double *v, double y, double *d, double *s) const;
  bool user_second_from_gradients(const Node &n, std::vector<double> &in, double *s) const;
  bool user_second_from_values(const Node &n, std::vector<double> &in, double f0, double *s) const;
};

// Checks a token array (compiling it into *tape when given) and returns the tokens without
// their end token.
std::vector<Token> normalize_tokens(const int *type, const double *value, int ntokens, int ncols,
                                    const UserFunctions *users, Tape *tape = nullptr);

// Name of a function code, for messages; null when the code is unknown.
const char *function_name(int code);

// The current thread's user-function error flag (set by KSLPsetfunctionerror).
void set_user_function_error();

}  // namespace nlp
}  // namespace klvo
