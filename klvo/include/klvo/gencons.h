/* General and piecewise-linear constraints, and set names.
 *
 * A general constraint states resultant = f(operands): the resultant is a column, the
 * operands are columns and, for max and min, constants. The types:
 *   KLVO_GENCONS_MAX  resultant = max(columns, values); at least one operand
 *   KLVO_GENCONS_MIN  resultant = min(columns, values); at least one operand
 *   KLVO_GENCONS_AND  resultant = 1 when every column is 1, else 0; the columns (and the
 *                     resultant) are read as 0/1 values; at least one column, no values
 *   KLVO_GENCONS_OR   resultant = 1 when some column is 1, else 0; as for and
 *   KLVO_GENCONS_ABS  resultant = |column|; exactly one column, no values
 * A piecewise-linear constraint states resultant = f(column), f being the piecewise-linear
 * function through the breakpoints (xval[p], yval[p]) given in non-decreasing order of xval,
 * extended beyond the first and the last breakpoint along the first and the last segment.
 * Two breakpoints with the same abscissa make a jump; at least two breakpoints are needed.
 *
 * The integer attribute KLVO_ATTR_GENCONS counts both kinds together; a range beyond the
 * constraints of one kind is refused by its getter.
 *
 * Both kinds refer to columns only. Deleting a column drops every general or
 * piecewise-linear constraint that uses it (as resultant or operand): the constraint would
 * otherwise state something other than what was given. Deleting rows leaves them alone. They
 * are copied with the problem and kept by MPS and LP files.
 *
 * KLVOoptimize and KLVOmipoptimize solve a model holding them as a mixed-integer linear
 * problem: each constraint becomes linear rows over extra binary columns, exact on the
 * columns' bounds. Max and min need finite bounds on their operand columns, abs and pwl on
 * their argument column; and / or need binary operands (their resultant is 0 or 1). At a
 * jump of a piecewise-linear function both ordinates are allowed at its abscissa. A model
 * whose constraints miss a bound, or that also holds what the MIP engine cannot take (sets,
 * indicators, a quadratic part, ...), is refused with KLVO_ERR_NOT_SUPPORTED and a text
 * naming the constraint and column; so is the continuous relaxation (KLVOlpoptimize).
 * The solution holds values for the model's own columns and rows only.
 */
#ifndef KLVO_GENCONS_H
#define KLVO_GENCONS_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

#define KLVO_GENCONS_MAX 0
#define KLVO_GENCONS_MIN 1
#define KLVO_GENCONS_AND 2
#define KLVO_GENCONS_OR 3
#define KLVO_GENCONS_ABS 4

/* Adds ncons general constraints: constraint k has type contype[k], the column resultant[k],
 * the operand columns colind[colstart[k] .. colstart[k+1]-1] and the constant operands
 * val[valstart[k] .. valstart[k+1]-1] (the last ones end at ncols and nvals). colstart,
 * colind may be NULL when ncols is 0; valstart and val when nvals is 0. Bad input changes
 * nothing. */
KLVO_API int KLVOaddgencons64(KLVOprob prob, int ncons, int64_t ncols, int64_t nvals, const int contype[],
                              const int resultant[], const int64_t colstart[], const int colind[],
                              const int64_t valstart[], const double val[]);
KLVO_API int KLVOaddgencons(KLVOprob prob, int ncons, int ncols, int nvals, const int contype[],
                            const int resultant[], const int colstart[], const int colind[], const int valstart[],
                            const double val[]);
/* General constraints first..last. *ncols and *nvals (may be NULL) receive the numbers of
 * column and constant operands of the range, so a call with NULL arrays asks for the sizes.
 * contype and resultant (may be NULL) receive last - first + 1 entries; colstart (valstart)
 * last - first + 2 offsets clipped to maxcols (maxvals); colind and val at most maxcols and
 * maxvals entries. */
KLVO_API int KLVOgetgencons64(KLVOprob prob, int contype[], int resultant[], int64_t colstart[], int colind[],
                              int64_t maxcols, int64_t *ncols, int64_t valstart[], double val[], int64_t maxvals,
                              int64_t *nvals, int first, int last);
/* Deletes the listed general constraints (distinct indices); later ones move down. */
KLVO_API int KLVOdelgencons(KLVOprob prob, int ncons, const int conind[]);

/* Adds npwls piecewise-linear constraints: resultant[k] = f(col[k]) through the breakpoints
 * start[k] .. start[k+1]-1 of xval and yval (the last one ends at npoints). */
KLVO_API int KLVOaddpwlcons64(KLVOprob prob, int npwls, int64_t npoints, const int col[], const int resultant[],
                              const int64_t start[], const double xval[], const double yval[]);
KLVO_API int KLVOaddpwlcons(KLVOprob prob, int npwls, int npoints, const int col[], const int resultant[],
                            const int start[], const double xval[], const double yval[]);
/* Piecewise-linear constraints first..last, in the layout of KLVOaddpwlcons64: *npoints (may
 * be NULL) receives the number of breakpoints of the range; col and resultant (may be NULL)
 * last - first + 1 entries; start last - first + 2 offsets clipped to maxpoints; xval and
 * yval at most maxpoints entries. */
KLVO_API int KLVOgetpwlcons64(KLVOprob prob, int col[], int resultant[], int64_t start[], double xval[],
                              double yval[], int64_t maxpoints, int64_t *npoints, int first, int last);
/* Deletes the listed piecewise-linear constraints (distinct indices); later ones move down. */
KLVO_API int KLVOdelpwlcons(KLVOprob prob, int npwls, const int pwlind[]);

/* Names of sets first..last (KLVOaddnames with name type KLVO_NAMES_SETS). */
KLVO_API int KLVOaddsetnames(KLVOprob prob, const char names[], int first, int last);

KLVO_EXTERN_C_END

#endif /* KLVO_GENCONS_H */
