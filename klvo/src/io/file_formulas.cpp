// Formula entries in problem files. The model part of the file is plain MPS or LP; the entries
// follow its end marker as comment lines that other readers skip:
//   *FORMULA row column factor ntokens type value type value ...
// (with '\' instead of '*' in LP files); row -1 is the objective, column -1000 none.
#include "io/file_formulas.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "env/error.h"
#include "io/problem_file.h"

namespace klvo {

namespace {
constexpr const char *kTag = "FORMULA";
}

std::string formula_lines(const FormulaStore &formulas, bool lp) {
  std::ostringstream out;
  passing_errors(out);
  char comment = lp ? '\\' : '*';
  for (const FormulaEntry &e : formulas.entries()) {
    out << comment << kTag << ' ' << e.row << ' ' << e.col << ' ' << format_number(e.factor) << ' '
        << e.tokens.size();
    for (const FormulaToken &t : e.tokens) out << ' ' << t.type << ' ' << format_number(t.value);
    out << '\n';
  }
  return out.str();
}

FileFormulas read_formulas(const std::string &path, const char *fn) {
  FileFormulas f;
  std::ifstream in(path, std::ios::binary);
  if (!in) return f;
  passing_errors(in);
  std::string line;
  int lineno = 0;
  f.start.push_back(0);
  while (std::getline(in, line)) {
    ++lineno;
    if (line.size() < 1 + std::strlen(kTag) || (line[0] != '*' && line[0] != '\\') ||
        line.compare(1, std::strlen(kTag), kTag) != 0)
      continue;
    std::istringstream s(line.substr(1 + std::strlen(kTag)));
    passing_errors(s);
    int row = 0, col = 0;
    double factor = 0;
    long n = -1;
    if (!(s >> row >> col >> factor >> n) || n < 0)
      fail(KLVO_ERR_FILE, "%s: %s line %d: malformed formula entry", fn, path.c_str(), lineno);
    for (long k = 0; k < n; ++k) {
      int type = 0;
      double value = 0;
      if (!(s >> type >> value))
        fail(KLVO_ERR_FILE, "%s: %s line %d: the formula entry has fewer than %ld tokens", fn, path.c_str(),
             lineno, n);
      f.type.push_back(type);
      f.value.push_back(value);
    }
    std::string extra;
    if (s >> extra)
      fail(KLVO_ERR_FILE, "%s: %s line %d: the formula entry has more than %ld tokens", fn, path.c_str(), lineno,
           n);
    f.row.push_back(row);
    f.col.push_back(col);
    f.factor.push_back(factor);
    f.start.push_back(static_cast<int>(f.type.size()));
  }
  return f;
}

}  // namespace klvo
