"""problem.setObjective and problem.addObjective: linear, quadratic and nonlinear objectives,
the sense, further linear objectives with their controls."""
import math

import numpy as np
import pytest

import kelvo
from helpers import other_problem


@pytest.fixture
def model():
    p = kelvo.problem()
    x = p.addVariable(name="x", lb=1, ub=1)
    y = p.addVariable(name="y", lb=1, ub=1)
    z = p.addVariable(name="z", lb=2, ub=2)
    return p, x, y, z


def objval(p):
    p.optimize()
    return p.attributes.objval


def test_linear_and_quadratic_objectives_replace_each_other(t, model):
    p, x, y, z = model
    p.setObjective(x + 2 * y + 3)
    coefs, q, nobj, aux = t.objective(p)
    assert coefs == [1.0, 2.0, 0.0] and q == {} and nobj == 1
    # The constant is part of the optimal value: 1 + 2 + 3.
    assert objval(p) == pytest.approx(6.0)
    p.setObjective(x * y)
    assert t.objective(p)[:2] == ([0.0, 0.0, 0.0], {(0, 1): 1.0})
    p.setObjective(x ** 2)
    assert t.objective(p)[1] == {(0, 0): 2.0}
    # x**2 + x*z + z**2 at x = 1, z = 2 is 7.
    p.setObjective(x ** 2 + x * z + z ** 2)
    assert t.objective(p)[1] == {(0, 0): 2.0, (0, 2): 1.0, (2, 2): 2.0}
    assert objval(p) == pytest.approx(7.0)
    p.setObjective(y)
    assert t.objective(p)[:2] == ([0.0, 1.0, 0.0], {})
    assert objval(p) == pytest.approx(1.0)
    # Single-element containers, and the sense alone.
    p.setObjective([x])
    assert t.objective(p)[0] == [1.0, 0.0, 0.0]
    p.setObjective(np.array([2 * y], dtype=object))
    p.setObjective(None, sense=kelvo.maximize)
    assert p.attributes.objsense == -1.0
    assert t.objective(p)[0] == [0.0, 2.0, 0.0]


REFUSALS = [
    (lambda p, x, y: p.setObjective(x, sense=3), kelvo.ModelError, "Invalid optimization sense: 3"),
    (lambda p, x, y: p.setObjective([x, y]), kelvo.ModelError, "Use addObjective to add more than one objective"),
    (lambda p, x, y: p.setObjective(np.array([x, y], dtype=object)), kelvo.ModelError, "Use addObjective"),
    (lambda p, x, y: p.setObjective(x, objidx=-1), kelvo.ModelError, "Invalid objective index"),
    (lambda p, x, y: p.setObjective("x"), kelvo.ModelError, "Invalid object set as objective"),
    (lambda p, x, y: p.setObjective(x, weight="heavy"), TypeError, None),
    (lambda p, x, y: p.addObjective(x * x), kelvo.ModelError, "Quadratic and nonlinear objectives are not supported"),
    (lambda p, x, y: p.setObjective(y * y, objidx=1), kelvo.ModelError, "Quadratic and nonlinear objectives are not"),
    (lambda p, x, y: p.setObjective(x, objidx=1, sense=kelvo.maximize), kelvo.ModelError,
     "All objectives must have the same sense"),
    # Found only while translating: the old objective must still be whole.
    (lambda p, x, y: p.setObjective(2 * other_problem().getVariable(0)), kelvo.ModelError, "different problem"),
    (lambda p, x, y: p.setObjective(kelvo.sin(other_problem().getVariable(0))), kelvo.ModelError, "different problem"),
    (lambda p, x, y: p.setObjective(float("nan") * x + y), kelvo.ModelError, "coefficient nan is not a finite"),
    (lambda p, x, y: p.setObjective(kelvo.sin(x) * float("inf")), kelvo.ModelError, "inf is not a finite number"),
    (lambda p, x, y: p.setObjective(x - 1e60 * y), kelvo.ModelError, "-1e\\+60 is not a finite number"),
    (lambda p, x, y: p.setObjective(x + float("inf"), objidx=1), kelvo.ModelError, "inf is not a finite number"),
]


@pytest.mark.parametrize("start", ["quadratic", "nonlinear"])
@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals_keep_the_objectives(t, model, call, error, message, start):
    p, x, y, z = model
    if start == "nonlinear" and t.nlp_flag() != 1:
        pytest.skip("nonlinear layer not built")
    p.setObjective(x * y + 2 * y if start == "quadratic" else kelvo.exp(x) + 2 * y)
    before = t.objective(p)
    with pytest.raises(error, match=message):
        call(p, x, y)
    assert t.objective(p) == before and p.attributes.objsense == 1.0


def test_further_objectives_and_their_controls(t, model):
    p, x, y, z = model
    p.setObjective(z)
    p.addObjective(2 * x + 7, priority=3, abstol=0.5, reltol=0.25)
    assert t.objective(p)[0] == [0.0, 0.0, 1.0] and t.objective(p)[2] == 2
    coefs1, priority, weight, abstol, reltol, constant = t.objn(p, 1)
    assert coefs1 == [2.0, 0.0, 0.0]
    assert (priority, abstol, reltol, constant) == (3, 0.5, 0.25, 7.0)
    p.setObjective(3 * y + z, objidx=1, priority=2, weight=0.5)
    coefs1, priority, weight, abstol, reltol, constant = t.objn(p, 1)
    assert coefs1 == [0.0, 3.0, 1.0] and priority == 2 and weight == 0.5
    # Replacing it clears the old coefficients.
    p.setObjective(x, objidx=1)
    assert t.objn(p, 1)[0] == [1.0, 0.0, 0.0]
    # On an empty objective the first one added starts at zero.
    q = kelvo.problem()
    a, b = q.addVariables(2)
    q.addObjective(a, b, weight=2)
    coefs, _, nobj, _ = t.objective(q)
    assert nobj == 2 and coefs == [1.0, 0.0]
    assert t.objn(q, 1)[0] == [0.0, 1.0] and t.objn(q, 1)[2] == t.objn(q, 0)[2] == 2.0
    # Each objective has its own attribute accessor.
    assert len(q.objattribs) == 2
    q.objattribs[1]
    with pytest.raises(IndexError):
        q.objattribs[2]


def test_nonlinear_objective_uses_an_auxiliary_row_and_column(t, model, nonlinear):
    p, x, y, z = model
    p.setObjective(kelvo.exp(x) + y)
    coefs, q, nobj, (flag, auxcol, auxrow) = t.objective(p)
    assert flag == 1 and auxcol == 3 and auxrow == 0
    assert coefs == [0.0, 1.0, 0.0, 1.0]
    rows = t.rows(p)
    assert rows == [("E", 0.0, 0.0, "objtransferrow", [(3, -1.0)], [])]
    assert t.columns(p)[3] == (-1e20, 1e20, "C", "objtransfercol")
    assert t.formulas(p) == [(0, -1000, 1.0, [(22, 0.0), (10, 0.0), (12, 16.0), (0, 0.0)])]
    # A linear objective removes the auxiliary structure again.
    p.setObjective(2 * z)
    coefs, q, nobj, (flag, auxcol, auxrow) = t.objective(p)
    assert (flag, auxcol, auxrow) == (0, -1, -1)
    assert coefs == [0.0, 0.0, 2.0]
    assert t.rows(p) == [] and len(t.columns(p)) == 3
    assert t.formulas(p) == []
    # A column and a row added after the auxiliary ones move down when a new objective
    # replaces it, and so do their variable and constraint.
    p.setObjective(kelvo.exp(x) + y)
    w = p.addVariable(lb=3, ub=3)
    c = kelvo.constraint(w + y <= 10)
    p.addConstraint(c)
    p.setObjective(kelvo.cos(w) + kelvo.sin(z) * x)
    assert objval(p) == pytest.approx(math.cos(3) + math.sin(2))
    p.setObjective(2 * w + z)
    assert objval(p) == pytest.approx(8.0) and p.getSolution(w) == pytest.approx(3.0)
    assert p.getSlacks(c) == pytest.approx(6.0)
    # Columns and rows added after a nonlinear objective go before its auxiliary pair, which
    # follows deletions and is not the user's to delete.
    p.setObjective(kelvo.exp(x) + w)
    d = p.addVariable(lb=5, ub=5)
    p.addConstraint(d + w <= 9)
    p.addcols([0.0], [0, 1], [0], [1.0], [0.0], [4.0], names=["e"])  # matrix-level additions too
    p.addrows(["L"], [7.0], [0, 1], ["e"], [1.0], names=["r"])
    assert p.getVariable()[-1].name == "e" and p.getConstraint()[-1].name == "r"
    p.delVariable(y)
    p.delConstraint(c)
    columns, rows = t.columns(p), t.rows(p)
    assert t.objective(p)[3] == (1, len(columns) - 1, len(rows) - 1) and columns[-1][3] == "objtransfercol"
    assert objval(p) == pytest.approx(math.e + 3) and p.getSolution(d) == pytest.approx(5.0)
    with pytest.raises(kelvo.ModelError, match="auxiliary column"):
        p.delVariable(len(columns) - 1)
