"""Trees far deeper than the C stack: built, combined, compared and released without a crash,
refused with a clear error where a depth limit applies. Each runs in a fresh interpreter, so
that a crash fails the test instead of ending the session."""
from conftest import run_fresh

DEEP = """
import kelvo
p = kelvo.problem()
x = p.addVariable()
e = kelvo.exp(x)
for _ in range(10 ** 6):
    e = -e
# Products, quotients and negations in turn: lists, tuples and single operands.
t = kelvo.sin(x)
for i in range(10 ** 6):
    t = x * t if i % 3 else (x / t if i % 2 else -t)
"""


def test_a_deep_tree_combines_compares_and_is_released():
    out = run_fresh(DEEP + """
kinds = {type(r).__name__ for r in (e + x, e * 2, kelvo.Sum([e, x]), kelvo.sin(e), -e, e * -1.5, x - e)}
c = e <= 1
copy, t_copy = e * 1, t * 1  # full copies
same = kelvo.is_equal(e, copy) and kelvo.is_equal(t, t_copy) and kelvo.is_equal(t_copy, t)
other = kelvo.is_equal(e, -copy) or kelvo.is_equal(t, x * t_copy)
q = kelvo.problem()
y = q.addVariable()
try:
    e + y
except kelvo.ModelError as err:
    mixed = str(err)
del e, copy, c, t, t_copy
print(kinds, same, other)
print(mixed)
""")
    assert out.splitlines() == ["{'nonlinear'} True False", "Variables from different problems in expression"]


def test_depth_limited_walks_refuse_a_deep_tree():
    out = run_fresh(DEEP + """
print('[MAX RECURS LEV]' in str(e), '[MAX RECURS LEV]' in str(t), e.extractLinear())
for call in (lambda: kelvo.evaluate(e, solution={x: 1.0}), lambda: p.addConstraint(e <= 1),
             lambda: p.addConstraint(t + x >= 0)):
    try:
        call()
    except (RuntimeError, kelvo.ModelError) as err:
        print(type(err).__name__, err)
print(p.attributes.rows)
""")
    assert out.splitlines() == [
        "True True ([], [])",
        "RuntimeError Evaluation of expression exceeded recursion depth limit",
        "ModelError The expression tree depth reached the maximum limit, please reformulate or simplify the expression",
        "ModelError The expression tree depth reached the maximum limit, please reformulate or simplify the expression",
        "0"]


def test_deep_chains_find_their_variable_after_nodes_are_released_and_reused():
    # Deep chains of single operands find their first variable without walking the chain; the
    # answer must stay right as chains are released and their memory reused for others.
    out = run_fresh("""
import kelvo
p, q = kelvo.problem(), kelvo.problem()
x, y = p.addVariable(), q.addVariable()
def chain(v, n):
    t = v
    for i in range(n):
        t = kelvo.sin(t) if i % 2 else kelvo.exp(t)
    return t
def outcome(f):
    try:
        f()
        return "ok"
    except kelvo.ModelError as err:
        return str(err)
for n in (31, 32, 33, 1000):
    a = chain(x, n)
    del a
    b = chain(y, n)
    print(outcome(lambda: b + y), outcome(lambda: b + x) == "Variables from different problems in expression")
c = chain(x, 100)
p.delVariable(x)
print(outcome(lambda: kelvo.cos(c)))
""")
    assert out.splitlines() == ["ok True"] * 4 + ["Deleted variable in expression"]
