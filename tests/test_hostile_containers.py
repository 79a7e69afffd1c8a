"""User code that changes a container (or an expression) while the extension walks it: each
case runs in a fresh interpreter, so that a crash fails the case, and must give the correct
result or a clear exception."""
import math

import pytest

from conftest import run_fresh

PRELUDE = """
import math, kelvo, numpy as np
p = kelvo.problem(); x = p.addVariable(); y = p.addVariable()
zs = [p.addVariable() for _ in range(64)]
sol = [2.0, 5.0] + [0.0] * 64
class Clears:
    def __init__(self, owner): self.owner = owner
    def __float__(self): self.owner.clear(); return 1.0
def outcome(f):
    try: return f()
    except Exception as e: return type(e).__name__
"""

CASES = {
    # A solution list emptied by the __float__ of one of its items.
    "solution list": ("""
        s = [None]; s[0] = Clears(s); s += [float(i) for i in range(70)]
        r = outcome(lambda: kelvo.evaluate(x, problem=p, solution=s))""", "InterfaceError"),
    # A list of objects emptied by a user function evaluated from it.
    "evaluated list": ("""
        objs = []
        def f(t): objs.clear(); return 2 * t
        objs += [kelvo.user(f, x) + 1, x + y, 3 * y]
        r = kelvo.evaluate(objs, problem=p, solution=sol)""", [5.0, 7.0, 15.0]),
    "evaluated dict": ("""
        d = {}
        def f(t): d.clear(); return t
        d["".join(["k", "1"])] = kelvo.user(f, x); d["".join(["k", "2"])] = x + y
        r = sorted(kelvo.evaluate(d, problem=p, solution=sol).values())""", [2.0, 7.0]),
    "evaluated array": ("""
        a = np.empty(2, dtype=object)
        def f(t): a[:] = 0; return t
        a[0] = kelvo.user(f, x) + 1; a[1] = x + 2 * y
        r = kelvo.evaluate(a, problem=p, solution=sol).tolist()""", [3.0, 12.0]),
    # A sum node grown in place by its own user function while its operands are walked.
    "nonlinear node": ("""
        box = {}
        def f(t):
            for z in zs: box["n"] += z * z
            return t
        box["n"] = kelvo.user(f, x) + 2 * x + kelvo.sin(y)
        r = kelvo.evaluate(box["n"], problem=p, solution=sol)""", 6 + math.sin(5)),
    # An expression grown in place (its maps rehash) while a dict solution is read.
    "expression by value __float__": ("""
        e = 2 * x + 3 * y
        class Grows:
            def __float__(self):
                global e
                for z in zs: e += z
                return 1.0
        r = kelvo.evaluate(e, solution={x: Grows(), y: 1.0})""", 5.0),
    "expression by key __eq__": ("""
        e = 2 * x + 3 * y
        class Key:
            armed = False
            def __hash__(self): return hash(x)
            def __eq__(self, other):
                global e
                if Key.armed:
                    for z in zs: e += z
                return False
        s = {Key(): 0.0, x: 1.0, y: 1.0}; Key.armed = True
        r = kelvo.evaluate(e, solution=s)""", 5.0),
    # A number in a tree is read by value, never through a subclass's __float__.
    "int subclass in a tree": ("""
        class I(int):
            def __float__(self): raise RuntimeError("called")
        r = kelvo.evaluate(kelvo.exp(x) * I(3), problem=p, solution=sol)""", 3 * math.exp(2)),
    # A sum node grown in place (its number taken out) by the number's own __str__.
    "printed node": ("""
        class S(int):
            def __str__(self):
                global n
                for z in zs: n += kelvo.exp(z)
                return "3"
        n = kelvo.sin(x) + kelvo.cos(x) + S(3)
        r = str(n)""", "sin(C1) + cos(C1) + 3"),
    "lying __len__": ("""
        class Lying:
            def __len__(self): return 10
            def __getitem__(self, i):
                if i >= 2: raise IndexError
                return [x, y][i]
        r = kelvo.evaluate(Lying(), problem=p, solution=sol)""", [2.0, 5.0]),
    "index set with lying __len__": ("""
        class Lying:
            def __len__(self): return 10
            def __getitem__(self, i):
                if i >= 2: raise IndexError
                return "ab"[i]
        r = (outcome(lambda: p.addVariables(Lying())), p.attributes.cols)""", ("IndexError", 66)),
    # A nested generator that empties the list holding it, in a solution query.
    "solution query": ("""
        p.setObjective(x + y); p.controls.outputlog = 0; x.lb = 1; y.lb = 2; p.optimize()
        outer = [x, None]
        def gen(): outer.clear(); yield y
        outer[1] = gen()
        r = p.getSolution(outer, flatten=True)""", [1.0, 2.0]),
    "user function raises": ("""
        r = outcome(lambda: kelvo.evaluate(kelvo.user(lambda t: 1 / 0, x), problem=p, solution=sol))""",
                             "ZeroDivisionError"),
}


@pytest.mark.parametrize("name", CASES)
def test_hostile_container(name):
    code, expected = CASES[name]
    indented = "\n".join(line[8:] for line in code.strip("\n").splitlines())
    out = run_fresh(PRELUDE + indented + "\nprint(repr(r))\n")
    result = eval(out)
    assert result == (pytest.approx(expected) if isinstance(expected, (float, list)) else expected)
