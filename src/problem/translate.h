// Translation of model objects into library rows: a body (number, variable, term, expression
// or nonlinear node) becomes a constant, linear entries, quadratic entries and formula entries
// in the library's parsed token format; formulas read back from the library are decoded into
// nonlinear expressions.
#pragma once

#include <cstdint>
#include <vector>

#include "problem/problem.h"

#include <nanobind/nanobind.h>

namespace kelvo {

namespace nb = nanobind;

// Formula token types.
enum TokenType : int {
  tok_end = 0, tok_constant = 1, tok_column = 10, tok_user = 11, tok_function = 12,
  tok_skip = 24, tok_open = 22, tok_operator = 31
};

// Column of a formula entry that multiplies no column.
constexpr int formula_no_column = -1000;

// Entries of one or more translated bodies, in library order. Rows record where their
// linear entries start; formula entries record where their tokens start.
struct RowEntries {
  std::vector<int> lin_col;
  std::vector<double> lin_val;
  std::vector<int> q_col1, q_col2;
  std::vector<double> q_val;
  std::vector<int> f_row, f_col;
  std::vector<double> f_factor;
  std::vector<int> f_start;  // one per entry; the caller appends the closing one
  std::vector<int> tok_type;
  std::vector<double> tok_val;

  void clear();
};

// Upper bounds of what one body adds, from the count-only pass.
struct EntryCounts {
  int64_t lin = 0, quad = 0, formulas = 0, tokens = 0;
};

// The columns of the variables of a flat linear part's table (see FlatLinear), kept over the
// bodies of one call: rows of one product share a table, and a table's variables lie
// scattered over memory. Filled once the rows have used about as many entries as the table
// holds; refilled when any variable has changed column since.
class ColumnCache {
 public:
  // The column of every table entry, -1 for a variable that is not p's; null when not (yet)
  // worth filling or when memory ran short.
  const int *columns(ProblemObject *p, PyObject *table, size_t entries);

 private:
  nb::object table_;
  ProblemObject *p_ = nullptr;
  uint64_t epoch_ = 0;
  size_t uses_ = 0;
  std::vector<int> cols_;
};

// Counts what translating body would add (no variable is resolved). -1 with an exception for
// an object that is not a valid body.
int translate_count(ProblemObject *p, PyObject *body, EntryCounts *counts);

// Appends the entries of body to out, adding its constant to *constant. Formula entries get
// row `row`. In objective mode quadratic values are doubled. The linear entries appended are
// sorted by column, the quadratic ones by column pair. -1 with an exception; out may then
// hold part of the body's entries (the caller cuts it back). A cache, when given, serves
// the columns of flat linear parts.
int translate_body(ProblemObject *p, PyObject *body, RowEntries &out, double *constant, int row, bool objective,
                   ColumnCache *cache = nullptr);

// The nonlinear expression of tokens[0..n) (parsed format), or null with InterfaceError
// mentioning `context`.
PyObject *decode_formula(ProblemObject *p, const int *type, const double *value, int n, const char *context);

}  // namespace kelvo
