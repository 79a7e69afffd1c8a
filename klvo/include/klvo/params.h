/* Controls and attributes: the catalogue and the typed getters and setters. */
#ifndef KLVO_PARAMS_H
#define KLVO_PARAMS_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

KLVO_EXTERN_C_END

#endif /* KLVO_PARAMS_H */
