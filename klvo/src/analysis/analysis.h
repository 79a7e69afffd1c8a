// Analysis of a solved problem (klvo/analysis.h): bases and the basis matrix through the
// problem's HiGHS instance, sensitivity ranging, irreducible infeasible sets, solution files.
// fn names the entry point in errors.
#pragma once

#include <string>

#include "env/problem.h"

namespace klvo {

// Bases (basis.cpp).
void get_basis(Problem &prob, int *rowstat, int *colstat, const char *fn);
void load_basis(Problem &prob, const int *rowstat, const int *colstat, const char *fn);
void get_basis_val(Problem &prob, int row, int col, int *rowstat, int *colstat, const char *fn);
void write_basis(Problem &prob, const char *filename, const char *flags, const char *fn);
void read_basis(Problem &prob, const char *filename, const char *flags, const char *fn);
void get_pivot_order(Problem &prob, int *order, const char *fn);
void basis_solve(Problem &prob, double *vec, bool transpose, const char *fn);
// basis_solve on a sparse vector: val[k] at row ind[k] for the *nnz entries given, the result
// written back the same way; both arrays need room for every row (sparse_transform.cpp).
void sparse_basis_solve(Problem &prob, double *val, int val_size, int *ind, int ind_size, int *nnz, bool transpose,
                        const char *fn);
void get_pivots(Problem &prob, int enter, int *outlist, double *x, double *objval, int *npivots, int maxpivots,
                const char *fn);
void pivot(Problem &prob, int enter, int leave, const char *fn);
double basis_stability(Problem &prob, int type, int norm, int scaled, const char *fn);

// Sensitivity ranging (ranging.cpp).
void objective_ranges(Problem &prob, int n, const int *colind, double *lower, double *upper, const char *fn);
void rhs_ranges(Problem &prob, int n, const int *rowind, double *lower, double *upper, const char *fn);
void bound_ranges(Problem &prob, int n, const int *colind, double *lblower, double *lbupper, double *ublower,
                  double *ubupper, const char *fn);

// Strong branching and fixing integer columns (branching.cpp).
void strong_branch(Problem &prob, int n, const int *colind, const char *bndtype, const double *bndval, int iterlim,
                   double *objval, int *status, const char *fn);
void fix_mip_entities(Problem &prob, int options, const char *fn);

// Irreducible infeasible sets (iis.cpp).
int iis_first(Problem &prob, int mode, const char *fn);
int iis_next(Problem &prob, const char *fn);
void iis_all(Problem &prob, const char *fn);
void iis_clear(Problem &prob);
void iis_status(Problem &prob, int *count, int *rowsizes, int *colsizes, double *suminfeas, int *numinfeas,
                const char *fn);
void iis_data(Problem &prob, int num, int *nrows, int *ncols, int *rowind, int *colind, char *contype,
              char *bndtype, double *duals, double *djs, char *isorows, char *isocols, const char *fn);
void iis_isolations(Problem &prob, int num, const char *fn);
// Writes the summary of every set (num 0) or the members of set num to the problem's log.
void iis_print(Problem &prob, int num, const char *fn);
void iis_write(Problem &prob, int num, const char *filename, int filetype, const char *flags, const char *fn);

// Solution files (solution_files.cpp).
void write_csv_solution(Problem &prob, const char *filename, const char *flags, const char *fn);
void write_printed_solution(Problem &prob, const char *filename, const char *flags, const char *fn);
void write_text_solution(Problem &prob, const char *filename, const char *flags, const char *fn);
void read_text_solution(Problem &prob, const char *filename, const char *flags, const char *fn);
void write_binary_solution(Problem &prob, const char *filename, const char *flags, const char *fn);
void read_binary_solution(Problem &prob, const char *filename, const char *flags, const char *fn);

// Sends an informational message to the problem's callbacks unless its output log control
// holds back information (KLVO_OUTPUT_NONE, or errors and warnings only).
void info(Problem &prob, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// Repair of an infeasible problem (repair.cpp). Any array may be null: preferences then 0 (the
// side is not relaxed), limits none.
struct RepairRequest {
  char penalty = 'n', phase2 = 'n';
  double delta = 0;
  const char *flags = "";
  const double *lepref = nullptr, *gepref = nullptr, *lbpref = nullptr, *ubpref = nullptr;
  const double *lerelax = nullptr, *gerelax = nullptr, *lbrelax = nullptr, *ubrelax = nullptr;
};
int repair(Problem &prob, const RepairRequest &request, const char *fn);

// MIP refinement and estimated dual ranges (refine.cpp).
int refine_mip_solution(Problem &prob, int options, const char *flags, const double *solution, double *refined,
                        const char *fn);
void estimate_row_dual_ranges(Problem &prob, int n, const int *rowind, int iterlim, double *mindual, double *maxdual,
                              const char *fn);

// The tuner (tuner.cpp).
void tune_problem(Problem &prob, const char *flags, const char *fn);
void tune_file_set(Problem &prob, const char *setfile, int ifmip, int sense, const char *fn);
void write_tuner_method(Problem &prob, const char *filename, const char *fn);
void read_tuner_method(Problem &prob, const char *filename, const char *fn);

// Refuses flags other than NULL or "": none are defined for these files yet.
void require_no_flags(const char *flags, const char *fn);

}  // namespace klvo
