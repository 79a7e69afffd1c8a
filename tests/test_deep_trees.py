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
"""


def test_a_deep_tree_combines_compares_and_is_released():
    out = run_fresh(DEEP + """
kinds = {type(r).__name__ for r in (e + x, e * 2, kelvo.Sum([e, x]), kelvo.sin(e), -e, e * -1.5, x - e)}
c = e <= 1
copy = e * 1  # a full copy
same, other = kelvo.is_equal(e, copy), kelvo.is_equal(e, -copy)
q = kelvo.problem()
y = q.addVariable()
try:
    e + y
except kelvo.ModelError as err:
    mixed = str(err)
del e, copy, c
print(kinds, same, other)
print(mixed)
""")
    assert out.splitlines() == ["{'nonlinear'} True False", "Variables from different problems in expression"]


def test_depth_limited_walks_refuse_a_deep_tree():
    out = run_fresh(DEEP + """
print('[MAX RECURS LEV]' in str(e), e.extractLinear())
for call in (lambda: kelvo.evaluate(e, solution={x: 1.0}), lambda: p.addConstraint(e <= 1),
             lambda: p.addConstraint(e + x >= 0)):
    try:
        call()
    except (RuntimeError, kelvo.ModelError) as err:
        print(type(err).__name__, err)
print(p.attributes.rows)
""")
    assert out.splitlines() == [
        "True ([], [])",
        "RuntimeError Evaluation of expression exceeded recursion depth limit",
        "ModelError The expression tree depth reached the maximum limit, please reformulate or simplify the expression",
        "ModelError The expression tree depth reached the maximum limit, please reformulate or simplify the expression",
        "0"]
