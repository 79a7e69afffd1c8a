// Solution details of a problem (klvo/solution.h): single values, measures of a solution,
// rays, starting points and the barrier solution. fn names the entry point in errors.
#pragma once

#include "env/problem.h"

namespace klvo {

void get_lpsolval(const Problem &prob, int col, int row, double *x, double *slack, double *dual, double *dj,
                  const char *fn);
void get_mipsolval(const Problem &prob, int col, int row, double *x, double *slack, const char *fn);
void calc_objn(const Problem &prob, int objidx, const double *x, double *objval, const char *fn);
void calc_solinfo(const Problem &prob, const double *x, const double *duals, int property, double *value,
                  const char *fn);
void get_infeas(const Problem &prob, bool scaled, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack,
                int *mdual, int *mdj, const char *fn);

void get_ray(Problem &prob, bool dual, double *ray, int *hasray);
void get_unbvec(Problem &prob, int *seq, const char *fn);

void load_lpsol(Problem &prob, const double *x, const double *slack, const double *duals, const double *djs,
                int *status);
void load_mipsol(Problem &prob, const double *x, int *status, const char *fn);
// A MIP start for the next solve; from inside a callback, a solution for the running solve.
void add_mipsol(Problem &prob, int n, const double *values, const int *colind, const char *name, const char *fn);

void get_lastbarsol(const Problem &prob, double *x, double *slack, double *duals, double *djs, int *status);
void crossover_lpsol(Problem &prob, int *status);

// Presolved-space values offered to a running callback: none outside one.
void callback_presolve_query(const Problem &prob, const char *fn);

}  // namespace klvo
