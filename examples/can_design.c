/*
 * A nonlinear design problem through klvo's C interface: the cheapest closed can.
 *
 * A cylindrical can of radius r and height h must hold at least V = 330 cm^3. Its metal
 * costs 1 per cm^2 on the side and 2 per cm^2 on the top and bottom (they are thicker):
 *
 *     minimise   2 * 2 pi r^2 + 2 pi r h      subject to   pi r^2 h >= 330,  r, h >= 0.1
 *
 * The optimum has h = 4 r, r = (330 / (4 pi))^(1/3) = 2.972 cm and costs 12 pi r^2 = 333.07;
 * one more cm^3 of volume costs 2 / r = 0.673 (the dual of the volume row).
 *
 * Build from the repository root after `make build`:
 *     cc -std=c99 examples/can_design.c -Iklvo/include -Lbuild/dev/python/kelvo -lklvo \
 *        -Wl,-rpath,$PWD/build/dev/python/kelvo -lm -o /tmp/can_design && /tmp/can_design
 */
#include <math.h>
#include <stdio.h>

#include "klvo.h"

#define CHECK(call)                                                  \
  do {                                                               \
    if ((call) != 0) {                                               \
      char text[512] = "";                                           \
      KLVOgetlasterror(prob, text);                                  \
      fprintf(stderr, "%s failed: %s\n", #call, text);               \
      return 1;                                                      \
    }                                                                \
  } while (0)

/* Messages of the nonlinear layer: print the last lines only (the solver's summary). */
static void show(KSLPprob slp, void *data, const char *msg, int len, int type) {
  (void)slp;
  (void)data;
  (void)type;
  if (len > 0 && (msg[0] == 'N' || msg[0] == 'E')) printf("  | %.*s\n", len, msg);
}

int main(void) {
  const double pi = 3.14159265358979323846;
  KLVOprob prob = NULL;
  KSLPprob slp = NULL;
  if (KLVOinit(NULL) != 0 || KSLPinit() != 0) {
    fprintf(stderr, "klvo or its nonlinear layer is not available\n");
    return 1;
  }
  CHECK(KLVOcreateprob(&prob));
  CHECK(KSLPcreateprob(&slp, &prob));
  KSLPsetcbmessage(slp, show, NULL);

  /* Columns r (0) and h (1), both at least 0.1. */
  double obj[2] = {0, 0}, lb[2] = {0.1, 0.1}, ub[2] = {KLVO_INFINITY, KLVO_INFINITY};
  CHECK(KLVOaddcols(prob, 2, 0, obj, NULL, NULL, NULL, lb, ub));

  /* Volume row: pi r^2 h >= 330, its left side a formula of the row. Tokens in postfix
   * order: constant pi, r, 2, power, times, h, times. */
  char type = 'G';
  double rhs = 330;
  CHECK(KLVOaddrows(prob, 1, 0, &type, &rhs, NULL, NULL, NULL, NULL));
  int vtype[] = {1, 10, 1, 31, 31, 10, 31, 0};
  double vvalue[] = {pi, 0, 2, 2, 3, 1, 3, 0};
  int row = 0, vstart[2] = {0, 8};
  CHECK(KLVOnlpaddformulas(prob, 1, &row, vstart, 1, vtype, vvalue));

  /* Cost (the objective is row -1): 4 pi r^2 as one entry, and 2 pi r as an entry that
   * multiplies column h (factor 2 pi, formula r). */
  int otype[] = {10, 1, 31, 0, 10, 0};
  double ovalue[] = {0, 2, 2, 0, 0, 0};
  int orow[2] = {-1, -1}, ocol[2] = {KSLP_NOCOLUMN, 1}, ostart[3] = {0, 4, 6};
  double ofactor[2] = {4 * pi, 2 * pi};
  CHECK(KSLPaddcoefs(slp, 2, orow, ocol, ofactor, ostart, 1, otype, ovalue));

  /* A start inside the region and a quiet engine log. */
  int cols[2] = {0, 1};
  double x0[2] = {5, 5};
  CHECK(KLVOnlpsetinitval(prob, 2, cols, x0));
  KSLPsetintcontrol(slp, 12101, 0);

  int solvestatus = 0, solstatus = 0;
  CHECK(KLVOoptimize(prob, NULL, &solvestatus, &solstatus));
  double x[2], cost = 0, dual = 0;
  int status = 0;
  CHECK(KLVOgetsolution(prob, &status, x, 0, 1));
  CHECK(KLVOgetduals(prob, &status, &dual, 0, 0));
  KSLPgetdblattrib(slp, 12179, &cost);

  double r = cbrt(330 / (4 * pi));
  printf("radius %.4f cm, height %.4f cm, cost %.4f (closed form: r = %.4f, h = %.4f, cost %.4f)\n", x[0], x[1],
         cost, r, 4 * r, 12 * pi * r * r);
  printf("each extra cm^3 of volume costs %.5f (closed form %.5f)\n", dual, 2 / r);

  KSLPdestroyprob(slp);
  KLVOdestroyprob(prob);
  KSLPfree();
  KLVOfree();
  return fabs(cost - 12 * pi * r * r) < 1e-5 && fabs(dual - 2 / r) < 1e-5 ? 0 : 1;
}
