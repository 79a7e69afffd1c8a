/* Model store: loading, adding, deleting, changing and reading back columns, rows, the
 * matrix, quadratic parts, sets, indicators and names; problem files.
 *
 * Conventions shared by every function below
 * -------------------------------------------
 * - Indices are 0-based. `first`/`last` ranges include both ends; first > last is an error
 *   except where a function says otherwise.
 * - Deleting rows, columns or sets shifts the later ones down, exactly as deleting from an
 *   array. Repeated indices in a delete call are an error.
 * - A value at or beyond 1e20 in size (KLVO_INFINITY) is infinite; bounds and right-hand
 *   sides are stored clamped to [-1e20, 1e20]. NaN is refused everywhere.
 * - Row types: 'L' (<= rhs), 'G' (>= rhs), 'E' (= rhs), 'R' (rhs - |range| <= row <= rhs),
 *   'N' (free, no bound).
 * - Column types: 'C' continuous, 'I' integer, 'B' binary, 'S' semi-continuous,
 *   'R' semi-integer, 'P' partial integer. A semi-continuous (semi-integer) column takes the
 *   value 0 or a value in [max(lb, limit), ub] (integral for 'R'); a partial-integer column is
 *   integral below its limit and continuous above it. The limit is set by KLVOchgglblimit
 *   (default: the lower bound for 'S'/'R', the upper bound for 'P').
 * - Changing a column's type to 'B' sets its bounds to [0, 1]; a binary column's bounds must
 *   stay within [0, 1].
 * - Objective: sum(c_j x_j) + 1/2 x'Qx + constant. Q is symmetric: an entry (i, j, v) with
 *   i != j sets both Q_ij and Q_ji to v, so the product term c*x_i*x_j is given as v = c and
 *   the square c*x_i^2 as v = 2c.
 * - Quadratic rows: the row's activity is a'x + x'Px with P symmetric: an entry (i, j, v) with
 *   i != j sets P_ij = P_ji = v (so x_i*x_j with coefficient 1 is v = 0.5), a diagonal entry
 *   (i, i, v) is the term v*x_i^2. A row of any type may be quadratic; which ones can be
 *   solved is up to the engines (convex L and G rows for the quadratic engines, any row for
 *   the nonlinear one).
 * - When loading or adding, triplets naming the same pair (in either order) are summed.
 *   Explicit zeros are not stored; a repeated (row, column) pair in linear input is an error.
 * - Start arrays: column j (row i, set k) of a block of n owns the entries start[j] up to
 *   start[j+1] - 1; the last one ends at the coefficient count. An (n+1)-th start entry may be
 *   present and is then ignored. A start array may be NULL when the count is 0.
 * - Name types: 1 rows, 2 columns, 3 sets. Names may repeat within a type; an element without
 *   a name reads back as "R<i+1>", "C<j+1>" or "S<k+1>" (KLVOgetnamepointer gives NULL).
 * - Bad input leaves the model exactly as it was.
 */
#ifndef KLVO_MODEL_H
#define KLVO_MODEL_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

#define KLVO_NAMES_ROWS 1
#define KLVO_NAMES_COLUMNS 2
#define KLVO_NAMES_SETS 3

/* ---- Loading: replaces the whole model (names, quadratics, sets and indicators included);
 * the objective sense goes back to minimisation and the objective constant to 0.
 *
 * probname: the new problem name (NULL gives the empty name). ncols and nrows may be 0.
 * rowtype: nrows letters (may be NULL when nrows is 0). rhs: NULL means all 0. range: only
 *   read for 'R' rows; NULL means 0. obj: NULL means all 0.
 * start/collen/rowind/rowcoef: the matrix by column. With collen, column j owns the entries
 *   start[j] .. start[j] + collen[j] - 1 (gaps allowed); without it (NULL), start holds
 *   ncols + 1 offsets. start NULL means an empty matrix.
 * lb, ub: NULL means 0 and +infinity.
 */
KLVO_API int KLVOloadlp(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                        const double rhs[], const double range[], const double obj[], const int start[],
                        const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                        const double ub[]);
KLVO_API int KLVOloadlp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                          const double rhs[], const double range[], const double obj[], const int64_t start[],
                          const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                          const double ub[]);
/* As KLVOloadlp64 plus a quadratic objective of nobjqcoefs triplets (objqcol1, objqcol2,
 * objqcoef) in the objective convention above. */
KLVO_API int KLVOloadqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                          const double rhs[], const double range[], const double obj[], const int64_t start[],
                          const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                          const double ub[], int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[],
                          const double objqcoef[]);
/* As KLVOloadlp64 plus MIP entities and special ordered sets.
 * nentities columns entind[k] get the type coltype[k] ('B','I','S','R','P'; 'C' allowed);
 * limit: NULL, or one value per entity used as that column's limit for 'S','R','P' (other
 *   entries ignored).
 * nsets sets: settype[k] is '1' or '2'; set k holds setind[setstart[k] .. setstart[k+1]-1]
 *   (the last one ends at setstart[nsets] which must then be given) with reference values
 *   refval (NULL: 1, 2, 3, ...). */
KLVO_API int KLVOloadmip64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                           const double rhs[], const double range[], const double obj[], const int64_t start[],
                           const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                           const double ub[], int nentities, int nsets, const char coltype[], const int entind[],
                           const double limit[], const char settype[], const int64_t setstart[],
                           const int setind[], const double refval[]);
KLVO_API int KLVOloadmiqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                            const double rhs[], const double range[], const double obj[], const int64_t start[],
                            const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                            const double ub[], int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[],
                            const double objqcoef[], int nentities, int nsets, const char coltype[],
                            const int entind[], const double limit[], const char settype[],
                            const int64_t setstart[], const int setind[], const double refval[]);
/* As KLVOloadqp64 plus quadratic rows: row qrowind[k] gets the nrowqcoefs[k] next triplets of
 * (rowqcol1, rowqcol2, rowqcoef), in the quadratic-row convention above. */
KLVO_API int KLVOloadqcqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                            const double rhs[], const double range[], const double obj[], const int64_t start[],
                            const int collen[], const int rowind[], const double rowcoef[], const double lb[],
                            const double ub[], int64_t nobjqcoefs, const int objqcol1[], const int objqcol2[],
                            const double objqcoef[], int nqrows, const int qrowind[], const int64_t nrowqcoefs[],
                            const int rowqcol1[], const int rowqcol2[], const double rowqcoef[]);
KLVO_API int KLVOloadmiqcqp64(KLVOprob prob, const char *probname, int ncols, int nrows, const char rowtype[],
                              const double rhs[], const double range[], const double obj[],
                              const int64_t start[], const int collen[], const int rowind[],
                              const double rowcoef[], const double lb[], const double ub[], int64_t nobjqcoefs,
                              const int objqcol1[], const int objqcol2[], const double objqcoef[], int nqrows,
                              const int qrowind[], const int64_t nrowqcoefs[], const int rowqcol1[],
                              const int rowqcol2[], const double rowqcoef[], int nentities, int nsets,
                              const char coltype[], const int entind[], const double limit[],
                              const char settype[], const int64_t setstart[], const int setind[],
                              const double refval[]);

/* ---- Adding and deleting.
 *
 * KLVOaddcols: ncols new continuous columns at the end. objcoef NULL: 0; lb NULL: 0;
 * ub NULL: +infinity; start/rowind/rowcoef describe ncoefs matrix entries (see the start
 * convention; all may be NULL when ncoefs is 0). */
KLVO_API int KLVOaddcols(KLVOprob prob, int ncols, int ncoefs, const double objcoef[], const int start[],
                         const int rowind[], const double rowcoef[], const double lb[], const double ub[]);
KLVO_API int KLVOaddcols64(KLVOprob prob, int ncols, int64_t ncoefs, const double objcoef[],
                           const int64_t start[], const int rowind[], const double rowcoef[], const double lb[],
                           const double ub[]);
/* nrows new rows at the end. rowtype required (when nrows > 0); rhs NULL: 0; range NULL: 0. */
KLVO_API int KLVOaddrows(KLVOprob prob, int nrows, int ncoefs, const char rowtype[], const double rhs[],
                         const double range[], const int start[], const int colind[], const double rowcoef[]);
KLVO_API int KLVOaddrows64(KLVOprob prob, int nrows, int64_t ncoefs, const char rowtype[], const double rhs[],
                           const double range[], const int64_t start[], const int colind[],
                           const double rowcoef[]);
/* Delete the listed columns / rows / sets (distinct indices, any order). Deleting columns
 * also removes them from quadratic parts, sets and indicators (an indicator whose column is
 * deleted is removed; a set left empty is kept, empty; a general or piecewise-linear
 * constraint using it is removed, klvo/gencons.h). Deleting rows drops their indicators
 * and quadratic matrices. */
KLVO_API int KLVOdelcols(KLVOprob prob, int ncols, const int colind[]);
KLVO_API int KLVOdelrows(KLVOprob prob, int nrows, const int rowind[]);
KLVO_API int KLVOdelsets(KLVOprob prob, int nsets, const int setind[]);
/* The same with the index array followed by its element count, which must equal the count
 * of indices; a mismatch fails with KLVO_ERR_INVALID_ARGUMENT and deletes nothing. */
KLVO_API int KLVOdelcols_witharraysizes(KLVOprob prob, int ncols, const int colind[], int colind_size);
KLVO_API int KLVOdelrows_witharraysizes(KLVOprob prob, int nrows, const int rowind[], int rowind_size);
KLVO_API int KLVOdelsets_witharraysizes(KLVOprob prob, int nsets, const int setind[], int setind_size);

/* Adds ncoefs triplets to row `row`'s quadratic matrix (summed into existing entries). */
KLVO_API int KLVOaddqmatrix64(KLVOprob prob, int row, int64_t ncoefs, const int rowqcol1[],
                              const int rowqcol2[], const double rowqcoef[]);
/* Removes row `row`'s quadratic matrix (the row stays, linear). */
KLVO_API int KLVOdelqmatrix(KLVOprob prob, int row);

/* Adds nsets sets: settype '1' or '2', members colind[start[k] ..], weights refval (NULL:
 * 1, 2, 3, ... within each set). A set must not list a column twice. */
KLVO_API int KLVOaddsets(KLVOprob prob, int nsets, int nelems, const char settype[], const int start[],
                         const int colind[], const double refval[]);
KLVO_API int KLVOaddsets64(KLVOprob prob, int nsets, int64_t nelems, const char settype[],
                           const int64_t start[], const int colind[], const double refval[]);
/* KLVOaddsets64 with every array followed by its element count: settype nsets, start nsets
 * or nsets + 1, colind nelems, refval nelems (or NULL with count 0). A mismatch fails with
 * KLVO_ERR_INVALID_ARGUMENT and adds nothing. */
KLVO_API int KLVOaddsets64_witharraysizes(KLVOprob prob, int nsets, int64_t nelems, const char settype[],
                                          int settype_size, const int64_t start[], int start_size,
                                          const int colind[], int colind_size, const double refval[],
                                          int refval_size);

/* Indicators: row rowind[k] is enforced only when column colind[k] is 1 (complement 1) or 0
 * (complement -1); complement 0 removes the row's indicator. complement NULL means all 1.
 * The row must be of type L, G or E. */
KLVO_API int KLVOsetindicators(KLVOprob prob, int nrows, const int rowind[], const int colind[],
                               const int complement[]);
/* For rows first..last: the indicator column (-1 when none) and complement (0 when none).
 * Either array may be NULL. */
KLVO_API int KLVOgetindicators(KLVOprob prob, int colind[], int complement[], int first, int last);
/* Removes the indicators of rows first..last (the rows stay). */
KLVO_API int KLVOdelindicators(KLVOprob prob, int first, int last);

/* ---- Changing. Each takes n parallel entries; a repeated index takes its last value. */
/* bndtype: 'U' upper, 'L' lower, 'B' both. */
KLVO_API int KLVOchgbounds(KLVOprob prob, int n, const int colind[], const char bndtype[],
                           const double bndval[]);
/* Column index -1 sets the objective constant to minus the given value (the value is the
 * right-hand side of the objective row). */
KLVO_API int KLVOchgobj(KLVOprob prob, int n, const int colind[], const double objcoef[]);
/* Sets one matrix coefficient; 0 removes the entry. */
KLVO_API int KLVOchgcoef(KLVOprob prob, int row, int col, double coef);
KLVO_API int KLVOchgmcoef(KLVOprob prob, int n, const int rowind[], const int colind[], const double rowcoef[]);
KLVO_API int KLVOchgrhs(KLVOprob prob, int n, const int rowind[], const double rhs[]);
/* Makes each row a range row: an 'L' row with rhs r becomes [r - |rng|, r], a 'G' row
 * [r, r + |rng|], an 'E' row [r, r + rng] for rng >= 0 and [r + rng, r] otherwise, an 'R' row
 * keeps its rhs and takes |rng| as range. 'N' rows are refused. */
KLVO_API int KLVOchgrhsrange(KLVOprob prob, int n, const int rowind[], const double rng[]);
/* Changes row types; rhs is kept, an 'R' row keeps its stored range (0 when it had none). */
KLVO_API int KLVOchgrowtype(KLVOprob prob, int n, const int rowind[], const char rowtype[]);
KLVO_API int KLVOchgcoltype(KLVOprob prob, int n, const int colind[], const char coltype[]);
/* 1 minimise, -1 maximise. */
KLVO_API int KLVOchgobjsense(KLVOprob prob, int objsense);
/* Further linear objectives. Objective 0 is the one KLVOchgobj changes; objectives 1, 2, ...
 * hold only linear coefficients (their constants are the per-objective control 20005) and
 * follow column additions (new columns have coefficient 0) and deletions.
 * KLVOchgobjn: sets coefficients of objective objidx; objidx equal to the number of
 * objectives adds a new objective, all zero before the change. For objidx 0 it is KLVOchgobj.
 * KLVOaddobj: appends an objective with the given coefficients, priority and weight.
 * KLVOdelobj: deletes objective objidx > 0; later objectives (and their controls) move down.
 * KLVOgetobjn: coefficients of columns first..last of objective objidx. */
KLVO_API int KLVOchgobjn(KLVOprob prob, int objidx, int n, const int colind[], const double objcoef[]);
KLVO_API int KLVOaddobj(KLVOprob prob, int n, const int colind[], const double objcoef[], int priority,
                        double weight);
KLVO_API int KLVOdelobj(KLVOprob prob, int objidx);
KLVO_API int KLVOgetobjn(KLVOprob prob, int objidx, double objcoef[], int first, int last);
/* Sets Q_ij = Q_ji = coef (objective convention above); 0 removes the entry. */
KLVO_API int KLVOchgqobj(KLVOprob prob, int objqcol1, int objqcol2, double coef);
KLVO_API int KLVOchgmqobj64(KLVOprob prob, int64_t n, const int objqcol1[], const int objqcol2[],
                            const double objqcoef[]);
/* KLVOchgmqobj64 with a 32-bit count: sets the n entries Q(objqcol1[k], objqcol2[k]) as
 * KLVOchgqobj does, all or none (every entry is checked before any is set). */
KLVO_API int KLVOchgmqobj(KLVOprob prob, int n, const int objqcol1[], const int objqcol2[], const double objqcoef[]);
/* Sets P_ij = P_ji = coef in row `row` (quadratic-row convention); 0 removes the entry. */
KLVO_API int KLVOchgqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double coef);
/* Sets the limit of 'S', 'R' and 'P' columns (other columns are refused). */
KLVO_API int KLVOchgglblimit(KLVOprob prob, int n, const int colind[], const double limit[]);

/* ---- Reading back. Range functions fill last - first + 1 values. */
KLVO_API int KLVOgetlb(KLVOprob prob, double lb[], int first, int last);
KLVO_API int KLVOgetub(KLVOprob prob, double ub[], int first, int last);
/* Objective coefficients of columns first..last. */
KLVO_API int KLVOgetobj(KLVOprob prob, double objcoef[], int first, int last);
KLVO_API int KLVOgetrhs(KLVOprob prob, double rhs[], int first, int last);
/* The range of 'R' rows; 0 for other rows. */
KLVO_API int KLVOgetrhsrange(KLVOprob prob, double range[], int first, int last);
KLVO_API int KLVOgetrowtype(KLVOprob prob, char rowtype[], int first, int last);
KLVO_API int KLVOgetcoltype(KLVOprob prob, char coltype[], int first, int last);
/* Matrix columns first..last: *ncoefs receives the number of entries in the range. Arrays
 * (any may be NULL) receive at most maxcoefs entries sorted by row; start gets
 * last - first + 2 offsets, clipped to maxcoefs. */
KLVO_API int KLVOgetcols64(KLVOprob prob, int64_t start[], int rowind[], double rowcoef[], int64_t maxcoefs,
                           int64_t *ncoefs, int first, int last);
/* The same for rows first..last, entries sorted by column. */
KLVO_API int KLVOgetrows64(KLVOprob prob, int64_t start[], int colind[], double rowcoef[], int64_t maxcoefs,
                           int64_t *ncoefs, int first, int last);
/* KLVOgetcols64 / KLVOgetrows64 / KLVOgetmqobj64 with 32-bit offsets and counts: start gets
 * last - first + 2 int offsets. A range holding more than 2^31 - 1 entries fails with
 * KLVO_ERR_INVALID_ARGUMENT and writes nothing. */
KLVO_API int KLVOgetrows(KLVOprob prob, int start[], int colind[], double rowcoef[], int maxcoefs, int *ncoefs,
                         int first, int last);
KLVO_API int KLVOgetmqobj(KLVOprob prob, int start[], int colind[], double objqcoef[], int maxcoefs, int *ncoefs,
                          int first, int last);
/* One coefficient (0 when there is no entry). */
KLVO_API int KLVOgetcoef(KLVOprob prob, int row, int col, double *coef);
/* Q_ij of the objective (objective convention). */
KLVO_API int KLVOgetqobj(KLVOprob prob, int objqcol1, int objqcol2, double *coef);
/* Columns first..last of the full symmetric objective Q, as KLVOgetcols64. */
KLVO_API int KLVOgetmqobj64(KLVOprob prob, int64_t start[], int colind[], double objqcoef[], int64_t maxcoefs,
                            int64_t *ncoefs, int first, int last);
/* P_ij of row `row` (quadratic-row convention). */
KLVO_API int KLVOgetqrowcoeff(KLVOprob prob, int row, int rowqcol1, int rowqcol2, double *coef);
/* Columns first..last of row `row`'s full symmetric P, as KLVOgetcols64 with int sizes. */
KLVO_API int KLVOgetqrowqmatrix(KLVOprob prob, int row, int start[], int colind[], double rowqcoef[],
                                int maxcoefs, int *ncoefs, int first, int last);
/* Row `row`'s P as upper-triangle triplets (rowqcol1 <= rowqcol2), in the convention of
 * KLVOaddqmatrix64. *nqelem receives the count; the arrays (each may be NULL) must hold it. */
KLVO_API int KLVOgetqrowqmatrixtriplets(KLVOprob prob, int row, int *nqelem, int rowqcol1[], int rowqcol2[],
                                        double rowqcoef[]);
/* *nrows receives the number of rows with a quadratic matrix; rowind (may be NULL) their
 * indices in ascending order. */
KLVO_API int KLVOgetqrows(KLVOprob prob, int *nrows, int rowind[]);

/* MIP entities and sets. *nentities and *nsets (may be NULL) receive the counts; coltype,
 * colind and limit (each may be NULL) the type, index and limit of every column whose type is
 * not 'C', in column order (limit is 0 for 'I' and 'B'); settype, start (nsets + 1 offsets),
 * setcols and refval (each may be NULL) the sets. */
KLVO_API int KLVOgetmipentities64(KLVOprob prob, int *nentities, int *nsets, char coltype[], int colind[],
                                  double limit[], char settype[], int64_t start[], int setcols[], double refval[]);

/* ---- Names.
 * KLVOaddnames: names of elements first..last of a type, given one after another, each
 * terminated by a NUL. An empty name removes the element's name. Several elements may carry the
 * same name. */
KLVO_API int KLVOaddnames(KLVOprob prob, int type, const char names[], int first, int last);
/* Writes the names of first..last one after another, each NUL-terminated. The buffer must
 * hold them: (8 * namelength + 1) bytes per name always suffice, namelength being the value
 * reported by the name-length attribute. */
KLVO_API int KLVOgetnames(KLVOprob prob, int type, char names[], int first, int last);
/* As KLVOgetnames with a buffer size: *names_len_reqd (may be NULL) receives the bytes
 * needed. names may be NULL to ask for the size only; a buffer that is too small is an
 * error and is left untouched. */
KLVO_API int KLVOgetnamelist(KLVOprob prob, int type, char names[], int names_len, int *names_len_reqd,
                             int first, int last);
/* *name points at the stored name, or is NULL when the element has none. The pointer stays
 * valid until the names of that type change. */
KLVO_API int KLVOgetnamepointer(KLVOprob prob, int type, int index, const char **name);
/* *index receives the lowest-numbered element with that name, or -1 when no element has it. */
KLVO_API int KLVOgetindex(KLVOprob prob, int type, const char *name, int *index);
KLVO_API int KLVOsetprobname(KLVOprob prob, const char *probname);
/* The buffer must hold the name and its NUL (see the problem-name-length attribute). */
KLVO_API int KLVOgetprobname(KLVOprob prob, char *probname);

/* ---- Copying. Replaces dest's model and names with a copy of src's. probname NULL or ""
 * keeps src's name. Controls are not copied (see KLVOcopycontrols). */
KLVO_API int KLVOcopyprob(KLVOprob dest, KLVOprob src, const char *probname);

/* ---- Problem files.
 * KLVOreadprob: reads an MPS file (free or fixed format) or an LP file. The format follows
 * the name's extension (".lp" is LP, anything else MPS); flags "l" forces LP, "m" MPS.
 * A name that does not exist is also tried with ".mps" and ".lp" appended. On failure the
 * previous model is kept.
 * KLVOwriteprob: writes free MPS, or LP when the flags contain 'l' or the name ends in ".lp";
 * the flag 'x' writes fixed-format MPS (names must then be at most 8 characters). A file
 * name without an extension gets ".mps" or ".lp" appended.
 * Both formats keep names, bounds, column types and limits, ranges, the objective constant
 * and sense, both quadratic parts, sets, set names, indicators and general and
 * piecewise-linear constraints (klvo/gencons.h); MPS also keeps partial-integer columns, which
 * the LP writer refuses. Names a format cannot hold (white space; in LP files
 * operator characters, keywords, column names that start like a number) are refused with a
 * message naming them. An element whose name a lower-numbered element of its kind already
 * carries is written with the suffix "_2", "_3", ... that clashes with no other name, so that
 * the file reads back to the same model; a warning message says so. A semi-continuous column
 * is written with max(lb, limit) as its lower bound and read back with that value as its
 * limit and min(that value, 0) as its lower bound.
 * A free row in an LP file is "expr >= -inf" and reads back with right-hand side 0; an LP row
 * without a label is named as the writer would name it ("R7", with "_" appended while that is
 * a label of the file). A file is refused, naming the line, when it holds a NUL byte, repeats
 * a set name (or, in LP, a row label), uses a keyword as an LP label, or gives an objective
 * constant of magnitude 1e20 or more. */
KLVO_API int KLVOreadprob(KLVOprob prob, const char *filename, const char *flags);
KLVO_API int KLVOwriteprob(KLVOprob prob, const char *filename, const char *flags);

KLVO_EXTERN_C_END

#endif /* KLVO_MODEL_H */
