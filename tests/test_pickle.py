"""Pickling and copying problems: the snapshot carries model, names, controls and solution,
objects pickled with their problem come back linked to the new one, and the copy is
independent of the original."""
import copy
import math
import pickle

import pytest

import kelvo
from kelvo.enums import SolStatus
from helpers import DATA

WEIGHTS = [23, 31, 29, 44, 53, 38, 63, 85, 89, 82]
PROFITS = [92, 57, 49, 68, 60, 43, 67, 84, 87, 72]


def knapsack():
    """A published instance (P01): best profit 309 with items 1, 2, 3, 4 and 6."""
    p = kelvo.problem(name="knapsack")
    take = [p.addVariable(name=f"take{i + 1}", vartype=kelvo.binary) for i in range(10)]
    p.addConstraint(kelvo.constraint(kelvo.Sum(w * t for w, t in zip(WEIGHTS, take)) <= 165, name="weight"))
    p.setObjective(kelvo.Sum(v * t for v, t in zip(PROFITS, take)), sense=kelvo.maximize)
    p.controls.outputlog = 0
    p.controls.miprelstop = 1e-9
    return p, take, p.getConstraint(0)


@pytest.mark.parametrize("clone", [lambda o: pickle.loads(pickle.dumps(o)), copy.deepcopy])
def test_problem_with_its_objects_comes_back_linked_solved_and_independent(clone):
    p, take, cap = knapsack()
    p.optimize()
    q, qtake, qcap = clone((p, take, cap))
    assert q is not p and qtake[0] is not take[0]
    # The solution came along: readable before any solve.
    assert q.attributes.objval == 309 and q.getSolution(qtake) == p.getSolution(take)
    assert [q.getIndex(v) for v in qtake] == list(range(10)) and q.getIndex(qcap) == 0
    assert (str(qtake[5]), str(qcap), q.attributes.probname, q.controls.miprelstop) == ("take6", "weight", "knapsack", 1e-9)
    # Independent of the original: a change to the copy leaves p alone, and the copy re-solves.
    q.chgbounds([qtake[0]], ["U"], [0])
    q.optimize()
    assert q.attributes.objval < 309 and q.getSolution(qtake[0]) == 0
    p.optimize()
    assert p.attributes.objval == 309


@pytest.mark.parametrize("clone", [lambda o: pickle.loads(pickle.dumps(o)), copy.copy])
def test_published_instance_solves_to_the_same_optimum_after_pickling(clone):
    p = kelvo.problem()
    p.read(str(DATA / "flugpl.mps"))
    q = clone(p)
    assert q is not p
    q.controls.outputlog = 0
    q.optimize()
    assert q.attributes.objval == pytest.approx(1201500, rel=1e-6)
    assert q.attributes.solstatus == SolStatus.OPTIMAL
    # The original was not solved by the copy's solve.
    assert p.attributes.solstatus == SolStatus.NOT_FOUND


def test_objects_need_their_problem_in_the_same_pickle_and_orphans_and_bad_state_refuse():
    p, take, cap = knapsack()
    # Alone, a variable's copied problem has no other owner and goes at once, as any problem
    # nobody holds: the variable comes back as one that outlived its problem.
    v = pickle.loads(pickle.dumps(take[3]))
    assert str(v) == "(deleted variable)"
    q, v = pickle.loads(pickle.dumps((p, take[3])))
    assert str(v) == "take4" and q.getIndex(v) == 3
    # Sets too, and their members are the new problem's columns.
    p.addSOS([take[8], take[9]], [1, 2], type=1, name="pair")
    q, s = pickle.loads(pickle.dumps((p, p.getSOS(0))))
    assert (str(s), q.getIndex(s), q.attributes.sets) == ("pair", 0, 1)
    p.delSOS(0)
    assert copy.copy(take[3]) is take[3]  # a shallow copy keeps the same problem
    p.delVariable(take[0])
    with pytest.raises(TypeError, match="deleted variable"):
        pickle.dumps(take[0])
    with pytest.raises(TypeError, match="not the bytes of a snapshot|expects the bytes"):
        kelvo.problem().__setstate__("x")
    bad = bytearray(pickle.dumps(p))
    with pytest.raises(kelvo.SolverError, match="checksum"):
        pickle.loads(bytes(bad.replace(b"take7", b"take8")))
    # A refused state leaves the problem it was given to as it was.
    with pytest.raises(kelvo.SolverError, match="not a valid klvo snapshot"):
        p.__setstate__(b"garbage")
    assert (p.attributes.probname, p.attributes.cols, str(p.getVariable(0))) == ("knapsack", 9, "take2")


def test_nonlinear_objective_pickles_and_solves_to_the_analytic_optimum(nonlinear):
    # min exp(x) + (y - 2)^2 with x + y >= 1: the row binds, y = 1 - x, and the optimum is the
    # root of exp(x) + 2 (x + 1), found here by bisection.
    lo, hi = -2.0, 0.0
    for _ in range(80):
        mid = (lo + hi) / 2
        lo, hi = (mid, hi) if math.exp(mid) + 2 * (mid + 1) < 0 else (lo, mid)
    best = math.exp(lo) + (lo + 1) ** 2
    p = kelvo.problem(name="curve")
    x, y = p.addVariable(name="x", lb=-10, ub=10), p.addVariable(name="y", lb=-10, ub=10)
    p.addConstraint(kelvo.constraint(x + y >= 1, name="reach"))
    p.setObjective(kelvo.exp(x) + (y - 2) ** 2)
    p.controls.outputlog = 0
    p.optimize()
    for q, (qx, qy) in [pickle.loads(pickle.dumps((p, [x, y]))), copy.deepcopy((p, [x, y]))]:
        # The solution travels with the problem.
        assert q.getSolution(qx) == p.getSolution(x) == pytest.approx(lo, abs=1e-4)
        # The objective's own row and column stay out of the user's objects and come back as the
        # objective's: variables added later go before them, and the objective still solves.
        assert len(q.getVariable()) == 2 and len(q.getConstraint()) == 1 and str(q.getVariable(1)) == "y"
        z = q.addVariable(name="z", lb=0, ub=1)
        assert q.getIndex(z) == 2
        q.optimize()
        assert q.attributes.objval == pytest.approx(best, abs=1e-6)
        assert q.getSolution(qx) == pytest.approx(lo, abs=1e-4) and q.getSolution(qy) == pytest.approx(1 - lo, abs=1e-4)
    # A state whose objective row and column are not the snapshot's is refused, and the problem
    # it was given to stays as it was.
    _, _, state = p.__reduce__()
    r = kelvo.problem(name="kept")
    r.addVariable(name="w")
    with pytest.raises(ValueError, match="not the objective's"):
        r.__setstate__((state[0], 0, 0))
    assert (r.attributes.probname, r.attributes.cols, str(r.getVariable(0))) == ("kept", 1, "w")
