"""kelvo.constraint: the constructor and its refusals, free constraints (bounds, derived type,
right-hand side and range, their edits), linked and deleted constraints, copying and printed
names."""
import warnings

import numpy
import pytest

import kelvo
from helpers import body_of, free_var

INF = 1e20


@pytest.fixture
def x():
    return free_var(name="x")


def bounds(c):
    return (c.lb, c.ub)


# ---- Constructor.

ONLY_NAME = "When the constraint argument is provided, no other arguments except the name may be provided"
X = free_var(name="x")
C = kelvo.constraint(body=X, ub=1)
# Keyword arguments the constructor refuses and the message.
CONSTRUCTOR_REFUSALS = [
    (dict(constraint=C, body=X), ONLY_NAME),
    (dict(lb=0), "Constraint body must be provided"),
    (dict(body=X, rhsrange=2), "When rhsrange argument is provided, rhs argument must also be provided"),
    (dict(body=X), "Constraint right-hand side or bounds must be provided"),
    (dict(body=X, lb=0, type=kelvo.leq), "Cannot provide both type and bounds arguments"),
    (dict(body=X, rhs=1, ub=2), "Cannot provide both right-hand side and bounds arguments"),
    (dict(body=X, rhs=1), "Constraint type must be provided"),
    (dict(body=X, rhs=1, type=kelvo.rng), "Range constraints require the rhsrange argument"),
    (dict(body=X, lb="a"), "Invalid lower bound argument: expected a number"),
    (dict(body=X, ub=numpy.array([1.0])), "Invalid upper bound argument: expected a number"),
    (dict(body=X, lb=3, ub=3 - 2e-6), "Constraint defined infeasible: lower bound > upper bound"),
    (dict(body=X, rhs="r", type=kelvo.leq), "Invalid rhs argument: expected a number"),
    (dict(body=X, rhs=1, type=kelvo.rng, rhsrange=[1]), "Invalid rhsrange argument: expected a number"),
    (dict(body=X, rhs=1, type=7), "Invalid type 7: expected kelvo.leq, kelvo.geq, kelvo.eq"),
    (dict(body=X, ub=1, name=5), "Constraint name must be a string"),
    (dict(body="text", ub=1), "Invalid expression passed as body of constraint"),
    (dict(constraint=True), "Attempt to generate an empty constraint failed. Consider using "
                            "kelvo.constraint(body=..., type=..., rhs=...) instead"),
    (dict(constraint=X), "Invalid constraint object passed to kelvo.constraint"),
]


@pytest.mark.parametrize("kwargs,message", CONSTRUCTOR_REFUSALS)
def test_constructor_refusals_leave_the_object_uninitialised(x, kwargs, message):
    c = kelvo.constraint.__new__(kelvo.constraint)
    with pytest.raises(kelvo.ModelError) as info:
        kelvo.constraint.__init__(c, **kwargs)
    assert str(info.value) == message
    with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
        c.lb
    # The failure left nothing behind: the object can still be initialised.
    kelvo.constraint.__init__(c, body=x, ub=2)
    assert bounds(c) == (-INF, 2.0)


@pytest.mark.parametrize("kwargs,expected_bounds,derived", [
    (dict(type=kelvo.leq, rhs=4.0), (-INF, 4.0), (kelvo.leq, 4.0, INF)),
    (dict(type=kelvo.geq, rhs=4.0), (4.0, INF), (kelvo.geq, 4.0, INF)),
    (dict(type=kelvo.eq, rhs=4.0), (4.0, 4.0), (kelvo.eq, 4.0, 0.0)),
    (dict(type=kelvo.rng, rhs=5.0, rhsrange=2.0), (3.0, 5.0), (kelvo.rng, 5.0, 2.0)),
    # The sign of the range is ignored.
    (dict(type=kelvo.rng, rhs=5.0, rhsrange=-2.0), (3.0, 5.0), (kelvo.rng, 5.0, 2.0)),
    (dict(type=kelvo.nonbinding, rhs=4.0), (-INF, INF), (kelvo.nonbinding, 0.0, INF)),
    (dict(lb=2, ub=4), (2.0, 4.0), (kelvo.rng, 4.0, 2.0)),
    # A range type may come with bounds.
    (dict(lb=1, ub=2, type=kelvo.rng), (1.0, 2.0), (kelvo.rng, 2.0, 1.0)),
    # Bounds beyond infinity are clamped to it.
    (dict(lb=-1e30, ub=1e25), (-INF, INF), (kelvo.nonbinding, 0.0, INF)),
    # Crossed bounds within the tolerance of the infeasibility check are kept.
    (dict(lb=3, ub=3 - 1e-7), (3.0, 3 - 1e-7), None),
])
def test_bounds_and_derived_type_rhs_and_range(x, kwargs, expected_bounds, derived):
    c = kelvo.constraint(body=x, **kwargs)
    assert bounds(c) == expected_bounds
    if derived:
        assert (c.type, c.rhs, c.rhsrange) == derived


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


def test_copies_and_bodies_of_free_constraints(x):
    e = 2 * x + 1
    c = kelvo.constraint(body=e, lb=1.5, ub=8, name="c1")
    d = c.copy()
    assert (d.name, d.copy().name) == ("c1_copy", "c1_copy_copy")
    assert body_of(d) is e and bounds(d) == (1.5, 8.0)
    # Changing the copy leaves the source alone.
    d.ub = 9
    assert c.ub == 8.0
    # The copy of an unnamed constraint has a serial name of its own.
    u = kelvo.constraint(body=x, ub=1)
    assert u.copy().name.startswith("R") and u.copy().name != u.name
    # The constructor from a constraint shares body and bounds as well.
    f = kelvo.constraint(c, name="copy")
    assert body_of(f) is e and bounds(f) == (1.5, 8.0) and f.name == "copy"
    # getBody gives a fresh expression.
    b = c.getBody()
    assert type(b) is kelvo.expression and b is not e and kelvo.is_equal(b, e)
    assert kelvo.constraint(body=4.0, ub=5).getBody() == 4.0
    # A zero-dimensional object array is unwrapped.
    body = numpy.empty((), dtype=object)
    body[()] = 2 * x
    assert type(body_of(kelvo.constraint(body=body, ub=1))) is kelvo.linterm


def test_names_follow_serial_ids(x):
    c = kelvo.constraint(body=x, ub=1)
    d = kelvo.constraint(body=x, ub=1, name="")  # the default empty name means no name
    assert int(d.name[1:]) > int(c.name[1:]) > 0 and str(c) == repr(c) == c.name
    named = kelvo.constraint(body=x, ub=1, name="cap")
    assert str(named) == repr(named) == "cap"
    # No variable in the body: no serial id yet.
    assert kelvo.constraint(body=3.0, ub=5).name == "R0"


# ---- Edits of free constraints.

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
    # Bound and name writes convert to float, skip the checks and keep each other's values.
    (LE4, [("lb", numpy.int32(7))], (7.0, 4.0)),
    (LE4, [("lb", 2.5), ("ub", INF), ("lb", -7.0), ("name", "row"), ("ub", 9.0), ("name", "other")], (-7.0, 9.0)),
])
def test_type_rhs_range_and_bound_edits(x, start, edits, expected):
    c = kelvo.constraint(body=x, lb=start[0], ub=start[1])
    for attribute, value in edits:
        setattr(c, attribute, value)
    assert bounds(c) == expected
    assert c.name == dict(edits).get("name", c.name)


def free_c(x):
    return kelvo.constraint(body=x, ub=4, name="c"), None


def linked_c(x):
    p = kelvo.problem()
    c = kelvo.constraint(body=p.addVariable(), type=kelvo.leq, rhs=4.0)
    p.addConstraint(c)
    return c, p


# (make, action, exception, message): refused reads, writes and calls; each leaves the bounds.
ATTRIBUTE_REFUSALS = [
    (free_c, lambda c: setattr(c, "type", 6), kelvo.ModelError,
     r"^Invalid row type 6: expected one of kelvo.leq, kelvo.geq, kelvo.eq, etc.$"),
    (free_c, lambda c: setattr(c, "ub", "high"), TypeError, None),
    (free_c, lambda c: delattr(c, "lb"), kelvo.InterfaceError, "^Cannot delete the lb attribute$"),
    (free_c, lambda c: setattr(c, "index", 3), kelvo.InterfaceError, "^Constraint index cannot be modified$"),
    (free_c, lambda c: setattr(c, "name", 3), kelvo.ModelError, "^Constraint name must be a string$"),
    (free_c, lambda c: c + 1, kelvo.ModelError, "^Invalid object in operation: <c>$"),
    (free_c, lambda c: c.__init__(body=1, ub=2), kelvo.InterfaceError, "^Cannot re-initialize a constraint$"),
    (free_c, lambda c: c.getSlack(), kelvo.InterfaceError, r"^For unlinked constraints, call problem.getSlacks\(constraint\)$"),
    (free_c, lambda c: c.getDual(), kelvo.InterfaceError, r"^For unlinked constraints, call problem.getDuals\(constraint\)$"),
    (linked_c, lambda c: setattr(c, "type", 0), kelvo.ModelError, "^Invalid row type 0"),
    (linked_c, lambda c: setattr(c, "ub", 3), kelvo.ModelError,
     "^Constraint bounds cannot be modified once it has been added to a problem$"),
    (linked_c, lambda c: setattr(c, "body", 1), kelvo.ModelError,
     "^Constraint body cannot be modified once it has been added to a problem$"),
    (linked_c, lambda c: c.body, kelvo.ModelError,
     "^Constraint body is not available for linked constraints: use constraint.getBody$"),
    (linked_c, lambda c: c.copy(), kelvo.ModelError, "^Constraint cannot be copied because it has been added to a problem$"),
    (linked_c, lambda c: kelvo.constraint(c), kelvo.ModelError,
     "^Cannot create a constraint from an existing constraint that has already been added to a problem$"),
    (linked_c, lambda c: c.getSlack(), kelvo.ModelError, "^Solution not available$"),
    (linked_c, lambda c: c.getDual(), kelvo.ModelError, "^Duals not available$"),
]


@pytest.mark.parametrize("make,action,error,message", ATTRIBUTE_REFUSALS)
def test_attribute_refusals_change_nothing(x, make, action, error, message):
    c, problem = make(x)
    with pytest.raises(error, match=message):
        action(c)
    assert (bounds(c), c.type, str(c)) == ((-INF, 4.0), kelvo.leq, "c" if make is free_c else "R1")


def test_free_attributes_and_body_write(x):
    e = x + 1
    c = kelvo.constraint(body=e, lb=-2, ub=INF, name="c1")
    assert c.index is None and c.__class__ is kelvo.constraint
    with pytest.warns(kelvo.DeprecationWarning, match="access the constraint body with constraint.getBody"):
        assert c.body is e
    with pytest.warns(kelvo.DeprecationWarning):
        d = c.__dict__
    assert d == {"name": "c1", "index": None, "body": e, "lb": -2.0, "ub": INF, "type": kelvo.geq,
                 "rhs": -2.0, "rhsrange": INF}
    # The body is replaced without checks.
    c.body = "anything"
    assert body_of(c) == "anything"


def test_uninitialised_constraint_refuses_everything():
    c = kelvo.constraint.__new__(kelvo.constraint)
    # Even the methods are attributes: reach them through the type.
    for action in (lambda: c.lb, lambda: c.name, lambda: c.__class__, lambda: c.index,
                   lambda: setattr(c, "ub", 1), lambda: kelvo.constraint.copy(c), lambda: kelvo.constraint.getBody(c),
                   lambda: kelvo.constraint.getSlack(c), lambda: kelvo.constraint.getDual(c)):
        with pytest.raises(kelvo.ModelError, match="^Constraint is not initialized$"):
            action()


# ---- Linked and deleted constraints.


def test_linked_constraints_read_and_write_the_library():
    p = kelvo.problem()
    made = []
    for type_, rhs, rng in ((kelvo.leq, 4.0, {}), (kelvo.rng, 5.0, dict(rhsrange=2.0)), (kelvo.geq, -1.0, {}),
                            (kelvo.nonbinding, 0.0, {})):
        made.append(kelvo.constraint(body=p.addVariable(), type=type_, rhs=rhs, **rng))
        p.addConstraint(made[-1])
    c, r, g, n = made
    assert [m.index for m in made] == [0, 1, 2, 3] and (str(c), repr(r)) == ("R1", "R2")
    assert (bounds(r), r.type, r.rhsrange) == ((3.0, 5.0), kelvo.rng, 2.0)
    assert (bounds(g), g.type) == ((-1.0, INF), kelvo.geq)
    assert (bounds(n), n.type) == ((-INF, INF), kelvo.nonbinding)
    assert c.__dict__ == {"name": "R1", "index": 0, "lb": -INF, "ub": 4.0, "type": kelvo.leq, "rhs": 4.0,
                          "rhsrange": 0.0}
    c.rhs = 7
    assert bounds(c) == (-INF, 7.0)
    c.type = kelvo.eq
    assert bounds(c) == (7.0, 7.0)
    c.type = kelvo.rng
    c.rhsrange = 3
    assert bounds(c) == (4.0, 7.0)
    c.name = "cap"
    assert str(c) == "cap"


@pytest.mark.parametrize("release", ["del", "reset"])
def test_deleted_when_the_problem_goes_away_or_is_reset(release):
    p = kelvo.problem()
    c = kelvo.constraint(body=p.addVariable(), ub=4)
    p.addConstraint(c)
    if release == "del":
        del p
    else:
        p.reset()
    assert str(c) == repr(c) == c.name == "(deleted constraint)"
    assert c.index == -1 and c.__dict__ == {"index": -1}
    for action in (lambda: c.lb, lambda: c.ub, lambda: c.type, lambda: c.rhs, lambda: c.rhsrange, lambda: c.body,
                   lambda: setattr(c, "rhs", 1), c.copy, c.getBody, c.getSlack, c.getDual,
                   lambda: kelvo.constraint(c)):
        with pytest.raises(kelvo.ModelError, match="^Constraint has been deleted from the problem$"):
            action()
