/*
 * klvo: a solver library for linear, mixed-integer, quadratic and nonlinear optimization.
 *
 * Plain C interface. Every function returns 0 on success or a non-zero error code; after a
 * failure the problem's last-error text (KLVOgetlasterror), or the global environment's
 * (KLVO_ge_getlasterror) for calls not tied to a problem, says what went wrong.
 *
 * The interface is split by concern into the headers below; include this one.
 */
#ifndef KLVO_H
#define KLVO_H

#include "klvo/types.h"
#include "klvo/env.h"
#include "klvo/callbacks.h"
#include "klvo/cuts.h"
#include "klvo/branching.h"
#include "klvo/model.h"
#include "klvo/params.h"
#include "klvo/solve.h"
#include "klvo/solution.h"
#include "klvo/nlp.h"
#include "klvo/state.h"
#include "klvo/analysis.h"
#include "klvo/gencons.h"

#endif /* KLVO_H */
