"""Named values of the enumerated controls and attributes of kelvo problems.

Reading an enumerated control or attribute (``problem.controls.presolve``,
``problem.getAttrib('lpstatus')``) gives a member of one of these classes; as they are
integers, members can be passed wherever a control takes an integer value.

Controls marked "stored only" are kept and read back by the solver library but do not yet
change how it solves; their classes still name every value the library accepts.
"""

from enum import IntEnum


class _BitSet(IntEnum):
    """Base of controls whose value is a sum of independent bits.

    Every sum of the named bits is accepted: values that are not a single named member come
    back as a member whose name lists its bits, e.g. ``DUAL|BARRIER``.
    """

    @classmethod
    def _missing_(cls, value):
        if not isinstance(value, int) or isinstance(value, bool):
            return None
        bits = [m for m in cls if m.value > 0 and m.value & (m.value - 1) == 0]
        mask = sum(m.value for m in bits)
        if value < 0 or value & ~mask:
            return None
        member = int.__new__(cls, value)
        member._name_ = "|".join(m.name for m in bits if value & m.value)
        member._value_ = value
        return member


# ---- Attributes ------------------------------------------------------------------------


class LPStatus(IntEnum):
    """Outcome of the last continuous solve (attribute lpstatus)."""

    UNSTARTED = 0
    OPTIMAL = 1
    INFEASIBLE = 2
    CUTOFF = 3
    UNFINISHED = 4  # stopped by a limit or an interrupt
    UNBOUNDED = 5
    CUTOFF_IN_DUAL = 6
    UNSOLVED = 7  # the engine failed
    NONCONVEX = 8


class MIPStatus(IntEnum):
    """Outcome of the last integer solve (attribute mipstatus)."""

    NOT_LOADED = 0
    LP_NOT_OPTIMAL = 1
    LP_OPTIMAL = 2
    NO_SOLUTION_FOUND = 3  # stopped without a feasible solution
    SOLUTION = 4  # stopped with a feasible solution
    INFEASIBLE = 5
    OPTIMAL = 6
    UNBOUNDED = 7


class SolStatus(IntEnum):
    """What the current solution is (attribute solstatus)."""

    NOT_FOUND = 0
    OPTIMAL = 1
    FEASIBLE = 2
    INFEASIBLE = 3
    UNBOUNDED = 4


class SolveStatus(IntEnum):
    """How the last solve ended (attribute solvestatus)."""

    UNSTARTED = 0
    STOPPED = 1  # a limit or an interrupt stopped it
    FAILED = 2
    COMPLETED = 3


class OptimizeType(IntEnum):
    """Which kind of solve ran last (attribute optimizetypeused)."""

    NONE = -1
    LP = 0
    MIP = 1
    NLP = 2


class IISSolStatus(IntEnum):
    """State of the search for an irreducible infeasible set (attribute iissolstatus)."""

    UNSTARTED = 0


# ---- Controls that steer the solve --------------------------------------------------------


class Presolve(IntEnum):
    """Control presolve."""

    NONE = 0
    DEFAULT = 1


class Pricing(IntEnum):
    """Control pricing: pricing of the primal simplex."""

    AUTOMATIC = -1
    DANTZIG = 0
    DEVEX = 1
    STEEPEST_EDGE = 2


class DualGradient(IntEnum):
    """Control dualgradient: pricing of the dual simplex."""

    AUTOMATIC = -1
    DEVEX = 0
    STEEPEST_EDGE = 1


class DefaultAlg(IntEnum):
    """Control defaultalg: the algorithm for continuous problems."""

    AUTOMATIC = 1
    DUAL = 2
    PRIMAL = 3
    BARRIER = 4


class LPFlags(_BitSet):
    """Control lpflags: algorithm bits for continuous problems; none defers to defaultalg."""

    USE_DEFAULTALG = 0
    DUAL = 1
    PRIMAL = 2
    BARRIER = 4


class OutputDetail(IntEnum):
    """Control outputlog: which solver messages are passed on."""

    NONE = 0
    ALL = 1
    ALL_MESSAGES = 2  # accepted; passes everything on, as ALL
    ERRORS_AND_WARNINGS = 3
    ERRORS = 4


class AlwaysNeverAutomatic(IntEnum):
    """Controls symmetry, crossover, dualize, rootheuristics and localsearch."""

    AUTOMATIC = -1
    NEVER = 0
    ALWAYS = 1


class OnOff(IntEnum):
    """Controls scaling and parallelsimplex."""

    OFF = 0
    ON = 1


class MipRestart(IntEnum):
    """Control miprestart: restarts of an integer search."""

    DEFAULT = -1
    OFF = 0
    MODERATE = 1
    AGGRESSIVE = 2


# ---- Controls stored only -----------------------------------------------------------------


class VariableSelection(IntEnum):
    """Control varselection (stored only): how a branching variable is scored."""

    AUTOMATIC = -1
    MOST_FRACTIONAL = 0
    MIN_UP_DOWN = 1
    SUM_UP_DOWN = 2
    MAX_UP_DOWN_SUM_MIN = 3
    MAX_UP_DOWN = 4


class NodeSelectionCriteria(IntEnum):
    """Control nodeselection (stored only): which node is explored next."""

    LOCAL_FIRST = 1
    BEST_FIRST = 2
    LOCAL_DEPTH_FIRST = 3
    BEST_FIRST_THEN_LOCAL_FIRST = 4
    DEPTH_FIRST = 5


class BacktrackAlg(IntEnum):
    """Controls backtrack and backtracktie (stored only): which node to go back to."""

    AUTOMATIC = -1
    NONE = 0
    BEST_ESTIMATE = 1
    BEST_ESTIMATE_MIN_INFEAS = 2
    BEST_BOUND = 3
    DEEPEST_NODE = 4
    HIGHEST_NODE = 5
    EARLIEST_NODE = 6
    LATEST_NODE = 7
    RANDOM = 8
    MIN_INFEAS = 9
    BEST_ESTIMATE_OR_BOUND = 10
    BEST_BOUND_THEN_ESTIMATE = 11


class CholeskyAlgorithm(_BitSet):
    """Control choleskyalg (stored only): factorisation choices of the interior point method."""

    AUTOMATIC = -1
    PULL_CHOLESKY = 1
    MULTI_PASS = 2
    DENSE_COLUMNS = 4
    MANUAL_PIVOTING = 8
    STRICT_PIVOTING = 16
    CONSERVATIVE_SCALING = 32
    HIGH_PRECISION = 64
    SINGLE_PASS_SOLVE = 128


class BarOrder(IntEnum):
    """Control barorder (stored only): ordering of the interior point factorisation."""

    AUTOMATIC = 0
    MIN_DEGREE = 1
    MIN_LOCAL_FILL = 2
    NESTED_DISSECTION = 3


class CutStrategy(IntEnum):
    """Control cutstrategy (stored only)."""

    AUTOMATIC = -1
    NONE = 0
    CONSERVATIVE = 1
    MODERATE = 2
    AGGRESSIVE = 3


class BranchChoice(IntEnum):
    """Control branchchoice (stored only): which branch of a node is explored first."""

    MIN_EST_FIRST = 0
    MAX_EST_FIRST = 1
    DOWN_FIRST = 2
    UP_FIRST = 3


class DualStrategy(_BitSet):
    """Control dualstrategy (stored only): choices of the dual simplex."""

    NONE = 0
    REMOVE_INFEAS_WITH_PRIMAL = 1
    REMOVE_INFEAS_WITH_DUAL = 2
    STOP_ON_PERTURBATION = 4
    PERTURB_COSTS = 8
    SHIFT_BOUNDS = 16
    FULL_PRICING = 32
    REFACTOR_ON_STALL = 64
    KEEP_BASIS_ON_STALL = 128


class FeasibilityPump(IntEnum):
    """Control feaspump (stored only)."""

    OFF = 0
    ALWAYS = 1
    LAST_RESORT = 2


class PresolveCoefElim(IntEnum):
    """Control precoefelim (stored only): elimination of matrix coefficients in presolve."""

    DISABLED = 0
    AGGRESSIVE = 1
    CAUTIOUS = 2


class PresolveDomColumn(IntEnum):
    """Control predomcol (stored only): removal of dominated columns in presolve."""

    AUTOMATIC = -1
    DISABLED = 0
    CAUTIOUS = 1
    AGGRESSIVE = 2


class PresolveDomRow(IntEnum):
    """Control predomrow (stored only): removal of dominated rows in presolve."""

    AUTOMATIC = -1
    DISABLED = 0
    CAUTIOUS = 1
    MEDIUM = 2
    AGGRESSIVE = 3


class HeuristicSearchSelect(_BitSet):
    """Controls heursearchrootselect and heursearchtreeselect (stored only): which local
    search heuristics run."""

    NONE = 0
    LOCAL_SEARCH_LARGE_NEIGHBOURHOOD = 1
    LOCAL_SEARCH_NODE_NEIGHBOURHOOD = 2
    LOCAL_SEARCH_BACKTRACK_NEIGHBOURHOOD = 4
    LOCAL_SEARCH_FIXING = 8
    LOCAL_SEARCH_RELAXATION_INDUCED = 16
    LOCAL_SEARCH_OBJECTIVE_GUIDED = 32
    LOCAL_SEARCH_RANDOM_FIXING = 64
    LOCAL_SEARCH_PROXIMITY = 128


class PreProbing(IntEnum):
    """Control preprobing (stored only): probing on binary variables in presolve."""

    AUTOMATIC = -1
    DISABLED = 0
    LIGHT = 1
    FULL = 2
    FULL_AND_REPEAT = 3


class PrimalUnshift(IntEnum):
    """Control primalunshift (stored only)."""

    ALLOW_DUAL_UNSHIFT = 0
    NO_DUAL_UNSHIFT = 1


class RepairIndefiniteQuadratic(IntEnum):
    """Control repairindefiniteq (stored only)."""

    REPAIR_IF_POSSIBLE = 0
    NO_REPAIR = 1


class BarPresolveOps(_BitSet):
    """Control barpresolveops (stored only): extra presolve for the interior point method."""

    STANDARD_PRESOLVE = 0
    EXTRA_BARRIER_PRESOLVE = 1
    SPLIT_DENSE_COLUMNS = 2


class TunerMode(IntEnum):
    """Control tunermode (stored only)."""

    AUTOMATIC = -1
    OFF = 0
    ON = 1
    ON_WITH_HISTORY = 2


class TunerMethod(IntEnum):
    """Control tunermethod (stored only): the set of settings a tuner would try."""

    AUTOMATIC = -1
    LP_QUICK = 0
    MIP_QUICK = 1
    MIP_COMPREHENSIVE = 2
    MIP_ROOT_FOCUS = 3
    MIP_TREE_FOCUS = 4
    MIP_SIMPLE = 5
    SLP_QUICK = 6
    MISLP_QUICK = 7


class TunerTarget(IntEnum):
    """Control tunertarget (stored only): what a tuner would minimise."""

    AUTOMATIC = -1
    TIME_GAP = 0
    TIME_BOUND = 1
    TIME_OBJ_VAL = 2
    INTEGRAL = 3
    SLP_TIME = 4
    SLP_OBJ_VAL = 5
    SLP_VALIDATION = 6


class TunerHistory(IntEnum):
    """Control tunerhistory (stored only)."""

    IGNORE = 0
    APPEND = 1
    REUSE = 2


class ComputeLog(IntEnum):
    """Control computelog (stored only): log of remote solves."""

    NEVER = 0
    REAL_TIME = 1
    ON_COMPLETION = 2
    ON_ERROR = 3


class MultiObjOps(_BitSet):
    """Control multiobjops (stored only): handling of several objectives."""

    NONE = 0
    ENABLED = 1
    PRESOLVE = 2
    RCFIXING = 4
    WARM_START = 8
    EXACT_TOLERANCES = 16
    STRICT_PRIORITIES = 32
    BLEND_TIES = 64
    REPORT_EACH_STEP = 128


class IISOps(_BitSet):
    """Control iisops (stored only): what a search for an infeasible set may relax."""

    ALL = 0
    BOUNDS_ONLY = 1
    ROWS_ONLY = 2
    LINEAR_ONLY = 4
    INTEGRALITY_ONLY = 8


class BARHGOps(_BitSet):
    """Control barhgops (stored only): choices of the first-order interior method."""

    DEFAULT = 0
    ASYM_AVG = 1
    START_L1 = 2
    START_L2 = 4
    START_LINF = 8
    OMEGA_CONTRACT = 16
    OMEGA_INF = 32
    SCALE_ROWS = 64
    SCALE_COLUMNS = 128


# ---- Name types ----------------------------------------------------------------------------


class Namespaces(IntEnum):
    """Kinds of model element that carry names (the type argument of addnames, getnames, ...)."""

    ROW = 1
    COLUMN = 2
    SET = 3
