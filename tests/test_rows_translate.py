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


def translate(t, p, body, objective=False):
    return t.translate(p, body, objective)


# ---- linear and quadratic parts


def test_linear_entries_are_sorted_by_column_and_constants_collected(t, model):
    p, x = model
    constant, lin, quad, forms = translate(t, p, 3 * x[7] + 2 * x[2] + x[5] + 4)
    assert constant == 4.0
    assert lin == [(2, 2.0), (5, 1.0), (7, 3.0)]
    assert quad == [] and forms == []


def test_single_operands(t, model):
    p, x = model
    assert translate(t, p, 5) == (5.0, [], [], [])
    assert translate(t, p, x[3]) == (0.0, [(3, 1.0)], [], [])
    assert translate(t, p, -2 * x[4]) == (0.0, [(4, -2.0)], [], [])


def test_quadratic_entries_are_halved_off_the_diagonal(t, model):
    p, x = model
    assert translate(t, p, x[0] * x[1])[2] == [(0, 1, 0.5)]
    assert translate(t, p, x[0] ** 2)[2] == [(0, 0, 1.0)]
    assert translate(t, p, 3 * x[2] * x[1])[2] == [(1, 2, 1.5)]


def test_objective_mode_doubles_quadratic_entries(t, model):
    p, x = model
    assert translate(t, p, x[0] * x[1], True)[2] == [(0, 1, 1.0)]
    assert translate(t, p, x[0] ** 2, True)[2] == [(0, 0, 2.0)]


def test_quadratic_entries_of_an_expression_are_sorted_by_column_pair(t, model):
    p, x = model
    body = x[5] * x[6] + x[1] * x[9] + x[1] * x[2] + x[0] ** 2 + x[3]
    constant, lin, quad, forms = translate(t, p, body)
    assert lin == [(3, 1.0)]
    assert quad == [(0, 0, 1.0), (1, 2, 0.5), (1, 9, 0.5), (5, 6, 0.5)]


def test_invalid_bodies_are_refused(t, model):
    p, x = model
    with pytest.raises(kelvo.ModelError, match="Invalid expression"):
        translate(t, p, "x")


def test_variables_of_another_problem_are_refused(t, model):
    p, x = model
    q = kelvo.problem()
    z = q.addVariable()
    with pytest.raises(kelvo.ModelError, match="different problem"):
        translate(t, p, x[0] + z)
    with pytest.raises(kelvo.ModelError, match="different problem"):
        translate(t, p, kelvo.sin(z))


# ---- formulas


def test_sin_plus_linear_gives_a_formula_without_column(t, model):
    p, x = model
    constant, lin, quad, forms = translate(t, p, kelvo.sin(x[0]) + x[1])
    assert lin == [(1, 1.0)]
    assert forms == [(-1000, 1.0, [OPEN, col(0), SIN, END])]


def test_product_with_a_variable_takes_its_column(t, model):
    p, x = model
    constant, lin, quad, forms = translate(t, p, x[0] * kelvo.sin(x[1]))
    assert lin == []
    assert forms == [(0, 1.0, [OPEN, col(1), SIN, END])]


def test_numbers_of_a_product_fold_into_the_factor(t, model):
    p, x = model
    body = t.node(3, [3, x[2], kelvo.exp(x[1]), 2.0, np.float64(0.5)])
    constant, lin, quad, forms = translate(t, p, body)
    assert forms == [(2, 3.0, [OPEN, col(1), EXP, END])]
    # Without a variable the numbers stay in the formula.
    body = t.node(3, [3, kelvo.exp(x[1]), kelvo.sin(x[0])])
    forms = translate(t, p, body)[3]
    assert forms == [(-1000, 1.0, [const(3), OPEN, col(1), EXP, TIMES, OPEN, col(0), SIN, TIMES, END])]
    # The algebra nests products, so only the top level folds.
    forms = translate(t, p, 2 * (x[2] * kelvo.exp(x[1])))[3]
    assert forms[0][:2] == (-1000, 1.0)
    # A product that is all column and factor leaves the formula 1.
    forms = translate(t, p, t.node(3, [x[2], 4.0]))[3]
    assert forms == [(2, 4.0, [const(1), END])]


def test_minus_negates_the_second_formula(t, model):
    p, x = model
    constant, lin, quad, forms = translate(t, p, kelvo.exp(x[0]) - kelvo.log(x[1]))
    assert forms == [(-1000, 1.0, [OPEN, col(0), EXP, END]), (-1000, -1.0, [OPEN, col(1), LOG, END])]


def test_eight_linear_summands_form_a_depth_three_tree(t, model):
    p, x = model
    body = kelvo.sin(kelvo.Sum(x[i] for i in range(8)))
    forms = translate(t, p, body)[3]
    expected = [OPEN,
                col(0), col(1), PLUS, col(2), col(3), PLUS, PLUS,
                col(4), col(5), PLUS, col(6), col(7), PLUS, PLUS, PLUS,
                SIN, END]
    assert forms == [(-1000, 1.0, expected)]


def test_balanced_sums_of_formulas_of_odd_length(t, model):
    p, x = model
    # Five summands: ((a b +) (c d +) +) e +
    body = kelvo.exp(kelvo.Sum(kelvo.sin(x[i]) for i in range(5)))
    tokens = translate(t, p, body)[3][0][2]
    ops = [tok for tok in tokens if tok in (PLUS, SIN)]
    shape = ["s" if tok == SIN else "+" for tok in ops]
    assert shape == ["s", "s", "+", "s", "s", "+", "+", "s", "+"]
    # The decoded formula is the same sum.
    assert str(t.decode(p, tokens[1:-2])) == str(kelvo.Sum(kelvo.sin(x[i]) for i in range(5)))


def test_terms_inside_formulas(t, model):
    p, x = model
    body = kelvo.exp(3 * x[2] - x[1] + 2 * x[0] * x[3] + 1)
    tokens = translate(t, p, body)[3][0][2]
    # Constant first, then linear terms by column, then the product term; four summands.
    assert tokens == [OPEN,
                      const(1), col(1), UMINUS, PLUS, const(3), col(2), TIMES,
                      const(2), col(0), col(3), TIMES, TIMES, PLUS, PLUS,
                      EXP, END]


def test_binary_operators_write_no_argument_list(t, model):
    p, x = model
    tokens = translate(t, p, kelvo.exp(x[0]) ** x[1])[3][0][2]
    assert tokens == [OPEN, col(0), EXP, col(1), POW, END]
    tokens = translate(t, p, kelvo.max(x[0], x[1]) + kelvo.exp(x[2]))[3][0][2]
    assert tokens == [OPEN, col(0), col(1), MAX, END]


def test_depth_limit_of_formulas(t, model):
    p, x = model
    body = x[0]
    for _ in range(70):
        body = kelvo.sin(body)
    with pytest.raises(kelvo.ModelError, match="maximum limit"):
        translate(t, p, body)


def test_bad_leaves_in_formulas_and_sums(t, model):
    p, x = model
    with pytest.raises(kelvo.ModelError, match="Incorrect argument of nonlinear function"):
        translate(t, p, t.node(9, "abc"))
    with pytest.raises(kelvo.ModelError, match="Invalid expression in nonlinear sum"):
        translate(t, p, t.node(0, [kelvo.sin(x[0]), "abc"]))
    with pytest.raises(kelvo.ModelError, match="Invalid expression"):
        translate(t, p, t.node(1, (kelvo.sin(x[0]), "abc")))
    with pytest.raises(kelvo.ModelError, match="First argument of a user"):
        translate(t, p, t.node(27, (1.0, x[0])))


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
    with pytest.raises(kelvo.InterfaceError, match="column 12, but there are only 10 variables"):
        t.decode(p, [col(12)])
    with pytest.raises(kelvo.InterfaceError, match="User functions are not supported by constraint.getBody"):
        t.decode(p, [OPEN, (11, 1.0)])
    with pytest.raises(kelvo.InterfaceError, match="Unsupported nonlinear function in constraint.getBody: 99"):
        t.decode(p, [OPEN, col(0), (12, 99.0)])
    with pytest.raises(kelvo.InterfaceError, match="Unsupported operator in constraint.getBody: 9"):
        t.decode(p, [col(0), col(1), (31, 9.0)])
    with pytest.raises(kelvo.InterfaceError, match="Invalid nonlinear formula in constraint.getBody"):
        t.decode(p, [col(0), PLUS])
    with pytest.raises(kelvo.InterfaceError, match="Invalid nonlinear formula in constraint.getBody"):
        t.decode(p, [col(0), col(1)])
    with pytest.raises(kelvo.InterfaceError, match="Invalid nonlinear formula in constraint.getBody"):
        t.decode(p, [col(0), col(1), MAX])
    with pytest.raises(kelvo.InterfaceError, match="Unexpected nonlinear token in constraint.getBody: 7"):
        t.decode(p, [(7, 0.0)])


def test_every_function_round_trips(t, model):
    p, x = model
    for f in (kelvo.exp, kelvo.log, kelvo.log10, kelvo.sin, kelvo.cos, kelvo.tan, kelvo.asin, kelvo.acos,
              kelvo.atan, kelvo.abs, kelvo.sign, kelvo.erf, kelvo.erfc, kelvo.sqrt):
        node = f(x[0] + x[1])
        tokens = translate(t, p, node)[3][0][2]
        assert str(t.decode(p, tokens)) == str(node)
