/* Solution details: single values, quality measures and infeasibilities of a solution, rays
 * of infeasible and unbounded problems, starting points for the next solve, and the last
 * barrier solution.
 *
 * The sign conventions and the meaning of "the last solution" are those of klvo/solve.h.
 * A problem kept in its presolved form (klvo/analysis.h) still gives its solution in the
 * caller's terms here; KLVOgetpresolvesol gives the presolved problem's own.
 *
 * Tolerances: a primal value is infeasible when it violates a bound or a row by more than the
 * control feastol, a dual value when it has the wrong sign by more than opttol, an integer
 * column when it lies farther than miptol from an integer.
 *
 * Dual feasibility, for a minimisation (signs are reversed for a maximisation): the dual of an
 * 'L' row must be <= 0, of a 'G' row >= 0, of an 'N' row 0 ('E' and 'R' rows take any sign);
 * the reduced cost of a column without a lower bound must be <= 0, of one without an upper
 * bound >= 0.
 */
#ifndef KLVO_SOLUTION_H
#define KLVO_SOLUTION_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* One column's value and reduced cost and one row's slack and dual from the last solution.
 * col (row) < 0 asks for no column (row) value, and the outputs that belong to it are left
 * untouched; any output may be NULL. Fails with KLVO_ERR_NO_SOLUTION when there is no
 * solution; dual and dj are left untouched when the last solve gave no dual values. */
KLVO_API int KLVOgetlpsolval(KLVOprob prob, int col, int row, double *x, double *slack, double *dual,
                             double *dj);
/* The same from the best integer solution (fails as KLVOgetmipsol does). */
KLVO_API int KLVOgetmipsolval(KLVOprob prob, int col, int row, double *x, double *slack);

/* Value of objective objidx (0 the main objective with its quadratic part and constant,
 * 1.. the further linear objectives with their constants, control 20005) at x (NULL: the last
 * solution). */
KLVO_API int KLVOcalcobjn(KLVOprob prob, int objidx, const double *x, double *objval);

/* Properties of a solution for KLVOcalcsolinfo. Absolute measures are the largest violation;
 * relative ones divide each violation by 1 + |the bound, right-hand side or objective
 * coefficient it is measured against| before taking the largest. */
#define KLVO_SOLINFO_ABSPRIMALINFEAS 0 /* bounds and rows violated by x */
#define KLVO_SOLINFO_RELPRIMALINFEAS 1
#define KLVO_SOLINFO_ABSDUALINFEAS 2   /* signs of the duals and of the reduced costs they give */
#define KLVO_SOLINFO_RELDUALINFEAS 3
#define KLVO_SOLINFO_MAXMIPFRACTIONAL 4 /* largest distance of an integer column from an integer */

/* A property of the solution (x, duals): x NULL means the last solution's primal values,
 * duals NULL its duals (only the dual properties read them; the reduced costs are computed
 * from the duals and x as KLVOcalcreducedcosts does). Fails with KLVO_ERR_INVALID_ARGUMENT
 * for an unknown property, KLVO_ERR_NO_SOLUTION when a vector it needs is missing. */
KLVO_API int KLVOcalcsolinfo(KLVOprob prob, const double *x, const double *duals, int property, double *value);

/* The infeasibilities of the last solution, judged against the model as it is now (so a bound
 * or right-hand side changed since the solve counts): counts of primal infeasible columns (npv) and
 * rows (nps), dual infeasible rows (nds) and columns (ndv); the arrays (each may be NULL)
 * receive their indices in increasing order and must hold the counts a call with NULL arrays
 * gives. The dual counts are 0 when the last solve gave no dual values. Fails with
 * KLVO_ERR_NO_SOLUTION when there is no solution. */
KLVO_API int KLVOgetinfeas(KLVOprob prob, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack, int *mdual,
                           int *mdj);
/* The same, judged in the scaled problem: each row divided by its largest absolute
 * coefficient, then each column by its largest one in the scaled rows, both rounded to powers
 * of two (HiGHS scales similarly inside but does not expose its factors). */
KLVO_API int KLVOgetscaledinfeas(KLVOprob prob, int *npv, int *nps, int *nds, int *ndv, int *mx, int *mslack,
                                 int *mdual, int *mdj);

/* Rays of the last continuous solve, for the model as it was solved (none once the model has
 * changed since, or after an integer or nonlinear solve). *hasray (may be NULL) is 1 when the
 * ray exists; ray (NULL to ask only whether it exists) then receives it.
 *
 * The dual ray (rows entries) of an infeasible problem is a Farkas certificate y: y_i <= 0 on
 * 'L' rows, >= 0 on 'G' rows, 0 on 'N' rows, and
 *   sum_i (y_i > 0 ? y_i * lower_i : y_i * upper_i)  >  max over the column bounds of y'Ax,
 * where lower_i / upper_i are the row's ends, so no x within its bounds satisfies the rows.
 * The primal ray (cols entries) of an unbounded problem is a direction d along which every
 * row and column bound stays satisfied from any feasible point (A_i d <= 0 on 'L' rows, >= 0 on
 * 'G' rows, = 0 on 'E' and 'R' rows; d_j >= 0 with a finite lower bound, <= 0 with a finite
 * upper one) and the objective improves: c'd < 0 when minimising, > 0 when maximising. */
KLVO_API int KLVOgetdualray(KLVOprob prob, double *ray, int *hasray);
KLVO_API int KLVOgetprimalray(KLVOprob prob, double *ray, int *hasray);
/* The variable whose increase or decrease the primal ray follows (the simplex's entering
 * variable), as a combined index: a row i as i, a column j as rows + sparerows + j; -1 when
 * the last continuous solve did not find the problem unbounded. */
KLVO_API int KLVOgetunbvec(KLVOprob prob, int *seq);

/* A starting point for the next continuous solve: x (cols entries), slack, duals (rows) and
 * djs (cols), each may be NULL. The next solve starts from the basis that x gives (found by
 * crossover from x and the duals), then forgets the point. *status (may be NULL): 0 loaded,
 * 1 nothing loaded because x is NULL. A later change of the model's size drops the point. */
KLVO_API int KLVOloadlpsol(KLVOprob prob, const double *x, const double *slack, const double *duals,
                           const double *djs, int *status);
/* A complete solution (cols entries) as a start for the next integer solve. *status (may be
 * NULL): 0 accepted; 1 refused because it violates a bound, a row or integrality beyond the
 * tolerances (nothing is stored). */
KLVO_API int KLVOloadmipsol(KLVOprob prob, const double *x, int *status);
/* A solution or partial solution for the next integer solve: n values for the columns colind
 * (NULL: a complete solution, n must be cols), with an optional name. It is checked when that
 * solve starts: of the complete, feasible starts the best is handed to HiGHS; without one the
 * first partial start is, which HiGHS completes by solving for the remaining columns. All
 * starts are forgotten after that solve; a change of the model's size drops them. */
KLVO_API int KLVOaddmipsol(KLVOprob prob, int n, const double *values, const int *colind, const char *name);

/* The solution of the presolved problem (its cols and rows entries) when the problem stands in
 * its presolved form, else the last solution as KLVOgetlpsol gives it. */
KLVO_API int KLVOgetpresolvesol(KLVOprob prob, double *x, double *slack, double *duals, double *djs);
/* The interior point solution of the last barrier solve of an LP, before crossover (any
 * pointer may be NULL). *status: the lpstatus the barrier ended with (KLVO_LP_OPTIMAL when it converged), or
 * KLVO_LP_UNSTARTED when there is no barrier solution for the model as it is (the arrays are
 * then left untouched). */
KLVO_API int KLVOgetlastbarsol(KLVOprob prob, double *x, double *slack, double *duals, double *djs, int *status);
/* Runs crossover from the last barrier solution and makes the basic solution it finds the
 * problem's solution. *status: 0 done, 1 no barrier solution for the model as it is, 2
 * crossover failed (the solution is then unchanged). */
KLVO_API int KLVOcrossoverlpsol(KLVOprob prob, int *status);
/* Puts the caller's problem back in place of a presolved form kept by the flag 'k' (see
 * klvo/analysis.h); the solution stays. Does nothing to a problem in its own form. */
KLVO_API int KLVOpostsolve(KLVOprob prob);

/* Values of first..last of the presolved solution a running callback is given (the presolved
 * problem is the original one). Only a callback of a solve offers one: outside such a callback
 * these fail with KLVO_ERR_NO_SOLUTION; status (may be NULL) is as for KLVOgetsolution. */
KLVO_API int KLVOgetcallbackpresolvesolution(KLVOprob prob, int *status, double *x, int first, int last);
KLVO_API int KLVOgetcallbackpresolveslacks(KLVOprob prob, int *status, double *slacks, int first, int last);
KLVO_API int KLVOgetcallbackpresolveduals(KLVOprob prob, int *status, double *duals, int first, int last);
KLVO_API int KLVOgetcallbackpresolveredcosts(KLVOprob prob, int *status, double *djs, int first, int last);

KLVO_EXTERN_C_END

#endif /* KLVO_SOLUTION_H */
