/* Solving and solution queries. */
#ifndef KLVO_SOLVE_H
#define KLVO_SOLVE_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

KLVO_EXTERN_C_END

#endif /* KLVO_SOLVE_H */
