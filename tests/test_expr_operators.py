"""Arithmetic on variables, terms, expressions and nonlinear nodes: the kind of every result and
its value, the special cases that give simpler kinds, and the in-place forms."""

import math
import operator
import sys

import numpy
import pytest

import kelvo
from helpers import kind, testing, value


@pytest.fixture
def xyz():
    return testing.unlinked_var(), testing.unlinked_var(), testing.unlinked_var()


def operands(x, y):
    """One representative of each operand kind, over two variables."""
    return {
        "num": 2.5,
        "var": x,
        "lin": 3 * y,
        "quad": 2 * x * y,
        "expr": x + 2 * y + 1,
        "nl": kelvo.sin(x),
    }


# Result kind of left <op> right for each pair of operand kinds (rows: left, columns: right, in
# the order num, var, lin, quad, expr, nl). Left operands are built over x and y, right ones over
# y and z: so 3*y + y and 3*y / y involve one variable, (2*x*y) / y cancels y.
ORDER = ["num", "var", "lin", "quad", "expr", "nl"]
TABLES = {
    "+": [
        [None, "expr", "expr", "expr", "expr", "nl"],
        ["expr", "expr", "expr", "expr", "expr", "nl"],
        ["expr", "lin", "expr", "expr", "expr", "nl"],
        ["expr", "expr", "expr", "expr", "expr", "nl"],
        ["expr", "expr", "expr", "expr", "expr", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
    ],
    "*": [
        [None, "lin", "lin", "quad", "expr", "nl"],
        ["lin", "quad", "quad", "nl", "expr", "nl"],
        ["lin", "quad", "quad", "nl", "expr", "nl"],
        ["quad", "nl", "nl", "nl", "nl", "nl"],
        ["expr", "expr", "expr", "nl", "expr", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
    ],
    "/": [
        [None, "nl", "nl", "nl", "nl", "nl"],
        ["lin", "nl", "nl", "nl", "nl", "nl"],
        ["lin", "num", "nl", "nl", "nl", "nl"],
        ["quad", "lin", "nl", "nl", "nl", "nl"],
        ["expr", "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
    ],
    "**": [
        [None, "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
        ["nl", "nl", "nl", "nl", "nl", "nl"],
    ],
}
TABLES["-"] = TABLES["+"]
FUNCS = {"+": operator.add, "-": operator.sub, "*": operator.mul, "/": operator.truediv, "**": operator.pow}

CASES = [
    (op, left, right, TABLES[op][i][j])
    for op in FUNCS
    for i, left in enumerate(ORDER)
    for j, right in enumerate(ORDER)
    if TABLES[op][i][j] is not None
]


@pytest.mark.parametrize("op,left,right,expected", CASES, ids=[f"{l}{o}{r}" for o, l, r, _ in CASES])
def test_every_operator_gives_the_stated_kind_and_the_right_value(op, left, right, expected, xyz):
    x, y, z = xyz
    a, b = operands(x, y)[left], operands(y, z)[right]
    result = FUNCS[op](a, b)
    assert kind(result) == expected
    for point in ({x: 0.7, y: 1.3, z: 0.2}, {x: 1.9, y: 0.4, z: 1.1}):
        assert value(result, point) == pytest.approx(FUNCS[op](value(a, point), value(b, point)))


def test_operands_are_never_altered_by_plain_operators(xyz):
    x, y, z = xyz
    point = {x: 0.5, y: 2.0, z: -1.5}
    for a in operands(x, y).values():
        for b in operands(y, z).values():
            before = value(a, point)
            for f in FUNCS.values():
                try:
                    f(a, b)
                except kelvo.ModelError:
                    pass
            assert value(a, point) == pytest.approx(before)


class TestAddition:
    def test_adding_zero_keeps_the_variable_but_zero_plus_variable_is_an_expression(self, xyz):
        x, _, _ = xyz
        assert (x + 0) is x
        e = 0 + x
        assert kind(e) == "expr"
        assert testing.expr_parts(e)[:2] == (0.0, {x: 1.0})

    def test_same_variable_sums_to_a_linear_term_and_cancels_to_zero(self, xyz):
        x, _, _ = xyz
        assert testing.term_parts(x + x) == (2.0, x)
        assert (x - x) == 0.0 and isinstance(x - x, float)
        assert (2 * x - 2 * x) == 0.0 and isinstance(2 * x - 2 * x, float)
        assert testing.term_parts(2 * x + x) == (3.0, x)

    def test_quadratic_terms_of_one_pair_sum_to_a_quadratic_term_even_at_zero(self, xyz):
        x, y, _ = xyz
        s = x * y - x * y
        assert kind(s) == "quad"
        assert testing.term_parts(s) == (0.0, x, y)
        # Different pairs make an expression.
        assert kind(x * y + x * x) == "expr"

    def test_linear_term_plus_zero_is_a_copy(self, xyz):
        x, _, _ = xyz
        t = 3 * x
        u = t + 0
        assert kind(u) == "lin" and u is not t
        assert testing.term_parts(0 - t) == (-3.0, x)

    def test_expression_result_sums_constants_and_coefficients(self, xyz):
        x, y, _ = xyz
        e = (x + 2 * y + 1) - (3 * x - y + 4)
        assert testing.expr_parts(e)[:2] == (-3.0, {x: -2.0, y: 3.0})

    def test_terms_that_cancel_leave_the_map_and_release_the_variable(self, xyz):
        x, y, _ = xyz
        before = sys.getrefcount(x)
        e = x + y
        assert sys.getrefcount(x) > before
        e -= x
        assert testing.expr_parts(e)[1] == {y: 1.0}
        assert sys.getrefcount(x) == before

    def test_cancelled_quadratic_entries_release_both_variables(self, xyz):
        x, y, z = xyz
        bx, by = sys.getrefcount(x), sys.getrefcount(y)
        e = kelvo.expression()
        e += 2 * x * y
        e += z
        e -= y * x * 2  # the other order lands on the same entry
        assert testing.expr_parts(e)[2] == {}
        assert (sys.getrefcount(x), sys.getrefcount(y)) == (bx, by)
        del e
        assert (sys.getrefcount(x), sys.getrefcount(y)) == (bx, by)

    def test_both_orders_of_a_product_share_one_entry_under_the_smaller_key(self, xyz):
        x, y, _ = xyz
        e = kelvo.expression()
        e += x * y
        e += 3 * (y * x)
        e += 1.5 * testing.unlinked_var() * 0  # zero coefficient: nothing stored
        assert testing.expr_parts(e)[2] == {(x, y): 4.0}

    def test_nan_coefficients_are_not_zero(self, xyz):
        x, _, _ = xyz
        assert kind(float("nan") * x) == "lin"
        e = x + 1
        e += float("nan") * x
        assert math.isnan(testing.expr_parts(e)[1][x])


class TestMultiplication:
    def test_numbers_zero_and_one_give_the_simplest_kind(self, xyz):
        x, y, _ = xyz
        assert (0 * x) == 0.0 and isinstance(0 * x, float)
        assert (1 * x) is x
        assert testing.term_parts(0 * (x * y)) == (0.0, x, y)
        e = (x + y) * 0
        assert kind(e) == "expr" and testing.expr_parts(e)[:3] == (0.0, {}, {})

    def test_degree_above_two_gives_nonlinear_nodes(self, xyz):
        x, y, z = xyz
        for obj in (x * y * z, (x * y) * (x + 1), (x * y + 1) * x, (x * x) ** 2, x ** 3, (x + y) ** 3):
            assert kind(obj) == "nl"
        op, args = testing.node_parts(x * y * z)
        assert op == 3 and kind(args[0]) == "quad" and args[1] is z

    def test_product_of_linear_expressions_expands_and_cancels(self, xyz):
        x, y, _ = xyz
        e = (x + y) * (x - y)
        constant, lin, quad, _ = testing.expr_parts(e)
        assert (constant, lin) == (0.0, {})
        assert quad == {(x, x): 1.0, (y, y): -1.0}

    def test_variable_times_expression_is_quadratic_with_the_constant_scaling_it(self, xyz):
        x, y, _ = xyz
        e = (2 * x) * (y + 3)
        assert testing.expr_parts(e)[1:3] == ({x: 6.0}, {(x, y): 2.0})

    def test_constant_expression_acts_as_a_number(self, xyz):
        x, y, _ = xyz
        c = kelvo.expression() + 2
        assert testing.term_parts(c * x) == (2.0, x)
        assert testing.term_parts(x * c) == (2.0, x)
        one = kelvo.expression() + 1
        assert (one * x) is x
        assert kind(c * (x * y)) == "quad"

    def test_nonlinear_products_with_numbers(self, xyz):
        x, y, z = xyz
        n = x * y * z
        assert (n * 0) == 0.0
        assert kind(n * 1) == "nl" and (n * 1) is not n
        op, args = testing.node_parts(n * -1)
        assert op == 2 and args is n
        op, args = testing.node_parts(2 * n)
        assert op == 3 and args[0] is n and args[1] == 2


class TestDivision:
    def test_division_by_zero_messages(self, xyz):
        x, y, _ = xyz
        with pytest.raises(kelvo.ModelError, match="^Division of variable by zero$"):
            x / 0
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            (2 * x) / 0
        with pytest.raises(kelvo.ModelError, match="^Division by zero of a bilinear term$"):
            (x * y) / kelvo.expression()
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            (x + y) / 0.0

    def test_quotients_that_simplify(self, xyz):
        x, y, _ = xyz
        assert x / x == 1.0
        assert (2 * x) / (4 * x) == 0.5
        assert testing.term_parts((3 * x * y) / y) == (3.0, x)
        assert testing.term_parts(x / 2) == (0.5, x)
        assert (x / 1) is x
        assert (0 / x) == 0.0
        op, args = testing.node_parts(x / (2 * x * y))
        assert op == 4 and args == (0.5, y)

    def test_quotients_that_stay_nonlinear(self, xyz):
        x, y, z = xyz
        op, args = testing.node_parts(2 / x)
        assert (op, args) == (4, (2, x))
        assert kind(0 / (2 * x)) == "nl"
        op, args = testing.node_parts((x * y) / (y * z))
        assert op == 4 and args[0] is x and args[1] is z

    def test_expression_divided_by_a_number_stays_an_expression(self, xyz):
        x, y, _ = xyz
        e = (2 * x + 4 * y + 6) / 2
        assert testing.expr_parts(e)[:2] == (3.0, {x: 1.0, y: 2.0})


class TestPower:
    def test_small_integer_exponents(self, xyz):
        x, y, _ = xyz
        assert x ** 0 == 1.0
        assert (x ** 1) is x
        assert testing.term_parts(x ** 2) == (1.0, x, x)
        assert testing.term_parts((3 * x) ** 2) == (9.0, x, x)
        assert kind((x + y) ** 2) == "expr"
        assert kind((x * y) ** 2) == "nl"
        op, args = testing.node_parts(x ** 3)
        assert (op, args) == (5, (x, 3))

    def test_number_base_and_vector_exponents(self, xyz):
        x, _, _ = xyz
        assert 1 ** x == 1.0
        assert testing.node_parts(2 ** x) == (5, (2, x))
        with pytest.raises(kelvo.ModelError, match="^Cannot obtain a power with a vector as an exponent$"):
            x ** numpy.array([1, 2])


class TestUnary:
    def test_negation_keeps_the_kind(self, xyz):
        x, y, _ = xyz
        assert testing.term_parts(-x) == (-1.0, x)
        assert testing.term_parts(-(2 * x * y)) == (-2.0, x, y)
        assert testing.expr_parts(-(x - 2))[:2] == (2.0, {x: -1.0})
        n = kelvo.sin(x)
        assert testing.node_parts(-n) == (2, n)

    def test_abs_builds_a_node(self, xyz):
        x, _, _ = xyz
        assert testing.node_parts(abs(x)) == (17, x)

    def test_and_or_flatten_nodes_of_their_own_kind(self, xyz):
        x, y, z = xyz
        op, args = testing.node_parts((x & y) & z)
        assert op == 25 and args == [x, y, z]
        op, args = testing.node_parts(x | (y | z))
        assert op == 26 and args == [x, y, z]


class TestInPlace:
    def test_in_place_addition_amends_the_expression_seen_under_every_name(self, xyz):
        x, y, _ = xyz
        e = x + 1
        alias = e
        e += y
        assert e is alias
        assert testing.expr_parts(alias)[1] == {x: 1.0, y: 1.0}
        e -= 2 * x * y
        assert testing.expr_parts(alias)[2] == {(x, y): -2.0}
        f = e
        e = e + x
        assert e is not f and testing.expr_parts(f)[1] == {x: 1.0, y: 1.0}

    def test_in_place_scaling_of_expressions(self, xyz):
        x, y, _ = xyz
        e = 2 * x + y * y + 1
        alias = e
        e *= 3
        assert e is alias and testing.expr_parts(e)[:3] == (3.0, {x: 6.0}, {(y, y): 3.0})
        e /= 6
        assert e is alias and testing.expr_parts(e)[:3] == (0.5, {x: 1.0}, {(y, y): 0.5})
        e *= 0
        assert e == 0.0 and isinstance(e, float)
        assert testing.expr_parts(alias)[1] == {x: 1.0}
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            alias /= 0

    def test_neutral_numbers_return_the_left_operand(self, xyz):
        x, y, _ = xyz
        for obj in (x, 2 * x, x * y):
            o = obj
            o += 0
            assert o is obj
            o *= 1
            assert o is obj
            o /= 1
            assert o is obj
            o **= 1
            assert o is obj
        with pytest.raises(kelvo.ModelError, match="^Division by zero$"):
            t = 2 * x
            t /= 0

    def test_power_in_place_never_amends_an_expression(self, xyz):
        x, y, _ = xyz
        e = x + y
        alias = e
        e **= 1
        assert e is not alias and testing.expr_parts(e)[1] == {x: 1.0, y: 1.0}
        e **= 2
        assert testing.expr_parts(alias)[2] == {}

    def test_in_place_on_terms_builds_new_objects(self, xyz):
        x, y, _ = xyz
        t = 2 * x
        original = t
        t += y
        assert kind(t) == "expr" and testing.term_parts(original) == (2.0, x)

    def test_nonlinear_right_operand_leaves_the_expression_alone(self, xyz):
        x, y, _ = xyz
        e = x + y
        alias = e
        e += kelvo.sin(x)
        assert kind(e) == "nl" and testing.expr_parts(alias)[1] == {x: 1.0, y: 1.0}

    def test_sum_node_grows_in_place_and_keeps_one_linear_element_last(self, xyz):
        x, y, z = xyz
        n = x * y * z + x
        op, args = testing.node_parts(n)
        assert op == 0 and kind(args[0]) == "nl" and args[1] is x
        alias = n
        n += y
        assert n is alias
        op, args = testing.node_parts(n)
        assert len(args) == 2 and kind(args[1]) == "expr"
        assert testing.expr_parts(args[1])[1] == {x: 1.0, y: 1.0}
        n += kelvo.cos(z)
        op, args = testing.node_parts(n)
        assert len(args) == 3 and kind(args[1]) == "nl" and kind(args[2]) == "expr"
        n -= x
        op, args = testing.node_parts(n)
        assert testing.expr_parts(args[-1])[1] == {y: 1.0}

    def test_sum_nodes_merge_their_linear_elements(self, xyz):
        x, y, z = xyz
        a = kelvo.sin(x) + 2 * x
        b = kelvo.cos(y) + 3 * x + 1
        s = a + b
        op, args = testing.node_parts(s)
        assert op == 0 and len(args) == 3
        assert testing.expr_parts(args[-1])[:2] == (1.0, {x: 5.0})
        # a was not changed by the plain operator
        assert len(testing.node_parts(a)[1]) == 2
        point = {x: 0.3, y: 0.8, z: 0.0}
        assert value(s, point) == pytest.approx(value(a, point) + value(b, point))

    def test_an_element_shared_with_the_user_is_not_amended(self, xyz):
        x, y, _ = xyz
        e = x + 1
        n = kelvo.sin(x) + e
        n += y
        assert testing.expr_parts(e)[1] == {x: 1.0}

    def test_logical_in_place_appends_to_its_own_node(self, xyz):
        x, y, z = xyz
        n = x & y
        alias = n
        n &= z
        assert n is alias and testing.node_parts(n)[1] == [x, y, z]
        m = x | y
        m &= z
        assert testing.node_parts(m)[0] == 25


class TestNonlinearSubtraction:
    def test_minus_node_unless_the_left_is_a_sum(self, xyz):
        x, y, z = xyz
        d = kelvo.sin(x) - kelvo.sin(y)
        assert testing.node_parts(d)[0] == 1
        s = (kelvo.sin(x) + y) - kelvo.sin(z)
        op, args = testing.node_parts(s)
        assert op == 0 and testing.node_parts(args[1])[0] == 2
        assert kind(0 - kelvo.sin(x)) == "nl" and testing.node_parts(0 - kelvo.sin(x))[0] == 2


class TestArrays:
    def test_array_operands_are_handed_to_numpy_element_by_element(self, xyz):
        x, y, _ = xyz
        a = numpy.array([1.0, 2.0])
        point = {x: 0.5, y: 3.0}
        for f, expected in ((operator.add, [1.5, 2.5]), (operator.sub, [-0.5, -1.5]), (operator.mul, [0.5, 1.0]),
                            (operator.truediv, [0.5, 0.25])):
            r = f(x, a)
            assert isinstance(r, numpy.ndarray) and r.shape == (2,)
            assert [value(v, point) for v in r] == pytest.approx(expected)
        r = numpy.array([x, y], dtype=object) * numpy.array([y, x], dtype=object)
        assert [kind(v) for v in r] == ["quad", "quad"]
        e = x + 1
        alias = e
        e += a  # never in place with an array
        assert isinstance(e, numpy.ndarray) and testing.expr_parts(alias)[1] == {x: 1.0}

    def test_numpy_scalars_on_either_side(self, xyz):
        x, _, _ = xyz
        assert testing.term_parts(numpy.float64(2) * x) == (2.0, x)
        assert testing.term_parts(x * numpy.int64(3)) == (3.0, x)
        assert testing.expr_parts(numpy.float32(2) + x)[:2] == (2.0, {x: 1.0})


def test_quadratic_over_the_same_quadratic_is_the_ratio_of_coefficients(xyz):
    x, y, _ = xyz
    assert (6 * x * y) / (3 * y * x) == 2.0
    with pytest.raises(kelvo.ModelError, match="^Division by zero of a bilinear term$"):
        (x * y) / (0 * (x * y))


def test_an_expression_added_to_itself_in_place(xyz):
    x, y, _ = xyz
    e = 2 * x + y * y + 1
    e += e
    assert testing.expr_parts(e)[:3] == (2.0, {x: 4.0}, {(y, y): 2.0})
    before = sys.getrefcount(x)
    e -= e
    assert testing.expr_parts(e)[:3] == (0.0, {}, {})
    assert sys.getrefcount(x) == before - 1


def test_terms_and_nodes_cannot_be_made_directly():
    for t in (kelvo.linterm, kelvo.quadterm, kelvo.nonlin):
        with pytest.raises(TypeError):
            t()
