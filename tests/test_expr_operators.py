"""Arithmetic on variables, terms, expressions and nonlinear nodes: the kind of every result and
its value, the special cases that give simpler kinds, and the in-place forms."""

import math
import operator
import sys

import numpy
import pytest

import kelvo
from helpers import kind, value


def shows(obj):
    """The kind and printed form of an algebra result."""
    return kind(obj), str(obj)


def operands(x, y):
    """One representative of each operand kind, over two variables."""
    return {"num": 2.5, "var": x, "lin": 3 * y, "quad": 2 * x * y, "expr": x + 2 * y + 1, "nl": kelvo.sin(x)}


# Result kind of left <op> right for each pair of operand kinds (rows: left, columns: right, in
# the order num, var, lin, quad, expr, nl); ** always gives a nonlinear node. Left operands are
# built over x and y, right ones over y and z: so 3*y + y and 3*y / y involve one variable,
# (2*x*y) / y cancels y.
ORDER = ["num", "var", "lin", "quad", "expr", "nl"]
TABLES = {
    "+": ["- expr expr expr expr nl", "expr expr expr expr expr nl", "expr lin expr expr expr nl",
          "expr expr expr expr expr nl", "expr expr expr expr expr nl", "nl nl nl nl nl nl"],
    "*": ["- lin lin quad expr nl", "lin quad quad nl expr nl", "lin quad quad nl expr nl",
          "quad nl nl nl nl nl", "expr expr expr nl expr nl", "nl nl nl nl nl nl"],
    "/": ["- nl nl nl nl nl", "lin nl nl nl nl nl", "lin num nl nl nl nl",
          "quad lin nl nl nl nl", "expr nl nl nl nl nl", "nl nl nl nl nl nl"],
    "**": ["- nl nl nl nl nl"] + ["nl nl nl nl nl nl"] * 5,
}
TABLES["-"] = TABLES["+"]
FUNCS = {"+": operator.add, "-": operator.sub, "*": operator.mul, "/": operator.truediv, "**": operator.pow}
CASES = [
    (op, left, right, expected)
    for op in FUNCS
    for left, row in zip(ORDER, TABLES[op])
    for right, expected in zip(ORDER, row.split())
    if expected != "-"
]


@pytest.mark.parametrize("op,left,right,expected", CASES, ids=[f"{l}{o}{r}" for o, l, r, _ in CASES])
def test_every_operator_gives_the_stated_kind_and_the_right_value(op, left, right, expected, xyz):
    x, y, z = xyz
    a, b = operands(x, y)[left], operands(y, z)[right]
    before = (str(a), str(b))
    result = FUNCS[op](a, b)
    assert kind(result) == expected
    assert (str(a), str(b)) == before  # plain operators never alter their operands
    for point in ({x: 0.7, y: 1.3, z: 0.2}, {x: 1.9, y: 0.4, z: 1.1}):
        assert value(result, point) == pytest.approx(FUNCS[op](value(a, point), value(b, point)))


@pytest.mark.parametrize("build,expected", [
    # Addition and subtraction: zero, one variable, one pair, cancelling entries.
    (lambda x, y, z: 0 + x, ("expr", "x")),
    (lambda x, y, z: x + x, ("lin", "2 * x")),
    (lambda x, y, z: 2 * x + x, ("lin", "3 * x")),
    (lambda x, y, z: x * y - x * y, ("quad", "0 * x * y")),
    (lambda x, y, z: x * y + x * x, ("expr", "x ** 2 + x * y")),
    (lambda x, y, z: 0 - 3 * x, ("lin", "-3 * x")),
    (lambda x, y, z: (x + 2 * y + 1) - (3 * x - y + 4), ("expr", "-3 - 2 * x + 3 * y")),
    (lambda x, y, z: float("nan") * x, ("lin", "nan * x")),
    # Multiplication: zero and one, expansion, constant expressions acting as numbers.
    (lambda x, y, z: 0 * (x * y), ("quad", "0 * x * y")),
    (lambda x, y, z: (x + y) * 0, ("expr", "0")),
    (lambda x, y, z: -((x + y) * 0), ("expr", "0")),
    (lambda x, y, z: (x + y) * (x - y), ("expr", "x ** 2 - y ** 2")),
    (lambda x, y, z: (2 * x) * (y + 3), ("expr", "6 * x + 2 * x * y")),
    (lambda x, y, z: (kelvo.expression() + 2) * x, ("lin", "2 * x")),
    (lambda x, y, z: x * (kelvo.expression() + 2), ("lin", "2 * x")),
    (lambda x, y, z: (kelvo.expression() + 2) * (x * y), ("quad", "2 * x * y")),
    (lambda x, y, z: x * y * z, ("nl", "x * y * z")),
    (lambda x, y, z: (x * y) * (x + 1), ("nl", "x * y * (1 + x)")),
    (lambda x, y, z: -1 * (x * y * z), ("nl", "-(x * y * z)")),
    (lambda x, y, z: 2 * (x * y * z), ("nl", "x * y * z * 2")),
    # Division.
    (lambda x, y, z: (3 * x * y) / y, ("lin", "3 * x")),
    (lambda x, y, z: x / 2, ("lin", "0.5 * x")),
    (lambda x, y, z: x / (2 * x * y), ("nl", "0.5 / y")),
    (lambda x, y, z: 2 / x, ("nl", "2 / x")),
    (lambda x, y, z: 0 / (2 * x), ("nl", "0 / (2 * x)")),
    (lambda x, y, z: (x * y) / (y * z), ("nl", "x / z")),
    (lambda x, y, z: (2 * x + 4 * y + 6) / 2, ("expr", "3 + x + 2 * y")),
    # Powers.
    (lambda x, y, z: x ** 2, ("quad", "x ** 2")),
    (lambda x, y, z: (3 * x) ** 2, ("quad", "9 * x ** 2")),
    (lambda x, y, z: (x + y) ** 2, ("expr", "x ** 2 + 2 * x * y + y ** 2")),
    (lambda x, y, z: (x * y) ** 2, ("nl", "(x * y) ** 2")),
    (lambda x, y, z: x ** 3, ("nl", "x ** 3")),
    (lambda x, y, z: 2 ** x, ("nl", "2 ** x")),
    # Unary operators and the logical nodes, which flatten nodes of their own kind.
    (lambda x, y, z: -x, ("lin", "-x")),
    (lambda x, y, z: -(2 * x * y), ("quad", "-2 * x * y")),
    (lambda x, y, z: -(x - 2), ("expr", "2 - x")),
    (lambda x, y, z: -kelvo.sin(x), ("nl", "-sin(x)")),
    (lambda x, y, z: abs(x), ("nl", "abs(x)")),
    (lambda x, y, z: (x & y) & z, ("nl", "and(x, y, z)")),
    (lambda x, y, z: x | (y | z), ("nl", "or(x, y, z)")),
    # Nonlinear subtraction: a minus node unless the left is a sum.
    (lambda x, y, z: kelvo.sin(x) - kelvo.sin(y), ("nl", "sin(x) - sin(y)")),
    (lambda x, y, z: (kelvo.sin(x) + y) - kelvo.sin(z), ("nl", "sin(x) + -sin(z) + y")),
    (lambda x, y, z: 0 - kelvo.sin(x), ("nl", "-sin(x)")),
    # Sums of nodes merge their linear elements into one, kept last.
    (lambda x, y, z: (kelvo.sin(x) + 2 * x) + (kelvo.cos(y) + 3 * x + 1), ("nl", "sin(x) + cos(y) + 1 + 5 * x")),
])
def test_results_in_their_simplest_form(xyz, build, expected):
    assert shows(build(*xyz)) == expected


def test_results_that_are_numbers_or_an_operand(xyz):
    x, y, _ = xyz
    assert (x + 0) is x and (1 * x) is x and (x / 1) is x and (x ** 1) is x
    for number, expected in ((x - x, 0.0), (2 * x - 2 * x, 0.0), (0 * x, 0.0), (x / x, 1.0), ((2 * x) / (4 * x), 0.5),
                             (0 / x, 0.0), (x ** 0, 1.0), (1 ** x, 1.0), ((x * y * x) * 0, 0.0),
                             ((6 * x * y) / (3 * y * x), 2.0)):
        assert type(number) is float and number == expected
    t = 3 * x
    assert (t + 0) is not t and shows(t + 0) == ("lin", "3 * x")
    n = x * y
    assert (n * 1) is not n and shows(x * y * x * 1)[0] == "nl"


def test_division_by_zero_and_vector_exponents(xyz):
    x, y, _ = xyz
    for build, message in ((lambda: x / 0, "Division of variable by zero"), (lambda: (2 * x) / 0, "Division by zero"),
                           (lambda: (x * y) / kelvo.expression(), "Division by zero of a bilinear term"),
                           (lambda: (x * y) / (0 * (x * y)), "Division by zero of a bilinear term"),
                           (lambda: (x + y) / 0.0, "Division by zero"),
                           (lambda: x ** numpy.array([1, 2]), "Cannot obtain a power with a vector as an exponent")):
        with pytest.raises(kelvo.ModelError, match=f"^{message}$"):
            build()


class TestReferences:
    def test_cancelled_entries_leave_the_expression_and_release_their_variables(self, xyz):
        x, y, z = xyz
        bx, by = sys.getrefcount(x), sys.getrefcount(y)
        e = x + y
        assert sys.getrefcount(x) > bx
        e -= x
        assert str(e) == "y" and sys.getrefcount(x) == bx
        e += 2 * x * y
        e += z
        e -= y * x * 2  # the other order lands on the same entry
        assert str(e) == "y + z"
        assert (sys.getrefcount(x), sys.getrefcount(y)) == (bx, by + 1)
        del e
        assert (sys.getrefcount(x), sys.getrefcount(y)) == (bx, by)

    def test_an_expression_added_to_itself_in_place(self, xyz):
        x, y, _ = xyz
        e = 2 * x + y * y + 1
        e += e
        assert str(e) == "2 + 4 * x + 2 * y ** 2"
        before = sys.getrefcount(x)
        e -= e
        assert str(e) == "0" and sys.getrefcount(x) == before - 1
        # A NaN coefficient is not zero: the entry stays.
        e += float("nan") * x
        assert math.isnan(value(e, {x: 1.0, y: 0.0}))


class TestInPlace:
    def test_in_place_forms_amend_the_expression_seen_under_every_name(self, xyz):
        x, y, _ = xyz
        e = x + 1
        alias = e
        e += y
        e -= 2 * x * y
        assert e is alias and str(alias) == "1 + x + y - 2 * x * y"
        e = e + x
        assert e is not alias and str(alias) == "1 + x + y - 2 * x * y"
        e = 2 * x + y * y + 1
        alias = e
        e *= 3
        assert e is alias and str(e) == "3 + 6 * x + 3 * y ** 2"
        e /= 6
        assert e is alias and str(e) == "0.5 + x + 0.5 * y ** 2"
        e *= 0
        assert e == 0.0 and isinstance(e, float) and str(alias) == "0.5 + x + 0.5 * y ** 2"
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            alias /= 0

    def test_neutral_numbers_return_the_left_operand(self, xyz):
        x, y, _ = xyz
        for obj in (x, 2 * x, x * y):
            o = obj
            o += 0
            o *= 1
            o /= 1
            o **= 1
            assert o is obj
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            t = 2 * x
            t /= 0

    def test_operations_that_never_amend_the_left_operand(self, xyz):
        x, y, z = xyz
        e = alias_e = x + y
        e **= 1
        e **= 2
        t = alias_t = 2 * x
        t += y
        f = alias_f = x + y
        f += kelvo.sin(x)
        h = alias_h = x + 1
        h += numpy.array([1.0, 2.0])  # never in place with an array
        m = kelvo.sin(x) + alias_h
        m += y  # a sum node grows in place without amending its shared elements
        assert (str(alias_e), str(alias_t), str(alias_f), str(alias_h)) == ("x + y", "2 * x", "x + y", "1 + x")
        assert (kind(e), kind(t), kind(f)) == ("expr", "expr", "nl") and isinstance(h, numpy.ndarray)

    def test_nodes_grow_in_place(self, xyz):
        x, y, z = xyz
        n = alias = x * y * z + x
        n += y
        n += kelvo.cos(z)
        n -= x
        assert n is alias and str(n) == "x * y * z + cos(z) + y"
        n = alias = x & y
        n &= z
        m = x | y
        m &= z
        assert n is alias and (str(n), str(m)) == ("and(x, y, z)", "and(or(x, y), z)")
