/* Solving and solution queries.
 *
 * Linear, mixed-integer and convex quadratic problems are solved by HiGHS. A problem keeps
 * its engine between solves, so a continuous re-solve after a change of bounds, objective or
 * right-hand sides starts from the previous basis, and after added rows or columns from that
 * basis extended. An integer solve starts without the previous solution. A model that holds
 * something no engine takes yet (see KLVOoptimize) is refused with KLVO_ERR_NOT_SUPPORTED and
 * a text naming it.
 *
 * KLVOinterrupt stops a running solve at the engine's next check (solvestatus STOPPED,
 * stopstatus KLVO_STOP_INTERRUPT); a request made while no solve runs is dropped when the
 * next solve starts. KLVOinterrupt on a valid handle only stores the request, so a signal
 * handler may call it. The engine's log goes to the message callbacks, filtered by the control
 * outputlog.
 *
 * A problem is marked as being solved for the whole of KLVOoptimize, KLVOlpoptimize,
 * KLVOmipoptimize and KLVOnlpoptimize. Meanwhile every call that would change, reload, solve
 * or destroy it (or its nonlinear layer) fails with KLVO_ERR_BUSY and the text
 * "<function>: the problem is being solved", from any thread, callbacks of that solve
 * included; reads, solution queries, KLVOinterrupt and the message-callback calls still work.
 * KLVOfree fails the same way while any problem is being solved. A solve refuses to start
 * while another thread is changing the problem.
 *
 * Sign conventions, for every problem and both objective senses:
 *   - slack of row i      = rhs_i - (activity of row i), where the activity is A_i x;
 *                           for a range row the right-hand side is its upper end;
 *   - dual of row i       = rate of change of the optimal objective per unit increase of rhs_i;
 *   - reduced cost of j   = c_j - sum_i a_ij * dual_i  (c_j includes the quadratic part's
 *                           gradient at the solution for quadratic objectives).
 * So for a minimisation a binding <= row has a dual <= 0 and a binding >= row a dual >= 0;
 * the objective equals sum_i dual_i * rhs_i + sum_j djs_j * x_j + constant at an LP optimum
 * (where every column with a non-zero reduced cost sits at a bound).
 *
 * The status out-parameter of the solution getters is KLVO_SOLSTATUS_OPTIMAL (1) or
 * KLVO_SOLSTATUS_FEASIBLE (2) when the values are available, KLVO_SOLSTATUS_NOTFOUND (0)
 * when not (no solve yet, no solution found, or the model changed size since); the values
 * are then left untouched and the call still succeeds. Duals and reduced costs exist only for
 * continuous problems solved to optimality.
 */
#ifndef KLVO_SOLVE_H
#define KLVO_SOLVE_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Solves the problem with the engine its content calls for. flags (NULL or a string of
 * letters): "p" primal simplex, "d" dual simplex, "b" interior point (barrier), "n" network
 * (solved by the primal simplex), "l" the continuous relaxation only (integrality ignored),
 * "k" keep the presolved problem afterwards (linear and mixed-integer linear models only; see
 * klvo/analysis.h). Without a letter the controls defaultalg / lpflags choose. A problem kept
 * in its presolved form goes back to its own form before it is solved again. solvestatus and solstatus (may
 * be NULL) receive the attributes solvestatus (KLVO_SOLVESTATUS_*) and solstatus
 * (KLVO_SOLSTATUS_*). Limits, interrupts, infeasibility and unboundedness are outcomes, not
 * errors: the call returns 0 and the statuses tell. A model holding quadratic rows,
 * formulas, special ordered sets, indicators, partially integer columns, or integer columns
 * with a quadratic objective fails with KLVO_ERR_NOT_SUPPORTED; general and piecewise-linear
 * constraints are solved as described in klvo/gencons.h. */
KLVO_API int KLVOoptimize(KLVOprob prob, const char *flags, int *solvestatus, int *solstatus);
/* Solves the continuous relaxation (integrality ignored). */
KLVO_API int KLVOlpoptimize(KLVOprob prob, const char *flags);
/* Solves the problem with its integrality (same as KLVOoptimize). */
KLVO_API int KLVOmipoptimize(KLVOprob prob, const char *flags);

/* Values of the last solution for columns (rows) first..last; status as described above.
 * values may be NULL to query only the status. */
KLVO_API int KLVOgetsolution(KLVOprob prob, int *status, double *x, int first, int last);
KLVO_API int KLVOgetslacks(KLVOprob prob, int *status, double *slacks, int first, int last);
KLVO_API int KLVOgetduals(KLVOprob prob, int *status, double *duals, int first, int last);
KLVO_API int KLVOgetredcosts(KLVOprob prob, int *status, double *djs, int first, int last);

/* Values of the solution a running callback is given, in the shape of the getters above.
 * The status is KLVO_SOLSTATUS_FEASIBLE (2) when the event has the vector: the new incumbent in
 * intsol, the candidate in preintsol, the node's relaxation in node events (slacks are computed
 * from the solution when the engine gives none; duals and reduced costs only where a relaxation
 * was solved). Otherwise, and outside callbacks, it is KLVO_SOLSTATUS_NOTFOUND (0) and the
 * values are left untouched. */
KLVO_API int KLVOgetcallbacksolution(KLVOprob prob, int *status, double *x, int first, int last);
KLVO_API int KLVOgetcallbackslacks(KLVOprob prob, int *status, double *slacks, int first, int last);
KLVO_API int KLVOgetcallbackduals(KLVOprob prob, int *status, double *duals, int first, int last);
KLVO_API int KLVOgetcallbackredcosts(KLVOprob prob, int *status, double *djs, int first, int last);

/* Whole vectors of the last solution (any pointer may be NULL): x and slack whenever a
 * solution exists, duals and djs after a continuous solve to optimality. Fails with
 * KLVO_ERR_NO_SOLUTION when a requested vector is not available. */
KLVO_API int KLVOgetlpsol(KLVOprob prob, double *x, double *slack, double *duals, double *djs);
/* Whole vectors of the best integer solution (any pointer may be NULL); fails with
 * KLVO_ERR_NO_SOLUTION when there is none. */
KLVO_API int KLVOgetmipsol(KLVOprob prob, double *x, double *slack);

/* Computations from a given solution (NULL means the last solution), with the conventions
 * above: the objective value (constant included), the slacks of all rows, and the reduced
 * costs of all columns from given duals (NULL: the last duals). The objective and the slacks
 * include the formulas of the nonlinear layer. */
KLVO_API int KLVOcalcobjective(KLVOprob prob, const double *x, double *objval);
KLVO_API int KLVOcalcslacks(KLVOprob prob, const double *x, double *slacks);
KLVO_API int KLVOcalcreducedcosts(KLVOprob prob, const double *duals, const double *x,
                                  double *djs);

KLVO_EXTERN_C_END

#endif /* KLVO_SOLVE_H */
