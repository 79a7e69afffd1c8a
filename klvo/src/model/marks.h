// What the model keeps for the library's own branch-and-bound search and for the engine's
// model besides the rows and columns themselves: branching directives, delayed rows, model
// cuts, secure rows and columns, and the user's row and column scale factors. All of it
// follows deleted rows and columns and is copied with the store.
#pragma once

#include <map>
#include <vector>

namespace klvo {

struct Directive {
  int priority = 500;  // 0..1000, lower first
  char dir = 'N';      // 'U', 'D' or 'N'
  double uppseudo = 0.0, downpseudo = 0.0;
};

constexpr int kDefaultPriority = 500;

struct ModelMarks {
  std::map<int, Directive> dirs;  // column -> its directive
  // Sorted, distinct indices.
  std::vector<int> delayed, modelcuts, securerows, securecols;
  // Factors of the first rows and columns; those beyond the vectors' ends are 1.
  std::vector<double> rowscale, colscale;

  bool empty() const {
    return dirs.empty() && delayed.empty() && modelcuts.empty() && securerows.empty() && securecols.empty() &&
           rowscale.empty() && colscale.empty();
  }
  // Something only the library's own search would use.
  bool has_search_data() const {
    return !dirs.empty() || !delayed.empty() || !modelcuts.empty() || !securerows.empty() || !securecols.empty();
  }
  double row_factor(int i) const { return i < static_cast<int>(rowscale.size()) ? rowscale[i] : 1.0; }
  double col_factor(int j) const { return j < static_cast<int>(colscale.size()) ? colscale[j] : 1.0; }

  // map[i] is the new index of old row (column) i, -1 when deleted.
  void rows_deleted(const std::vector<int> &map);
  void cols_deleted(const std::vector<int> &map);
};

struct ModelStore;

// Checked setters (fn names the entry point); each checks all input before changing anything.
void load_dirs(ModelStore &m, int n, const int *colind, const int *priority, const char *dir, const double *up,
               const double *down, const char *fn);
void load_branch_dirs(ModelStore &m, int n, const int *colind, const int *dir, const char *fn);
// Replaces all directives by a complete new set (from a file, say) after checking them.
void set_dirs(ModelStore &m, std::map<int, Directive> dirs, const char *fn);
void get_dirs(const ModelStore &m, int *n, int *colind, int *priority, char *dir, double *up, double *down,
              const char *fn);
// which: 'd' delayed rows, 'm' model cuts.
void load_row_marks(ModelStore &m, char which, int n, const int *rowind, const char *fn);
void get_row_marks(const ModelStore &m, char which, int *n, int *rowind, const char *fn);
void load_secure(ModelStore &m, int nrows, int ncols, const int *rowind, const int *colind, const char *fn);
void get_secure(const ModelStore &m, int *nrows, int *rowind, int *ncols, int *colind, const char *fn);
void set_scale(ModelStore &m, const double *rowscale, const double *colscale, const char *fn);
void get_scale(const ModelStore &m, double *rowscale, double *colscale);
// The factors' binary exponents (floor of log2), checked against the arrays' lengths.
void get_scale_exponents(const ModelStore &m, int *rowscale, int rowscale_size, int *colscale, int colscale_size,
                         const char *fn);
// Refuses what a directive may not hold.
void check_directive(const Directive &d, const char *fn);

}  // namespace klvo
