"""Pickling and copying problems: the snapshot carries model, names, controls and solution,
objects pickled with their problem come back linked to the new one, and the copy is
independent of the original."""
import copy
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


def test_published_instance_solves_to_the_same_optimum_after_pickling():
    p = kelvo.problem()
    p.read(str(DATA / "flugpl.mps"))
    q = pickle.loads(pickle.dumps(p))
    q.controls.outputlog = 0
    q.optimize()
    assert q.attributes.objval == pytest.approx(1201500, rel=1e-6)
    assert q.attributes.solstatus == SolStatus.OPTIMAL


def test_objects_need_their_problem_in_the_same_pickle_and_orphans_and_bad_state_refuse():
    p, take, cap = knapsack()
    # Alone, a variable's copied problem has no other owner and goes at once, as any problem
    # nobody holds: the variable comes back as one that outlived its problem.
    v = pickle.loads(pickle.dumps(take[3]))
    assert str(v) == "(deleted variable)"
    q, v = pickle.loads(pickle.dumps((p, take[3])))
    assert str(v) == "take4" and q.getIndex(v) == 3
    assert copy.copy(take[3]) is take[3]  # a shallow copy keeps the same problem
    p.delVariable(take[0])
    with pytest.raises(TypeError, match="deleted variable"):
        pickle.dumps(take[0])
    with pytest.raises(TypeError, match="not the bytes of a snapshot|expects the bytes"):
        kelvo.problem().__setstate__("x")
    bad = bytearray(pickle.dumps(p))
    with pytest.raises(kelvo.SolverError, match="checksum"):
        pickle.loads(bytes(bad.replace(b"take7", b"take8")))
