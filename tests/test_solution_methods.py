"""Matrix-level solution methods: solution vectors and single values, rays, loaded starts,
values calculated at a given point and infeasibilities, checked against hand-worked results."""

import warnings

import numpy as np
import pytest

import kelvo
from kelvo.enums import SolStatus, SolveStatus

GET_SOLUTION = "Deprecated in Kelvo 9.5: use problem.getSolution and related functions instead"
GET_CALLBACK_SOLUTION = "Deprecated in Kelvo 9.5: use problem.getCallbackSolution and related functions instead"


def production():
    """max 3x + 5y with c1: x <= 4, c2: 2y <= 12, c3: 3x + 2y <= 18: optimum (2, 6), value 36,
    slacks (2, 0, 0), duals (0, 1.5, 1)."""
    p = kelvo.problem()
    p.controls.outputlog = 0
    x, y = p.addVariables(2, name="")
    p.addConstraint(x <= 4, 2 * y <= 12, 3 * x + 2 * y <= 18)
    p.setObjective(3 * x + 5 * y, sense=kelvo.maximize)
    return p, (x, y), p.getConstraint()


def test_solution_vectors_and_single_values_agree_with_the_modelling_queries(t):
    p, (x, y), (c1, c2, c3) = production()
    p.optimize()
    vectors = [[], [7.0] * 5, [], []]  # a longer list is cut to the results
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        p.getlpsol(*vectors)
    assert vectors == [pytest.approx(v) for v in (p.getSolution(), p.getSlacks(), p.getDuals(), p.getRedCosts())]
    assert vectors[:3] == [pytest.approx([2, 6]), pytest.approx([2, 0, 0]), pytest.approx([0, 1.5, 1])]
    presolved = [[], [], [], []]
    p.getpresolvesol(*presolved)
    assert presolved == vectors

    with pytest.warns(kelvo.DeprecationWarning, match=GET_SOLUTION):
        assert p.getlpsolval(col=0) == (pytest.approx(2), -1e20, -1e20, pytest.approx(0))
    with pytest.warns(kelvo.DeprecationWarning, match=GET_SOLUTION):
        assert p.getlpsolval(row=c3) == (-1e20, pytest.approx(0), pytest.approx(1), -1e20)
    with pytest.warns(kelvo.DeprecationWarning) as caught:
        assert p.getlpsolval(column=y, row=c1) == pytest.approx((6, 2, 0, 0))
    assert GET_SOLUTION in {str(w.message) for w in caught}
    assert any("old argument names" in str(w.message) for w in caught)
    with pytest.warns(kelvo.DeprecationWarning), pytest.raises(kelvo.InterfaceError, match="^Invalid row or column index$"):
        p.getlpsolval(col=2)

    # A problem standing for this one inside a callback names the callback queries instead.
    cb = t.callback_problem(p)
    try:
        with pytest.warns(kelvo.DeprecationWarning, match=GET_CALLBACK_SOLUTION):
            cb.getlpsol([])
        with pytest.warns(kelvo.DeprecationWarning, match="use problem.getCallbackPresolveSolution"):
            cb.getpresolvesol(None, None)
        with pytest.warns(kelvo.DeprecationWarning, match=GET_CALLBACK_SOLUTION):
            cb.getlpsolval(0, 0)
    finally:
        t.detach_callback_problem(cb)

    # The best integer solution: max 5p + 4q + 3r with 2p + 3q + r <= 5, binaries: p = q = 1.
    m = kelvo.problem()
    m.controls.outputlog = 0
    b = m.addVariables(3, vartype=kelvo.binary, name="")
    m.addConstraint(2 * b[0] + 3 * b[1] + b[2] <= 5)
    m.setObjective(5 * b[0] + 4 * b[1] + 3 * b[2], sense=kelvo.maximize)
    m.optimize()
    xs, slacks = [], []
    with pytest.warns(kelvo.DeprecationWarning, match=GET_SOLUTION):
        m.getmipsol(xs, slacks)
    assert xs == pytest.approx([1, 1, 0]) and slacks == pytest.approx([0])
    with pytest.warns(kelvo.DeprecationWarning, match=GET_SOLUTION):
        assert m.getmipsolval(b[2], 0) == pytest.approx((0, 0))


def test_rays_prove_infeasibility_and_unboundedness():
    # x + y <= 1 and x + y >= 3 over x, y >= 0.
    p = kelvo.problem()
    x, y = p.addVariables(2, name="")
    p.addConstraint(x + y <= 1)
    p.addConstraint(x + y >= 3)
    p.setObjective(x + y)
    p.controls.outputlog = 0
    assert p.optimize()[1] == SolStatus.INFEASIBLE
    assert p.hasdualray() is True and p.hasprimalray() is False
    # That the rays are certificates is checked by the library's tests; here, that they arrive.
    ray = []
    p.getdualray(ray)
    assert len(ray) == 2 and ray[0] <= 0 <= ray[1] and ray[1] > 0
    with pytest.raises(kelvo.InterfaceError, match=r"^Must provide argument to retrieve \(primal or dual\) ray$"):
        p.getdualray(None)
    with pytest.raises(kelvo.SolverError, match=r"^getunbvec returns a valid object only if .* lpoptimize\('p'\)"):
        p.getunbvec()

    # max x + 2y with x - y <= 1: unbounded along y.
    q = kelvo.problem()
    u, v = q.addVariables(2, name="")
    q.addConstraint(u - v <= 1)
    c = q.getConstraint(0)
    q.setObjective(u + 2 * v, sense=kelvo.maximize)
    q.controls.outputlog = 0
    q.lpoptimize("p")
    assert q.hasprimalray() is True and q.hasdualray() is False
    d = []
    q.getprimalray(d)
    assert len(d) == 2 and d[0] + 2 * d[1] > 1e-9
    entering = q.getunbvec()
    assert any(entering is o for o in (u, v, c))


def random_lp(seed, rows=12, cols=20):
    rng = np.random.default_rng(seed)
    A = rng.integers(1, 10, size=(rows, cols))
    c = rng.integers(1, 20, size=cols)
    b = np.floor(A.sum(axis=1) / 3)
    return A, b, c


def build(A, b, c, vartype=kelvo.continuous):
    p = kelvo.problem()
    p.controls.outputlog = 0
    xs = p.addVariables(len(c), vartype=vartype, ub=1, name="")
    for i in range(len(b)):
        p.addConstraint(kelvo.Sum(int(A[i, j]) * xs[j] for j in range(len(c))) <= float(b[i]))
    p.setObjective(kelvo.Sum(int(c[j]) * xs[j] for j in range(len(c))), sense=kelvo.maximize)
    return p


def test_loaded_solutions_start_the_next_solve():
    A, b, c = random_lp(7)
    first = build(A, b, c)
    first.optimize()
    assert first.attributes.simplexiter > 0
    point = [[], [], [], []]
    first.getlpsol(*point)
    # A fresh copy started from the optimum needs no simplex iteration.
    again = build(A, b, c)
    assert again.loadlpsol(*point) == 0
    again.optimize()
    assert again.attributes.simplexiter == 0
    assert again.attributes.objval == pytest.approx(first.attributes.objval)
    with pytest.raises(kelvo.InterfaceError, match="Mismatched lengths"):
        again.loadlpsol(point[0][:-1])

    # Multi-knapsack with 16 binaries, its optimum found by enumeration. Stopped at the first
    # improving solution, a solve finds one of its own and stops; started from the optimum it
    # finds none better and proves it optimal.
    A, b, c = random_lp(11, rows=3, cols=16)
    masks = (np.arange(2 ** 16)[:, None] >> np.arange(16)) & 1
    values = np.where((masks @ A.T <= b).all(axis=1), masks @ c, -1)
    best = masks[values.argmax()].astype(float)
    mip = build(A, b, c, kelvo.binary)
    mip.controls.maxmipsol = 1
    assert mip.optimize()[0] == SolveStatus.STOPPED
    assert mip.loadmipsol(best) == 0
    assert mip.optimize() == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
    assert mip.getSolution() == pytest.approx(best.tolist())
    assert mip.attributes.objval == pytest.approx(values.max())
    # A start violating a row is refused; a partial one is taken by name.
    assert mip.loadmipsol(np.ones(16)) == 1
    with pytest.raises(kelvo.InterfaceError, match="^Must provide argument dsol$"):
        mip.loadmipsol(None)
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        mip.addmipsol(mipsolval=[1.0, 0.0], mipsolcol=[0, 1], solname="partial")
    mip.controls.maxmipsol = 0
    assert mip.optimize()[1] == SolStatus.OPTIMAL


def test_values_calculated_at_a_given_point_and_infeasibilities():
    p, (x, y), (c1, c2, c3) = production()
    p.optimize()
    assert p.calcobjn(0) == pytest.approx(36)
    assert p.calcobjn(0, [1, 1]) == pytest.approx(8)
    # (5, 6) leaves c1 by 1 (relative to 1 + 4) and c3 by 9 (relative to 1 + 18).
    assert p.calcsolinfo([5, 6], None, 0) == pytest.approx(9)
    assert p.calcsolinfo([5, 6], None, 1) == pytest.approx(max(1 / 5, 9 / 19))
    assert p.calcsolinfo(None, None, 2) == pytest.approx(0, abs=1e-9)
    # A dual of the wrong sign for a <= row of a maximisation (off by 1.5); with it y's reduced
    # cost is 5 - (2 * -1.5 + 2 * 1) = 6, and y, without an upper bound, wants it <= 0.
    assert p.calcsolinfo(None, [0, -1.5, 1], 2) == pytest.approx(6)
    with pytest.raises(kelvo.InterfaceError, match="Mismatched lengths"):
        p.calcsolinfo([5, 6, 7], None, 0)

    # The optimum judged against a tighter bound: x = 2 now lies above it.
    infeasible = [[] for _ in range(4)]
    p.getinfeas(*infeasible)
    assert infeasible == [[], [], [], []]
    p.chgbounds([x], ["U"], [1])
    p.getinfeas(*infeasible)
    assert infeasible[0][0] is x and infeasible[1:] == [[], [], []]
    scaled = [[] for _ in range(4)]
    p.getscaledinfeas(*scaled)
    assert scaled[0][0] is x

    # Barrier without crossover (nor presolve, which would leave it nothing to do): its solution
    # is kept, and crossover makes it basic.
    assert p.getlastbarsol() == 0
    p.controls.crossover = 0
    p.controls.presolve = 0
    p.optimize("b")
    barrier = []
    assert p.getlastbarsol(barrier) == 1 and barrier == pytest.approx([1, 6], abs=1e-5)
    assert p.crossoverlpsol() == 0
    assert p.getSolution() == pytest.approx([1, 6], abs=1e-9)
    p.postsolve()
    with pytest.raises(kelvo.SolverError, match="only available inside a callback"):
        p.getCallbackPresolveSolution()
