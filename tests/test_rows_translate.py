"""Body translation: constants, sorted linear entries, halved and doubled quadratic entries,
and formula tokens (balanced sums and products, folded factors, columns of product terms)."""
import numpy as np
import pytest

import kelvo

END = (0, 0.0)
OPEN = (22, 0.0)
PLUS = (31, 5.0)
TIMES = (31, 3.0)
MINUS = (31, 6.0)
UMINUS = (31, 1.0)
POW = (31, 2.0)
SIN = (12, 27.0)
EXP = (12, 16.0)
LOG = (12, 15.0)
MAX = (12, 34.0)


def col(j):
    return (10, float(j))


def const(c):
    return (1, float(c))


@pytest.fixture
def model():
    p = kelvo.problem()
    xs = [p.addVariable(name=f"x{i}") for i in range(10)]
    return p, xs


# ---- linear and quadratic parts


@pytest.mark.parametrize("build,objective,expected", [
    (lambda x: 5, False, (5.0, [], [], [])),
    (lambda x: x[3], False, (0.0, [(3, 1.0)], [], [])),
    (lambda x: -2 * x[4], False, (0.0, [(4, -2.0)], [], [])),
    (lambda x: 3 * x[2] * x[1], False, (0.0, [], [(1, 2, 1.5)], [])),
    # Linear entries are sorted by column and the constants collected.
    (lambda x: 3 * x[7] + 2 * x[2] + x[5] + 4, False, (4.0, [(2, 2.0), (5, 1.0), (7, 3.0)], [], [])),
    # Quadratic entries are sorted by column pair and halved off the diagonal in rows; in the
    # objective every entry is doubled.
    (lambda x: x[5] * x[6] + x[1] * x[9] + 3 * x[2] * x[1] + x[0] ** 2 + x[3], False,
     (0.0, [(3, 1.0)], [(0, 0, 1.0), (1, 2, 1.5), (1, 9, 0.5), (5, 6, 0.5)], [])),
    (lambda x: x[0] * x[1] + x[2] ** 2, True, (0.0, [], [(0, 1, 1.0), (2, 2, 2.0)], [])),
])
def test_linear_and_quadratic_parts(t, model, build, objective, expected):
    p, x = model
    assert t.translate(p, build(x), objective) == expected


@pytest.mark.parametrize("n", [33, 2000])
@pytest.mark.parametrize("bunched", [False, True])
def test_long_rows_come_out_sorted(t, n, bunched):
    # Columns spread over more than two bytes, or bunched with one far away, met in the order
    # of a hash map.
    p = kelvo.problem()
    x = p.addVariables(70_000)
    rng = np.random.default_rng(n)
    cols = rng.choice(np.r_[69_999, 10_000:10_000 + n - 1] if bunched else 70_000, n, replace=False)
    coefs = rng.uniform(-5, 5, n)
    body = kelvo.Sum(float(c) * x[j] for j, c in zip(cols, coefs))
    assert t.translate(p, body, False) == (0.0, sorted(zip(cols.tolist(), coefs.tolist())), [], [])


# ---- formulas


@pytest.mark.parametrize("build,lin,forms", [
    (lambda x: kelvo.sin(x[0]) + x[1], [(1, 1.0)], [(-1000, 1.0, [OPEN, col(0), SIN, END])]),
    # A product with a variable takes its column.
    (lambda x: x[0] * kelvo.sin(x[1]), [], [(0, 1.0, [OPEN, col(1), SIN, END])]),
    # Minus negates the second formula.
    (lambda x: kelvo.exp(x[0]) - kelvo.log(x[1]), [],
     [(-1000, 1.0, [OPEN, col(0), EXP, END]), (-1000, -1.0, [OPEN, col(1), LOG, END])]),
    # Eight linear summands form a tree of depth three.
    (lambda x: kelvo.sin(kelvo.Sum(x[i] for i in range(8))), [],
     [(-1000, 1.0, [OPEN, col(0), col(1), PLUS, col(2), col(3), PLUS, PLUS,
                    col(4), col(5), PLUS, col(6), col(7), PLUS, PLUS, PLUS, SIN, END])]),
    # Inside formulas: the constant first, then linear terms by column, then the product term.
    (lambda x: kelvo.exp(3 * x[2] - x[1] + 2 * x[0] * x[3] + 1), [],
     [(-1000, 1.0, [OPEN, const(1), col(1), UMINUS, PLUS, const(3), col(2), TIMES,
                    const(2), col(0), col(3), TIMES, TIMES, PLUS, PLUS, EXP, END])]),
    # Binary operators write no argument list.
    (lambda x: kelvo.exp(x[0]) ** x[1], [], [(-1000, 1.0, [OPEN, col(0), EXP, col(1), POW, END])]),
    (lambda x: kelvo.max(x[0], x[1]) + kelvo.exp(x[2]), [],
     [(-1000, 1.0, [OPEN, col(0), col(1), MAX, END]), (-1000, 1.0, [OPEN, col(2), EXP, END])]),
])
def test_formula_tokens(t, model, build, lin, forms):
    p, x = model
    assert t.translate(p, build(x))[1:] == (lin, [], forms)


def test_numbers_of_a_product_fold_into_the_factor(t, model):
    p, x = model
    body = t.node(3, [3, x[2], kelvo.exp(x[1]), 2.0, np.float64(0.5)])
    constant, lin, quad, forms = t.translate(p, body)
    assert forms == [(2, 3.0, [OPEN, col(1), EXP, END])]
    # Without a variable the numbers stay in the formula.
    body = t.node(3, [3, kelvo.exp(x[1]), kelvo.sin(x[0])])
    forms = t.translate(p, body)[3]
    assert forms == [(-1000, 1.0, [const(3), OPEN, col(1), EXP, TIMES, OPEN, col(0), SIN, TIMES, END])]
    # The algebra nests products, so only the top level folds.
    forms = t.translate(p, 2 * (x[2] * kelvo.exp(x[1])))[3]
    assert forms[0][:2] == (-1000, 1.0)
    # A product that is all column and factor leaves the formula 1.
    forms = t.translate(p, t.node(3, [x[2], 4.0]))[3]
    assert forms == [(2, 4.0, [const(1), END])]


def test_balanced_sums_of_formulas_of_odd_length(t, model):
    p, x = model
    # Five summands: ((a b +) (c d +) +) e +
    body = kelvo.exp(kelvo.Sum(kelvo.sin(x[i]) for i in range(5)))
    tokens = t.translate(p, body)[3][0][2]
    ops = [tok for tok in tokens if tok in (PLUS, SIN)]
    shape = ["s" if tok == SIN else "+" for tok in ops]
    assert shape == ["s", "s", "+", "s", "s", "+", "+", "s", "+"]
    # The decoded formula is the same sum.
    assert str(t.decode(p, tokens[1:-2])) == str(kelvo.Sum(kelvo.sin(x[i]) for i in range(5)))


def test_refused_bodies(t, model):
    p, x = model
    q = kelvo.problem()
    z = q.addVariable()
    deep = x[0]
    for _ in range(70):
        deep = kelvo.sin(deep)
    for body, message in (("x", "Invalid expression"), (kelvo.sin(z), "different problem"),
                          (deep, "maximum limit"), (t.node(9, "abc"), "Incorrect argument of nonlinear function"),
                          (t.node(0, [kelvo.sin(x[0]), "abc"]), "Invalid expression in nonlinear sum"),
                          (t.node(1, (kelvo.sin(x[0]), "abc")), "Invalid expression")):
        with pytest.raises(kelvo.ModelError, match=message):
            t.translate(p, body, False)


# ---- decoding


def test_decoding_rebuilds_nodes(t, model):
    p, x = model
    x0, x1, x2 = (str(v) for v in x[:3])
    assert str(t.decode(p, [OPEN, col(0), SIN, END])) == f"sin({x0})"
    assert str(t.decode(p, [col(0), col(1), MINUS, const(2), TIMES])) == f"({x0} - {x1}) * 2.0"
    # Operands of an n-ary function are listed from the last pushed to the first.
    assert str(t.decode(p, [OPEN, col(0), col(1), col(2), MAX])) == f"max({x2}, {x1}, {x0})"


def test_decoding_errors(t, model):
    p, x = model
    for tokens, message in (
        ([col(12)], "column 12, but there are only 10 variables"),
        ([OPEN, (11, 1.0)], "User functions are not supported by constraint.getBody"),
        ([OPEN, col(0), (12, 99.0)], "Unsupported nonlinear function in constraint.getBody: 99"),
        ([col(0), col(1), (31, 9.0)], "Unsupported operator in constraint.getBody: 9"),
        ([col(0), PLUS], "Invalid nonlinear formula in constraint.getBody"),
        ([col(0), col(1)], "Invalid nonlinear formula in constraint.getBody"),
        ([col(0), col(1), MAX], "Invalid nonlinear formula in constraint.getBody"),
        ([(7, 0.0)], "Unexpected nonlinear token in constraint.getBody: 7"),
    ):
        with pytest.raises(kelvo.InterfaceError, match=message):
            t.decode(p, tokens)


def test_every_function_round_trips(t, model):
    p, x = model
    for f in (kelvo.exp, kelvo.log, kelvo.log10, kelvo.sin, kelvo.cos, kelvo.tan, kelvo.asin, kelvo.acos,
              kelvo.atan, kelvo.abs, kelvo.sign, kelvo.erf, kelvo.erfc, kelvo.sqrt):
        node = f(x[0] + x[1])
        tokens = t.translate(p, node)[3][0][2]
        assert str(t.decode(p, tokens)) == str(node)
