/* The nonlinear layer (prefix KSLP): formulas and nonlinear solving.
 *
 * A row's nonlinear part is a sum of coefficient entries factor * formula * column; the column
 * value -1000 (KSLP_NOCOLUMN) means that the formula multiplies no column. Row -1 stands for the
 * objective. A row therefore reads
 *     linear part + quadratic part + sum of its entries   (type L, G, E, R or N)   rhs
 * and the objective  constant + linear + quadratic + sum of its entries.
 *
 * Formulas are token arrays: parallel arrays of token types and values, in postfix
 * ("parsed") order. Types: 0 end of formula (optional as the last token), 1 constant,
 * 10 column (its index as a double), 11 user function (its id), 12 internal function (code),
 * 22 start of an argument list, 31 operator (1 unary minus, 2 power, 3 times, 4 divide,
 * 5 plus, 6 minus); 21 opening bracket, 23 closing bracket and 24 argument separator appear
 * only in written order (parsed 0, below). Function codes: 14 log10, 15 log, 16 exp, 17 abs, 18 sqrt, 27 sin,
 * 28 cos, 29 tan, 30 asin, 31 acos, 32 atan, 33 min, 34 max, 35 pwl, 36 sum, 37 prod,
 * 46 sign, 49 erf, 50 erfc. A one-argument function follows a (22) token and its argument;
 * min, max, sum, prod, pwl and user functions take every operand pushed since the latest
 * (22) token. The operands of pwl and user functions are pushed last to first; pwl's operands
 * are (argument, x0, y0, x1, y1, ...) with constant breakpoints in non-decreasing x (two
 * points with the same x make a jump; outside the breakpoints the end segments extend).
 *
 * Wherever a function takes or gives a formula with a `parsed` argument, parsed 0 means the
 * tokens in written (infix) order: functions come before their arguments, which are enclosed
 * by a (22) token and a (23) closing bracket and separated by (24) tokens; (21) and (23) are
 * grouping brackets; the operands of every function are in written order (pwl: argument, x0,
 * y0, ...); a (31, 1) or (31, 6) token where an operand is expected is a unary minus. Usual
 * precedence applies: + - below * / below unary minus below ^, which groups to the right
 * (-x ^ 2 is -(x ^ 2), a ^ b ^ c is a ^ (b ^ c)); the others group to the left.
 *
 * The text form of a formula follows the same grammar: numbers, + - * / ^ (or **), brackets,
 * functions by name (log10, log, exp, abs, sqrt, sin, cos, tan, asin, acos, atan, min, max,
 * pwl, sum, prod, sign, erf, erfc, in any case) and user functions by their name (in double
 * quotes when it is no plain word) or as @id. A column is written by its name (letters,
 * digits, '_' and '.', starting with a letter or '_'), by any name in double quotes (\" and
 * \\ escape), as C<k> for the k-th column when it has no name, or as #j for the column with
 * index j. A minus directly in front of a number that no ^ follows makes a negative number
 * ("-3" is the constant -3, "-(3)" the negation of 3). The text printed by the library parses
 * back to the same tokens.
 *
 * Bad input (a malformed token array, an index out of range) fails with a message and changes
 * nothing. Solutions follow the library's sign conventions: the dual of a row is the rate of
 * change of the optimal objective per unit increase of its right-hand side, a reduced cost is
 * the rate of change per unit increase of the column's active bound, a slack is the
 * right-hand side minus the row's activity.
 */
#ifndef KLVO_NLP_H
#define KLVO_NLP_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

#define KSLP_NOCOLUMN (-1000)

/* Initialise / release the nonlinear layer (counted like KLVOinit). KSLPinit returns
 * KLVO_ERR_NOT_AVAILABLE when the library was built without its nonlinear engine. */
KLVO_API int KSLPinit(void);
KLVO_API int KSLPfree(void);

/* A nonlinear-layer handle is attached to an existing problem and destroyed before it. */
KLVO_API int KSLPcreateprob(KSLPprob *slp, KLVOprob *prob);
KLVO_API int KSLPdestroyprob(KSLPprob slp);
/* Copies the formulas, initial values, user functions and controls of src into dest (both
 * attached to problems with the same columns and rows; copy the problems first). The name is
 * unused and may be null. */
KLVO_API int KSLPcopyprob(KSLPprob dest, KSLPprob src, const char *name);
KLVO_API int KSLPcopycontrols(KSLPprob dest, KSLPprob src);
/* Problem files with formulas. KSLPwriteprob writes the main problem as KLVOwriteprob does (MPS,
 * or LP with the flag 'l' or a name ending in .lp) and adds the layer's entries after the end
 * of the model as comment lines, one per entry, that plain readers skip:
 *     *FORMULA row column factor ntokens type value type value ...
 * ('\' instead of '*' in LP files; parsed tokens without the end token). KLVOreadprob (and
 * KSLPreadprob, which reads into the layer's problem) loads such entries into the layer,
 * replacing its entries; a file with entries needs the layer handle. Reading any problem file
 * drops the layer's old entries, initial values, column settings and row statuses (controls and
 * user functions stay); user-function ids in the file refer to the reading layer's functions. */
KLVO_API int KSLPwriteprob(KSLPprob slp, const char *filename, const char *flags);
KLVO_API int KSLPreadprob(KSLPprob slp, const char *filename, const char *flags);
/* Last error of the layer: its code and text (512 characters). */
KLVO_API int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg);
/* Asks a running solve to stop; it ends with status "unfinished". */
KLVO_API int KSLPinterrupt(KSLPprob slp, int reason);

/* One message function per layer handle; f NULL removes it. The engine's log arrives here. */
typedef void (*KSLPmessagecb)(KSLPprob slp, void *data, const char *msg, int len, int msgtype);
KLVO_API int KSLPsetcbmessage(KSLPprob slp, KSLPmessagecb f, void *data);

/* Events of the layer: one function per kind and layer handle; setting another replaces it,
 * f NULL removes it. They are called on the solving thread, with the layer handle and the
 * data given here.
 *   slpstart        a solve starts; non-zero return: do not solve (status unfinished).
 *   slpend          a solve ended (its results are readable).
 *   iterstart(*stop)  an iteration starts; *stop is 0 on entry, non-zero stops the solve
 *                   (unfinished).
 *   itervar(col)    the engine tested column col for convergence; return 0 to keep its verdict,
 *                   a positive value to mark the column converged, a negative one to mark it
 *                   not converged.
 *   iterend(*stop)  an iteration ended (after its step was accepted or rejected); *stop as
 *                   for iterstart.
 *   cascadestart    a cascade starts; non-zero return skips it.
 *   cascadevar(col) column col was recomputed; non-zero return restores its previous value.
 *   cascadevarfail(col)  column col could not be recomputed (it keeps its value).
 *   cascadeend      a cascade ended.
 *   preupdatelinearization(*keep)  the SLP engine is about to linearise at a new point;
 *                   *keep is 0 on entry, non-zero keeps the previous point's derivatives for
 *                   this iteration.
 *   drcol(col, value, *newvalue, lb, ub)  a cascaded value lies outside the column's bounds;
 *                   *newvalue (on entry the value clipped into the bounds) is what the column
 *                   gets.
 *   coefevalerror(row, col)  the SLP engine could not evaluate a formula of (row, col) at a
 *                   trial point (row -1 the objective, col -1000 a formula without column); the
 *                   step is then rejected.
 *   construct       the engine's linearised model was built (KSLPconstruct or a solve).
 *   destroy         the layer handle is being destroyed.
 * The interior-point engine fires slpstart, iterstart, iterend and slpend. */
#define KSLP_CB_SLPSTART 0
#define KSLP_CB_SLPEND 1
#define KSLP_CB_ITERSTART 2
#define KSLP_CB_ITERVAR 3
#define KSLP_CB_ITEREND 4
#define KSLP_CB_CASCADESTART 5
#define KSLP_CB_CASCADEVAR 6
#define KSLP_CB_CASCADEVARFAIL 7
#define KSLP_CB_CASCADEEND 8
#define KSLP_CB_PREUPDATELINEARIZATION 9
#define KSLP_CB_DRCOL 10
#define KSLP_CB_COEFEVALERROR 11
#define KSLP_CB_CONSTRUCT 12
#define KSLP_CB_DESTROY 13
#define KSLP_CB_KINDS 14
typedef int (*KSLPnotifycb)(KSLPprob slp, void *data);
typedef int (*KSLPcolumncb)(KSLPprob slp, void *data, int col);
typedef int (*KSLPiterationcb)(KSLPprob slp, void *data, int *stop);
typedef int (*KSLPpreupdatecb)(KSLPprob slp, void *data, int *keep);
typedef int (*KSLPdrcolcb)(KSLPprob slp, void *data, int col, double value, double *newvalue, double lb, double ub);
typedef int (*KSLPcoefevalerrorcb)(KSLPprob slp, void *data, int row, int col);
KLVO_API int KSLPsetcbslpstart(KSLPprob slp, KSLPnotifycb f, void *data);
KLVO_API int KSLPsetcbslpend(KSLPprob slp, KSLPnotifycb f, void *data);
KLVO_API int KSLPsetcbiterstart(KSLPprob slp, KSLPiterationcb f, void *data);
KLVO_API int KSLPsetcbitervar(KSLPprob slp, KSLPcolumncb f, void *data);
KLVO_API int KSLPsetcbiterend(KSLPprob slp, KSLPiterationcb f, void *data);
KLVO_API int KSLPsetcbcascadestart(KSLPprob slp, KSLPnotifycb f, void *data);
KLVO_API int KSLPsetcbcascadevar(KSLPprob slp, KSLPcolumncb f, void *data);
KLVO_API int KSLPsetcbcascadevarfail(KSLPprob slp, KSLPcolumncb f, void *data);
KLVO_API int KSLPsetcbcascadeend(KSLPprob slp, KSLPnotifycb f, void *data);
KLVO_API int KSLPsetcbpreupdatelinearization(KSLPprob slp, KSLPpreupdatecb f, void *data);
KLVO_API int KSLPsetcbdrcol(KSLPprob slp, KSLPdrcolcb f, void *data);
KLVO_API int KSLPsetcbcoefevalerror(KSLPprob slp, KSLPcoefevalerrorcb f, void *data);
KLVO_API int KSLPsetcbconstruct(KSLPprob slp, KSLPnotifycb f, void *data);
KLVO_API int KSLPsetcbdestroy(KSLPprob slp, KSLPnotifycb f, void *data);

/* Catalogues. Each gives pointers to static parallel arrays of ids, names and flag words,
 * ended by an entry with id 0 and an empty name; *count (if not null) gets the number of
 * entries before it. Flag bits: 10 the name is known, 0 integer, 1 double, 2 string,
 * 4 control (else attribute), 8 stored only (has no effect in this library). The second
 * catalogue holds the settings of the interior-point engine. */
KLVO_API int KSLPgetcalist(const int **ids, const char *const **names, const int **flags, int *count);
KLVO_API int KSLPgetKTRcalist(const int **ids, const char *const **names, const int **flags, int *count);
/* Id and flags of a control or attribute name (any case). An unknown name gives id 0 and
 * flags 0 (bit 10 clear) and succeeds. */
KLVO_API int KSLPcontrolcode(const char *name, int *id, int *flags);

/* Controls and attributes by id; also readable and settable through the main problem's
 * KLVOget... / KLVOset... functions.
 *   Controls: 12100 kslp_iterlimit (int, 3000), 12101 kslp_log (int 0-3: none, iteration log,
 *   detailed, more detailed; 1), 12102 kslp_timelimit (seconds, 0 none), 12103 kslp_opttol
 *   (1e-8), 12104 kslp_feastol (1e-6), 12105 kslp_postsolve (int, stored only: the solver works
 *   on the original problem, so there is nothing to postsolve), 12106 kslp_engineoptions
 *   (string "name value; name value" of extra interior-point engine options), 12107
 *   kslp_cascade (1: the SLP engine cascades after every accepted step; 0 not), 12108
 *   kslp_cascadetol (a cascaded value within this of the old one is not taken; 0), 12109
 *   kslp_cascadenlimit (passes of one cascade at most, 1-1000; 5), 12146
 *   kslp_objsense (1.0 / -1.0, the problem's objective sense), 12415 kslp_derivatives (0 exact
 *   second derivatives, 1 quasi-Newton approximation of the Hessian), 12417 kslp_solver (the
 *   engine: 0 interior point, the default; 1 successive linear programming over HiGHS LPs); engine settings 12701
 *   ip_muinit, 12702 ip_mustrategy (0 monotone, 1 adaptive), 12703 ip_boundpush, 12704
 *   ip_acceptabletol, 12705 ip_acceptableiter.
 *   Attributes: 11999 kslp_rows, 12000 kslp_cols, 12013 kslp_equalscolumn (always -1: formulas
 *   without a column use -1000), 12016 kslp_coefficients (entries with a column), 12026
 *   kslp_formulas (entries without), 12044 kslp_nlpstatus (0 unstarted, 1 locally optimal,
 *   3 locally infeasible, 5 unbounded, 6 unfinished: stopped by a limit or an interrupt,
 *   7 failed), 12062 kslp_status (bit 0 compiled model held, bit 29 solved), 12179 kslp_objval,
 *   12180 kslp_iterations, 12181 kslp_solvetime, 12182 kslp_maxviolation, 12601
 *   kslp_mainproblem (pointer: the KLVOprob). */
KLVO_API int KSLPgetintcontrol(KSLPprob slp, int id, int *value);
KLVO_API int KSLPsetintcontrol(KSLPprob slp, int id, int value);
KLVO_API int KSLPgetintcontrol64(KSLPprob slp, int id, int64_t *value);
KLVO_API int KSLPsetintcontrol64(KSLPprob slp, int id, int64_t value);
KLVO_API int KSLPgetdblcontrol(KSLPprob slp, int id, double *value);
KLVO_API int KSLPsetdblcontrol(KSLPprob slp, int id, double value);
/* value may be null to learn the length; *nbytes (if not null) gets the length plus one. */
KLVO_API int KSLPgetstringcontrol(KSLPprob slp, int id, char *value, int maxbytes, int *nbytes);
KLVO_API int KSLPsetstrcontrol(KSLPprob slp, int id, const char *value);
KLVO_API int KSLPgetintattrib(KSLPprob slp, int id, int *value);
KLVO_API int KSLPgetintattrib64(KSLPprob slp, int id, int64_t *value);
KLVO_API int KSLPgetdblattrib(KSLPprob slp, int id, double *value);
KLVO_API int KSLPgetptrattrib(KSLPprob slp, int id, void **value);

/* Drops the solver's compiled model (bit 0 of attribute 12062); the next solve compiles the
 * formulas again. */
KLVO_API int KSLPunconstruct(KSLPprob slp);
/* Returns the layer from its solved state to its editable state (clears bit 29 of attribute
 * 12062); the solution stays readable. */
KLVO_API int KSLPpostsolve(KSLPprob slp);

/* Coefficient entries. ncoef entries; entry k is factor[k] * formula * colindex[k] in row
 * rowindex[k] (-1 the objective), its formula being the tokens fstart[k] .. fstart[k+1]-1
 * (fstart has ncoef + 1 entries). Adding an entry at a (row, column) that has one adds to it.
 * KSLPloadcoefs replaces all entries. Either all entries are stored or none. */
KLVO_API int KSLPaddcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
                          const int *fstart, int parsed, const int *type, const double *value);
KLVO_API int KSLPloadcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex, const double *factor,
                           const int *fstart, int parsed, const int *type, const double *value);
/* Deletes the entries at the given (row, column) pairs; a pair without an entry is an error. */
KLVO_API int KSLPdelcoefs(KSLPprob slp, int ncoef, const int *rowindex, const int *colindex);
/* The distinct (row, column) pairs holding entries, in order of first addition. Arrays may be
 * null to learn the count. */
KLVO_API int KSLPgetcoefs(KSLPprob slp, int *ncoef, int *rowindex, int *colindex);
/* The formula at (row, column): its factor and tokens (with the end token). With type null,
 * only *ntokens (and *factor) are set; otherwise maxtokens must hold them. Several entries at
 * the same pair read back as one formula with factor 1. */
KLVO_API int KSLPgetcoefformula(KSLPprob slp, int rowindex, int colindex, double *factor, int parsed, int maxtokens,
                                int *ntokens, int *type, double *value);

/* User functions. A function of type 2 gives values only (and is differentiated
 * numerically): double f(const double *args, void *data), reporting a failure by calling
 * KSLPsetfunctionerror. A function of type 5 also gives first derivatives:
 * int f(const double *args, const double *request, double *value, double *partials, void *data)
 * where request is null when only the value is wanted and otherwise has a non-zero entry for
 * every partial derivative wanted; it returns 0, or non-zero on failure. nout must be 1 and
 * flags 0. The id goes into formulas as token (11, id). */
typedef void (*KSLPuserfunction)(void);
KLVO_API int KSLPadduserfunction(KSLPprob slp, const char *name, int type, int nin, int nout, int flags,
                                 KSLPuserfunction fn, void *data, int *id);
KLVO_API int KSLPsetfunctionerror(KSLPprob slp);

/* Value of a formula at the current point (the last solution, else the initial values, else
 * zero). The token array must end with the end token (type 0), which gives its length; the
 * same holds for KSLPformuladerivatives. */
KLVO_API int KSLPevaluateformula(KSLPprob slp, int parsed, const int *type, const double *value, double *result);
/* Value, gradient (dense, one entry per column) and Hessian (dense, ncols x ncols, row-major,
 * may be null) of a formula at the point x (one entry per column), by the same automatic
 * differentiation the solver uses. */
KLVO_API int KSLPformuladerivatives(KSLPprob slp, int parsed, const int *type, const double *value, const double *x,
                                    double *f, double *gradient, double *hessian);

/* Column settings of the successive-linearisation interface. In KSLPchgvar a null pointer
 * leaves a setting unchanged; detrow -1 removes the determining row. The initial value is the
 * one KLVOnlpsetinitval sets and starts the next solve. The successive-linearisation engine
 * reads:
 *   initstepbound  the column's first step bound (0: the size of the starting value, at least 1);
 *   tolset         its tolerance set (0 the default tests);
 *   penalty        for a column with a determining row, a factor (> 0; 0 means 1) on that row's
 *                  weight (KSLPchgrowwt): its error columns cost that much more in the LP and
 *                  its violation weighs that much more in the merit function;
 *   damp           in [0, 1): the share of the column's LP step that is not taken, so an
 *                  accepted step moves it by (1 - damp) times the LP's delta;
 *   vartype        bits KSLP_VAR_*: NOCASCADE keeps the column out of every cascade, NODELTA
 *                  fixes its delta at zero (the column keeps its value), FIXSTEPBOUND keeps its
 *                  step bound at the initial one (the trust region neither widens nor shrinks it).
 * The engine leaves here each column's final step bound, convergence (0 not converged, else
 * 1 + the tolerance that passed), value and value at the previous iteration's end (oldvalue),
 * and its convergence
 * history: bit k set when the column passed its tests k iterations before the last (the last
 * 31 iterations). With an iterend event set, these are kept current at every iteration end,
 * so the event can read the iterate. stepbound and history given here are overwritten by
 * the next SLP solve. KSLPgetvar's delta is the column's step column in the last SLP solve's
 * LP, its update row the LP row of its determining row and its penalty delta the first error
 * column of that row (-1 where there is none). KSLPdelvars forgets the settings and initial
 * values of the given columns. Row status words (KSLPchgrowstatus): bit 0 enforces the row in
 * the SLP engine (see KSLPfixpenalties); other bits are stored. Settings follow
 * deleted rows and columns. A negative or non-finite penalty, a damp outside [0, 1) and
 * vartype bits other than KSLP_VAR_* are refused. */
#define KSLP_VAR_NOCASCADE 0x1
#define KSLP_VAR_NODELTA 0x2
#define KSLP_VAR_FIXSTEPBOUND 0x4
#define KSLP_VAR_ALL 0x7
KLVO_API int KSLPchgvar(KSLPprob slp, int col, const int *detrow, const double *initstepbound,
                        const double *stepbound, const double *penalty, const double *damp, const double *initvalue,
                        const double *value, const int *tolset, const int *history, const int *converged,
                        const int *vartype);
KLVO_API int KSLPgetvar(KSLPprob slp, int col, int *detrow, double *initstepbound, double *stepbound,
                        double *penalty, double *damp, double *initvalue, double *value, int *tolset, int *history,
                        int *converged, int *vartype, int *delta, int *penaltydelta, int *updaterow,
                        double *oldvalue);
KLVO_API int KSLPdelvars(KSLPprob slp, int ncols, const int *colind);
KLVO_API int KSLPchgrowstatus(KSLPprob slp, int row, const int *status);
KLVO_API int KSLPgetrowstatus(KSLPprob slp, int row, int *status);

/* The successive-linearisation engine (control kslp_solver = 1) linearises every formula at
 * the current point and solves one LP over the steps of the columns, with step bounds (a trust
 * region) and, on every row, two penalised error columns that keep the LP feasible. A step is
 * accepted when the merit function  objective + penalty * sum of weighted row violations  falls
 * by a fair share of what the LP predicted; the step bounds then widen, otherwise they shrink.
 * A rejected step that left curved rows is first corrected once for their curvature (the same
 * LP with the rows shifted by what the linearisation missed at the trial point). A column
 * whose accepted steps change direction halves its own step bound. The solve stops when the point is feasible (kslp_feastol) and either every column passes its
 * tolerance set or the LP finds no first-order decrease left (kslp_opttol); or at the iteration
 * and time limits. Its multipliers are the closest fit of the objective gradient by the active
 * rows' and bounds' gradients at the final point.
 *
 * Tolerance sets, numbered from 1, hold nine tolerances; a column passes when any tolerance in
 * use (status bit k for tolerance k) holds, its closure being its last accepted step and its
 * delta the step the current LP proposes (a delta held at its step bound passes no delta test):
 *   0 absolute closure  |closure| <= t              1 relative closure  |closure| <= t |x|
 *   2 absolute delta    |delta| <= t                3 relative delta    |delta| <= t * step bound
 *   4 absolute matrix   max over rows |J_ij delta| <= t
 *   5 relative matrix   max over rows |J_ij delta| / max(1, |row activity|) <= t
 *   6 absolute impact   |objective gradient_j * delta| <= t
 *   7 relative impact   |objective gradient_j * delta| <= t * max(1, |objective|)
 *   8 slack             |delta| <= t while every row of the column keeps a slack above kslp_feastol
 * A column without a set uses relative closure and relative delta at 1e-6.
 * KSLPaddtolsets appends ntolsets sets (9 tolerances each, a tolerance in use when positive),
 * KSLPloadtolsets replaces all (columns lose theirs). KSLPchgtolset changes set tolset (the next
 * number adds one); status and tols may be null to keep them, a null status with tols marks
 * the positive ones in use. KSLPgettolset gives both. KSLPdeltolsets deletes sets: columns of a
 * deleted set go back to the default, later sets are renumbered. Tolerances are finite and
 * non-negative. */
KLVO_API int KSLPaddtolsets(KSLPprob slp, int ntolsets, const double *tols);
KLVO_API int KSLPloadtolsets(KSLPprob slp, int ntolsets, const double *tols);
KLVO_API int KSLPchgtolset(KSLPprob slp, int tolset, const int *status, const double *tols);
KLVO_API int KSLPgettolset(KSLPprob slp, int tolset, int *status, double *tols);
KLVO_API int KSLPdeltolsets(KSLPprob slp, int ntolsets, const int *tolsets);
/* Column settings in bulk, n columns; any array but colindex may be null to leave that
 * setting. vartype is stored; detrow the determining row (-1 none); seqnum orders the cascade
 * among columns whose dependencies leave them unordered; tolindex the tolerance set (0 the
 * default); initvalue the initial value; stepbound the initial step bound (0: the size of the
 * starting value, at least 1). KSLPloadvars first forgets every column's settings. */
KLVO_API int KSLPaddvars(KSLPprob slp, int n, const int *colindex, const int *vartype, const int *detrow,
                         const int *seqnum, const int *tolindex, const double *initvalue, const double *stepbound);
KLVO_API int KSLPloadvars(KSLPprob slp, int n, const int *colindex, const int *vartype, const int *detrow,
                          const int *seqnum, const int *tolindex, const double *initvalue, const double *stepbound);
/* Penalty weight of a row's error columns (positive, default 1): a heavier row is made
 * feasible first. */
KLVO_API int KSLPchgrowwt(KSLPprob slp, int row, const double *weight);
KLVO_API int KSLPgetrowwt(KSLPprob slp, int row, double *weight);
/* Cascading: each column with a determining row gets the value that makes that row hold at
 * its right-hand side at the current point (the last solution, else the initial values),
 * columns recomputed before the columns whose rows use them (KSLPcascadeorder fixes that order;
 * cycles come last). The new values become both the solution's and the initial values. A
 * column is recomputed by Newton steps, at most its limit (KSLPchgcascadenlimit, default 20);
 * one that does not converge keeps its value (cascadevarfail), and a new value within
 * kslp_cascadetol of the old one is not taken. Passes over the order repeat, at most
 * kslp_cascadenlimit, while a determining row still fails to hold (a cycle). Columns of type
 * KSLP_VAR_NOCASCADE are left alone. The SLP engine cascades the same way (in its space, rows
 * held within their bounds) at the starting point and after every accepted step, before the
 * next linearisation, while kslp_cascade is 1 (the default). */
KLVO_API int KSLPcascade(KSLPprob slp);
KLVO_API int KSLPcascadeorder(KSLPprob slp);
KLVO_API int KSLPchgcascadenlimit(KSLPprob slp, int col, int limit);
/* Builds the engines' compiled model now rather than at the next solve (bit 0 of attribute
 * 12062) and fires the construct event. */
KLVO_API int KSLPconstruct(KSLPprob slp);
/* The last solution becomes the initial values of every column; fails without a solution. */
KLVO_API int KSLPsetcurrentiv(KSLPprob slp);
/* Forgets the last solution and the engine's per-column state (step bounds back to their
 * initial values, nothing converged); settings, initial values and the compiled model stay. */
KLVO_API int KSLPreinitialize(KSLPprob slp);
/* Information on a row or column: *datatype gets 1 for an integer (in *ivalue) or 2 for a double
 * (in *dvalue). Row information: 1 its row in the last SLP solve's LP (-1 none), 2 penalty
 * weight, 3 status word, 4 activity at the last solution, 5 its dual. Column information: 1 its
 * step column in the last SLP solve's LP (-1 none), 2 step bound, 3 converged (0 no, else 1 +
 * the tolerance that passed), 4 value at the last solution, 5 reduced cost, 6 tolerance set,
 * 7 position in the cascade order (-1 none). 4 and 5 need a solution. */
KLVO_API int KSLPgetrowinfo(KSLPprob slp, int infotype, int row, int *datatype, int *ivalue, double *dvalue);
/* (Row information 6 and 7, after KSLPupdatelinearization: the row's activity at the
 * linearisation point and its largest absolute derivative there. Column information 8: the
 * column's delta type.) */
KLVO_API int KSLPgetcolinfo(KSLPprob slp, int infotype, int col, int *datatype, int *ivalue, double *dvalue);

/* Finite-difference widths: the derivative of row rowindex[k] with respect to column
 * colindex[k] is taken by a central difference of width value[k] * max(1, |x|) instead of
 * exactly, in the SLP engine's linearisations and in KSLPupdatelinearization (a width for a row
 * that does not use the column has no effect). Widths are positive and finite. KSLPloaddfs
 * first forgets every width; KSLPchgdf sets one; KSLPgetdf gives 0 where none is set. */
KLVO_API int KSLPadddfs(KSLPprob slp, int ndfs, const int *colindex, const int *rowindex, const double *value);
KLVO_API int KSLPloaddfs(KSLPprob slp, int ndfs, const int *colindex, const int *rowindex, const double *value);
KLVO_API int KSLPchgdf(KSLPprob slp, int col, int row, const double *value);
KLVO_API int KSLPgetdf(KSLPprob slp, int col, int row, double *value);
/* How the SLP engine steps columns varind[0..nvars-1]: delta type 0 freely within its step
 * bound (the default), 1 not at all (the column keeps its starting value), 2 only by steps of
 * at least values[k] (smaller steps the LP proposes are not taken; values may be null
 * otherwise). */
KLVO_API int KSLPchgdeltatype(KSLPprob slp, int nvars, const int *varind, const int *deltatypes, const double *values);
/* Linearises every row at the current point (the last solution, else the initial values): row
 * activities and derivatives, finite-difference widths applied; KSLPgetrowinfo 6 and 7 read
 * them. When a linearisation exists, a preupdatelinearization function that sets its flag
 * keeps it. */
KLVO_API int KSLPupdatelinearization(KSLPprob slp);
/* Fixes the penalty error columns at zero (row status bit 0, "enforced": the SLP engine's
 * linearisations must then satisfy the row exactly, shrinking their step bounds until they
 * can) for every row satisfied within kslp_feastol at the last solution; *status gets the
 * number of rows that are not, which keep their penalties. Fails without a solution. */
KLVO_API int KSLPfixpenalties(KSLPprob slp, int *status);
/* Sets every row's penalty weight (KSLPchgrowwt) to the inverse of its largest absolute
 * derivative at the current point, kept within 1e-4 to 1e4, so that a unit of error costs
 * alike in every row; rows without derivatives keep theirs. Linearises first. */
KLVO_API int KSLPscaling(KSLPprob slp);
/* Prepares a solve: builds the compiled model (KSLPconstruct), orders and runs the cascade so
 * that the starting point satisfies every determining row, and linearises there. */
KLVO_API int KSLPpresolve(KSLPprob slp);

/* The last solution of the layer (any array may be null). */
KLVO_API int KSLPgetslpsol(KSLPprob slp, double *x, double *slack, double *duals, double *djs);

/* Row formulas on the main problem: each row's formula is an entry with column -1000 and
 * factor 1. formulastart has nrows + 1 entries. */
KLVO_API int KLVOnlpaddformulas(KLVOprob prob, int nrows, const int *rowindex, const int *formulastart, int parsed,
                                const int *type, const double *value);
KLVO_API int KLVOnlploadformulas(KLVOprob prob, int nrows, const int *rowindex, const int *formulastart, int parsed,
                                 const int *type, const double *value);
KLVO_API int KLVOnlpdelformulas(KLVOprob prob, int nrows, const int *rowindex);
/* The sum of a row's entries without column as one formula; an empty formula when it has
 * none (*ntokens 0). Same buffer rules as KSLPgetcoefformula. */
KLVO_API int KLVOnlpgetformula(KLVOprob prob, int rowindex, int parsed, int maxtokens, int *ntokens, int *type,
                               double *value);
/* The rows holding entries without column, ascending; rowindex may be null to learn the count. */
KLVO_API int KLVOnlpgetformularows(KLVOprob prob, int *nrows, int *rowindex);
KLVO_API int KLVOnlpgetformularows_witharraysizes(KLVOprob prob, int *nrows, int *rowindex, int maxrows);
/* The same with every array followed by its element count, checked against what the call
 * reads: nrows rows, nrows + 1 formula starts and formulastart[nrows] tokens. */
KLVO_API int KLVOnlpaddformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                               const int *formulastart, int formulastart_size, int parsed,
                                               const int *type, int type_size, const double *value, int value_size);
KLVO_API int KLVOnlploadformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size,
                                                const int *formulastart, int formulastart_size, int parsed,
                                                const int *type, int type_size, const double *value,
                                                int value_size);
KLVO_API int KLVOnlpdelformulas_witharraysizes(KLVOprob prob, int nrows, const int *rowindex, int rowindex_size);
/* Determining rows and initial step bounds of columns (see KSLPchgvar), n of each. */
KLVO_API int KLVOslpsetdetrow_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size,
                                             const int *rowindex, int rowindex_size);
KLVO_API int KLVOslpsetinitstepbounds_witharraysizes(KLVOprob prob, int n, const int *colindex, int colindex_size,
                                                     const double *initial, int initial_size);
KLVO_API int KLVOslpgetcoefs(KLVOprob prob, int *ncoef, int *rowindex, int *colindex);
KLVO_API int KLVOslpgetcoefformula(KLVOprob prob, int rowindex, int colindex, double *factor, int parsed,
                                   int maxtokens, int *ntokens, int *type, double *value);
/* Initial values of columns for the next nonlinear solve (clipped into the bounds). */
KLVO_API int KLVOnlpsetinitval(KLVOprob prob, int ncols, const int *colindex, const double *initial);
/* Solves a continuous problem with its quadratic rows and formulas by the interior-point
 * engine. Needs the nonlinear layer handle. flags is unused and may be null. */
KLVO_API int KLVOnlpoptimize(KLVOprob prob, const char *flags);

/* Changing one coefficient: the entries at (row, col) are replaced by one entry factor *
 * formula. A null factor keeps the current factor (1 for a new entry); a null type keeps the
 * formula (there must be an entry then); a formula that is only the end token deletes the
 * entries. The token arrays end with the end token, which gives their length; parsed is 1 or
 * 0 as at the top of this header. KLVOslpchgcoef does the same on the main problem, and
 * KLVOnlpchgformula replaces a row's formula (the entries without column; -1 the objective)
 * with factor 1. */
KLVO_API int KSLPchgcoef(KSLPprob slp, int rowindex, int colindex, const double *factor, int parsed, const int *type,
                         const double *value);
KLVO_API int KLVOslpchgcoef(KLVOprob prob, int rowindex, int colindex, const double *factor, int parsed,
                            const int *type, const double *value);
KLVO_API int KLVOnlpchgformula(KLVOprob prob, int rowindex, int parsed, const int *type, const double *value);

/* Formulas as text (the grammar at the top of this header). The setters replace as
 * KSLPchgcoef does: a null formula keeps it, an empty text deletes the entries. The getters
 * write at most maxbytes bytes (cut to fit, always terminated; formula may be null) and set
 * *nbytes (when not null) to the full length plus one; KLVOnlpgetformulastr gives "" for a row
 * without formula, the others fail when (row, col) holds no entry. KSLPchgccoef and
 * KSLPgetccoef are older forms of KLVOslpchgcoefstr and KLVOslpgetcoefstr. */
KLVO_API int KLVOslpchgcoefstr(KLVOprob prob, int rowindex, int colindex, const double *factor, const char *formula);
KLVO_API int KLVOslpgetcoefstr(KLVOprob prob, int rowindex, int colindex, double *factor, char *formula, int maxbytes,
                               int *nbytes);
KLVO_API int KLVOnlpchgformulastr(KLVOprob prob, int rowindex, const char *formula);
KLVO_API int KLVOnlpgetformulastr(KLVOprob prob, int rowindex, char *formula, int maxbytes, int *nbytes);
KLVO_API int KSLPchgccoef(KSLPprob slp, int rowindex, int colindex, const double *factor, const char *formula);
KLVO_API int KSLPgetccoef(KSLPprob slp, int rowindex, int colindex, double *factor, char *formula, int maxbytes);

/* factor * formula of the entry at (row, col) at the current point (as KSLPevaluateformula). */
KLVO_API int KSLPevaluatecoef(KSLPprob slp, int rowindex, int colindex, double *value);

/* Checks of the last nonlinear solution (fail without one). A violation is how far a row's
 * activity (formulas included) or a column lies outside its range; its relative size divides
 * by max(1, |the bound|). KSLPvalidate sets attributes 12191 kslp_validationabs (largest
 * violation), 12192 kslp_validationrel (largest relative one) and 12194 kslp_validationstatus
 * (bit 0 validated, bit 1 a relative violation beyond kslp_feastol) and reports them as a
 * message (type 3 when bit 1 is set). KSLPvalidaterow does the same for one row, reporting
 * its linear, quadratic and formula parts. */
KLVO_API int KSLPvalidate(KSLPprob slp);
KLVO_API int KSLPvalidaterow(KSLPprob slp, int rowindex);
/* For the point x (one entry per column): the sum of all violations, the sum of the relative
 * violations and the objective (any output may be null). */
KLVO_API int KSLPvalidatevector(KSLPprob slp, const double *x, double *suminf, double *sumscaledinf, double *objval);
/* KKT residuals of the last solution from its duals y and reduced costs d:
 *   stationarity     max_j |df/dx_j - sum_i y_i dg_i/dx_j - d_j| (formula gradients included),
 *   multiplier signs max |multiplier| pointing at an infinite bound (d_j > 0 or y_i > 0 is a
 *                    lower bound when minimising, an upper bound when maximising),
 *   complementarity  max |multiplier| * distance to the bound it points at.
 * mode 0 takes the solution's reduced costs; mode 1 computes them as the remainder
 * df/dx - J'y, so stationarity holds and the check falls on signs and complementarity
 * (updatemult nonzero then stores them in the solution). respectbasis nonzero counts a
 * multiplier on a bound or row inactive by more than kslp_feastol in full. The largest
 * residual goes to attribute 12193 kslp_validationkkt; bit 2 of 12194 is set, and bit 3 when it
 * exceeds violtarget (kslp_opttol when violtarget <= 0). A message tells the three figures. */
KLVO_API int KSLPvalidatekkt(KSLPprob slp, int mode, int respectbasis, int updatemult, double violtarget);
/* Messages (type 1) with the memory the layer holds (formula entries, user functions, column
 * settings, solution, compiled structure) and the evaluation figures of the compiled model
 * (formula count, tokens, sweeps and formula values evaluated, time spent in them). */
KLVO_API int KSLPprintmemory(KSLPprob slp);
KLVO_API int KSLPprintevalinfo(KSLPprob slp);
/* ---- Multistart.
 * With jobs registered, a nonlinear solve (KLVOnlpoptimize, and KLVOoptimize of a continuous
 * nonlinear problem) runs every job on its own copy of the problem and keeps the best result:
 * the lowest objective (highest when maximising) among the jobs that end locally optimal, else
 * among those that end with a feasible point; ties go to the job registered first. The
 * winner's solution, statuses and layer results become the problem's; attribute 12650
 * kslp_mswinner gives its number (jobs counted from 1 in registration order, a preset counting
 * as `count` jobs; 0 when no multistart ran or no job gave a point). Jobs run concurrently on
 * as many worker threads as the threads control allows (8278; 0 one per processor). A job
 * starts from the problem's initial values (KLVOnlpsetinitval) overridden by its own, with the
 * problem's controls overridden by its own; its copy solves quietly (output level 0 unless the
 * job sets it), and the problem's log gets one line per job. Interrupting the solve stops the
 * running jobs and starts no more. When every job is skipped the problem is solved once from
 * its own initial values. Jobs stay registered until KSLPmsclear; they are not copied by
 * KSLPcopyprob. Deleting columns drops their initial values from the jobs and renumbers the
 * rest; after the model is replaced, values for columns it no longer has are left out.
 *
 * Presets generate `count` jobs each. Sampling happens in a box per column: its bounds, an
 * infinite side replaced by the reference value -/+ 10 * max(1, |reference|), the reference
 * being the problem's initial value of the column (0 without one). Draws are reproducible:
 * they depend on the randomseed control (8328) and the job's number only.
 *   KSLP_MSPRESET_RANDOM     points drawn uniformly in the box;
 *   KSLP_MSPRESET_LATIN      a Latin hypercube of `count` points in the box (each column's
 *                            range cut into `count` strata, each stratum used once);
 *   KSLP_MSPRESET_PERTURB    the reference point with every column moved by a uniform amount
 *                            of at most a quarter of its box width, kept inside the bounds;
 *   KSLP_MSPRESET_CONTROLS   the reference point solved with varied engine settings: the
 *                            first `count` (at most 8) combinations of ip_mustrategy (0, 1),
 *                            kslp_derivatives (0, 1) and ip_muinit (0.1, 1).
 * A custom preset's initial values replace the reference values of their columns, and those
 * columns are not sampled (random and Latin presets); its controls apply to every job.
 *
 * Controls given to jobs are ids of integer or double controls of the problem or of the layer
 * with values each setter accepts; everything is checked when the job is added, and a refused
 * job adds nothing. The job object is the caller's; the multistart events receive it. */
#define KSLP_MSPRESET_RANDOM 1
#define KSLP_MSPRESET_LATIN 2
#define KSLP_MSPRESET_PERTURB 3
#define KSLP_MSPRESET_CONTROLS 4

/* One job: description (may be null), ninitial initial values at the given columns, and
 * nintcontrols integer and ndblcontrols double control settings. */
KLVO_API int KSLPmsaddjob(KSLPprob slp, const char *description, int ninitial, const int *colindex,
                          const double *initial, int nintcontrols, const int *intcontrolid, const int *intcontrolval,
                          int ndblcontrols, const int *dblcontrolid, const double *dblcontrolval, void *jobobject);
/* `count` jobs (at least 1) of a preset, every one with the same job object. */
KLVO_API int KSLPmsaddpreset(KSLPprob slp, const char *description, int preset, int count, void *jobobject);
KLVO_API int KSLPmsaddcustompreset(KSLPprob slp, const char *description, int preset, int count, int ninitial,
                                   const int *colindex, const double *initial, int nintcontrols,
                                   const int *intcontrolid, const int *intcontrolval, int ndblcontrols,
                                   const int *dblcontrolid, const double *dblcontrolval, void *jobobject);
/* Forgets every job. */
KLVO_API int KSLPmsclear(KSLPprob slp);

/* Multistart events, one function per layer (f NULL removes it). Each is called on the job's
 * own layer handle (whose attribute 12601 gives the job's problem), from a worker thread, with
 * the job's object and description. msjobstart comes before the job's solve, after its initial
 * values and controls are in place: a non-zero *status skips the job. msjobend comes after the
 * solve: a non-zero *status removes the job from the choice of the winner. mswinner comes once
 * for the winning job, before its solution is taken over. The return values are unused. */
typedef int (*KSLPmsjobcb)(KSLPprob slp, void *data, void *jobobject, const char *description, int *status);
typedef int (*KSLPmswinnercb)(KSLPprob slp, void *data, void *jobobject, const char *description);
KLVO_API int KSLPsetcbmsjobstart(KSLPprob slp, KSLPmsjobcb f, void *data);
KLVO_API int KSLPsetcbmsjobend(KSLPprob slp, KSLPmsjobcb f, void *data);
KLVO_API int KSLPsetcbmswinner(KSLPprob slp, KSLPmswinnercb f, void *data);

/* Events of the library's branch-and-bound search when it solves a problem with formulas and
 * integer columns, each called on the layer's handle, one function per layer (f NULL removes
 * it). prenode comes before a node's nonlinear relaxation is solved, then slpnode; optnode
 * after the relaxation is solved to optimality, before branching; intsol when a new best
 * integer solution is accepted. A non-zero *infeasible (prenode, optnode) or return value
 * (slpnode) drops the node as infeasible; the return values of prenode, optnode and intsol
 * are unused. */
typedef int (*KSLPnodecb)(KSLPprob slp, void *data);
typedef int (*KSLPnodefeascb)(KSLPprob slp, void *data, int *infeasible);
KLVO_API int KSLPsetcbslpnode(KSLPprob slp, KSLPnodecb f, void *data);
KLVO_API int KSLPsetcbintsol(KSLPprob slp, KSLPnodecb f, void *data);
KLVO_API int KSLPsetcbprenode(KSLPprob slp, KSLPnodefeascb f, void *data);
KLVO_API int KSLPsetcboptnode(KSLPprob slp, KSLPnodefeascb f, void *data);

KLVO_EXTERN_C_END

#endif /* KLVO_NLP_H */
