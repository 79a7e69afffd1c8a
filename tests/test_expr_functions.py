"""Module functions of the algebra: Sum and Prod, the elementary functions, max and min, And and
Or, pwl and user."""

import math

import numpy
import pytest

import kelvo
from helpers import free_var, kind, testing, value


@pytest.fixture
def xyz():
    return free_var(name="x"), free_var(name="y"), free_var(name="z")


class TestSum:
    def test_empty_single_and_constant_sums(self, xyz):
        x, _, _ = xyz
        assert kind(kelvo.Sum()) == kind(kelvo.Sum([None, None])) == "expr" and str(kelvo.Sum()) == "0"
        assert kelvo.Sum([x]) is x and kelvo.Sum(x) is x
        assert kind(kelvo.Sum([1, 2])) == "expr" and str(kelvo.Sum([1, 2])) == "3"

    def test_collections_of_every_shape_give_the_same_sum(self, xyz):
        x, y, z = xyz
        terms = [2 * x, y, None, 3, x * z, 0, -x]
        for arg in (terms, tuple(terms), iter(terms), (t for t in terms), dict(enumerate(terms)),
                    numpy.array(terms, dtype=object)):
            assert str(kelvo.Sum(arg)) == "3 + x + y + x * z"
        assert str(kelvo.Sum(*terms)) == "3 + x + y + x * z"

    def test_numeric_arrays_sum_as_floats(self):
        assert str(kelvo.Sum(numpy.array([1.5, 2.25]))) == "3.75"
        assert str(kelvo.Sum(numpy.array([1, 2], dtype=numpy.int32))) == "3"
        assert str(kelvo.Sum(numpy.array([True, True]))) == "2"
        with pytest.raises(kelvo.ModelError, match="^Incorrect objects used in Sum, Dot, Prod, or aggregate functions$"):
            kelvo.Sum(numpy.array([1, 2], dtype=numpy.uint16))

    def test_sum_does_not_alter_the_items(self, xyz):
        x, y, _ = xyz
        e = x + 1
        n = kelvo.sin(x) + y
        s = kelvo.Sum([e, y, 2 * x])
        assert (str(e), str(s)) == ("1 + x", "1 + 3 * x + y")
        s = kelvo.Sum([n, y, x])
        assert str(n) == "sin(x) + y"
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
        p = kelvo.problem()
        u = p.addVariable()
        with pytest.raises(kelvo.ModelError, match="Linked variables and unlinked variables"):
            kelvo.Sum([2 * x, x, u])
        with pytest.raises(kelvo.ModelError, match="Invalid object in operation"):
            kelvo.Sum([x, "a"])


class TestProd:
    def test_products(self, xyz):
        x, y, z = xyz
        assert kelvo.Prod([]) == 0.0
        assert kelvo.Prod([x]) is x
        assert (kind(kelvo.Prod([2, x, 3])), str(kelvo.Prod([2, x, 3]))) == ("lin", "6 * x")
        assert (kind(kelvo.Prod(x, y)), str(kelvo.Prod(x, y))) == ("quad", "x * y")
        assert kind(kelvo.Prod([x, y, z])) == "nl"
        assert kelvo.Prod([2.0, 4.0]) == 8.0
        e = x + 1
        assert (str(kelvo.Prod([e, 2])), str(e)) == ("2 + 2 * x", "1 + x")


class TestElementaryFunctions:
    NAMES = ["sin", "cos", "tan", "asin", "acos", "atan", "exp", "log", "log10", "abs", "sqrt", "sign", "erf",
             "erfc"]

    @pytest.mark.parametrize("name", NAMES)
    def test_numbers_give_floats_and_expressions_give_nodes(self, name, xyz):
        x, _, _ = xyz
        f = getattr(kelvo, name)
        ref = {"abs": abs, "sign": lambda v: float((v > 0) - (v < 0))}.get(name) or getattr(math, name)
        r = f(0.5)
        assert isinstance(r, float) and r == pytest.approx(ref(0.5))
        assert (kind(f(x)), str(f(x))) == ("nl", f"{name}(x)")
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
        assert str(out[0]) == "exp(x)" and out[1] == 1.0

    def test_invalid_operand(self):
        with pytest.raises(kelvo.ModelError, match="^Invalid object in unary nonlinear expression$"):
            kelvo.sin("x")


class TestMaxMin:
    def test_argument_forms(self, xyz):
        x, y, z = xyz
        assert kelvo.max(x) is x
        assert kelvo.min([y]) is y
        assert str(kelvo.min([x, y, 2])) == "min(x, y, 2)"
        for arg in ((x, y), ([x, y],), ((x, y),), (numpy.array([x, y], dtype=object),)):
            assert str(kelvo.max(*arg)) == "max(x, y)"
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
        assert (str(kelvo.And(x, y, z)), str(kelvo.Or([x, y]))) == ("and(x, y, z)", "or(x, y)")
        inner = x & y
        n = kelvo.And(inner, z)
        assert (str(n), str(inner)) == ("and(x, y, z)", "and(x, y)")  # the user's node is copied


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
        assert str(n) == "pwl(x, 0.0, 0.0, 1.0, 1.0, 2.0, 3.0)"
        assert [value(n, {x: v}) for v in (0.5, 1.5)] == [0.5, 2.0]

    def test_gaps_and_jumps_repeat_the_end_points(self, xyz):
        x, _, _ = xyz
        assert str(kelvo.pwl({(0, 1): x, (2, 3): x})) == "pwl(x, 0.0, 0.0, 1.0, 1.0, 2.0, 2.0, 3.0, 3.0)"
        # A jump: same x twice.
        assert str(kelvo.pwl({(1, 2): 5, (0, 1): x})) == "pwl(x, 0.0, 0.0, 1.0, 1.0, 1.0, 5.0, 2.0, 5.0)"

    def test_constant_pieces_need_the_variable_given_separately(self, xyz):
        x, _, _ = xyz
        with pytest.raises(kelvo.ModelError, match="^No variable specified for this piecewise linear function"):
            kelvo.pwl({(0, 1): 1, (1, 2): 2})
        assert str(kelvo.pwl({(0, 1): 1, (1, 2): 2, None: x})) == "pwl(x, 0.0, 1.0, 1.0, 1.0, 1.0, 2.0, 2.0, 2.0)"

    def test_unbounded_ends_are_brought_in(self, xyz):
        x, _, _ = xyz
        assert str(kelvo.pwl({(-1e20, 0): -x, (0, 1e20): x})) == "pwl(x, -0.88, 0.88, 0.0, 0.0, 0.88, 0.88)"

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
