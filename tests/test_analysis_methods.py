"""The analysis methods written as matrix-level user code: bases and basis files, the basis
matrix, ranging, infeasible sets, solution files and repair."""
import warnings

import pytest

import kelvo
from helpers import DATA, PRODUCTION_LP

# PRODUCTION_LP (helpers): max 3x + 5y s.t. plant1: x <= 4, plant2: 2y <= 12, plant3: 3x + 2y <= 18.
# Optimum x = 2, y = 6 with plant1 slack; textbook ranges: cost of x in [0, 7.5], of y in
# [2, inf); rhs of plant1 in [2, inf), plant2 in [6, 18], plant3 in [12, 24].

# x + y <= 2 against x >= 3 and y >= 3: the irreducible sets are {cap, needx, y >= 0},
# {cap, needy, x >= 0} and {cap, needx, needy}.
CONFLICT_LP = """\
Minimize
 obj: x + y
Subject To
 cap: x + y <= 2
 needx: x >= 3
 needy: y >= 3
 loose: x - y <= 100
Bounds
 x <= 10
 y <= 10
End
"""

def read(tmp_path, text, name="model.lp"):
    path = tmp_path / name
    path.write_text(text)
    p = kelvo.problem()
    p.read(str(path))
    return p


@pytest.fixture
def production(tmp_path):
    p = read(tmp_path, PRODUCTION_LP)
    p.optimize()
    return p


def test_a_basis_written_and_read_into_a_fresh_copy_resolves_without_iterations(tmp_path):
    p = read(tmp_path, PRODUCTION_LP)
    p.setControl("presolve", 0)  # so that the first solve has iterations to save
    p.optimize()
    assert p.attributes.simplexiter > 0
    rowstat, colstat = [], []
    p.getbasis(rowstat, colstat)
    # plant1 has its slack basic; x, y basic; plant2 and plant3 binding 'L' rows (slack at 0).
    assert rowstat == [1, 0, 0] and colstat == [1, 1]
    assert p.getbasisval("plant2", p.getVariable(0)) == (0, 1)
    path = str(tmp_path / "production.bss")
    p.writebasis(path)

    copy = read(tmp_path, PRODUCTION_LP, "copy.lp")
    copy.readbasis(path)
    again = [], []
    copy.getbasis(*again)
    assert again == (rowstat, colstat)
    copy.optimize()
    assert copy.attributes.simplexiter == 0 and copy.attributes.objval == pytest.approx(36)

    # Loading by the older keywords warns; a status list of the wrong length is refused first.
    with pytest.warns(kelvo.DeprecationWarning, match="old argument names"):
        copy.loadbasis(rstatus=rowstat, cstatus=colstat)
    with pytest.raises(kelvo.InterfaceError, match="Mismatched lengths in arguments: expected 3, found 2"):
        copy.loadbasis([1, 0], colstat)


def rescaled(p, scaled):
    """The problem re-solved with user scale factors, which must not change any answer."""
    if scaled:
        p.scale([3, 0.7, 1.5], [0.3, 5])
        p.optimize()
    return p


@pytest.mark.parametrize("scaled", [False, True])
def test_ftran_and_btran_invert_the_basis_matrix(production, scaled):
    production = rescaled(production, scaled)
    order = []
    production.getpivotorder(order)
    # The columns of [A I]: rows' slacks first, then x and y (combined indices 3 and 4).
    columns = {0: [1, 0, 0], 1: [0, 1, 0], 2: [0, 0, 1], 3: [1, 0, 3], 4: [0, 2, 2]}
    B = [[columns[k][i] for k in order] for i in range(3)]
    v = [1.0, -2.0, 5.0]
    y, z = list(v), list(v)
    production.ftran(y)
    production.btran(z)
    assert [sum(B[i][k] * y[k] for k in range(3)) for i in range(3)] == pytest.approx(v)
    assert [sum(B[k][i] * z[k] for k in range(3)) for i in range(3)] == pytest.approx(v)
    assert production.basisstability(0, 1, 0) >= 1.0
    # Strong branching on x <= 1 and x >= 3: 33 and 31.5 by hand.
    objval, status = [], []
    production.strongbranch(["x", "x"], ["U", "L"], [1, 3], 100, objval, status)
    assert objval == pytest.approx([33, 31.5]) and status == [1, 1]
    # Letting the slack of plant3 grow: x falls to 0 at slack 6, the objective to 30.
    outlist, x = [], []
    assert production.getpivots(production.getConstraint(2), outlist, x, 5) == pytest.approx((30, 1))
    assert outlist == [3] and x == pytest.approx([4, 0, 6, 0, 6])


@pytest.mark.parametrize("scaled", [False, True])
def test_ranges_match_the_textbook(production, scaled):
    production = rescaled(production, scaled)
    lower, upper = [], []
    production.objsa(["x", "y"], lower, upper)
    assert lower == pytest.approx([0, 2]) and upper == pytest.approx([7.5, 1e20])
    production.rhssa(production.getConstraint(), lower, upper)
    assert lower == pytest.approx([2, 6, 12]) and upper == pytest.approx([1e20, 18, 24])
    lblower, ubupper = [], []
    production.bndsa([0, 1], lblower=lblower, ubupper=ubupper)
    assert lblower == [-1e20, -1e20] and ubupper == [1e20, 1e20]
    with pytest.raises(kelvo.InterfaceError, match='^Parameter "colind" of problem.bndsa must be a list$'):
        production.bndsa((0, 1))
    with pytest.raises(kelvo.InterfaceError, match='^Parameter "colind" is an empty list$'):
        production.bndsa([])
    with pytest.raises(kelvo.InterfaceError, match='^Parameters "lblower", "lbupper", etc. of problem.bndsa must be'):
        production.bndsa([0], ubupper=(1,))


def test_infeasible_sets_name_the_conflicting_rows_and_bounds(tmp_path):
    p = read(tmp_path, CONFLICT_LP)
    assert p.iisstatus([], [], [], []) is None
    assert p.iisfirst(0) == 0
    rowind, colind, contype, bndtype, duals = [], [], [], [], []
    p.getiisdata(1, rowind, colind, contype, bndtype, duals)
    first = {c.name for c in rowind} | {f"{v.name}:{b}" for v, b in zip(colind, bndtype)}
    sets = {frozenset({"cap", "needx", "y:L"}), frozenset({"cap", "needy", "x:L"}),
            frozenset({"cap", "needx", "needy"})}
    assert frozenset(first) in sets
    assert all(isinstance(c, kelvo.constraint) for c in rowind) and len(duals) == len(rowind)
    p.iisall()
    nrows, ncols, suminfeas, numinfeas = [], [], [], []
    assert p.iisstatus(nrows, ncols, suminfeas, numinfeas) == 3
    # In each set only what no other set holds is an isolation: a single bound, or nothing.
    for num in (1, 2, 3):
        p.iisisolations(num)
        rowind, colind, isolationrows, isolationcols = [], [], [], []
        p.getiisdata(num, rowind, colind, isolationrows=isolationrows, isolationcols=isolationcols)
        assert isolationrows == [0] * len(rowind) and isolationcols == [1] * len(colind)
    assert nrows[0] == 4 and sorted(nrows[1:]) == [2, 2, 3] and sorted(suminfeas[1:]) == pytest.approx([1, 1, 4])
    assert p.iisnext() == 1
    with pytest.raises(kelvo.SolverError, match="there is no IIS number 4"):
        p.getiisdata(4)
    p.iisclear()
    assert p.iisstatus([], [], [], []) is None


def test_presolved_spaces_are_the_problem_itself(production):
    rowmap, colmap, rowstat, colstat, prerows, precols = [], [], [], [], [], []
    production.getpresolvemap(rowmap, colmap)
    assert rowmap == [0, 1, 2] and colmap == [0, 1]
    production.getbasis(rowstat, colstat)
    production.getpresolvebasis(prerows, precols)
    assert (prerows, precols) == (rowstat, colstat)
    colind, rowcoef = [], []
    assert production.presolverow("L", ["y", "x", "y"], [1.0, 2.0, 3.0], 5.0, 5, colind, rowcoef) == (5.0, 0)
    assert colind == production.getVariable() and rowcoef == [2.0, 4.0]
    assert production.presolverow("L", ["y", "x"], [1.0, 2.0], 5.0, 1, colind, rowcoef) == (5.0, 1)


def test_a_kept_presolved_form_shows_the_presolved_problem_until_postsolve():
    p = kelvo.problem()
    p.read(str(DATA / "afiro.mps"))
    p.setControl("outputlog", 0)
    v, c = p.getVariable(0), p.getConstraint(0)
    p.optimize("k")
    a = p.attributes
    assert a.presolvestate & 6 and (a.rows, a.cols) < (a.originalrows, a.originalcols)
    # The caller's objects name user rows and columns: their properties and their use as
    # arguments are refused until the problem is back in its own form; indices stay usable.
    with pytest.raises(kelvo.InterfaceError, match="^Variable properties are not available when problem is presolved"):
        v.lb
    for call, arg in ((lambda: p.delRows([c]), "rowind"), (lambda: p.getRowFlags(c, 1), "first")):
        with pytest.raises(kelvo.InterfaceError,
                           match=f"^Cannot pass objects in arg '{arg}' when problem is presolved or in a callback$"):
            call()
    with pytest.raises(kelvo.SolverError, match="presolved form"):
        p.chgobj([0], [1.0])
    # The presolved solution is sized by the presolved problem and maps back to the optimum
    # the caller's getters give.
    x = []
    p.getpresolvesol(x)
    assert len(x) == a.cols
    back = p.postSolveSol(x)
    assert p.calcobjective(back) == pytest.approx(a.objval) and back == pytest.approx(p.getSolution(), abs=1e-9)
    p.postsolve()
    assert (a.rows, a.presolvestate) == (27, 1) and v.lb == 0 and c.index == 0


def test_solution_files_read_back_to_the_same_values(production, tmp_path):
    x = production.getSolution()
    duals = production.getDuals()
    binary, text = str(tmp_path / "s.bin"), str(tmp_path / "s.slx")
    production.writebinsol(binary)
    production.writeslxsol(text)
    production.writesol(str(tmp_path / "s.csv"))
    production.writeprtsol(str(tmp_path / "s.prt"))
    assert "plant3" in (tmp_path / "s.prt").read_text()
    a = read(tmp_path, PRODUCTION_LP, "a.lp")
    a.readbinsol(binary)
    assert a.getSolution() == x and a.getDuals() == duals
    b = read(tmp_path, PRODUCTION_LP, "b.lp")
    b.readslxsol(text)
    assert b.getSolution() == x
    with pytest.raises(kelvo.SolverError, match="unknown flags"):
        b.readslxsol(text, "z")


def test_repair_relaxes_the_cheapest_rows_then_spends_delta_on_the_objective(tmp_path):
    p = read(tmp_path, CONFLICT_LP)
    # cap costs 1 a unit, needx 2, needy 4: the least relaxation moves cap by 4.
    prefs = ([1, 0, 0, 0], [0, 0.5, 0.25, 0], [0, 0], [0, 0])
    assert p.repairweightedinfeas(*prefs, "n", 0, "") == 0
    assert p.getSolution() == pytest.approx([3, 3])
    # Penalty up to 6: relaxing needx by 2 (cost 4 + 2) lowers x + y to 4 at x = 1.
    assert p.repairweightedinfeas(*prefs, "o", 0.5, "") == 0
    assert p.getSolution() == pytest.approx([1, 3])
    rhs = []
    p.getrhs(rhs, 0, 0)
    assert rhs == [2]  # the problem itself keeps its rows
    with pytest.raises(kelvo.SolverError, match="penalty 'z'"):
        p.repairinfeas("z", "n", "n", 1, 1, 1, 1, 0)


def test_dual_ranges_are_the_duals_of_the_neighbouring_bases(production):
    # Past the ends of each rhs range another constraint takes over; by hand: plant1's dual
    # goes from 0 to 3 (x = rhs < 2 with plant2 binding), plant2's and plant3's from 0 (slack)
    # to 2.5 (5 / 2 once the other of the two bounds y).
    lo, hi = [], []
    production.estimaterowdualranges([0, 1, 2], 50, lo, hi)
    assert lo == pytest.approx([0, 0, 0], abs=1e-9)
    assert hi == pytest.approx([3, 2.5, 2.5])
