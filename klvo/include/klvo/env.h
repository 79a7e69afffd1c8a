/* Environment, problem handles, last errors and message callbacks. */
#ifndef KLVO_ENV_H
#define KLVO_ENV_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Initialise the library. Calls are counted: every successful KLVOinit needs one KLVOfree.
 * path: a directory holding a "klvo.ini" file of "name = value" control defaults, or NULL. */
KLVO_API int KLVOinit(const char *path);
/* Release one initialisation; the last one releases the environment. */
KLVO_API int KLVOfree(void);

/* Version as "major.minor.patch"; the buffer must hold at least 16 characters. */
KLVO_API int KLVOgetversion(char *version);
KLVO_API int KLVOgetversionnumbers(int *major, int *minor, int *build);
/* Banner: one line naming the library, its version and its engines; buffer of 512 characters. */
KLVO_API int KLVOgetbanner(char *banner);

/* Checked mode: when on (the default) every argument of every call is validated. */
KLVO_API int KLVOgetcheckedmode(int *checked);
KLVO_API int KLVOsetcheckedmode(int checked);

/* status is set to 1 when the named feature ("lp", "mip", "qp", "nlp", ...) is available. */
KLVO_API int KLVOfeaturequery(const char *feature, int *status);

/* Global environment. */
KLVO_API int KLVO_ge_getlasterror(int *code, char *msg, int maxbytes, int *nbytes);
KLVO_API int KLVO_ge_setarchconsistency(int consistent);
KLVO_API int KLVO_ge_getarchconsistency(int *consistent);
/* Compute (remote solving) permission: -1 default, 0 not allowed, 1 allowed. */
KLVO_API int KLVO_ge_getcomputeallowed(int *allowed);
KLVO_API int KLVO_ge_setcomputeallowed(int allowed);
KLVO_API int KLVO_ge_getdebugmode(int *mode);
KLVO_API int KLVO_ge_setdebugmode(int mode);

/* Global message handlers receive every message the library issues, for any problem.
 * obj is the issuing object (a KLVOprob, or NULL for the environment), thread an opaque
 * handle of the issuing thread. A non-zero return is ignored. */
typedef int (*KLVOgemsghandler)(void *obj, void *data, void *thread, const char *msg,
                                int len, int msgtype);
KLVO_API int KLVO_ge_addcbmsghandler(KLVOgemsghandler handler, void *data, int priority);
/* Removes the handler registered with this data; data NULL removes every registration of
 * the handler, handler NULL every handler. Removing what was never added is an error. */
KLVO_API int KLVO_ge_removecbmsghandler(KLVOgemsghandler handler, void *data);

/* Name of the kind of library object: "KLVOprob", "KSLPprob", "KLVObranchobject". */
KLVO_API int KLVOgetobjecttypename(void *obj, const char **name);

/* Problem handles. */
KLVO_API int KLVOcreateprob(KLVOprob *prob);
KLVO_API int KLVOdestroyprob(KLVOprob prob);
/* Last error of a problem; errmsg must hold 512 characters. */
KLVO_API int KLVOgetlasterror(KLVOprob prob, char *errmsg);
/* Ask a running solve to stop at the next opportunity (from any thread). reason > 0. */
KLVO_API int KLVOinterrupt(KLVOprob prob, int reason);

/* Per-problem message callbacks: KLVOaddcbmessage in callbacks.h. */

KLVO_EXTERN_C_END

#endif /* KLVO_ENV_H */
