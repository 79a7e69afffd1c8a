// Problem files: MPS (free and fixed) and LP. Readers build a complete new ModelStore (the
// caller swaps it in only on success); writers read the store. Errors are klvo::Error with
// KLVO_ERR_FILE for files that cannot be opened, read or written, and for malformed content.
#pragma once

#include <functional>
#include <ios>
#include <string>
#include <vector>

#include "model/store.h"

struct klvo_problem_s;

namespace klvo {

using Problem = klvo_problem_s;

// Reads an MPS or LP file (by flags 'm' / 'l' or the extension) into the problem, with the
// formulas it holds when the problem has a nonlinear layer; a failed read changes nothing.
void read_problem(Problem &prob, const char *filename, const char *flags, const char *fn);
// Writes the problem as MPS or LP (flags 'l', 'x' fixed MPS, or the extension); with the
// the formula entries appended. Repeated names the file had to change are reported as a
// warning through the problem's messages.
void write_problem(Problem &prob, const char *filename, const char *flags, const char *fn);
void write_problem_with_formulas(Problem &prob, const char *filename, const char *flags, const char *fn);

// Receives warnings met while reading (e.g. a negative upper bound on a column whose lower
// bound was left at 0).
using WarningSink = std::function<void(const std::string &)>;

// fn names the entry point in errors.
ModelStore read_mps(const std::string &path, const WarningSink &warn, const char *fn);
ModelStore read_lp(const std::string &path, const WarningSink &warn, const char *fn);

// fixed: fixed-column layout; every name must then be at most 8 characters. note receives
// what the reader of the file should know (names the file had to change).
// tail: lines written after the model (the formula entries).
void write_mps(const ModelStore &m, const std::string &path, bool fixed, const char *fn, const WarningSink &note,
               const std::string &tail = std::string());
void write_lp(const ModelStore &m, const std::string &path, const char *fn, const WarningSink &note,
              const std::string &tail = std::string());

// Names used in files, distinct within each kind: stored names, defaults for the unnamed, and
// suffixed names for elements that repeat the name of a lower one (reported through note).
struct FileNames {
  std::vector<std::string> rows, cols, sets;
  std::string objective;  // the objective row, distinct from every row name
};
// invalid_reason(name, type) gives why a stored name of that type (1 rows, 2 columns, 3 sets)
// cannot be written, or null.
FileNames file_names(const ModelStore &m, const char *format,
                     const std::function<const char *(const std::string &, int)> &invalid_reason, const char *fn,
                     const WarningSink &note);

// A special ordered set as a reader collects it.
struct FileSet {
  char type = '1';  // '1' or '2'
  std::string name;
  std::vector<int> cols;
  std::vector<double> weights;
};
// Adds the sets read from a file, and their names, to a store being built.
void add_file_sets(ModelStore &m, const char *function, const std::vector<FileSet> &sets);

// Replaces the file at path by text; fails naming fn when it cannot be written in full.
void write_text_file(const std::string &path, const std::string &text, const char *fn);

// A stream by default swallows a failed allocation and only sets badbit, which would read a
// file short or write one short without an error; this one lets the exception through. (A
// read error then comes as std::ios_base::failure, which read_problem reports.)
template <class Stream>
Stream &passing_errors(Stream &s) {
  s.exceptions(std::ios::badbit);
  return s;
}

// Shortest text that reads back as exactly the same double.
std::string format_number(double v);

}  // namespace klvo
