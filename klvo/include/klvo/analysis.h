/* Analysis of a solved problem: bases and the basis matrix, pivoting, sensitivity ranging,
 * irreducible infeasible sets, infeasibility repair, solution files, strong branching, MIP
 * refinement and the tuner.
 *
 * Bases. A basis gives one status per row and per column:
 *   KLVO_BASIS_LOWER (0)  nonbasic at its lower bound
 *   KLVO_BASIS_BASIC (1)  basic
 *   KLVO_BASIS_UPPER (2)  nonbasic at its upper bound
 *   KLVO_BASIS_FREE  (3)  nonbasic and free (superbasic, value 0 for a free column)
 * The status of a row is that of its slack, slack = rhs - activity (klvo/solve.h); the slack
 * of a 'L' row lies in [0, inf), of a 'G' row in (-inf, 0], of a range row in [0, range], of
 * an 'E' row in [0, 0]. So a binding 'L' row is KLVO_BASIS_LOWER, a binding 'G' row
 * KLVO_BASIS_UPPER, and an 'N' row is basic.
 *
 * The basis matrix B is made of the columns of [A I] of the basic variables (the I column of
 * a row belongs to its slack), in the order KLVOgetpivotorder gives. Combined indices number
 * the slacks of rows 0..rows-1 first, then column j as rows + sparerows + j.
 *
 * Every query on a basis or the basis matrix needs the basis of a continuous solve of the
 * problem as it is now (or one loaded since): it fails with KLVO_ERR_NO_SOLUTION when there is
 * none, or when rows or columns were added or deleted, or the matrix changed, since.
 *
 * With user scale factors set (KLVOscale) the engine holds the scaled model; every answer
 * below is still given for the caller's own (unscaled) model.
 *
 * Sensitivity ranging (KLVOobjsa, KLVOrhssa, KLVObndsa) needs an optimal basis of a
 * continuous problem without quadratic terms, from a solve of the problem as it is now.
 *
 * The functions that reach the engine (bases, the basis matrix, ranging, pivots, strong
 * branching, IIS searches) hold the problem like a change does: while the problem is being
 * solved they fail with KLVO_ERR_BUSY.
 */
#ifndef KLVO_ANALYSIS_H
#define KLVO_ANALYSIS_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

#define KLVO_BASIS_LOWER 0
#define KLVO_BASIS_BASIC 1
#define KLVO_BASIS_UPPER 2
#define KLVO_BASIS_FREE 3

/* ---- Bases ---- */

/* The current basis: rowstat receives rows entries, colstat cols entries (either may be
 * NULL). Fails with KLVO_ERR_NO_SOLUTION when no basis is available (see above). */
KLVO_API int KLVOgetbasis(KLVOprob prob, int rowstat[], int colstat[]);
/* Loads a basis (rows and cols statuses, both required) as the start of the next continuous
 * solve; the engine repairs a basis that is singular or not square. A status outside 0..3
 * fails with KLVO_ERR_INVALID_ARGUMENT naming the row or column, and nothing is loaded. */
KLVO_API int KLVOloadbasis(KLVOprob prob, const int rowstat[], const int colstat[]);
/* The basis status of one row and one column: a negative row (col) asks for nothing and
 * leaves *rowstat (*colstat) untouched; an index beyond the problem fails. */
KLVO_API int KLVOgetbasisval(KLVOprob prob, int row, int col, int *rowstat, int *colstat);
/* Writes the current basis as text to filename (NULL or "" gives the problem name plus
 * ".bss"): a header "KLVOBASIS <rows> <cols>", then one line per row "R <index> <status>
 * <name>" and per column "C <index> <status> <name>", with the statuses written LL (lower), BS
 * (basic), UL (upper) and FR (free). flags: NULL or "" (no flags are defined). */
KLVO_API int KLVOwritebasis(KLVOprob prob, const char *filename, const char *flags);
/* Reads a basis written by KLVOwritebasis and loads it as KLVOloadbasis does. The file must
 * give a status to every row and column of the problem by index; a malformed file, or one
 * written for another number of rows or columns, fails with KLVO_ERR_FILE naming the line,
 * and nothing is loaded. */
KLVO_API int KLVOreadbasis(KLVOprob prob, const char *filename, const char *flags);
/* ---- The presolved problem ----
 *
 * A solve given the flag 'k' (klvo/solve.h) keeps the problem in its presolved form: HiGHS's
 * presolve of the caller's model, solved. The attributes rows, cols and elems then count the
 * presolved problem and presolvestate has bit 1 (continuous) or bit 2 (with integrality) set;
 * originalrows, originalcols, inputrows and inputcols keep counting the caller's. Queries of
 * the model (rows, bounds, costs, types, names, KLVOwriteprob) show the presolved problem,
 * its rows and columns carrying the caller's names; the solution getters of klvo/solve.h keep
 * giving the caller's solution. Changes and analyses are refused until KLVOpostsolve puts the
 * caller's problem back; a new solve puts it back first. Without a presolved form, the
 * functions below describe the caller's own problem (maps are the identity). */

/* The basis of the presolved problem's solution (rows and cols entries). Loading one replaces
 * it, checked as KLVOloadbasis checks. */
KLVO_API int KLVOgetpresolvebasis(KLVOprob prob, int rowstat[], int colstat[]);
KLVO_API int KLVOloadpresolvebasis(KLVOprob prob, const int rowstat[], const int colstat[]);
/* Where each row and column of the presolved problem comes from in the caller's problem.
 * rowmap has rows entries, colmap cols (either may be NULL). */
KLVO_API int KLVOgetpresolvemap(KLVOprob prob, int rowmap[], int colmap[]);
/* A solution prex of the presolved problem (cols values) as a solution origx of the caller's
 * problem (inputcols values): HiGHS undoes its reductions, giving values to the columns it
 * removed. Both lengths are given and checked; a wrong one, or a value that is not finite,
 * fails with KLVO_ERR_INVALID_ARGUMENT. */
KLVO_API int KLVOpostsolvesol_witharraysizes(KLVOprob prob, const double prex[], int prex_size, double origx[],
                                             int origx_size);
/* A row of the caller's problem (type rowtype, norigcoefs coefficients over the caller's
 * columns origcolind, right-hand side origrhs) written over the presolved problem's columns:
 * repeated columns merged, zero coefficients dropped, columns fixed by their bounds moved into
 * the right-hand side. *ncoefs receives the number of coefficients, colind and rowcoef (room
 * for maxcoefs) the coefficients, *rhs the right-hand side, *status 0; 1 when maxcoefs is too
 * small (nothing is written to colind and rowcoef then); -1 when the row refers to a column
 * presolve removed without its bounds fixing it (its value depends on others: the row has no
 * form over the presolved columns; *ncoefs is 0). */
KLVO_API int KLVOpresolverow(KLVOprob prob, char rowtype, int norigcoefs, const int origcolind[],
                             const double origrowcoef[], double origrhs, int maxcoefs, int *ncoefs, int colind[],
                             double rowcoef[], double *rhs, int *status);

/* ---- The basis matrix ---- */

/* pivotorder (rows entries) receives the combined index of the basic variable in each
 * position of B. */
KLVO_API int KLVOgetpivotorder(KLVOprob prob, int pivotorder[]);
/* In place on vec (rows entries): ftran solves B y = vec, btran solves B' y = vec. */
KLVO_API int KLVOftran(KLVOprob prob, double vec[]);
KLVO_API int KLVObtran(KLVOprob prob, double vec[]);
/* The same on a sparse vector: on entry *nnz entries, val[k] at row ind[k] (repeated rows
 * add up); on return the result's non-zeros, ascending by row, and their count in *nnz. Both
 * arrays must hold rows entries (val_size and ind_size say so); anything else fails with
 * KLVO_ERR_INVALID_ARGUMENT and leaves the arrays as they were. */
KLVO_API int KLVOsparseftran_witharraysizes(KLVOprob prob, double val[], int val_size, int ind[], int ind_size,
                                            int *nnz);
KLVO_API int KLVOsparsebtran_witharraysizes(KLVOprob prob, double val[], int val_size, int ind[], int ind_size,
                                            int *nnz);
/* A measure of the basis matrix in the caller's (unscaled) terms, in *value:
 *   type 0: the condition number ||B|| * ||B^-1||; type 1: ||B||; type 2: ||B^-1||;
 *   norm 0: the infinity norm (largest row sum of magnitudes), 1: the 1-norm (largest column
 *   sum), 2: the Frobenius norm.
 * B^-1 is formed column by column (one solve per row of the problem). scaled != 0 measures
 * the basis of the model as the engine holds it, scaled by the user's factors (KLVOscale):
 * R B D, R the row factors and D those of the basic variables (1/r for a slack). HiGHS's own
 * internal scaling is not exposed, so without user factors this is B itself. */
KLVO_API int KLVObasisstability(KLVOprob prob, int type, int norm, int scaled, double *value);
/* The simplex step that brings the nonbasic variable enter (a combined index) into the basis:
 * it moves away from the bound it sits at (a free one the way that improves the objective)
 * until a basic variable, or its own other bound, stops it. outlist receives the combined
 * indices of the variables that stop it (ties of the ratio test; enter itself when its other
 * bound comes first), at most maxpivots of them, and *npivots their number, 0 when nothing
 * stops the step. x (rows + cols entries: the slacks, then the columns; may be NULL) receives
 * the values after the step and *objval (may be NULL) the objective there. Basic values come
 * from the basis, not from the last solve. The problem needs a linear objective. */
KLVO_API int KLVOgetpivots(KLVOprob prob, int enter, int outlist[], double x[], double *objval, int *npivots,
                           int maxpivots);
/* Makes that step: enter becomes basic and leave (a basic variable, or enter itself to move it
 * to its other bound) nonbasic at the bound it moves towards. A leaving variable whose pivot
 * element is 0 fails with KLVO_ERR_INVALID_ARGUMENT. The new basis is loaded for the next
 * solve. */
KLVO_API int KLVOpivot(KLVOprob prob, int enter, int leave);

/* ---- Sensitivity ranging ---- */

/* For columns colind[0..n-1]: the range [lower, upper] of the objective coefficient over which
 * the current basis stays optimal (+-1e20 for no limit). */
KLVO_API int KLVOobjsa(KLVOprob prob, int n, const int colind[], double lower[], double upper[]);
/* For rows rowind[0..n-1]: the range [lower, upper] of the right-hand side over which the
 * current basis stays optimal (it stays primal feasible). For a range row it is the upper
 * end that moves, the range fixed. */
KLVO_API int KLVOrhssa(KLVOprob prob, int n, const int rowind[], double lower[], double upper[]);
/* For columns colind[0..n-1]: the ranges over which each of the column's bounds may move
 * while the current basis stays optimal: [lblower, lbupper] for its lower bound, [ublower,
 * ubupper] for its upper bound. A bound that is not binding may move freely up to the
 * column's value. Any of the four arrays may be NULL. */
KLVO_API int KLVObndsa(KLVOprob prob, int n, const int colind[], double lblower[], double lbupper[],
                       double ublower[], double ubupper[]);
/* For rows rowind[0..n-1] of a continuous problem solved to optimality: the range of the
 * row's dual over the optimal basis and the bases next to it, reached by moving the row's
 * right-hand side just past either end of its ranging interval (KLVOrhssa) and re-solving
 * by the dual simplex from the optimal basis for at most iterlim iterations. Past an end
 * beyond which the problem is infeasible the dual is unbounded (+-1e20); a side that does not
 * finish within iterlim adds nothing. mindual or maxdual may be NULL. */
KLVO_API int KLVOestimaterowdualranges(KLVOprob prob, int n, const int rowind[], int iterlim, double mindual[],
                                       double maxdual[]);

/* ---- Irreducible infeasible sets (IIS) ----
 *
 * An IIS is a set of rows and column bounds that has no solution while every proper subset
 * has one. The search runs on the continuous relaxation of the problem as it is now; the sets
 * found are kept with the problem (numbered 1, 2, ...) until KLVOiisclear or until the problem
 * changes. Set 0 stands for the whole problem. */

/* Starts a new search and finds a first IIS. mode 0: an irreducible set (the engine's deletion
 * filter); mode 1: a quick set from the engine's infeasibility certificate, which need not be
 * irreducible. *status (may be NULL): 0 a set was found, 1 the problem is feasible, 2 the
 * engine found no set. */
KLVO_API int KLVOiisfirst(KLVOprob prob, int mode, int *status);
/* Finds an IIS different from all found so far, by relaxing one member of each of them in
 * turn (so that the search is complete). *status: 0 a set was found, 1 no further set exists,
 * 2 the search gave up after 1000 trial solves; fails if no search was started. */
KLVO_API int KLVOiisnext(KLVOprob prob, int *status);
/* Starts a search and finds every IIS (at most 1000). */
KLVO_API int KLVOiisall(KLVOprob prob);
/* Drops the sets found. */
KLVO_API int KLVOiisclear(KLVOprob prob);
/* *count receives the number of sets found. Each array (may be NULL) receives count + 1
 * entries, entry 0 for the whole problem and entry k for set k: the number of rows and of
 * columns with a bound in it, the least total violation of its constraints (the smallest sum
 * over its rows and bounds of how far a point lies outside them) and the number of its
 * constraints violated at the point reaching that least total. */
KLVO_API int KLVOiisstatus(KLVOprob prob, int *count, int rowsizes[], int colsizes[], double suminfeas[],
                           int numinfeas[]);
/* The members of set num (1..count): *nrows and *ncols (may be NULL) receive its sizes;
 * rowind/colind its rows and columns; contype the row types ('L', 'G', 'E', 'R'); bndtype the
 * bound of each column in it ('L' lower, 'U' upper, 'B' both); duals and djs the rates at
 * which the least total violation of the set changes per unit increase of each row's
 * right-hand side and of each column's bound; isolationrows and isolationcols 1 for a member
 * that lies in no other set, 0 for one that does, -1 before KLVOiisisolations has run for
 * the set. Any array may be NULL; call with all NULL to learn the sizes. */
KLVO_API int KLVOgetiisdata(KLVOprob prob, int num, int *nrows, int *ncols, int rowind[], int colind[],
                            char contype[], char bndtype[], double duals[], double djs[], char isolationrows[],
                            char isolationcols[]);
/* Writes set num: filetype 0 as an LP file of the subproblem (its rows, its columns with only
 * the bounds in the set), filetype 1 as a CSV list of the members. flags: NULL or "". */
KLVO_API int KLVOiiswrite(KLVOprob prob, int num, const char *filename, int filetype, const char *flags);
/* Finds the members of set num that lie in no other IIS (see KLVOgetiisdata). This needs every
 * set, so the search goes on (as KLVOiisnext) until all are found; when it gives up, the
 * call fails with KLVO_ERR_ENGINE and the isolations stay unknown. */
KLVO_API int KLVOiisisolations(KLVOprob prob, int num);
/* Prints set num (0 the whole problem's summary) to the problem's log: its sizes and least
 * total violation, then one line per row (name and type) and per column bound (name and which
 * bound). Fails when no set num has been found. */
KLVO_API int KLVOiisprint(KLVOprob prob, int num);

/* ---- Solution files ----
 *
 * flags: NULL or "" (no flags are defined yet; other letters fail). The file is written as
 * named. Each writer fails with KLVO_ERR_NO_SOLUTION when the problem has no solution for
 * its current size. */

/* A CSV file: a header line, one line per column (C, index, name, type, value, lower bound,
 * upper bound, reduced cost) and per row (R, index, name, type, activity, slack, rhs, dual);
 * values without a meaning in the current solution are left empty. */
KLVO_API int KLVOwritesol(KLVOprob prob, const char *filename, const char *flags);
/* A printable report: problem name, statuses, objective, then tables of rows and columns. */
KLVO_API int KLVOwriteprtsol(KLVOprob prob, const char *filename, const char *flags);
/* A simple text solution: "NAME <problem name>", one line " C <column name> <value>" per
 * column (the names an MPS file of the problem would use), and a final ".". Values are
 * written so that they read back exactly. */
KLVO_API int KLVOwriteslxsol(KLVOprob prob, const char *filename, const char *flags);
KLVO_API int KSLPwriteslxsol(KSLPprob slp, const char *filename, const char *flags);
/* Reads such a file and makes its values the problem's current solution (columns not listed
 * are 0; slacks follow from the values; no duals): the solution getters then return them
 * with status KLVO_SOLSTATUS_FEASIBLE, whether or not they satisfy the constraints. The values
 * also start the next solve: for a problem with discrete columns as a MIP start over the
 * columns listed (KLVOaddmipsol; a partial start is completed by that solve), otherwise as the
 * point the next continuous solve crosses over from (KLVOloadlpsol). An unknown column name,
 * a column given twice or a malformed line fails with KLVO_ERR_FILE and changes nothing. */
KLVO_API int KLVOreadslxsol(KLVOprob prob, const char *filename, const char *flags);
/* The whole current solution (statuses, objective values, counters, x, slacks, duals,
 * reduced costs) in a binary file, and back: reading restores it exactly. A file written
 * for another number of rows or columns fails with KLVO_ERR_FILE. */
KLVO_API int KLVOwritebinsol(KLVOprob prob, const char *filename, const char *flags);
KLVO_API int KLVOreadbinsol(KLVOprob prob, const char *filename, const char *flags);

/* ---- Branching ---- */

/* For each of the n bound changes (column colind[k], bound type bndtype[k]: 'L' lower, 'U'
 * upper, 'B' both, value bndval[k]) solves the continuous relaxation with that one change by
 * the dual simplex from the current basis, for at most iterlim iterations: objval[k] receives
 * the objective reached and status[k] the LP status (KLVO_LP_OPTIMAL, KLVO_LP_INFEAS,
 * KLVO_LP_UNFINISHED at the limit, ...). objval and status may be NULL. The problem is left as
 * it was. Needs a basis (see above). */
KLVO_API int KLVOstrongbranch(KLVOprob prob, int n, const int colind[], const char bndtype[],
                              const double bndval[], int iterlim, double objval[], int status[]);
/* Fixes the discrete columns at their values in the current solution (both bounds set; integer
 * values rounded): options 0 every discrete column, 1 only those whose value is one of their
 * bounds. Fails with KLVO_ERR_NO_SOLUTION without a solution. */
KLVO_API int KLVOfixmipentities(KLVOprob prob, int options);

/* ---- Repairing an infeasible problem ----
 *
 * Finds the least weighted relaxation of the rows and column bounds that makes the problem
 * feasible, on a copy of it: the problem itself is not changed. Relaxing a side by v costs
 * v / pref (penalty 'n') or v * v / pref (penalty 'q'), pref being the side's preference; a
 * preference of 0 keeps the side as it is. lepref relaxes the upper side of a row (the
 * right-hand side of an 'L' row moves up; of an 'E' row and the upper end of an 'R' row
 * too), gepref its lower side; lbpref lowers a column's lower bound, ubpref raises its upper
 * bound (continuous and integer columns only: the bounds of binary, semi-continuous and
 * partial-integer columns stay). With phase2 'o' the original objective is then optimised
 * over the relaxed problem, the total penalty allowed to reach (1 + delta) times its least
 * value (penalty 'n' only); phase2 'n' stops after the least relaxation. flags: "" or 'n'
 * for none, 'l' to solve the continuous relaxation (integrality ignored).
 *
 * The relaxed solution becomes the problem's solution (x, slacks against the problem's own
 * rows, which are negative for a relaxed 'L' row, objective value of the original objective;
 * no duals), and each relaxed side with its amount is sent to the message callbacks (type
 * KLVO_MSG_INFO, when the outputlog control lets information through). *status receives
 * one of: */
#define KLVO_REPAIR_SOLVED 0     /* relaxed (and, with phase two, optimised) */
#define KLVO_REPAIR_INFEASIBLE 1 /* no relaxation within the preferences and limits helps */
#define KLVO_REPAIR_UNBOUNDED 2  /* phase two: the objective is unbounded on the relaxed problem */
#define KLVO_REPAIR_STOPPED 3    /* a limit stopped a solve; the best solution found is loaded */
#define KLVO_REPAIR_FAILED 4     /* the engine gave no answer */
/* The same preferences for every row's upper (lepref) and lower (gepref) side, every lower
 * (lbpref) and upper (ubpref) bound; flags is a single letter as above (or '\0'). */
KLVO_API int KLVOrepairinfeas(KLVOprob prob, int *status, char penalty, char phase2, char flags, double lepref,
                              double gepref, double lbpref, double ubpref, double delta);
/* Preferences per row (lepref, gepref) and per column (lbpref, ubpref); NULL: all 0. */
KLVO_API int KLVOrepairweightedinfeas(KLVOprob prob, int *status, const double lepref[], const double gepref[],
                                      const double lbpref[], const double ubpref[], char phase2, double delta,
                                      const char *flags);
/* As KLVOrepairweightedinfeas with penalty 'n', each side relaxed by at most its limit
 * (lerelax, gerelax per row, lbrelax, ubrelax per column; NULL: no limit). */
KLVO_API int KLVOrepairweightedinfeasbounds(KLVOprob prob, int *status, const double lepref[],
                                            const double gepref[], const double lbpref[], const double ubpref[],
                                            const double lerelax[], const double gerelax[],
                                            const double lbrelax[], const double ubrelax[], char phase2,
                                            double delta, const char *flags);
/* ---- MIP refinement ----
 *
 * Improves a feasible MIP solution (ncols values): first the continuous columns are
 * re-optimised with the discrete columns fixed at its values, then (options 0) the discrete
 * columns on which the solution and the continuous relaxation disagree are searched, the
 * others fixed, with the solution as a start and at most 1000 nodes. refined receives a
 * solution at least as good, feasible within the problem's tolerances; the problem and its
 * own solution are not changed. options 1 skips the search. flags: NULL or "". *status
 * receives one of: */
#define KLVO_REFINE_IMPROVED 0
#define KLVO_REFINE_NOT_IMPROVED 1
#define KLVO_REFINE_NOT_FEASIBLE 2 /* the solution given is not feasible: refined is a copy */
KLVO_API int KLVOrefinemipsol(KLVOprob prob, int options, const char *flags, const double solution[],
                              double refined[], int *status);
/* ---- The tuner ----
 *
 * Solves fresh copies of the problem under each control set of its method in turn and keeps
 * the set that solves it fastest (when none finishes, the one reaching the smallest MIP gap);
 * a set must beat the best time by 10% and 5 ms to count, so that timing noise does not pick
 * one. The problem's time limit control (timelimit; 60 s when it has none) is the budget of
 * the whole run; a trial stops when it reaches the best time so far. The winning set, when it
 * beats the problem's own controls again in a second timing of both (made while the budget
 * allows), is applied to the problem's controls (they are left as they were otherwise), and progress goes to
 * the message callbacks (KLVO_MSG_INFO, as outputlog allows). The default method tries, for a continuous problem,
 * the dual and primal simplex, the interior point method, no presolve, and one thread; for a
 * MIP no heuristics, emphasised heuristics (rootheuristics), no presolve, no symmetry
 * detection, no restarts, interior point relaxations, and one thread.
 * KLVOtune: flags as KLVOoptimize's ("l": tune the continuous relaxation).
 * KLVOtuneprobsetfile: tunes over the problem files listed in setfile (one per line, relative
 * to its folder; '#' starts a comment line), each read with KLVOreadprob and its objective
 * sense set to sense (1 minimise, -1 maximise), solved as MIPs when ifmip is not 0, else as
 * their continuous relaxations; a set's time is the total over the files.
 * KLVOtunerwritemethod: writes the method the tuner would use on this problem: lines "set
 * <name>" each followed by lines "<control name> <value>".
 * KLVOtunerreadmethod: reads such a file; the problem's later tuning runs try its sets. */
KLVO_API int KLVOtune(KLVOprob prob, const char *flags);
KLVO_API int KLVOtuneprobsetfile(KLVOprob prob, const char *setfile, int ifmip, int sense);
KLVO_API int KLVOtunerwritemethod(KLVOprob prob, const char *methodfile);
KLVO_API int KLVOtunerreadmethod(KLVOprob prob, const char *methodfile);

KLVO_EXTERN_C_END

#endif /* KLVO_ANALYSIS_H */
