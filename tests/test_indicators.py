"""problem.addIndicator: the rows and flags it leaves in the library's store, and the refusals
after which the store is as it was."""
import pytest

import kelvo

from helpers import free_var, other_problem, store_indicators as indicators


def added_elsewhere():
    """A constraint that is a row of another problem."""
    o = other_problem()
    c = o.getVariable(0) <= 1
    o.addConstraint(c)
    return c


def deleted_from(p, c):
    p.addConstraint(c)
    p.delConstraint(c)
    return c


@pytest.fixture
def model():
    p = kelvo.problem()
    b = [p.addVariable(vartype=kelvo.binary, name=f"b{i}") for i in range(2)]
    x, y = p.addVariable(name="x"), p.addVariable(name="y")
    return p, b, x, y


def test_conditions_set_the_complement_flag_and_existing_rows_are_reused(model):
    p, b, x, y = model
    kept = x - y >= -3
    p.addConstraint(kept)
    c1 = x + y <= 4
    p.addIndicator(b[0] == 1, c1)
    p.addIndicator(b[1] == 0, x == 2)
    p.addIndicator(b[1], y >= 1)
    # Nested pairs, and a row the problem already has.
    p.addIndicator([(b[0] == 0, x <= 1)], {"k": (b[1], kept)})
    assert indicators(p) == (5, [(0, 1, 1), (1, 0, 1), (2, 1, -1), (3, 1, 1), (4, 0, -1)])
    assert (c1.index, str(c1)) == (1, "R2")

    # Deleting a row takes its indicator along; deleting a condition's column drops those.
    p.delConstraint(c1)
    assert indicators(p) == (4, [(0, 1, 1), (1, 1, -1), (2, 1, 1), (3, 0, -1)])
    p.delVariable(b[1])
    assert indicators(p) == (4, [(3, 0, -1)])


@pytest.mark.parametrize("pairs,message", [
    (lambda p, b, x, y: (2 * b[0] == 1, x <= 1), "^Invalid indicator expression"),
    (lambda p, b, x, y: (b[0] == 0.5, x <= 1), "^Invalid indicator expression"),
    (lambda p, b, x, y: (b[0] + x == 1, x <= 1), "^Invalid indicator expression"),
    (lambda p, b, x, y: (b[0] <= 1, x <= 1), "^Invalid indicator expression"),
    (lambda p, b, x, y: (b[0], x, y <= 1), "^Invalid indicator constraints: pass either two constraints"),
    (lambda p, b, x, y: ((b[0], x <= 1), "x"), "^Invalid indicator constraints: pass either two constraints"),
    (lambda p, b, x, y: (b[0], other_problem().getVariable(0) <= 1), "^Variable .*different problem"),
    (lambda p, b, x, y: (other_problem().getVariable(0), x <= 1),
     "^Variable in indicator condition is from a different problem$"),
    (lambda p, b, x, y: (b[0], kelvo.exp(x) <= 1), "^Nonlinear indicator constraints are not allowed$"),
    (lambda p, b, x, y: (b[0], kelvo.constraint(body=x + y, lb=1, ub=2)), "^Indicator constraints must be of type"),
    (lambda p, b, x, y: (p.getConstraint(1), x <= 1),
     "^Indicator condition has already been added as a constraint to the problem$"),
    (lambda p, b, x, y: (b[0], deleted_from(p, x <= 1)), "^Constraint has been deleted from the problem$"),
    (lambda p, b, x, y: (deleted_from(p, b[0] == 1), x <= 1), "^Constraint has been deleted from the problem$"),
    (lambda p, b, x, y: (b[0], added_elsewhere()), "^Indicator constraint has already been added to another problem$"),
    (lambda p, b, x, y: (added_elsewhere(), x <= 1),
     "^Indicator condition has already been added as a constraint to another problem$"),
    (lambda p, b, x, y: (b[0], free_var() <= 1),
     "^Indicator constraint cannot be added because it contains unlinked variables$"),
    (lambda p, b, x, y: (b[0], kelvo.constraint.__new__(kelvo.constraint)), "^Constraint is not initialized$"),
    (lambda p, b, x, y: (kelvo.constraint.__new__(kelvo.constraint), x <= 1), "^Constraint is not initialized$"),
    # A failure in the second pair takes back the first one's row.
    (lambda p, b, x, y: ((b[0], x <= 3), (b[1] == 2, y <= 3)), "^Invalid indicator expression"),
    (lambda p, b, x, y: (lambda c: ((b[0], c), (b[1], c)))(x <= 3), "^Constraint already added to this problem$"),
])
def test_refused_indicators_leave_the_store_as_it_was(model, pairs, message):
    p, b, x, y = model
    p.addConstraint(kelvo.constraint(body=x - y, lb=1, ub=5), b[1] == 1)
    before = indicators(p)
    args = pairs(p, b, x, y)
    with pytest.raises(kelvo.ModelError, match=message):
        p.addIndicator(*args)
    assert indicators(p) == before and len(p.getConstraint()) == 2


def test_a_refused_call_leaves_its_constraints_free_to_add_again(model):
    p, b, x, y = model
    c = x <= 3
    with pytest.raises(kelvo.ModelError, match="^Invalid indicator expression"):
        p.addIndicator((b[0], c), (b[1] == 2, y <= 3))
    assert c.index is None and indicators(p) == (0, [])
    p.addIndicator(b[0], c)
    assert c.index == 0 and indicators(p) == (1, [(0, 0, 1)])


def test_indicators_of_a_problem_with_unlinked_variables():
    u = kelvo.problem()
    b, x = free_var(vartype=kelvo.binary), free_var(ub=5)
    u.addVariable(b, x)
    u.addIndicator((b == 0, x <= 2), (b, x >= 1))
    assert indicators(u) == (2, [(0, 0, -1), (1, 0, 1)])
    with pytest.raises(kelvo.ModelError,
                       match="^Indicator constraint cannot be added because one or more variables are linked to "
                             "another problem$"):
        u.addIndicator(b, other_problem().getVariable(0) <= 1)
    assert indicators(u)[0] == 2
