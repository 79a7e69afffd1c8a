/* Solver events: the callbacks a problem calls during a solve.
 *
 * Every event keeps any number of registrations, each a (function, data, priority) triple.
 * When the event happens the library calls each registration once, higher priorities first
 * and equal priorities in the order they were registered, on whichever thread the solve
 * reaches the event (the search may use several). A callback receives the problem being
 * solved (inside a parallel search, possibly a problem private to the calling thread), the
 * data it was registered with, then the event's own arguments and out-parameters.
 *
 * Registering and removing may happen at any time, during a solve and from inside a callback
 * too. A registration removed is not called again once the removal returns; a call already
 * under way on another thread finishes with the data it was given, so data shared across
 * threads must outlive such a call.
 *
 * Removal: fn NULL matches every function, data NULL every data; every match is removed.
 * Removing with fn NULL succeeds even when nothing matches; otherwise a removal that matches
 * nothing fails with KLVO_ERR_CALLBACK.
 *
 * Inside a callback the problem answers its attributes (nodes, best bound, objective of the
 * incumbent, current node, ...) for the moment of the event, gives the event's solution
 * through KLVOgetcallbacksolution and friends, and accepts KLVOinterrupt, which stops the solve
 * with the interrupted status. Calls that change or re-solve the problem are refused.
 */
#ifndef KLVO_CALLBACKS_H
#define KLVO_CALLBACKS_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Opaque handle of a branching object (a set of branches the search may use at a node). */
typedef struct klvo_branchobject_s *KLVObranchobject;

/* Event kinds, as numbered in the library's documentation. */
#define KLVO_CB_BARITERATION 0
#define KLVO_CB_BARLOG 1
#define KLVO_CB_CHGBRANCHOBJECT 2
#define KLVO_CB_CUTLOG 3
#define KLVO_CB_CUTROUND 4
#define KLVO_CB_DESTROYMT 5
#define KLVO_CB_GAPNOTIFY 6
#define KLVO_CB_MIPLOG 7
#define KLVO_CB_INFNODE 8
#define KLVO_CB_INTSOL 9
#define KLVO_CB_LPLOG 10
#define KLVO_CB_MESSAGE 11
#define KLVO_CB_MIPTHREAD 12
#define KLVO_CB_NEWNODE 13
#define KLVO_CB_NODECUTOFF 14
#define KLVO_CB_NODELPSOLVED 15
#define KLVO_CB_OPTNODE 16
#define KLVO_CB_PREINTSOL 17
#define KLVO_CB_PRENODE 18
#define KLVO_CB_USERSOLNOTIFY 19
#define KLVO_CB_CHECKTIME 20
#define KLVO_CB_BEFOREOBJECTIVE 21
#define KLVO_CB_AFTEROBJECTIVE 22
#define KLVO_CB_PRESOLVE 23
#define KLVO_CB_KINDS 24

/* Barrier iteration: *action is 0 on entry; set it to 1 to stop the barrier, 2 to stop it and
 * go to crossover with the current iterate. */
typedef void (*KLVObariterationcb)(KLVOprob prob, void *data, int *action);
/* Barrier log line issued. Non-zero return stops the solve. */
typedef int (*KLVObarlogcb)(KLVOprob prob, void *data);
/* The search is about to branch on branch; *newbranch (NULL on entry) may receive a
 * branching object to use instead, which the library then owns. branch is NULL when the
 * search has no candidate of its own. */
typedef void (*KLVOchgbranchobjectcb)(KLVOprob prob, void *data, KLVObranchobject branch,
                                      KLVObranchobject *newbranch);
/* Cut log line issued. Non-zero return stops the solve. */
typedef int (*KLVOcutlogcb)(KLVOprob prob, void *data);
/* A cut round ended; ownrounds is 1 while the library's own cuts are being generated.
 * *action is 0 on entry; set it to 1 to ask for another round. */
typedef void (*KLVOcutroundcb)(KLVOprob prob, void *data, int ownrounds, int *action);
/* A worker thread of the search ends; prob is that thread's problem. */
typedef void (*KLVOdestroymtcb)(KLVOprob prob, void *data);
/* A gap target was reached (see the gap notification controls in params.h). The targets
 * hold their current values on entry; write new ones to be notified again. A target still
 * reached when the callbacks return is dropped. */
typedef void (*KLVOgapnotifycb)(KLVOprob prob, void *data, double *relgaptarget,
                                double *absgaptarget, double *absgapobjtarget,
                                double *absgapboundtarget);
/* MIP log line issued. Non-zero return stops the solve. */
typedef int (*KLVOmiplogcb)(KLVOprob prob, void *data);
/* The current node was found infeasible. */
typedef void (*KLVOinfnodecb)(KLVOprob prob, void *data);
/* A new incumbent was accepted; KLVOgetcallbacksolution reads it. */
typedef void (*KLVOintsolcb)(KLVOprob prob, void *data);
/* Simplex log line issued. Non-zero return stops the solve. */
typedef int (*KLVOlplogcb)(KLVOprob prob, void *data);
/* A message of type msgtype (KLVO_MSG_*); msg is NULL and len 0 for a flush request. */
typedef void (*KLVOmessagecb)(KLVOprob prob, void *data, const char *msg, int len,
                              int msgtype);
/* A worker thread of the search starts with threadprob as its problem. */
typedef void (*KLVOmipthreadcb)(KLVOprob prob, void *data, KLVOprob threadprob);
/* Node node was created as child number branch of parentnode. */
typedef void (*KLVOnewnodecb)(KLVOprob prob, void *data, int parentnode, int node, int branch);
/* Node node was cut off (its bound cannot beat the incumbent). */
typedef void (*KLVOnodecutoffcb)(KLVOprob prob, void *data, int node);
/* The relaxation of the current node was solved. */
typedef void (*KLVOnodelpsolvedcb)(KLVOprob prob, void *data);
/* The relaxation of the current node is optimal after cuts; *infeasible is 0 on entry, set it
 * non-zero to drop the node. */
typedef void (*KLVOoptnodecb)(KLVOprob prob, void *data, int *infeasible);
/* A candidate integer solution, found by a heuristic (soltype 0), at a node (1) or given by
 * the user (2). *reject is 0 on entry, set it non-zero to reject the candidate; *cutoff holds
 * the current cutoff and may be tightened. */
typedef void (*KLVOpreintsolcb)(KLVOprob prob, void *data, int soltype, int *reject,
                                double *cutoff);
/* A node is about to be solved; *infeasible is 0 on entry, set it non-zero to drop it. */
typedef void (*KLVOprenodecb)(KLVOprob prob, void *data, int *infeasible);
/* What became of a solution given by KLVOaddmipsol: status is one of KLVO_USERSOL_*. */
typedef void (*KLVOusersolnotifycb)(KLVOprob prob, void *data, const char *solname, int status);
/* Called regularly during a solve. Non-zero return stops the solve. */
typedef int (*KLVOchecktimecb)(KLVOprob prob, void *data);
/* An objective stage of the solve starts. */
typedef void (*KLVObeforeobjectivecb)(KLVOprob prob, void *data);
/* An objective stage of the solve ended. */
typedef void (*KLVOafterobjectivecb)(KLVOprob prob, void *data);
/* Presolve finished. */
typedef void (*KLVOpresolvecb)(KLVOprob prob, void *data);

/* Status values passed to usersolnotify callbacks. */
#define KLVO_USERSOL_ACCEPTED 0       /* accepted as an incumbent */
#define KLVO_USERSOL_INFEASIBLE 1     /* infeasible, not used */
#define KLVO_USERSOL_NOT_BETTER 2     /* feasible but no better than the incumbent */
#define KLVO_USERSOL_REJECTED 3       /* rejected by a preintsol callback */
#define KLVO_USERSOL_NOT_USED 4       /* not looked at: the solve ended first */

#define KLVO_CB_DECLARE(name, type)                                                          \
  KLVO_API int KLVOaddcb##name(KLVOprob prob, type f, void *data, int priority);             \
  KLVO_API int KLVOremovecb##name(KLVOprob prob, type f, void *data);

KLVO_CB_DECLARE(bariteration, KLVObariterationcb)
KLVO_CB_DECLARE(barlog, KLVObarlogcb)
KLVO_CB_DECLARE(chgbranchobject, KLVOchgbranchobjectcb)
KLVO_CB_DECLARE(cutlog, KLVOcutlogcb)
KLVO_CB_DECLARE(cutround, KLVOcutroundcb)
KLVO_CB_DECLARE(destroymt, KLVOdestroymtcb)
KLVO_CB_DECLARE(gapnotify, KLVOgapnotifycb)
KLVO_CB_DECLARE(miplog, KLVOmiplogcb)
KLVO_CB_DECLARE(infnode, KLVOinfnodecb)
KLVO_CB_DECLARE(intsol, KLVOintsolcb)
KLVO_CB_DECLARE(lplog, KLVOlplogcb)
KLVO_CB_DECLARE(message, KLVOmessagecb)
KLVO_CB_DECLARE(mipthread, KLVOmipthreadcb)
KLVO_CB_DECLARE(newnode, KLVOnewnodecb)
KLVO_CB_DECLARE(nodecutoff, KLVOnodecutoffcb)
KLVO_CB_DECLARE(nodelpsolved, KLVOnodelpsolvedcb)
KLVO_CB_DECLARE(optnode, KLVOoptnodecb)
KLVO_CB_DECLARE(preintsol, KLVOpreintsolcb)
KLVO_CB_DECLARE(prenode, KLVOprenodecb)
KLVO_CB_DECLARE(usersolnotify, KLVOusersolnotifycb)
KLVO_CB_DECLARE(checktime, KLVOchecktimecb)
KLVO_CB_DECLARE(beforeobjective, KLVObeforeobjectivecb)
KLVO_CB_DECLARE(afterobjective, KLVOafterobjectivecb)
KLVO_CB_DECLARE(presolve, KLVOpresolvecb)

#undef KLVO_CB_DECLARE

KLVO_EXTERN_C_END

#endif /* KLVO_CALLBACKS_H */
