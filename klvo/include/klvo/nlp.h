/* The nonlinear layer (prefix KSLP): formulas and nonlinear solving. */
#ifndef KLVO_NLP_H
#define KLVO_NLP_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Initialise / release the nonlinear layer (counted like KLVOinit). KSLPinit returns
 * KLVO_ERR_NOT_AVAILABLE when the library was built without its nonlinear engine. */
KLVO_API int KSLPinit(void);
KLVO_API int KSLPfree(void);

/* A nonlinear-layer handle is attached to an existing problem and destroyed before it. */
KLVO_API int KSLPcreateprob(KSLPprob *slp, KLVOprob *prob);
KLVO_API int KSLPdestroyprob(KSLPprob slp);
/* Last error of the layer: its code and text (512 characters). */
KLVO_API int KSLPgetlasterror(KSLPprob slp, int *code, char *errmsg);
KLVO_API int KSLPinterrupt(KSLPprob slp, int reason);

/* One message function per layer handle; f NULL removes it. */
typedef void (*KSLPmessagecb)(KSLPprob slp, void *data, const char *msg, int len, int msgtype);
KLVO_API int KSLPsetcbmessage(KSLPprob slp, KSLPmessagecb f, void *data);

KLVO_EXTERN_C_END

#endif /* KLVO_NLP_H */
