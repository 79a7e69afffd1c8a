"""kelvo.constraint: the constructor and its refusals, free constraints (bounds, derived type,
right-hand side and range, their edits, the slot rules of the data block), linked and deleted
constraints, copying and printed names."""
import warnings

import numpy
import pytest

import kelvo

INF = 1e20
from helpers import free_var


@pytest.fixture
def x():
    return free_var(name="x")


def body_of(c):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return c.body


def bounds(c):
    return (c.lb, c.ub)


# ---- Constructor.


def refusals(x):
    """(keyword arguments, exception, message) of every combination the constructor refuses."""
    c = kelvo.constraint(body=x, ub=1)
    return [
        (dict(constraint=c, body=x), kelvo.ModelError,
         "When the constraint argument is provided, no other arguments except the name may be provided"),
        (dict(constraint=c, type=kelvo.leq), kelvo.ModelError,
         "When the constraint argument is provided, no other arguments except the name may be provided"),
        (dict(constraint=c, lb=0), kelvo.ModelError,
         "When the constraint argument is provided, no other arguments except the name may be provided"),
        (dict(lb=0), kelvo.ModelError, "Constraint body must be provided"),
        (dict(body=x, rhsrange=2), kelvo.ModelError,
         "When rhsrange argument is provided, rhs argument must also be provided"),
        (dict(body=x), kelvo.ModelError, "Constraint right-hand side or bounds must be provided"),
        (dict(body=x, type=kelvo.leq), kelvo.ModelError, "Constraint right-hand side or bounds must be provided"),
        (dict(body=x, lb=0, type=kelvo.leq), kelvo.ModelError, "Cannot provide both type and bounds arguments"),
        (dict(body=x, rhs=1, ub=2), kelvo.ModelError, "Cannot provide both right-hand side and bounds arguments"),
        (dict(body=x, rhs=1), kelvo.ModelError, "Constraint type must be provided"),
        (dict(body=x, rhs=1, type=kelvo.rng), kelvo.ModelError, "Range constraints require the rhsrange argument"),
        (dict(body=x, lb="a"), kelvo.ModelError, "Invalid lower bound argument: expected a number"),
        (dict(body=x, ub=numpy.array([1.0])), kelvo.ModelError, "Invalid upper bound argument: expected a number"),
        (dict(body=x, lb=3, ub=2), kelvo.ModelError, "Constraint defined infeasible: lower bound > upper bound"),
        (dict(body=x, rhs="r", type=kelvo.leq), kelvo.ModelError, "Invalid rhs argument: expected a number"),
        (dict(body=x, rhs=1, type=kelvo.rng, rhsrange=[1]), kelvo.ModelError,
         "Invalid rhsrange argument: expected a number"),
        (dict(body=x, rhs=1, type=7), kelvo.ModelError, "Invalid type 7: expected kelvo.leq, kelvo.geq, kelvo.eq"),
        (dict(body=x, ub=1, name=5), kelvo.ModelError, "Constraint name must be a string"),
        (dict(body="x", ub=1), kelvo.ModelError, "Invalid expression passed as body of constraint"),
        (dict(body=[x], ub=1), kelvo.ModelError, "Invalid expression passed as body of constraint"),
        (dict(constraint=True), kelvo.ModelError,
         "Attempt to generate an empty constraint failed. Consider using kelvo.constraint(body=..., type=..., "
         "rhs=...) instead"),
        (dict(constraint=x), kelvo.ModelError, "Invalid constraint object passed to kelvo.constraint"),
    ]


def test_constructor_refuses_bad_combinations_with_exact_messages(x):
    for kwargs, exception, message in refusals(x):
        with pytest.raises(exception) as info:
            kelvo.constraint(**kwargs)
        assert str(info.value) == message, kwargs


def test_failed_constructor_leaves_the_object_uninitialised(x):
    c = kelvo.constraint.__new__(kelvo.constraint)
    with pytest.raises(kelvo.ModelError):
        c.__init__(body=x, lb=3, ub=2)
    with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
        c.lb
    # The failure left nothing behind: the object can still be initialised.
    kelvo.constraint.__init__(c, body=x, ub=2)
    assert bounds(c) == (-INF, 2.0)


def test_constructor_refuses_to_reinitialise(x):
    c = kelvo.constraint(body=x, ub=1)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot re-initialize a constraint$"):
        c.__init__(body=x, ub=2)
    assert c.ub == 1.0


def test_bounds_from_rhs_and_type(x):
    cases = [
        (kelvo.leq, 4.0, None, (-INF, 4.0)),
        (kelvo.geq, 4.0, None, (4.0, INF)),
        (kelvo.eq, 4.0, None, (4.0, 4.0)),
        (kelvo.rng, 5.0, 2.0, (3.0, 5.0)),
        # The sign of the range is ignored.
        (kelvo.rng, 5.0, -2.0, (3.0, 5.0)),
        (kelvo.nonbinding, 4.0, None, (-INF, INF)),
    ]
    for type_, rhs, rng, expected in cases:
        kwargs = dict(body=x, type=type_, rhs=rhs)
        if rng is not None:
            kwargs["rhsrange"] = rng
        assert bounds(kelvo.constraint(**kwargs)) == expected, kwargs


def test_bounds_tolerance_of_the_infeasibility_check(x):
    c = kelvo.constraint(body=x, lb=3, ub=3 - 1e-7)
    assert bounds(c) == (3.0, 3 - 1e-7)
    with pytest.raises(kelvo.ModelError, match="^Constraint defined infeasible"):
        kelvo.constraint(body=x, lb=3, ub=3 - 2e-6)


def test_bounds_are_clamped_to_infinity(x):
    c = kelvo.constraint(body=x, lb=-1e30, ub=1e25)
    assert bounds(c) == (-INF, INF)
    assert c.type == kelvo.nonbinding


def test_range_type_may_come_with_bounds(x):
    c = kelvo.constraint(body=x, lb=1, ub=2, type=kelvo.rng)
    assert bounds(c) == (1.0, 2.0)
    assert c.type == kelvo.rng


def test_old_keyword_sense_is_accepted_with_a_warning(x):
    with pytest.warns(kelvo.DeprecationWarning,
                      match="^Deprecated in Kelvo 9.5: function called with old argument names: check the "
                            "documentation for the new argument names$"):
        c = kelvo.constraint(body=x, sense=kelvo.geq, rhs=2)
    assert bounds(c) == (2.0, INF)
    with warnings.catch_warnings():
        warnings.simplefilter("error", kelvo.DeprecationWarning)
        with pytest.raises(kelvo.DeprecationWarning):
            kelvo.constraint(body=x, sense=kelvo.geq, rhs=3)
    # Unknown keywords report the error of the new names.
    with pytest.raises(TypeError, match="bogus"):
        kelvo.constraint(body=x, bogus=1)


def test_zero_dimensional_object_array_body_is_unwrapped(x):
    body = numpy.empty((), dtype=object)
    body[()] = 2 * x
    c = kelvo.constraint(body=body, ub=1)
    assert type(body_of(c)) is kelvo.linterm


def test_constructor_from_a_constraint_shares_body_and_bounds(x):
    e = 2 * x + 1
    src = kelvo.constraint(body=e, lb=-1, ub=3)
    c = kelvo.constraint(src, name="copy")
    assert body_of(c) is e
    assert bounds(c) == (-1.0, 3.0)
    assert c.name == "copy"


def test_constructor_names_by_serial_id(x):
    c = kelvo.constraint(body=x, ub=1)
    d = kelvo.constraint(body=x, ub=1)
    assert int(d.name[1:]) > int(c.name[1:]) > 0
    # No variable in the body: no serial id yet.
    assert kelvo.constraint(body=3.0, ub=5).name == "R0"


def test_constructor_refuses_a_deleted_variable_in_the_body():
    p = kelvo.problem()
    x = p.addVariable()
    p.delVariable(x)
    with pytest.raises(kelvo.ModelError, match="^Deleted variable in expression$"):
        kelvo.constraint(body=2 * x, ub=1)


# ---- Free constraints: derived type, right-hand side and range.


def test_derived_type_rhs_and_range(x):
    cases = [
        ((-INF, 4.0), kelvo.leq, 4.0, INF),
        ((4.0, INF), kelvo.geq, 4.0, INF),
        ((4.0, 4.0), kelvo.eq, 4.0, 0.0),
        ((2.0, 4.0), kelvo.rng, 4.0, 2.0),
        ((-INF, INF), kelvo.nonbinding, 0.0, INF),
    ]
    for (lb, ub), type_, rhs, rng in cases:
        c = kelvo.constraint(body=x, lb=lb, ub=ub)
        assert (c.type, c.rhs, c.rhsrange) == (type_, rhs, rng), (lb, ub)


LE4, GE4, EQ4 = (-INF, 4.0), (4.0, INF), (4.0, 4.0)


@pytest.mark.parametrize("start,edits,expected", [
    (LE4, [("type", kelvo.geq)], GE4),
    (LE4, [("type", kelvo.eq)], EQ4),
    (LE4, [("type", kelvo.nonbinding)], (-INF, INF)),
    # The right-hand side of a nonbinding constraint counts as 0.
    (LE4, [("type", kelvo.nonbinding), ("type", kelvo.geq)], (0.0, INF)),
    # Setting the current type changes nothing, even for a range.
    ((2.0, 4.0), [("type", kelvo.rng)], (2.0, 4.0)),
    ((2.0, 4.0), [("type", kelvo.leq)], LE4),
    # A range below the right-hand side; its sign is ignored.
    (LE4, [("rhsrange", 2)], (2.0, 4.0)),
    (LE4, [("rhsrange", 2), ("rhsrange", -3)], (2.0, 5.0)),
    ((1.0, INF), [("rhsrange", 2)], (1.0, 3.0)),
    (EQ4, [("rhsrange", 1.5)], (2.5, 4.0)),
    ((-INF, INF), [("rhsrange", 2)], (-INF, INF)),
    (LE4, [("rhs", 6)], (-INF, 6.0)),
    (GE4, [("rhs", -1)], (-1.0, INF)),
    (EQ4, [("rhs", 2.5)], (2.5, 2.5)),
    # A range keeps its width.
    ((2.0, 5.0), [("rhs", 10)], (7.0, 10.0)),
    ((-INF, INF), [("rhs", 3)], (-INF, INF)),
])
def test_type_rhs_and_range_edits(x, start, edits, expected):
    c = kelvo.constraint(body=x, lb=start[0], ub=start[1])
    for attribute, value in edits:
        setattr(c, attribute, value)
    assert bounds(c) == expected


def test_invalid_type_edit_changes_nothing(x):
    r = kelvo.constraint(body=x, ub=4)
    with pytest.raises(kelvo.ModelError, match=r"^Invalid row type 6: expected one of kelvo.leq, kelvo.geq, kelvo.eq, etc.$"):
        r.type = 6
    assert bounds(r) == (-INF, 4.0)
    r.rhsrange = 2
    assert r.type == kelvo.rng


def test_bound_writes_convert_to_float_and_skip_checks(x):
    c = kelvo.constraint(body=x, ub=4)
    c.lb = numpy.int32(7)
    assert bounds(c) == (7.0, 4.0)
    with pytest.raises(TypeError):
        c.ub = "high"
    assert c.ub == 4.0


def test_bound_and_name_writes_in_any_order_keep_every_value(x):
    c = kelvo.constraint(body=x, ub=4)
    c.lb = 2.5
    assert bounds(c) == (2.5, 4.0)
    c.ub = INF
    c.lb = -7.0
    c.name = "row"
    c.ub = 9.0
    assert (c.lb, c.ub, c.name) == (-7.0, 9.0, "row")
    c.name = "other"
    assert (c.lb, c.ub, c.name) == (-7.0, 9.0, "other")


# ---- Attributes.


def test_free_attribute_reads(x):
    e = x + 1
    c = kelvo.constraint(body=e, lb=-2, ub=INF, name="c1")
    assert c.index is None
    assert c.__class__ is kelvo.constraint
    with pytest.warns(kelvo.DeprecationWarning, match="access the constraint body with constraint.getBody"):
        assert c.body is e
    with pytest.warns(kelvo.DeprecationWarning):
        d = c.__dict__
    assert d == {"name": "c1", "index": None, "body": e, "lb": -2.0, "ub": INF, "type": kelvo.geq,
                 "rhs": -2.0, "rhsrange": INF}


def test_attribute_writes_that_are_refused(x):
    c = kelvo.constraint(body=x, ub=1, name="c")
    with pytest.raises(kelvo.InterfaceError, match="^Cannot delete the lb attribute$"):
        del c.lb
    with pytest.raises(kelvo.InterfaceError, match="^Cannot delete the name attribute$"):
        del c.name
    with pytest.raises(kelvo.InterfaceError, match="^Constraint index cannot be modified$"):
        c.index = 3
    with pytest.raises(kelvo.ModelError, match="^Constraint name must be a string$"):
        c.name = 3
    assert c.name == "c"


def test_body_write_replaces_the_body_without_checks(x):
    c = kelvo.constraint(body=x, ub=1)
    c.body = "anything"
    assert body_of(c) == "anything"


def test_uninitialised_constraint_refuses_everything():
    c = kelvo.constraint.__new__(kelvo.constraint)
    for attribute in ("lb", "name", "__class__", "index"):
        with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
            getattr(c, attribute)
    with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
        c.ub = 1
    # Even the methods are attributes: reach them through the type.
    for method in (kelvo.constraint.copy, kelvo.constraint.getBody, kelvo.constraint.getSlack,
                   kelvo.constraint.getDual):
        with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
            method(c)


def test_arithmetic_on_a_constraint_is_refused(x):
    c = kelvo.constraint(body=x, ub=1, name="c")
    with pytest.raises(kelvo.ModelError, match="^Invalid object in operation: <c>$"):
        c + 1


# ---- Copy, getBody and the value methods of free constraints.


def test_copy_shares_the_body_and_derives_the_name(x):
    e = 2 * x
    c = kelvo.constraint(body=e, lb=1.5, ub=8, name="c1")
    d = c.copy()
    assert d.name == "c1_copy"
    assert body_of(d) is e
    assert bounds(d) == (1.5, 8.0)
    assert d.copy().name == "c1_copy_copy"
    # Changing the copy leaves the source alone.
    d.ub = 9
    assert c.ub == 8.0


def test_copy_of_an_unnamed_constraint_has_no_name(x):
    c = kelvo.constraint(body=x, ub=1)
    d = c.copy()
    assert d.name.startswith("R") and d.name != c.name


def test_getBody_of_a_free_constraint_is_a_fresh_expression(x):
    e = x + 2
    c = kelvo.constraint(body=e, ub=1)
    b = c.getBody()
    assert type(b) is kelvo.expression and b is not e
    assert kelvo.is_equal(b, e)
    assert kelvo.constraint(body=4.0, ub=5).getBody() == 4.0


def test_value_methods_of_free_constraints_point_to_the_problem(x):
    c = kelvo.constraint(body=x, ub=1)
    for method, name in ((c.getSlack, "getSlacks"), (c.getDual, "getDuals"),
                         (c.getCallbackSlack, "getCallbackSlacks"), (c.getCallbackDual, "getCallbackDuals")):
        with pytest.raises(kelvo.InterfaceError, match=r"^For unlinked constraints, call problem.%s\(constraint\)$" % name):
            method()


# ---- Printed names.


def test_printed_names_of_free_constraints(x):
    c = kelvo.constraint(body=x, ub=1, name="cap")
    assert str(c) == repr(c) == "cap"
    u = kelvo.constraint(body=x, ub=1)
    assert str(u) == repr(u) == u.name and u.name.startswith("R")
    # The default empty name means no name.
    assert kelvo.constraint(body=x, ub=1, name="").name.startswith("R")


# ---- Linked and deleted constraints.


def linked(p, type=kelvo.leq, rhs=4.0, **rng):
    """A constraint added to p over a new variable."""
    c = kelvo.constraint(body=p.addVariable(), type=type, rhs=rhs, **rng)
    p.addConstraint(c)
    return c


def test_linked_constraint_reads_from_the_library():
    p = kelvo.problem()
    c = linked(p, kelvo.leq, 4.0)
    r = linked(p, kelvo.rng, 5.0, rhsrange=2.0)
    g = linked(p, kelvo.geq, -1.0)
    n = linked(p, kelvo.nonbinding, 0.0)
    assert (c.index, r.index, g.index, n.index) == (0, 1, 2, 3)
    assert (str(c), repr(r)) == ("R1", "R2")
    assert (bounds(c), c.type, c.rhs) == ((-INF, 4.0), kelvo.leq, 4.0)
    assert (bounds(r), r.type, r.rhsrange) == ((3.0, 5.0), kelvo.rng, 2.0)
    assert (bounds(g), g.type) == ((-1.0, INF), kelvo.geq)
    assert (bounds(n), n.type) == ((-INF, INF), kelvo.nonbinding)
    assert c.__dict__ == {"name": "R1", "index": 0, "lb": -INF, "ub": 4.0, "type": kelvo.leq, "rhs": 4.0,
                          "rhsrange": 0.0}


def test_linked_constraint_writes_go_to_the_library():
    p = kelvo.problem()
    c = linked(p, kelvo.leq, 4.0)
    c.rhs = 7
    assert bounds(c) == (-INF, 7.0)
    c.type = kelvo.eq
    assert bounds(c) == (7.0, 7.0)
    c.type = kelvo.rng
    c.rhsrange = 3
    assert bounds(c) == (4.0, 7.0)
    c.name = "cap"
    assert str(c) == "cap"
    with pytest.raises(kelvo.ModelError, match="^Invalid row type 0"):
        c.type = 0
    with pytest.raises(kelvo.ModelError, match="^Constraint bounds cannot be modified once it has been added to a problem$"):
        c.ub = 3
    with pytest.raises(kelvo.ModelError, match="^Constraint body cannot be modified once it has been added to a problem$"):
        c.body = 1
    assert bounds(c) == (4.0, 7.0)


def test_linked_constraint_refusals():
    p = kelvo.problem()
    c = linked(p)
    with pytest.raises(kelvo.ModelError, match="^Constraint body is not available for linked constraints: use constraint.getBody$"):
        c.body
    with pytest.raises(kelvo.ModelError, match="^Constraint cannot be copied because it has been added to a problem$"):
        c.copy()
    with pytest.raises(kelvo.ModelError, match="^Cannot create a constraint from an existing constraint that has already been added to a problem$"):
        kelvo.constraint(c)
    with pytest.raises(kelvo.InterfaceError, match="^Cannot re-initialize a constraint$"):
        c.__init__(body=1, ub=1)
    with pytest.raises(kelvo.ModelError, match="^Solution not available$"):
        c.getSlack()
    with pytest.raises(kelvo.ModelError, match="^Duals not available$"):
        c.getDual()


def assert_deleted(c):
    assert str(c) == repr(c) == c.name == "(deleted constraint)"
    assert c.index == -1
    assert c.__dict__ == {"index": -1}
    for attribute in ("lb", "ub", "type", "rhs", "rhsrange", "body"):
        with pytest.raises(kelvo.ModelError, match="^Constraint has been deleted from the problem$"):
            getattr(c, attribute)
    with pytest.raises(kelvo.ModelError, match="^Constraint has been deleted from the problem$"):
        c.rhs = 1
    for method in (c.copy, c.getBody, c.getSlack, c.getDual):
        with pytest.raises(kelvo.ModelError, match="^Constraint has been deleted from the problem$"):
            method()
    with pytest.raises(kelvo.ModelError, match="^Constraint has been deleted from the problem$"):
        kelvo.constraint(c)


def test_deleted_when_the_problem_goes_away():
    p = kelvo.problem()
    c = linked(p)
    del p
    assert_deleted(c)


def test_deleted_when_the_problem_is_reset():
    p = kelvo.problem()
    c = linked(p)
    p.reset()
    assert_deleted(c)
