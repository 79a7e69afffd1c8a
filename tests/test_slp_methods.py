"""The successive-linearisation engine from Python: its tolerance sets and column settings,
cascading, held columns and finite differences, and its iteration events with their return
values. Its optima and iterates are checked in the library's tests."""
import math

import pytest

import kelvo


pytestmark = pytest.mark.usefixtures("nonlinear")


def hs071(engine):
    p = kelvo.problem()
    p.controls.outputlog = 0
    x = p.addVariables(4, lb=1, ub=5)
    c1 = x[0] * x[1] * x[2] * x[3] >= 25
    c2 = x[0] ** 2 + x[1] ** 2 + x[2] ** 2 + x[3] ** 2 == 40
    p.addConstraint(c1, c2)
    p.setObjective(x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2])
    for v, s in zip(x, [1, 5, 5, 1]):
        p.chgvar(v, initial=s)
    p.controls.kslp_solver = engine
    return p, x, (c1, c2)


def test_tolerance_sets_count_in_nines_and_refuse_bad_input_unchanged():
    p, x, _ = hs071(1)
    p.addtolsets([0.1] + [0] * 8 + [0, 0.2] + [0] * 7)
    tols = []
    assert p.gettolset(2, tols) == 0b10
    assert tols[1] == 0.2
    with pytest.raises(kelvo.InterfaceError, match='multiple of 9 elements'):
        p.addtolsets([0.1] * 10)
    with pytest.raises(kelvo.SolverError, match="tolerance set 3 does not exist"):
        p.gettolset(3, tols)
    p.chgtolset(1, 0b11, [0.1, 0.3] + [0] * 7)
    assert p.gettolset(1, tols) == 0b11 and tols[:2] == [0.1, 0.3]
    # A column of a deleted set goes back to the default; later sets move down.
    p.chgvar(x[0], tolset=2)
    p.chgvar(x[1], tolset=1)
    p.deltolsets([1])
    assert p.getvar(x[0])[7] == 1 and p.getvar(x[1])[7] == 0
    with pytest.raises(kelvo.SolverError, match="not a positive number"):
        p.chgrowwt(0, -1.0)
    assert p.getrowwt(0) == 1.0


def test_chgvar_changes_only_what_it_is_given_and_getvar_reports_the_lp():
    p, x, _ = hs071(1)
    before = p.getvar(x[2])
    p.chgvar(x[2], stepbound=0.5)
    after = p.getvar(x[2])
    assert len(after) == 15 and after[2] == 0.5
    assert after[:2] + after[3:] == before[:2] + before[3:]
    p.optimize()
    # Every column is a step column of the last LP, in order.
    assert [p.getvar(v)[11] for v in x] == [0, 1, 2, 3]
    assert p.getcolinfo(1, x[3]) == 3
    assert p.getcolinfo(4, x[0]) == pytest.approx(1.0, abs=1e-7)


def test_cascade_recomputes_a_chain_and_its_events_can_refuse():
    p = kelvo.problem()
    x1, x2, x3 = p.addVariables(3, lb=-kelvo.infinity)
    r2 = x2 - kelvo.exp(x1) == 0
    r3 = x3 + x3 ** 3 - x2 == 0
    p.addConstraint(r3, r2)
    p.addvars([x3, x2], None, [0, 1], None, None, [0.0, 0.0], None)
    p.chgvar(x1, initial=0.5)
    seen = []
    p.setcbcascadevar(lambda prob, data, col: seen.append(col) or 0, None)
    p.cascade()
    assert seen == [1, 2]  # x2 before the x3 that depends on it
    v2, v3 = p.getvar(x2)[5], p.getvar(x3)[5]
    assert v2 == pytest.approx(math.exp(0.5), rel=1e-12)
    assert v3 + v3 ** 3 == pytest.approx(v2, rel=1e-10)
    p.chgvar(x1, initial=1.0)
    p.setcbcascadevar(lambda prob, data, col: col == 1, None)  # keep x2's old value
    p.cascade()
    assert p.getvar(x2)[5] == pytest.approx(math.exp(0.5), rel=1e-12)


def test_iteration_events_fire_in_order_and_stop_the_solve():
    p, x, _ = hs071(1)
    log = []
    p.setcbslpstart(lambda prob, data: log.append("start") or 0, None)
    p.setcbiterstart(lambda prob, data: log.append("iterstart") or 0, None)
    p.setcbiterend(lambda prob, data: log.append("iterend") or (1 if log.count("iterend") == 3 else 0), None)
    p.setcbslpend(lambda prob, data: log.append("end") or 0, None)
    p.optimize()
    assert log == ["start"] + ["iterstart", "iterend"] * 3 + ["end"]
    assert p.attributes.kslp_nlpstatus == 6 and p.attributes.kslp_iterations == 3
    p.setcbiterend(lambda prob, data: 0, None)
    p.setcbitervar(lambda prob, data, col: "yes", None)
    with pytest.raises(kelvo.SolverError, match="itervar callback did not return an integer"):
        p.optimize()


def test_held_columns_and_enforced_rows_and_finite_differences():
    # max x + y  s.t.  x^2 + y <= 3, x + y^2 <= 3; with x held at 1 the optimum is y = sqrt(2).
    p = kelvo.problem()
    p.controls.outputlog = 0
    x, y = p.addVariables(2, lb=-kelvo.infinity)
    r1, r2 = x ** 2 + y <= 3, x + y ** 2 <= 3
    p.addConstraint(r1, r2)
    p.setObjective(x + y, sense=kelvo.maximize)
    p.controls.kslp_solver = 1
    p.chgvar(x, initial=1.0)
    p.chgdeltatype([x], [1], None)
    with pytest.raises(kelvo.SolverError, match="delta type 3"):
        p.chgdeltatype([x, y], [0, 3], None)
    assert p.getcolinfo(8, y) == 0  # the refused call changed nothing
    p.optimize()
    assert p.attributes.kslp_objval == pytest.approx(1 + math.sqrt(2), rel=1e-7)
    assert p.fixpenalties() == 0
    assert p.getrowstatus(r1) & 1 and p.getrowstatus(r2) & 1
    # At x = 1, y = sqrt(2) row 1's derivative by x is 2; a central difference of width 0.5 on
    # a quadratic is exact, and a width on row 2 (linear in x) changes nothing either.
    p.adddfs([x, x], [r1, r2], [0.5, 0.25])
    assert p.getdf(x, r2) == 0.25
    p.updatelinearization()
    assert p.getrowinfo(6, r1) == pytest.approx(1 + math.sqrt(2), rel=1e-9)
    assert p.getrowinfo(7, r2) == pytest.approx(2 * math.sqrt(2), rel=1e-7)
    p.scaling()
    assert p.getrowwt(r1) == pytest.approx(0.5, rel=1e-7)
