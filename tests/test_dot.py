"""Dot: every product equals the same expression written term by term with Sum, for dense
matrices and every sparse format and orientation; output arrays, the fold over factors, the
refusals, a model built from a sparse product, and reference counts."""

import numpy as np
import pytest
import scipy.sparse as sp

import kelvo
from helpers import other_problem, run_flat

# A 4 x 5 matrix with an empty row (2), an empty column (3), entries that cancel nothing and
# one stored zero (added to the sparse forms below).
M = np.array([[1.5, 0, -2, 0, 4], [0, 3, 0, 0, -1], [0, 0, 0, 0, 0], [7, -0.5, 2.25, 0, 1]])


@pytest.fixture
def model():
    p = kelvo.problem()
    return p, np.array([p.addVariable(name=f"x{i}") for i in range(6)], dtype=object)


def same(a, b):
    return kelvo.is_equal(a, b) and str(a) == str(b)


def sparse_forms(matrix):
    """CSR and CSC, matrix and array classes, four data types, each with one stored zero."""
    for fmt in ("csr", "csc"):
        for cls in (sp.csr_matrix, sp.csr_array):
            for dtype in (np.float64, np.float32, np.int32, np.int64):
                data = matrix.astype(dtype) if np.issubdtype(dtype, np.floating) else (matrix * 4).astype(dtype)
                s = cls(data).asformat(fmt)
                s.data[0] = 0  # a stored zero coefficient
                yield s


@pytest.mark.parametrize("S", list(sparse_forms(M)), ids=lambda s: f"{type(s).__name__}-{s.format}-{s.dtype}")
def test_sparse_products_equal_term_by_term_sums(model, S):
    p, x = model
    d = S.toarray()
    left, right = kelvo.Dot(S, x[:5]), kelvo.Dot(x[:4], S)
    assert left.shape == (4,) and right.shape == (5,)
    for i in range(4):
        assert same(left[i], kelvo.Sum(float(d[i, k]) * x[k] for k in range(5)))
    for j in range(5):
        assert same(right[j], kelvo.Sum(x[k] * float(d[k, j]) for k in range(4)))


def test_dense_products_follow_numpy_shapes_and_equal_sums(model):
    p, x = model
    X = x[:4].reshape(2, 2)
    A = np.arange(12, dtype=np.int16).reshape(3, 2, 2) - 5
    r = kelvo.Dot(A, X)  # (3, 2) x (2, 2) for each of 3 blocks
    assert r.shape == (3, 2, 2)
    for b, i, j in np.ndindex(3, 2, 2):
        assert same(r[b, i, j], kelvo.Sum(float(A[b, i, k]) * X[k, j] for k in range(2)))
    r = kelvo.Dot(X, A)  # (2, 2) x (3, 2, 2) -> (2, 3, 2)
    assert r.shape == (2, 3, 2)
    for i, b, j in np.ndindex(2, 3, 2):
        assert same(r[i, b, j], kelvo.Sum(X[i, k] * float(A[b, k, j]) for k in range(2)))
    # One-dimensional factors give one expression; an empty contraction an empty one.
    assert same(kelvo.Dot(M[0], x[:5]), kelvo.Sum(float(M[0, k]) * x[k] for k in range(5)))
    assert same(kelvo.Dot(np.zeros((2, 0)), x[:0])[1], kelvo.Sum([]))


def test_quadratic_and_nonlinear_products(model):
    p, x = model
    Q = np.array([[2.0, -1, 0], [-1, 3, 0.5], [0, 0.5, 1]])
    v = x[:3]
    assert same(kelvo.Dot(v, Q, v), kelvo.Sum(Q[i, j] * v[i] * v[j] for i in range(3) for j in range(3)))
    X = x[:4].reshape(2, 2)
    XX = kelvo.Dot(X, X)
    for i, j in np.ndindex(2, 2):
        assert same(XX[i, j], kelvo.Sum(X[i, k] * X[k, j] for k in range(2)))
    E = np.array([x[0] + 1, 2 * x[1], x[2] * x[3], kelvo.exp(x[4])], dtype=object)
    point = {xi: 0.1 * (i + 1) for i, xi in enumerate(x)}
    got = kelvo.Dot(E, E)
    assert kelvo.evaluate(got, solution=point) == pytest.approx(kelvo.evaluate(kelvo.Sum(e * e for e in E), solution=point))
    assert same(kelvo.Dot(np.array(2.0), np.array(x[0], dtype=object)), 2.0 * x[0])
    assert kelvo.Dot(np.array(2.0), np.array(3)) == 6.0


def test_out_arrays_are_extended_in_place(model):
    p, x = model
    S = sp.csc_matrix(M)
    first = x[5] + 1
    out = np.array([first, None, None, kelvo.exp(x[5])], dtype=object)
    assert kelvo.Dot(S, x[:5], out=out) is out
    assert out[0] is first and same(first, kelvo.Sum([x[5], 1, 1.5 * x[0], -2 * x[2], 4 * x[4]]))
    assert same(out[1], 3 * x[1] - x[4]) and same(out[2], kelvo.Sum([]))
    dense = np.empty(4, dtype=object)
    kelvo.Dot(M, x[:5], out=dense)
    assert all(same(dense[i], kelvo.Dot(S, x[:5])[i]) for i in range(3))
    with pytest.raises(kelvo.InterfaceError, match=r"^Invalid output argument: must be an array of dimension \(4,\)$"):
        kelvo.Dot(S, x[:5], out=np.empty(3, dtype=object))
    with pytest.raises(kelvo.InterfaceError, match="^Output argument set with wrong type"):
        kelvo.Dot(M, x[:5], out=np.zeros(4))
    dense.flags.writeable = False
    with pytest.raises(kelvo.InterfaceError, match="^Output argument set with wrong type"):
        kelvo.Dot(M, x[:5], out=dense)
    assert out[0] is first and str(out[1]) == str(3 * x[1] - x[4])  # refusals left out as it was


def test_fold_over_factors(model):
    p, x = model
    S = sp.csr_matrix(M)
    assert kelvo.Dot() == 0.0 and kelvo.Dot(None) == 0.0
    assert kelvo.Dot(None, x) is x and kelvo.Dot(x) is x
    for factors in ([M, x[:5]], (M, None, x[:5]), iter([M, x[:5]]), {"a": M, "b": x[:5]}):
        assert all(same(a, b) for a, b in zip(kelvo.Dot(factors), kelvo.Dot(S, x[:5])))
    assert (kelvo.Dot(S, S.T) != S @ S.T).nnz == 0
    assert np.array_equal(kelvo.Dot(M, M.T, M), M @ M.T @ M)
    assert kelvo.Dot(M[0], M[0]) == pytest.approx(M[0] @ M[0])


REFUSALS = [
    (lambda x: kelvo.Dot(2.0, x), "Dot product can only occur between NumPy arrays and SciPy sparse matrices"),
    (lambda x: kelvo.Dot(np.array(2.0), x), "Dot product between incompatible objects: first one is a scalar"),
    (lambda x: kelvo.Dot(x, np.array(2.0)), "Dot product between incompatible objects: second one is a scalar"),
    (lambda x: kelvo.Dot(M, x), "Dot product must occur between NumPy vectors with matching sizes"),
    (lambda x: kelvo.Dot(np.ones(6, dtype=np.uint8), x), "Dot product must be between long, double, and expr"),
    (lambda x: kelvo.Dot(M, x[:5], out=[0] * 4), "Output argument must be a NumPy array"),
    (lambda x: kelvo.Dot(sp.coo_matrix(M), x[:5]), "only supports sparse matrices in csc or csr format, but found coo"),
    (lambda x: kelvo.Dot(sp.csr_matrix(M, dtype=np.int8), x[:5]), "with dtype float32, float64, int32 or int64, but found int8"),
    (lambda x: kelvo.Dot(sp.csr_matrix(M), x[:4]), r"array of shape \(4,\) is not compatible with matrix of shape \(4, 5\)"),
    (lambda x: kelvo.Dot(sp.csr_matrix(M), M[0]), "requires the other argument to be an array of objects"),
    (lambda x: kelvo.Dot(sp.csr_matrix(M), x[:4].reshape(2, 2)), "requires the other argument to be a 1D array, but it is 2D"),
    (lambda x: kelvo.Dot(sp.csr_matrix(M), sp.csr_matrix(M.T), out=np.empty(4)), "Cannot specify output argument"),
]


@pytest.mark.parametrize("call, message", REFUSALS)
def test_refusals(model, call, message):
    with pytest.raises(kelvo.InterfaceError, match=message):
        call(model[1])


def test_corrupt_sparse_matrices_are_refused(model):
    p, x = model
    S = sp.csr_matrix(M)
    S.indices = S.indices.astype(np.int64)
    with pytest.raises(kelvo.InterfaceError, match="^Only sparse matrices with int32 indices are supported"):
        kelvo.Dot(S, x[:5])
    S = sp.csr_matrix(M)
    S.indices[1] = 5
    with pytest.raises(kelvo.InterfaceError, match="index out of range in indices array: 5$"):
        kelvo.Dot(S, x[:5])
    with pytest.raises(kelvo.ModelError, match="^Variables from different problems"):
        kelvo.Dot(M[0], np.array([other_problem().getVariable(0)] + list(x[:4]), dtype=object))


def test_sparse_model_solves_as_the_row_by_row_model():
    rng = np.random.default_rng(7)
    A = sp.random(30, 40, density=0.2, format="csr", random_state=rng) * 10
    b, c = rng.uniform(1, 5, 30), rng.uniform(0, 1, 40)
    values = []
    for build in ("dot", "rows"):
        p = kelvo.problem()
        x = np.array([p.addVariable(ub=3) for _ in range(40)], dtype=object)
        if build == "dot":
            p.addConstraint(np.less_equal(kelvo.Dot(A, x), b, dtype=object))
        else:
            d = A.toarray()
            p.addConstraint(kelvo.Sum(d[i, j] * x[j] for j in range(40)) <= b[i] for i in range(30))
        p.setObjective(kelvo.Sum(c[j] * x[j] for j in range(40)), sense=kelvo.maximize)
        p.controls.outputlog = 0
        p.optimize()
        values.append(p.attributes.objval)
    assert values[0] == pytest.approx(values[1], rel=1e-9) and values[0] > 0


def test_rows_reach_the_problem_with_hand_summed_coefficients(model):
    # Variables out of column order, a variable listed twice, a CSR row listing an index
    # twice, and a product row edited in place before it becomes a constraint.
    p, x = model
    A = np.array([[1.0, 0, 2, 0, -3], [0, 5, 0, 0.5, 0]])
    shuffled = list(kelvo.Dot(A, x[[4, 1, 0, 3, 2]]))
    repeated = kelvo.Dot(np.array([1.0, 2.0, -1.0]), x[[0, 0, 1]])
    S = sp.csr_matrix((np.array([1.0, 2.0, 4.0]), np.array([2, 2, 0], dtype=np.int32), np.array([0, 3])), shape=(1, 5))
    edited = kelvo.Dot(A, x[:5])[1]
    edited += 2 * x[1]
    p.addConstraint(r <= 1 for r in shuffled + [repeated, kelvo.Dot(S, x[:5])[0], edited])
    expected = [{4: 1, 0: 2, 2: -3}, {1: 5, 3: 0.5}, {0: 3, 1: -1}, {2: 3, 0: 4}, {1: 7, 3: 0.5}]
    for i, coefs in enumerate(expected):
        assert [p.getcoef(i, j) for j in range(6)] == [coefs.get(j, 0.0) for j in range(6)]


def test_product_rows_follow_columns_deleted_after_the_product(model):
    p, x = model
    keeps, loses = kelvo.Dot(np.array([[1.0, 0, 2, 0, -3], [0, 5, 0, 0.5, 0]]), x[:5])
    p.delVariable(x[1])  # x2..x5 move down one column
    with pytest.raises(kelvo.ModelError, match="Deleted variable"):
        p.addConstraint(keeps <= 1, loses <= 1)
    assert p.attributes.rows == 0
    p.addConstraint(keeps <= 1)
    assert [p.getcoef(0, j) for j in range(5)] == [1, 2, 0, -3, 0]


def test_reference_counts_and_memory_stay_flat(model):
    p, x = model
    S, T = sp.csr_matrix(M), sp.csc_matrix(M)
    out = np.empty(4, dtype=object)
    objects = list(x) + [S, T, out]

    def products():
        kelvo.Dot(S, x[:5])
        kelvo.Dot(x[:4], S)
        kelvo.Dot(T, x[:5], out=out)
        kelvo.Dot(x[:3], M[:3, :3], x[:3])
        kelvo.Dot(M, x[:5])[0] + x[1]  # a product row turned into a map, then released
        try:
            kelvo.Dot(M, x)
        except kelvo.InterfaceError:
            pass

    run_flat(products, objects[:-1], n=2000)
