"""The thin methods of saved state, directives and row marks; message codes and scaling are
checked in the library's own tests."""

import pytest

import kelvo
from helpers import PRODUCTION_LP


@pytest.fixture
def production(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "production.lp").write_text(PRODUCTION_LP)
    p = kelvo.problem()
    p.read("production.lp")
    return p


def solution(p):
    return p.getSolution(), p.getSlacks(), p.getDuals(), p.getRedCosts()


def directives(p):
    lists = [[], [], [], [], []]
    p.getdirs(*lists)
    return lists


def test_restore_gives_back_the_model_its_controls_its_solution_and_fresh_objects(production, tmp_path):
    p = production
    p.setControl("feastol", 2.5e-7)
    p.loaddirs(["x"], [7], ["D"], [1.5], [0.25])
    p.loaddelayedrows(["plant1"])
    p.solve()
    saved = solution(p)
    p.write("before.mps")
    text = (tmp_path / "before.mps").read_text()
    p.save()
    assert (tmp_path / "production.svf").exists()
    p.save(str(tmp_path / "elsewhere.svf"))

    old_x = p.getVariable(0)
    p.chgbounds([old_x], ["U"], [1.0])
    p.delVariable(p.getVariable(1))
    p.setControl("feastol", 1e-5)
    p.loaddirs([], None)
    p.solve()

    p.restore("production")
    p.write("after.mps")
    assert (tmp_path / "after.mps").read_text() == text
    assert p.getControl("feastol") == 2.5e-7
    assert solution(p) == saved  # read back without a new solve
    assert p.getSolution() == [2.0, 6.0]
    assert directives(p)[1:] == [[7], ["D"], [1.5], [0.25]]
    # The problem's objects are new: the old ones are detached, the new ones name the columns.
    x, y = p.getVariable()
    assert (x.name, y.name) == ("x", "y") and old_x.index == -1
    assert directives(p)[0] == [x]

    p.chgbounds([x], ["U"], [1.0])
    p.restore(str(tmp_path / "elsewhere.svf"))
    p.solve()
    assert p.getSolution() == pytest.approx([2, 6]) and p.getAttrib("lpobjval") == pytest.approx(36)

    with pytest.raises(kelvo.SolverError, match="no snapshot"):
        p.restore("missing")
    with pytest.raises(kelvo.SolverError, match="invalid flag 'z'"):
        p.restore("production", "z")
    assert solution(p) == saved


def test_directives_and_row_marks_survive_files_deletion_and_copy(production, tmp_path):
    p = production
    x, y = p.getVariable()
    p.loaddirs([y, "x"], priority=[3, 900], dir=["U", "N"], uppseudo=[0.1, 2.0], downpseudo=[1.0 / 3, 0.0])
    expected = [[x, y], [900, 3], ["N", "U"], [2.0, 0.1], [0.0, 1.0 / 3]]
    assert directives(p) == expected
    p.writedirs("prod")
    p.loadbranchdirs([x], [-1])
    assert directives(p) == [[x], [500], ["D"], [0.0], [0.0]]
    p.readdirs("prod")
    assert directives(p) == expected

    # Wrong input is refused and leaves the directives alone.
    with pytest.raises(kelvo.InterfaceError, match="Mismatched lengths"):
        p.loaddirs([x, y], [1])
    with pytest.raises(kelvo.SolverError, match="direction 'Q'"):
        p.loaddirs([x], dir=["Q"])
    with pytest.raises(kelvo.InterfaceError, match=r"^Must provide arguments \(as lists\) to getdirs$"):
        p.getdirs(None, None, None, None, None)
    assert directives(p) == expected

    p.loadmodelcuts(["plant2"])
    p.loadsecurevecs([p.getConstraint(2)], [y])
    with pytest.warns(kelvo.DeprecationWarning):
        p.loaddelayedrows(mrows=[0])
    p.write("marked.mps")
    text = (tmp_path / "marked.mps").read_text()
    assert "DELAYEDROWS\n    plant1\nMODELCUTS\n    plant2\nSECUREVECS\n R  plant3\n C  y\n" in text

    # Deleting x drops its directive; y's moves to column 0, and a copy carries it.
    p.delVariable(x)
    assert directives(p) == [[y], [3], ["U"], [0.1], [1.0 / 3]]
    c = p.copy()
    assert directives(c)[1:] == [[3], ["U"], [0.1], [1.0 / 3]]


def test_a_nonlinear_problem_restores_through_its_layer(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    p = kelvo.problem(name="design")
    x = p.addVariable(name="x", lb=0.1, ub=10)
    y = p.addVariable(name="y", ub=10)
    p.addConstraint(kelvo.exp(x) + y >= 3)
    p.setObjective(x * x + y)
    p.solve()
    saved = p.getSolution()
    assert saved[0] == pytest.approx(1.0986122886681098, abs=1e-6)  # x = ln 3, y = 0
    p.save()
    p.addConstraint(x + y <= 1)
    p.solve()
    p.restore("design")
    assert p.getSolution() == saved and len(p.getConstraint()) == 1
    # The formula came back with the model: the same optimum again, not the one with x + y <= 1.
    p.solve()
    assert p.getSolution() == pytest.approx(saved, abs=1e-6)
