"""Solving and reading solutions back: statuses, shapes of the query results, the LP duality
relations, the errors before a solve, the deprecated forms and the published instances."""

import itertools
import math
import re
import sys
import warnings

import numpy as np
import pytest

import kelvo
from helpers import DATA, PRODUCTION_LP, other_problem
from kelvo.enums import SolStatus, SolveStatus


# Diet: min 2a + 3b  s.t.  protein: a + 2b >= 4,  fibre: 3a + b >= 6.
# Optimum a = 1.6, b = 1.2, value 6.8; duals (1.4, 0.2).
DIET_LP = """\
Minimize
 cost: 2 a + 3 b
Subject To
 protein: a + 2 b >= 4
 fibre: 3 a + b >= 6
End
"""

# max 5p + 4q + 3r  s.t.  cap: 2p + 3q + r <= 5, p, q, r binary.  Of the feasible pairs {p, q}
# (weight 5, value 9), {p, r} (3, 8) and {q, r} (4, 7) the first is best: p = q = 1, value 9.
SMALL_MIP = """\
Maximize
 obj: 5 p + 4 q + 3 r
Subject To
 cap: 2 p + 3 q + r <= 5
Binaries
 p q r
End
"""


def read_problem(tmp_path, text, name="model.lp"):
    path = tmp_path / name
    path.write_text(text)
    p = kelvo.problem()
    p.read(str(path))
    return p


@pytest.fixture
def production(tmp_path):
    return read_problem(tmp_path, PRODUCTION_LP)


@pytest.fixture
def diet(tmp_path):
    return read_problem(tmp_path, DIET_LP)


def by_name(p):
    """The problem's variables and constraints keyed by name."""
    return {str(v): v for v in p.getVariable()}, {c.name: c for c in p.getConstraint()}


def test_optimize_and_solve_return_enum_members(production, diet):
    status = production.optimize()
    assert status == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
    assert type(status[0]) is SolveStatus and type(status[1]) is SolStatus
    assert diet.solve() == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
    assert diet.attributes.objval == pytest.approx(6.8)
    # A reset problem is empty and solves.
    production.reset()
    assert production.optimize()[0] == SolveStatus.COMPLETED
    assert production.getSolution() == []


def test_lpoptimize_relaxes_integrality(tmp_path):
    p = read_problem(tmp_path, SMALL_MIP)
    assert p.lpoptimize() is None
    # The relaxation takes r and p whole (best value per weight) and 2/3 of q: 3 + 5 + 8/3.
    assert p.attributes.lpobjval == pytest.approx(8 + 8 / 3)
    assert p.getSolution() == pytest.approx([1.0, 2 / 3, 1.0])
    assert p.mipoptimize() is None
    assert p.attributes.mipobjval == pytest.approx(9.0)
    assert p.getSolution() == pytest.approx([1.0, 1.0, 0.0])
    with pytest.raises(kelvo.ModelError, match="Dual values are not available"):
        p.getDuals()


def test_the_iteration_and_time_limits_stop_a_qp_that_cycles():
    # A degenerate QP on which the engine's active-set QP solver cycles without end: the limits
    # the user sets must stop it (stop status 4, iteration limit; 1, time limit).
    p = kelvo.problem()
    x = p.addVariables(3, lb=-2, ub=3)
    y = p.addVariable(lb=0, ub=4)
    p.addConstraint(x[0] + 2 * x[1] <= 3)
    p.setObjective((y + 2.5) ** 2)
    p.setOutputEnabled(False)
    p.controls.lpiterlimit = 1000
    p.optimize()
    assert p.attributes.stopstatus == 4
    p.controls.lpiterlimit = 2**31 - 1
    p.controls.timelimit = 0.5
    p.optimize()
    assert p.attributes.stopstatus == 1


# ---- queries that are refused ------------------------------------------------------------------

def solved(p):
    p.optimize()


def grown(p):
    p.optimize()
    p.addVariable(name="w")  # the solution lapses


# (state before the call, call on the production model, exception, message)
QUERY_REFUSALS = [
    *[(None, lambda p, m=m: getattr(p, m)(), kelvo.ModelError, f"^{text} not available$")
      for m, text in (("getSolution", "Solution is"), ("getDuals", "Dual values are"), ("getSlacks", "Slack values are"),
                      ("getRedCosts", "Reduced costs are"), ("getCallbackSolution", "Solution is"),
                      ("getCallbackDuals", "Dual values are"), ("getCallbackSlacks", "Slack values are"),
                      ("getCallbackRedCosts", "Reduced costs are"))],
    (None, lambda p: kelvo.evaluate(p.getVariable(0), problem=p), kelvo.ModelError, "^Solution is not available$"),
    (solved, lambda p: p.getCallbackSolution(), kelvo.ModelError, "^Solution is not available$"),
    (grown, lambda p: p.getSolution(), kelvo.ModelError, "^Solution is not available$"),
    (grown, lambda p: p.getRedCosts(), kelvo.ModelError, "^Reduced costs are not available$"),
    *[(solved, lambda p, b=b: p.getSolution(b), kelvo.ModelError, "^Index out of range$") for b in (-1, 2, "nosuch")],
    (solved, lambda p: p.getDuals(1.5), kelvo.ModelError, "Incorrect object"),
    (solved, lambda p: p.getDuals([0, 3]), kelvo.ModelError, "Index out of range"),
    (solved, lambda p: p.getDuals(p.getVariable(0)), kelvo.ModelError, "Incorrect object"),
    (solved, lambda p: p.getRedCosts(other_problem().getVariable(0)), kelvo.ModelError, "Variable is from a different problem"),
    (None, lambda p: p.optimize(3), TypeError, None),
]


@pytest.mark.parametrize("state,call,error,message", QUERY_REFUSALS)
def test_refused_queries(production, state, call, error, message):
    if state:
        state(production)
    with pytest.raises(error, match=message):
        call(production)


# ---- shapes of the query results ---------------------------------------------------------------


def test_solution_by_object_name_index_and_structure(production):
    production.optimize()
    vs, _ = by_name(production)
    x, y = vs["x"], vs["y"]
    assert production.getSolution() == pytest.approx([2.0, 6.0])
    assert production.getSolution(x) == pytest.approx(2.0)
    assert production.getSolution("y") == pytest.approx(6.0)
    assert production.getSolution(b"y") == pytest.approx(6.0)
    assert production.getSolution(1) == pytest.approx(6.0)
    assert production.getSolution(np.int32(0)) == pytest.approx(2.0)
    assert production.getSolution([x, y]) == pytest.approx([2.0, 6.0])
    nested = production.getSolution([[x, y], (y,), {"k": x}])
    assert nested[0] == pytest.approx([2.0, 6.0])
    assert isinstance(nested[1], tuple) and nested[1] == pytest.approx((6.0,))
    assert nested[2] == {"k": pytest.approx(2.0)}
    assert production.getSolution(3 * x + 5 * y) == pytest.approx(36.0)
    assert production.getSolution(x, y) == pytest.approx((2.0, 6.0))
    # Only the True object flattens.
    assert production.getSolution([[x, y], [x]], flatten=True) == pytest.approx([2.0, 6.0, 2.0])
    kept = production.getSolution([[x, y], [x]], flatten=1)
    assert kept[0] == pytest.approx([2.0, 6.0]) and kept[1] == pytest.approx([2.0])
    # A NumPy array of variables keeps its shape.
    values = production.getSolution(np.array([[x, y], [y, x]], dtype=object))
    assert values.shape == (2, 2) and values.ravel().tolist() == pytest.approx([2.0, 6.0, 6.0, 2.0])
    # kelvo.evaluate reads the current solution; a given solution wins over it.
    assert kelvo.evaluate([x, {"y": y * y}], problem=production) == [pytest.approx(2.0), {"y": pytest.approx(36.0)}]
    assert kelvo.evaluate(x + y, problem=production, solution=[1.0, 1.0]) == 2.0


def test_row_queries_by_constraint_name_and_index(production):
    production.optimize()
    _, cs = by_name(production)
    c1, c2, c3 = cs["plant1"], cs["plant2"], cs["plant3"]
    duals = production.getDuals()
    assert isinstance(duals, list) and len(duals) == 3
    assert production.getDuals(c2) == pytest.approx(1.5)
    assert production.getDuals(c2, c3) == pytest.approx([1.5, 1.0])
    assert production.getDuals([c2, c3]) == pytest.approx([1.5, 1.0])
    assert production.getDuals("plant3") == pytest.approx(1.0)
    assert production.getSlacks(0) == pytest.approx(2.0)
    assert production.getSlacks([c1, [c2, (c3,)]]) == pytest.approx([2.0, 0.0, 0.0])
    assert production.getSlacks(iter([c1, c1])) == pytest.approx([2.0, 2.0])


# ---- duality -----------------------------------------------------------------------------------


def test_duals_slacks_and_reduced_costs_keep_their_signs(diet, production):
    # Every algorithm and the finite-difference meaning of the duals are checked in the
    # library's tests; here, the minimising and the maximising model through the module.
    diet.optimize()
    assert diet.getSolution() == pytest.approx([1.6, 1.2])
    assert diet.getDuals() == pytest.approx([1.4, 0.2])
    for v, dj in zip(diet.getSolution(), diet.getRedCosts()):
        assert v * dj == pytest.approx(0.0, abs=1e-7)
    production.optimize()
    assert production.getDuals() == pytest.approx([0.0, 1.5, 1.0])
    assert production.getSlacks() == pytest.approx([2.0, 0.0, 0.0])
    assert production.getRedCosts() == pytest.approx([0.0, 0.0], abs=1e-9)


# ---- deprecated forms --------------------------------------------------------------------------


def test_old_getters_objval_and_status_strings(production, tmp_path):
    with pytest.warns(kelvo.DeprecationWarning):
        assert production.getProbStatusString() == "lp_unstarted"
    production.optimize()
    for old, new in (("getDual", "getDuals"), ("getSlack", "getSlacks"), ("getRCost", "getRedCosts")):
        with pytest.warns(kelvo.DeprecationWarning, match="use problem." + new + " instead"):
            assert getattr(production, old)() == getattr(production, new)()
    # Turned into an error, the warning stops the query.
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            production.getDual()
    with pytest.warns(kelvo.DeprecationWarning, match="attributes.objval"):
        assert production.getObjVal() == pytest.approx(36.0)
    with pytest.warns(kelvo.DeprecationWarning, match="solvestatus"):
        assert production.getProbStatus() == 1
        assert production.getProbStatusString() == "lp_optimal"
    mip = read_problem(tmp_path, SMALL_MIP, "mip.lp")
    mip.optimize()
    with pytest.warns(kelvo.DeprecationWarning):
        assert mip.getObjVal() == pytest.approx(9.0)
        assert mip.getProbStatusString() == "mip_optimal"
        assert mip.getProbStatus() == 6


# ---- published instances -----------------------------------------------------------------------


def published():
    """(file, kind, rows, cols, optimum or None when infeasible) of every model in the data README."""
    rows = []
    for line in (DATA / "README.md").read_text().splitlines():
        m = re.match(r"\|\s*(\S+\.mps)\s*\|\s*(\w+)[^|]*\|\s*(\d+)\s*x\s*(\d+)\s*\|\s*(\S+)\s*\|", line)
        if m:
            optimum = None if m.group(5) == "infeasible" else float(m.group(5))
            rows.append((m.group(1), m.group(2), int(m.group(3)), int(m.group(4)), optimum))
    return rows


@pytest.mark.parametrize("name,kind,rows,cols,optimum", published())
def test_read_and_solve_gives_published_sizes_and_optimum(name, kind, rows, cols, optimum):
    p = kelvo.problem()
    p.read(str(DATA / name))
    assert (p.attributes.rows, p.attributes.cols) == (rows, cols)
    variables, constraints = p.getVariable(), p.getConstraint()
    assert [v.index for v in variables] == list(range(cols))
    assert [c.index for c in constraints] == list(range(rows))
    assert [p.getIndex(c) for c in constraints[:5]] == list(range(min(5, rows)))
    # Every optimum is checked by the library's tests; two of them go through the module too.
    if name not in ("afiro.mps", "woodinfe.mps"):
        return
    status = p.optimize()
    if optimum is None:
        assert status == (SolveStatus.COMPLETED, SolStatus.INFEASIBLE)
        with pytest.raises(kelvo.ModelError, match="^Solution is not available$"):
            p.getSolution()
        return
    assert status == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
    assert p.attributes.objval == pytest.approx(optimum, rel=1e-6)


def test_queries_and_evaluation_keep_reference_counts(production):
    production.optimize()
    vs, cs = by_name(production)
    x, c = vs["x"], cs["plant2"]
    before = (sys.getrefcount(x), sys.getrefcount(c))
    for _ in range(200):
        production.getSolution(x)
        production.getSolution([x, {"k": (x,)}])
        production.getDuals([c, "plant2", 0])
        kelvo.evaluate(x * x + 2 * x, problem=production)
        x.extractLinear()
        (x * x).extractQuadratic()
        try:
            production.getSolution([x, "nosuch"])
        except kelvo.ModelError:
            pass
    assert (sys.getrefcount(x), sys.getrefcount(c)) == before


def test_an_miqp_with_an_indicator_and_an_absolute_value_solves_as_enumeration_says():
    # min sum (x_i - t_i)^2 + 0.3 |x_2| + 0.5 (1 - b) over integers x_0, x_1 in [0, 4] and
    # x_2 in [-4, 4], where b = 1 forces x_0 + x_1 <= 3: enumerated with the best b for each x.
    target = [2.6, 1.7, -3.2]
    best = min(sum((xi - ti) ** 2 for xi, ti in zip(x, target)) + 0.3 * abs(x[2]) + (0.5 if x[0] + x[1] > 3 else 0)
               for x in itertools.product(range(5), range(5), range(-4, 5)))

    p = kelvo.problem()
    x = [p.addVariable(lb=lb, ub=4, vartype=kelvo.integer) for lb in (0, 0, -4)]
    a = p.addVariable(lb=0, ub=4)
    b = p.addVariable(vartype=kelvo.binary)
    p.addConstraint(x[0] + x[1] <= 3)
    p.setindicators([p.getConstraint(0)], [b], [1])
    p.addgencons([4], [a], [0], [x[2]])
    p.setObjective(kelvo.Sum((xi - ti) * (xi - ti) for xi, ti in zip(x, target)) + 0.3 * a + 0.5 - 0.5 * b)
    p.controls.outputlog = 0
    p.optimize()
    assert p.attributes.mipstatus == 6
    assert p.attributes.mipobjval == pytest.approx(best, abs=1e-6)
    assert p.getSolution(a) == pytest.approx(abs(p.getSolution(x[2])), abs=1e-6)


def test_an_minlp_with_a_nonlinear_objective_solves_as_enumeration_says():
    # The nonlinear objective lives in an auxiliary column that the nonlinear engine substitutes
    # away; every node relaxation must still map its bounds and points between the two spaces.
    # min (x - 1.4)^4 + exp(0.3 y) - y over integers x in [0, 3], y in [0, 6], with x + y <= 6.
    best = min((x - 1.4) ** 4 + math.exp(0.3 * y) - y for x in range(4) for y in range(7) if x + y <= 6)
    p = kelvo.problem()
    x = p.addVariable(ub=3, vartype=kelvo.integer)
    y = p.addVariable(ub=6, vartype=kelvo.integer)
    p.addConstraint(x + y <= 6)
    p.setObjective((x - 1.4) ** 4 + kelvo.exp(0.3 * y) - y)
    p.controls.outputlog = 0
    p.optimize()
    assert p.getSolution(x) + p.getSolution(y) <= 6 + 1e-6
    assert p.attributes.objval == pytest.approx(best, abs=1e-5)
