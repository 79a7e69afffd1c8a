"""kelvo.var: linked, unlinked and deleted variables, their attributes, names and hashes."""
import warnings

import pytest

import kelvo

INF = 1e20


def new_problem():
    return kelvo.problem()


def free_var(**kw):
    """An unlinked variable, built through the deprecated constructor."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return kelvo.var(**kw)


def serial(t, v):
    state, index = t.object_state(v)
    assert state == "unlinked"
    return index


# ---- The deprecated constructor and the domain checks.


def test_constructor_warns_and_makes_an_unlinked_variable(t):
    with pytest.warns(
        kelvo.DeprecationWarning,
        match="^Deprecated in Kelvo 9.5: create a linked variable by calling problem.addVariable\\(\\)$",
    ):
        v = kelvo.var(name="v", lb=-2, ub=7.5, vartype=kelvo.continuous)
    assert (v.lb, v.ub, v.vartype, v.name, v.index) == (-2.0, 7.5, kelvo.continuous, "v", None)
    assert v.threshold == 1.0
    assert serial(t, v) > 0


def test_constructor_fails_when_the_warning_is_an_error():
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.var()


def test_binary_domain_defaults_and_checks():
    assert free_var(vartype=kelvo.binary).ub == 1.0
    with pytest.raises(kelvo.ModelError, match="^Invalid variable domain: binary variables must have an upper bound between 0 and 1$"):
        free_var(vartype=kelvo.binary, ub=5)
    with pytest.raises(kelvo.ModelError, match="^Invalid variable domain: binary variables must have a lower bound between 0 and 1$"):
        free_var(vartype=kelvo.binary, lb=-1)


def test_integer_bounds_are_rounded_inwards():
    v = free_var(vartype=kelvo.integer, lb=0.5, ub=3.7)
    assert (v.lb, v.ub) == (1.0, 3.0)
    # Crossed bounds are left alone rather than rounded further apart.
    w = free_var(vartype=kelvo.integer, lb=3.5, ub=3.2)
    assert (w.lb, w.ub) == (3.5, 3.2)


def test_invalid_types_are_refused():
    with pytest.raises(kelvo.ModelError, match="^Invalid variable type -1: expected one of kelvo.binary, kelvo.continuous, etc.$"):
        free_var(vartype=-1)
    with pytest.raises(kelvo.ModelError, match="^Invalid variable type 6: expected one of"):
        free_var(vartype=6)


def test_semicontinuous_threshold_must_lie_within_the_bounds():
    message = (
        "^Incorrect semi-continuous, semi-integer, or partially integer variable; "
        "check that its threshold is between its lower and upper bound$"
    )
    with pytest.raises(kelvo.ModelError, match=message):
        free_var(vartype=kelvo.semicontinuous, threshold=5, ub=3)
    v = free_var(vartype=kelvo.semiinteger, threshold=2, ub=3)
    # The attribute write does not repeat the check.
    v.threshold = 5
    assert v.threshold == 5.0


# ---- Bound encoding of unlinked variables.


@pytest.mark.parametrize("value", [0.0, 1.0, -INF, INF, 2.5, -3.0, 1e-9])
def test_bounds_round_trip_through_the_encoding(value):
    v = free_var(lb=-INF)
    v.lb = value
    v.ub = value
    assert v.lb == value
    assert v.ub == value


def test_bounds_beyond_infinity_read_back_as_infinity():
    v = free_var(lb=-1e30, ub=1e30)
    assert (v.lb, v.ub) == (-INF, INF)


def test_side_tables_hold_only_uncommon_values(t):
    before = t.var_tables()
    common = [free_var(lb=1), free_var(ub=0), free_var(lb=-INF, ub=1), free_var(threshold=-INF)]
    # threshold 1 is the default and goes to the table; -1e20 means none.
    assert t.var_tables() == (before[0], before[1], before[2] + 3, before[3])
    odd = free_var(name="odd", lb=2.5, ub=4.5, threshold=3)
    assert t.var_tables() == (before[0] + 1, before[1] + 1, before[2] + 4, before[3] + 1)
    odd.lb = 0
    odd.ub = INF
    assert t.var_tables()[:2] == before[:2]
    del odd, common
    assert t.var_tables() == before


def test_threshold_of_unlinked_variable():
    v = free_var(threshold=-INF)
    assert v.threshold == -INF
    v.threshold = 4
    assert v.threshold == 4.0
    v.threshold = -INF
    assert v.threshold == -INF


# ---- Attribute writes on unlinked variables.


def test_out_of_range_bound_turns_binary_into_integer():
    v = free_var(vartype=kelvo.binary)
    v.lb = 2
    assert (v.vartype, v.lb) == (kelvo.integer, 2.0)
    v.ub = 7.9
    assert v.ub == 7.0
    v.lb = 0.2
    assert v.lb == 1.0


def test_type_changes_adjust_bounds():
    v = free_var(lb=-3.5, ub=8.5)
    v.vartype = kelvo.integer
    assert (v.lb, v.ub) == (-3.0, 8.0)
    v.vartype = kelvo.binary
    assert (v.lb, v.ub, v.vartype) == (0.0, 1.0, kelvo.binary)
    with pytest.raises(kelvo.ModelError, match="^Invalid variable type: should be one of kelvo.binary, kelvo.continuous, etc.$"):
        v.vartype = 6
    assert v.vartype == kelvo.binary


def test_attribute_writes_that_are_refused():
    v = free_var()
    with pytest.raises(kelvo.InterfaceError, match="^Cannot delete the lb attribute$"):
        del v.lb
    with pytest.raises(kelvo.InterfaceError, match="^Variable index cannot be modified$"):
        v.index = 3
    with pytest.raises(kelvo.ModelError, match="^Variable name must be a string$"):
        v.name = 3
    with pytest.raises(TypeError):
        v.lb = "high"
    with pytest.raises(AttributeError):
        v.note = "no instance dictionary"


def test_printed_names_of_unlinked_variables(t):
    v = free_var()
    assert str(v) == repr(v) == v.name == "C%d" % serial(t, v)
    v.name = "speed"
    assert str(v) == "speed"
    v.name = "rate"
    assert repr(v) == "rate"


def test_reinitialising_keeps_the_serial_id(t):
    v = free_var(lb=3)
    sid = serial(t, v)
    with pytest.warns(kelvo.DeprecationWarning):
        v.__init__(lb=4, name="again")
    assert serial(t, v) == sid
    assert (v.lb, v.name) == (4.0, "again")


def test_unlinked_dict_lists_every_attribute():
    v = free_var(name="d", lb=1, ub=2, threshold=1.5, vartype=kelvo.semicontinuous)
    assert v.__dict__ == {
        "name": "d",
        "index": None,
        "lb": 1.0,
        "ub": 2.0,
        "threshold": 1.5,
        "vartype": kelvo.semicontinuous,
    }
    assert v.__class__ is kelvo.var


def test_hash_of_unlinked_variable_is_its_serial_id(t):
    v = free_var()
    assert hash(v) == serial(t, v) & 0xFFFFFFFF


# ---- Linked variables: attributes live in the library.


def test_linked_attributes_read_and_write_the_library(t):
    p = new_problem()
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


def test_linked_write_failures_raise_the_library_error(t):
    p = new_problem()
    x = p.addVariable()
    # A limit only exists for semi-continuous and partially integer columns.
    with pytest.raises(kelvo.SolverError):
        x.threshold = 3
    assert t.columns(p)[0] == (0.0, INF, "C", None)


def test_linked_names_default_to_column_numbers():
    p = new_problem()
    x = p.addVariable()
    y = p.addVariable()
    assert (str(x), repr(y), y.name) == ("C1", "C2", "C2")


def test_linked_dict_and_hash():
    p = new_problem()
    p.addVariable()
    y = p.addVariable(name="y", ub=3, vartype=kelvo.integer)
    assert y.__dict__ == {"name": "y", "index": 1, "lb": 0.0, "ub": 3.0, "vartype": kelvo.integer}
    assert hash(y) == 1


def test_linked_variable_cannot_be_reinitialised():
    p = new_problem()
    x = p.addVariable()
    with pytest.raises(kelvo.InterfaceError, match="^Cannot re-initialize a variable$"):
        x.__init__()


# ---- Deleted variables.


def assert_deleted(v):
    assert str(v) == repr(v) == v.name == "(deleted variable)"
    assert v.index == -1
    assert hash(v) == 0
    assert v.__dict__ == {"index": -1}
    for attribute in ("lb", "ub", "threshold", "vartype"):
        with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
            getattr(v, attribute)
    for attribute, value in (("lb", 1), ("ub", 1), ("threshold", 1), ("vartype", 1), ("name", "n")):
        with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
            setattr(v, attribute, value)
    with pytest.raises(kelvo.ModelError, match="^Variable has been deleted from the problem$"):
        v.getSolution()


def test_deleted_by_delVariable():
    p = new_problem()
    x = p.addVariable(name="x")
    p.delVariable(x)
    assert_deleted(x)


def test_deleted_when_the_library_is_released(t):
    p = new_problem()
    x = p.addVariable(name="x")
    while t.init_count() > 0:
        kelvo.free()
    assert_deleted(x)


def test_deleted_when_the_problem_goes_away():
    p = new_problem()
    x = p.addVariable()
    del p
    assert_deleted(x)


def test_deleted_when_the_problem_is_reset():
    p = new_problem()
    x = p.addVariable()
    p.reset()
    assert_deleted(x)
    with pytest.raises(kelvo.ModelError, match="^Deleted variables cannot be re-used$"):
        p.addVariable(x)


# ---- Solution values of one variable.


def test_solution_methods_on_unlinked_variables_point_to_the_problem():
    v = free_var()
    for method, problem_method in (
        ("getSolution", "getSolution"),
        ("getRedCost", "getRedCosts"),
        ("getCallbackSolution", "getCallbackSolution"),
        ("getCallbackRedCost", "getCallbackRedCosts"),
    ):
        with pytest.raises(kelvo.InterfaceError, match="^For unlinked variables, call problem.%s\\(var\\)$" % problem_method):
            getattr(v, method)()


def test_solution_values_come_from_the_last_solve(t):
    p = new_problem()
    x = p.addVariable(lb=3, ub=3)
    y = p.addVariable(lb=-1, ub=-1, vartype=kelvo.integer)
    with pytest.raises(kelvo.ModelError, match="^Solution not available$"):
        x.getSolution()
    with pytest.raises(kelvo.ModelError, match="^Reduced costs not available$"):
        x.getRedCost()
    assert t.optimize(p) in (1, 2)
    assert x.getSolution() == pytest.approx(3.0)
    assert y.getSolution() == pytest.approx(-1.0)
    with pytest.raises(NotImplementedError):
        x.getCallbackSolution()
