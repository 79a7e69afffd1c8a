"""kelvo.problem: construction, names, problem files, reset, copy, object lookup and release."""

import os
import pathlib
import re

import numpy as np
import pytest

import kelvo

DATA = pathlib.Path(__file__).resolve().parent.parent / "klvo" / "tests" / "data"


def readme_sizes():
    """(file, rows, cols) for every model listed in the data README."""
    sizes = []
    for line in (DATA / "README.md").read_text().splitlines():
        m = re.match(r"\|\s*(\S+\.mps)\s*\|[^|]*\|\s*(\d+)\s*x\s*(\d+)\s*\|", line)
        if m:
            sizes.append((m.group(1), int(m.group(2)), int(m.group(3))))
    return sizes


def loaded(name="afiro.mps"):
    p = kelvo.problem()
    p.read(str(DATA / name))
    return p


# ---- construction --------------------------------------------------------------------------


def test_name_keyword_and_default_name():
    assert kelvo.problem(name="plant").name() == "plant"
    assert kelvo.problem().name() == "noname"
    assert str(kelvo.problem(name="depot")) == "depot"


def test_positional_string_names_the_problem_and_a_second_is_refused():
    assert kelvo.problem("from_string", name="from_keyword").name() == "from_string"
    assert kelvo.problem(b"bytes_name").name() == "bytes_name"
    with pytest.raises(kelvo.ModelError, match="More than one string passed in problem declaration"):
        kelvo.problem("a", "b")


def test_sense_must_be_one_or_minus_one():
    for bad in (0, 2, -2, 1.0, "max"):
        with pytest.raises(kelvo.ModelError, match="Invalid optimization sense"):
            kelvo.problem(sense=bad)
    assert kelvo.problem(sense=kelvo.maximize).attributes.objsense == -1.0
    assert kelvo.problem(sense=kelvo.minimize).attributes.objsense == 1.0
    assert kelvo.problem(sense=np.int64(-1)).attributes.objsense == -1.0


def test_empty_collections_are_skipped():
    p = kelvo.problem([], (), {}, [[], ()], iter([]), np.array([], dtype=object), name="e")
    assert p.name() == "e"
    assert p.getVariable() == [] and p.getConstraint() == [] and p.getSOS() == []


def test_elements_that_are_not_model_objects_are_refused():
    message = "Erroneous problem declaration; argument contained object that was not a variable"
    for element in (3, [1.5], ["x"], {"k": None}, np.array([1.0, 2.0])):
        with pytest.raises(kelvo.ModelError, match=message):
            kelvo.problem(element)


def test_second_initialisation_is_refused():
    p = kelvo.problem(name="once")
    with pytest.raises(kelvo.ModelError, match="Problem is already initialized"):
        p.__init__()
    assert p.name() == "once"


def test_linked_and_deleted_variables_cannot_declare_a_problem():
    source = loaded()
    x = source.getVariable(0)
    with pytest.raises(kelvo.ModelError, match="Linked variables cannot be added to another problem"):
        kelvo.problem([x])
    source.reset()
    with pytest.raises(kelvo.ModelError, match="Deleted variables cannot be re-used"):
        kelvo.problem(x)


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


def test_a_generator_element_goes_as_its_first_item_and_the_rest():
    source = loaded()
    cons = source.getConstraint(first=0, last=3)
    gen = (c for c in cons)
    p = Recorder(gen)
    [(method, args)] = p.calls
    assert method == "addConstraint"
    assert args[0] is cons[0] and args[1] is gen
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
    assert t.rows(p) == [("L", 4.0, 0.0, None, [(0, 1.0)], [])]
    assert t.objective(p)[0] == [2.0]


# ---- problem files ---------------------------------------------------------------------------


@pytest.mark.parametrize("filename,rows,cols", readme_sizes())
def test_reading_each_instance_gives_its_sizes_and_linked_objects(filename, rows, cols, t):
    p = loaded(filename)
    assert (p.attributes.rows, p.attributes.cols) == (rows, cols)
    variables, constraints = p.getVariable(), p.getConstraint()
    assert len(variables) == cols and len(constraints) == rows
    assert [t.object_state(v) for v in variables] == [("linked", j) for j in range(cols)]
    assert [t.object_state(c)[:2] for c in constraints] == [("linked", i) for i in range(rows)]
    assert [p.getIndex(c) for c in constraints[:5]] == list(range(min(5, rows)))


def test_readme_lists_every_instance():
    listed = {name for name, _, _ in readme_sizes()}
    assert listed == {f.name for f in DATA.glob("*.mps")}


@pytest.mark.parametrize("filename", ["afiro.mps", "flugpl.mps", "egout.mps"])
def test_write_then_read_recreates_the_model(filename, tmp_path):
    first = loaded(filename)
    out1, out2 = tmp_path / "first.mps", tmp_path / "second.mps"
    first.write(str(out1))
    second = kelvo.problem()
    second.read(str(out1))
    second.write(str(out2))
    # Same rows, columns, names, types and coefficients: the written files agree line by line.
    assert out1.read_text() == out2.read_text()
    for attrib in ("rows", "cols", "elems", "mipents", "namelength"):
        assert second.getAttrib(attrib) == first.getAttrib(attrib), attrib
    assert len(second.getVariable()) == first.attributes.cols
    assert [second.getIndex(v) for v in second.getVariable()] == list(range(first.attributes.cols))


@pytest.mark.parametrize("flags", ["", "l"])
def test_repeated_names_are_written_apart_and_read_back_to_the_same_model(flags, tmp_path, capsys):
    p = kelvo.problem()
    x = p.addVariables(3, ub=4)
    y = p.addVariables(2, ub=3, vartype=kelvo.integer)  # x(0) and x(1) again
    p.addConstraint(kelvo.constraint(x[0] + 2 * y[0] <= 5, name="c"), kelvo.constraint(x[1] + y[1] >= 1, name="c"))
    p.setObjective(-(x[0] + x[1] + x[2] + 3 * y[0] + 2 * y[1]))
    suffix = ".lp" if flags else ".mps"
    first, again = tmp_path / ("first" + suffix), tmp_path / ("again" + suffix)
    p.write(str(first), flags)
    # The writer says what it did through the problem's message output.
    assert "2 columns repeat the name of a lower-numbered column" in capsys.readouterr().out
    q = kelvo.problem()
    q.read(str(first))
    assert [v.name for v in q.getVariable()] == ["x(0)", "x(1)", "x(2)", "x(0)_2", "x(1)_2"]
    assert [c.name for c in q.getConstraint()] == ["c", "c_2"]
    # Written again, the copy gives the same file: same matrix, bounds, types and objective.
    q.write(str(again), flags)
    assert again.read_text() == first.read_text()
    p.setOutputEnabled(False)
    p.write(str(first), flags)
    assert capsys.readouterr().out == ""
    # x(0) + 2 y(0) <= 5 with y(0) integer: y(0) = 2, x(0) = 1; the rest at their bounds.
    for model in (p, q):
        model.setOutputEnabled(False)
        model.optimize()
        assert model.attributes.objval == pytest.approx(-21)
    assert p.getSolution(["x(0)", "x(1)"]) == pytest.approx([1, 4])


def test_write_in_lp_format_reads_back(tmp_path):
    first = loaded("avgas.mps")
    path = tmp_path / "avgas.lp"
    first.write(str(path), "l")
    second = kelvo.problem()
    second.read(str(path))
    assert (second.attributes.rows, second.attributes.cols) == (10, 8)


def test_reading_replaces_the_objects_and_marks_the_old_ones_deleted(t):
    p = loaded("avgas.mps")
    old = p.getVariable() + p.getConstraint()
    p.read(str(DATA / "afiro.mps"))
    assert all(t.object_state(o)[0] == "deleted" for o in old)
    assert len(p.getVariable()) == 32


def test_a_file_that_cannot_be_read_keeps_the_model(t, tmp_path):
    p = loaded("avgas.mps")
    before = p.getVariable()
    with pytest.raises(kelvo.SolverError):
        p.read(str(tmp_path / "missing.mps"))
    assert p.getVariable() == before
    assert all(t.object_state(v)[0] == "linked" for v in before)
    assert p.attributes.cols == 8


def test_read_checks_the_unlinked_argument():
    p = kelvo.problem()
    with pytest.raises(kelvo.ModelError, match="The unlinked argument must be a Boolean value"):
        p.read(str(DATA / "afiro.mps"), "", 1)
    assert p.attributes.cols == 0


def test_write_with_nonlinear_flag_writes_a_file_that_reads_back(tmp_path, t):
    p = loaded("avgas.mps")
    if t.nlp_flag() != 1:
        pytest.skip("nonlinear layer not built")
    p.write(str(tmp_path / "x.mps"), "g")
    q = kelvo.problem()
    q.read(str(tmp_path / "x.mps"))
    assert q.attributes.cols == p.attributes.cols and q.attributes.rows == p.attributes.rows


# ---- reset and copy ------------------------------------------------------------------------


def test_reset_gives_an_empty_default_problem_and_deletes_the_old_objects(t):
    p = loaded()
    p.setControl("presolve", 0)
    old = p.getVariable()
    p.reset()
    assert p.name() == "noname"
    assert p.attributes.cols == 0 and p.getVariable() == []
    assert p.controls.presolve == 1
    assert all(t.object_state(v) == ("deleted", 0) for v in old)
    with pytest.raises(kelvo.ModelError, match="Deleted variables cannot be re-used"):
        kelvo.problem(old[0])


def test_copy_gives_distinct_objects_at_the_same_indices():
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


def test_copy_is_independent_of_its_source():
    p = loaded()
    q = p.copy()
    q.setControl("presolve", 0)
    q.reset()
    assert p.controls.presolve == 1
    assert p.attributes.cols == 32 and len(p.getVariable()) == 32


# ---- lookup ----------------------------------------------------------------------------------


def test_get_index_checks_the_object():
    p = loaded()
    c = p.getConstraint(5)
    assert p.getIndex(c) == 5
    assert p.getIndex(p.getVariable(7)) == 7
    for other in (1, "C1", None, p):
        with pytest.raises(kelvo.ModelError, match=r"Incorrect object\(s\) passed: need variable, constraint, or SOS"):
            p.getIndex(other)
    p.read(str(DATA / "avgas.mps"))
    with pytest.raises(kelvo.ModelError, match="Constraint has been deleted from the problem"):
        p.getIndex(c)


def test_get_variable_by_index_list_and_range():
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


def test_get_variable_argument_errors():
    p = loaded()
    with pytest.raises(kelvo.ModelError, match="Error in index list\\(s\\): must contain only integers"):
        p.getVariable(index=[0.5])
    with pytest.raises(kelvo.ModelError, match="must be both nonnegative when specified"):
        p.getVariable(first=1)
    with pytest.raises(kelvo.ModelError, match="cannot be specified if 'index' is also specified"):
        p.getVariable(0, first=1, last=2)
    with pytest.raises(kelvo.ModelError, match="out of range"):
        p.getVariable(first=0, last=32)
    with pytest.raises(IndexError):
        p.getVariable(32)
    with pytest.raises(IndexError):
        p.getConstraint([0, 27])
    with pytest.raises(IndexError):
        p.getVariable(-1)


def test_sets_are_listed_like_the_other_objects():
    p = kelvo.problem()
    assert p.getSOS() == []
    with pytest.raises(IndexError):
        p.getSOS(0)


# ---- output switch ---------------------------------------------------------------------------


def test_output_enabled_takes_integers_only():
    p = kelvo.problem()
    assert p.getOutputEnabled() is True
    p.setOutputEnabled(False)
    assert p.getOutputEnabled() is False
    p.setOutputEnabled(np.int64(7))
    assert p.getOutputEnabled() is True
    for bad in (0.0, "yes", None):
        with pytest.raises(kelvo.ModelError, match="Incorrect argument in setOutputEnabled: should be True or False"):
            p.setOutputEnabled(bad)
    assert p.getOutputEnabled() is True
    assert kelvo.getOutputEnabled() is True


# ---- release -------------------------------------------------------------------------------


def test_after_free_every_problem_is_released(t):
    problems = [loaded("avgas.mps"), kelvo.problem(name="b")]
    objects = problems[0].getVariable()
    while kelvo.free():
        pass
    for p in problems:
        assert not t.has_handle(p)
        for method in (p.name, p.getVariable, p.reset, p.copy, p.getControl, p.getAttrib):
            with pytest.raises(kelvo.ModelError, match="Problem is not initialized"):
                method()
        with pytest.raises(kelvo.ModelError, match="Problem is not initialized"):
            p.setControl("presolve", 0)
    assert all(t.object_state(v)[0] == "deleted" for v in objects)
    # A new problem initialises the library again.
    assert kelvo.problem(name="again").name() == "again"


def test_problems_leave_the_live_list_when_released(t):
    before = t.live_problems()
    p = kelvo.problem()
    q = p.copy()
    assert t.live_problems() == before + 2
    del p, q
    assert t.live_problems() == before


def test_an_accessor_outlives_its_problem_safely():
    p = kelvo.problem()
    controls, attributes, objattribs = p.controls, p.attributes, p.objattribs
    del p
    with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
        controls.presolve
    with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
        attributes.cols
    with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
        len(objattribs)


def test_reset_gives_new_accessors():
    p = kelvo.problem()
    old = p.controls
    p.reset()
    assert p.controls is not old
    assert p.controls.presolve == 1
    with pytest.raises(kelvo.InterfaceError, match="Object is not initialized"):
        old.presolve


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
    p.read(str(path))
    assert "ENDATA" in capsys.readouterr().out
    p.setOutputEnabled(False)
    p.read(str(path))
    assert capsys.readouterr().out == ""
    assert kelvo.getOutputEnabled() is True
    q = p.copy()  # the copy prints through its own message function, silenced like its source
    q.read(str(path))
    assert capsys.readouterr().out == ""
    q.setOutputEnabled(True)
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
