// Parsing a formula: a postfix token array checked token by token and turned into nodes
// (compiled further by the evaluator).
#include <cmath>
#include <vector>

#include "engines/nlp/formula.h"
#include "env/error.h"

namespace klvo {
namespace nlp {

namespace {

struct FunctionInfo {
  int code;
  Op op;
  int arity;  // -1 n-ary
  const char *name;
};

const FunctionInfo kFunctions[] = {
    {14, Op::Log10, 1, "log10"}, {15, Op::Log, 1, "log"},   {16, Op::Exp, 1, "exp"},
    {17, Op::Abs, 1, "abs"},     {18, Op::Sqrt, 1, "sqrt"}, {27, Op::Sin, 1, "sin"},
    {28, Op::Cos, 1, "cos"},     {29, Op::Tan, 1, "tan"},   {30, Op::Asin, 1, "asin"},
    {31, Op::Acos, 1, "acos"},   {32, Op::Atan, 1, "atan"}, {33, Op::Min, -1, "min"},
    {34, Op::Max, -1, "max"},    {35, Op::Pwl, -1, "pwl"},  {36, Op::Sum, -1, "sum"},
    {37, Op::Prod, -1, "prod"},  {46, Op::Sign, 1, "sign"}, {49, Op::Erf, 1, "erf"},
    {50, Op::Erfc, 1, "erfc"},
};

const FunctionInfo *find_function(int code) {
  for (const auto &f : kFunctions)
    if (f.code == code) return &f;
  return nullptr;
}

bool as_int(double v, int &out) {
  if (!(v >= -2147483648.0 && v <= 2147483647.0) || v != std::floor(v)) return false;
  out = static_cast<int>(v);
  return true;
}

const char *operator_name(int code) {
  switch (code) {
    case 1: return "unary minus";
    case 2: return "power";
    case 3: return "times";
    case 4: return "divide";
    case 5: return "plus";
    case 6: return "minus";
    default: return nullptr;
  }
}

}  // namespace

const char *function_name(int code) {
  const FunctionInfo *f = find_function(code);
  return f ? f->name : nullptr;
}

// Reads a token array onto a stack of node indices (-1 marks the start of an argument list),
// adding the node each token stands for. A malformed array fails, naming the
// token.
class FormulaParser {
 public:
  FormulaParser(int ncols, const UserFunctions *users) : ncols_(ncols), users_(users) {}
  ParsedFormula parse(const Token *tk, int ntokens);

 private:
  int pop(int pos, const char *what);
  std::vector<int> pop_list(int pos, const char *what);
  void constant(const Token &k, int i);
  void column(const Token &k, int i);
  void op(const Token &k, int i);
  void function(const Token &k, int i);
  void check_breakpoints(const std::vector<int> &list, int i) const;
  void user_function(const Token &k, int i);
  void check_one_value() const;

  int ncols_;
  const UserFunctions *users_;
  ParsedFormula t_;
  std::vector<int> stack_;
};

ParsedFormula FormulaParser::parse(const Token *tk, int ntokens) {
  // A token adds at most one node, and every node is an operand at most once; the evaluator
  // may add four nodes and operands for the entry's column and factor.
  t_.nodes.reserve(ntokens + 4);
  t_.args.reserve(ntokens + 4);
  for (int i = 0; i < ntokens; ++i) {
    const Token &k = tk[i];
    switch (k.type) {
      case kEnd:
        if (i != ntokens - 1) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: tokens follow the end token at token %d", i);
        break;
      case kConst: constant(k, i); break;
      case kColumn: column(k, i); break;
      case kMarker: stack_.push_back(-1); break;
      case kOperator: op(k, i); break;
      case kFunc: function(k, i); break;
      case kUserFunc: user_function(k, i); break;
      default:
        fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown token type %d at token %d", k.type, i);
    }
  }
  check_one_value();
  return std::move(t_);
}

int FormulaParser::pop(int pos, const char *what) {
  if (stack_.empty() || stack_.back() < 0)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d is missing an operand", what, pos);
  int v = stack_.back();
  stack_.pop_back();
  return v;
}

// The operands pushed since the latest start of an argument list, last pushed first; the
// start is removed too.
std::vector<int> FormulaParser::pop_list(int pos, const char *what) {
  std::vector<int> list;
  while (!stack_.empty() && stack_.back() >= 0) {
    list.push_back(stack_.back());
    stack_.pop_back();
  }
  if (stack_.empty())
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d has no start of its argument list (token type 22)",
         what, pos);
  stack_.pop_back();
  return list;
}

void FormulaParser::constant(const Token &k, int i) {
  if (!std::isfinite(k.value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: constant at token %d is not finite", i);
  stack_.push_back(t_.add_node(Op::Const, {}, k.value));
}

void FormulaParser::column(const Token &k, int i) {
  int col;
  if (!as_int(k.value, col) || col < 0 || col >= ncols_)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: column %g at token %d is out of range (the problem has %d columns)",
         k.value, i, ncols_);
  stack_.push_back(t_.add_node(Op::Var, {}, col));
}

void FormulaParser::op(const Token &k, int i) {
  int code;
  const char *name = as_int(k.value, code) ? operator_name(code) : nullptr;
  if (!name) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown operator %g at token %d", k.value, i);
  if (code == 1) {
    int a = pop(i, name);
    stack_.push_back(t_.add_node(Op::Neg, {a}));
  } else {
    int b = pop(i, name);
    int a = pop(i, name);
    static const Op ops[] = {Op::Neg, Op::Neg, Op::Pow, Op::Mul, Op::Div, Op::Add, Op::Sub};
    stack_.push_back(t_.add_node(ops[code], {a, b}));
  }
}

void FormulaParser::function(const Token &k, int i) {
  int code;
  const FunctionInfo *f = as_int(k.value, code) ? find_function(code) : nullptr;
  if (!f) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown function code %g at token %d", k.value, i);
  std::vector<int> list = pop_list(i, f->name);
  if (f->arity == 1) {
    if (list.size() != 1)
      fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d takes one argument, not %d", f->name, i,
           static_cast<int>(list.size()));
  } else if ((f->op == Op::Min || f->op == Op::Max) && list.empty()) {
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at token %d has no argument", f->name, i);
  } else if (f->op == Op::Pwl) {
    check_breakpoints(list, i);
  }
  stack_.push_back(t_.add_node(f->op, list.data(), list.data() + list.size()));
}

// pwl's operands are its argument and pairs (x, y) of constants, x non-decreasing.
void FormulaParser::check_breakpoints(const std::vector<int> &list, int i) const {
  if (list.size() < 3 || list.size() % 2 == 0)
    fail(KLVO_ERR_INVALID_ARGUMENT,
         "Invalid formula: pwl at token %d needs an argument and pairs of breakpoints (x, y), got %d operands", i,
         static_cast<int>(list.size()));
  double prev = -HUGE_VAL;
  for (size_t j = 1; j < list.size(); ++j) {
    const ParsedFormula::Node &n = t_.nodes[list[j]];
    double v;
    if (n.op == Op::Const) v = n.c;
    else if (n.op == Op::Neg && t_.nodes[t_.args[n.arg]].op == Op::Const) v = -t_.nodes[t_.args[n.arg]].c;
    else fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: the breakpoints of pwl at token %d must be constants", i);
    if (j % 2 == 1) {
      if (v < prev)
        fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: the breakpoints of pwl at token %d are not in increasing order", i);
      prev = v;
    }
  }
}

void FormulaParser::user_function(const Token &k, int i) {
  int id;
  const UserFunction *uf = (users_ && as_int(k.value, id)) ? users_->find(id) : nullptr;
  if (!uf) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: no user function with id %g (token %d)", k.value, i);
  std::vector<int> list = pop_list(i, uf->name.c_str());
  if (static_cast<int>(list.size()) != uf->arity)
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: user function %s at token %d takes %d arguments, got %d",
         uf->name.c_str(), i, uf->arity, static_cast<int>(list.size()));
  stack_.push_back(t_.add_node(Op::User, list.data(), list.data() + list.size(), 0.0, uf));
}

void FormulaParser::check_one_value() const {
  if (stack_.size() == 1 && stack_[0] >= 0) return;
  if (stack_.empty()) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: it is empty");
  fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: it leaves %d entries on the stack instead of one value",
       static_cast<int>(stack_.size()));
}

ParsedFormula parse_formula(const Token *tk, int ntokens, int ncols, const UserFunctions *users) {
  return FormulaParser(ncols, users).parse(tk, ntokens);
}

int ParsedFormula::add_node(Op op, const int *first, const int *last, double c, const UserFunction *user) {
  Node n{};
  n.op = op;
  n.arg = static_cast<int>(args.size());
  n.nargs = static_cast<int>(last - first);
  n.c = c;
  n.user = user;
  n.dep = op == Op::Var;
  for (const int *o = first; o != last; ++o) {
    args.push_back(*o);
    n.dep = n.dep || nodes[*o].dep;
  }
  if (op == Op::User) has_user = true;
  nodes.push_back(n);
  return static_cast<int>(nodes.size()) - 1;
}

std::vector<Token> normalize_tokens(const int *type, const double *value, int ntokens, int ncols,
                                    const UserFunctions *users) {
  if (ntokens < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: negative token count %d", ntokens);
  if (ntokens > 0 && (!type || !value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: null token arrays");
  std::vector<Token> tokens(ntokens);
  for (int i = 0; i < ntokens; ++i) tokens[i] = Token{type[i], value[i]};
  parse_formula(tokens.data(), ntokens, ncols, users);
  if (!tokens.empty() && tokens.back().type == kEnd) tokens.pop_back();
  return tokens;
}

}  // namespace nlp
}  // namespace klvo
