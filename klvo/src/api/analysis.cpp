// C entry points of the analysis functions: shims over analysis/analysis.h. Those that reach
// the problem's HiGHS instance hold the problem's use mark, so they never run beside a solve.
#include "analysis/analysis.h"
#include "analysis/presolved.h"
#include "api/guard.h"
#include "engines/nlp/layer.h"

#include <vector>

using klvo::api::guarded;
using klvo::api::modifying;
using klvo::api::modifying_any;

extern "C" {

int KLVOgetbasis(KLVOprob prob, int rowstat[], int colstat[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::get_basis(*prob, rowstat, colstat, fn); });
}

int KLVOloadbasis(KLVOprob prob, const int rowstat[], const int colstat[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::load_basis(*prob, rowstat, colstat, fn); });
}

int KLVOgetbasisval(KLVOprob prob, int row, int col, int *rowstat, int *colstat) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::get_basis_val(*prob, row, col, rowstat, colstat, fn); });
}

int KLVOwritebasis(KLVOprob prob, const char *filename, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::write_basis(*prob, filename, flags, fn); });
}

int KLVOreadbasis(KLVOprob prob, const char *filename, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::read_basis(*prob, filename, flags, fn); });
}

int KLVOgetpresolvebasis(KLVOprob prob, int rowstat[], int colstat[]) {
  return modifying_any(prob, __func__,
                       [&](const char *fn) { klvo::get_presolve_basis(*prob, rowstat, colstat, fn); });
}

int KLVOloadpresolvebasis(KLVOprob prob, const int rowstat[], const int colstat[]) {
  return modifying_any(prob, __func__,
                       [&](const char *fn) { klvo::load_presolve_basis(*prob, rowstat, colstat, fn); });
}

int KLVOgetpresolvemap(KLVOprob prob, int rowmap[], int colmap[]) {
  return modifying_any(prob, __func__, [&] { klvo::get_presolve_map(*prob, rowmap, colmap); });
}

int KLVOpresolverow(KLVOprob prob, char rowtype, int norigcoefs, const int origcolind[], const double origrowcoef[],
                    double origrhs, int maxcoefs, int *ncoefs, int colind[], double rowcoef[], double *rhs,
                    int *status) {
  return modifying_any(prob, __func__, [&](const char *fn) {
    klvo::presolve_row(*prob, rowtype, norigcoefs, origcolind, origrowcoef, origrhs, maxcoefs, ncoefs, colind,
                       rowcoef, rhs, status, fn);
  });
}

int KLVOgetpivotorder(KLVOprob prob, int pivotorder[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::get_pivot_order(*prob, pivotorder, fn); });
}

int KLVOftran(KLVOprob prob, double vec[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::basis_solve(*prob, vec, false, fn); });
}

int KLVObtran(KLVOprob prob, double vec[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::basis_solve(*prob, vec, true, fn); });
}

int KLVObasisstability(KLVOprob prob, int type, int norm, int scaled, double *value) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::require_out(value, fn);
    *value = klvo::basis_stability(*prob, type, norm, scaled, fn);
  });
}

int KLVOgetpivots(KLVOprob prob, int enter, int outlist[], double x[], double *objval, int *npivots, int maxpivots) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::get_pivots(*prob, enter, outlist, x, objval, npivots, maxpivots, fn);
  });
}

int KLVOpivot(KLVOprob prob, int enter, int leave) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::pivot(*prob, enter, leave, fn); });
}

int KLVOobjsa(KLVOprob prob, int n, const int colind[], double lower[], double upper[]) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::objective_ranges(*prob, n, colind, lower, upper, fn); });
}

int KLVOrhssa(KLVOprob prob, int n, const int rowind[], double lower[], double upper[]) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::rhs_ranges(*prob, n, rowind, lower, upper, fn); });
}

int KLVObndsa(KLVOprob prob, int n, const int colind[], double lblower[], double lbupper[], double ublower[],
              double ubupper[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::bound_ranges(*prob, n, colind, lblower, lbupper, ublower, ubupper, fn);
  });
}

int KLVOestimaterowdualranges(KLVOprob prob, int n, const int rowind[], int iterlim, double mindual[],
                              double maxdual[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::estimate_row_dual_ranges(*prob, n, rowind, iterlim, mindual, maxdual, fn);
  });
}

int KLVOiisfirst(KLVOprob prob, int mode, int *status) {
  return modifying(prob, __func__, [&](const char *fn) {
    int st = klvo::iis_first(*prob, mode, fn);
    if (status) *status = st;
  });
}

int KLVOiisnext(KLVOprob prob, int *status) {
  return modifying(prob, __func__, [&](const char *fn) {
    int st = klvo::iis_next(*prob, fn);
    if (status) *status = st;
  });
}

int KLVOiisall(KLVOprob prob) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::iis_all(*prob, fn); });
}

int KLVOiisclear(KLVOprob prob) {
  return modifying(prob, __func__, [&] { klvo::iis_clear(*prob); });
}

int KLVOiisstatus(KLVOprob prob, int *count, int rowsizes[], int colsizes[], double suminfeas[], int numinfeas[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::iis_status(*prob, count, rowsizes, colsizes, suminfeas, numinfeas, fn);
  });
}

int KLVOgetiisdata(KLVOprob prob, int num, int *nrows, int *ncols, int rowind[], int colind[], char contype[],
                   char bndtype[], double duals[], double djs[], char isolationrows[], char isolationcols[]) {
  return guarded(prob, __func__, [&](const char *fn) {
    klvo::iis_data(*prob, num, nrows, ncols, rowind, colind, contype, bndtype, duals, djs, isolationrows,
                   isolationcols, fn);
  });
}

int KLVOiiswrite(KLVOprob prob, int num, const char *filename, int filetype, const char *flags) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::iis_write(*prob, num, filename, filetype, flags, fn); });
}

int KLVOiisisolations(KLVOprob prob, int num) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::iis_isolations(*prob, num, fn); });
}

int KLVOiisprint(KLVOprob prob, int num) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::iis_print(*prob, num, fn); });
}

int KLVOwritesol(KLVOprob prob, const char *filename, const char *flags) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::write_csv_solution(*prob, filename, flags, fn); });
}

int KLVOwriteprtsol(KLVOprob prob, const char *filename, const char *flags) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::write_printed_solution(*prob, filename, flags, fn); });
}

int KLVOwriteslxsol(KLVOprob prob, const char *filename, const char *flags) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::write_text_solution(*prob, filename, flags, fn); });
}

int KSLPwriteslxsol(KSLPprob slp, const char *filename, const char *flags) {
  return guarded(slp, __func__, [&](const char *fn) {
    klvo::write_text_solution(klvo::nlp::layer_problem(*slp, fn), filename, flags, fn);
  });
}

int KLVOreadslxsol(KLVOprob prob, const char *filename, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::read_text_solution(*prob, filename, flags, fn); });
}

int KLVOwritebinsol(KLVOprob prob, const char *filename, const char *flags) {
  return guarded(prob, __func__,
                 [&](const char *fn) { klvo::write_binary_solution(*prob, filename, flags, fn); });
}

int KLVOreadbinsol(KLVOprob prob, const char *filename, const char *flags) {
  return modifying(prob, __func__,
                   [&](const char *fn) { klvo::read_binary_solution(*prob, filename, flags, fn); });
}

int KLVOrepairinfeas(KLVOprob prob, int *status, char penalty, char phase2, char flags, double lepref,
                     double gepref, double lbpref, double ubpref, double delta) {
  return modifying(prob, __func__, [&](const char *fn) {
    const int rows = prob->model.nrows(), cols = prob->model.ncols();
    std::vector<double> le(rows, lepref), ge(rows, gepref), lb(cols, lbpref), ub(cols, ubpref);
    char letters[2] = {flags, 0};
    klvo::RepairRequest r;
    r.penalty = penalty, r.phase2 = phase2, r.delta = delta, r.flags = letters;
    r.lepref = le.data(), r.gepref = ge.data(), r.lbpref = lb.data(), r.ubpref = ub.data();
    int st = klvo::repair(*prob, r, fn);
    if (status) *status = st;
  });
}

int KLVOrepairweightedinfeas(KLVOprob prob, int *status, const double lepref[], const double gepref[],
                             const double lbpref[], const double ubpref[], char phase2, double delta,
                             const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::RepairRequest r;
    r.phase2 = phase2, r.delta = delta, r.flags = flags;
    r.lepref = lepref, r.gepref = gepref, r.lbpref = lbpref, r.ubpref = ubpref;
    int st = klvo::repair(*prob, r, fn);
    if (status) *status = st;
  });
}

int KLVOrepairweightedinfeasbounds(KLVOprob prob, int *status, const double lepref[], const double gepref[],
                                   const double lbpref[], const double ubpref[], const double lerelax[],
                                   const double gerelax[], const double lbrelax[], const double ubrelax[],
                                   char phase2, double delta, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::RepairRequest r;
    r.phase2 = phase2, r.delta = delta, r.flags = flags;
    r.lepref = lepref, r.gepref = gepref, r.lbpref = lbpref, r.ubpref = ubpref;
    r.lerelax = lerelax, r.gerelax = gerelax, r.lbrelax = lbrelax, r.ubrelax = ubrelax;
    int st = klvo::repair(*prob, r, fn);
    if (status) *status = st;
  });
}

int KLVOstrongbranch(KLVOprob prob, int n, const int colind[], const char bndtype[], const double bndval[],
                     int iterlim, double objval[], int status[]) {
  return modifying(prob, __func__, [&](const char *fn) {
    klvo::strong_branch(*prob, n, colind, bndtype, bndval, iterlim, objval, status, fn);
  });
}

int KLVOrefinemipsol(KLVOprob prob, int options, const char *flags, const double solution[], double refined[],
                     int *status) {
  return modifying(prob, __func__, [&](const char *fn) {
    int st = klvo::refine_mip_solution(*prob, options, flags, solution, refined, fn);
    if (status) *status = st;
  });
}

int KLVOfixmipentities(KLVOprob prob, int options) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::fix_mip_entities(*prob, options, fn); });
}

int KLVOtune(KLVOprob prob, const char *flags) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::tune_problem(*prob, flags, fn); });
}

int KLVOtuneprobsetfile(KLVOprob prob, const char *setfile, int ifmip, int sense) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::tune_file_set(*prob, setfile, ifmip, sense, fn); });
}

int KLVOtunerwritemethod(KLVOprob prob, const char *methodfile) {
  return guarded(prob, __func__, [&](const char *fn) { klvo::write_tuner_method(*prob, methodfile, fn); });
}

int KLVOtunerreadmethod(KLVOprob prob, const char *methodfile) {
  return modifying(prob, __func__, [&](const char *fn) { klvo::read_tuner_method(*prob, methodfile, fn); });
}

}  // extern "C"
