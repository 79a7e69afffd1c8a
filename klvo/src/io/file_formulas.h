// Formula entries stored in problem files after the model (see file_formulas.cpp).
#pragma once

#include <string>
#include <vector>

#include "model/formulas.h"

namespace klvo {

// Entries read from a file, in the arrays KSLPloadcoefs takes (start has one more element).
struct FileFormulas {
  std::vector<int> row, col, start, type;
  std::vector<double> factor, value;
  int count() const { return static_cast<int>(row.size()); }
};

// The lines that store the formula entries after the end of a problem file (lp: an LP file).
std::string formula_lines(const FormulaStore &formulas, bool lp);
// The entries a problem file holds (none for a plain file); malformed entries fail with
// KLVO_ERR_FILE.
FileFormulas read_formulas(const std::string &path, const char *fn);

}  // namespace klvo
