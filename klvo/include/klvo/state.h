/* Saved state, logging and message codes, branching directives, delayed rows, model cuts,
 * secure vectors and user scaling. */
#ifndef KLVO_STATE_H
#define KLVO_STATE_H

#include <stddef.h>

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* ---- Message codes. Every message the library sends carries one of these codes; a code can
 * be switched off per problem, and a message whose code is off reaches neither the message
 * callbacks, nor the global handlers, nor the log file. */
#define KLVO_MSGCODE_GENERAL 1  /* any library message without a more specific code */
#define KLVO_MSGCODE_SOLVER 2   /* a line of an engine's log during a solve */
#define KLVO_MSGCODE_FILE 3     /* warnings and notes about problem files read or written */
#define KLVO_MSGCODE_CONTROLS 4 /* the lines of KLVOdumpcontrols */
#define KLVO_MSGCODE_UNUSED 5   /* a solve's notice that directives, delayed rows, model cuts or
                                   secure vectors are kept but not used by its engine */

/* *status receives 1 when messages with code msgcode are sent, 0 when they are suppressed.
 * Every code (any value >= 1, listed above or not) starts as sent. */
KLVO_API int KLVOgetmessagestatus(KLVOprob prob, int msgcode, int *status);
/* status 0 suppresses the code, 1 sends it again; msgcode must be >= 1. */
KLVO_API int KLVOsetmessagestatus(KLVOprob prob, int msgcode, int status);

/* Every message the problem's callbacks receive (message types 1 to 4) is also appended, one
 * line each, to the named file, which is created when missing and never truncated; each line
 * is flushed as it is written. A new name closes the previous file; NULL or "" stops the log.
 * The file stays open until then or until the problem is destroyed. */
KLVO_API int KLVOsetlogfile(KLVOprob prob, const char *filename);

/* Sends one line "name = value" for every control whose value differs from its default (the
 * built-in one or klvo.ini's), in catalogue order, as KLVO_MSG_INFO messages with the code
 * KLVO_MSGCODE_CONTROLS; the nonlinear layer's controls follow when the problem has one. The
 * lines can be pasted into a klvo.ini file. Nothing is sent when every control is at its
 * default. */
KLVO_API int KLVOdumpcontrols(KLVOprob prob);

/* ---- Snapshots. A snapshot file holds the whole problem: the model (matrix, bounds, types,
 * quadratic parts, sets, indicators, names, objectives, formulas, directives, row and column
 * marks, user scaling), the controls (with the per-objective ones), the last solution and its
 * statuses, and the nonlinear layer's part (initial values, column settings, row statuses,
 * controls and last results) when the problem has a layer. Message callbacks, message codes,
 * the log file and the user functions' code are not part of it. Doubles are stored bit for
 * bit, so a restored problem is exactly the saved one and its solution can be read without
 * solving again. The file is binary, for machines of the same byte order, and is written to a
 * temporary file renamed over the target once complete, so a failed save leaves any earlier
 * file as it was.
 *
 * KLVOsave writes "<problem name>.svf" in the current directory ("noname.svf" when the
 * problem has no name). Saving is refused while the problem is being solved, whose solution
 * it would catch half written. KLVOsaveas writes the named file; a name without an extension gets
 * ".svf". */
KLVO_API int KLVOsave(KLVOprob prob);
KLVO_API int KLVOsaveas(KLVOprob prob, const char *filename);
/* Replaces the problem, in the same handle, by the snapshot "<probname>.svf", or by the file
 * probname itself when that does not exist (probname NULL or "": the problem's own name).
 * flags (NULL or letters): 'f' accepts a snapshot written by another version of the library.
 * A snapshot of a problem with a nonlinear layer needs a problem with one. Any failure (no
 * such file, a damaged file, a formula calling a user function the layer does not have)
 * leaves the problem as it was. */
KLVO_API int KLVOrestore(KLVOprob prob, const char *probname, const char *flags);
/* Snapshots in memory, for sending a problem to another process or machine: the same bytes
 * as a snapshot file, with the same checks on the way back. KLVOsavetomemory builds the
 * snapshot and hands it, complete, to write(ctx, data, size) in one call; data lives only
 * during that call, and a nonzero return from write fails the save. KLVOrestorefrommemory
 * replaces the problem by the snapshot held in data[0 .. size) as KLVOrestore does (same flags,
 * a failure leaves the problem as it was). Both carry the nonlinear layer's part as the files
 * do. */
typedef int (*KLVOsnapshotwriter)(void *ctx, const char *data, size_t size);
KLVO_API int KLVOsavetomemory(KLVOprob prob, KLVOsnapshotwriter write, void *ctx);
KLVO_API int KLVOrestorefrommemory(KLVOprob prob, const char *data, size_t size, const char *flags);
KLVO_API int KSLPsave(KSLPprob slp);
KLVO_API int KSLPsaveas(KSLPprob slp, const char *filename);
KLVO_API int KSLPrestore(KSLPprob slp, const char *probname, const char *flags);

/* ---- Branching directives, one per column at most: a priority (0 to 1000, lower numbers are
 * branched on first; 500 when not given), a preferred direction ('U' up branch first, 'D' down
 * branch first, 'N' no preference) and up and down pseudo-costs (>= 0; 0 when not given).
 * Directives follow deleted columns (those of a deleted column go), are copied by
 * KLVOcopyprob and saved in snapshots. They take effect in the library's own branch-and-bound
 * search; the engines used today keep them without using them, and a solve says so once in
 * the log (code KLVO_MSGCODE_UNUSED).
 *
 * KLVOloaddirs replaces all directives by ndirs new ones for columns colind[k] (distinct);
 * priority, dir, uppseudo and downpseudo may each be NULL for their defaults. */
KLVO_API int KLVOloaddirs(KLVOprob prob, int ndirs, const int colind[], const int priority[], const char dir[],
                          const double uppseudo[], const double downpseudo[]);
/* Directives for the problem as it is solved. The problem an engine solves has the user's
 * columns (attribute cols equals originalcols), so these are the same as KLVOloaddirs. */
KLVO_API int KLVOloadpresolvedirs(KLVOprob prob, int ndirs, const int colind[], const int priority[],
                                  const char dir[], const double uppseudo[], const double downpseudo[]);
/* Replaces all directives by directions alone: dir[k] > 0 up first, < 0 down first, 0 no
 * preference (dir NULL: no preference), with the default priority and no pseudo-costs. */
KLVO_API int KLVOloadbranchdirs(KLVOprob prob, int ncols, const int colind[], const int dir[]);
/* *ndirs receives the number of directives; the arrays (each may be NULL) receive them in
 * column order and must hold *ndirs entries. */
KLVO_API int KLVOgetdirs(KLVOprob prob, int *ndirs, int colind[], int priority[], char dir[], double uppseudo[],
                         double downpseudo[]);
/* Directive files are text, one directive per line:
 *     <column name> <priority> <U|D|N> <up pseudo-cost> <down pseudo-cost>
 * with blank lines and lines starting with '*' or '#' ignored. Column names are those the MPS
 * writer uses (unnamed columns "C1", "C2", ...). KLVOwritedirs writes them in column order; a
 * name without an extension gets ".dir". KLVOreaddirs replaces all directives by the file's
 * (tried with ".dir" appended when the name does not exist); an unknown column, a bad field
 * or a repeated column fails naming the line and leaves the directives as they were. */
KLVO_API int KLVOreaddirs(KLVOprob prob, const char *filename);
KLVO_API int KLVOwritedirs(KLVOprob prob, const char *filename);

/* ---- Row and column marks. Delayed rows (enforced only when a solution violates them) and
 * model cuts (rows that may be left out of the relaxation) are kept with the model: they
 * follow deleted rows, are copied with the problem, saved in snapshots and written to MPS
 * files in sections of their own (DELAYEDROWS and MODELCUTS, one row name per line), which
 * KLVOreadprob reads back. A row is at most one of the two. Like directives they take effect
 * in the library's own branch-and-bound search only.
 * Each load replaces the rows marked so (distinct rows; nrows 0 clears the marks). */
KLVO_API int KLVOloaddelayedrows(KLVOprob prob, int nrows, const int rowind[]);
KLVO_API int KLVOloadmodelcuts(KLVOprob prob, int nrows, const int rowind[]);
/* *nrows receives the number of marked rows, rowind (may be NULL) the rows in increasing
 * order. */
KLVO_API int KLVOgetdelayedrows(KLVOprob prob, int *nrows, int rowind[]);
KLVO_API int KLVOgetmodelcuts(KLVOprob prob, int *nrows, int rowind[]);
/* Secure vectors: rows and columns a presolve must not remove. Kept as the marks above (MPS
 * section SECUREVECS, lines "R <row name>" or "C <column name>"); they matter once the library
 * presolves itself, as the engines' own presolves report every row and column. The load
 * replaces both lists. */
KLVO_API int KLVOloadsecurevecs(KLVOprob prob, int nrows, int ncols, const int rowind[], const int colind[]);
KLVO_API int KLVOgetsecurevecs(KLVOprob prob, int *nrows, int rowind[], int *ncols, int colind[]);
/* The marks of rows first..last as one flag word per row: KLVO_ROWFLAG_DELAYED,
 * KLVO_ROWFLAG_MODELCUT and KLVO_ROWFLAG_SECURE. KLVOclearrowflags takes one mask per row and
 * removes the marks whose bits are set in it (other bits are refused). The _witharraysizes
 * forms check that the array has exactly last - first + 1 entries. A bad range or array fails
 * with KLVO_ERR_INVALID_ARGUMENT and changes nothing. */
#define KLVO_ROWFLAG_DELAYED 1
#define KLVO_ROWFLAG_MODELCUT 2
#define KLVO_ROWFLAG_SECURE 4
KLVO_API int KLVOgetrowflags(KLVOprob prob, int flags[], int first, int last);
KLVO_API int KLVOclearrowflags(KLVOprob prob, const int flags[], int first, int last);
KLVO_API int KLVOgetrowflags_witharraysizes(KLVOprob prob, int flags[], int flags_size, int first, int last);
KLVO_API int KLVOclearrowflags_witharraysizes(KLVOprob prob, const int flags[], int flags_size, int first, int last);

/* ---- User scaling. Row i of the model is multiplied by rowscale[i] and column j is replaced
 * by colscale[j] times a scaled column before the model reaches the LP/MIP/QP engine, so the
 * engine solves  min (C c)'y  s.t.  R A C y within R times the row bounds, y within the column
 * bounds divided by C  (R, C the diagonal factors; the quadratic objective becomes C Q C).
 * Solutions, slacks, duals and reduced costs are reported for the user's model as always.
 * Factors must be finite and positive. Only continuous columns are scaled (the factor of an
 * integer, binary, semi-continuous, semi-integer or partial-integer column is not applied),
 * and the nonlinear engine ignores the factors. rowscale or colscale NULL resets that kind to
 * 1. Factors follow deleted rows and columns; added ones get 1. */
KLVO_API int KLVOscale(KLVOprob prob, const double rowscale[], const double colscale[]);
/* The factors (each array may be NULL; 1 where none was given). */
KLVO_API int KLVOgetscale(KLVOprob prob, double rowscale[], double colscale[]);
/* The factors' binary exponents: floor(log2(factor)), so 0 where no factor was given and e for
 * a factor of 2^e. Each array (rows and cols entries, or NULL with length 0) is followed by its
 * length; a wrong length fails with KLVO_ERR_INVALID_ARGUMENT. */
KLVO_API int KLVOgetscale_witharraysizes(KLVOprob prob, int rowscale[], int rowscale_size, int colscale[],
                                         int colscale_size);

KLVO_EXTERN_C_END

#endif /* KLVO_STATE_H */
