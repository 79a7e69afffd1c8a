// Formulas given and read in every form (postfix tokens, unparsed tokens, text), single
// coefficient changes, evaluation of coefficients, and the checks of a point against the
// model with its formulas (validation, KKT residuals, slacks and objective).
#pragma once

#include <string>
#include <vector>

#include "engines/nlp/formula_text.h"
#include "engines/nlp/layer.h"

namespace klvo {
namespace nlp {

TextNames text_names(const kslp_problem_s &slp);

// Fails unless parsed is 0 or 1.
void check_parsed(int parsed, const char *fn);
// n tokens in either order as checked postfix tokens (throws without naming a function).
std::vector<Token> to_postfix(const kslp_problem_s &slp, int parsed, const int *type, const double *value, int n);
// Formula text as checked postfix tokens without end token (none for an empty text).
std::vector<Token> text_to_postfix(const kslp_problem_s &slp, const std::string &text);
// A token array in either order (parsed 1 postfix, 0 unparsed) as checked postfix tokens
// without end token. ntokens < 0: the end token gives the length.
std::vector<Token> input_tokens(const kslp_problem_s &slp, int parsed, const int *type, const double *value,
                                int ntokens, const char *fn);
// Stored postfix tokens (with their end token) in the order asked for, end token kept.
std::vector<Token> output_tokens(std::vector<Token> postfix_with_end, int parsed, const char *fn);

// Replaces the entries at (row, col) by one entry factor * formula; a null factor keeps the
// current factor (1 for a new entry), null tokens keep the formula, and an empty formula
// deletes the entries.
void change_coef(kslp_problem_s &slp, int row, int col, const double *factor, const std::vector<Token> *tokens,
                 const char *fn);
// The text of the formula at (row, col) and its factor; of a row's formula (factor folded in).
std::string coef_text(const kslp_problem_s &slp, int row, int col, double *factor, const char *fn);
std::string formula_text(const Problem &prob, int row, const char *fn);
// Copies text into a caller's buffer of maxbytes (cut to fit, always terminated); *nbytes gets
// the full length plus one.
void copy_text(const std::string &text, char *buffer, int maxbytes, int *nbytes, const char *fn);

// factor * formula of the entry at (row, col), at the current point.
double evaluate_coef(const kslp_problem_s &slp, int row, int col, const char *fn);

// Objective and slacks of a point with formulas included.
void calc_objective(const Problem &prob, const double *x, double *objval, const char *fn);
void calc_slacks(const Problem &prob, const double *x, double *slacks, const char *fn);

// Validation of the last solution or a given point (validate.cpp).
void validate(kslp_problem_s &slp, const char *fn);
void validate_row(kslp_problem_s &slp, int row, const char *fn);
void validate_vector(const kslp_problem_s &slp, const double *x, double *suminf, double *sumscaled, double *objval,
                     const char *fn);
void validate_kkt(kslp_problem_s &slp, int mode, int respectbasis, int updatemult, double violtarget, const char *fn);
void print_memory(kslp_problem_s &slp, const char *fn);
void print_eval_info(kslp_problem_s &slp, const char *fn);

}  // namespace nlp
}  // namespace klvo
