// Formulas as written: text ("2 * x ^ 2 - log(y)") and unparsed token arrays (the tokens in
// written order with brackets and argument separators), both turned into the postfix tokens
// the store keeps, and printed back from them.
//
// Grammar, loosest first: sums (+ -, left to right), products (* /, left to right), unary
// minus, powers (^ or **, right to left, and the exponent may carry a unary minus: a ^ -b),
// then numbers, columns, function calls and brackets. So -x ^ 2 is -(x ^ 2), a ^ b ^ c is
// a ^ (b ^ c) and a - b - c is (a - b) - c. In text, a minus written directly before a number
// that no ^ follows is that number's sign: "-3" is the constant -3 and "-(3)" the negation of 3.
//
// Columns in text: a name of letters, digits, '_' and '.' starting with a letter or '_'; any
// name in double quotes (\" and \\ inside); the default name C<k> of an unnamed k-th column;
// or #j for the column with index j. Functions: the built-in names (any case) and user
// functions by name (quoted when needed) or as @id. The printer writes every formula so that
// it parses back to the same tokens.
#pragma once

#include <string>
#include <vector>

#include "engines/nlp/formula.h"
#include "model/names.h"

namespace klvo {
namespace nlp {

// Token types of unparsed arrays besides those of parsed ones.
enum : int { kOpenBracket = 21, kArgList = 22, kCloseBracket = 23, kSeparator = 24 };

// How columns and user functions are named in text.
struct TextNames {
  const NameTable *columns = nullptr;  // may be null: columns print as #j
  int ncols = 0;
  const UserFunctions *users = nullptr;
};

// Text or an unparsed array (the end token, if any, ends it) into postfix tokens, without an
// end token; an empty text gives no tokens. Throws Error naming the position on bad input.
std::vector<Token> parse_text(const std::string &text, const TextNames &names);
std::vector<Token> parse_unparsed(const int *type, const double *value, int ntokens, const TextNames &names);

// Postfix tokens (valid, without end token) back into text or into unparsed tokens.
std::string print_text(const std::vector<Token> &postfix, const TextNames &names);
std::vector<Token> print_unparsed(const std::vector<Token> &postfix);

}  // namespace nlp
}  // namespace klvo
