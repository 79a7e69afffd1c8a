"""kelvo.problem: construction, names, problem files, reset, copy, object lookup and release."""


import numpy as np
import pytest

import kelvo
from helpers import DATA

def loaded(name="afiro.mps"):
    p = kelvo.problem()
    p.read(str(DATA / name))
    return p


# ---- construction --------------------------------------------------------------------------


def test_names_sense_and_empty_collections():
    assert kelvo.problem(name="plant").name() == "plant"
    assert kelvo.problem().name() == "noname"
    assert str(kelvo.problem(name="depot")) == "depot"
    # A positional string wins over the keyword.
    assert kelvo.problem("from_string", name="from_keyword").name() == "from_string"
    assert kelvo.problem(b"bytes_name").name() == "bytes_name"
    assert kelvo.problem(sense=kelvo.maximize).attributes.objsense == -1.0
    assert kelvo.problem(sense=kelvo.minimize).attributes.objsense == 1.0
    assert kelvo.problem(sense=np.int64(-1)).attributes.objsense == -1.0
    # Empty collections are skipped.
    p = kelvo.problem([], (), {}, [[], ()], iter([]), np.array([], dtype=object), name="e")
    assert p.name() == "e"
    assert p.getVariable() == [] and p.getConstraint() == [] and p.getSOS() == []


class Recorder(kelvo.problem):
    """A problem that records what its construction hands to the adding methods."""

    def addConstraint(self, *args):
        self.calls.append(("addConstraint", args))

    def addSOS(self, *args):
        self.calls.append(("addSOS", args))

    def __new__(cls, *args, **kwargs):
        self = super().__new__(cls, *args, **kwargs)
        self.calls = []
        return self


def test_elements_go_whole_to_the_method_of_their_first_object():
    source = loaded()
    c0, c1 = source.getConstraint(index=[0, 1])
    nested = [[], [c0, c1]]
    p = Recorder("named", nested, {"a": c1})
    assert p.name() == "named"
    assert p.calls == [("addConstraint", (nested,)), ("addConstraint", ({"a": c1},))]
    # A generator goes as its first item and the rest.
    cons = source.getConstraint(first=0, last=3)
    gen = (c for c in cons)
    [(method, args)] = Recorder(gen).calls
    assert method == "addConstraint" and args[0] is cons[0] and args[1] is gen
    assert list(args[1]) == cons[1:]


def test_a_failing_element_leaves_no_problem_behind(t):
    class Failing(kelvo.problem):
        def addConstraint(self, *args):
            raise ValueError("refused")

    c = loaded().getConstraint(0)
    p = Failing.__new__(Failing)
    with pytest.raises(ValueError, match="refused"):
        p.__init__([c])
    assert not t.has_handle(p)
    with pytest.raises(kelvo.ModelError, match="Problem is not initialized"):
        p.name()


def test_a_variable_a_constraint_an_expression_and_a_name_declare_a_whole_problem(t):
    with pytest.warns(kelvo.DeprecationWarning):
        x = kelvo.var(ub=10, name="x")
    p = kelvo.problem(x, x <= 4, 2 * x, "declared")
    assert p.name() == "declared"
    assert (p.attributes.cols, p.attributes.rows) == (1, 1)
    assert p.getIndex(x) == 0
    assert t.rows(p) == [("L", 4.0, 0.0, None, [(0, 1.0)], [])]
    assert t.objective(p)[0] == [2.0]


# ---- refusals: each leaves the loaded model as it was -----------------------------------------

NOT_A_VARIABLE = "Erroneous problem declaration; argument contained object that was not a variable"
REFUSALS = [
    (lambda p: kelvo.problem("a", "b"), kelvo.ModelError, "More than one string passed in problem declaration"),
    *[(lambda p, s=s: kelvo.problem(sense=s), kelvo.ModelError, "Invalid optimization sense")
      for s in (0, 1.0, "max")],
    *[(lambda p, e=e: kelvo.problem(e), kelvo.ModelError, NOT_A_VARIABLE)
      for e in (3, ["x"], np.array([1.0, 2.0]))],
    (lambda p: p.__init__(), kelvo.ModelError, "Problem is already initialized"),
    (lambda p: p.read(str(DATA / "missing.mps")), kelvo.SolverError, None),
    (lambda p: p.read(str(DATA / "avgas.mps"), "", 1), kelvo.ModelError, "The unlinked argument must be a Boolean value"),
    *[(lambda p, o=o: p.getIndex(o), kelvo.ModelError, r"Incorrect object\(s\) passed: need variable, constraint, or SOS")
      for o in (1, None)],
    (lambda p: p.getIndex(p), kelvo.ModelError, r"Incorrect object\(s\) passed"),
    (lambda p: p.getVariable(index=[0.5]), kelvo.ModelError, "Error in index list\\(s\\): must contain only integers"),
    (lambda p: p.getVariable(first=1), kelvo.ModelError, "must be both nonnegative when specified"),
    (lambda p: p.getVariable(0, first=1, last=2), kelvo.ModelError, "cannot be specified if 'index' is also specified"),
    (lambda p: p.getVariable(first=0, last=32), kelvo.ModelError, "out of range"),
    (lambda p: p.getVariable(32), IndexError, None),
    (lambda p: p.getVariable(-1), IndexError, None),
    (lambda p: p.getConstraint([0, 27]), IndexError, None),
    (lambda p: p.getSOS(0), IndexError, None),
    *[(lambda p, b=b: p.setOutputEnabled(b), kelvo.ModelError,
       "Incorrect argument in setOutputEnabled: should be True or False") for b in (0.0, None)],
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals_keep_the_model(call, error, message):
    p = loaded()
    before = p.getVariable()
    with pytest.raises(error, match=message):
        call(p)
    assert p.getVariable() == before and [v.index for v in before] == list(range(32))
    assert (p.attributes.cols, p.attributes.rows, p.name(), p.getOutputEnabled()) == (32, 27, "AFIRO", True)


# ---- problem files ---------------------------------------------------------------------------


@pytest.mark.parametrize("filename,out,flags", [
    ("afiro.mps", "first.mps", ""),
    ("avgas.mps", "avgas.lp", "l"), ("avgas.mps", "nl.mps", "g"),
])
def test_write_then_read_recreates_the_model(t, filename, out, flags, tmp_path):
    if flags == "g" and t.nlp_flag() != 1:
        pytest.skip("nonlinear layer not built")
    first = loaded(filename)
    out1, out2 = tmp_path / out, tmp_path / ("second_" + out)
    first.write(str(out1), flags)
    second = kelvo.problem()
    second.read(str(out1))
    second.write(str(out2), flags)
    # Same rows, columns, names, types and coefficients: the written files agree line by line.
    assert out1.read_text() == out2.read_text()
    for attrib in ("rows", "cols", "elems", "mipents", "namelength"):
        assert second.getAttrib(attrib) == first.getAttrib(attrib), attrib
    assert [second.getIndex(v) for v in second.getVariable()] == list(range(first.attributes.cols))


@pytest.mark.parametrize("suffix", [".mps", ".lp"])
def test_repeated_names_are_written_apart_and_read_back(suffix, tmp_path, capsys):
    p = kelvo.problem()
    x = p.addVariables(3, ub=4)
    y = p.addVariables(2, ub=3, vartype=kelvo.integer)  # x(0) and x(1) again
    p.addConstraint(kelvo.constraint(x[0] + 2 * y[0] <= 5, name="c"), kelvo.constraint(x[1] + y[1] >= 1, name="c"))
    p.setObjective(-(x[0] + x[1] + x[2] + 3 * y[0] + 2 * y[1]))
    first, again = tmp_path / ("first" + suffix), tmp_path / ("again" + suffix)
    p.write(str(first))
    # The writer says what it did through the problem's message output, which can be switched off.
    assert "2 columns repeat the name of a lower-numbered column" in capsys.readouterr().out
    p.setOutputEnabled(False)
    p.write(str(first))
    assert capsys.readouterr().out == ""
    q = kelvo.problem()
    q.read(str(first))
    assert [v.name for v in q.getVariable()] == ["x(0)", "x(1)", "x(2)", "x(0)_2", "x(1)_2"]
    assert [c.name for c in q.getConstraint()] == ["c", "c_2"]
    # Written again, the copy gives the same file: same matrix, bounds, types and objective.
    q.write(str(again))
    assert again.read_text() == first.read_text()


def test_reading_replaces_the_objects_and_marks_the_old_ones_deleted():
    p = loaded("avgas.mps")
    old = p.getVariable() + p.getConstraint()
    p.read(str(DATA / "afiro.mps"))
    assert all(o.index == -1 for o in old)
    assert len(p.getVariable()) == 32


# ---- reset and copy ------------------------------------------------------------------------


def test_reset_gives_an_empty_default_problem_and_deletes_the_old_objects():
    p = loaded()
    p.setControl("presolve", 0)
    old, accessor = p.getVariable(), p.controls
    p.reset()
    assert p.name() == "noname"
    assert p.attributes.cols == 0 and p.getVariable() == []
    assert p.controls.presolve == 1 and p.controls is not accessor
    with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
        accessor.presolve
    assert all(v.index == -1 for v in old)
    with pytest.raises(kelvo.ModelError, match="Deleted variables cannot be re-used"):
        kelvo.problem(old[0])


def test_copy_gives_distinct_objects_at_the_same_indices_and_is_independent():
    p = loaded()
    p.setControl("feastol", 1e-5)
    p.setOutputEnabled(False)
    q = p.copy()
    assert q is not p and type(q) is kelvo.problem
    assert q.name() == p.name()
    pv, qv = p.getVariable(), q.getVariable()
    assert len(qv) == len(pv) == 32
    assert all(a is not b for a, b in zip(pv, qv))
    assert [q.getIndex(v) for v in qv] == [p.getIndex(v) for v in pv]
    assert [q.getIndex(c) for c in q.getConstraint()] == list(range(27))
    with pytest.raises(kelvo.ModelError, match="Variable is from a different problem"):
        q.getIndex(pv[0])
    assert q.controls.feastol == 1e-5
    assert q.getOutputEnabled() is False
    q.setControl("presolve", 0)
    q.reset()
    assert p.controls.presolve == 1
    assert p.attributes.cols == 32 and len(p.getVariable()) == 32


# ---- lookup ----------------------------------------------------------------------------------


def test_lookup_by_index_list_and_range():
    p = loaded()
    v = p.getVariable()
    assert v == p.getVariable() and v is not p.getVariable()
    assert p.getVariable(3) is v[3]
    assert p.getVariable(np.int32(4)) is v[4]
    assert p.getVariable(index=[0, 2]) == [v[0], v[2]]
    assert p.getVariable([[1], (2, [np.int64(3)])]) == [v[1], v[2], v[3]]
    assert p.getVariable(first=2, last=4) == v[2:5]
    assert p.getVariable(first=31, last=31) == [v[31]]
    assert p.getVariable(first=4, last=2) == []
    c = p.getConstraint(5)
    assert p.getIndex(c) == 5 and p.getIndex(v[7]) == 7
    p.read(str(DATA / "avgas.mps"))
    with pytest.raises(kelvo.ModelError, match="Constraint has been deleted from the problem"):
        p.getIndex(c)


# ---- release -------------------------------------------------------------------------------


def test_an_accessor_outlives_its_problem_safely():
    p = kelvo.problem()
    controls, attributes, objattribs = p.controls, p.attributes, p.objattribs
    del p
    for action in (lambda: controls.presolve, lambda: attributes.cols, lambda: len(objattribs)):
        with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
            action()


# ---- messages --------------------------------------------------------------------------------

TRUNCATED_MPS = """NAME          SHORT
ROWS
 N  COST
 L  LIM1
COLUMNS
    X1        COST         1.0   LIM1         1.0
RHS
    RHS       LIM1         4.0
"""


def test_library_messages_follow_the_problem_output_switch(tmp_path, capsys):
    path = tmp_path / "short.mps"
    path.write_text(TRUNCATED_MPS)
    p = kelvo.problem()
    assert p.getOutputEnabled() is True
    p.read(str(path))
    assert "ENDATA" in capsys.readouterr().out
    p.setOutputEnabled(False)
    assert p.getOutputEnabled() is False
    p.read(str(path))
    assert capsys.readouterr().out == ""
    assert kelvo.getOutputEnabled() is True
    q = p.copy()  # the copy prints through its own message function, silenced like its source
    q.read(str(path))
    assert capsys.readouterr().out == ""
    q.setOutputEnabled(np.int64(7))  # any integer
    assert q.getOutputEnabled() is True
    q.read(str(path))
    assert "ENDATA" in capsys.readouterr().out
    kelvo.setOutputEnabled(False)
    try:
        q.read(str(path))
        assert capsys.readouterr().out == ""
    finally:
        kelvo.setOutputEnabled(True)


def test_objects_of_a_callback_problem_refuse_their_properties_but_keep_name_and_index(t):
    parent = loaded("afiro.mps")
    view = t.callback_problem(parent)
    try:
        (v,), (c,), _ = t.link_objects(view, 1)
        for obj, what in ((v, "Variable"), (c, "Constraint")):
            with pytest.raises(kelvo.InterfaceError, match=f"^{what} properties are not available when problem is presolved or in a callback"):
                obj.lb
            # The dictionary stops after name and index.
            assert list(obj.__dict__) == ["name", "index"]
            assert obj.__dict__["index"] == 0
        assert str(v) == str(parent.getVariable(0)) and str(c) == str(parent.getConstraint(0))
        # The parent's own objects still read their properties.
        assert parent.getVariable(0).ub == 1e20 and parent.getConstraint(0).type == kelvo.eq
    finally:
        t.detach_callback_problem(view)
