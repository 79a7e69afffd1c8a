/* Branching objects and strong branching: how a caller steers the branch-and-bound search.
 *
 * A branching object is a list of branches; each branch is a set of column bound changes,
 * linear rows and cuts of the problem's cut pool. Branching a node on an object makes one child
 * per branch, holding the parent's bounds, rows and cuts plus the branch's. The branches should together cover every integer solution
 * of the node (the library does not check this); a search given branches that cut solutions
 * off may miss the optimum.
 *
 * Objects come from two places:
 *  - the search, which offers its own choice to chgbranchobject callbacks (the callback may
 *    read it but not change or keep it: it is the search's and ends with the callback);
 *  - the caller, through KLVO_bo_create. Such an object is the caller's until it is returned
 *    from a chgbranchobject callback or stored with KLVO_bo_store (the library then owns it
 *    and destroys it), or until KLVO_bo_destroy.
 *
 * Columns are those of the user's problem when the object is created with isoriginal 1. With
 * isoriginal 0 they are the search's own columns: the problem's columns followed by the
 * columns the search adds for general and piecewise-linear constraints.
 *
 * Bound types: 'L' lower bound, 'U' upper bound, 'B' both (the column is fixed). Row types:
 * 'L' (<=), 'G' (>=), 'E' (=). Rows in branches need a search whose node relaxations are
 * linear or quadratic programs; with quadratic rows or formulas only bound branches are used.
 *
 * Every function returns 0 or an error code; the object's own last error (KLVO_bo_getlasterror)
 * tells what went wrong, and a failing call leaves the object as it was.
 */
#ifndef KLVO_BRANCHING_H
#define KLVO_BRANCHING_H

#include "callbacks.h"
#include "cuts.h"

KLVO_EXTERN_C_BEGIN

/* A new object with no branches for prob. Its id (KLVO_bo_getid) is unique in the process. */
KLVO_API int KLVO_bo_create(KLVObranchobject *bo, KLVOprob prob, int isoriginal);
/* Destroys an object the caller owns. NULL is accepted. */
KLVO_API int KLVO_bo_destroy(KLVObranchobject bo);
/* Appends nbranches empty branches. */
KLVO_API int KLVO_bo_addbranches(KLVObranchobject bo, int nbranches);
KLVO_API int KLVO_bo_getbranches(KLVObranchobject bo, int *nbranches);
/* Lower values are preferred when the search chooses among stored objects (default 500, as
 * for column priorities). */
KLVO_API int KLVO_bo_setpriority(KLVObranchobject bo, int priority);
/* The branch the search explores first (default 0). */
KLVO_API int KLVO_bo_setpreferredbranch(KLVObranchobject bo, int ibranch);
KLVO_API int KLVO_bo_addbounds(KLVObranchobject bo, int ibranch, int nbounds, const char *bndtype,
                               const int *colind, const double *bndval);
/* The bounds of a branch: *nbounds receives their count; at most maxbounds are written to the
 * arrays, any of which may be NULL. */
KLVO_API int KLVO_bo_getbounds(KLVObranchobject bo, int ibranch, int *nbounds, int maxbounds, char *bndtype,
                               int *colind, double *bndval);
/* Rows in the usual sparse form: row r has the coefficients start[r] .. start[r+1]-1. */
KLVO_API int KLVO_bo_addrows(KLVObranchobject bo, int ibranch, int nrows, int ncoefs, const char *rowtype,
                             const double *rhs, const int *start, const int *colind, const double *rowcoef);
/* The rows of a branch: *nrows and *ncoefs receive their counts; at most maxrows rows and
 * maxcoefs coefficients are written (start gets min(nrows, maxrows) + 1 entries). */
KLVO_API int KLVO_bo_getrows(KLVObranchobject bo, int ibranch, int *nrows, int maxrows, int *ncoefs, int maxcoefs,
                             char *rowtype, double *rhs, int *start, int *colind, double *rowcoef);
/* Cuts of the problem's cut pool (KLVOstorecuts64) for branch ibranch: its child holds them,
 * and so does the child's subtree, as it holds cuts added at a node (klvo/cuts.h). A cut
 * removed from the pool afterwards stays with the branch. Cuts the branch has already are
 * skipped; a handle that is not in the pool fails and adds nothing. Like rows, cuts need a
 * search whose node relaxations take them. */
KLVO_API int KLVO_bo_addcuts(KLVObranchobject bo, int ibranch, int ncuts, const KLVOcut *cutind);
/* Hands the object to the running search as a candidate for branching the current node; only
 * from a nodelpsolved or optnode callback. The search branches on the stored object of the
 * lowest priority value (the first stored among equals) instead of its own choice, and offers
 * that object to chgbranchobject callbacks; objects stored at a node that is not branched (cut
 * off, infeasible or integer feasible) are dropped. On success the library owns the object
 * and *status is 0; otherwise *status tells why, as KLVO_bo_validate does. */
KLVO_API int KLVO_bo_store(KLVObranchobject bo, int *status);
/* *status 0 when the object can be used: at least one branch, columns within range. Else 1 (no
 * branches) or 2 (a column out of range). */
KLVO_API int KLVO_bo_validate(KLVObranchobject bo, int *status);
KLVO_API int KLVO_bo_getid(KLVObranchobject bo, int *id);
/* The object's last error; errmsg (maxbytes with the terminating zero) and nbytes may be NULL. */
KLVO_API int KLVO_bo_getlasterror(KLVObranchobject bo, int *errcode, char *errmsg, int maxbytes, int *nbytes);

/* Strong branching from a node callback (optnode, nodelpsolved, chgbranchobject): for each k,
 * the current node's relaxation with the single bound change (colind[k], bndtype[k],
 * bndval[k]) is solved with at most itrlimit iterations (0: no limit); objval[k] receives its
 * objective (user's sense) and status[k] its LP status: KLVO_LP_OPTIMAL,
 * KLVO_LP_INFEAS, KLVO_LP_UNFINISHED at the limit (objval is the value reached),
 * KLVO_LP_UNBOUNDED or KLVO_LP_UNSOLVED. After each trial callback (may be NULL) is called with
 * k; a non-zero return stops the remaining trials (their status is KLVO_LP_UNSTARTED). The node's
 * relaxation is restored afterwards. Relaxations with quadratic rows or formulas are solved
 * completely (the limit does not apply). */
typedef int (*KLVOstrongbranchsolvecb)(KLVOprob prob, void *data, int ibranch);
KLVO_API int KLVOstrongbranchcb(KLVOprob prob, int nbounds, const int *colind, const char *bndtype,
                                const double *bndval, int itrlimit, double *objval, int *status,
                                KLVOstrongbranchsolvecb callback, void *data);

KLVO_EXTERN_C_END

#endif /* KLVO_BRANCHING_H */
