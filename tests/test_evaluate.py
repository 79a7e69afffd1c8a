"""kelvo.evaluate over every algebra kind and container, the solution forms it accepts, its
errors, and extractLinear / extractQuadratic."""

import numpy as np
import pytest

import kelvo
from helpers import free_var, other_problem


@pytest.fixture
def prob3():
    p = kelvo.problem()
    x = p.addVariable(name="x", lb=-10)
    y = p.addVariable(name="y", lb=-10)
    z = p.addVariable(name="z", lb=-10)
    return p, x, y, z


def nested(levels, leaf):
    for _ in range(levels):
        leaf = [leaf]
    return leaf


def test_solution_forms_and_containers(prob3):
    p, x, y, z = prob3
    assert kelvo.evaluate(2 * x + 1, solution={x: 3}) == 7.0
    assert kelvo.evaluate(x, y, solution={x: 1, y: 2}) == (1.0, 2.0)
    result = kelvo.evaluate([x, (y, x)], solution={x: 1, y: 2})
    assert result == [1.0, (2.0, 1.0)] and isinstance(result[1], tuple)
    # Linked variables are also found by their column, in a dictionary, a list or an array.
    assert kelvo.evaluate(x + 2 * y, solution={0: 5.0, 1: 1}) == 7.0
    assert kelvo.evaluate(x * y + z, solution=[2, 3, 4]) == 10.0
    assert kelvo.evaluate(x - z, solution=np.array([1.0, 0.0, 5.0])) == -4.0
    assert kelvo.evaluate(x, solution=[1.0, 2.0, 3.0], problem=p) == 1.0
    u, v = free_var(), free_var()
    assert kelvo.evaluate(3 * u * v - u, solution={u: 2, v: 0.5}) == pytest.approx(1.0)
    # Dictionaries keep their keys, NumPy arrays their shape, other sequences become lists.
    sol = {x: 1.0, y: 2.0}
    assert kelvo.evaluate({"a": x, 7: [y]}, solution=sol) == {"a": 1.0, 7: [2.0]}
    out = kelvo.evaluate(np.array([[x, 2 * y], [x + y, 0]], dtype=object), solution=sol)
    assert out.dtype == np.float64 and out.tolist() == [[1.0, 4.0], [3.0, 0.0]]
    assert kelvo.evaluate(range(3), solution={}) == [0.0, 1.0, 2.0]
    assert kelvo.evaluate(3, np.float32(1.5), solution={}) == (3.0, 1.5)
    assert kelvo.evaluate(nested(60, x), solution={x: 1}) is not None


def deleted(p, v):
    p.delVariable(v)
    return v


def cleared_while_read():
    """A solution list that its first item empties while it converts."""
    items = []

    class Clearing:
        def __float__(self):
            items.clear()
            return 1.0

    items.extend([Clearing(), object()] + [float(i) for i in range(100)])
    return items


REFUSALS = [
    (lambda p, x, y, z: kelvo.evaluate(x + y, solution={0: 5.0}), kelvo.ModelError, "^Variable has no value$"),
    # Both variables hash to their column 0: the lookup must still tell them apart.
    (lambda p, x, y, z: kelvo.evaluate(x, solution={other_problem().getVariable(0): 7.0}), kelvo.ModelError,
     "^Variable has no value$"),
    (lambda p, x, y, z: kelvo.evaluate(z, solution=[1.0]), kelvo.ModelError,
     "^Variable cannot be identified within expression$"),
    (lambda p, x, y, z: kelvo.evaluate(free_var(), solution=[1.0]), kelvo.InterfaceError, 'Argument "problem" is necessary'),
    (lambda p, x, y, z: kelvo.evaluate(free_var(), solution=[1.0, 2.0, 3.0], problem=p), kelvo.ModelError,
     "^Variable in kelvo.evaluate does not belong to this problem$"),
    (lambda p, x, y, z: kelvo.evaluate(other_problem().getVariable(0), solution=[1.0], problem=p), kelvo.ModelError,
     "^Variable in kelvo.evaluate is from a different problem$"),
    (lambda p, x, y, z: kelvo.evaluate(deleted(p, x), solution=[1.0, 2.0]), kelvo.ModelError,
     "has been deleted from the problem"),
    (lambda p, x, y, z: kelvo.evaluate(x, solution=cleared_while_read()), kelvo.InterfaceError,
     "^Mismatched lengths in arguments: expected 102, found 0$"),
    (lambda p, x, y, z: kelvo.evaluate(x), kelvo.InterfaceError, 'requires at least one of the two arguments "solution"'),
    (lambda p, x, y, z: kelvo.evaluate(x, problem=3), kelvo.InterfaceError, "must be an kelvo.problem object"),
    (lambda p, x, y, z: kelvo.evaluate(x, solution=(1.0,)), kelvo.InterfaceError,
     "must be a dictionary, a list, or a one-dimensional"),
    (lambda p, x, y, z: kelvo.evaluate(x, solution={}, bogus=1), TypeError, None),
    (lambda p, x, y, z: kelvo.evaluate([x, b"x"], solution={x: 1}), kelvo.InterfaceError, "cannot contain strings"),
    (lambda p, x, y, z: kelvo.evaluate(object(), solution={}), RuntimeError, "^Cannot evaluate object$"),
    (lambda p, x, y, z: kelvo.evaluate(np.array([1.0, 2.0]), solution={}), kelvo.InterfaceError,
     "NumPy arrays must be of dtype"),
    (lambda p, x, y, z: kelvo.evaluate(nested(70, x), solution={x: 1}), RuntimeError, "exceeded recursion depth limit"),
    (lambda p, x, y, z: kelvo.evaluate(x / (y - z), solution={x: 1, y: 2, z: 2}), ZeroDivisionError,
     "Division by zero in evaluation"),
    (lambda p, x, y, z: kelvo.evaluate(kelvo.user(lambda a: 1 / 0, x), solution={x: 1}), ZeroDivisionError, None),
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_refusals(prob3, call, error, message):
    with pytest.raises(error, match=message):
        call(*prob3)
    assert kelvo.getConstraintOperatorsEnabled()


class TestNonlinearValues:
    def test_logical_nodes_use_the_tolerance(self, prob3):
        _, x, y, _ = prob3
        assert kelvo.evaluate(kelvo.And(x, y), solution={x: 1, y: 1}) == 1.0
        assert kelvo.evaluate(kelvo.And(x, y), solution={x: 1, y: 1e-7}) == 0.0
        assert kelvo.evaluate(kelvo.Or(x, y), solution={x: 0, y: 1 - 1e-7}) == 1.0
        assert kelvo.evaluate(kelvo.Or(x, y), solution={x: 0, y: 0.5}) == 0.0

    def test_piecewise_linear(self, prob3):
        _, x, _, _ = prob3
        f = kelvo.pwl({(0, 1): x, (1, 2): 2 * x - 1})
        # Whatever breakpoints the constructor stores, the function is x on [0,1], 2x-1 on [1,2].
        assert kelvo.evaluate(f, solution={x: 0.5}) == pytest.approx(0.5)
        assert kelvo.evaluate(f, solution={x: 1.5}) == pytest.approx(2.0)
        assert kelvo.evaluate(f, solution={x: -1}) == pytest.approx(-1.0)
        assert kelvo.evaluate(f, solution={x: 3}) == pytest.approx(5.0)

    def test_user_function_gets_values_and_first_of_tuple(self, prob3):
        _, x, y, _ = prob3
        seen = []

        def f(a, b):
            seen.append((a, b))
            return (a * b, "derivatives ignored")

        assert kelvo.evaluate(kelvo.user(f, x, y + 1), solution={x: 2, y: 3}) == 8.0
        assert seen == [(2.0, 4.0)]


class TestExtraction:
    def test_zero_coefficient_quadratic_terms_keep_their_entry(self, prob3):
        _, x, y, _ = prob3
        for term in (0 * (x * y), x * y - x * y, (y * x) * 0):
            assert type(term) is kelvo.quadterm
            assert term.extractQuadratic() == ([x], [y], [0.0])
            assert term.extractLinear() == ([], [])
        # A nonlinear sum keeps its zero term as a quadratic leaf.
        node = kelvo.sin(x) + x * y - x * y
        assert node.extractQuadratic() == ([x], [y], [0.0])
        # Expressions drop entries that sum to zero, and so report none.
        assert (x * y + x - x * y).extractQuadratic() == ([], [], [])

    def test_expression_lists_are_sorted_by_variable(self, prob3):
        _, x, y, z = prob3
        lin = 3 * z + 2 * x + 5 - y
        vars_, coefs = lin.extractLinear()
        assert vars_ == [x, y, z] and coefs == [2.0, -1.0, 3.0]
        quad = 4 * z * y + x * x + 2 * y * x + z
        first, second, c = quad.extractQuadratic()
        assert first == [x, x, y] and second == [x, y, z] and c == [1.0, 2.0, 4.0]
        assert (x + 1).extractQuadratic() == ([], [], [])

    def test_nonlinear_linear_part(self, prob3):
        _, x, y, _ = prob3
        assert (kelvo.sin(x) + 2 * x).extractLinear() == ([x], [2.0])
        assert (kelvo.sin(x) * x).extractLinear() == ([], [])
        assert (kelvo.sin(x) - 2 * x * y).extractQuadratic() == ([x], [y], [-2.0])
        assert (kelvo.exp(y) - (3 * x + y)).extractLinear() == ([x, y], [-3.0, -1.0])
        assert ((kelvo.sin(x) + 4 * y) / 2).extractLinear() == ([y], [2.0])
        # An entry that sums to zero disappears.
        assert (kelvo.exp(y) + x - x).extractLinear() == ([], [])
        node = kelvo.cos(y) + x - kelvo.sin(y) * 0 + x
        vars_, coefs = node.extractLinear()
        assert vars_ == [x] and coefs == [2.0]
