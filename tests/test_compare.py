"""Comparison operators: constraints built from <=, >= and ==, constants moved to the bounds,
reversed comparisons and arrays; structural equality when constraint operators are off, and
is_equal."""

import numpy
import pytest

import kelvo

from helpers import body_of

INF = 1e20


@pytest.fixture
def operators_off():
    kelvo._setConstraintOperatorsEnabled(False)
    yield
    kelvo._setConstraintOperatorsEnabled(True)


def parts(c):
    """The printed body, its type name and the bounds of a constraint."""
    body = body_of(c)
    return str(body), type(body).__name__, (c.lb, c.ub)


# ---- Building constraints.


@pytest.mark.parametrize("build,body,kind,bounds", [
    (lambda x, y: x <= 5, "x", "expression", (-INF, 5.0)),
    (lambda x, y: x >= 5, "x", "expression", (5.0, INF)),
    (lambda x, y: x == 5, "x", "expression", (5.0, 5.0)),
    (lambda x, y: x <= y, "x - y", "expression", (-INF, 0.0)),
    (lambda x, y: x >= y, "x - y", "expression", (0.0, INF)),
    # Constants on both sides move to the bounds; a number on the left is read from the right.
    (lambda x, y: 2 * x + 3 == y, "2 * x - y", "expression", (-3.0, -3.0)),
    (lambda x, y: x + 1 <= 2 * y - 4, "x - 2 * y", "expression", (-INF, -5.0)),
    (lambda x, y: 3 >= x + 1, "x", "expression", (-INF, 2.0)),
    (lambda x, y: x * y + 2 * x <= 7, "2 * x + x * y", "expression", (-INF, 7.0)),
    # Terms become the body unchanged; x - 0 is x itself.
    (lambda x, y: 2 * x >= 0, "2 * x", "linterm", (0.0, INF)),
    (lambda x, y: x * y <= 0, "x * y", "quadterm", (-INF, 0.0)),
    (lambda x, y: x <= 0, "x", "var", (-INF, 0.0)),
    # Nonlinear bodies lose their number.
    (lambda x, y: kelvo.sin(x) >= 1, "sin(x)", "nonlinear", (1.0, INF)),
    (lambda x, y: kelvo.sin(x) - 1 >= 0, "sin(x)", "nonlinear", (1.0, INF)),
    (lambda x, y: 1 - kelvo.sin(x) <= 0, "sin(x)", "nonlinear", (1.0, INF)),
    (lambda x, y: kelvo.sin(x) + kelvo.cos(x) + 3 <= 5, "sin(x) + cos(x)", "nonlinear", (-INF, 2.0)),
    (lambda x, y: kelvo.sin(x) * y == 0, "sin(x) * y", "nonlinear", (0.0, 0.0)),
])
def test_comparisons_build_constraints(xyz, build, body, kind, bounds):
    x, y, _ = xyz
    c = build(x, y)
    assert type(c) is kelvo.constraint
    assert parts(c) == (body, kind, bounds)


def test_comparison_leaves_its_operands_unchanged(xyz):
    x, _, _ = xyz
    e = x + 5
    c = e <= 3
    assert str(e) == "5 + x" and body_of(c) is not e


class NoTruth:
    def __bool__(self):
        raise ValueError("no")


class Boom:
    def __eq__(self, other):
        raise RuntimeError("boom")


STRICT = r"^Invalid constraint: cannot enforce f\(x\) != 0, f\(x\) > 0, or f\(x\) < 0$"
REFUSALS = [
    (lambda x, y: x < 1, kelvo.ModelError, STRICT),
    (lambda x, y: x != y, kelvo.ModelError, STRICT),
    (lambda x, y: 1 > 2 * x, kelvo.ModelError, STRICT),
    (lambda x, y: kelvo.sin(x) < 0, kelvo.ModelError, STRICT),
    (lambda x, y: x <= "5", kelvo.ModelError, None),
    (lambda x, y: kelvo._setConstraintOperatorsEnabled(NoTruth()), kelvo.ModelError,
     "^Incorrect argument in setConstraintOperatorsEnabled: should be True or False$"),
    (lambda x, y: kelvo.is_equal(x), kelvo.InterfaceError, "^kelvo.is_equal requires two arguments$"),
    (lambda x, y: kelvo.is_equal(Boom(), x), RuntimeError, "boom"),
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals_keep_the_operators_on(xyz, call, error, message):
    x, y, _ = xyz
    with pytest.raises(error, match=message):
        call(x, y)
    assert kelvo.getConstraintOperatorsEnabled() is True


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


# ---- Constraint operators turned off.


def test_structural_equality_when_operators_are_off(xyz, operators_off):
    x, y, z = xyz
    sin, cos = kelvo.sin, kelvo.cos
    assert (x != y) is True
    # A variable equals the one-entry expression and the linear term with coefficient 1.
    for a, b, equal in ((x, x, True), (x, y, False), (2 * x + 1, 2 * x + 1, True), (2 * x + 1, 2 * x + 1.5, False),
                        (2 * x + y, y + 2 * x, True), (2 * x, 2 * y, False), (x + y, x + y + z, False),
                        (x * y + 1, y * x + 1, True), (x * y, x * z, False), (x, x + 0, True), (x, 1 * x, True),
                        (x + 0, 0, False), (sin(x), sin(x), True), (sin(x), cos(x), False), (sin(x), sin(y), False),
                        (sin(x) + y, sin(x) + y, True), (sin(x), x, False), (x, sin(x), False)):
        assert (a == b) is equal, (a, b)


def test_ordering_is_a_type_error_and_arrays_compare_elementwise_when_operators_are_off(xyz, operators_off):
    x, y, _ = xyz
    with pytest.raises(TypeError, match="'<=' not supported between instances of 'var' and 'var'$"):
        x <= y
    with pytest.raises(TypeError, match="'>' not supported between instances of 'linterm' and 'float'$"):
        2 * x > 1.0
    assert list(x == numpy.array([x, y], dtype=object)) == [True, False]
    with pytest.raises(kelvo.ModelError, match="^Attempt to generate an empty constraint failed"):
        kelvo.constraint(x == x)


def test_the_switch_and_is_equal_whatever_the_flag(xyz):
    x, y, _ = xyz
    assert kelvo.is_equal(2 * x + 1, 2 * x + 1) is True
    assert kelvo.is_equal(2 * x + 1, 2 * y + 1) is False
    assert kelvo.getConstraintOperatorsEnabled() is True
    kelvo._setConstraintOperatorsEnabled(0)
    try:
        assert kelvo.getConstraintOperatorsEnabled() is False
        assert kelvo.is_equal(x, x) is True
        assert kelvo.getConstraintOperatorsEnabled() is False
    finally:
        kelvo._setConstraintOperatorsEnabled([1])
    assert kelvo.getConstraintOperatorsEnabled() is True
