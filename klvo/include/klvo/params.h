/* Controls and attributes: the catalogue and the typed getters and setters.
 *
 * Every control (a parameter the user sets) and attribute (a value the library reports) has
 * an integer id and a lower-case name. One catalogue lists them all; KLVOgetcalist returns it.
 * Integer controls and attributes are read and written as 32- or 64-bit integers (a 32-bit
 * read of a value that does not fit fails); double and string ones only by their own type.
 * Attributes are computed from the model and from the last solve; they cannot be set.
 *
 * Defaults: every new problem starts with the built-in defaults, overridden by the
 * "name = value" lines of the klvo.ini read by KLVOinit (names in any case; a line whose value
 * is not valid for its control is ignored). KLVOsetdefaultcontrol and KLVOsetdefaults return
 * to these same defaults.
 */
#ifndef KLVO_PARAMS_H
#define KLVO_PARAMS_H

#include "types.h"

KLVO_EXTERN_C_BEGIN

/* Flag bits of a catalogue entry. Exactly one of INT, DBL and STR is set. */
#define KLVO_CA_INT 0x01      /* integer value (read with the int or int64 getters) */
#define KLVO_CA_DBL 0x02      /* double value */
#define KLVO_CA_STR 0x04      /* string value */
#define KLVO_CA_INT64 0x08    /* integer whose value may exceed 32 bits */
#define KLVO_CA_CONTROL 0x20  /* a control; attributes do not have this bit */
#define KLVO_CA_NOEFFECT 0x40 /* a control that is stored and read back but steers nothing yet */
#define KLVO_CA_ENGINE 0x80   /* a control that is passed on to an engine */

/* One catalogue entry. */
typedef struct {
  int id;
  const char *name;
  int flags;
} KLVOcaentry;

/* The catalogue as parallel arrays owned by the library (valid for the life of the process),
 * each ending with an entry of id 0 (name NULL, flags 0). Any out-pointer may be NULL. */
KLVO_API int KLVOgetcalist(const int **ids, const char *const **names, const int **flags);
/* The same catalogue as one array of entries, ending with id 0; count (may be NULL) receives
 * the number of entries before the terminator. */
KLVO_API int KLVOgetcalist_d(const KLVOcaentry **entries, int *count);

/* Id and type (1 integer, 2 double, 3 string) of a control or attribute by name (the name is
 * matched without regard to case). An unknown name, or an attribute name passed to
 * KLVOgetcontrolinfo (and a control name to KLVOgetattribinfo), fails with KLVO_ERR_UNKNOWN_ID. */
KLVO_API int KLVOgetcontrolinfo(KLVOprob prob, const char *name, int *id, int *type);
KLVO_API int KLVOgetattribinfo(KLVOprob prob, const char *name, int *id, int *type);

/* Controls. Setting a value outside the control's bounds fails with KLVO_ERR_INVALID_ARGUMENT
 * and leaves the control as it was. */
KLVO_API int KLVOgetintcontrol(KLVOprob prob, int id, int *value);
KLVO_API int KLVOgetintcontrol64(KLVOprob prob, int id, int64_t *value);
KLVO_API int KLVOgetdblcontrol(KLVOprob prob, int id, double *value);
/* value must hold the string and its terminator; a null value asks only for nbytes, the size
 * the string needs with its terminator. The library's own string controls hold at most 1023
 * characters, those of the nonlinear layer any number. */
KLVO_API int KLVOgetstringcontrol(KLVOprob prob, int id, char *value, int maxbytes,
                                  int *nbytes);
KLVO_API int KLVOsetintcontrol(KLVOprob prob, int id, int value);
KLVO_API int KLVOsetintcontrol64(KLVOprob prob, int id, int64_t value);
KLVO_API int KLVOsetdblcontrol(KLVOprob prob, int id, double value);
KLVO_API int KLVOsetstrcontrol(KLVOprob prob, int id, const char *value);

/* Back to the default (the built-in one, or the klvo.ini value read by KLVOinit). */
KLVO_API int KLVOsetdefaultcontrol(KLVOprob prob, int id);
KLVO_API int KLVOsetdefaults(KLVOprob prob);
/* Copies every control (and the per-objective controls) of src into dest. */
KLVO_API int KLVOcopycontrols(KLVOprob dest, KLVOprob src);

/* Attributes. nbytes (may be NULL) receives the length of the string plus its terminator. */
KLVO_API int KLVOgetintattrib(KLVOprob prob, int id, int *value);
KLVO_API int KLVOgetintattrib64(KLVOprob prob, int id, int64_t *value);
KLVO_API int KLVOgetdblattrib(KLVOprob prob, int id, double *value);
KLVO_API int KLVOgetstringattrib(KLVOprob prob, int id, char *value, int maxbytes,
                                 int *nbytes);

/* Per-objective controls, for objective index 0 .. (objectives - 1).
 *
 * A problem with several objectives is solved in stages, in decreasing priority (equal
 * priorities in index order). The objectives of one priority are blended: their sum, each
 * times its weight, is optimised in the problem's sense (a negative weight turns an objective
 * the other way; weight 0 leaves it out of every stage). After each stage its objective may
 * lose no more than the larger of abstol and reltol * |the value it reached| (with the largest
 * allowances among the stage's objectives) in the stages that follow. The solution is the last
 * stage's. The time limit covers all stages; a stage that does not end optimal (a limit, an
 * interrupt, infeasible, unbounded) ends the sequence with its status, keeping the previous
 * stage's solution when it found none of its own. The cutoff applies only to a stage that
 * optimises objective 0 alone with weight 1. The problem's objective values are objective 0's
 * at the solution; its counters and time are totals over the stages, its bound and gap the
 * last stage's. Duals and reduced costs are not kept. A quadratic objective 0 followed by later
 * stages makes them quadratically constrained; stages with nonlinear formulas go to the
 * nonlinear solver like any continuous nonlinear problem. */
#define KLVO_OBJCONTROL_PRIORITY 20001 /* integer: higher priorities are optimised first */
#define KLVO_OBJCONTROL_WEIGHT 20002   /* double: weight in the blended objective (default 1) */
#define KLVO_OBJCONTROL_ABSTOL 20003   /* double >= 0: absolute degradation allowed (default 0) */
#define KLVO_OBJCONTROL_RELTOL 20004   /* double >= 0: relative degradation allowed (default 0) */
#define KLVO_OBJCONTROL_RHS 20005      /* double: constant term of objectives 1.. (default 0);
                                          objective 0's is set with KLVOchgobj, column -1 */
KLVO_API int KLVOgetobjintcontrol(KLVOprob prob, int objidx, int id, int *value);
KLVO_API int KLVOgetobjdblcontrol(KLVOprob prob, int objidx, int id, double *value);
KLVO_API int KLVOsetobjintcontrol(KLVOprob prob, int objidx, int id, int value);
KLVO_API int KLVOsetobjdblcontrol(KLVOprob prob, int objidx, int id, double value);
/* Attributes of one objective: the objective attributes (objval, lpobjval, mipobjval) give
 * that objective's value at the last solution. After a solve with several objectives, the
 * statuses, counters, bestbound, miprelgap and time are those of the stage that optimised the
 * objective (bestbound in that stage's blended terms); an objective of weight 0, or one whose
 * stage was not reached, reads them as not started. Every other attribute is the problem's. */
KLVO_API int KLVOgetobjintattrib64(KLVOprob prob, int objidx, int id, int64_t *value);
KLVO_API int KLVOgetobjdblattrib(KLVOprob prob, int objidx, int id, double *value);

/* ---- Ids of the controls (name in quotes). ---- */
#define KLVO_CONTROL_FEASTOL 7005      /* "feastol": primal feasibility tolerance */
#define KLVO_CONTROL_OPTTOL 7006       /* "opttol": dual feasibility (optimality) tolerance */
#define KLVO_CONTROL_MIPTOL 7011       /* "miptol": integrality tolerance */
#define KLVO_CONTROL_CUTOFF 7013       /* "cutoff": MIP objective cutoff (in the user's sense) */
#define KLVO_CONTROL_MIPABSSTOP 7019   /* "mipabsstop": stop a MIP at this absolute gap */
#define KLVO_CONTROL_MIPRELSTOP 7020   /* "miprelstop": stop a MIP at this relative gap */
/* Gap notification targets: the gapnotify callbacks are called once the relative gap, the
 * absolute gap, the incumbent's objective or the best bound reaches its target; the callbacks
 * may set new targets. No target: a negative gap, an objective or bound of infinite size
 * (KLVO_INFINITY, the default). */
#define KLVO_CONTROL_MIPRELGAPNOTIFY 8510      /* "miprelgapnotify" */
#define KLVO_CONTROL_MIPABSGAPNOTIFY 8511      /* "mipabsgapnotify" */
#define KLVO_CONTROL_MIPABSGAPNOTIFYOBJ 8512   /* "mipabsgapnotifyobj" */
#define KLVO_CONTROL_MIPABSGAPNOTIFYBOUND 8513 /* "mipabsgapnotifybound" */
#define KLVO_CONTROL_TIMELIMIT 7158    /* "timelimit": seconds; <= 0 means no limit */
#define KLVO_CONTROL_LPITERLIMIT 8007  /* "lpiterlimit": simplex iteration limit */
#define KLVO_CONTROL_PRESOLVE 8011     /* "presolve": KLVO_PRESOLVE_* */
#define KLVO_CONTROL_PRICING 8013      /* "pricing": primal simplex pricing, KLVO_PRICING_* */
#define KLVO_CONTROL_DEFAULTALG 8023   /* "defaultalg": LP algorithm, KLVO_ALG_* */
#define KLVO_CONTROL_VARSELECTION 8025 /* "varselection": no effect yet */
#define KLVO_CONTROL_NODESELECTION 8026 /* "nodeselection": no effect yet */
#define KLVO_CONTROL_BACKTRACK 8027    /* "backtrack": no effect yet */
#define KLVO_CONTROL_OUTPUTLOG 8035    /* "outputlog": KLVO_OUTPUT_* */
#define KLVO_CONTROL_BARITERLIMIT 8040 /* "bariterlimit": interior point iteration limit */
#define KLVO_CONTROL_SYMMETRY 8044     /* "symmetry": MIP symmetry detection, KLVO_ANA_* */
#define KLVO_CONTROL_CHOLESKY 8046     /* "choleskyalg": no effect yet */
#define KLVO_CONTROL_BARORDER 8080     /* "barorder": no effect yet */
#define KLVO_CONTROL_SCALING 8084      /* "scaling": KLVO_OFF / KLVO_ON */
#define KLVO_CONTROL_MAXNODE 8105      /* "maxnode": MIP node limit (64-bit) */
#define KLVO_CONTROL_MAXMIPSOL 8106    /* "maxmipsol": stop after this many improving solutions */
#define KLVO_CONTROL_CUTSTRATEGY 8138  /* "cutstrategy": no effect yet */
#define KLVO_CONTROL_CROSSOVER 8144    /* "crossover": after interior point, KLVO_ANA_* */
#define KLVO_CONTROL_DUALGRADIENT 8145 /* "dualgradient": dual simplex pricing, KLVO_DUALGRADIENT_* */
#define KLVO_CONTROL_BRANCHCHOICE 8162 /* "branchchoice": no effect yet */
#define KLVO_CONTROL_DUALSTRATEGY 8174 /* "dualstrategy": no effect yet */
#define KLVO_CONTROL_FEASPUMP 8193     /* "feaspump": no effect yet */
#define KLVO_CONTROL_PRECOEFELIM 8194  /* "precoefelim": no effect yet */
#define KLVO_CONTROL_PREDOMCOL 8195    /* "predomcol": no effect yet */
#define KLVO_CONTROL_HEURSEARCHROOTSELECT 8216 /* "heursearchrootselect": no effect yet */
#define KLVO_CONTROL_HEURSEARCHTREESELECT 8217 /* "heursearchtreeselect": no effect yet */
#define KLVO_CONTROL_DUALIZE 8224      /* "dualize": no effect yet */
#define KLVO_CONTROL_PREPROBING 8238   /* "preprobing": no effect yet */
#define KLVO_CONTROL_PARALLELSIMPLEX 8251 /* "parallelsimplex": KLVO_OFF / KLVO_ON */
#define KLVO_CONTROL_PRIMALUNSHIFT 8252 /* "primalunshift": no effect yet */
#define KLVO_CONTROL_REPAIRINDEFINITEQ 8254 /* "repairindefiniteq": no effect yet */
#define KLVO_CONTROL_BACKTRACKTIE 8266 /* "backtracktie": no effect yet */
#define KLVO_CONTROL_THREADS 8278      /* "threads": engine threads; 0 lets the engine choose; above 1, the workers of the library's own search */
#define KLVO_CONTROL_PREDOMROW 8281    /* "predomrow": no effect yet */
#define KLVO_CONTROL_ROOTHEURISTICS 8282 /* "rootheuristics": MIP heuristics, -1 engine's effort, 0 off, 1 emphasised */
#define KLVO_CONTROL_LOCALSEARCH 8284  /* "localsearch": no effect yet */
#define KLVO_CONTROL_BARPRESOLVEOPS 8286 /* "barpresolveops": no effect yet */
#define KLVO_CONTROL_MIPRESTART 8290   /* "miprestart": KLVO_MIPRESTART_* */
#define KLVO_CONTROL_RANDOMSEED 8328   /* "randomseed" */
#define KLVO_CONTROL_TUNERMODE 8359    /* "tunermode": no effect yet */
#define KLVO_CONTROL_TUNERMETHOD 8360  /* "tunermethod": no effect yet */
#define KLVO_CONTROL_TUNERTARGET 8362  /* "tunertarget": no effect yet */
#define KLVO_CONTROL_TUNERHISTORY 8365 /* "tunerhistory": no effect yet */
#define KLVO_CONTROL_LPFLAGS 8385      /* "lpflags": KLVO_LPFLAGS_* (0 = use defaultalg) */
#define KLVO_CONTROL_COMPUTELOG 8434   /* "computelog": no effect yet */
#define KLVO_CONTROL_MULTIOBJOPS 8457  /* "multiobjops": no effect yet */
#define KLVO_CONTROL_IISOPS 8472       /* "iisops": no effect yet */
#define KLVO_CONTROL_BARHGOPS 8483     /* "barhgops": no effect yet */
#define KLVO_CONTROL_MIPSEARCH 8500    /* "mipsearch": which search solves a mixed-integer
                                          problem, KLVO_MIPSEARCH_* */

/* ---- Ids of the attributes. ---- */
#define KLVO_ATTR_ROWS 1001            /* "rows": rows of the problem being solved */
#define KLVO_ATTR_ELEMS 1002           /* "elems": matrix non-zeros (64-bit) */
#define KLVO_ATTR_SETS 1004            /* "sets": special ordered sets */
#define KLVO_ATTR_SIMPLEXITER 1009     /* "simplexiter": simplex iterations of the last solve */
#define KLVO_ATTR_LPSTATUS 1010        /* "lpstatus": KLVO_LP_* */
#define KLVO_ATTR_MIPSTATUS 1011       /* "mipstatus": KLVO_MIP_* */
#define KLVO_ATTR_COLS 1018            /* "cols" */
#define KLVO_ATTR_SPAREROWS 1019       /* "sparerows": always 0 */
#define KLVO_ATTR_PRESOLVESTATE 1026   /* "presolvestate": bit 0 loaded; bit 1 (2) kept in its presolved form (continuous), bit 2 (4) with integrality */
#define KLVO_ATTR_NAMELENGTH 1028      /* "namelength": longest name, in units of 8 characters */
#define KLVO_ATTR_QELEMS 1030          /* "qelems": quadratic objective elements (upper half) */
#define KLVO_ATTR_MIPENTS 1032         /* "mipents": columns with a discrete type */
#define KLVO_ATTR_BARITER 1035         /* "bariter": interior point iterations */
#define KLVO_ATTR_NODES 1036           /* "nodes": MIP nodes of the last solve (64-bit) */
#define KLVO_ATTR_STOPSTATUS 1045      /* "stopstatus": KLVO_STOP_* */
#define KLVO_ATTR_SOLSTATUS 1053       /* "solstatus": KLVO_SOLSTATUS_* */
#define KLVO_ATTR_QCONSTRAINTS 1060    /* "qconstraints": rows with quadratic terms */
#define KLVO_ATTR_MIPSOLS 1065         /* "mipsols": improving MIP solutions found */
#define KLVO_ATTR_ORIGINALROWS 1124    /* "originalrows" */
#define KLVO_ATTR_PROBNAMELENGTH 1158  /* "probnamelength": characters of the problem name
                                          (KLVOgetprobname needs one byte more) */
#define KLVO_ATTR_ORIGINALSETS 1194    /* "originalsets" */
#define KLVO_ATTR_ORIGINALCOLS 1214    /* "originalcols" */
#define KLVO_ATTR_OPTIMIZETYPE 1268    /* "optimizetypeused": KLVO_OPTTYPE_* */
#define KLVO_ATTR_INDICATORS 1325      /* "indicators" */
#define KLVO_ATTR_GENCONS 1327         /* "gencons": general and piecewise-linear constraints */
#define KLVO_ATTR_SOLVESTATUS 1394     /* "solvestatus": KLVO_SOLVESTATUS_* */
#define KLVO_ATTR_ORIGINALOBJECTIVES 1397 /* "originalobjectives": objectives of the model */
#define KLVO_ATTR_OBJECTIVES 1399      /* "objectives": objectives of the model */
#define KLVO_ATTR_IISSOLSTATUS 1406    /* "iissolstatus": always 0 (no IIS search yet) */
#define KLVO_ATTR_INPUTROWS 1408       /* "inputrows": rows as the user built them */
#define KLVO_ATTR_INPUTCOLS 1409       /* "inputcols" */
/* Node figures, answered inside the callbacks of a search (0 elsewhere). */
#define KLVO_ATTR_CURRENTNODE 1510     /* "currentnode": number of the node being handled */
#define KLVO_ATTR_PARENTNODE 1511      /* "parentnode": its parent's number */
#define KLVO_ATTR_NODEDEPTH 1512       /* "nodedepth": its depth, the root being 1 */
#define KLVO_ATTR_LPOBJVAL 2001        /* "lpobjval": objective of the continuous solution */
#define KLVO_ATTR_MIPOBJVAL 2003       /* "mipobjval": objective of the best MIP solution */
#define KLVO_ATTR_BESTBOUND 2004       /* "bestbound": best proven bound of a MIP */
#define KLVO_ATTR_OBJVAL 2005          /* "objval": objective of the current solution */
#define KLVO_ATTR_MIPRELGAP 2006       /* "miprelgap": relative MIP gap reached */
#define KLVO_ATTR_SOLVETIME 2007       /* "time": seconds of the last solve */
#define KLVO_ATTR_OBJSENSE 2008        /* "objsense": 1.0 minimise, -1.0 maximise */
#define KLVO_ATTR_PROBNAME 3001        /* "probname" (string) */

/* ---- Enumerated values. ---- */
/* lpstatus (1010) */
#define KLVO_LP_UNSTARTED 0
#define KLVO_LP_OPTIMAL 1
#define KLVO_LP_INFEAS 2
#define KLVO_LP_CUTOFF 3
#define KLVO_LP_UNFINISHED 4 /* stopped by a limit or an interrupt */
#define KLVO_LP_UNBOUNDED 5
#define KLVO_LP_CUTOFF_IN_DUAL 6
#define KLVO_LP_UNSOLVED 7   /* the engine failed */
#define KLVO_LP_NONCONVEX 8
/* mipstatus (1011) */
#define KLVO_MIP_NOT_LOADED 0
#define KLVO_MIP_LP_NOT_OPTIMAL 1
#define KLVO_MIP_LP_OPTIMAL 2
#define KLVO_MIP_NO_SOL_FOUND 3 /* stopped without a feasible solution */
#define KLVO_MIP_SOLUTION 4     /* stopped with a feasible solution */
#define KLVO_MIP_INFEAS 5
#define KLVO_MIP_OPTIMAL 6
#define KLVO_MIP_UNBOUNDED 7
/* solvestatus (1394) */
#define KLVO_SOLVESTATUS_UNSTARTED 0
#define KLVO_SOLVESTATUS_STOPPED 1   /* a limit or an interrupt stopped the solve */
#define KLVO_SOLVESTATUS_FAILED 2
#define KLVO_SOLVESTATUS_COMPLETED 3
/* solstatus (1053); also the status out-parameter of the solution getters */
#define KLVO_SOLSTATUS_NOTFOUND 0
#define KLVO_SOLSTATUS_OPTIMAL 1
#define KLVO_SOLSTATUS_FEASIBLE 2
#define KLVO_SOLSTATUS_INFEASIBLE 3
#define KLVO_SOLSTATUS_UNBOUNDED 4
/* stopstatus (1045) */
#define KLVO_STOP_NONE 0
#define KLVO_STOP_TIMELIMIT 1
#define KLVO_STOP_INTERRUPT 2  /* KLVOinterrupt */
#define KLVO_STOP_NODELIMIT 3
#define KLVO_STOP_ITERLIMIT 4
#define KLVO_STOP_MIPGAP 5
#define KLVO_STOP_SOLLIMIT 6
/* optimizetypeused (1268) */
#define KLVO_OPTTYPE_NONE -1
#define KLVO_OPTTYPE_LP 0
#define KLVO_OPTTYPE_MIP 1
#define KLVO_OPTTYPE_NLP 2
/* mipsearch (8500). Automatic: HiGHS's MIP solver for linear models, the library's own
 * branch-and-bound for the rest (quadratic objective or rows, formulas, sets, indicators,
 * partially integer columns). ENGINE refuses what HiGHS cannot take; OWN runs the library's
 * search on every mixed-integer problem. */
#define KLVO_MIPSEARCH_AUTOMATIC 0
#define KLVO_MIPSEARCH_ENGINE 1
#define KLVO_MIPSEARCH_OWN 2
/* presolve (8011) */
#define KLVO_PRESOLVE_NONE 0
#define KLVO_PRESOLVE_DEFAULT 1
/* pricing (8013) and dualgradient (8145) */
#define KLVO_PRICING_AUTOMATIC -1
#define KLVO_PRICING_DANTZIG 0
#define KLVO_PRICING_DEVEX 1
#define KLVO_PRICING_STEEPESTEDGE 2
#define KLVO_DUALGRADIENT_AUTOMATIC -1
#define KLVO_DUALGRADIENT_DEVEX 0
#define KLVO_DUALGRADIENT_STEEPESTEDGE 1
/* defaultalg (8023) */
#define KLVO_ALG_AUTOMATIC 1
#define KLVO_ALG_DUAL 2
#define KLVO_ALG_PRIMAL 3
#define KLVO_ALG_BARRIER 4
/* lpflags (8385): one algorithm bit; 0 defers to defaultalg */
#define KLVO_LPFLAGS_DUAL 1
#define KLVO_LPFLAGS_PRIMAL 2
#define KLVO_LPFLAGS_BARRIER 4
/* outputlog (8035) */
#define KLVO_OUTPUT_NONE 0
#define KLVO_OUTPUT_ALL 1
#define KLVO_OUTPUT_DETAILED 2 /* all, plus the engine's detailed log as KLVO_MSG_DEBUG */
#define KLVO_OUTPUT_ERRORS_AND_WARNINGS 3
#define KLVO_OUTPUT_ERRORS 4
/* AlwaysNeverAutomatic (8044, 8144, 8224, 8282, 8284) */
#define KLVO_ANA_AUTOMATIC -1
#define KLVO_ANA_NEVER 0
#define KLVO_ANA_ALWAYS 1
/* OnOff (8084, 8251) */
#define KLVO_OFF 0
#define KLVO_ON 1
/* varselection (8025) */
#define KLVO_VARSEL_AUTOMATIC -1
#define KLVO_VARSEL_MOST_FRACTIONAL 0
#define KLVO_VARSEL_MIN_UP_DOWN 1
#define KLVO_VARSEL_SUM_UP_DOWN 2
#define KLVO_VARSEL_MAX_UP_DOWN_SUM_MIN 3
#define KLVO_VARSEL_MAX_UP_DOWN 4
/* nodeselection (8026) */
#define KLVO_NODESEL_LOCAL_FIRST 1
#define KLVO_NODESEL_BEST_FIRST 2
#define KLVO_NODESEL_LOCAL_DEPTH_FIRST 3
#define KLVO_NODESEL_BEST_FIRST_THEN_LOCAL_FIRST 4
#define KLVO_NODESEL_DEPTH_FIRST 5
/* backtrack (8027) and backtracktie (8266) */
#define KLVO_BACKTRACK_AUTOMATIC -1
#define KLVO_BACKTRACK_NONE 0
#define KLVO_BACKTRACK_BEST_ESTIMATE 1
#define KLVO_BACKTRACK_BEST_ESTIMATE_MIN_INFEAS 2
#define KLVO_BACKTRACK_BEST_BOUND 3
#define KLVO_BACKTRACK_DEEPEST_NODE 4
#define KLVO_BACKTRACK_HIGHEST_NODE 5
#define KLVO_BACKTRACK_EARLIEST_NODE 6
#define KLVO_BACKTRACK_LATEST_NODE 7
#define KLVO_BACKTRACK_RANDOM 8
#define KLVO_BACKTRACK_MIN_INFEAS 9
#define KLVO_BACKTRACK_BEST_ESTIMATE_OR_BOUND 10
#define KLVO_BACKTRACK_BEST_BOUND_THEN_ESTIMATE 11
/* choleskyalg (8046): bits, or -1 */
#define KLVO_CHOLESKY_AUTOMATIC -1
#define KLVO_CHOLESKY_PULL_CHOLESKY 1
#define KLVO_CHOLESKY_MULTI_PASS 2
#define KLVO_CHOLESKY_DENSE_COLUMNS 4
#define KLVO_CHOLESKY_MANUAL_PIVOTING 8
#define KLVO_CHOLESKY_STRICT_PIVOTING 16
#define KLVO_CHOLESKY_CONSERVATIVE_SCALING 32
#define KLVO_CHOLESKY_HIGH_PRECISION 64
#define KLVO_CHOLESKY_SINGLE_PASS_SOLVE 128
/* barorder (8080) */
#define KLVO_BARORDER_AUTOMATIC 0
#define KLVO_BARORDER_MIN_DEGREE 1
#define KLVO_BARORDER_MIN_LOCAL_FILL 2
#define KLVO_BARORDER_NESTED_DISSECTION 3
/* cutstrategy (8138) */
#define KLVO_CUTS_AUTOMATIC -1
#define KLVO_CUTS_NONE 0
#define KLVO_CUTS_CONSERVATIVE 1
#define KLVO_CUTS_MODERATE 2
#define KLVO_CUTS_AGGRESSIVE 3
/* branchchoice (8162) */
#define KLVO_BRANCH_MIN_EST_FIRST 0
#define KLVO_BRANCH_MAX_EST_FIRST 1
#define KLVO_BRANCH_DOWN_FIRST 2
#define KLVO_BRANCH_UP_FIRST 3
/* dualstrategy (8174): bits */
#define KLVO_DUALSTRATEGY_NONE 0
#define KLVO_DUALSTRATEGY_REMOVE_INFEAS_WITH_PRIMAL 1
#define KLVO_DUALSTRATEGY_REMOVE_INFEAS_WITH_DUAL 2
#define KLVO_DUALSTRATEGY_STOP_ON_PERTURBATION 4
#define KLVO_DUALSTRATEGY_PERTURB_COSTS 8
#define KLVO_DUALSTRATEGY_SHIFT_BOUNDS 16
#define KLVO_DUALSTRATEGY_FULL_PRICING 32
#define KLVO_DUALSTRATEGY_REFACTOR_ON_STALL 64
#define KLVO_DUALSTRATEGY_KEEP_BASIS_ON_STALL 128
/* feaspump (8193) */
#define KLVO_FEASPUMP_OFF 0
#define KLVO_FEASPUMP_ALWAYS 1
#define KLVO_FEASPUMP_LAST_RESORT 2
/* precoefelim (8194) */
#define KLVO_COEFELIM_DISABLED 0
#define KLVO_COEFELIM_AGGRESSIVE 1
#define KLVO_COEFELIM_CAUTIOUS 2
/* predomcol (8195) */
#define KLVO_DOMCOL_AUTOMATIC -1
#define KLVO_DOMCOL_DISABLED 0
#define KLVO_DOMCOL_CAUTIOUS 1
#define KLVO_DOMCOL_AGGRESSIVE 2
/* heursearchrootselect (8216) and heursearchtreeselect (8217): bits */
#define KLVO_HEURSEARCH_NONE 0
#define KLVO_HEURSEARCH_LOCAL_SEARCH_LARGE_NEIGHBOURHOOD 1
#define KLVO_HEURSEARCH_LOCAL_SEARCH_NODE_NEIGHBOURHOOD 2
#define KLVO_HEURSEARCH_LOCAL_SEARCH_BACKTRACK_NEIGHBOURHOOD 4
#define KLVO_HEURSEARCH_LOCAL_SEARCH_FIXING 8
#define KLVO_HEURSEARCH_LOCAL_SEARCH_RELAXATION_INDUCED 16
#define KLVO_HEURSEARCH_LOCAL_SEARCH_OBJECTIVE_GUIDED 32
#define KLVO_HEURSEARCH_LOCAL_SEARCH_RANDOM_FIXING 64
#define KLVO_HEURSEARCH_LOCAL_SEARCH_PROXIMITY 128
/* preprobing (8238) */
#define KLVO_PROBING_AUTOMATIC -1
#define KLVO_PROBING_DISABLED 0
#define KLVO_PROBING_LIGHT 1
#define KLVO_PROBING_FULL 2
#define KLVO_PROBING_FULL_AND_REPEAT 3
/* primalunshift (8252) */
#define KLVO_UNSHIFT_ALLOW_DUAL_UNSHIFT 0
#define KLVO_UNSHIFT_NO_DUAL_UNSHIFT 1
/* repairindefiniteq (8254) */
#define KLVO_REPAIR_REPAIR_IF_POSSIBLE 0
#define KLVO_REPAIR_NO_REPAIR 1
/* predomrow (8281) */
#define KLVO_DOMROW_AUTOMATIC -1
#define KLVO_DOMROW_DISABLED 0
#define KLVO_DOMROW_CAUTIOUS 1
#define KLVO_DOMROW_MEDIUM 2
#define KLVO_DOMROW_AGGRESSIVE 3
/* barpresolveops (8286): bits */
#define KLVO_BARPRESOLVE_STANDARD_PRESOLVE 0
#define KLVO_BARPRESOLVE_EXTRA_BARRIER_PRESOLVE 1
#define KLVO_BARPRESOLVE_SPLIT_DENSE_COLUMNS 2
/* tunermode (8359) */
#define KLVO_TUNERMODE_AUTOMATIC -1
#define KLVO_TUNERMODE_OFF 0
#define KLVO_TUNERMODE_ON 1
#define KLVO_TUNERMODE_ON_WITH_HISTORY 2
/* tunermethod (8360) */
#define KLVO_TUNERMETHOD_AUTOMATIC -1
#define KLVO_TUNERMETHOD_LP_QUICK 0
#define KLVO_TUNERMETHOD_MIP_QUICK 1
#define KLVO_TUNERMETHOD_MIP_COMPREHENSIVE 2
#define KLVO_TUNERMETHOD_MIP_ROOT_FOCUS 3
#define KLVO_TUNERMETHOD_MIP_TREE_FOCUS 4
#define KLVO_TUNERMETHOD_MIP_SIMPLE 5
#define KLVO_TUNERMETHOD_SLP_QUICK 6
#define KLVO_TUNERMETHOD_MISLP_QUICK 7
/* tunertarget (8362) */
#define KLVO_TUNERTARGET_AUTOMATIC -1
#define KLVO_TUNERTARGET_TIME_GAP 0
#define KLVO_TUNERTARGET_TIME_BOUND 1
#define KLVO_TUNERTARGET_TIME_OBJ_VAL 2
#define KLVO_TUNERTARGET_INTEGRAL 3
#define KLVO_TUNERTARGET_SLP_TIME 4
#define KLVO_TUNERTARGET_SLP_OBJ_VAL 5
#define KLVO_TUNERTARGET_SLP_VALIDATION 6
/* tunerhistory (8365) */
#define KLVO_TUNERHISTORY_IGNORE 0
#define KLVO_TUNERHISTORY_APPEND 1
#define KLVO_TUNERHISTORY_REUSE 2
/* computelog (8434) */
#define KLVO_COMPUTELOG_NEVER 0
#define KLVO_COMPUTELOG_REAL_TIME 1
#define KLVO_COMPUTELOG_ON_COMPLETION 2
#define KLVO_COMPUTELOG_ON_ERROR 3
/* multiobjops (8457): bits */
#define KLVO_MULTIOBJOPS_NONE 0
#define KLVO_MULTIOBJOPS_ENABLED 1
#define KLVO_MULTIOBJOPS_PRESOLVE 2
#define KLVO_MULTIOBJOPS_RCFIXING 4
#define KLVO_MULTIOBJOPS_WARM_START 8
#define KLVO_MULTIOBJOPS_EXACT_TOLERANCES 16
#define KLVO_MULTIOBJOPS_STRICT_PRIORITIES 32
#define KLVO_MULTIOBJOPS_BLEND_TIES 64
#define KLVO_MULTIOBJOPS_REPORT_EACH_STEP 128
/* iisops (8472): bits */
#define KLVO_IISOPS_ALL 0
#define KLVO_IISOPS_BOUNDS_ONLY 1
#define KLVO_IISOPS_ROWS_ONLY 2
#define KLVO_IISOPS_LINEAR_ONLY 4
#define KLVO_IISOPS_INTEGRALITY_ONLY 8
/* barhgops (8483): bits */
#define KLVO_BARHGOPS_DEFAULT 0
#define KLVO_BARHGOPS_ASYM_AVG 1
#define KLVO_BARHGOPS_START_L1 2
#define KLVO_BARHGOPS_START_L2 4
#define KLVO_BARHGOPS_START_LINF 8
#define KLVO_BARHGOPS_OMEGA_CONTRACT 16
#define KLVO_BARHGOPS_OMEGA_INF 32
#define KLVO_BARHGOPS_SCALE_ROWS 64
#define KLVO_BARHGOPS_SCALE_COLUMNS 128
/* iissolstatus (1406) */
#define KLVO_IISSOLSTATUS_UNSTARTED 0
/* miprestart (8290) */
#define KLVO_MIPRESTART_DEFAULT -1
#define KLVO_MIPRESTART_OFF 0
#define KLVO_MIPRESTART_MODERATE 1
#define KLVO_MIPRESTART_AGGRESSIVE 2

KLVO_EXTERN_C_END

#endif /* KLVO_PARAMS_H */
