// Further linear objectives of a multi-objective problem (objective 0 is the store's obj).
// Adding or deleting one also adds or drops its controls in the problem's controls.
#pragma once

#include "model/store.h"

namespace klvo {

class ParamStore;

void chg_objn(ModelStore &m, int objidx, int n, const int *colind, const double *objcoef, const char *fn);
void add_objective(ModelStore &m, ParamStore &params, int n, const int *colind, const double *objcoef, int priority,
                   double weight, const char *fn);
void del_objective(ModelStore &m, ParamStore &params, int objidx, const char *fn);
void get_objn(const ModelStore &m, int objidx, double *objcoef, int first, int last, const char *fn);

}  // namespace klvo
