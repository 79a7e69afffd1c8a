// Names and numbers as they appear in problem files.
#include <cstdio>
#include <cstdlib>
#include <unordered_set>

#include "env/error.h"
#include "io/problem_file.h"
#include "model/edit.h"

namespace klvo {

namespace {

// Stored names of one kind, with defaults for the unnamed that clash with no stored name.
std::vector<std::string> names_for(const ModelStore &m, int type, const char *kind, const char *format,
                                   const std::function<const char *(const std::string &, int)> &invalid_reason,
                                   const char *fn) {
  const NameTable &table = names_of(m, type, "write");
  const int n = count_of(m, type);
  std::vector<std::string> out(n);
  for (int i = 0; i < n; ++i) {
    const std::string &name = table.get(i);
    if (name.empty()) {
      std::string d = name_or_default(m, type, i);
      while (table.find(d) >= 0) d += "_";
      out[i] = d;
    } else {
      if (const char *why = invalid_reason(name, type))
        fail(KLVO_ERR_FILE, "%s: the %s name '%s' cannot be written to an %s file: %s", fn, kind, name.c_str(),
             format, why);
      out[i] = name;
    }
  }
  return out;
}

}  // namespace

FileNames file_names(const ModelStore &m, const char *format,
                     const std::function<const char *(const std::string &, int)> &invalid_reason, const char *fn) {
  FileNames f;
  f.rows = names_for(m, 1, "row", format, invalid_reason, fn);
  f.cols = names_for(m, 2, "column", format, invalid_reason, fn);
  f.sets = names_for(m, 3, "set", format, invalid_reason, fn);
  std::unordered_set<std::string> used(f.rows.begin(), f.rows.end());
  f.objective = "obj";
  while (used.count(f.objective)) f.objective += "_";
  return f;
}

std::string format_number(double v) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

}  // namespace klvo
