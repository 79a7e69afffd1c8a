"""kelvo.var: linked, unlinked and deleted variables, their attributes, names and hashes."""
import warnings

import pytest

import kelvo
from helpers import free_var, testing

INF = 1e20


# ---- The deprecated constructor and the domain checks.


def test_constructor_warns_and_makes_an_unlinked_variable():
    with pytest.warns(
        kelvo.DeprecationWarning,
        match="^Deprecated in Kelvo 9.5: create a linked variable by calling problem.addVariable\\(\\)$",
    ):
        v = kelvo.var(name="v", lb=-2, ub=7.5, vartype=kelvo.continuous)
    assert (v.lb, v.ub, v.vartype, v.name, v.index, v.threshold) == (-2.0, 7.5, kelvo.continuous, "v", None, 1.0)
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.var()


@pytest.mark.parametrize("kwargs,bounds", [
    (dict(vartype=kelvo.binary), (0.0, 1.0)),
    (dict(vartype=kelvo.integer, lb=0.5, ub=3.7), (1.0, 3.0)),  # rounded inwards
    (dict(vartype=kelvo.integer, lb=3.5, ub=3.2), (3.5, 3.2)),  # crossed bounds are not moved further apart
    (dict(lb=-1e30, ub=1e30), (-INF, INF)),
])
def test_domains_of_the_constructor(kwargs, bounds):
    v = free_var(**kwargs)
    assert (v.lb, v.ub) == bounds


@pytest.mark.parametrize("value", [0.0, 1.0, -INF, INF, 2.5, -3.0, 1e-9])
def test_bounds_round_trip_through_the_encoding(value):
    v = free_var(lb=-INF)
    v.lb = value
    v.ub = value
    assert (v.lb, v.ub) == (value, value)


def test_attribute_writes_adjust_type_and_bounds():
    v = free_var(vartype=kelvo.binary)
    v.lb = 2  # an out-of-range bound turns a binary into an integer
    assert (v.vartype, v.lb) == (kelvo.integer, 2.0)
    v.ub = 7.9
    v.lb = 0.2
    assert (v.lb, v.ub) == (1.0, 7.0)
    v = free_var(lb=-3.5, ub=8.5)
    v.vartype = kelvo.integer
    assert (v.lb, v.ub) == (-3.0, 8.0)
    v.vartype = kelvo.binary
    assert (v.lb, v.ub, v.vartype) == (0.0, 1.0, kelvo.binary)
    v = free_var(vartype=kelvo.semiinteger, threshold=2, ub=3)
    v.threshold = 5  # the attribute write does not repeat the constructor's check
    assert v.threshold == 5.0


def nothing():
    return None, None


def unlinked():
    return free_var(), None


def linked():
    p = kelvo.problem()
    return p.addVariable(), p


# (make, action, exception, message) of refused constructions, writes and calls.
REFUSALS = [
    (nothing, lambda v: free_var(vartype=kelvo.binary, ub=5), kelvo.ModelError,
     "^Invalid variable domain: binary variables must have an upper bound between 0 and 1$"),
    (nothing, lambda v: free_var(vartype=kelvo.binary, lb=-1), kelvo.ModelError,
     "^Invalid variable domain: binary variables must have a lower bound between 0 and 1$"),
    (nothing, lambda v: free_var(vartype=-1), kelvo.ModelError,
     "^Invalid variable type -1: expected one of kelvo.binary, kelvo.continuous, etc.$"),
    (nothing, lambda v: free_var(vartype=kelvo.semicontinuous, threshold=5, ub=3), kelvo.ModelError,
     "^Incorrect semi-continuous, semi-integer, or partially integer variable; "
     "check that its threshold is between its lower and upper bound$"),
    (unlinked, lambda v: setattr(v, "vartype", 6), kelvo.ModelError,
     "^Invalid variable type: should be one of kelvo.binary, kelvo.continuous, etc.$"),
    (unlinked, lambda v: delattr(v, "lb"), kelvo.InterfaceError, "^Cannot delete the lb attribute$"),
    (unlinked, lambda v: setattr(v, "index", 3), kelvo.InterfaceError, "^Variable index cannot be modified$"),
    (unlinked, lambda v: setattr(v, "name", 3), kelvo.ModelError, "^Variable name must be a string$"),
    (unlinked, lambda v: setattr(v, "lb", "high"), TypeError, None),
    (unlinked, lambda v: setattr(v, "note", "no instance dictionary"), AttributeError, None),
    *[(unlinked, lambda v, m=m: getattr(v, m)(), kelvo.InterfaceError, f"^For unlinked variables, call problem.{pm}\\(var\\)$")
      for m, pm in (("getSolution", "getSolution"), ("getRedCost", "getRedCosts"),
                    ("getCallbackSolution", "getCallbackSolution"), ("getCallbackRedCost", "getCallbackRedCosts"))],
    (linked, lambda v: v.__init__(), kelvo.InterfaceError, "^Cannot re-initialize a variable$"),
    (linked, lambda v: v.getSolution(), kelvo.ModelError, "^Solution not available$"),
    (linked, lambda v: v.getRedCost(), kelvo.ModelError, "^Reduced costs not available$"),
    (linked, lambda v: setattr(v, "threshold", 3), kelvo.SolverError, None),  # only for semi-continuous columns
]


@pytest.mark.parametrize("make,action,error,message", REFUSALS)
def test_refusals_change_nothing(make, action, error, message):
    v, owner = make()
    with pytest.raises(error, match=message):
        action(v)
    if v is not None:
        assert (v.lb, v.ub, v.vartype) == (0.0, INF, kelvo.continuous)


# ---- Names, hashes and dictionaries.


def test_printed_names_and_hashes_of_unlinked_variables_follow_their_serial_ids():
    v, w = free_var(), free_var()
    # Serial ids are handed out in order; the default name and the hash both show it.
    assert str(v) == repr(v) == v.name == "C%d" % hash(v) and hash(w) == hash(v) + 1
    v.name = "speed"
    assert str(v) == "speed"
    v.name = "rate"
    assert repr(v) == "rate"
    # Re-initialising keeps the serial id.
    with pytest.warns(kelvo.DeprecationWarning):
        w.__init__(lb=4, name="again")
    assert (hash(w), w.lb, w.name) == (hash(v) + 1, 4.0, "again")


def test_dictionaries_list_every_attribute():
    v = free_var(name="d", lb=1, ub=2, threshold=1.5, vartype=kelvo.semicontinuous)
    assert v.__dict__ == {"name": "d", "index": None, "lb": 1.0, "ub": 2.0, "threshold": 1.5,
                          "vartype": kelvo.semicontinuous}
    assert v.__class__ is kelvo.var
    p = kelvo.problem()
    p.addVariable()
    y = p.addVariable(name="y", ub=3, vartype=kelvo.integer)
    assert y.__dict__ == {"name": "y", "index": 1, "lb": 0.0, "ub": 3.0, "vartype": kelvo.integer}
    assert hash(y) == 1


# ---- Linked variables: attributes live in the library.


def test_linked_attributes_read_and_write_the_library(t):
    p = kelvo.problem()
    x = p.addVariable(lb=1, ub=5)
    assert (x.lb, x.ub, x.vartype, x.index) == (1.0, 5.0, kelvo.continuous, 0)
    x.lb = -2
    x.ub = 9
    x.vartype = kelvo.integer
    x.name = "x1"
    assert t.columns(p) == [(-2.0, 9.0, "I", "x1")]
    assert (x.lb, x.ub, x.vartype, str(x)) == (-2.0, 9.0, kelvo.integer, "x1")
    x.vartype = kelvo.semicontinuous
    x.threshold = 4
    assert x.vartype == kelvo.semicontinuous
    with pytest.raises(kelvo.InterfaceError, match="^Threshold cannot be queried$"):
        x.threshold
    p.addVariable(name="taken")
    x.name = "taken"  # names may repeat
    assert [c[3] for c in t.columns(p)] == ["taken", "taken"]


def test_solution_values_come_from_the_last_solve():
    p = kelvo.problem()
    x = p.addVariable(lb=3, ub=3)
    y = p.addVariable(lb=-1, ub=-1, vartype=kelvo.integer)
    p.optimize()
    assert x.getSolution() == pytest.approx(3.0)
    assert y.getSolution() == pytest.approx(-1.0)
    # Outside a callback there is no callback solution.
    with pytest.raises(kelvo.ModelError, match="^Solution not available$"):
        x.getCallbackSolution()


# ---- Deleted variables.


def free_library(p, x):
    while testing.init_count() > 0:
        kelvo.free()


@pytest.mark.parametrize("release", [lambda p, x: p.delVariable(x), lambda p, x: p.reset(), free_library, None],
                         ids=["delVariable", "reset", "free", "del"])
def test_deleted_variables(t, release):
    p = kelvo.problem()
    x = p.addVariable(name="x")
    if release:
        release(p, x)
    else:
        del p
    assert str(x) == repr(x) == x.name == "(deleted variable)"
    assert (x.index, hash(x), x.__dict__) == (-1, 0, {"index": -1})
    for action in (lambda: x.lb, lambda: x.ub, lambda: x.threshold, lambda: x.vartype, x.getSolution,
                   *[lambda a=a: setattr(x, a, 1) for a in ("lb", "ub", "threshold", "vartype")],
                   lambda: setattr(x, "name", "n")):
        with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
            action()
    with pytest.raises(kelvo.ModelError, match="^Deleted variables cannot be re-used$"):
        kelvo.problem().addVariable(x)
