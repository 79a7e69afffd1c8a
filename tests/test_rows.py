"""problem.addConstraint and delConstraint: rows as the library stores them, naming, the
all-or-nothing rule, deletion with renumbering and getBody of linked rows."""
import numpy as np
import pytest

import kelvo
from helpers import free_var, other_problem

INF = 1e20


@pytest.fixture
def model():
    p = kelvo.problem()
    x = p.addVariable(name="x")
    y = p.addVariable(name="y")
    z = p.addVariable(name="z")
    return p, x, y, z


# ---- row types, right-hand sides, entries


@pytest.mark.parametrize("build,row", [
    (lambda x, y, z: 2 * y + x <= 4, ("L", 4.0, 0.0, None, [(0, 1.0), (1, 2.0)], [])),
    # The constant moves to the right-hand side.
    (lambda x, y, z: 3 + x >= 5, ("G", 2.0, 0.0, None, [(0, 1.0)], [])),
    (lambda x, y, z: kelvo.constraint(body=x + y, lb=2, ub=2), ("E", 2.0, 0.0, None, [(0, 1.0), (1, 1.0)], [])),
    (lambda x, y, z: kelvo.constraint(body=x + y, lb=1, ub=3, name="r"), ("R", 3.0, 2.0, "r", [(0, 1.0), (1, 1.0)], [])),
    (lambda x, y, z: kelvo.constraint(body=x + 1, lb=-INF, ub=INF), ("N", -1.0, 0.0, None, [(0, 1.0)], [])),
    # A constant body is a row without entries.
    (lambda x, y, z: kelvo.constraint(body=5.0, ub=7), ("L", 2.0, 0.0, None, [], [])),
    # Quadratic entries are halved off the diagonal.
    (lambda x, y, z: x * y <= 1, ("L", 1.0, 0.0, None, [], [(0, 1, 0.5)])),
    (lambda x, y, z: x ** 2 <= 1, ("L", 1.0, 0.0, None, [], [(0, 0, 1.0)])),
    (lambda x, y, z: x * y + 3 * z ** 2 + y + 2 >= 0, ("G", -2.0, 0.0, None, [(1, 1.0)], [(0, 1, 0.5), (2, 2, 3.0)])),
])
def test_rows_as_the_library_stores_them(t, model, build, row):
    p, x, y, z = model
    c = build(x, y, z)
    p.addConstraint(c)
    assert t.rows(p) == [row]
    assert c.index == 0


def test_names_are_sent_in_batches_and_containers_are_walked(t, model):
    p, x, y, z = model
    cs = [kelvo.constraint(body=x, ub=1, name="first"), x <= 2, x <= 3,
          kelvo.constraint(body=y, ub=1, name="second"), kelvo.constraint(body=z, ub=1, name="third")]
    p.addConstraint(cs)
    assert [r[3] for r in t.rows(p)] == ["first", None, None, "second", "third"]
    assert [r[1] for r in t.rows(p)] == [1.0, 2.0, 3.0, 1.0, 1.0]
    assert [c.name for c in cs] == ["first", "R2", "R3", "second", "third"]
    # Nested containers of every kind.
    c1, c2, c3 = x <= 1, y <= 2, z <= 3
    more = {"a": x + y <= 4, "b": np.array([x - y >= 0, y - z >= 0], dtype=object)}
    p.addConstraint([c1, [c2, (c3,)]], more)
    assert [r[1] for r in t.rows(p)][5:] == [1.0, 2.0, 3.0, 4.0, 0.0, 0.0]
    assert [c.index for c in (c1, c2, c3, more["a"], more["b"][1])] == [5, 6, 7, 8, 10]


def test_many_rows_in_one_call(t):
    p = kelvo.problem()
    xs = [p.addVariable() for _ in range(50)]
    cons = [kelvo.Sum((i + j) % 7 * xs[j] for j in range(50)) <= i for i in range(3000)]
    p.addConstraint(cons)
    rows = t.rows(p)
    assert len(rows) == 3000
    assert rows[2999][1] == 2999.0
    assert rows[1234][4] == [(j, float((1234 + j) % 7)) for j in range(50) if (1234 + j) % 7]
    assert cons[2500].index == 2500


# ---- failures add nothing

# (call on the model holding row 0 = x <= 10 and two new constraints, exception, message)
REFUSALS = [
    (lambda p, x, y, new: p.addConstraint([*new, "not a constraint"]), kelvo.ModelError, "Invalid constraint"),
    # A long call has sent rows on in chunks before its last item fails.
    (lambda p, x, y, new: p.addConstraint(new, [x + y <= k for k in range(40_000)], "bad"), kelvo.ModelError,
     "Invalid constraint"),
    # The change of naming flushes the first two rows before the bad one fails.
    (lambda p, x, y, new: p.addConstraint([*new, kelvo.constraint(body=2 * other_problem().getVariable(0), ub=1, name="bad")]),
     kelvo.ModelError, "different problem"),
    (lambda p, x, y, new: p.addConstraint(p.getConstraint(0)), kelvo.ModelError, "Constraint already added to this problem"),
    (lambda p, x, y, new: other_problem().addConstraint(p.getConstraint(0)), kelvo.ModelError,
     "Constraint already added to another problem"),
    (lambda p, x, y, new: p.addConstraint(new[0], new[1], new[1]), kelvo.ModelError, "already added"),
    (lambda p, x, y, new: p.addConstraint(2 * free_var() <= 1), kelvo.ModelError, "contains unlinked variables"),
]


@pytest.mark.parametrize("call,error,message", REFUSALS)
def test_a_refused_call_adds_none_of_its_constraints(t, model, call, error, message):
    p, x, y, z = model
    p.addConstraint(x <= 10)
    new = [x <= 1, y <= 2]
    with pytest.raises(error, match=message):
        call(p, x, y, new)
    assert t.rows(p) == [("L", 10.0, 0.0, None, [(0, 1.0)], [])]
    # The new constraints stay free and can be added afterwards.
    assert [c.index for c in new] == [None, None]
    p.addConstraint(new)
    assert [c.index for c in new] == [1, 2]


def test_unlinked_constraints_in_an_unlinked_problem(t, model):
    p = kelvo.problem()
    x = free_var()
    p.addVariable(x)
    with pytest.raises(kelvo.ModelError, match="linked to another problem"):
        p.addConstraint(model[1] <= 1)
    c = kelvo.constraint(body=2 * x, ub=3, name="u")
    p.addConstraint(c)
    assert t.rows(p) == [("L", 3.0, 0.0, "u", [(0, 2.0)], [])]
    # An unlinked constraint keeps its body and bounds and is mapped to its row.
    assert c.index is None and c.ub == 3.0
    assert p.getIndex(c) == 0
    with pytest.raises(kelvo.ModelError, match="Constraint already added to problem"):
        p.addConstraint(c)
    # A failing call removes its serial ids from the map again.
    d = kelvo.constraint(body=x, lb=1, name="d")
    with pytest.raises(kelvo.ModelError):
        p.addConstraint(d, "bad")
    with pytest.raises(kelvo.ModelError, match="does not belong to this problem"):
        p.getIndex(d)
    p.addConstraint(d)
    assert p.getIndex(d) == 1


# ---- formulas and getBody of linked rows


def same(a, b):
    return str(a) == str(b)


def test_getBody_reads_linear_and_quadratic_rows_back(model):
    p, x, y, z = model
    c1 = 3 * x + 2 * y - z <= 4
    c2 = x * y + 2 * z ** 2 + x >= 1
    c3 = kelvo.constraint(body=x - x, lb=0, ub=0)
    c4 = kelvo.constraint(body=5.0, ub=7)
    p.addConstraint(c1, c2, c3, c4)
    assert same(c1.getBody(), 3 * x + 2 * y - z)
    assert same(c2.getBody(), x + x * y + 2 * z ** 2)
    assert c3.getBody() == 0.0 and c4.getBody() == 0.0


def test_formula_rows_and_their_bodies(t, model, nonlinear):
    p, x, y, z = model
    c1 = kelvo.sin(x) + y <= 1
    c2 = t.node(3, [x, kelvo.exp(y), 3.0]) <= 0
    c3 = kelvo.log(x + 2 * y) - kelvo.cos(z) >= -5
    c4 = x * y + kelvo.exp(z) * y - 2 <= 3
    p.addConstraint(c1, c2, c3, c4, x * kelvo.sin(y) <= 0)
    rows = t.rows(p)
    assert rows[0][:5] == ("L", 1.0, 0.0, None, [(1, 1.0)])
    assert rows[4][:5] == ("L", 0.0, 0.0, None, [])
    formulas = t.formulas(p)
    assert formulas[0] == (0, -1000, 1.0, [(22, 0.0), (10, 0.0), (12, 27.0), (0, 0.0)])
    assert formulas[-1] == (4, 0, 1.0, [(22, 0.0), (10, 1.0), (12, 27.0), (0, 0.0)])
    assert str(c1.getBody()) == "y + sin(x)"
    # The factor 3 and the column x were taken out of the formula and are multiplied back.
    assert formulas[1] == (1, 0, 3.0, [(22, 0.0), (10, 1.0), (12, 16.0), (0, 0.0)])
    assert str(c2.getBody()) == "x * exp(y) * 3.0"
    assert str(c3.getBody()) == "log(x + y * 2.0) + cos(z) * -1.0"
    assert str(c4.getBody()) == "x * y + y * exp(z)"
    # Reading back and translating again gives the rows the library holds.
    assert t.translate(p, c1.getBody())[1:] == ([(1, 1.0)], [], [(-1000, 1.0, formulas[0][3])])
    lin, quad, forms = t.translate(p, c4.getBody())[1:]
    assert quad == [(0, 1, 0.5)] and forms == [(1, 1.0, [(22, 0.0), (10, 2.0), (12, 16.0), (0, 0.0)])]


def test_getBody_of_a_formula_with_a_user_function_fails_cleanly(t, model, nonlinear):
    p, x, y, z = model
    c = kelvo.user(lambda a: a, x) <= 1
    p.addConstraint(c)
    with pytest.raises(kelvo.InterfaceError, match="User functions are not supported by constraint.getBody"):
        c.getBody()
    assert len(t.rows(p)) == 1


# ---- delConstraint


def test_delConstraint_renumbers_the_remaining_rows(t, model):
    p, x, y, z = model
    cs = [x <= i for i in range(5)]
    p.addConstraint(cs)
    p.delConstraint([cs[1], cs[3]])
    assert [r[1] for r in t.rows(p)] == [0.0, 2.0, 4.0]
    assert [cs[i].index for i in (0, 2, 4)] == [0, 1, 2]
    assert cs[1].index == -1 and cs[3].index == -1
    with pytest.raises(kelvo.ModelError, match="deleted"):
        p.delConstraint(cs[1])
    p.delConstraint(first=0, last=1)
    assert [r[1] for r in t.rows(p)] == [4.0]
    assert cs[4].index == 0
    # A body read after deletion still belongs to the right row.
    assert same(cs[4].getBody(), 1.0 * x)
