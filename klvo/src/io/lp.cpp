// LP files. Sections: Minimize/Maximize (an objective with a constant and a quadratic part
// "[ ... ] / 2"), Subject To (rows "name: expr <= rhs", ranges "name: lo <= expr <= hi",
// quadratic parts "[ ... ]", indicator rows "name: b = 1 -> expr <= rhs"), Bounds, Generals,
// Binaries, Semi-continuous (a column listed here and under Generals is semi-integer), SOS
// ("name: S1:: x:1 y:2"), General Constraints, Piecewise Constraints, End. Comments start
// with a backslash.
//
// General constraints read "y = MAX ( x1 , x2 , 3.5 )" (MIN, AND, OR and ABS alike), with the
// parentheses and commas standing apart as words; piecewise-linear ones read
// "y = PWL x : x0 y0 , x1 y1 , ..." (y is the function of x through the breakpoints).
//
// A free row is written as "expr >= -inf"; a semi-continuous column's threshold is its lower
// bound in the Bounds section. Partial-integer columns have no LP form and are refused by the
// writer.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "env/error.h"
#include "io/problem_file.h"
#include "model/edit.h"
#include "model/gencons.h"

namespace klvo {

namespace {

constexpr double kInf = 1.0e20;

std::string lower(std::string s) {
  for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool is_operator_char(char c) { return std::strchr("+-*^<>=:[]", c) != nullptr; }

struct Token {
  enum Kind { Name, Number, Op } kind;
  std::string text;
  double value = 0.0;
  int line = 0;
  bool line_start = false;
};

enum class Section { None, Objective, Constraints, Bounds, Generals, Binaries, Semis, Sos, GenCons, PwlCons, End };

// The section a keyword at the start of a line opens (None when it is not a keyword); `used`
// receives the number of tokens it spans.
Section keyword(const std::vector<Token> &t, size_t p, size_t &used, int &sense) {
  if (t[p].kind != Token::Name || !t[p].line_start) return Section::None;
  std::string w = lower(t[p].text);
  used = 1;
  if (w == "minimize" || w == "minimise" || w == "minimum" || w == "min") {
    sense = 1;
    return Section::Objective;
  }
  if (w == "maximize" || w == "maximise" || w == "maximum" || w == "max") {
    sense = -1;
    return Section::Objective;
  }
  if ((w == "subject" || w == "such") && p + 1 < t.size() && t[p + 1].kind == Token::Name &&
      (lower(t[p + 1].text) == "to" || lower(t[p + 1].text) == "that")) {
    used = 2;
    return Section::Constraints;
  }
  if (w == "st" || w == "s.t." || w == "st.") return Section::Constraints;
  if ((w == "general" || w == "piecewise") && p + 1 < t.size() && t[p + 1].kind == Token::Name &&
      t[p + 1].line == t[p].line && lower(t[p + 1].text) == "constraints") {
    used = 2;
    return w == "general" ? Section::GenCons : Section::PwlCons;
  }
  if (w == "bounds" || w == "bound") return Section::Bounds;
  if (w == "general" || w == "generals" || w == "gen" || w == "integer" || w == "integers") return Section::Generals;
  if (w == "binary" || w == "binaries" || w == "bin") return Section::Binaries;
  if (w == "semi" && p + 2 < t.size() && t[p + 1].kind == Token::Op && t[p + 1].text == "-" &&
      lower(t[p + 2].text) == "continuous") {  // "semi-continuous" arrives as three tokens
    used = 3;
    return Section::Semis;
  }
  if (w == "semi" || w == "semis" || w == "semicontinuous") return Section::Semis;
  if (w == "sos") return Section::Sos;
  if (w == "end") return Section::End;
  return Section::None;
}

bool is_keyword(const std::string &name) {
  static const char *const words[] = {"minimize", "minimise", "minimum", "min", "maximize", "maximise", "maximum",
                                      "max", "subject", "such", "st", "s.t.", "st.", "bounds", "bound", "general",
                                      "generals", "gen", "integer", "integers", "binary", "binaries", "bin",
                                      "semi-continuous", "semi", "semis", "semicontinuous", "sos", "end", "free", "piecewise",
                                      "inf", "infinity"};
  std::string w = lower(name);
  for (const char *k : words)
    if (w == k) return true;
  return false;
}

class LpReader {
 public:
  LpReader(const std::string &path, const WarningSink &warn, const char *fn) : path_(path), warn_(warn), fn_(fn) {}

  ModelStore read() {
    tokenize();
    Section section = Section::None;
    while (p_ < t_.size()) {
      size_t used = 0;
      Section s = keyword(t_, p_, used, sense_);
      if (s != Section::None) {
        section = s;
        p_ += used;
        if (s == Section::Objective && at_op(":")) ++p_;  // "max:" as some writers spell it
        if (s == Section::End) break;
        continue;
      }
      switch (section) {
        case Section::None: error("text before the objective section");
        case Section::Objective: objective(); break;
        case Section::Constraints: constraint(); break;
        case Section::Bounds: bound(); break;
        case Section::Generals: mark('I'); break;
        case Section::Binaries: mark('B'); break;
        case Section::Semis: mark('S'); break;
        case Section::Sos: sos(); break;
        case Section::GenCons: gencons(); break;
        case Section::PwlCons: pwlcons(); break;
        case Section::End: break;
      }
    }
    return build();
  }

 private:
  [[noreturn]] void error(const char *fmt, const std::string &a = "") {
    int line = p_ < t_.size() ? t_[p_].line : (t_.empty() ? 0 : t_.back().line);
    std::string what = format(fmt, a.c_str());
    fail(KLVO_ERR_FILE, "%s: %s line %d: %s", fn_, path_.c_str(), line, what.c_str());
  }

  void tokenize() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) fail(KLVO_ERR_FILE, "%s: cannot open '%s' for reading", fn_, path_.c_str());
    passing_errors(in);
    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
      ++lineno;
      // Names cannot hold a NUL (the C interface ends names with it), so such a file is no text.
      if (line.find('\0') != std::string::npos)
        fail(KLVO_ERR_FILE, "%s: %s line %d: a NUL byte; this is not a text file", fn_, path_.c_str(), lineno);
      size_t c = line.find('\\');
      if (c != std::string::npos) {
        // The writer's "\ Problem name: ..." comment carries the problem name.
        static const char tag[] = "Problem name:";
        size_t at = line.find(tag, c);
        if (at != std::string::npos && name_.empty() && line.find_first_not_of(" \t\\", c) == at) {
          name_ = line.substr(at + sizeof tag - 1);
          name_.erase(0, name_.find_first_not_of(" \t"));
          name_.erase(name_.find_last_not_of(" \t\r") + 1);
        }
        line.resize(c);
      }
      bool first = true;
      size_t i = 0;
      while (i < line.size()) {
        char ch = line[i];
        if (std::isspace(static_cast<unsigned char>(ch))) {
          ++i;
          continue;
        }
        Token tok;
        tok.line = lineno;
        tok.line_start = first;
        first = false;
        if (std::isdigit(static_cast<unsigned char>(ch)) || (ch == '.' && i + 1 < line.size() &&
                                                              std::isdigit(static_cast<unsigned char>(line[i + 1])))) {
          const char *s = line.c_str() + i;
          char *end = nullptr;
          tok.kind = Token::Number;
          tok.value = std::strtod(s, &end);
          tok.text.assign(s, end - s);
          i += end - s;
        } else if (is_operator_char(ch)) {
          tok.kind = Token::Op;
          tok.text = ch;
          ++i;
          if ((ch == '<' || ch == '>' || ch == '=') && i < line.size() && line[i] == '=') ++i;  // <= >= ==
          if (ch == '=' && i < line.size() && (line[i] == '<' || line[i] == '>')) tok.text = line[i++];  // =< =>
        } else {
          tok.kind = Token::Name;
          size_t j = i;
          while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])) && !is_operator_char(line[j])) ++j;
          tok.text = line.substr(i, j - i);
          i = j;
          if (tok.text == "/") tok.kind = Token::Op;
        }
        t_.push_back(tok);
      }
    }
    if (in.bad()) fail(KLVO_ERR_FILE, "%s: error reading '%s'", fn_, path_.c_str());
  }

  bool at_op(const char *op, size_t ahead = 0) const {
    return p_ + ahead < t_.size() && t_[p_ + ahead].kind == Token::Op && t_[p_ + ahead].text == op;
  }
  bool at_cmp(size_t ahead = 0) const { return at_op("<", ahead) || at_op(">", ahead) || at_op("=", ahead); }
  bool at_section() const {
    size_t used;
    int s = sense_;
    return p_ < t_.size() && keyword(t_, p_, used, s) != Section::None;
  }
  // "name:" (a label may look like a number: "001:").
  bool at_label() const { return p_ + 1 < t_.size() && t_[p_].kind != Token::Op && at_op(":", 1); }
  const Token &take() {
    if (p_ >= t_.size()) error("unexpected end of file");
    return t_[p_++];
  }
  void expect(const char *op) {
    if (!at_op(op)) error("expected '%s'", op);
    ++p_;
  }

  // A number, possibly signed, or an infinity.
  double value() {
    double sign = 1;
    while (at_op("+") || at_op("-")) sign *= take().text == "-" ? -1 : 1;
    const Token &t = take();
    if (t.kind == Token::Number) return sign * t.value;
    std::string w = lower(t.text);
    if (t.kind == Token::Name && (w == "inf" || w == "infinity")) return sign * kInf;
    --p_;
    error("expected a number, found '%s'", t.text);
  }
  bool at_value() const {
    size_t q = p_;
    while (q < t_.size() && t_[q].kind == Token::Op && (t_[q].text == "+" || t_[q].text == "-")) ++q;
    if (q >= t_.size()) return false;
    if (t_[q].kind == Token::Number) return true;
    std::string w = lower(t_[q].text);
    return t_[q].kind == Token::Name && (w == "inf" || w == "infinity");
  }

  // The name of a label; keywords are refused, as the writer could not place them.
  std::string label() {
    if (is_keyword(t_[p_].text)) error("'%s' is a keyword of the format and cannot be a label", t_[p_].text);
    return take().text;
  }

  int column(const std::string &name) {
    if (is_keyword(name)) error("'%s' cannot be a column name", name);
    auto it = colidx_.find(name);
    if (it != colidx_.end()) return it->second;
    int j = static_cast<int>(colnames_.size());
    colidx_.emplace(name, j);
    colnames_.push_back(name);
    return j;
  }

  struct Expr {
    double constant = 0.0;
    std::map<int, double> linear;
    std::map<std::pair<int, int>, double> quad;  // coefficient of x_i x_j (i <= j) as written
    bool halved = false;                         // "[ ... ] / 2"
  };

  // Terms until something that cannot continue an expression.
  Expr expression() {
    Expr e;
    bool first = true;
    while (p_ < t_.size() && !at_section()) {
      double sign = 1;
      bool signed_term = false;
      while (at_op("+") || at_op("-")) {
        sign *= take().text == "-" ? -1 : 1;
        signed_term = true;
      }
      if (!first && !signed_term) break;
      if (at_op("[")) {
        ++p_;
        quadratic(e, sign);
        first = false;
        continue;
      }
      double coef = sign;
      bool has_number = false;
      if (p_ < t_.size() && t_[p_].kind == Token::Number) {
        coef *= take().value;
        has_number = true;
      }
      if (p_ < t_.size() && t_[p_].kind == Token::Name && !at_label() && !at_section()) {
        std::string w = lower(t_[p_].text);
        if (w == "inf" || w == "infinity") {
          if (has_number) error("a number cannot multiply infinity");
          ++p_;
          e.constant += sign * kInf;
        } else {
          e.linear[column(take().text)] += coef;
        }
      } else if (has_number) {
        e.constant += coef;
      } else {
        if (signed_term) error("a sign without a term");
        break;
      }
      first = false;
    }
    return e;
  }

  void quadratic(Expr &e, double outer) {
    bool first = true;
    while (!at_op("]")) {
      double sign = 1;
      bool signed_term = false;
      while (at_op("+") || at_op("-")) {
        sign *= take().text == "-" ? -1 : 1;
        signed_term = true;
      }
      if (!first && !signed_term) error("expected '+', '-' or ']' in a quadratic part");
      double coef = sign * outer;
      if (p_ < t_.size() && t_[p_].kind == Token::Number) coef *= take().value;
      const Token &a = take();
      if (a.kind != Token::Name) error("expected a column in a quadratic part, found '%s'", a.text);
      int i = column(a.text), j;
      if (at_op("^")) {
        ++p_;
        if (!(p_ < t_.size() && t_[p_].kind == Token::Number && t_[p_].value == 2.0)) error("only squares are allowed");
        ++p_;
        j = i;
      } else {
        expect("*");
        const Token &b = take();
        if (b.kind != Token::Name) error("expected a column after '*', found '%s'", b.text);
        j = column(b.text);
      }
      e.quad[{std::min(i, j), std::max(i, j)}] += coef;
      first = false;
    }
    ++p_;
    if (at_op("/") || (p_ < t_.size() && t_[p_].kind == Token::Op && t_[p_].text == "/")) {
      ++p_;
      if (!(p_ < t_.size() && t_[p_].kind == Token::Number && t_[p_].value == 2.0))
        error("a quadratic part can only be divided by 2");
      ++p_;
      e.halved = true;
    }
  }

  void objective() {
    if (have_objective_) error("a second objective");
    have_objective_ = true;
    if (at_label()) p_ += 2;
    size_t start = p_;
    Expr e = expression();
    // The model refuses infinite values where no bound is meant.
    if (!(std::fabs(e.constant) < kInf)) {
      p_ = start;
      error("the objective constant is not a finite number");
    }
    objconst_ = e.constant;
    for (auto [j, v] : e.linear) obj_[j] += v;
    // The quadratic part x'Qx / 2: a written term c*x_i*x_j (or c*x_i^2) is halved when the part
    // is "/ 2".
    for (auto [k, v] : e.quad) {
      double c = e.halved ? v / 2 : v;
      qobj_.push_back({k.first, k.second, k.first == k.second ? 2 * c : c});
    }
  }

  char comparison() {
    const Token &t = take();
    if (t.kind != Token::Op || (t.text != "<" && t.text != ">" && t.text != "=")) error("expected <=, >= or =");
    return t.text[0];
  }

  void constraint() {
    Row r;
    if (at_label()) {
      r.name = label();
      // Written files never repeat a label, so a repeat is taken for a mistake in the file.
      if (!rowlabels_.insert(r.name).second) error("duplicate row name '%s'", r.name);
      ++p_;
    }
    // "b = 1 ->" (or "= 0") makes the row an indicator row of column b.
    int indcol = -1, indcomp = 0;
    if (p_ + 4 < t_.size() && t_[p_].kind == Token::Name && at_op("=", 1) && t_[p_ + 2].kind == Token::Number &&
        at_op("-", 3) && at_op(">", 4)) {
      double v = t_[p_ + 2].value;
      if (v != 0.0 && v != 1.0) error("an indicator value must be 0 or 1, not '%s'", t_[p_ + 2].text);
      indcol = column(t_[p_].text);
      indcomp = v == 1.0 ? 1 : -1;
      p_ += 5;
    }
    double lo = -kInf;
    bool ranged = false;
    size_t first_cmp = 0;
    if (at_value()) {
      size_t save = p_;
      double v = value();
      first_cmp = p_;
      if (at_cmp()) {
        char c = comparison();
        lo = v;
        ranged = true;
        r.ranged_op = c;
      } else {
        p_ = save;
      }
    }
    Expr e = expression();
    if (e.halved) error("only the objective's quadratic part may be divided by 2");
    char op;
    double rhs;
    if (ranged && e.linear.empty() && e.quad.empty() && !at_cmp()) {
      // Not a range after all: "c: 0 >= 3" or "c: 0 = 3", a row without terms.
      ranged = false;
      op = r.ranged_op;
      rhs = e.constant - lo;
      e.constant = 0.0;
    } else {
      if (ranged && r.ranged_op == '=') {
        p_ = first_cmp;
        error("a range needs <= or >=");
      }
      op = comparison();
      rhs = value() - e.constant;
    }
    if (ranged) {
      if (op != r.ranged_op) error("both sides of a range must use the same comparison");
      char op2 = r.ranged_op;
      double a = lo - e.constant, b = rhs;
      if (op2 == '>') std::swap(a, b);  // hi >= expr >= lo
      r.type = 'R';
      r.rhs = b;
      r.range = b - a;
      if (r.range < 0) error("a range whose lower end exceeds its upper end");
    } else if (op == '<') {
      r.type = rhs >= kInf ? 'N' : 'L';
      r.rhs = r.type == 'N' ? 0.0 : rhs;
    } else if (op == '>') {
      r.type = rhs <= -kInf ? 'N' : 'G';
      r.rhs = r.type == 'N' ? 0.0 : rhs;
    } else {
      r.type = 'E';
      r.rhs = rhs;
    }
    r.linear = std::move(e.linear);
    // Rows are a'x + x'Px: a written c*x_i*x_j is P_ij = c / 2, c*x_i^2 is P_ii = c.
    for (auto [k, v] : e.quad) r.quad.push_back({k.first, k.second, k.first == k.second ? v : v / 2});
    if (indcomp != 0) {
      ind_rows_.push_back(static_cast<int>(rows_.size()));
      ind_cols_.push_back(indcol);
      ind_comp_.push_back(indcomp);
    }
    rows_.push_back(std::move(r));
  }

  void bound() {
    if (p_ + 1 < t_.size() && t_[p_].kind == Token::Name && t_[p_ + 1].kind == Token::Name &&
        lower(t_[p_ + 1].text) == "free") {
      int j = column(take().text);
      ++p_;
      lb_[j] = -kInf;
      ub_[j] = kInf;
      return;
    }
    if (at_value()) {  // lo <= x [<= hi]  or  hi >= x [>= lo]
      double v = value();
      char c = comparison();
      const Token &n = take();
      if (n.kind != Token::Name) error("expected a column in a bound");
      int j = column(n.text);
      apply(j, c == '<' ? '>' : c == '>' ? '<' : '=', v);
      if (at_cmp()) {
        char c2 = comparison();
        apply(j, c2, value());
      }
      return;
    }
    const Token &n = take();
    if (n.kind != Token::Name) error("expected a bound, found '%s'", n.text);
    int j = column(n.text);
    char c = comparison();
    apply(j, c, value());
  }

  // x op v.
  void apply(int j, char op, double v) {
    if (op == '<' || op == '=') {
      ub_[j] = v;
      ub_set_[j] = 1;
    }
    if (op == '>' || op == '=') {
      lb_[j] = v;
      lb_set_[j] = 1;
    }
  }

  void mark(char type) {
    while (p_ < t_.size() && !at_section()) {
      const Token &n = take();
      if (n.kind != Token::Name) error("expected a column name, found '%s'", n.text);
      int j = column(n.text);
      char &t = marks_[j];
      // Integer and semi-continuous together make a semi-integer column.
      if ((t == 'I' && type == 'S') || (t == 'S' && type == 'I')) t = 'R';
      else t = type;
    }
  }

  void sos() {
    if (!at_label()) error("a set needs a name");
    std::string name = label();
    if (!setnames_.insert(name).second) error("duplicate set name '%s'", name);
    ++p_;
    const Token &type = take();
    std::string w = lower(type.text);
    if (w != "s1" && w != "s2") error("expected S1 or S2, found '%s'", type.text);
    expect(":");
    expect(":");
    FileSet s;
    s.name = name;
    s.type = w[1];
    // Members "name:weight" until the next set's "name: S1::" or the next section.
    while (p_ + 2 < t_.size() && t_[p_].kind == Token::Name && at_op(":", 1) && !at_section() &&
           (t_[p_ + 2].kind == Token::Number || at_op("-", 2) || at_op("+", 2))) {
      int j = column(take().text);
      ++p_;
      s.cols.push_back(j);
      s.weights.push_back(value());
    }
    sets_.push_back(std::move(s));
  }

  // "y = TYPE ( operand , ... )".
  void gencons() {
    GenCons g;
    const Token &r = take();
    if (r.kind != Token::Name) error("expected the resultant column of a general constraint, found '%s'", r.text);
    g.resultant = column(r.text);
    expect("=");
    const Token &type = take();
    g.type = gencons_type_code(type.text);
    if (type.kind != Token::Name || g.type < 0) error("unknown general constraint type '%s'", type.text);
    if (take().text != "(") error("expected '(' after the general constraint type");
    for (;;) {
      if (p_ < t_.size() && t_[p_].kind == Token::Name && (t_[p_].text == "," || t_[p_].text == ")")) {
        if (take().text == ")") break;
        continue;
      }
      if (at_value()) g.vals.push_back(value());
      else if (p_ < t_.size() && t_[p_].kind == Token::Name && !at_section()) g.cols.push_back(column(take().text));
      else error("expected an operand or ')' in a general constraint");
    }
    gencons_.push_back(std::move(g));
  }

  // "y = PWL x : x0 y0 , x1 y1 , ...".
  void pwlcons() {
    PwlCons c;
    const Token &r = take();
    if (r.kind != Token::Name) error("expected the resultant column of a piecewise-linear constraint, found '%s'", r.text);
    c.resultant = column(r.text);
    expect("=");
    if (lower(take().text) != "pwl") error("expected PWL in a piecewise-linear constraint");
    const Token &x = take();
    if (x.kind != Token::Name) error("expected the argument column of a piecewise-linear constraint");
    c.col = column(x.text);
    expect(":");
    while (at_value()) {
      c.x.push_back(value());
      c.y.push_back(value());
      if (p_ < t_.size() && t_[p_].kind == Token::Name && t_[p_].text == ",") ++p_;
    }
    pwlcons_.push_back(std::move(c));
  }

  ModelStore build() {
    const char *fn = fn_;
    if (!have_objective_) error("no objective section");
    ModelStore m;
    m.name = name_;
    m.objsense = sense_;
    m.objconstant = objconst_;
    const int ncols = static_cast<int>(colnames_.size()), nrows = static_cast<int>(rows_.size());
    std::vector<char> type(nrows);
    std::vector<double> rhs(nrows), range(nrows);
    std::vector<int64_t> start(nrows + 1, 0);
    std::vector<int> index;
    std::vector<double> value;
    std::vector<std::string> rownames(nrows);
    for (int i = 0; i < nrows; ++i) {
      const Row &r = rows_[i];
      type[i] = r.type;
      rhs[i] = r.rhs;
      range[i] = r.range;
      rownames[i] = r.name;
      for (auto [j, v] : r.linear) {
        index.push_back(j);
        value.push_back(v);
      }
      start[i + 1] = static_cast<int64_t>(index.size());
    }
    SparseBlock none;
    none.count = ncols;
    std::vector<double> obj(ncols, 0.0), lb(ncols, 0.0), ub(ncols, kInf);
    for (int j = 0; j < ncols; ++j) {
      obj[j] = obj_.count(j) ? obj_[j] : 0.0;
      if (lb_.count(j)) lb[j] = lb_[j];
      if (ub_.count(j)) ub[j] = ub_[j];
    }
    add_cols(m, fn, obj.data(), none, lb.data(), ub.data());
    SparseBlock rows;
    rows.count = nrows;
    rows.nentries = static_cast<int64_t>(index.size());
    rows.start = start.data();
    rows.index = index.data();
    rows.value = value.data();
    add_rows(m, fn, type.data(), rhs.data(), range.data(), rows);
    for (auto [j, t] : marks_) {
      m.coltype[j] = t;
      if (t == 'B') {
        m.lb[j] = lb_set_.count(j) ? std::max(m.lb[j], 0.0) : 0.0;
        m.ub[j] = ub_set_.count(j) ? std::min(m.ub[j], 1.0) : 1.0;
        if (m.lb[j] > m.ub[j])
          fail(KLVO_ERR_FILE, "%s: %s: binary column '%s' has bounds outside [0, 1]", fn_, path_.c_str(),
               colnames_[j].c_str());
      } else if (t == 'S' || t == 'R') {
        m.limit[j] = m.lb[j];
        m.lb[j] = std::min(m.lb[j], 0.0);
      }
    }
    // An unlabelled row gets the name the writer would give it, so that a label of the file
    // that equals its default keeps finding the labelled row.
    for (int i = 0; i < nrows; ++i)
      if (rownames[i].empty()) {
        std::string d = name_or_default(m, 1, i);
        while (rowlabels_.count(d)) d += "_";
        rownames[i] = std::move(d);
      }
    m.colnames.assign(0, colnames_);
    m.rownames.assign(0, std::move(rownames));
    for (const QTerm &q : qobj_) add_qobj(m, fn, 1, &q.col1, &q.col2, &q.value);
    for (int i = 0; i < nrows; ++i)
      for (const QTerm &q : rows_[i].quad) add_qrow(m, fn, i, 1, &q.col1, &q.col2, &q.value);
    add_file_sets(m, fn, sets_);
    set_indicators(m, fn, static_cast<int>(ind_rows_.size()), ind_rows_.data(), ind_cols_.data(), ind_comp_.data());
    for (size_t k = 0; k < gencons_.size(); ++k) check_gencons(m, gencons_[k], static_cast<int>(k), fn);
    for (size_t k = 0; k < pwlcons_.size(); ++k) check_pwlcons(m, pwlcons_[k], static_cast<int>(k), fn);
    m.gencons = std::move(gencons_);
    m.pwlcons = std::move(pwlcons_);
    return m;
  }

  struct Row {
    std::string name;
    char type = 'L', ranged_op = 0;
    double rhs = 0, range = 0;
    std::map<int, double> linear;
    std::vector<QTerm> quad;
  };

  std::string path_, name_;
  WarningSink warn_;
  const char *fn_;
  std::vector<Token> t_;
  size_t p_ = 0;
  int sense_ = 1;
  bool have_objective_ = false;
  double objconst_ = 0.0;
  std::vector<std::string> colnames_;
  std::unordered_map<std::string, int> colidx_;
  std::unordered_map<int, double> obj_, lb_, ub_;
  std::unordered_map<int, char> lb_set_, ub_set_;
  std::map<int, char> marks_;
  std::vector<QTerm> qobj_;
  std::vector<Row> rows_;
  std::unordered_set<std::string> rowlabels_, setnames_;
  std::vector<FileSet> sets_;
  std::vector<int> ind_rows_, ind_cols_, ind_comp_;
  std::vector<GenCons> gencons_;
  std::vector<PwlCons> pwlcons_;
};

// ---- Writing.

const char *lp_name_problem(const std::string &name, int type) {
  // Column names appear inside expressions, where anything that starts like a number is one;
  // row and set names only appear as labels.
  if (type == 2 && (std::isdigit(static_cast<unsigned char>(name[0])) ||
                    (name[0] == '.' && name.size() > 1 && std::isdigit(static_cast<unsigned char>(name[1])))))
    return "it starts like a number";
  for (char c : name) {
    if (std::isspace(static_cast<unsigned char>(c))) return "it contains white space";
    if (is_operator_char(c) || c == '\\') return "it contains one of + - * ^ < > = : [ ] \\";
  }
  if (is_keyword(name)) return "it is a keyword of the format";
  // The operand lists of general constraints use these as words.
  if (name == "(" || name == ")" || name == ",") return "it is punctuation of the format";
  return nullptr;
}

class LpWriter {
 public:
  LpWriter(const ModelStore &m, const char *fn, const WarningSink &note) : m_(m) {
    passing_errors(out_);
    for (int j = 0; j < m.ncols(); ++j)
      if (m.coltype[j] == 'P')
        fail(KLVO_ERR_FILE, "%s: column %d is partial-integer, which an LP file cannot hold; write MPS", fn, j);
    names_ = file_names(m, "LP", lp_name_problem, fn, note);
  }

  std::string text() {
    const ModelStore &m = m_;
    out_ << "\\ Problem name: " << m.name << "\n";
    out_ << (m.objsense == -1 ? "Maximize\n" : "Minimize\n");
    out_ << " " << names_.objective << ":";
    size_t width = 0;
    bool any = false;
    // Every column appears here, zeros included, so that reading keeps the column order.
    for (int j = 0; j < m.ncols(); ++j) term(m.obj[j], names_.cols[j], any, width);
    if (m.has_qobj()) {
      out_ << (any ? " + [" : " [");
      bool qany = false;
      for (int j = 0; j < m.ncols(); ++j)
        for (const Entry &e : m.qobj[j]) {
          if (e.index < j) continue;
          // Inside "[ ] / 2": Q_jj x_j^2 and 2 Q_ij x_i x_j.
          if (e.index == j) term(e.value, names_.cols[j] + " ^ 2", qany, width);
          else term(2 * e.value, names_.cols[j] + " * " + names_.cols[e.index], qany, width);
        }
      out_ << " ] / 2";
      any = true;
    }
    if (m.objconstant != 0.0 || !any) constant(m.objconstant, any);
    out_ << "\nSubject To\n";
    for (int i = 0; i < m.nrows(); ++i) row(i);
    bounds();
    section("Generals", [](char t) { return t == 'I' || t == 'R'; });
    section("Binaries", [](char t) { return t == 'B'; });
    section("Semis", [](char t) { return t == 'S' || t == 'R'; });
    if (!m.sets.empty()) {
      out_ << "SOS\n";
      for (int k = 0; k < m.nsets(); ++k) {
        const SosSet &s = m.sets[k];
        out_ << " " << names_.sets[k] << ": S" << s.type << "::";
        for (size_t p = 0; p < s.cols.size(); ++p)
          out_ << " " << names_.cols[s.cols[p]] << ":" << format_number(s.weights[p]);
        out_ << "\n";
      }
    }
    write_gencons();
    out_ << "End\n";
    return out_.str();
  }

 private:
  void write_gencons() {
    const ModelStore &m = m_;
    if (!m.gencons.empty()) {
      out_ << "General Constraints\n";
      for (const GenCons &g : m.gencons) {
        std::string type = gencons_type_name(g.type);
        for (char &c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        out_ << " " << names_.cols[g.resultant] << " = " << type << " (";
        const char *sep = " ";
        for (int j : g.cols) {
          out_ << sep << names_.cols[j];
          sep = " , ";
        }
        for (double v : g.vals) {
          out_ << sep << format_number(v);
          sep = " , ";
        }
        out_ << " )\n";
      }
    }
    if (!m.pwlcons.empty()) {
      out_ << "Piecewise Constraints\n";
      for (const PwlCons &c : m.pwlcons) {
        out_ << " " << names_.cols[c.resultant] << " = PWL " << names_.cols[c.col] << " :";
        for (size_t p = 0; p < c.x.size(); ++p)
          out_ << (p ? " , " : " ") << format_number(c.x[p]) << " " << format_number(c.y[p]);
        out_ << "\n";
      }
    }
  }

  void wrap(size_t &width) {
    if (width > 200) {
      out_ << "\n   ";
      width = 0;
    }
  }

  void term(double v, const std::string &what, bool &any, size_t &width) {
    wrap(width);
    std::string s;
    if (v < 0) s = any ? " - " : " -";
    else s = any ? " + " : " ";
    double a = std::fabs(v);
    if (a != 1.0) s += format_number(a) + " ";
    s += what;
    out_ << s;
    width += s.size();
    any = true;
  }

  void constant(double v, bool any) {
    if (v < 0) out_ << (any ? " - " : " -") << format_number(-v);
    else out_ << (any ? " + " : " ") << format_number(v);
  }

  void row(int i) {
    const ModelStore &m = m_;
    out_ << " " << names_.rows[i] << ":";
    if (!m.indcomp.empty() && m.indcomp[i] != 0)
      out_ << " " << names_.cols[m.indcol[i]] << " = " << (m.indcomp[i] == 1 ? "1" : "0") << " ->";
    char t = m.rowtype[i];
    if (t == 'R') out_ << " " << format_number(m.rhs[i] - m.range[i]) << " <=";
    size_t width = 0;
    bool any = false;
    for (const Entry &e : m.rowentries[i]) term(e.value, names_.cols[e.index], any, width);
    if (!m.qrows.empty() && !m.qrows[i].empty()) {
      out_ << (any ? " + [" : " [");
      bool qany = false;
      for (const QTerm &q : m.qrows[i]) {
        if (q.col1 == q.col2) term(q.value, names_.cols[q.col1] + " ^ 2", qany, width);
        else term(2 * q.value, names_.cols[q.col1] + " * " + names_.cols[q.col2], qany, width);
      }
      out_ << " ]";
      any = true;
    }
    if (!any) out_ << " 0";
    switch (t) {
      case 'L': out_ << " <= " << format_number(m.rhs[i]); break;
      case 'G': out_ << " >= " << format_number(m.rhs[i]); break;
      case 'E': out_ << " = " << format_number(m.rhs[i]); break;
      case 'R': out_ << " <= " << format_number(m.rhs[i]); break;
      default: out_ << " >= -inf"; break;
    }
    out_ << "\n";
  }

  static std::string bound_text(double v) {
    if (v >= kInf) return "+inf";
    if (v <= -kInf) return "-inf";
    return format_number(v);
  }

  void bounds() {
    const ModelStore &m = m_;
    out_ << "Bounds\n";
    for (int j = 0; j < m.ncols(); ++j) {
      const std::string &c = names_.cols[j];
      char t = m.coltype[j];
      double lb = m.lb[j], ub = m.ub[j];
      if (t == 'S' || t == 'R') lb = std::max(lb, m.limit[j]);  // the threshold
      if (t == 'B') {
        if (lb != 0.0 || ub != 1.0) out_ << " " << bound_text(lb) << " <= " << c << " <= " << bound_text(ub) << "\n";
        continue;
      }
      if (lb == ub) out_ << " " << c << " = " << bound_text(lb) << "\n";
      else if (lb <= -kInf && ub >= kInf) out_ << " " << c << " free\n";
      else if (lb != 0.0 || ub < kInf || t == 'S' || t == 'R')
        out_ << " " << bound_text(lb) << " <= " << c << " <= " << bound_text(ub) << "\n";
    }
  }

  template <class Pred>
  void section(const char *title, Pred pred) {
    const ModelStore &m = m_;
    bool started = false;
    size_t width = 0;
    for (int j = 0; j < m.ncols(); ++j) {
      if (!pred(m.coltype[j])) continue;
      if (!started) out_ << title << "\n";
      started = true;
      out_ << " " << names_.cols[j];
      width += names_.cols[j].size() + 1;
      if (width > 200) {
        out_ << "\n";
        width = 0;
      }
    }
    if (started && width > 0) out_ << "\n";
  }

  const ModelStore &m_;
  FileNames names_;
  std::ostringstream out_;
};

}  // namespace

ModelStore read_lp(const std::string &path, const WarningSink &warn, const char *fn) {
  return LpReader(path, warn, fn).read();
}

void write_lp(const ModelStore &m, const std::string &path, const char *fn, const WarningSink &note,
              const std::string &tail) {
  write_text_file(path, LpWriter(m, fn, note).text() + tail, fn);
}

}  // namespace klvo
