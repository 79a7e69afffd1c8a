// What the cut entry points do (see klvo/cuts.h); fn names the entry point in messages.
#pragma once

#include "env/problem.h"

namespace klvo {

void add_cuts(Problem &prob, int ncuts, const int *cuttype, const char *rowtype, const double *rhs,
              const int64_t *start, const int *colind, const double *cutcoef, const char *fn);
void store_cuts(Problem &prob, int ncuts, int nodups, const int *cuttype, const char *rowtype, const double *rhs,
                const int64_t *start, KLVOcut *cutind, const int *colind, const double *cutcoef, const char *fn);
void load_cuts(Problem &prob, int cuttype, int interp, int ncuts, const KLVOcut *cutind, const char *fn);
void del_cuts(Problem &prob, int basis, int cuttype, int interp, double delta, int ncuts, const KLVOcut *cutind,
              const char *fn);
void del_pool_cuts(Problem &prob, int cuttype, int interp, int ncuts, const KLVOcut *cutind, const char *fn);
void get_cut_list(Problem &prob, int cuttype, int interp, int *ncuts, int size, KLVOcut *cutind, const char *fn);
void get_pool_cut_list(Problem &prob, int cuttype, int interp, double delta, int *ncuts, int size, KLVOcut *cutind,
                       double *viol, const char *fn);
void get_cuts(Problem &prob, const KLVOcut *cutind, int ncuts, int64_t size, int *cuttype, char *rowtype,
              int64_t *start, int *colind, double *cutcoef, double *rhs, const char *fn);
void get_cut_map(Problem &prob, int ncuts, const KLVOcut *cutind, int *cutmap, const char *fn);
void get_cut_slack(Problem &prob, KLVOcut cut, double *slack, const char *fn);
void add_managed_cuts(Problem &prob, int globalvalid, int ncuts, const char *rowtype, const double *rhs,
                      const int64_t *start, const int *colind, const double *cutcoef, const char *fn);

}  // namespace klvo
