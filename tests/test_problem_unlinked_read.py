"""Reading problem files into unlinked variables and constraints."""
import warnings

import pytest

import kelvo
from helpers import DATA, quietly

INF = 1e20

SMALL = """NAME          small
ROWS
 N  obj
 E  eq
 L  le
 G  ge
 E  rng
COLUMNS
    x         obj       1.0        eq        1.0
    x         le        1.0
    y         eq        1.0        ge        1.0
    MARKER    'MARKER'  'INTORG'
    z         rng       1.0        le        2.0
    MARKER    'MARKER'  'INTEND'
    w         ge        1.0
RHS
    rhs       eq        4.0        le        10.0
    rhs       ge        2.5        rng       3.0
RANGES
    rng       rng       2.0
BOUNDS
 UP bnd       x         7.5
 LO bnd       y         -3.0
 UP bnd       z         5.0
 BV bnd       w
ENDATA
"""


@pytest.fixture
def small(tmp_path):
    path = tmp_path / "small.mps"
    path.write_text(SMALL)
    return str(path)


def test_unlinked_read_warns_and_builds_unlinked_objects_mirroring_the_file(small):
    p = kelvo.problem()
    with pytest.warns(kelvo.DeprecationWarning, match="unlinked variables and constraints are deprecated$"):
        p.read(small, "", True)
    # The library's model is the file's: the objects only mirror it and are found through maps.
    assert (p.attributes.cols, p.attributes.rows) == (4, 4)
    x, y, z, w = variables = p.getVariable()
    assert [(str(v), v.index, p.getIndex(v)) for v in variables] == [
        ("x", None, 0), ("y", None, 1), ("z", None, 2), ("w", None, 3)]
    assert [(v.lb, v.ub, v.vartype) for v in variables] == [
        (0.0, 7.5, kelvo.continuous), (-3.0, INF, kelvo.continuous), (0.0, 5.0, kelvo.integer),
        (0.0, 1.0, kelvo.binary)]
    # Bounds from row type, right-hand side and range: an equality row with a positive range
    # spans [rhs, rhs + range].
    constraints = p.getConstraint()
    assert [(str(c), c.index, p.getIndex(c), c.lb, c.ub, c.type) for c in constraints] == [
        ("eq", None, 0, 4.0, 4.0, kelvo.eq), ("le", None, 1, -INF, 10.0, kelvo.leq),
        ("ge", None, 2, 2.5, INF, kelvo.geq), ("rng", None, 3, 3.0, 5.0, kelvo.rng)]
    with pytest.raises(kelvo.ModelError, match="does not belong to this problem"):
        kelvo.problem().getIndex(constraints[0])


def test_a_problem_holding_unlinked_objects_reads_unlinked_again(small):
    x = quietly(kelvo.var, name="free")
    p = kelvo.problem()
    p.addVariable(x)
    # Without the argument a problem holding unlinked objects reads unlinked, silently.
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        p.read(small)
    old = p.getVariable()
    p.read(small)
    new = p.getVariable()
    assert [str(v) for v in new] == ["x", "y", "z", "w"]
    assert all(v.index is None for v in old + new)
    assert not set(map(id, old)) & set(map(id, new))
    # The old objects stay alive, keep their values and names, but have left the problem.
    assert old[0].ub == 7.5 and x.name == "free"
    for v in (x, old[0]):
        with pytest.raises(kelvo.ModelError, match="does not belong to this problem"):
            p.getIndex(v)


def test_unlinked_read_of_a_real_instance():
    linked, unlinked = kelvo.problem(), kelvo.problem()
    linked.read(str(DATA / "afiro.mps"))
    quietly(unlinked.read, str(DATA / "afiro.mps"), unlinked=True)
    lv, uv = linked.getVariable(), unlinked.getVariable()
    assert [v.name for v in uv] == [v.name for v in lv]
    assert [(v.lb, v.ub) for v in uv] == [(v.lb, v.ub) for v in lv]
    lc, uc = linked.getConstraint(), unlinked.getConstraint()
    assert [(c.name, c.lb, c.ub) for c in uc] == [(c.name, c.lb, c.ub) for c in lc]


@pytest.mark.parametrize("edit,error,message", [
    (lambda text: text.replace(" E  rng\n", " E  rng\n N  spare\n").replace(
        "    w         ge        1.0\n", "    w         ge        1.0        spare     1.0\n"),
     kelvo.InterfaceError, "^Unexpected constraint type N in row 4$"),
])
def test_files_unlinked_reading_refuses(tmp_path, edit, error, message):
    path = tmp_path / "edited.mps"
    path.write_text(edit(SMALL))
    kelvo.problem().read(str(path))
    p = kelvo.problem()
    with pytest.raises(error, match=message):
        quietly(p.read, str(path), unlinked=True)
