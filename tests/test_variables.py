"""problem.addVariable, addVariables, delVariable and the module function vars."""
import sys
import warnings

import numpy as np
import pytest

import kelvo
from conftest import run_fresh
from helpers import deleted_variable, free_var, other_problem

INF = 1e20


def names(t, p):
    return [c[3] for c in t.columns(p)]


# ---- addVariable and addVariables.


def test_addVariable_creates_columns_in_order(t):
    p = kelvo.problem()
    x = p.addVariable(name="x", lb=-1, ub=4)
    y = p.addVariable("y", 2, 3, 1, kelvo.integer)
    z = p.addVariable()
    assert (x.index, y.index, z.index) == (0, 1, 2)
    assert t.columns(p) == [(-1.0, 4.0, "C", "x"), (2.0, 3.0, "I", "y"), (0.0, INF, "C", None)]


@pytest.mark.parametrize("add,column,vartype", [
    (lambda p: p.addVariable(vartype=kelvo.binary), (0.0, 1.0, "B"), kelvo.binary),
    (lambda p: p.addVariable(vartype=kelvo.integer, lb=0.5, ub=3.7), (1.0, 3.0, "I"), kelvo.integer),
    (lambda p: p.addVariable(vartype=kelvo.semicontinuous, lb=0, ub=10, threshold=2), (0.0, 10.0, "S"),
     kelvo.semicontinuous),
    # Binary bounds other than zero and one survive the type change; ub 0.5 rounds down.
    (lambda p: p.addVariable(vartype=kelvo.binary, ub=0.5), (0.0, 0.0, "B"), kelvo.binary),
    (lambda p: p.addVariable(vartype=kelvo.binary, lb=1), (1.0, 1.0, "B"), kelvo.binary),
    (lambda p: p.addVariables(2, vartype=kelvo.binary, lb=1, name="")[1], (1.0, 1.0, "B"), kelvo.binary),
    (lambda p: p.addVariables(2, vartype=kelvo.semiinteger, lb=1, ub=9, threshold=3, name="")[1], (1.0, 9.0, "R"),
     kelvo.semiinteger),
    (lambda p: p.addVariables(1, vartype=kelvo.integer, lb=-2.5, ub=2.5, name="")[0], (-2.0, 2.0, "I"),
     kelvo.integer),
    # Without index sets addVariables is addVariable: one variable, not a container.
    (lambda p: p.addVariables(name="only", ub=2), (0.0, 2.0, "C"), kelvo.continuous),
])
def test_domains_reach_the_library(t, add, column, vartype):
    p = kelvo.problem()
    v = add(p)
    assert t.columns(p)[-1][:3] == column and v.vartype == vartype


class Item:
    def __str__(self):
        return "item"


@pytest.mark.parametrize("args,kwargs,keys,shown", [
    # Integer index sets give an array, other index sets a dictionary keyed by tuples.
    ((2, 3), {}, "array", ["x(0,0)", "x(0,1)", "x(0,2)", "x(1,0)", "x(1,1)", "x(1,2)"]),
    ((["a", "b"],), dict(name="y", ub=5), ["a", "b"], ["y(a)", "y(b)"]),
    ((2, ["a"]), dict(name="z"), [(0, "a"), (1, "a")], ["z(0,a)", "z(1,a)"]),
    ((range(1, 3), (2.5, b"q")), dict(name="w"), [(1, 2.5), (1, b"q"), (2, 2.5), (2, b"q")],
     ["w(1,2.5)", "w(1,q)", "w(2,2.5)", "w(2,q)"]),
    # Index elements of any kind are written with str; sets are index sets too.
    (([Item()], {"k": 1}), dict(name="v"), None, ["v(item,k)"]),
    (({7},), dict(name="s"), [7], ["s(7)"]),
    # Unnamed variables print as their column numbers.
    ((3,), dict(name=""), "array", ["C1", "C2", "C3"]),
    ((2,), dict(name=None), "array", ["C1", "C2"]),
])
def test_index_sets_give_containers_and_names(t, args, kwargs, keys, shown):
    p = kelvo.problem()
    result = p.addVariables(*args, **kwargs)
    if keys == "array":
        assert isinstance(result, np.ndarray) and result.shape == args
        values = list(result.flat)
    else:
        assert keys is None or list(result) == keys
        values = list(result.values())
    assert [str(v) for v in values] == shown
    assert [v.index for v in values] == list(range(len(shown)))
    assert names(t, p) == ([None] * len(shown) if "name" in kwargs and not kwargs["name"] else shown)
    assert all(v.ub == kwargs.get("ub", INF) for v in values)


def test_many_names_go_in_chunks():
    p = kelvo.problem()
    a = p.addVariables(60000, name="long_prefix_for_chunking_")
    assert a[59999].name == "long_prefix_for_chunking_(59999)"
    assert a[30000].name == "long_prefix_for_chunking_(30000)"


def test_repeated_names_are_kept_and_a_name_finds_its_lowest_column(t):
    p = kelvo.problem()
    a = p.addVariables(2, lb=1)
    b = p.addVariables(2, lb=5)  # the default prefix again: x(0), x(1)
    assert names(t, p) == ["x(0)", "x(1)", "x(0)", "x(1)"] and [v.index for v in b] == [2, 3]
    p.setObjective(a[0] + a[1] + b[0] + b[1])
    p.optimize()
    assert p.getSolution(["x(0)", "x(1)"]) == [1, 1]
    # Renaming the lowest holder, or deleting it by name, hands the name to the next one.
    a[1].name = "y"
    p.delVariable("x(0)")
    assert a[0].index == -1 and names(t, p) == ["y", "x(0)", "x(1)"]
    p.optimize()
    assert p.getSolution(["x(0)", "x(1)", "y"]) == [5, 5, 1]
    # Unlinked variables may repeat a name as well.
    q = kelvo.problem()
    c = free_var(name="fresh")
    q.addVariable(free_var(name="dup"))
    q.addVariable(c, free_var(name="dup"))
    q.delVariable("dup")  # the lowest column of that name
    assert names(t, q) == ["fresh", "dup"] and q.getIndex(c) == 0


# ---- Refusals: each leaves the problem as it was (four columns x(0)..x(3)) and usable.


class HashOnce:
    """An index element that hashes once (the check for repeats) and then refuses, so that an
    add fails when its columns already exist."""
    hashed = False

    def __hash__(self):
        if self.hashed:
            raise RuntimeError("hashed twice")
        self.hashed = True
        return 1


REFUSALS = [
    (lambda p: p.addVariable(vartype=7), kelvo.ModelError, "^Invalid variable type 7: expected one of kelvo.binary"),
    (lambda p: p.addVariable(vartype=kelvo.binary, ub=3), kelvo.ModelError, "upper bound between 0 and 1$"),
    (lambda p: p.addVariable(vartype=kelvo.binary, lb=2), kelvo.ModelError, "lower bound between 0 and 1$"),
    (lambda p: p.addVariable(vartype=kelvo.partiallyinteger, lb=0, ub=4, threshold=9), kelvo.ModelError,
     "^Incorrect semi-continuous"),
    (lambda p: p.addVariable(name=5), kelvo.ModelError, "^Variable name must be a string$"),
    (lambda p: p.addVariable(p.getVariable(0)), kelvo.ModelError,
     "^Cannot use problem.addVariable to add existing variables to the problem$"),
    (lambda p: p.addVariable([p.getVariable(0)]), kelvo.ModelError, "^Cannot use problem.addVariable to add existing"),
    (lambda p: p.addVariables(["a", "a"]), kelvo.ModelError,
     "^Duplicate item in argument 1: each argument must contain unique elements$"),
    (lambda p: p.addVariables(2, [1, 2, 1]), kelvo.ModelError, "^Duplicate item in argument 2: "),
    (lambda p: p.addVariables(0), kelvo.ModelError,
     "^Invalid index: integer argument must be positive \\(it is equivalent to range\\(k\\)\\)$"),
    (lambda p: p.addVariables([]), kelvo.ModelError, "^Invalid index: empty dimension in creation of variables$"),
    (lambda p: p.addVariables(x for x in range(3)), kelvo.ModelError,
     "^Invalid index: arguments must be lists, sets, iterable objects, or integer numbers$"),
    (lambda p: p.addVariables(2, name=3), kelvo.ModelError, "^Variable name must be a string$"),
    (lambda p: p.addVariables(["a", HashOnce()]), RuntimeError, "^hashed twice$"),  # refused after the columns
    (lambda p: p.addVariables(4, vartype=kelvo.binary, ub=2), kelvo.ModelError, "upper bound between 0 and 1$"),
    (lambda p: p.delVariable(index=0, first=0),
     kelvo.ModelError, "^Parameters 'first' and 'last' cannot be specified if 'index' is also specified$"),
    (lambda p: p.delVariable(first=3, last=1), kelvo.ModelError,
     "^Parameter 'first' must be less than, or equal to, 'last'$"),
    (lambda p: p.delVariable(first=1), kelvo.ModelError,
     "^Parameters 'first' and 'last' must be both nonnegative when specified$"),
    (lambda p: p.delVariable(first=0, last=4), kelvo.ModelError, "^Parameters 'first' or 'last' are out of range$"),
    (lambda p: p.delVariable(), kelvo.ModelError, "^At least one parameter must be specified$"),
    (lambda p: p.delVariable(index=[0, 2.5]), kelvo.ModelError, "^Invalid variable object 2.5$"),
    (lambda p: p.delVariable(other_problem().getVariable(0)), kelvo.ModelError, "^Variable is from a different problem$"),
    (lambda p: p.delVariable(deleted_variable()), kelvo.ModelError, "^Variable has been deleted from the problem$"),
    (lambda p: p.delVariable([1, 1]), kelvo.SolverError, "."),  # repeated indices are refused by the library
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals_change_nothing(t, call, error, message):
    p = kelvo.problem()
    v = p.addVariables(4)
    before = t.columns(p)
    with pytest.raises(error, match=message):
        call(p)
    assert t.columns(p) == before and [x.index for x in v] == [0, 1, 2, 3]
    # The problem numbers on from where it was.
    assert [x.index for x in p.addVariables(2, name="y")] == [4, 5]
    p.delVariable([])
    assert len(t.columns(p)) == 6


def test_failed_adds_release_every_reference():
    p = kelvo.problem()
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


def test_an_index_key_whose_hash_deletes_the_new_variables_is_refused():
    # The debug allocator overwrites freed objects, so that reading one crashes at once.
    out = run_fresh(
        """
        import kelvo
        p = kelvo.problem()
        refused = []

        class Key:
            def __init__(self, i):
                self.i = i

            def __hash__(self):
                # Once the columns exist, the first key placed in the result tries to delete them.
                if not refused and p.attributes.cols == 50:
                    try:
                        p.delVariable(p.getVariable())
                    except kelvo.SolverError as e:
                        refused.append(str(e))
                return hash(self.i)

            def __eq__(self, other):
                return isinstance(other, Key) and other.i == self.i

        x = p.addVariables([Key(i) for i in range(50)], name="")
        print(refused, p.attributes.cols, all(x[Key(i)].index == i for i in range(50)))
        """,
        PYTHONMALLOC="debug",
    )
    assert out.strip() == "['problem deletion: the problem is being changed by another call'] 50 True"


# ---- delVariable.


def test_delete_renumbers_the_remaining_variables(t):
    p = kelvo.problem()
    v = p.addVariables(8)
    p.delVariable([v[1], v[3]])
    assert [x.index for x in v] == [0, -1, 1, -1, 2, 3, 4, 5]
    assert list(map(id, p.getVariable())) == list(map(id, [v[0], v[2], v[4], v[5], v[6], v[7]]))
    assert str(v[1]) == str(v[3]) == "(deleted variable)" and hash(v[4]) == 2
    # By index, name, range, array and iterator.
    p.delVariable(5)
    p.delVariable("x(0)")
    assert names(t, p) == ["x(2)", "x(4)", "x(5)", "x(6)"]
    p.delVariable(first=1, last=2)
    assert names(t, p) == ["x(2)", "x(6)"]
    p.delVariable(np.array([1], dtype=np.int64))
    p.delVariable(index=(i for i in [0]))
    assert names(t, p) == [] and [x.index for x in v] == [-1] * 8


# ---- Unlinked variables (deprecated).


def test_unlinked_variables_join_through_the_unlinked_map(t):
    p = kelvo.problem()
    x = free_var(name="x", lb=-1, ub=2)
    y = free_var(vartype=kelvo.binary)
    z = free_var(vartype=kelvo.semicontinuous, ub=5, threshold=2, name="z")
    b = free_var(vartype=kelvo.binary, lb=1, name="b")
    assert p.addVariable(x, [y, (z,)], b) is None
    assert t.columns(p) == [(-1.0, 2.0, "C", "x"), (0.0, 1.0, "B", str(y)), (0.0, 5.0, "S", "z"), (1.0, 1.0, "B", "b")]
    # The objects stay unlinked: the problem maps them.
    assert [p.getIndex(v) for v in (x, y, z)] == [0, 1, 2] and x.index is None
    p.delVariable(y)
    assert y.index is None and [p.getIndex(v) for v in (x, z)] == [0, 1]
    with pytest.raises(kelvo.ModelError, match="does not belong to this problem$"):
        p.getIndex(y)
    w = free_var(name="w")
    p.addVariable(w)
    assert p.getIndex(w) == 3


UNLINKED_REFUSALS = [
    (lambda p, x, c: p.addVariable(x), kelvo.InterfaceError, "^Variable already added to problem$"),
    (lambda p, x, c: p.addVariable([free_var(), 3]), kelvo.InterfaceError, "^Incorrect objects added as variables to problem$"),
    (lambda p, x, c: p.addVariable(lb=3), kelvo.ModelError,
     "^Cannot use problem.addVariable to create linked variables: this problem already contains unlinked objects$"),
    (lambda p, x, c: p.addVariables(3), kelvo.ModelError, "^Cannot use problem.addVariable to create linked variables"),
    (lambda p, x, c: p.addVariable(other_problem().getVariable(0)), kelvo.ModelError,
     "^Linked variables cannot be added to another problem$"),
    (lambda p, x, c: p.addVariable(deleted_variable()), kelvo.ModelError, "^Deleted variables cannot be re-used$"),
    (lambda p, x, c: p.addVariable(kelvo.var.__new__(kelvo.var)), kelvo.ModelError, "^Variable is not initialized$"),
]


@pytest.mark.parametrize("call,error,message", UNLINKED_REFUSALS)
def test_unlinked_refusals_change_nothing(t, call, error, message):
    p = kelvo.problem()
    x, c = free_var(name="x"), free_var(name="fresh")
    p.addVariable(x)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        with pytest.raises(error, match=message):
            call(p, x, c)
    assert t.columns(p) == [(0.0, INF, "C", "x")]
    p.addVariable(c)
    assert p.getIndex(c) == 1


def test_failed_unlinked_add_leaves_the_problem_empty(t):
    p = kelvo.problem()
    a, b = free_var(), free_var()
    with pytest.raises(kelvo.InterfaceError):
        p.addVariable(a, b, "not a variable")
    assert t.columns(p) == []
    # Nothing was recorded: the problem is still empty and may take linked variables.
    assert p.addVariable(lb=2).index == 0
    # The failed variables were not marked as shared.
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        kelvo.problem().addVariable(a, b)


def test_sharing_unlinked_variables_warns_once():
    x = free_var()
    kelvo.problem().addVariable(x)
    with pytest.warns(kelvo.DeprecationWarning, match="^Deprecated in Kelvo 9.5: do not share variables between several problems$"):
        kelvo.problem().addVariable(x)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        p = kelvo.problem(x)
    assert len([w for w in caught if "do not share variables" in str(w.message)]) == 1
    assert p.getIndex(x) == 0
    with pytest.warns(kelvo.DeprecationWarning, match="has no effect$"):
        p.addVariable()
    # Turned into an error, the warning stops the add and the declaration.
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.problem().addVariable(x)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.problem([x])


def test_vars_builds_unlinked_variables(t):
    with pytest.warns(kelvo.DeprecationWarning, match="problem.addVariable\\(\\)$"):
        v = kelvo.vars(name="v", lb=2)
    assert isinstance(v, kelvo.var) and (v.name, v.lb, v.index) == ("v", 2.0, None)
    with pytest.warns(kelvo.DeprecationWarning, match="^Deprecated in Kelvo 9.5: create linked variables by calling problem.addVariables\\(\\)$"):
        a = kelvo.vars(2, 2, name="y", vartype=kelvo.integer, ub=4.5)
    assert a.shape == (2, 2)
    assert [v.name for v in a.flat] == ["y(0,0)", "y(0,1)", "y(1,0)", "y(1,1)"]
    assert all(v.index is None and v.ub == 4.0 and v.vartype == kelvo.integer for v in a.flat)
    assert len({str(v) for v in a.flat}) == 4
    with pytest.warns(kelvo.DeprecationWarning):
        d = kelvo.vars(["p", "q"])
    p = kelvo.problem()
    p.addVariable(d)
    assert names(t, p) == ["x(p)", "x(q)"]


# ---- Library calls of bulk creation.


@pytest.mark.parametrize(
    "build",
    [
        lambda p, n: p.addVariables(n, name=""),
        lambda p, n: p.addVariables(n, name="y", lb=-1, ub=5),
        lambda p, n: p.addVariables(n, vartype=kelvo.semicontinuous, ub=5, threshold=1),
        lambda p, n: p.addVariables(["k%d" % i for i in range(n)], name="z"),
        lambda p, n: p.addVariables(n // 10, 10, vartype=kelvo.integer),
    ],
    ids=["unnamed", "named-bounds", "semicontinuous", "index-set", "two-sets"],
)
def test_addVariables_makes_the_same_few_library_calls_whatever_the_count(t, build):
    counts = []
    for n in (10, 1000, 100000):
        p = kelvo.problem()
        t.library_calls(True)
        build(p, n)
        counts.append(t.library_calls())
        assert p.attributes.cols == n
    assert counts[0] == counts[1] == counts[2], counts
    assert 0 < counts[0] <= 8, counts
