"""Arrays of variables, expressions and constraints: NumPy's element-wise arithmetic and
comparisons apply the same algebra as the operators on single objects."""
import operator

import numpy as np
import pytest

import kelvo
from helpers import run_flat

BINARY = [operator.add, operator.sub, operator.mul, operator.truediv, operator.pow, operator.and_, operator.or_]
# A single object on the left hands the operation to the array on its right in these forms.
DELEGATED = {operator.add: lambda a, b: b + a, operator.sub: lambda a, b: -b + a, operator.mul: lambda a, b: b * a,
             operator.truediv: lambda a, b: (1.0 / b) * a, operator.and_: lambda a, b: b & a,
             operator.or_: lambda a, b: b | a}


@pytest.fixture
def arrays():
    p = kelvo.problem()
    x = p.addVariables(3)
    y = p.addVariables(2, 3)
    e = x + np.array([1.0, 0.0, -2.0])
    f = np.array([2.0, -1.0, 0.5])
    return p, x, y, e, f


def by_hand(op, a, b):
    """op applied to the elements one pair at a time, as Python objects."""
    a, b = np.broadcast_arrays(a, b)
    return [op(p, q) for p, q in zip(a.ravel().tolist(), b.ravel().tolist())]


def test_arithmetic_matches_the_scalar_algebra(arrays):
    p, x, y, e, f = arrays
    assert x.dtype == kelvo.npvar and y.shape == (2, 3) and e.dtype == kelvo.npexpr
    # Arrays with arrays, numbers, and single objects on the left.
    pairs = [(x, f), (f, x), (x, e), (e, x), (e, e), (x, x), (f, e), (y, x), (f, y), (x, 3), (2.5, e),
             (x[1], y), (e[0], f), (x[2], e)]
    for op in BINARY:
        for a, b in [(x, f), (e, f), (x, 2)] if op is operator.pow else pairs:
            r = op(a, b)
            assert r.dtype == kelvo.npexpr
            assert r.shape == np.broadcast_shapes(np.shape(a), np.shape(b))
            single = not isinstance(a, (np.ndarray, int, float))
            expected = by_hand(DELEGATED[op] if single else op, a, b)
            assert all(kelvo.is_equal(u, v) for u, v in zip(r.ravel().tolist(), expected)), (op, a, b)
    for ufunc, op in [(np.negative, operator.neg), (np.square, lambda v: v * v)]:
        for a in (x, e, y):
            r = ufunc(a)
            assert r.dtype == kelvo.npexpr
            assert all(kelvo.is_equal(u, op(v)) for u, v in zip(r.ravel().tolist(), a.ravel().tolist()))


def test_comparisons_give_object_arrays_of_constraints(arrays):
    p, x, y, e, f = arrays
    o = np.array(list(x), dtype=object)
    # A single object on the left compares with each element, for object arrays too.
    for cons, a, op, b in [(x <= f, x, operator.le, f), (f <= x, f, operator.le, x), (e == f, e, operator.eq, f),
                           (y >= e, y, operator.ge, e), (2 >= x, 2, operator.ge, x), (x[0] <= x, x[0], operator.le, x),
                           (e[1] >= o, e[1], operator.ge, o), (3 * x[2] == y, 3 * x[2], operator.eq, y),
                           # and an array on the left with a single object on the right.
                           (x <= x[0], x, operator.le, x[0]), (e >= 2 * x[1], e, operator.ge, 2 * x[1]),
                           (y == e[2], y, operator.eq, e[2])]:
        assert cons.dtype == object and cons.shape == np.broadcast_shapes(np.shape(a), np.shape(b))
        for c, d in zip(cons.ravel(), by_hand(op, a, b)):
            assert isinstance(c, kelvo.constraint)
            # The same constraint, perhaps with both sides negated.
            assert ((c.lb, c.ub) == (d.lb, d.ub) and kelvo.is_equal(c.getBody(), d.getBody())) or \
                ((-c.ub, -c.lb) == (d.lb, d.ub) and kelvo.is_equal(-c.getBody(), d.getBody())), (c, d)
    # Errors inside a loop reach the caller.
    q = kelvo.problem()
    z = q.addVariables(3)
    with pytest.raises(kelvo.ModelError, match="different problems"):
        x + z
    with pytest.raises(kelvo.ModelError, match="different problems"):
        x <= z


def test_strict_comparisons_are_refused_as_on_single_objects(arrays):
    p, x, y, e, f = arrays
    with pytest.raises(kelvo.ModelError) as single:
        x[0] < 1
    for op in (operator.lt, operator.gt, operator.ne):
        for a, b in [(x, f), (f, e), (x, 2.0), (3.0, y), (x, x[1]), (x[1], e), (e, y)]:
            with pytest.raises(kelvo.ModelError) as refused:
                op(a, b)
            assert str(refused.value) == str(single.value), (op, a, b)


def test_constraints_from_arrays_do_not_follow_later_changes(arrays):
    p, x, y, e, f = arrays
    d = kelvo.Dot(np.array([[1.0, 2.0, 0.0], [0.0, -1.0, 3.0]]), x)
    cons = d <= np.array([4.0, 5.0])
    d0 = d[0]
    d0 += x[2]
    d0 *= 3
    kelvo.Dot(np.eye(2), np.array([x[0], x[1]], dtype=object), out=d)  # adds x0 and x1
    assert kelvo.is_equal(d0, 3 * x[0] + 6 * x[1] + 3 * x[2]) and kelvo.is_equal(d[1], 3 * x[2])  # out is extended

    def unchanged():
        assert kelvo.is_equal(cons[0].getBody(), x[0] + 2 * x[1]) and cons[0].ub == 4.0
        assert kelvo.is_equal(cons[1].getBody(), 3 * x[2] - x[1]) and cons[1].ub == 5.0

    unchanged()
    p.addConstraint(cons)
    unchanged()  # now read back from the problem's rows


def test_truth_casts_and_plain_arrays(arrays):
    p, x, y, e, f = arrays
    zero = x - x
    assert zero.dtype == kelvo.npexpr
    assert not bool(zero[:1]) and bool(x[:1]) and bool(e[:1])
    assert np.count_nonzero(zero + np.array([0.0, 1.0, 0.0])) == 1
    assert np.count_nonzero(x <= 1) == 3
    # Casts among npvar, npexpr and object carry the same objects.
    for target in (kelvo.npexpr, object):
        assert all(a is b for a, b in zip(x.astype(target), x))
    assert all(a is b for a, b in zip(np.array(list(x), dtype=object).astype(kelvo.npvar), x))
    cons = (x <= 1).astype(kelvo.npconstraint)
    with pytest.raises(TypeError, match="Cannot cast"):
        cons.astype(kelvo.npexpr)
    # Arrays of numbers keep NumPy's own loops.
    assert (f + f).dtype == np.float64 and list(f + f) == [4.0, -2.0, 1.0]
    assert (f <= 0).dtype == np.bool_


def test_array_model_solves_like_the_scalar_one():
    rng = np.random.default_rng(5)
    A = rng.uniform(0.5, 3.0, (6, 8))
    b = rng.uniform(5.0, 10.0, 6)
    c = rng.uniform(1.0, 4.0, 8)

    arr = kelvo.problem()
    x = arr.addVariables(8, ub=4)
    arr.addConstraint((A * x).sum(axis=1) <= b, (x[:4] + x[4:] >= 0.5).astype(kelvo.npconstraint))
    arr.setObjective(kelvo.Sum(c * x), sense=kelvo.maximize)

    one = kelvo.problem()
    v = [one.addVariable(ub=4) for _ in range(8)]
    for i in range(6):
        one.addConstraint(kelvo.Sum(A[i, j] * v[j] for j in range(8)) <= b[i])
    for j in range(4):
        one.addConstraint(v[j] + v[j + 4] >= 0.5)
    one.setObjective(kelvo.Sum(c[j] * v[j] for j in range(8)), sense=kelvo.maximize)

    for p in (arr, one):
        p.optimize()
    assert arr.attributes.objval == pytest.approx(one.attributes.objval, rel=1e-9)
    sol = arr.getSolution(x)
    assert sol.shape == (8,) and np.all(A @ sol <= b + 1e-7)
    assert kelvo.evaluate(c * x, problem=arr).sum() == pytest.approx(arr.attributes.objval)


def test_array_operations_keep_references_and_memory_flat(arrays):
    p, x, y, e, f = arrays
    o = np.array(list(x), dtype=object)
    d = np.arange(9.0).reshape(3, 3)

    def ops():
        x + 1, 2 * x, x * e, f - e, x / 2, -e, np.square(x), x & e, x <= f, e == 1.0, y + x
        x[0] <= o, e[1] == y, x <= x[1], e >= e[0], e <= f, kelvo.Dot(d, x) <= f, x.astype(kelvo.npexpr), o.astype(kelvo.npvar), x.copy(), y.T.copy(), x.sum()
        t = np.empty(3, dtype=kelvo.npexpr)
        t[:] = x
        t[1] = e[0]
        try:
            x + np.array(["a", "b", "c"])
        except TypeError:
            pass

    # A leaked object a call (over 32 bytes) outgrows the memory budget within 2000 calls.
    run_flat(ops, list(x) + list(e) + list(y.ravel()), n=2000)
