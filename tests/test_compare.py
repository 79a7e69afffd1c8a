"""Comparison operators: constraints built from <=, >= and ==, constants moved to the bounds,
reversed comparisons and arrays; structural equality when constraint operators are off, and
is_equal."""
import warnings

import numpy
import pytest

import kelvo

INF = 1e20
from helpers import testing


@pytest.fixture
def xyz():
    return testing.unlinked_var(), testing.unlinked_var(), testing.unlinked_var()


@pytest.fixture
def operators_off():
    kelvo._setConstraintOperatorsEnabled(False)
    yield
    kelvo._setConstraintOperatorsEnabled(True)


def body_of(c):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", kelvo.DeprecationWarning)
        return c.body


def parts(c):
    """(body kind, constant, linear map, quadratic map) of an expression body, and the bounds."""
    body = body_of(c)
    assert type(body) is kelvo.expression
    constant, lin, quad, _ = testing.expr_parts(body)
    return constant, lin, quad, (c.lb, c.ub)


# ---- Building constraints.


def test_variable_against_a_number_on_either_side(xyz):
    x, _, _ = xyz
    for c, expected in ((x <= 5, (-INF, 5.0)), (5 <= x, (5.0, INF)), (x >= 5, (5.0, INF)), (5 >= x, (-INF, 5.0)),
                        (x == 5, (5.0, 5.0)), (5 == x, (5.0, 5.0))):
        assert type(c) is kelvo.constraint
        assert parts(c) == (0.0, {x: 1.0}, {}, expected)


def test_two_variables(xyz):
    x, y, _ = xyz
    assert parts(x <= y) == (0.0, {x: 1.0, y: -1.0}, {}, (-INF, 0.0))
    assert parts(x >= y) == (0.0, {x: 1.0, y: -1.0}, {}, (0.0, INF))


def test_constants_on_both_sides_are_moved_to_the_bounds(xyz):
    x, y, _ = xyz
    assert parts(2 * x + 3 == y) == (0.0, {x: 2.0, y: -1.0}, {}, (-3.0, -3.0))
    assert parts(x + 1 <= 2 * y - 4) == (0.0, {x: 1.0, y: -2.0}, {}, (-INF, -5.0))
    # A number on the left of a comparison is read from the right-hand object's side.
    assert parts(3 >= x + 1) == (0.0, {x: 1.0}, {}, (-INF, 2.0))
    assert parts(3.5 <= x - 1) == (0.0, {x: 1.0}, {}, (4.5, INF))


def test_comparison_leaves_its_operands_unchanged(xyz):
    x, _, _ = xyz
    e = x + 5
    c = e <= 3
    assert testing.expr_parts(e)[0] == 5.0
    assert body_of(c) is not e


def test_terms_become_the_body_unchanged(xyz):
    x, y, _ = xyz
    c = 2 * x >= 0
    assert type(body_of(c)) is kelvo.linterm and (c.lb, c.ub) == (0.0, INF)
    q = x * y <= 0
    assert type(body_of(q)) is kelvo.quadterm and (q.lb, q.ub) == (-INF, 0.0)
    # x - 0 is x itself.
    v = x <= 0
    assert body_of(v) is x


def test_quadratic_comparison(xyz):
    x, y, _ = xyz
    constant, lin, quad, bnds = parts(x * y + 2 * x <= 7)
    assert (constant, lin, bnds) == (0.0, {x: 2.0}, (-INF, 7.0))
    assert len(quad) == 1 and list(quad.values()) == [1.0]


def test_nonlinear_bodies_lose_their_number(xyz):
    x, _, _ = xyz
    for c in (kelvo.sin(x) >= 1, kelvo.sin(x) - 1 >= 0):
        body = body_of(c)
        assert testing.node_parts(body)[0] == 9  # sin
        assert (c.lb, c.ub) == (1.0, INF)
    # 1 - sin(x) <= 0 is sin(x) >= 1.
    c = 1 - kelvo.sin(x) <= 0
    assert testing.node_parts(body_of(c))[0] == 9
    assert (c.lb, c.ub) == (1.0, INF)
    # A sum ending in a number.
    c = kelvo.sin(x) + kelvo.cos(x) + 3 <= 5
    op, args = testing.node_parts(body_of(c))
    assert op == 0 and len(args) == 2
    assert (c.lb, c.ub) == (-INF, 2.0)


def test_nonlinear_body_without_a_number(xyz):
    x, y, _ = xyz
    c = kelvo.sin(x) * y == 0
    assert testing.node_parts(body_of(c))[0] == 3
    assert (c.lb, c.ub) == (0.0, 0.0)


def test_strict_and_not_equal_comparisons_are_refused(xyz):
    x, y, _ = xyz
    for build in (lambda: x < 1, lambda: x > 1, lambda: x != y, lambda: 1 > 2 * x, lambda: kelvo.sin(x) < 0):
        with pytest.raises(kelvo.ModelError, match=r"^Invalid constraint: cannot enforce f\(x\) != 0, f\(x\) > 0, or f\(x\) < 0$"):
            build()


def test_constraint_records_the_variable_kind(xyz):
    x, _, _ = xyz
    c = x <= 1
    assert testing.constraint_record(c)[4] == 1
    assert c.name.startswith("R") and c.name != "R0"
    p = kelvo.problem()
    y = p.addVariable()
    assert testing.constraint_record(y >= 1)[4] == 2
    with pytest.raises(kelvo.ModelError, match="^Linked variables and unlinked variables cannot be combined in expression$"):
        x <= y


def test_comparison_with_a_deleted_variable_is_refused():
    p = kelvo.problem()
    x, y = p.addVariable(), p.addVariable()
    p.delVariable(y)
    with pytest.raises(kelvo.ModelError, match="^Deleted variable in expression$"):
        x <= y


def test_comparison_with_a_foreign_object_is_refused(xyz):
    x, _, _ = xyz
    with pytest.raises(kelvo.ModelError):
        x <= "5"


class Recorder(numpy.ndarray):
    """An array that reports which comparison reached it."""

    def __ge__(self, other):
        return ("ge", other)

    def __le__(self, other):
        return ("le", other)

    def __eq__(self, other):
        return ("eq", other)


def test_comparison_with_an_array_is_handed_to_the_array_reflected(xyz):
    x, _, _ = xyz
    arr = numpy.array([1.0, 2.0]).view(Recorder)
    assert (x <= arr) == ("ge", x)
    assert (x >= arr) == ("le", x)
    e = 2 * x
    assert (e == arr)[0] == "eq" and (e == arr)[1] is e


def test_constraint_from_a_comparison_through_the_constructor(xyz):
    x, _, _ = xyz
    c = kelvo.constraint(x + 1 <= 3, name="c")
    assert (c.name, c.lb, c.ub) == ("c", -INF, 2.0)


# ---- Constraint operators turned off.


def test_switch_reports_and_changes_the_flag():
    assert kelvo.getConstraintOperatorsEnabled() is True
    kelvo._setConstraintOperatorsEnabled(0)
    try:
        assert kelvo.getConstraintOperatorsEnabled() is False
    finally:
        kelvo._setConstraintOperatorsEnabled([1])
    assert kelvo.getConstraintOperatorsEnabled() is True


def test_switch_refuses_an_object_without_truth_value():
    class Bad:
        def __bool__(self):
            raise ValueError("no")

    with pytest.raises(kelvo.ModelError, match="^Incorrect argument in setConstraintOperatorsEnabled: should be True or False$"):
        kelvo._setConstraintOperatorsEnabled(Bad())
    assert kelvo.getConstraintOperatorsEnabled() is True


def test_structural_equality_when_operators_are_off(xyz, operators_off):
    x, y, z = xyz
    assert (x == x) is True
    assert (x == y) is False
    assert (x != y) is True
    assert (2 * x + 1 == 2 * x + 1) is True
    assert (2 * x + 1 == 2 * x + 1.5) is False
    assert (2 * x + y == y + 2 * x) is True
    assert (2 * x == 2 * y) is False
    assert (x + y == x + y + z) is False
    assert (x * y + 1 == y * x + 1) is True
    assert (x * y == x * z) is False
    # A variable equals the one-entry expression and the linear term with coefficient 1.
    assert (x == x + 0) is True
    assert (x == 1 * x) is True
    assert (x + 0 == 0) is False
    assert (kelvo.sin(x) == kelvo.sin(x)) is True
    assert (kelvo.sin(x) == kelvo.cos(x)) is False
    assert (kelvo.sin(x) == kelvo.sin(y)) is False
    assert (kelvo.sin(x) + y == kelvo.sin(x) + y) is True
    assert (kelvo.sin(x) == x) is False
    assert (x == kelvo.sin(x)) is False


def test_ordering_is_a_type_error_when_operators_are_off(xyz, operators_off):
    x, y, _ = xyz
    with pytest.raises(TypeError, match="'<=' not supported between instances of 'var' and 'var'$"):
        x <= y
    with pytest.raises(TypeError, match="'>' not supported between instances of 'linterm' and 'float'$"):
        2 * x > 1.0


def test_equality_with_an_array_when_operators_are_off(xyz, operators_off):
    x, y, _ = xyz
    result = x == numpy.array([x, y], dtype=object)
    assert list(result) == [True, False]


def test_is_equal_compares_structurally_whatever_the_flag(xyz):
    x, y, _ = xyz
    assert kelvo.is_equal(2 * x + 1, 2 * x + 1) is True
    assert kelvo.is_equal(2 * x + 1, 2 * y + 1) is False
    assert kelvo.getConstraintOperatorsEnabled() is True
    kelvo._setConstraintOperatorsEnabled(False)
    try:
        assert kelvo.is_equal(x, x) is True
        assert kelvo.getConstraintOperatorsEnabled() is False
    finally:
        kelvo._setConstraintOperatorsEnabled(True)


def test_is_equal_requires_two_arguments(xyz):
    x, _, _ = xyz
    for args in ((x,), (x, x, x), ()):
        with pytest.raises(kelvo.InterfaceError, match="^kelvo.is_equal requires two arguments$"):
            kelvo.is_equal(*args)


def test_is_equal_restores_the_flag_after_an_error(xyz):
    x, _, _ = xyz

    class Boom:
        def __eq__(self, other):
            raise RuntimeError("boom")

    with pytest.raises(RuntimeError):
        kelvo.is_equal(Boom(), x)
    assert kelvo.getConstraintOperatorsEnabled() is True


def test_empty_constraint_message_for_a_comparison_made_while_off(xyz, operators_off):
    x, _, _ = xyz
    with pytest.raises(kelvo.ModelError, match="^Attempt to generate an empty constraint failed"):
        kelvo.constraint(x == x)
