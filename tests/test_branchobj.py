"""Branching objects as users write them: built from constraints, handed to the search from
chgbranchobject and optnode callbacks, strong branching, and what misuse gets."""

import math
import random
import sys

import pytest

import kelvo


def knapsack_data(n, seed):
    """Two knapsack rows (weights, capacity) and profits."""
    rng = random.Random(seed)
    rows = []
    for _ in range(2):
        w = [rng.randint(10, 99) for _ in range(n)]
        rows.append((w, sum(w) // 3))
    return rows, [rng.randint(10, 99) for _ in range(n)]


def knapsack(vartype=kelvo.binary, n=16, seed=11, quadratic=False):
    """A two-row 0-1 knapsack (maximise), with a concave quadratic penalty when asked; returns
    the problem and its variables."""
    rows, profit = knapsack_data(n, seed)
    p = kelvo.problem(sense=kelvo.maximize)
    x = [p.addVariable(vartype=vartype, lb=0, ub=1) for _ in range(n)]
    for w, cap in rows:
        p.addConstraint(kelvo.Sum(a * v for a, v in zip(w, x)) <= cap)
    obj = kelvo.Sum(c * v for c, v in zip(profit, x))
    if quadratic:
        obj -= kelvo.Sum(7 * v * v for v in x) + 5 * x[0] * x[1]
    p.setObjective(obj)
    p.setOutputEnabled(False)
    return p, x


def enumerated_optimum(n, seed):
    """The best 0-1 point of the quadratic knapsack, by trying them all."""
    rows, profit = knapsack_data(n, seed)
    best = -math.inf
    for mask in range(1 << n):
        v = [(mask >> j) & 1 for j in range(n)]
        if all(sum(a * b for a, b in zip(w, v)) <= cap for w, cap in rows):
            best = max(best, sum(c * b for c, b in zip(profit, v)) - 7 * sum(v) - 5 * v[0] * v[1])
    return best


def engine_optimum(**kwargs):
    """The optimum HiGHS's MIP solver finds (no node callbacks, the engine forced)."""
    p, _ = knapsack(**kwargs)
    p.controls.mipsearch = 1
    p.optimize()
    return p.attributes.mipobjval


def read_bounds(bo, branch):
    t, c, v = [], [], []
    n = bo.getbounds(branch, 10, t, c, v)
    return n, t, c, v


def test_branches_from_constraints_become_bounds_and_rows():
    p, x = knapsack(kelvo.integer, n=3)
    bo = kelvo.branchobj(p, [[x[0] >= 1], [x[0] <= 0], 2 * x[1] >= 4, [-2 * x[1] >= 4, x[0] + x[2] == 1],
                             kelvo.constraint(body=x[0] + 2 * x[2], lb=1, ub=3)])
    assert bo.getbranches() == 5
    assert read_bounds(bo, 0) == (1, ["L"], [x[0]], [1.0])
    assert read_bounds(bo, 1) == (1, ["U"], [x[0]], [0.0])
    assert read_bounds(bo, 2) == (1, ["L"], [x[1]], [2.0])
    assert read_bounds(bo, 3) == (1, ["U"], [x[1]], [-2.0])
    t, r, s, c, v = [], [], [], [], []
    assert bo.getrows(3, 5, 5, t, r, s, c, v) == 1
    assert (t, r, s, c, v) == (["E"], [1.0], [0, 2], [x[0], x[2]], [1.0, 1.0])
    # A range is two rows, its lower side first.
    assert bo.getrows(4, 5, 5, t, r, s, c, v) == 2
    assert (t, r, s) == (["G", "L"], [1.0, 3.0], [0, 2, 4])
    assert bo.validate() == 0 and isinstance(bo.getid(), int)


def test_misuse_is_refused_with_a_clear_message():
    p, x = knapsack(n=3)
    added = x[0] + x[1] <= 1
    p.addConstraint(added)
    with pytest.raises(kelvo.ModelError, match="^Cannot define the branches of a branching object if the isoriginal"):
        kelvo.branchobj(p, [[x[0] >= 1]], isoriginal=False)
    with pytest.raises(kelvo.ModelError, match="^Branch 0 contains a constraint that has been added to a problem"):
        kelvo.branchobj(p, [[added]])
    with pytest.raises(kelvo.ModelError, match="^Branch 1 is invalid: must be a constraint or tuple/list"):
        kelvo.branchobj(p, [x[0] >= 1, 3])
    with pytest.raises(kelvo.ModelError, match="^Incorrect creation of branching object"):
        kelvo.branchobj("not a problem")
    with pytest.raises(kelvo.SolverError, match="^The branching object was not created: construct it with a problem"):
        kelvo.branchobj.__new__(kelvo.branchobj).addbranches(1)
    other, y = knapsack(n=2)
    with pytest.raises(kelvo.ModelError, match="^Variable in branching object is from a different problem$"):
        kelvo.branchobj(p, [[y[0] >= 1]])
    bo = kelvo.branchobj(p)
    bo.addbranches(2)
    with pytest.raises(kelvo.SolverError, match="column 7 is out of range"):
        bo.addbounds(0, ["U"], [7], [0.0])
    with pytest.raises(kelvo.SolverError, match="invalid bound type 'X'"):
        bo.addbounds(0, ["L", "X"], [x[0], x[1]], [0.0, 1.0])
    with pytest.raises(kelvo.SolverError, match="free row"):
        bo.addrows(1, ["N"], [1.0], [0], [x[0]], [1.0])
    # Nothing of the refused calls stayed.
    assert read_bounds(bo, 0)[0] == 0 and bo.getrows(1, 5, 5, None, None, None, None, None) == 0
    assert bo.getlasterror()[1].endswith("a branch cannot have a free row (row 0)")
    # Storing needs a node of a running search; the object stays the user's.
    with pytest.raises(kelvo.SolverError, match="only from a node callback of a running search"):
        bo.store()
    assert bo.getbranches() == 2


def row_rule(kept):
    """Branches on x_a + x_b <= floor(s) or >= ceil(s) for two fractional binaries of fractional
    sum s: every integer point is in one branch and the node's point in neither."""

    def rule(prob, data, candidate):
        kept.append(candidate)
        assert candidate.getbranches() == 2  # the search's own choice, readable during the call
        x = prob.getCallbackSolution()
        xs = prob.getVariable()
        frac = [j for j, v in enumerate(x) if abs(v - round(v)) > 1e-6]
        for a in frac:
            for b in frac:
                s = x[a] + x[b]
                if a < b and abs(s - round(s)) > 1e-6:
                    bo = kelvo.branchobj(prob, [[xs[a] + xs[b] <= math.floor(s)], [xs[a] + xs[b] >= math.ceil(s)]])
                    bo.setpreferredbranch(1)
                    data[0] += 1
                    return bo
        return None

    return rule


def test_a_row_disjunction_changes_the_tree_and_keeps_the_optimum():
    truth = engine_optimum()
    p, x = knapsack()
    p.controls.mipsearch = 2
    p.optimize()
    plain_nodes = p.attributes.nodes
    assert p.attributes.mipobjval == pytest.approx(truth)

    kept, count = [], [0]
    rule = row_rule(kept)
    p.addcbchgbranchobject(rule, count)
    p.optimize()
    assert p.attributes.mipobjval == pytest.approx(truth)
    assert count[0] > 0 and p.attributes.nodes != plain_nodes
    # The candidates were the search's: after their callback they are gone.
    assert kept[0].getbranches() == 0 and kept[0].getid() is None
    with pytest.raises(kelvo.SolverError, match="no longer valid"):
        read_bounds(kept[0], 0)
    # Repeated solves leave no references behind.
    kept.clear()
    before = sys.getrefcount(rule), sys.getrefcount(count), sys.getrefcount(x[0]), sys.getrefcount(p)
    p.optimize()
    kept.clear()
    assert (sys.getrefcount(rule), sys.getrefcount(count), sys.getrefcount(x[0]), sys.getrefcount(p)) == before


def test_cuts_not_in_the_pool_are_refused():
    p, x = knapsack(n=3)
    other, y = knapsack(n=3)
    mine, foreign = [], []
    p.storecuts(0, [0], ["L"], [1.0], [0, 2], mine, [x[0], x[1]], [1.0, 1.0])
    other.storecuts(0, [0], ["L"], [1.0], [0, 2], foreign, [y[0], y[1]], [1.0, 1.0])
    bo = kelvo.branchobj(p)
    bo.addbranches(1)
    with pytest.raises(kelvo.SolverError, match="cut 1 is not in the problem's cut pool"):
        bo.addcuts(0, mine + foreign)
    with pytest.raises(kelvo.SolverError, match="branch 1 does not exist"):
        bo.addcuts(1, mine)
    with pytest.raises(kelvo.InterfaceError, match="not a pool cut"):
        bo.addcuts(0, [1])
    bo.addcuts(0, mine)


def test_a_branching_object_kept_past_its_callback_is_refused():
    p, x = knapsack()
    saved = []

    def keep(prob, data, candidate):
        if not saved:
            saved.append(kelvo.branchobj(prob, [[x[0] <= 0], [x[0] >= 1]]))
            # The search's own object is read-only, and this callback returns objects
            # rather than storing them.
            for refused in (candidate.store, saved[0].store, lambda: candidate.addbranches(1)):
                with pytest.raises(kelvo.SolverError):
                    refused()
            assert candidate.getbranches() == 2 and saved[0].getbranches() == 2
        return candidate  # the search's own choice stands

    p.addcbchgbranchobject(keep)
    p.optimize()
    assert p.attributes.mipobjval == pytest.approx(engine_optimum())
    with pytest.raises(kelvo.ModelError, match="^Problem is not initialized$"):
        saved[0].getbranches()


def test_strong_branching_matches_separate_relaxations_and_stored_objects_branch():
    # The quadratic knapsack: its truth comes from enumeration rather than from the engine.
    truth = enumerated_optimum(12, 5)
    p, x = knapsack(n=12, seed=5, quadratic=True)
    seen = {}

    def optnode(prob, data):
        sol = prob.getCallbackSolution()
        j = max(range(len(sol)), key=lambda k: abs(sol[k] - round(sol[k])))
        if abs(sol[j] - round(sol[j])) < 1e-6:
            return 0
        if not seen:
            objval, status, trials = [], [], []
            prob.strongbranchcb([j, j], ["U", "L"], [0.0, 1.0], 0, objval, status,
                                lambda pr, d, k: d.append(k) or 0, trials)
            seen.update(col=j, objval=objval, status=status, trials=trials)
        bo = kelvo.branchobj(prob, [[x[j] <= 0], [x[j] >= 1]])
        assert bo.store() == 0
        data.append(1)
        return 0

    stored = []
    p.addcboptnode(optnode, stored)
    p.optimize()
    assert p.attributes.mipobjval == pytest.approx(truth)
    assert len(stored) > 1 and seen["trials"] == [0, 1]
    # Each child of the root as a continuous problem of its own.
    for side, (lb, ub) in enumerate([(0, 0), (1, 1)]):
        q, y = knapsack(kelvo.continuous, n=12, seed=5, quadratic=True)
        q.chgbounds([y[seen["col"]]] * 2, ["L", "U"], [lb, ub])
        q.optimize()
        assert seen["status"][side] == 1
        assert seen["objval"][side] == pytest.approx(q.attributes.objval, rel=1e-7)
