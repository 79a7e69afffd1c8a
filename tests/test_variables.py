"""problem.addVariable, addVariables, delVariable and the module function vars."""
import warnings

import numpy as np
import pytest

import kelvo

INF = 1e20


def new_problem():
    return kelvo.problem()


def free_var(**kw):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return kelvo.var(**kw)


def names(t, p):
    return [c[3] for c in t.columns(p)]


# ---- addVariable, linked form.


def test_addVariable_creates_columns_in_order(t):
    p = new_problem()
    x = p.addVariable(name="x", lb=-1, ub=4)
    y = p.addVariable("y", 2, 3, 1, kelvo.integer)
    z = p.addVariable()
    assert (x.index, y.index, z.index) == (0, 1, 2)
    assert t.columns(p) == [(-1.0, 4.0, "C", "x"), (2.0, 3.0, "I", "y"), (0.0, INF, "C", None)]
    assert [t.object_state(v) for v in (x, y, z)] == [("linked", 0), ("linked", 1), ("linked", 2)]


def test_addVariable_domains(t):
    p = new_problem()
    b = p.addVariable(vartype=kelvo.binary)
    i = p.addVariable(vartype=kelvo.integer, lb=0.5, ub=3.7)
    s = p.addVariable(vartype=kelvo.semicontinuous, lb=0, ub=10, threshold=2)
    assert t.columns(p) == [(0.0, 1.0, "B", None), (1.0, 3.0, "I", None), (0.0, 10.0, "S", None)]
    assert (b.vartype, i.vartype, s.vartype) == (kelvo.binary, kelvo.integer, kelvo.semicontinuous)


def test_binary_bounds_other_than_zero_and_one_survive_the_type_change(t):
    p = new_problem()
    p.addVariable(vartype=kelvo.binary, ub=0.5)  # rounded down to 0
    p.addVariable(vartype=kelvo.binary, lb=1)
    p.addVariable(vartype=kelvo.binary, lb=1, ub=1)
    assert [c[:3] for c in t.columns(p)] == [(0.0, 0.0, "B"), (1.0, 1.0, "B"), (1.0, 1.0, "B")]
    with pytest.raises(kelvo.ModelError, match="lower bound between 0 and 1"):
        p.addVariable(vartype=kelvo.binary, lb=2)


def test_addVariable_refusals_leave_the_problem_unchanged(t):
    p = new_problem()
    x = p.addVariable(name="x")
    cases = [
        (dict(vartype=-2), kelvo.ModelError, "^Invalid variable type -2: expected one of kelvo.binary"),
        (dict(vartype=7), kelvo.ModelError, "^Invalid variable type 7: expected one of kelvo.binary"),
        (dict(vartype=kelvo.binary, ub=3), kelvo.ModelError, "upper bound between 0 and 1$"),
        (dict(vartype=kelvo.partiallyinteger, lb=0, ub=4, threshold=9), kelvo.ModelError, "^Incorrect semi-continuous"),
        (dict(name=5), kelvo.ModelError, "^Variable name must be a string$"),
    ]
    for kwargs, error, message in cases:
        with pytest.raises(error, match=message):
            p.addVariable(**kwargs)
        assert t.columns(p) == [(0.0, INF, "C", "x")]
    assert x.index == 0


def test_adding_an_existing_variable_to_a_linked_problem_is_refused():
    p = new_problem()
    x = p.addVariable()
    with pytest.raises(kelvo.ModelError, match="^Cannot use problem.addVariable to add existing variables to the problem$"):
        p.addVariable(x)
    with pytest.raises(kelvo.ModelError, match="^Cannot use problem.addVariable to add existing variables to the problem$"):
        p.addVariable([x])


def test_methods_need_an_initialised_problem():
    p = kelvo.problem.__new__(kelvo.problem)
    for call in (lambda: p.addVariable(), lambda: p.addVariables(2), lambda: p.delVariable(0)):
        with pytest.raises(kelvo.ModelError, match="^Problem is not initialized$"):
            call()


# ---- addVariables over index sets.


def test_integer_index_sets_give_an_array_with_generated_names(t):
    p = new_problem()
    a = p.addVariables(2, 3)
    assert isinstance(a, np.ndarray) and a.shape == (2, 3)
    assert a[1, 2].name == "x(1,2)"
    assert [v.index for v in a.flat] == list(range(6))
    assert names(t, p) == ["x(0,0)", "x(0,1)", "x(0,2)", "x(1,0)", "x(1,1)", "x(1,2)"]


def test_other_index_sets_give_a_dict(t):
    p = new_problem()
    d = p.addVariables(["a", "b"], name="y", ub=5)
    assert list(d) == ["a", "b"]
    assert (d["a"].name, d["b"].name) == ("y(a)", "y(b)")
    assert d["b"].ub == 5.0
    e = p.addVariables(2, ["a"], name="z")
    assert list(e) == [(0, "a"), (1, "a")]
    assert e[(1, "a")].name == "z(1,a)"
    f = p.addVariables(range(1, 3), (2.5, b"q"), name="w")
    assert [v.name for v in f.values()] == ["w(1,2.5)", "w(1,q)", "w(2,2.5)", "w(2,q)"]
    assert list(f)[1] == (1, b"q")


def test_index_elements_of_any_kind_are_written_with_str():
    class Item:
        def __str__(self):
            return "item"

    p = new_problem()
    d = p.addVariables([Item()], {"k": 1}, name="v")
    (v,) = d.values()
    assert v.name == "v(item,k)"


def test_sets_and_iterables_without_len_handling():
    p = new_problem()
    d = p.addVariables({7}, name="s")
    assert d[7].name == "s(7)"
    with pytest.raises(kelvo.ModelError, match="^Invalid index: arguments must be lists, sets, iterable objects, or integer numbers$"):
        p.addVariables(x for x in range(3))
    with pytest.raises(kelvo.ModelError, match="^Invalid index: arguments must be lists"):
        p.addVariables(2.5)


def test_unnamed_variables_print_as_column_numbers(t):
    p = new_problem()
    a = p.addVariables(3, name="")
    assert [str(v) for v in a] == ["C1", "C2", "C3"]
    b = p.addVariables(2, name=None)
    assert [str(v) for v in b] == ["C4", "C5"]
    assert names(t, p) == [None] * 5


def test_index_set_errors():
    p = new_problem()
    cases = [
        ((["a", "a"],), "^Duplicate item in argument 1: each argument must contain unique elements$"),
        ((2, [1, 2, 1]), "^Duplicate item in argument 2: "),
        ((0,), "^Invalid index: integer argument must be positive \\(it is equivalent to range\\(k\\)\\)$"),
        ((-3,), "^Invalid index: integer argument must be positive"),
        (([],), "^Invalid index: empty dimension in creation of variables$"),
        ((3, set()), "^Invalid index: empty dimension"),
    ]
    for args, message in cases:
        with pytest.raises(kelvo.ModelError, match=message):
            p.addVariables(*args)
    with pytest.raises(kelvo.ModelError, match="^Variable name must be a string$"):
        p.addVariables(2, name=3)


class HashOnce:
    """An index element that can be hashed once (for the check for repeats) and then refuses,
    so that an add fails when its columns already exist."""

    def __init__(self):
        self.hashed = False

    def __hash__(self):
        if self.hashed:
            raise RuntimeError("hashed twice")
        self.hashed = True
        return 1

    def __str__(self):
        return "h"


def test_a_failing_addVariables_adds_nothing(t):
    p = new_problem()
    p.addVariables(3)
    before = t.columns(p)
    with pytest.raises(RuntimeError, match="hashed twice"):
        p.addVariables(["a", HashOnce()])
    assert t.columns(p) == before
    with pytest.raises(kelvo.ModelError):
        p.addVariables(4, vartype=kelvo.binary, ub=2)
    assert t.columns(p) == before
    # The problem is still usable and numbers on from where it was.
    more = p.addVariables(2, name="y")
    assert [v.index for v in more] == [3, 4]


def test_repeated_names_are_kept_and_a_name_finds_its_lowest_column(t):
    p = new_problem()
    a = p.addVariables(2, lb=1)
    b = p.addVariables(2, lb=5)  # the default prefix again: x(0), x(1)
    assert names(t, p) == ["x(0)", "x(1)", "x(0)", "x(1)"]
    assert [v.index for v in b] == [2, 3]
    p.setObjective(a[0] + a[1] + b[0] + b[1])
    p.optimize()
    assert p.getSolution(["x(0)", "x(1)"]) == [1, 1]
    # Renaming the lowest holder, or deleting it by name, hands the name to the next one.
    a[1].name = "y"
    p.delVariable("x(0)")
    assert t.object_state(a[0])[0] == "deleted"
    assert names(t, p) == ["y", "x(0)", "x(1)"]
    p.optimize()
    assert p.getSolution(["x(0)", "x(1)", "y"]) == [5, 5, 1]


def test_addVariables_applies_domain_and_type_to_every_column(t):
    p = new_problem()
    p.addVariables(2, vartype=kelvo.binary, lb=1, name="")
    p.addVariables(2, vartype=kelvo.semiinteger, lb=1, ub=9, threshold=3, name="")
    p.addVariables(1, vartype=kelvo.integer, lb=-2.5, ub=2.5, name="")
    assert [c[:3] for c in t.columns(p)] == [
        (1.0, 1.0, "B"),
        (1.0, 1.0, "B"),
        (1.0, 9.0, "R"),
        (1.0, 9.0, "R"),
        (-2.0, 2.0, "I"),
    ]


def test_addVariables_without_index_sets_is_addVariable(t):
    p = new_problem()
    v = p.addVariables(name="only", ub=2)
    assert isinstance(v, kelvo.var)
    assert t.columns(p) == [(0.0, 2.0, "C", "only")]


def test_many_names_go_in_chunks(t):
    p = new_problem()
    a = p.addVariables(60000, name="long_prefix_for_chunking_")
    assert a[59999].name == "long_prefix_for_chunking_(59999)"
    assert a[30000].name == "long_prefix_for_chunking_(30000)"
    assert a[0].index == 0


# ---- delVariable.


def test_delete_renumbers_the_remaining_variables():
    p = new_problem()
    v = [p.addVariable() for _ in range(5)]
    p.delVariable([v[1], v[3]])
    assert [x.index for x in v] == [0, -1, 1, -1, 2]
    assert str(v[1]) == str(v[3]) == "(deleted variable)"
    assert hash(v[4]) == 2


def test_delete_by_index_name_range_and_array(t):
    p = new_problem()
    v = p.addVariables(8)
    p.delVariable(7)
    p.delVariable("x(0)")
    assert [x.index for x in v] == [-1, 0, 1, 2, 3, 4, 5, -1]
    p.delVariable(first=1, last=2)
    assert names(t, p) == ["x(1)", "x(4)", "x(5)", "x(6)"]
    p.delVariable(np.array([3, 0], dtype=np.int64))
    assert names(t, p) == ["x(4)", "x(5)"]
    p.delVariable(index=(i for i in [1]))
    assert names(t, p) == ["x(4)"]
    assert v[4].index == 0


def test_delete_argument_errors_change_nothing(t):
    p = new_problem()
    v = p.addVariables(4)
    q = new_problem()
    other = q.addVariable()
    cases = [
        (dict(index=v[0], first=0), "^Parameters 'first' and 'last' cannot be specified if 'index' is also specified$"),
        (dict(first=3, last=1), "^Parameter 'first' must be less than, or equal to, 'last'$"),
        (dict(first=1), "^Parameters 'first' and 'last' must be both nonnegative when specified$"),
        (dict(last=1), "^Parameters 'first' and 'last' must be both nonnegative when specified$"),
        (dict(first=0, last=4), "^Parameters 'first' or 'last' are out of range$"),
        (dict(), "^At least one parameter must be specified$"),
        (dict(index=[0, 2.5]), "^Invalid variable object 2.5$"),
        (dict(index=other), "^Variable is from a different problem$"),
    ]
    for kwargs, message in cases:
        with pytest.raises(kelvo.ModelError, match=message):
            p.delVariable(**kwargs)
        assert len(t.columns(p)) == 4
    with pytest.raises(kelvo.SolverError):
        p.delVariable([1, 1])  # repeated indices are refused by the library
    with pytest.raises(kelvo.SolverError):
        p.delVariable(9)
    assert [x.index for x in v] == [0, 1, 2, 3]
    p.delVariable([])
    assert len(t.columns(p)) == 4


def test_deleted_variable_cannot_be_deleted_again():
    p = new_problem()
    x = p.addVariable()
    p.delVariable(x)
    with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
        p.delVariable(x)


# ---- Unlinked variables (deprecated).


def test_unlinked_variables_join_through_the_unlinked_map(t):
    p = new_problem()
    x = free_var(name="x", lb=-1, ub=2)
    y = free_var(vartype=kelvo.binary)
    z = free_var(vartype=kelvo.semicontinuous, ub=5, threshold=2, name="z")
    assert p.addVariable(x, [y, (z,)]) is None
    assert t.columns(p) == [(-1.0, 2.0, "C", "x"), (0.0, 1.0, "B", "C%d" % t.object_state(y)[1]), (0.0, 5.0, "S", "z")]
    assert [t.column_of(p, v) for v in (x, y, z)] == [0, 1, 2]
    # The objects stay unlinked: the problem maps them.
    assert x.index is None and t.object_state(x)[0] == "unlinked"
    p.delVariable(y)
    assert t.object_state(y)[0] == "unlinked"
    assert [t.column_of(p, v) for v in (x, z)] == [0, 1]
    with pytest.raises(kelvo.ModelError, match="^Variable in test does not belong to this problem$"):
        t.column_of(p, y)
    w = free_var(name="w")
    p.addVariable(w)
    assert t.column_of(p, w) == 2


def test_unlinked_binary_with_other_bounds_keeps_them(t):
    p = new_problem()
    b = free_var(vartype=kelvo.binary, lb=1)
    p.addVariable(b)
    assert t.columns(p)[0][:3] == (1.0, 1.0, "B")


def test_unlinked_adds_are_checked(t):
    p = new_problem()
    x = free_var(name="x")
    p.addVariable(x)
    with pytest.raises(kelvo.InterfaceError, match="^Variable already added to problem$"):
        with pytest.warns(kelvo.DeprecationWarning, match="do not share variables"):
            p.addVariable(x)
    with pytest.raises(kelvo.InterfaceError, match="^Incorrect objects added as variables to problem$"):
        p.addVariable([free_var(), 3])
    with pytest.raises(kelvo.ModelError, match="^Cannot use problem.addVariable to create linked variables: this problem already contains unlinked objects$"):
        p.addVariable(lb=3)
    with pytest.raises(kelvo.ModelError, match="^Cannot use problem.addVariable to create linked variables"):
        p.addVariables(3)
    with pytest.warns(kelvo.DeprecationWarning, match="has no effect$"):
        p.addVariable()
    assert len(t.columns(p)) == 1
    q0 = new_problem()
    linked = q0.addVariable()
    with pytest.raises(kelvo.ModelError, match="^Linked variables cannot be added to another problem$"):
        p.addVariable(linked)
    q = new_problem()
    gone = q.addVariable()
    q.delVariable(gone)
    with pytest.raises(kelvo.ModelError, match="^Deleted variables cannot be re-used$"):
        p.addVariable(gone)
    with pytest.raises(kelvo.ModelError, match="^Variable is not initialized$"):
        p.addVariable(kelvo.var.__new__(kelvo.var))
    assert len(t.columns(p)) == 1


def test_failed_unlinked_add_leaves_the_problem_empty(t):
    p = new_problem()
    a, b = free_var(), free_var()
    with pytest.raises(kelvo.InterfaceError):
        p.addVariable(a, b, "not a variable")
    assert t.columns(p) == []
    # Nothing was recorded: the problem is still empty and may take linked variables.
    x = p.addVariable(lb=2)
    assert x.index == 0
    # The failed variables were not marked as shared.
    q = new_problem()
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        q.addVariable(a, b)


def test_unlinked_variables_may_repeat_a_name(t):
    p = new_problem()
    d = free_var(name="dup")
    p.addVariable(d)
    c = free_var(name="fresh")
    p.addVariable(c, free_var(name="dup"))
    assert names(t, p) == ["dup", "fresh", "dup"]
    p.delVariable("dup")  # the lowest column of that name
    assert names(t, p) == ["fresh", "dup"]
    assert t.column_of(p, c) == 0


def test_sharing_unlinked_variables_warns():
    x = free_var()
    new_problem().addVariable(x)
    q = new_problem()
    with pytest.warns(kelvo.DeprecationWarning, match="^Deprecated in Kelvo 9.5: do not share variables between several problems$"):
        q.addVariable(x)
    r = new_problem()
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            r.addVariable(x)


# ---- The module function vars.


def test_vars_without_index_sets_builds_one_variable():
    with pytest.warns(kelvo.DeprecationWarning, match="problem.addVariable\\(\\)$"):
        v = kelvo.vars(name="v", lb=2)
    assert isinstance(v, kelvo.var)
    assert (v.name, v.lb, v.index) == ("v", 2.0, None)


def test_vars_over_index_sets_builds_unlinked_variables(t):
    with pytest.warns(kelvo.DeprecationWarning, match="^Deprecated in Kelvo 9.5: create linked variables by calling problem.addVariables\\(\\)$"):
        a = kelvo.vars(2, 2, name="y", vartype=kelvo.integer, ub=4.5)
    assert a.shape == (2, 2)
    assert [v.name for v in a.flat] == ["y(0,0)", "y(0,1)", "y(1,0)", "y(1,1)"]
    assert all(v.index is None and v.ub == 4.0 and v.vartype == kelvo.integer for v in a.flat)
    ids = [t.object_state(v)[1] for v in a.flat]
    assert len(set(ids)) == 4
    with pytest.warns(kelvo.DeprecationWarning):
        d = kelvo.vars(["p", "q"])
    assert [v.name for v in d.values()] == ["x(p)", "x(q)"]
    p = new_problem()
    p.addVariable(d)
    assert names(t, p) == ["x(p)", "x(q)"]


def test_vars_refuses_bad_index_sets():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.ModelError, match="^Duplicate item in argument 1"):
            kelvo.vars([1, 1])


def test_problem_declaration_adds_unlinked_variables(t):
    x = free_var(name="x", ub=3)
    y = free_var(name="y", vartype=kelvo.integer, ub=2)
    p = kelvo.problem([x, y], name="declared")
    assert names(t, p) == ["x", "y"]
    assert [t.column_of(p, v) for v in (x, y)] == [0, 1]
    assert t.columns(p)[1][:3] == (0.0, 2.0, "I")


def test_copy_keeps_variables_apart(t):
    p = new_problem()
    x = p.addVariables(3)
    q = p.copy()
    q.delVariable(0)
    # The source keeps its columns and numbering.
    assert [v.index for v in x] == [0, 1, 2]
    assert len(t.columns(p)) == 3 and len(t.columns(q)) == 2


def test_failed_adds_release_every_reference():
    import sys

    p = new_problem()
    p.addVariable(name="x(tag)")
    tag = "".join(["t", "ag"])  # a string object of its own
    before = sys.getrefcount(tag)
    for _ in range(3):
        with pytest.raises(kelvo.ModelError):
            p.addVariables([tag, tag])
        with pytest.raises(RuntimeError):
            p.addVariables([tag, HashOnce()])  # refused after the columns exist
    assert sys.getrefcount(tag) == before
    assert len(p.getVariable()) == 1
    d = p.addVariables([tag], name="y")
    assert sys.getrefcount(tag) == before + 1
    del d
    assert sys.getrefcount(tag) == before


def test_variable_list_follows_adds_and_deletes():
    p = new_problem()
    a = p.addVariables(4)
    b = p.addVariable(name="b")
    assert list(map(id, p.getVariable())) == list(map(id, list(a) + [b]))
    p.delVariable([a[0], a[2]])
    assert list(map(id, p.getVariable())) == list(map(id, [a[1], a[3], b]))
    assert [v.index for v in p.getVariable()] == [0, 1, 2]


# ---- Objects for columns added by the low-level input methods.


def test_column_objects_linked(t):
    p = new_problem()
    p.addVariable(name="first")
    vs = t.column_objects(p, 2, False, ["a", "b"], ["I", "B"])
    assert [v.index for v in vs] == [0, 1, 2]
    assert t.columns(p)[1:] == [(0.0, INF, "I", "a"), (0.0, 1.0, "B", "b")]
    assert (vs[1].name, vs[2].vartype) == ("a", kelvo.binary)


def test_column_objects_unlinked(t):
    p = new_problem()
    with pytest.warns(kelvo.DeprecationWarning, match="unlinked variables and constraints are deprecated$"):
        assert t.unlinked_argument(p, True) is True
    vs = t.column_objects(p, 3, True, None, None, ([1, 2], "SP", [2.5, -INF]))
    assert [v.index for v in vs] == [None] * 3
    assert [v.vartype for v in vs] == [kelvo.continuous, kelvo.semicontinuous, kelvo.partiallyinteger]
    assert (vs[1].threshold, vs[2].threshold) == (2.5, -INF)
    assert [t.column_of(p, v) for v in vs] == [0, 1, 2]
    named = t.column_objects(p, 1, True, ["n"], ["I"])
    assert (named[3].name, named[3].vartype, t.column_of(p, named[3])) == ("n", kelvo.integer, 3)
    assert t.unlinked_argument(p, None) is True


def test_column_objects_refusals_add_nothing(t):
    p = new_problem()
    with pytest.raises(kelvo.ModelError, match="^Incorrect length of variable name list$"):
        t.column_objects(p, 2, False, ["a"])
    with pytest.raises(kelvo.ModelError, match="^Incorrect length of variable type list$"):
        t.column_objects(p, 2, True, None, ["C"])
    with pytest.raises(kelvo.ModelError, match="^Incorrect variable type$"):
        t.column_objects(p, 2, True, None, ["C", "Q"])
    with pytest.raises(kelvo.ModelError, match="^Variable name must be a string$"):
        t.column_objects(p, 2, True, ["a", 3])
    assert p.getVariable() == [] and t.columns(p) == []
    # Nothing was mapped either: the problem is still empty, not unlinked.
    assert t.unlinked_argument(p, None) is False


def test_unlinked_argument_checks():
    t = kelvo._kelvo._testing
    p = new_problem()
    assert t.unlinked_argument(p, None) is False
    with pytest.raises(kelvo.ModelError, match="^The unlinked argument must be a Boolean value$"):
        t.unlinked_argument(p, 1)
    p.addVariable()
    with pytest.raises(kelvo.ModelError, match="^Argument unlinked=True not permitted: the problem already contains linked objects$"):
        t.unlinked_argument(p, True)
    assert t.unlinked_argument(p, False) is False
    q = new_problem()
    q.addVariable(free_var())
    with pytest.raises(kelvo.ModelError, match="^Argument unlinked=False not permitted: the problem already contains unlinked objects$"):
        t.unlinked_argument(q, False)


def test_declaring_a_problem_with_a_shared_variable_warns_once():
    x = free_var()
    new_problem().addVariable(x)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        p = kelvo.problem(x)
    shared = [w for w in caught if "do not share variables" in str(w.message)]
    assert len(shared) == 1
    assert p.getIndex(x) == 0
    # Turned into an error, the warning stops the declaration.
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.problem([x])


# ---- Library calls of bulk creation.


@pytest.mark.parametrize(
    "build",
    [
        lambda p, n: p.addVariables(n),
        lambda p, n: p.addVariables(n, name=""),
        lambda p, n: p.addVariables(n, name="y", lb=-1, ub=5),
        lambda p, n: p.addVariables(n, vartype=kelvo.integer, ub=3, name=""),
        lambda p, n: p.addVariables(n, vartype=kelvo.binary),
        lambda p, n: p.addVariables(n, vartype=kelvo.semicontinuous, ub=5, threshold=1),
        lambda p, n: p.addVariables(["k%d" % i for i in range(n)], name="z"),
        lambda p, n: p.addVariables(n // 10, 10, vartype=kelvo.integer),
    ],
    ids=["default", "unnamed", "named-bounds", "integer", "binary", "semicontinuous", "index-set", "two-sets"],
)
def test_addVariables_makes_the_same_few_library_calls_whatever_the_count(t, build):
    counts = []
    for n in (10, 1000, 100000):
        p = new_problem()
        t.library_calls(True)
        build(p, n)
        counts.append(t.library_calls())
        assert p.attributes.cols == n
    assert counts[0] == counts[1] == counts[2], counts
    assert 0 < counts[0] <= 8, counts


def test_the_library_call_count_follows_calls_and_resets(t):
    p = new_problem()
    t.library_calls(True)
    assert t.library_calls() == 0
    p.name()
    after_one = t.library_calls()
    assert after_one >= 1
    p.name()
    assert t.library_calls(True) == 2 * after_one
    assert t.library_calls() == 0
