// Formula text and unparsed token arrays: a lexer for each form feeding one recursive-descent
// parser that writes postfix tokens, and a printer that rebuilds the tree from postfix tokens
// and writes it with only the brackets the grammar needs (formula_text.h).
#include "engines/nlp/formula_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "env/error.h"

namespace klvo {
namespace nlp {

namespace {

// Nesting the parser and the printer accept; deeper formulas would exhaust the C stack. Chains
// of the same operator (x1 + x2 + ... + xn) do not nest.
constexpr int kMaxDepth = 2000;

struct BuiltIn {
  int code;
  int arity;  // 1 or -1 (any number)
  const char *name;
};

const BuiltIn kBuiltIns[] = {
    {14, 1, "log10"}, {15, 1, "log"}, {16, 1, "exp"},  {17, 1, "abs"},   {18, 1, "sqrt"},  {27, 1, "sin"},
    {28, 1, "cos"},   {29, 1, "tan"}, {30, 1, "asin"}, {31, 1, "acos"},  {32, 1, "atan"},  {33, -1, "min"},
    {34, -1, "max"},  {35, -1, "pwl"}, {36, -1, "sum"}, {37, -1, "prod"}, {46, 1, "sign"}, {49, 1, "erf"},
    {50, 1, "erfc"},
};

const BuiltIn *builtin_by_code(int code) {
  for (const BuiltIn &b : kBuiltIns)
    if (b.code == code) return &b;
  return nullptr;
}

bool same_nocase(const std::string &a, const char *b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

const BuiltIn *builtin_by_name(const std::string &name) {
  for (const BuiltIn &b : kBuiltIns)
    if (same_nocase(name, b.name)) return &b;
  return nullptr;
}

// Operands of pwl and user functions are pushed last to first.
bool reversed_operands(bool user, int code) { return user || code == 35; }

bool ident_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

bool bare_name(const std::string &s) {
  if (s.empty() || !ident_start(s[0])) return false;
  return std::all_of(s.begin(), s.end(), ident_char);
}

std::string quoted(const std::string &s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string number_text(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The default name of the column with index j (C1 for index 0).
std::string default_name(int j) { return "C" + std::to_string(j + 1); }

// ---- Lexemes: what both written forms share.

enum class LK { Num, Col, Op, Func, User, Open, ArgOpen, Close, Comma, End };

struct Lex {
  Lex(LK kind_, double v_ = 0.0, int pos_ = 0, std::string name_ = {})
      : kind(kind_), v(v_), pos(pos_), name(std::move(name_)) {}
  LK kind;
  double v;          // number value, column, operator code, function code or user id
  int pos;           // character (text) or token (array) position, for messages
  std::string name;  // a user function named in text, resolved once its arguments are counted
};

class Parser {
 public:
  Parser(std::vector<Lex> lx, bool text, const TextNames &names) : lx_(std::move(lx)), text_(text), names_(names) {}

  std::vector<Token> run() {
    if (peek().kind == LK::End) return {};
    expr(0);
    if (peek().kind != LK::End) error(peek(), "unexpected %s", what(peek()));
    return std::move(out_);
  }

 private:
  std::vector<Lex> lx_;
  size_t i_ = 0;
  bool text_;
  const TextNames &names_;
  std::vector<Token> out_;

  const Lex &peek(size_t ahead = 0) const { return lx_[std::min(i_ + ahead, lx_.size() - 1)]; }
  const Lex &next() {
    const Lex &l = peek();
    if (i_ < lx_.size() - 1) ++i_;
    return l;
  }
  bool is_op(const Lex &l, int code) const { return l.kind == LK::Op && static_cast<int>(l.v) == code; }

  static const char *what(const Lex &l) {
    switch (l.kind) {
      case LK::Num: return "number";
      case LK::Col: return "column";
      case LK::Op: return "operator";
      case LK::Func:
      case LK::User: return "function";
      case LK::Open:
      case LK::ArgOpen: return "opening bracket";
      case LK::Close: return "closing bracket";
      case LK::Comma: return "argument separator";
      case LK::End: return "end of formula";
    }
    return "token";
  }

  template <class... A>
  [[noreturn]] void error(const Lex &at, const char *format, A... args) const {
    char msg[256];
    std::snprintf(msg, sizeof msg, format, args...);
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at %s %d", msg, text_ ? "character" : "token", at.pos + 1);
  }

  void emit(int type, double value) { out_.push_back(Token{type, value}); }

  void check_depth(int depth) const {
    if (depth > kMaxDepth) error(peek(), "nesting deeper than %d levels", kMaxDepth);
  }

  void expr(int depth) {
    check_depth(depth);
    term(depth);
    while (is_op(peek(), 5) || is_op(peek(), 6)) {
      int code = static_cast<int>(next().v);
      term(depth);
      emit(kOperator, code);
    }
  }

  void term(int depth) {
    unary(depth);
    while (is_op(peek(), 3) || is_op(peek(), 4)) {
      int code = static_cast<int>(next().v);
      unary(depth);
      emit(kOperator, code);
    }
  }

  void unary(int depth) {
    check_depth(depth);
    const Lex &l = peek();
    if (is_op(l, 1) || is_op(l, 6)) {
      next();
      // In text a minus before a number that no power follows is the number's sign.
      if (text_ && peek().kind == LK::Num && !is_op(peek(1), 2)) {
        emit(kConst, -next().v);
        return;
      }
      unary(depth + 1);
      emit(kOperator, 1);
    } else if (is_op(l, 5)) {
      next();
      unary(depth + 1);
    } else {
      power(depth);
    }
  }

  void power(int depth) {
    primary(depth);
    if (is_op(peek(), 2)) {
      next();
      unary(depth + 1);
      emit(kOperator, 2);
    }
  }

  void primary(int depth) {
    const Lex &l = next();
    switch (l.kind) {
      case LK::Num: emit(kConst, l.v); return;
      case LK::Col: emit(kColumn, l.v); return;
      case LK::Open:
        expr(depth + 1);
        if (next().kind != LK::Close) error(peek(), "missing closing bracket");
        return;
      case LK::Func:
      case LK::User: call(l, depth); return;
      default: error(l, "unexpected %s", what(l));
    }
  }

  void call(const Lex &f, int depth) {
    Lex fn = f;
    if (peek().kind != LK::ArgOpen && peek().kind != LK::Open) error(peek(), "a function needs its arguments in brackets");
    next();
    emit(kMarker, 0);
    std::vector<size_t> starts;
    if (peek().kind != LK::Close) {
      for (;;) {
        starts.push_back(out_.size());
        expr(depth + 1);
        if (peek().kind == LK::Comma) {
          next();
          continue;
        }
        break;
      }
    }
    if (next().kind != LK::Close) error(peek(), "missing closing bracket after the arguments");
    int nargs = static_cast<int>(starts.size());
    bool user = fn.kind == LK::User;
    if (user && !fn.name.empty()) fn.v = user_by_name(fn, nargs);
    if (!user) {
      const BuiltIn *b = builtin_by_code(static_cast<int>(fn.v));
      if (b->arity == 1 && nargs != 1) error(fn, "%s takes one argument, not %d", b->name, nargs);
    }
    if (reversed_operands(user, static_cast<int>(fn.v)) && nargs > 1) {
      // Written first to last, pushed last to first: reorder the arguments' token runs.
      std::vector<Token> args(out_.begin() + starts[0], out_.end());
      std::vector<Token> flipped;
      flipped.reserve(args.size());
      for (int a = nargs - 1; a >= 0; --a) {
        size_t b = starts[a] - starts[0], e = (a + 1 < nargs ? starts[a + 1] : out_.size()) - starts[0];
        flipped.insert(flipped.end(), args.begin() + b, args.begin() + e);
      }
      std::copy(flipped.begin(), flipped.end(), out_.begin() + starts[0]);
    }
    emit(user ? kUserFunc : kFunc, fn.v);
  }

  // The user function of this name taking nargs arguments.
  int user_by_name(const Lex &fn, int nargs) const {
    int found = 0, ids = 0;
    if (names_.users)
      for (size_t k = 0; k < names_.users->items.size(); ++k)
        if (names_.users->items[k]->name == fn.name) {
          ++ids;
          if (names_.users->items[k]->arity == nargs && !found) found = static_cast<int>(k) + 1;
        }
    if (!ids) error(fn, "unknown function %s", fn.name.c_str());
    if (!found) error(fn, "user function %s does not take %d arguments", fn.name.c_str(), nargs);
    return found;
  }
};

// ---- Text into lexemes.

class TextLexer {
 public:
  TextLexer(const std::string &s, const TextNames &names) : s_(s), names_(names) {}

  std::vector<Lex> run() {
    std::vector<Lex> out;
    for (;;) {
      while (p_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[p_]))) ++p_;
      int at = static_cast<int>(p_);
      if (p_ >= s_.size()) {
        out.push_back(Lex{LK::End, 0, at});
        return out;
      }
      char c = s_[p_];
      bool call = false;
      if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && p_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_ + 1])))) {
        out.push_back(Lex{LK::Num, number(at), at});
      } else if (ident_start(c)) {
        std::string word = ident();
        if (calls()) {
          const BuiltIn *b = builtin_by_name(word);
          if (b) out.push_back(Lex{LK::Func, static_cast<double>(b->code), at});
          else out.push_back(Lex{LK::User, 0, at, word});
          call = true;
        } else {
          out.push_back(Lex{LK::Col, static_cast<double>(column(word, at)), at});
        }
      } else if (c == '"') {
        std::string word = quoted_text(at);
        if (word.empty()) error(at, "an empty name names nothing");
        if (calls()) {
          out.push_back(Lex{LK::User, 0, at, word});
          call = true;
        } else {
          out.push_back(Lex{LK::Col, static_cast<double>(column(word, at)), at});
        }
      } else if (c == '#' || c == '@') {
        ++p_;
        size_t b = p_;
        while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
        long k = b == p_ || p_ - b > 9 ? -1 : std::stol(s_.substr(b, p_ - b));
        if (c == '#') {
          if (k < 0 || k >= names_.ncols) error(at, "#%s names no column", s_.substr(b, p_ - b).c_str());
          out.push_back(Lex{LK::Col, static_cast<double>(k), at});
        } else {
          if (k < 1 || !names_.users || !names_.users->find(static_cast<int>(k)))
            error(at, "@%s names no user function", s_.substr(b, p_ - b).c_str());
          if (!calls()) error(at, "a function needs its arguments in brackets");
          out.push_back(Lex{LK::User, static_cast<double>(k), at});
          call = true;
        }
      } else {
        ++p_;
        switch (c) {
          case '+': out.push_back(Lex{LK::Op, 5, at}); break;
          case '-': out.push_back(Lex{LK::Op, 6, at}); break;
          case '/': out.push_back(Lex{LK::Op, 4, at}); break;
          case '^': out.push_back(Lex{LK::Op, 2, at}); break;
          case '*':
            if (p_ < s_.size() && s_[p_] == '*') {
              ++p_;
              out.push_back(Lex{LK::Op, 2, at});
            } else {
              out.push_back(Lex{LK::Op, 3, at});
            }
            break;
          case '(': out.push_back(Lex{LK::Open, 0, at}); break;
          case ')': out.push_back(Lex{LK::Close, 0, at}); break;
          case ',': out.push_back(Lex{LK::Comma, 0, at}); break;
          default: error(at, "unexpected character '%c'", c);
        }
      }
      if (call) {
        while (s_[p_] != '(') ++p_;
        out.push_back(Lex{LK::ArgOpen, 0, static_cast<int>(p_)});
        ++p_;
      }
    }
  }

 private:
  const std::string &s_;
  const TextNames &names_;
  size_t p_ = 0;

  template <class... A>
  [[noreturn]] void error(int at, const char *format, A... args) const {
    char msg[256];
    std::snprintf(msg, sizeof msg, format, args...);
    fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s at character %d", msg, at + 1);
  }

  // True when an opening bracket follows (after blanks): the word before names a function.
  bool calls() const {
    size_t q = p_;
    while (q < s_.size() && std::isspace(static_cast<unsigned char>(s_[q]))) ++q;
    return q < s_.size() && s_[q] == '(';
  }

  double number(int at) {
    size_t b = p_;
    auto digits = [&] {
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    };
    digits();
    if (p_ < s_.size() && s_[p_] == '.') {
      ++p_;
      digits();
    }
    if (p_ < s_.size() && (s_[p_] == 'e' || s_[p_] == 'E')) {
      size_t q = p_ + 1;
      if (q < s_.size() && (s_[q] == '+' || s_[q] == '-')) ++q;
      if (q < s_.size() && std::isdigit(static_cast<unsigned char>(s_[q]))) {
        p_ = q;
        digits();
      }
    }
    double v = 0.0;
    auto r = std::from_chars(s_.data() + b, s_.data() + p_, v);
    if (r.ec != std::errc() || !std::isfinite(v)) error(at, "the number %s is out of range", s_.substr(b, p_ - b).c_str());
    return v;
  }

  std::string ident() {
    size_t b = p_;
    while (p_ < s_.size() && ident_char(s_[p_])) ++p_;
    return s_.substr(b, p_ - b);
  }

  std::string quoted_text(int at) {
    std::string out;
    for (++p_; p_ < s_.size() && s_[p_] != '"'; ++p_) {
      if (s_[p_] == '\\' && p_ + 1 < s_.size()) ++p_;
      out += s_[p_];
    }
    if (p_ >= s_.size()) error(at, "the quoted name is not closed");
    ++p_;
    return out;
  }

  int column(const std::string &name, int at) const {
    if (names_.columns) {
      int j = names_.columns->find(name);
      if (j >= 0) return j;
    }
    if (name.size() > 1 && name[0] == 'C' && name.size() < 11 &&
        std::all_of(name.begin() + 1, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      long k = std::stol(name.substr(1));
      if (k >= 1 && k <= names_.ncols && (!names_.columns || names_.columns->get(static_cast<int>(k - 1)).empty()))
        return static_cast<int>(k - 1);
    }
    error(at, "no column is named %s", name.c_str());
  }
};

// ---- Unparsed token arrays into lexemes.

std::vector<Lex> lex_tokens(const int *type, const double *value, int ntokens, const TextNames &names) {
  if (ntokens < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: negative token count %d", ntokens);
  if (ntokens > 0 && (!type || !value)) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: null token arrays");
  std::vector<Lex> out;
  out.reserve(ntokens + 1);
  for (int i = 0; i < ntokens; ++i) {
    double v = value[i];
    auto bad = [&](const char *what) {
      fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: %s %g at token %d", what, v, i + 1);
    };
    int code = std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 2e9 ? static_cast<int>(v) : -1;
    switch (type[i]) {
      case kEnd:
        if (i != ntokens - 1) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: tokens follow the end token at token %d", i + 1);
        break;
      case kConst:
        if (!std::isfinite(v)) bad("non-finite constant");
        out.push_back(Lex{LK::Num, v, i});
        break;
      case kColumn:
        if (code < 0 || code >= names.ncols) bad("column out of range:");
        out.push_back(Lex{LK::Col, v, i});
        break;
      case kOperator:
        if (code < 1 || code > 6) bad("unknown operator");
        out.push_back(Lex{LK::Op, v, i});
        break;
      case kFunc:
        if (!builtin_by_code(code)) bad("unknown function code");
        out.push_back(Lex{LK::Func, v, i});
        break;
      case kUserFunc:
        if (!names.users || !names.users->find(code)) bad("no user function with id");
        out.push_back(Lex{LK::User, v, i});
        break;
      case kOpenBracket: out.push_back(Lex{LK::Open, 0, i}); break;
      case kArgList: out.push_back(Lex{LK::ArgOpen, 0, i}); break;
      case kCloseBracket: out.push_back(Lex{LK::Close, 0, i}); break;
      case kSeparator: out.push_back(Lex{LK::Comma, 0, i}); break;
      default: fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown token type %d at token %d", type[i], i + 1);
    }
    if (type[i] == kEnd) break;
  }
  out.push_back(Lex{LK::End, 0, ntokens});
  return out;
}

// ---- Printing.

struct Tree {
  enum Kind { Const, Col, Neg, Bin, Func, User };
  struct Node {
    Kind kind;
    double v;     // constant, column, operator, function code or user id
    int first;    // first child in kids
    int nkids;
  };
  std::vector<Node> nodes;
  std::vector<int> kids;  // children in written order
  int root = -1;
};

// Precedence of how a node prints: 1 sums, 2 products, 3 unary minus (and negative numbers),
// 4 powers, 5 atoms.
int level(const Tree &t, int n) {
  const Tree::Node &x = t.nodes[n];
  switch (x.kind) {
    case Tree::Const: return std::signbit(x.v) ? 3 : 5;
    case Tree::Neg: return 3;
    case Tree::Bin: {
      int op = static_cast<int>(x.v);
      return op == 2 ? 4 : (op == 3 || op == 4) ? 2 : 1;
    }
    default: return 5;
  }
}

Tree build_tree(const std::vector<Token> &tk) {
  Tree t;
  std::vector<int> stack, depth;  // depth of each node, for the nesting limit
  auto add = [&](Tree::Kind k, double v, const std::vector<int> &children) {
    Tree::Node n{k, v, static_cast<int>(t.kids.size()), static_cast<int>(children.size())};
    int d = 0;
    for (size_t c = 0; c < children.size(); ++c) {
      int child = children[c];
      t.kids.push_back(child);
      // The left operand of the same kind of operator prints without nesting.
      bool chain = c == 0 && k == Tree::Bin && t.nodes[child].kind == Tree::Bin && v != 2 &&
                   level(t, child) == ((v == 3 || v == 4) ? 2 : 1);
      d = std::max(d, depth[child] + (chain ? 0 : 1));
    }
    if (d > kMaxDepth) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: nested deeper than %d levels", kMaxDepth);
    t.nodes.push_back(n);
    depth.push_back(d);
    stack.push_back(static_cast<int>(t.nodes.size()) - 1);
  };
  auto pop = [&] {
    if (stack.empty() || stack.back() < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: an operator lacks an operand");
    int v = stack.back();
    stack.pop_back();
    return v;
  };
  for (const Token &k : tk) {
    switch (k.type) {
      case kConst: add(Tree::Const, k.value, {}); break;
      case kColumn: add(Tree::Col, k.value, {}); break;
      case kMarker: stack.push_back(-1); break;
      case kOperator:
        if (k.value == 1) {
          int a = pop();
          add(Tree::Neg, 1, {a});
        } else {
          int b = pop();
          int a = pop();
          add(Tree::Bin, k.value, {a, b});
        }
        break;
      case kFunc:
      case kUserFunc: {
        std::vector<int> list;  // last pushed first
        while (!stack.empty() && stack.back() >= 0) list.push_back(pop());
        if (stack.empty()) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: a function lacks the start of its arguments");
        stack.pop_back();
        bool user = k.type == kUserFunc;
        if (!reversed_operands(user, static_cast<int>(k.value))) std::reverse(list.begin(), list.end());
        add(user ? Tree::User : Tree::Func, k.value, list);
        break;
      }
      default: fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: unknown token type %d", k.type);
    }
  }
  if (stack.size() != 1 || stack[0] < 0) fail(KLVO_ERR_INVALID_ARGUMENT, "Invalid formula: it does not give one value");
  t.root = stack[0];
  return t;
}

// Writes a tree as lexemes in written order with the brackets the grammar needs.
class Printer {
 public:
  explicit Printer(const Tree &t) : t_(t) {}
  std::vector<Lex> run() {
    node(t_.root);
    return std::move(out_);
  }

 private:
  const Tree &t_;
  std::vector<Lex> out_;

  void put(LK k, double v = 0.0) { out_.push_back(Lex{k, v, 0}); }
  int kid(int n, int c) const { return t_.kids[t_.nodes[n].first + c]; }

  void bracketed(int n, bool brackets) {
    if (brackets) put(LK::Open);
    node(n);
    if (brackets) put(LK::Close);
  }

  void node(int n) {
    const Tree::Node &x = t_.nodes[n];
    switch (x.kind) {
      case Tree::Const: put(LK::Num, x.v); return;
      case Tree::Col: put(LK::Col, x.v); return;
      case Tree::Neg: {
        int a = kid(n, 0);
        put(LK::Op, 1);
        // A bare number after a minus would read as a negative number.
        bracketed(a, level(t_, a) < 3 || t_.nodes[a].kind == Tree::Const);
        return;
      }
      case Tree::Bin: binary(n); return;
      case Tree::Func:
      case Tree::User:
        put(x.kind == Tree::Func ? LK::Func : LK::User, x.v);
        put(LK::ArgOpen);
        for (int c = 0; c < x.nkids; ++c) {
          if (c) put(LK::Comma);
          node(kid(n, c));
        }
        put(LK::Close);
        return;
    }
  }

  void binary(int n) {
    int op = static_cast<int>(t_.nodes[n].v);
    if (op == 2) {
      int a = kid(n, 0), b = kid(n, 1);
      bracketed(a, level(t_, a) <= 4);
      put(LK::Op, 2);
      bracketed(b, level(t_, b) < 3);
      return;
    }
    // Walk down the chain of left operands at this level without recursing.
    int lv = level(t_, n);
    std::vector<int> chain{n};
    for (int a = kid(n, 0); t_.nodes[a].kind == Tree::Bin && level(t_, a) == lv; a = kid(a, 0)) chain.push_back(a);
    int first = kid(chain.back(), 0);
    bracketed(first, level(t_, first) < lv);
    for (size_t c = chain.size(); c-- > 0;) {
      int b = kid(chain[c], 1);
      put(LK::Op, t_.nodes[chain[c]].v);
      bracketed(b, level(t_, b) <= lv);
    }
  }
};

std::string user_text(const TextNames &names, int id) {
  const UserFunction *u = names.users ? names.users->find(id) : nullptr;
  if (u && !u->name.empty()) {
    // By name unless an earlier function has both its name and its arity (the parser takes
    // the first); quoted when it is no plain word or a built-in's name.
    bool first = true;
    for (int k = 1; first && k < id; ++k) {
      const UserFunction *o = names.users->find(k);
      first = !(o->name == u->name && o->arity == u->arity);
    }
    if (first) return bare_name(u->name) && !builtin_by_name(u->name) ? u->name : quoted(u->name);
  }
  return "@" + std::to_string(id);
}

std::string column_text(const TextNames &names, int j) {
  if (names.columns && j < names.columns->size()) {
    const std::string &name = names.columns->get(j);
    if (!name.empty()) {
      if (names.columns->find(name) == j) return bare_name(name) ? name : quoted(name);
      return "#" + std::to_string(j);
    }
  }
  std::string d = default_name(j);
  if (!names.columns || names.columns->find(d) < 0) return d;
  return "#" + std::to_string(j);
}

}  // namespace

std::vector<Token> parse_text(const std::string &text, const TextNames &names) {
  return Parser(TextLexer(text, names).run(), true, names).run();
}

std::vector<Token> parse_unparsed(const int *type, const double *value, int ntokens, const TextNames &names) {
  return Parser(lex_tokens(type, value, ntokens, names), false, names).run();
}

std::string print_text(const std::vector<Token> &postfix, const TextNames &names) {
  if (postfix.empty()) return "";
  Tree t = build_tree(postfix);
  std::string s;
  for (const Lex &l : Printer(t).run()) {
    switch (l.kind) {
      case LK::Num: s += number_text(l.v); break;
      case LK::Col: s += column_text(names, static_cast<int>(l.v)); break;
      case LK::Op: {
        static const char *const text[] = {"", "-", "^", " * ", " / ", " + ", " - "};
        s += text[static_cast<int>(l.v)];
        break;
      }
      case LK::Func: s += builtin_by_code(static_cast<int>(l.v))->name; break;
      case LK::User: s += user_text(names, static_cast<int>(l.v)); break;
      case LK::Open:
      case LK::ArgOpen: s += '('; break;
      case LK::Close: s += ')'; break;
      case LK::Comma: s += ", "; break;
      case LK::End: break;
    }
  }
  return s;
}

std::vector<Token> print_unparsed(const std::vector<Token> &postfix) {
  std::vector<Token> out;
  if (postfix.empty()) return out;
  Tree t = build_tree(postfix);
  for (const Lex &l : Printer(t).run()) {
    switch (l.kind) {
      case LK::Num: out.push_back(Token{kConst, l.v}); break;
      case LK::Col: out.push_back(Token{kColumn, l.v}); break;
      case LK::Op: out.push_back(Token{kOperator, l.v}); break;
      case LK::Func: out.push_back(Token{kFunc, l.v}); break;
      case LK::User: out.push_back(Token{kUserFunc, l.v}); break;
      case LK::Open: out.push_back(Token{kOpenBracket, 0}); break;
      case LK::ArgOpen: out.push_back(Token{kArgList, 0}); break;
      case LK::Close: out.push_back(Token{kCloseBracket, 0}); break;
      case LK::Comma: out.push_back(Token{kSeparator, 0}); break;
      case LK::End: break;
    }
  }
  return out;
}

}  // namespace nlp
}  // namespace klvo
