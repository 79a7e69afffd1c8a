// Directive files: one line per directive, "<column> <priority> <U|D|N> <up> <down>".
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "env/error.h"
#include "env/problem.h"
#include "io/problem_file.h"
#include "io/state_files.h"
#include "model/edit.h"

namespace klvo {

namespace {

const char *no_white_space(const std::string &name, int) {
  for (char c : name)
    if (std::isspace(static_cast<unsigned char>(c))) return "it contains white space";
  return nullptr;
}

bool regular_file(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void write_dirs(const Problem &prob, const char *filename, const char *fn) {
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", fn);
  std::string path = filename;
  size_t slash = path.find_last_of('/');
  if (path.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos) path += ".dir";
  const ModelStore &m = prob.model;
  std::vector<std::string> names = file_names(m, "directive", no_white_space, fn, WarningSink()).cols;
  std::string text = "* Directives of " + (m.name.empty() ? std::string("noname") : m.name) +
                     ": column priority direction up-pseudo-cost down-pseudo-cost\n";
  for (const auto &[col, d] : m.marks.dirs)
    text += names[col] + " " + std::to_string(d.priority) + " " + d.dir + " " + format_number(d.uppseudo) + " " +
            format_number(d.downpseudo) + "\n";
  write_text_file(path, text, fn);
}

void read_dirs(Problem &prob, const char *filename, const char *fn) {
  if (!filename || !*filename) fail(KLVO_ERR_INVALID_ARGUMENT, "%s: no file name given", fn);
  std::string path = filename;
  if (!regular_file(path) && regular_file(path + ".dir")) path += ".dir";
  std::ifstream in(path);
  if (!in) fail(KLVO_ERR_FILE, "%s: cannot open '%s' for reading", fn, path.c_str());
  const ModelStore &m = prob.model;
  // The names a directive file written now would use, so that unnamed and repeated names read
  // back to their own columns.
  std::vector<std::string> names = file_names(m, "directive", no_white_space, fn, WarningSink()).cols;
  std::unordered_map<std::string, int> index;
  for (int j = 0; j < static_cast<int>(names.size()); ++j) index.emplace(names[j], j);

  std::map<int, Directive> dirs;
  std::string line;
  int lineno = 0;
  auto bad = [&](const std::string &what) {
    fail(KLVO_ERR_FILE, "%s: %s line %d: %s", fn, path.c_str(), lineno, what.c_str());
  };
  auto number = [&](const std::string &t, const char *what) {
    const char *s = t.c_str();
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || std::isnan(v)) bad(format("'%s' is not a valid %s", s, what));
    return v;
  };
  while (std::getline(in, line)) {
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::vector<std::string> tok;
    for (std::string t; fields >> t;) tok.push_back(t);
    if (tok.empty() || tok[0][0] == '*' || tok[0][0] == '#') continue;
    if (tok.size() != 5) bad("expected: column priority direction up-pseudo-cost down-pseudo-cost");
    auto it = index.find(tok[0]);
    if (it == index.end()) bad("unknown column '" + tok[0] + "'");
    Directive d;
    double priority = number(tok[1], "priority");
    if (priority != std::floor(priority) || std::fabs(priority) > INT_MAX) bad("the priority must be an integer");
    d.priority = static_cast<int>(priority);
    if (tok[2].size() != 1) bad("the direction must be U, D or N");
    d.dir = static_cast<char>(std::toupper(static_cast<unsigned char>(tok[2][0])));
    d.uppseudo = number(tok[3], "pseudo-cost");
    d.downpseudo = number(tok[4], "pseudo-cost");
    try {
      check_directive(d, fn);
    } catch (const Error &e) {
      bad(e.what());
    }
    if (!dirs.emplace(it->second, d).second) bad("column '" + tok[0] + "' has a directive already");
  }
  if (in.bad()) fail(KLVO_ERR_FILE, "%s: error reading '%s'", fn, path.c_str());
  set_dirs(prob.model, std::move(dirs), fn);
}

}  // namespace klvo
