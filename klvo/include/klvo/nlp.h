/* The nonlinear layer (prefix KSLP): formulas and nonlinear solving. */
#ifndef KLVO_NLP_H
#define KLVO_NLP_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Initialise / release the nonlinear layer (counted like KLVOinit). KSLPinit returns
 * KLVO_ERR_NOT_AVAILABLE when the library was built without its nonlinear engine. */
KLVO_API int KSLPinit(void);
KLVO_API int KSLPfree(void);

KLVO_EXTERN_C_END

#endif /* KLVO_NLP_H */
