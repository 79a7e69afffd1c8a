/* Model store: loading, adding, deleting, changing and reading back columns, rows, the
 * matrix, quadratic parts, sets, indicators and names; problem files. */
#ifndef KLVO_MODEL_H
#define KLVO_MODEL_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

KLVO_EXTERN_C_END

#endif /* KLVO_MODEL_H */
