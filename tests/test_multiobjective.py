"""Several objectives solved through problem.addObjective: the lexicographic optimum against
exhaustive search over a small integer model, and each objective's results read back."""
import itertools
import math

import pytest

import kelvo

ROWS = [([2, 3, 4], 12), ([1, 1, 1], 4)]
PROFIT, PROFIT_CONSTANT = [3, 4, 5], 1.0
SPREAD = [1, 0, -1]


def feasible_points():
    for x in itertools.product(range(6), repeat=3):
        if all(sum(a * v for a, v in zip(row, x)) <= rhs for row, rhs in ROWS):
            yield x


def value(coefs, x, constant=0.0):
    return sum(c * v for c, v in zip(coefs, x)) + constant


@pytest.mark.parametrize("abstol, reltol", [(2.0, 0.0), (0.0, 0.25)])
def test_lexicographic_optimum_matches_exhaustive_search(abstol, reltol):
    p = kelvo.problem()
    x = p.addVariables(3, vartype=kelvo.integer, ub=5)
    for row, rhs in ROWS:
        p.addConstraint(kelvo.Sum(a * x[j] for j, a in enumerate(row)) <= rhs)
    profit = kelvo.Sum(c * x[j] for j, c in enumerate(PROFIT)) + PROFIT_CONSTANT
    p.setObjective(profit, sense=kelvo.maximize, priority=2, abstol=abstol, reltol=reltol)
    p.addObjective(kelvo.Sum(c * x[j] for j, c in enumerate(SPREAD)), priority=1)
    p.controls.miprelstop = 0.0
    p.optimize()

    # By enumeration: the best profit, then the best spread among the points that lose no more
    # profit than allowed.
    points = list(feasible_points())
    best = max(value(PROFIT, x, PROFIT_CONSTANT) for x in points)
    allowed = max(abstol, reltol * abs(best))
    near = [x for x in points if value(PROFIT, x, PROFIT_CONSTANT) >= best - allowed]
    spread = max(value(SPREAD, x) for x in near)

    solution = p.getSolution(x)
    assert p.attributes.solstatus == kelvo.enums.SolStatus.OPTIMAL
    assert value(SPREAD, solution) == pytest.approx(spread)
    assert value(PROFIT, solution, PROFIT_CONSTANT) >= best - allowed - 1e-6
    assert len(p.objattribs) == 2
    assert p.objattribs[0].objval == pytest.approx(value(PROFIT, solution, PROFIT_CONSTANT))
    assert p.objattribs[1].objval == pytest.approx(spread)
    assert p.attributes.objval == pytest.approx(p.objattribs[0].objval)
    # Each objective's stage: both ended optimal, and the problem's time covers both.
    for k in range(2):
        assert p.getAttrib("mipstatus", solveidx=k) == kelvo.enums.MIPStatus.OPTIMAL
        assert 0 <= p.objattribs[k].time <= p.attributes.time


def test_nonlinear_rows_take_several_objectives(nonlinear):
    p = kelvo.problem()
    x, y = p.addVariables(2, lb=-5, ub=5)
    p.addConstraint(kelvo.exp(x) + kelvo.exp(y) <= 2 * math.e)
    p.setObjective(x + y, sense=kelvo.maximize, priority=2, abstol=0.5)
    p.addObjective(x, priority=1)
    p.optimize()
    # x + y is best at x = y = 1 and may fall to 1.5; the largest x then has
    # exp(x) + exp(1.5 - x) = 2e, found by bisection on [0.75, 5] where the left side grows.
    lo, hi = 0.75, 5.0
    for _ in range(100):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if math.exp(mid) + math.exp(1.5 - mid) < 2 * math.e else (lo, mid)
    assert p.getSolution(x) == pytest.approx(lo, abs=1e-5)
    assert p.objattribs[0].objval == pytest.approx(1.5, abs=1e-5)
    with pytest.warns(Warning, match="Deprecated"):  # read from the nonlinear layer
        assert p.getObjVal() == pytest.approx(1.5, abs=1e-5)
