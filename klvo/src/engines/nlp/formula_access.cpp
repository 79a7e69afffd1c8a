// Formulas in every form: the token order a caller asked for, text, single coefficient
// changes and evaluation of one coefficient.
#include "engines/nlp/formula_access.h"

#include <cmath>
#include <cstring>

#include "analysis/presolved.h"
#include "engines/solution.h"
#include "env/problem.h"

namespace klvo {
namespace nlp {

namespace {

int token_length(const int *type, int ntokens, const char *fn) {
  if (ntokens >= 0) return ntokens;
  if (!type) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null token arrays", fn);
  int n = 0;
  while (type[n] != kEnd) ++n;  // the end token gives the length
  return n;
}

}  // namespace

void check_parsed(int parsed, const char *fn) {
  if (parsed != 0 && parsed != 1)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: parsed must be 1 (postfix tokens) or 0 (tokens as written), not %d", fn, parsed);
}

namespace {

// The stored formula at (row, col) as postfix tokens without end token; false when none.
bool stored(const kslp_problem_s &slp, int row, int col, double &factor, std::vector<Token> &tokens) {
  if (slp.formulas().at(row, col).empty()) return false;
  int n = 0;
  get_coef_formula(slp, row, col, &factor, 1, 0, &n, nullptr, nullptr, "formula");
  std::vector<int> type(n);
  std::vector<double> value(n);
  get_coef_formula(slp, row, col, &factor, 1, n, &n, type.data(), value.data(), "formula");
  tokens.clear();
  for (int i = 0; i < n; ++i)
    if (type[i] != kEnd) tokens.push_back(Token{type[i], value[i]});
  return true;
}

void check_position(const kslp_problem_s &slp, int row, int col, const char *fn) {
  if (row < -1 || row >= slp.nrows())
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: row %d is out of range (the problem has %d rows; -1 is the objective)", fn, row,
         slp.nrows());
  if (col != KSLP_NOCOLUMN && (col < 0 || col >= slp.ncols()))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: column %d is out of range (the problem has %d columns; -1000 is none)", fn,
         col, slp.ncols());
}

}  // namespace

TextNames text_names(const kslp_problem_s &slp) {
  TextNames names;
  names.columns = slp.prob ? &slp.prob->model.colnames : nullptr;
  names.ncols = slp.ncols();
  names.users = slp.users.get();
  return names;
}

namespace {

// A formula written as text or in written order passed the grammar; the usual checks (arity
// of user functions, pwl breakpoints) apply to what it became.
std::vector<Token> checked(const kslp_problem_s &slp, const std::vector<Token> &postfix) {
  if (postfix.empty()) return postfix;
  std::vector<int> t(postfix.size());
  std::vector<double> v(postfix.size());
  for (size_t i = 0; i < postfix.size(); ++i) t[i] = postfix[i].type, v[i] = postfix[i].value;
  return normalize_tokens(t.data(), v.data(), static_cast<int>(t.size()), slp.ncols(), slp.users.get());
}

}  // namespace

std::vector<Token> to_postfix(const kslp_problem_s &slp, int parsed, const int *type, const double *value, int n) {
  if (parsed == 1) return normalize_tokens(type, value, n, slp.ncols(), slp.users.get());
  return checked(slp, parse_unparsed(type, value, n, text_names(slp)));
}

std::vector<Token> text_to_postfix(const kslp_problem_s &slp, const std::string &text) {
  return checked(slp, parse_text(text, text_names(slp)));
}

std::vector<Token> input_tokens(const kslp_problem_s &slp, int parsed, const int *type, const double *value,
                                int ntokens, const char *fn) {
  check_parsed(parsed, fn);
  int n = token_length(type, ntokens, fn);
  try {
    return to_postfix(slp, parsed, type, value, n);
  } catch (const Error &e) {
    fail(e.code(), "%s: %s", fn, e.what());
  }
}

std::vector<Token> output_tokens(std::vector<Token> postfix_with_end, int parsed, const char *fn) {
  check_parsed(parsed, fn);
  if (parsed == 1 || postfix_with_end.empty()) return postfix_with_end;
  postfix_with_end.pop_back();
  std::vector<Token> out = print_unparsed(postfix_with_end);
  out.push_back(Token{kEnd, 0});
  return out;
}

void change_coef(kslp_problem_s &slp, int row, int col, const double *factor, const std::vector<Token> *tokens,
                 const char *fn) {
  check_position(slp, row, col, fn);
  if (factor && !std::isfinite(*factor)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the factor is not finite", fn);
  double f = 1.0;
  std::vector<Token> old;
  bool exists = stored(slp, row, col, f, old);
  if (!factor && !tokens) return;
  if (!tokens && !exists)
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no entry at row %d, column %d to change the factor of", fn, row, col);
  if (factor) f = *factor;
  FormulaStore &store = slp.formulas(fn);
  std::vector<FormulaEntry> entries;
  entries.reserve(store.entries().size() + 1);
  bool placed = false;
  FormulaEntry entry{row, col, f, tokens ? *tokens : old};
  bool remove = tokens && tokens->empty();
  // The new entry takes the place of the first one it replaces.
  for (const FormulaEntry &e : store.entries()) {
    if (e.row == row && e.col == col) {
      if (!placed && !remove) entries.push_back(entry);
      placed = true;
    } else {
      entries.push_back(e);
    }
  }
  if (!placed && !remove) entries.push_back(std::move(entry));
  store.assign(std::move(entries));
}

std::string coef_text(const kslp_problem_s &slp, int row, int col, double *factor, const char *fn) {
  double f = 1.0;
  std::vector<Token> tokens;
  if (!stored(slp, row, col, f, tokens)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no entry at row %d, column %d", fn, row, col);
  if (factor) *factor = f;
  return print_text(tokens, text_names(slp));
}

std::string formula_text(const Problem &prob, int row, const char *fn) {
  int n = 0;
  get_formula(prob, row, 1, 0, &n, nullptr, nullptr, fn);
  if (n == 0) return "";
  std::vector<int> type(n);
  std::vector<double> value(n);
  get_formula(prob, row, 1, n, &n, type.data(), value.data(), fn);
  std::vector<Token> tokens;
  for (int i = 0; i < n; ++i)
    if (type[i] != kEnd) tokens.push_back(Token{type[i], value[i]});
  return print_text(tokens, text_names(require_layer(prob, fn)));
}

void copy_text(const std::string &text, char *buffer, int maxbytes, int *nbytes, const char *fn) {
  if (nbytes) *nbytes = static_cast<int>(text.size()) + 1;
  if (!buffer) return;
  if (maxbytes < 1) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: the buffer size must be at least 1, not %d", fn, maxbytes);
  size_t n = std::min(text.size(), static_cast<size_t>(maxbytes - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}

double evaluate_coef(const kslp_problem_s &slp, int row, int col, const char *fn) {
  check_position(slp, row, col, fn);
  double f = 1.0;
  std::vector<Token> tokens;
  if (!stored(slp, row, col, f, tokens)) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no entry at row %d, column %d", fn, row, col);
  std::vector<int> type;
  std::vector<double> value;
  for (const Token &t : tokens) type.push_back(t.type), value.push_back(t.value);
  type.push_back(kEnd);
  value.push_back(0.0);
  return f * evaluate_formula(slp, 1, type.data(), value.data(), fn);
}

namespace {

// The point of a computation: x, or the last solution.
std::vector<double> point_of(const Problem &prob, const double *x, const char *fn) {
  int n = prob.model.ncols();
  if (x) return std::vector<double>(x, x + n);
  std::vector<double> last(n);
  get_lpsol(prob.model, prob.solution, last.data(), nullptr, nullptr, nullptr, fn);
  return last;
}

}  // namespace

void calc_objective(const Problem &prob, const double *x, double *objval, const char *fn) {
  // The caller's problem even when it stands presolved (which it never does with formulas).
  if (!prob.slp || !has_formulas(prob)) return klvo::calc_objective(user_model(prob), prob.solution, x, objval, fn);
  if (!objval) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  std::vector<double> point = point_of(prob, x, fn);
  NlpModel model(prob.model, prob.slp);
  if (!model.objective(point.data(), *objval))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a formula of the objective cannot be evaluated at this point", fn);
}

void calc_slacks(const Problem &prob, const double *x, double *slacks, const char *fn) {
  if (!prob.slp || !has_formulas(prob)) return klvo::calc_slacks(user_model(prob), prob.solution, x, slacks, fn);
  if (!slacks) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: null output argument", fn);
  std::vector<double> point = point_of(prob, x, fn);
  NlpModel model(prob.model, prob.slp);
  std::vector<double> act(prob.model.nrows());
  if (!model.row_activities(point.data(), act.data()))
    fail(KLVO_ERR_INVALID_ARGUMENT, "%s: a formula of a row cannot be evaluated at this point", fn);
  for (int i = 0; i < prob.model.nrows(); ++i) slacks[i] = prob.model.rhs[i] - act[i];
}

}  // namespace nlp
}  // namespace klvo
