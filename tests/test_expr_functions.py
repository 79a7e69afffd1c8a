"""Module functions of the algebra: Sum and Prod, the elementary functions, max and min, And and
Or, pwl and user."""

import math

import numpy
import pytest

import kelvo
from helpers import kind, other_problem, testing, value


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


def test_products(xyz):
    x, y, z = xyz
    assert kelvo.Prod([]) == 0.0
    assert kelvo.Prod([x]) is x
    assert (kind(kelvo.Prod([2, x, 3])), str(kelvo.Prod([2, x, 3]))) == ("lin", "6 * x")
    assert (kind(kelvo.Prod(x, y)), str(kelvo.Prod(x, y))) == ("quad", "x * y")
    assert kind(kelvo.Prod([x, y, z])) == "nl"
    assert kelvo.Prod([2.0, 4.0]) == 8.0
    e = x + 1
    assert (str(kelvo.Prod([e, 2])), str(e)) == ("2 + 2 * x", "1 + x")


NAMES = ["sin", "cos", "tan", "asin", "acos", "atan", "exp", "log", "log10", "abs", "sqrt", "sign", "erf", "erfc"]


@pytest.mark.parametrize("name", NAMES)
def test_numbers_give_floats_and_expressions_give_nodes(name, xyz):
    x, _, _ = xyz
    f = getattr(kelvo, name)
    ref = {"abs": abs, "sign": lambda v: float((v > 0) - (v < 0))}.get(name) or getattr(math, name)
    for v in (-0.5, 0.0, 0.5) if name == "sign" else (0.5,):
        assert isinstance(f(v), float) and f(v) == pytest.approx(ref(v))
    assert (kind(f(x)), str(f(x))) == ("nl", f"{name}(x)")
    arr = f(numpy.array([0.25, 0.5]))
    assert isinstance(arr, numpy.ndarray) and arr.tolist() == pytest.approx([ref(0.25), ref(0.5)])
    out = f(numpy.array([x, 0.5], dtype=object))  # object arrays map each element
    assert str(out[0]) == f"{name}(x)" and out[1] == pytest.approx(ref(0.5))
    with pytest.raises(kelvo.ModelError, match="^Could not create a unary nonlinear expression"):
        f([x, x])


def test_max_min_and_or_and_user_nodes(xyz):
    x, y, z = xyz
    assert kelvo.max(x) is x
    assert kelvo.min([y]) is y
    assert str(kelvo.min([x, y, 2])) == "min(x, y, 2)"
    for arg in ((x, y), ([x, y],), ((x, y),), (numpy.array([x, y], dtype=object),)):
        assert str(kelvo.max(*arg)) == "max(x, y)"
    assert kelvo.max(numpy.array([4.0])) == 4.0 and type(kelvo.max(numpy.array([4.0]))) is float
    assert kelvo.And() is True and kelvo.Or() is True
    assert (str(kelvo.And(x, y, z)), str(kelvo.Or([x, y]))) == ("and(x, y, z)", "or(x, y)")
    inner = x & y
    n = kelvo.And(inner, z)
    assert (str(n), str(inner)) == ("and(x, y, z)", "and(x, y)")  # the user's node is copied
    assert testing.node_parts(kelvo.user(min, x, y)) == (27, (min, x, y))
    for mode, code in (("ondemand", 29), ("always", 28), ("never", 27), ("", 27), (True, 28), (0, 27)):
        assert testing.node_parts(kelvo.user(min, x, derivatives=mode))[0] == code


@pytest.mark.parametrize("pieces,text", [
    # Joined intervals share their end point.
    ({(0, 1): "x", (1, 2): "2x-1"}, "pwl(x, 0.0, 0.0, 1.0, 1.0, 2.0, 3.0)"),
    # Gaps and jumps repeat the end points.
    ({(0, 1): "x", (2, 3): "x"}, "pwl(x, 0.0, 0.0, 1.0, 1.0, 2.0, 2.0, 3.0, 3.0)"),
    ({(1, 2): 5, (0, 1): "x"}, "pwl(x, 0.0, 0.0, 1.0, 1.0, 1.0, 5.0, 2.0, 5.0)"),
    # Constant pieces need the variable given separately.
    ({(0, 1): 1, (1, 2): 2, None: "x"}, "pwl(x, 0.0, 1.0, 1.0, 1.0, 1.0, 2.0, 2.0, 2.0)"),
    # Unbounded ends are brought in.
    ({(-1e20, 0): "-x", (0, 1e20): "x"}, "pwl(x, -0.88, 0.88, 0.0, 0.0, 0.88, 0.88)"),
])
def test_pwl_breakpoints(xyz, pieces, text):
    x, _, _ = xyz
    forms = {"x": x, "-x": -x, "2x-1": 2 * x - 1}
    assert str(kelvo.pwl({k: forms.get(v, v) for k, v in pieces.items()})) == text


REFUSALS = [
    (lambda x, y: kelvo.Sum(numpy.array([1, 2], dtype=numpy.uint16)), kelvo.ModelError,
     "^Incorrect objects used in Sum, Dot, Prod, or aggregate functions$"),
    (lambda x, y: kelvo.Sum([2 * x, x, other_problem().getVariable(0)]), kelvo.ModelError, "Linked variables and unlinked variables"),
    (lambda x, y: kelvo.Sum([x, "a"]), kelvo.ModelError, "Invalid object in operation"),
    (lambda x, y: kelvo.sin("x"), kelvo.ModelError, "^Invalid object in unary nonlinear expression$"),
    (lambda x, y: kelvo.max(), kelvo.ModelError, "^The function kelvo.max must have at least one argument$"),
    (lambda x, y: kelvo.max(numpy.array([[x, y], [y, x]], dtype=object)), kelvo.ModelError, "^Only a 1-dimensional array"),
    (lambda x, y: kelvo.max("a"), kelvo.ModelError, "^Incorrect argument for expression$"),
    (lambda x, y: kelvo.max(x, [y]), kelvo.ModelError, "^Invalid object in n-ary nonlinear expression$"),
    (lambda x, y: kelvo.user(abs, x, derivatives="sometimes"), kelvo.InterfaceError,
     "^Unknown value for argument derivatives: sometimes$"),
    (lambda x, y: kelvo.user(abs), kelvo.InterfaceError, "^kelvo.user expects a function and at least one"),
    (lambda x, y: kelvo.user(3, x), kelvo.InterfaceError, "^Invalid function passed to kelvo.user$"),
    (lambda x, y: kelvo.pwl({(0, 1): 1, (1, 2): 2}), kelvo.ModelError,
     "^No variable specified for this piecewise linear function"),
    (lambda x, y: kelvo.pwl({(0, 2): x, (1, 3): x}), kelvo.ModelError, "^Interval \\[0.0,2.0\\] overlaps with \\[1.0,3.0\\]"),
    (lambda x, y: kelvo.pwl([x]), kelvo.ModelError, "^Function kelvo.pwl only accepts a dictionary"),
    (lambda x, y: kelvo.pwl({1: x}), kelvo.ModelError, "must be two-tuples; <1> is not"),
    (lambda x, y: kelvo.pwl({(2, 1): x}), kelvo.ModelError, "such that a<b; <\\(2, 1\\)> is not"),
    (lambda x, y: kelvo.pwl({(0, 1): x + y}), kelvo.ModelError, "it must contain one variable only"),
    (lambda x, y: kelvo.pwl({(0, 1): x * y}), kelvo.ModelError, "it must be a constant or a linear function"),
    (lambda x, y: kelvo.pwl({(0, 1): x, (1, 2): y}), kelvo.ModelError, "^Expression in \\[1,2\\] interval contains variable"),
    (lambda x, y: kelvo.pwl({(0, 1): 1, None: 2 * x}), kelvo.ModelError, "must have an kelvo.var\\(\\) object as Obj"),
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals(xyz, call, error, message):
    x, y, _ = xyz
    with pytest.raises(error, match=message):
        call(x, y)
