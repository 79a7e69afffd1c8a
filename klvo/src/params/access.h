// Controls and attributes by id, as the C entry points read and write them: each checks the
// id's kind and type against the catalogue and names the entry point `fn` in its errors. Ids
// of the nonlinear layer are forwarded to the problem's layer.
#pragma once

#include <cstdint>

#include "klvo.h"

struct klvo_problem_s;

namespace klvo {

using Problem = klvo_problem_s;

// The catalogue as parallel lists (ids, names, flags) or as entries, each ending with id 0.
void catalogue_lists(const int **ids, const char *const **names, const int **flags);
void catalogue_entries(const KLVOcaentry **entries, int *count, const char *fn);
// Id and type (1 integer, 2 double, 3 string) of a control or attribute name.
void control_info(const char *name, bool control, int *id, int *type, const char *fn);

void get_int_control(Problem &prob, int id, int *value, const char *fn);
void get_int_control64(Problem &prob, int id, int64_t *value, const char *fn);
void get_dbl_control(Problem &prob, int id, double *value, const char *fn);
void get_str_control(Problem &prob, int id, char *value, int maxbytes, int *nbytes, const char *fn);
void set_int_control(Problem &prob, int id, int64_t value, const char *fn);
void set_dbl_control(Problem &prob, int id, double value, const char *fn);
void set_str_control(Problem &prob, int id, const char *value, const char *fn);
void set_default_control(Problem &prob, int id, const char *fn);
void copy_controls(Problem &dest, const Problem *src, const char *fn);

void get_int_attrib(Problem &prob, int id, int *value, const char *fn);
void get_int_attrib64(Problem &prob, int id, int64_t *value, const char *fn);
void get_dbl_attrib(Problem &prob, int id, double *value, const char *fn);
void get_str_attrib(Problem &prob, int id, char *value, int maxbytes, int *nbytes, const char *fn);

// Per-objective controls and attributes of objective objidx.
void get_obj_int_control(Problem &prob, int objidx, int id, int *value, const char *fn);
void get_obj_dbl_control(Problem &prob, int objidx, int id, double *value, const char *fn);
void set_obj_int_control(Problem &prob, int objidx, int id, int value, const char *fn);
void set_obj_dbl_control(Problem &prob, int objidx, int id, double value, const char *fn);
void get_obj_int_attrib64(Problem &prob, int objidx, int id, int64_t *value, const char *fn);
void get_obj_dbl_attrib(Problem &prob, int objidx, int id, double *value, const char *fn);

}  // namespace klvo
