/* Cuts for the library's own branch-and-bound search.
 *
 * A cut is one linear row  sum cutcoef[k] * x[colind[k]]  (rowtype 'L' <=, 'G' >=, 'E' =)  rhs
 * over the problem's columns, with an integer type of the caller's choosing (0 when cuttype
 * is NULL). Cuts never change the model: they go into the relaxations the search solves.
 *
 * Where cuts live:
 * - The current node's relaxation. KLVOaddcuts64 and KLVOloadcuts put cuts there from a
 *   callback of a node (prenode, nodelpsolved, optnode, cutround, preintsol, intsol); the node's
 *   children inherit them; KLVOdelcuts takes them out again for the node and its subtree.
 *   After a callback added cuts the search solves the node again (and calls optnode again), so
 *   a callback that cuts off the relaxation's point sees the new point.
 * - The cut pool, kept with the problem across solves. KLVOstorecuts64 stores cuts there (at
 *   any time), KLVOloadcuts copies pool cuts into the current node, KLVOdelcpcuts removes them.
 * - Managed cuts (KLVOaddmanagedcuts64): the search checks them at every node and adds those
 *   the node's relaxation point violates, round after round. Globally valid ones are pool
 *   cuts (type 0) and hold for every later node and solve; the others hold in the current
 *   node's subtree only and end with the solve. A MILP solved by HiGHS's MIP solver (no node
 *   callback registered, mipsearch 0) does not see the pool: globally valid cuts cannot change
 *   its optimum. mipsearch 2 makes the library's search apply them.
 * Rows marked as model cuts (KLVOloadmodelcuts) start outside the relaxation and join it for
 * good once a node's point violates them; delayed rows join it once a point that satisfies
 * every integrality requirement violates them.
 *
 * Handles. A KLVOcut names one cut. It stays valid while the cut lives: a pool cut until it is
 * removed from the pool, any other cut until the solve that made it ends. A handle is never
 * reused, so a stale or foreign handle fails with KLVO_ERR_INVALID_ARGUMENT.
 *
 * Selecting cuts by type (cuttype, interp): interp -1 takes every cut; 0 the cuts whose type
 * equals cuttype; 1 those whose type has every bit of cuttype; 2 those whose type shares a bit
 * with cuttype.
 *
 * Slacks and violations are measured at the event's solution (the node relaxation's point in
 * optnode and nodelpsolved, the candidate in preintsol): slack = rhs - activity; violation =
 * activity - rhs ('L'), rhs - activity ('G'), |activity - rhs| ('E').
 *
 * The cut functions may be called from callbacks while the problem is being solved; the calls
 * that need a node fail with KLVO_ERR_INVALID_ARGUMENT elsewhere. The search solves node
 * relaxations with cuts when they are linear or have a quadratic objective only; a model with
 * quadratic rows or formulas refuses cuts.
 */
#ifndef KLVO_CUTS_H
#define KLVO_CUTS_H

#include <stdint.h>

#include "types.h"

KLVO_EXTERN_C_BEGIN

typedef struct klvo_cut_s *KLVOcut;

/* Adds ncuts cuts to the current node's relaxation (callback of a node only). start holds
 * ncuts + 1 offsets into colind and cutcoef; cuttype may be NULL. */
KLVO_API int KLVOaddcuts64(KLVOprob prob, int ncuts, const int cuttype[], const char rowtype[], const double rhs[],
                           const int64_t start[], const int colind[], const double cutcoef[]);
/* Stores ncuts cuts in the pool; cutind (may be NULL) receives their handles. nodups 0 stores
 * every cut; 1 does not store a cut equal (type, row type, right-hand side and coefficients)
 * to a pool cut and gives that cut's handle instead; 2 does the same ignoring the type. */
KLVO_API int KLVOstorecuts64(KLVOprob prob, int ncuts, int nodups, const int cuttype[], const char rowtype[],
                             const double rhs[], const int64_t start[], KLVOcut cutind[], const int colind[],
                             const double cutcoef[]);
/* Loads pool cuts into the current node's relaxation (callback of a node only): the ncuts
 * cuts of cutind, or, when cutind is NULL, every pool cut of the selected types. Cuts the node
 * has already are skipped. */
KLVO_API int KLVOloadcuts(KLVOprob prob, int cuttype, int interp, int ncuts, const KLVOcut cutind[]);
/* Takes cuts out of the current node's relaxation (callback of a node only): the ncuts cuts
 * of cutind, or, when cutind is NULL, every cut of the node of the selected types. A chosen
 * cut stays when its slack toward its bound is below delta, and, with basis 1, when it holds
 * with equality at the event's solution. Cuts the node does not have are ignored. */
KLVO_API int KLVOdelcuts(KLVOprob prob, int basis, int cuttype, int interp, double delta, int ncuts,
                         const KLVOcut cutind[]);
/* Removes cuts from the pool: the ncuts cuts of cutind, or, when cutind is NULL, every pool
 * cut of the selected types. Nodes that hold such a cut keep it until the solve ends. */
KLVO_API int KLVOdelcpcuts(KLVOprob prob, int cuttype, int interp, int ncuts, const KLVOcut cutind[]);
/* The cuts of the current node's relaxation of the selected types (callback of a node only),
 * in the node's order: *ncuts receives their number, cutind (may be NULL) the first
 * min(size, *ncuts) handles. */
KLVO_API int KLVOgetcutlist(KLVOprob prob, int cuttype, int interp, int *ncuts, int size, KLVOcut cutind[]);
/* The pool cuts of the selected types violated by at least delta at the event's solution,
 * with their violations (outside callbacks: every pool cut of the types, violation 0). *ncuts
 * receives their number; cutind and viol (each may be NULL) the first min(size, *ncuts). */
KLVO_API int KLVOgetcpcutlist(KLVOprob prob, int cuttype, int interp, double delta, int *ncuts, int size,
                              KLVOcut cutind[], double viol[]);
/* The contents of ncuts cuts (pool cuts, or cuts of the running solve): type, row type,
 * ncuts + 1 offsets into colind/cutcoef, which hold at most size coefficients, and the
 * right-hand side. Every output may be NULL. */
KLVO_API int KLVOgetcpcuts64(KLVOprob prob, const KLVOcut cutind[], int ncuts, int64_t size, int cuttype[],
                             char rowtype[], int64_t start[], int colind[], double cutcoef[], double rhs[]);
/* For each cut, its row in the current node's relaxation: the model's rows come first, then
 * the node's cuts in KLVOgetcutlist order; -1 for a cut the node does not have (callback of a
 * node only). */
KLVO_API int KLVOgetcutmap(KLVOprob prob, int ncuts, const KLVOcut cutind[], int cutmap[]);
/* The slack of a cut at the event's solution (callback with a solution only). */
KLVO_API int KLVOgetcutslack(KLVOprob prob, KLVOcut cut, double *slack);
/* Adds managed cuts (see above). globalvalid 1: valid for every solution of the model, kept in
 * the pool; 0: valid in the current node's subtree only (callback of a node only). start holds
 * ncuts + 1 offsets. */
KLVO_API int KLVOaddmanagedcuts64(KLVOprob prob, int globalvalid, int ncuts, const char rowtype[], const double rhs[],
                                  const int64_t start[], const int colind[], const double cutcoef[]);
/* The same with every array followed by its element count: rowtype and rhs ncuts, start
 * ncuts or ncuts + 1, colind and cutcoef the number of coefficients. */
KLVO_API int KLVOaddmanagedcuts64_witharraysizes(KLVOprob prob, int globalvalid, int ncuts, const char rowtype[],
                                                 int rowtype_size, const double rhs[], int rhs_size,
                                                 const int64_t start[], int start_size, const int colind[],
                                                 int colind_size, const double cutcoef[], int cutcoef_size);

KLVO_EXTERN_C_END

#endif /* KLVO_CUTS_H */
