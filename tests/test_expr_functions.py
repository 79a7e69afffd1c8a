"""Module functions of the algebra: Sum and Prod, the elementary functions, max and min, And and
Or, pwl and user."""

import math

import numpy
import pytest

import kelvo
from helpers import kind, testing, value


@pytest.fixture
def xyz():
    return testing.unlinked_var(), testing.unlinked_var(), testing.unlinked_var()


class TestSum:
    def test_empty_single_and_constant_sums(self, xyz):
        x, _, _ = xyz
        e = kelvo.Sum()
        assert kind(e) == "expr" and testing.expr_parts(e)[:3] == (0.0, {}, {})
        assert kind(kelvo.Sum([None, None])) == "expr"
        assert kelvo.Sum([x]) is x
        assert kelvo.Sum(x) is x
        three = kelvo.Sum([1, 2])
        assert kind(three) == "expr" and testing.expr_parts(three)[0] == 3.0

    def test_collections_of_every_shape_give_the_same_sum(self, xyz):
        x, y, z = xyz
        terms = [2 * x, y, None, 3, x * z, 0, -x]
        expected = (3.0, {x: 1.0, y: 1.0}, {(x, z): 1.0})
        for arg in (terms, tuple(terms), iter(terms), (t for t in terms), dict(enumerate(terms)),
                    numpy.array(terms, dtype=object)):
            assert testing.expr_parts(kelvo.Sum(arg))[:3] == expected
        assert testing.expr_parts(kelvo.Sum(*terms))[:3] == expected

    def test_numeric_arrays_sum_as_floats(self):
        assert testing.expr_parts(kelvo.Sum(numpy.array([1.5, 2.5])))[0] == 4.0
        assert testing.expr_parts(kelvo.Sum(numpy.array([1, 2], dtype=numpy.int32)))[0] == 3.0
        assert testing.expr_parts(kelvo.Sum(numpy.array([True, True])))[0] == 2.0
        with pytest.raises(kelvo.ModelError, match="^Incorrect objects used in Sum, Dot, Prod, or aggregate functions$"):
            kelvo.Sum(numpy.array([1, 2], dtype=numpy.uint16))

    def test_sum_does_not_alter_the_items(self, xyz):
        x, y, _ = xyz
        e = x + 1
        n = kelvo.sin(x) + y
        s = kelvo.Sum([e, y, 2 * x])
        assert testing.expr_parts(e)[1] == {x: 1.0}
        assert testing.expr_parts(s)[:2] == (1.0, {x: 3.0, y: 1.0})
        s = kelvo.Sum([n, y, x])
        assert len(testing.node_parts(n)[1]) == 2 and testing.node_parts(n)[1][1] is y
        assert value(s, {x: 0.2, y: 0.5}) == pytest.approx(math.sin(0.2) + 1.2)

    def test_sum_of_many_mixed_kinds_matches_the_plain_operators(self, xyz):
        x, y, z = xyz
        items = []
        for i in range(300):
            items += [i * x, y, 0.5 * z * x, 1.0, (x + i * z)]
        items.insert(150, kelvo.cos(y))  # a nonlinear item in the middle switches paths
        s = kelvo.Sum(items)
        total = 0
        for t in items:
            total = total + t
        point = {x: 0.3, y: -0.7, z: 1.1}
        assert kind(s) == "nl"
        assert value(s, point) == pytest.approx(value(total, point))

    def test_sum_refuses_mixed_problems_and_bad_items(self, xyz):
        x, _, _ = xyz
        p = testing.problem()
        (u,), _, _ = testing.link_objects(p, 1)
        with pytest.raises(kelvo.ModelError, match="Linked variables and unlinked variables"):
            kelvo.Sum([2 * x, x, u])
        with pytest.raises(kelvo.ModelError, match="Invalid object in operation"):
            kelvo.Sum([x, "a"])


class TestProd:
    def test_products(self, xyz):
        x, y, z = xyz
        assert kelvo.Prod([]) == 0.0
        assert kelvo.Prod([x]) is x
        assert testing.term_parts(kelvo.Prod([2, x, 3])) == (6.0, x)
        assert testing.term_parts(kelvo.Prod(x, y)) == (1.0, x, y)
        assert kind(kelvo.Prod([x, y, z])) == "nl"
        assert kelvo.Prod([2.0, 4.0]) == 8.0
        e = x + 1
        p = kelvo.Prod([e, 2])
        assert testing.expr_parts(e)[:2] == (1.0, {x: 1.0})
        assert testing.expr_parts(p)[:2] == (2.0, {x: 2.0})


class TestElementaryFunctions:
    NAMES = ["sin", "cos", "tan", "asin", "acos", "atan", "exp", "log", "log10", "abs", "sqrt", "sign", "erf",
             "erfc"]
    CODES = dict(zip(NAMES, [9, 10, 11, 12, 13, 14, 6, 7, 8, 17, 21, 18, 19, 20]))

    @pytest.mark.parametrize("name", NAMES)
    def test_numbers_give_floats_and_expressions_give_nodes(self, name, xyz):
        x, _, _ = xyz
        f = getattr(kelvo, name)
        ref = {"abs": abs, "sign": lambda v: float((v > 0) - (v < 0))}.get(name) or getattr(math, name)
        r = f(0.5)
        assert isinstance(r, float) and r == pytest.approx(ref(0.5))
        assert testing.node_parts(f(x)) == (self.CODES[name], x)
        arr = f(numpy.array([0.25, 0.5]))
        assert isinstance(arr, numpy.ndarray) and arr.tolist() == pytest.approx([ref(0.25), ref(0.5)])
        with pytest.raises(kelvo.ModelError, match="^Could not create a unary nonlinear expression"):
            f([x, x])

    def test_sign_and_log10_of_numbers(self):
        assert (kelvo.sign(-3), kelvo.sign(0), kelvo.sign(2)) == (-1.0, 0.0, 1.0)
        assert kelvo.log10(1000.0) == pytest.approx(3.0)

    def test_object_arrays_map_each_element(self, xyz):
        x, _, _ = xyz
        out = kelvo.exp(numpy.array([x, 0.0], dtype=object))
        assert testing.node_parts(out[0]) == (6, x) and out[1] == 1.0

    def test_invalid_operand(self):
        with pytest.raises(kelvo.ModelError, match="^Invalid object in unary nonlinear expression$"):
            kelvo.sin("x")


class TestMaxMin:
    def test_argument_forms(self, xyz):
        x, y, z = xyz
        assert kelvo.max(x) is x
        assert kelvo.min([y]) is y
        assert testing.node_parts(kelvo.max(x, y)) == (15, (x, y))
        assert testing.node_parts(kelvo.min([x, y, 2])) == (16, [x, y, 2])
        assert testing.node_parts(kelvo.max((x, y)))[1] == [x, y]
        op, args = testing.node_parts(kelvo.max(numpy.array([x, y], dtype=object)))
        assert op == 15 and args == [x, y]
        assert kelvo.max(numpy.array([4.0])) == 4.0 and type(kelvo.max(numpy.array([4.0]))) is float

    def test_errors(self, xyz):
        x, y, _ = xyz
        with pytest.raises(kelvo.ModelError, match="^The function kelvo.max must have at least one argument$"):
            kelvo.max()
        with pytest.raises(kelvo.ModelError, match="^The function kelvo.min must have at least one argument$"):
            kelvo.min([])
        with pytest.raises(kelvo.ModelError, match="^Only a 1-dimensional array"):
            kelvo.max(numpy.array([[x, y], [y, x]], dtype=object))
        with pytest.raises(kelvo.ModelError, match="^Incorrect argument for expression$"):
            kelvo.max("a")
        with pytest.raises(kelvo.ModelError, match="^Invalid object in n-ary nonlinear expression$"):
            kelvo.max(x, [y])


class TestLogical:
    def test_and_or(self, xyz):
        x, y, z = xyz
        assert kelvo.And() is True and kelvo.Or() is True
        assert testing.node_parts(kelvo.And(x, y, z)) == (25, [x, y, z])
        assert testing.node_parts(kelvo.Or([x, y]))[0] == 26
        inner = x & y
        n = kelvo.And(inner, z)
        assert testing.node_parts(n)[1] == [x, y, z]
        assert testing.node_parts(inner)[1] == [x, y]  # the user's node is copied, not extended


class TestUser:
    def test_derivative_modes(self, xyz):
        x, y, _ = xyz
        def f(a, b):
            return a * b
        assert testing.node_parts(kelvo.user(f, x, y)) == (27, (f, x, y))
        for mode, code in (("ondemand", 29), ("always", 28), ("never", 27), ("", 27), (True, 28), (0, 27)):
            assert testing.node_parts(kelvo.user(f, x, derivatives=mode))[0] == code

    def test_errors(self, xyz):
        x, _, _ = xyz
        with pytest.raises(kelvo.InterfaceError, match="^Unknown value for argument derivatives: sometimes$"):
            kelvo.user(abs, x, derivatives="sometimes")
        with pytest.raises(kelvo.InterfaceError, match="^kelvo.user expects a function and at least one"):
            kelvo.user(abs)
        with pytest.raises(kelvo.InterfaceError, match="^Invalid function passed to kelvo.user$"):
            kelvo.user(3, x)


class TestPwl:
    def test_joined_intervals_share_their_end_point(self, xyz):
        x, _, _ = xyz
        n = kelvo.pwl({(0, 1): x, (1, 2): 2 * x - 1})
        assert testing.node_parts(n) == (22, [x, 0, 0, 1, 1, 2, 3])

    def test_gaps_and_jumps_repeat_the_end_points(self, xyz):
        x, _, _ = xyz
        assert testing.node_parts(kelvo.pwl({(0, 1): x, (2, 3): x}))[1] == [x, 0, 0, 1, 1, 2, 2, 3, 3]
        # A jump: same x twice.
        assert testing.node_parts(kelvo.pwl({(1, 2): 5, (0, 1): x}))[1] == [x, 0, 0, 1, 1, 1, 5, 2, 5]

    def test_constant_pieces_need_the_variable_given_separately(self, xyz):
        x, _, _ = xyz
        with pytest.raises(kelvo.ModelError, match="^No variable specified for this piecewise linear function"):
            kelvo.pwl({(0, 1): 1, (1, 2): 2})
        assert testing.node_parts(kelvo.pwl({(0, 1): 1, (1, 2): 2, None: x}))[1] == [x, 0, 1, 1, 1, 1, 2, 2, 2]

    def test_unbounded_ends_are_brought_in(self, xyz):
        x, _, _ = xyz
        args = testing.node_parts(kelvo.pwl({(-1e20, 0): -x, (0, 1e20): x}))[1]
        assert args == [x, pytest.approx(-0.88), pytest.approx(0.88), 0, 0, pytest.approx(0.88), pytest.approx(0.88)]

    def test_refused_dictionaries(self, xyz):
        x, y, _ = xyz
        with pytest.raises(kelvo.ModelError, match="^Interval \\[0.0,2.0\\] overlaps with \\[1.0,3.0\\]"):
            kelvo.pwl({(0, 2): x, (1, 3): x})
        with pytest.raises(kelvo.ModelError, match="^Function kelvo.pwl only accepts a dictionary"):
            kelvo.pwl([x])
        with pytest.raises(kelvo.ModelError, match="must be two-tuples; <1> is not"):
            kelvo.pwl({1: x})
        with pytest.raises(kelvo.ModelError, match="such that a<b; <\\(2, 1\\)> is not"):
            kelvo.pwl({(2, 1): x})
        with pytest.raises(kelvo.ModelError, match="it must contain one variable only"):
            kelvo.pwl({(0, 1): x + y})
        with pytest.raises(kelvo.ModelError, match="it must be a constant or a linear function"):
            kelvo.pwl({(0, 1): x * y})
        with pytest.raises(kelvo.ModelError, match="^Expression in \\[1,2\\] interval contains variable"):
            kelvo.pwl({(0, 1): x, (1, 2): y})
        with pytest.raises(kelvo.ModelError, match="must have an kelvo.var\\(\\) object as Obj"):
            kelvo.pwl({(0, 1): 1, None: 2 * x})
