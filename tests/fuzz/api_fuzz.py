"""Random sequences of kelvo calls with hostile arguments, each run in a child interpreter.

Every call must either succeed or raise an ordinary exception; a crash (signal, abort), a hang
past the timeout, an exception of an unexpected kind (SystemError, which is also what an error
left pending becomes, RecursionError, ...) or a refused call that still changed the number of
columns or rows is a failure. For each failure the fuzzer prints a standalone reproducer (seed,
sequence number and the Python source of the calls), shrunk by dropping calls while the failure
stays of the same kind.

    python tests/fuzz/api_fuzz.py [--seed N] [--sequences N] [--length N] [--jobs N] [--timeout S]

Sequences are generated from (seed, sequence number) alone, so a reported pair regenerates the
same calls. Each call is one `with ok():` block; the block checks its outcome and the model's
state. A child interpreter runs many sequences in turn, each in a fresh namespace; after a
failure the failing sequence is run again alone to confirm and shrink it.
"""
import argparse
import concurrent.futures
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

# Runs in the child before every sequence: the checked block, the object pools and the hostile
# argument types the generated calls draw on.
PRELUDE = r'''
import gc, math, os, sys, threading, warnings
import numpy as np
import kelvo
warnings.simplefilter("ignore")
TMP = os.environ.get("FUZZ_TMP", ".")
ALLOWED = (kelvo.ModelError, kelvo.InterfaceError, kelvo.SolverError, TypeError, ValueError, OverflowError,
           IndexError, KeyError, ZeroDivisionError, AttributeError, MemoryError)
# The RuntimeErrors evaluate documents: an object it cannot evaluate, a tree past its depth limit.
RUNTIME_MESSAGES = ("Cannot evaluate", "Evaluation of expression exceeded recursion depth limit")

class Boom(Exception): pass
class Skip(Exception): pass
class Failure(AssertionError): pass

P, V, C, E, S, T = [], [], [], [], [], []  # problems, variables, constraints, expressions, sets, threads

def counts():
    out = []
    for p in P:
        try: out.append((p.attributes.cols, p.attributes.rows, p.attributes.sets, p.attributes.indicators))
        except Exception: out.append(None)
    return out

class ok:
    """One call: success or an allowed exception; a refused call leaves the sizes unchanged."""
    def __enter__(self):
        self.before = counts()
    def __exit__(self, kind, err, tb):
        if kind is None or kind is Skip:
            return True
        if issubclass(kind, RecursionError) or not issubclass(kind, ALLOWED + (Boom, RuntimeError)):
            raise Failure(f"{kind.__name__}: {err}") from err
        if kind is RuntimeError and not str(err).startswith(RUNTIME_MESSAGES):
            raise Failure(f"{kind.__name__}: {err}") from err
        after = counts()[:len(self.before)]
        if after != self.before and not any(t.is_alive() for t in T):
            raise Failure(f"refused call ({kind.__name__}: {err}) changed sizes {self.before} -> {after}")
        return True

def pick(pool, k):
    if not pool: raise Skip
    return pool[k % len(pool)]

def keep(pool, obj):
    pool.append(obj)
    return obj

def flat(obj):
    if isinstance(obj, dict): return list(obj.values())
    if isinstance(obj, np.ndarray): return list(obj.ravel())
    return [obj]

def nest(obj, depth):
    for _ in range(depth):
        obj = [obj]
    return obj

def deep(leaf, depth, kind):
    e = kelvo.exp(leaf) if kind == 0 else leaf
    for i in range(depth):
        e = -e if kind == 0 else (leaf * e if i % 2 else leaf / e)
    return e

class BadFloat:
    def __float__(self): raise Boom("float")
class BadIndex:
    def __index__(self): raise Boom("index")
    def __int__(self): raise Boom("int")
class BadHash:
    def __hash__(self): raise Boom("hash")
class BadEq:
    def __hash__(self): return hash(pick(V, 0)) if V else 1
    def __eq__(self, other): raise Boom("eq")
class BadStr(str):
    def __str__(self): raise Boom("str")
    def __hash__(self): raise Boom("hash")
class BadIter:
    def __iter__(self): raise Boom("iter")
    def __len__(self): return 3
class Lying:
    """A sequence whose length is not the number of its items."""
    def __init__(self, items, n): self.items, self.n = list(items), n
    def __len__(self): return self.n
    def __getitem__(self, i):
        if i >= len(self.items): raise IndexError
        return self.items[i]
class Clears:
    """A number that empties the container holding it when converted."""
    def __init__(self, owner): self.owner = owner
    def __float__(self):
        self.owner.clear()
        return 1.0
    __index__ = lambda self: (self.owner.clear(), 1)[1]

def clearing(items):
    out = list(items)
    out.insert(len(out) // 2, Clears(out))
    return out

def gen_clearing(items):
    items = list(items)
    def g():
        for i, it in enumerate(items):
            if i == 1: items.clear()
            yield it
    return g()

class Grows:
    """A number that grows every pooled expression when converted."""
    def __float__(self):
        for i, e in enumerate(E):
            try: E[i] = e + pick(V, i)
            except Exception: pass
        return 2.0

def userfn(kind):
    def f(*a):
        if kind == 0: return sum(a)
        if kind == 1: raise Boom("user")
        if kind == 2: return float("nan")
        if kind == 3: return "text"
        if kind == 4:
            E.clear(); V.clear()
            return 1.0
        return (a[0] - 1.0) ** 2 if a else 0.0
    return f

GATE = threading.Event()

def solve_in_thread():
    """Starts a solve of a fresh nonlinear problem that waits in its user function until the
    gate opens; the problem joins the pool, so later calls meet a problem being solved."""
    q = keep(P, kelvo.problem())
    x = keep(V, q.addVariable(lb=-5, ub=5))
    def held(a):
        GATE.wait(5)
        GATE.set()  # only the first call waits
        return (a - 1.0) ** 2
    q.setOutputEnabled(False)
    if kelvo._kelvo._testing.nlp_flag() == 1:
        q.addConstraint(kelvo.user(held, x) <= 4)
    q.setObjective(x)
    GATE.clear()
    t = threading.Thread(target=lambda: ok_call(q.optimize), daemon=True)
    T.append(t)
    t.start()

ERRORS = []
def ok_call(f, *a):
    try:
        with ok(): f(*a)
    except Failure as e:
        ERRORS.append(e)

def setup():
    """Two small problems to start from: bounded columns of two types, rows, an objective."""
    for k in range(2):
        p = keep(P, kelvo.problem(name=f"p{k}"))
        p.setOutputEnabled(False)
        x = flat(p.addVariables(3, lb=-2, ub=3, name="x")) + [p.addVariable(vartype=kelvo.integer, lb=0, ub=4)]
        rows = [kelvo.constraint(x[0] + 2 * x[1] <= 3), x[2] - x[0] >= -1]
        p.addConstraint(rows)
        p.setObjective(x[0] - x[1] + x[3])
        V.extend(x)
        C.extend(rows)
        E.extend([x[0] * x[1] + 1, kelvo.sin(x[2]) + x[0], 2 * x[1] - 3])

setup()

def release_threads():
    GATE.set()
    for t in T:
        t.join(30)
        if t.is_alive(): raise Failure("a solving thread did not finish")
    if ERRORS: raise ERRORS[0]
'''

# Runs sequences in turn; `report` gets a line before each sequence and one per failure.
CHILD = r'''
import gc, os, sys, traceback
exec(compile(PRELUDE_SOURCE, "<prelude>", "exec"), {})  # warms imports
report = open(sys.argv[2], "a", buffering=1)
for item in open(sys.argv[1]).read().split("\0"):
    if not item: continue
    number, body = item.split("\n", 1)
    report.write(f"start {number}\n")
    scope = {"__name__": "__fuzz__"}
    try:
        exec(compile(PRELUDE_SOURCE, "<prelude>", "exec"), scope)
        exec(compile(body + "\nrelease_threads()\n", f"<sequence {number}>", "exec"), scope)
    except BaseException as e:
        if isinstance(e, (KeyboardInterrupt, SystemExit)): raise
        tb = traceback.extract_tb(e.__traceback__)
        line = next((f.lineno for f in reversed(tb) if f.filename.startswith("<sequence")), 0)
        report.write(f"fail {number} {line} {type(e).__name__}: {str(e)[:300]!r}\n")
        try: scope["release_threads"]()
        except BaseException: pass
    scope.clear()
    gc.collect()
report.write("end\n")
'''

NUMBERS = ["0", "1", "-1", "2.5", "-3", "4", "0.5", "1e-9", "7"]
HOSTILE_NUMBERS = ["float('nan')", "float('inf')", "-float('inf')", "10**30", "2**63", "-2**64", "1e308",
                   "True", "np.float64(2)", "np.int64(3)", "BadFloat()", "BadIndex()", "None", "'3'", "'a\\0b'",
                   "Grows()", "[1, 2]", "np.array([1.0, 2.0])", "object()", "complex(1, 1)"]
NAMES = ["'x'", "'a b'", "''", "None", "'a\\0b'", "'é' * 300", "'n' * 5000", "BadStr('s')", "7", "b'x'",
         "'x(1)'", "'\\ud800'"]
FUNCTIONS = ["sin", "cos", "tan", "exp", "log", "log10", "abs", "sqrt", "sign", "erf", "erfc", "asin", "acos", "atan"]
CONTROLS = ["presolve", "feastol", "timelimit", "threads", "maxnode", "outputlog", "miprelstop", "mpsobjname",
            "randomseed", "defaultalg", "lpiterlimit", "kslp_engineoptions", "cutoff", "nosuchcontrol", "FEASTOL"]
INDEX_SETS = ["2", "3", "2, 2", "['a', 'b']"]
HOSTILE_SETS = ["Lying('ab', 9)", "BadIter()", "0", "2**40", "clearing([1, 2, 3])", "BadHash(), 1", "['a', 'a']",
                "[BadStr('s')]", "nest([1], 40)", "['a\\0b']", "gen_clearing(['a', 'b', 'c'])", "-1", "2**31, 2**31"]
ATTRIBUTES = ["cols", "rows", "lpstatus", "mipstatus", "objval", "probname", "stopstatus", "solstatus", "nosuch"]


class Gen:
    """Source text for one random call; `hostile` is the share of hostile arguments."""

    def __init__(self, rng, hostile, deep_share, max_depth):
        self.r, self.hostile, self.deep_share, self.max_depth = rng, hostile, deep_share, max_depth

    def k(self):
        return self.r.randrange(1000)

    def bad(self):
        return self.r.random() < self.hostile

    def num(self):
        return f"({self.r.choice(HOSTILE_NUMBERS if self.bad() else NUMBERS)})"

    def name(self):
        return self.r.choice(NAMES) if self.bad() else repr(f"n{self.r.randrange(100)}")

    def var(self):
        return f"pick(V, {self.k()})"

    def term(self, depth=0):
        r = self.r.random()
        if r < 0.35:
            return self.var()
        if r < 0.5:
            return self.num()
        if r < 0.65 or depth > 2:
            return f"pick(E, {self.k()})"
        if r < 0.8:
            return f"kelvo.{self.r.choice(FUNCTIONS)}({self.term(depth + 1)})"
        if r < 0.9:
            args = ", ".join(self.term(depth + 1) for _ in range(self.r.randrange(1, 4)))
            return f"kelvo.{self.r.choice(['Sum', 'Prod', 'max', 'min'])}({args})"
        if r < 0.95:
            return f"kelvo.user(userfn({self.r.randrange(6)}), {self.term(depth + 1)})"
        return f"kelvo.Sum([{self.term(depth + 1)}, {self.term(depth + 1)}])"

    def expr(self):
        e = self.term()
        for _ in range(self.r.randrange(3)):
            op = self.r.choice(["+", "-", "*", "/", "**"])
            # A power of two plain integers would be Python's own (endless) arithmetic.
            right = self.r.choice(["2", "0.5", self.var()]) if op == "**" else self.term()
            e = f"({e} {op} {right})"
        return e

    def container(self, items):
        """Items inside a randomly chosen (possibly hostile) container."""
        choice = self.r.randrange(10 if self.bad() else 4)
        return [f"[{items}]", f"({items},)", f"{{i: o for i, o in enumerate([{items}])}}",
                f"np.array([{items}], dtype=object)", f"iter([{items}])", f"clearing([{items}])",
                f"gen_clearing([{items}])", f"Lying([{items}], {self.r.choice(['10', '0', '2**62', '-1'])})",
                f"nest([{items}], {self.r.choice(['31', '33', '1000'])})", "BadIter()"][choice]

    def problem(self):
        return f"pick(P, {self.k()})"

    def constraint(self):
        op = self.r.choice(["<=", ">=", "=="])
        if self.r.random() < 0.2:
            return (f"kelvo.constraint(body={self.expr()}, lb={self.num()}, ub={self.num()}, "
                    f"type={self.r.choice(['kelvo.leq', 'kelvo.rng', '9', '2**40'])}, name={self.name()})")
        return f"{self.expr()} {op} {self.num()}"

    def solution(self):
        r = self.r.randrange(4)
        if r == 0:
            return f"[{', '.join(self.num() for _ in range(self.r.randrange(6)))}]"
        if r == 1:
            return f"{{{self.var()}: {self.num()}, {self.var()}: {self.num()}}}"
        if r == 2:
            return f"clearing([{', '.join(self.num() for _ in range(4))}])"
        return f"np.linspace(0, 1, {self.r.randrange(8)})"

    def step(self):
        g, r = self, self.r
        p, k = self.problem(), self.k()
        steps = [
            (4, lambda: f"keep(P, kelvo.problem({self.r.choice(['', 'name=' + g.name(), 'sense=kelvo.maximize', 'sense=' + g.num()])}))"),
            (6, lambda: f"keep(V, {p}.addVariable(lb={g.num()}, ub={g.num()}, vartype={r.choice(['kelvo.continuous', 'kelvo.integer', 'kelvo.binary', '7', '2**40', 'BadIndex()'])}, name={g.name()}))"),
            (4, lambda: f"V.extend(flat({p}.addVariables({r.choice(HOSTILE_SETS if g.bad() else INDEX_SETS)}, lb={g.num()}, ub={g.num()}, name={g.name()})))"),
            (8, lambda: f"E.append({g.expr()})"),
            (6, lambda: f"C.extend(flat({p}.addConstraint({g.container(', '.join(g.constraint() for _ in range(r.randrange(1, 4))))})))"),
            (2, lambda: f"keep(C, kelvo.constraint({g.constraint()}, name={g.name()}))"),
            (4, lambda: f"{p}.setObjective({g.expr()}, sense={r.choice(['kelvo.minimize', 'kelvo.maximize', g.num()])})"),
            (1, lambda: f"{p}.addObjective({g.expr()}, priority={g.num()}, weight={g.num()})"),
            (3, lambda: f"{p}.delVariable({r.choice([g.var(), g.container(g.var() + ', ' + g.var()), 'first=0, last=' + g.num(), g.name()])})"),
            (3, lambda: f"keep(S, {p}.addSOS([{', '.join(g.var() for _ in range(r.randrange(4)))}], [{', '.join(g.num() for _ in range(r.randrange(4)))}], type={r.choice(['1', '2', '2', g.num()])}, name={g.name()}))"),
            (2, lambda: f"{p}.delSOS({r.choice(['pick(S, %d)' % k, g.container('pick(S, %d)' % k), 'first=0, last=' + g.num(), g.name()])})"),
            (3, lambda: f"{p}.addIndicator({g.container(', '.join('(%s, %s)' % (r.choice([g.var(), g.var() + ' == ' + r.choice(['0', '1', '0.5']), g.constraint()]), r.choice([g.constraint(), 'pick(C, %d)' % k])) for _ in range(r.randrange(1, 3))))})"),
            (3, lambda: f"{p}.delConstraint({r.choice(['pick(C, %d)' % k, g.container('pick(C, %d)' % k), 'first=0, last=' + g.num()])})"),
            (6, lambda: f"setattr({g.var()}, {r.choice(['lb', 'ub', 'vartype', 'name', 'lb', 'ub'])!r}, {r.choice([g.num(), g.name()])})"),
            (3, lambda: f"setattr(pick(C, {k}), {r.choice(['rhs', 'lb', 'ub', 'type', 'name', 'rhsrange', 'body'])!r}, {r.choice([g.num(), g.name(), g.expr()])})"),
            (5, lambda: f"kelvo.evaluate({r.choice([g.expr(), g.container(g.expr() + ', ' + g.expr())])}, {r.choice(['problem=' + p, 'solution=' + g.solution(), 'problem=%s, solution=%s' % (p, g.solution())])})"),
            (4, lambda: f"{p}.{r.choice(['getSolution', 'getDuals', 'getSlacks', 'getRedCosts', 'getSolution'])}({r.choice(['', g.var(), 'pick(C, %d)' % k, g.container(g.var() + ', ' + g.var()), g.name(), g.num()])})"),
            (2, lambda: f"{p}.{r.choice(['getObjVal', 'getProbStatus', 'getProbStatusString', 'name', 'getOutputEnabled'])}()"),
            (5, lambda: f"{r.choice(['str', 'repr'])}({r.choice([g.expr(), g.var(), 'pick(C, %d)' % k, 'pick(E, %d)' % k, 'pick(S, %d)' % k, p])})"),
            (2, lambda: f"({r.choice([g.expr(), g.var(), 'pick(E, %d)' % k])}).{r.choice(['extractLinear', 'extractQuadratic'])}()"),
            (2, lambda: f"kelvo.is_equal({g.expr()}, {g.expr()})"),
            (3, lambda: f"{p}.write(os.path.join(TMP, {r.choice(['m.lp', 'm.mps', 'm.lp', 'sub/m.lp', 'x'])!r}))"),
            (2, lambda: f"{p}.read(os.path.join(TMP, {r.choice(['m.lp', 'm.mps', 'missing.lp', '.'])!r}))"),
            (4, lambda: f"{p}.setOutputEnabled(False); {p}.{r.choice(['optimize', 'optimize', 'solve', 'lpoptimize', 'mipoptimize'])}({r.choice(['', '', '', repr('k')])})"),
            (1, lambda: f"{p}.postsolve()"),
            (2, lambda: f"keep(P, {p}.copy())"),
            (1, lambda: f"{p}.reset()"),
            (1, lambda: "kelvo.free()"),
            (3, lambda: f"{p}.setControl({r.choice(CONTROLS)!r}, {r.choice([g.num(), g.name()])})"),
            (2, lambda: f"setattr({p}.controls, {r.choice(CONTROLS)!r}, {g.num()})"),
            (2, lambda: f"{p}.getControl({r.choice(CONTROLS)!r})"),
            (2, lambda: f"{r.choice(['getattr(%s.attributes, %r)' % (p, r.choice(ATTRIBUTES)), '%s.getAttrib(%r)' % (p, r.choice(ATTRIBUTES))])}"),
            (1, lambda: f"{p}.interrupt()"),
            (1, lambda: f"{p}.getVariable({r.choice(['', 'index=' + g.num(), 'index=' + g.container('0, 1'), 'first=0, last=' + g.num()])})"),
            (1, lambda: f"{p}.getIndex({r.choice([g.var(), 'pick(C, %d)' % k, 'pick(S, %d)' % k, g.num()])})"),
            (1, lambda: f"keep(P, kelvo.problem({g.container(g.var() + ', pick(C, %d)' % k)}))"),
            (1, lambda: "solve_in_thread()"),
            (1, lambda: "release_threads()"),
            (1, lambda: "del {0}[{1} % max(1, len({0}))]; gc.collect()".format(r.choice(['P', 'V', 'C', 'E', 'S']), k)),
        ]
        if r.random() < self.deep_share:
            depth = min(self.max_depth, r.choice([70, 70, 2000, 10 ** 5, 10 ** 6]))
            return f"E.append(deep({self.var()}, {depth}, {r.randrange(2)}))"
        total = sum(w for w, _ in steps)
        pick_at = r.uniform(0, total)
        for w, make in steps:
            pick_at -= w
            if pick_at <= 0:
                return make()
        return steps[-1][1]()


def generate(seed, number, length, hostile=0.25, deep_share=0.01, max_depth=10 ** 6):
    """The calls of sequence `number` of a run seeded with `seed`, as Python statements."""
    rng = random.Random(f"{seed}:{number}")
    g = Gen(rng, hostile, deep_share, max_depth)
    return [g.step() for _ in range(length)]


def body_of(steps):
    return "\n".join(f"with ok():  # {i}\n    {s}" for i, s in enumerate(steps))


def reproducer(seed, number, steps):
    """A script that runs the calls after the fuzzer's prelude."""
    head = (f"# kelvo api fuzz: seed {seed}, sequence {number}\n"
            f"import sys; sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})\n"
            "from api_fuzz import PRELUDE; exec(PRELUDE)\n")
    return head + body_of(steps) + "\nrelease_threads()\nprint('no failure')\n"


def run_child(sequences, timeout, tmp):
    """Runs [(number, steps)] in one child. Returns (failures, done): failures maps a sequence
    number to its failure text; sequences after a crash or hang are not in done."""
    env = dict(os.environ, FUZZ_TMP=tmp, PYTHONFAULTHANDLER="1")
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    work = os.path.join(tmp, "work")
    rep = os.path.join(tmp, "report")
    with open(work, "w") as f:
        f.write("\0".join(f"{n}\n{body_of(s)}" for n, s in sequences))
    open(rep, "w").close()
    code = f"PRELUDE_SOURCE = {PRELUDE!r}\n" + CHILD
    try:
        proc = subprocess.run([sys.executable, "-c", code, work, rep], env=env, cwd=tmp, timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        status, stderr = proc.returncode, proc.stderr.decode(errors="replace")
    except subprocess.TimeoutExpired as e:
        status, stderr = "timeout", (e.stderr or b"").decode(errors="replace")
    failures, done, current = {}, [], None
    for line in open(rep).read().splitlines():
        word, *rest = line.split(" ", 1)
        if word == "start":
            current = int(rest[0])
            done.append(current)
        elif word == "fail":
            number, text = rest[0].split(" ", 1)
            failures[int(number)] = "failure at line " + text
        elif word == "end":
            current = None
    if current is not None:
        why = f"hang past {timeout} s" if status == "timeout" else f"crash (exit status {status})"
        failures[current] = why + "\n" + stderr[-3000:]
        done.pop()
    return failures, done


def kind_of(text):
    """The class of a failure, to check that shrinking keeps the same one."""
    first = text.splitlines()[0]
    if first.startswith("failure at line"):
        return first.split(" ", 4)[-1].split(":")[0]
    return first.split(" (")[0]


def shrink(seed, number, steps, failure, timeout, tmp, budget):
    """Drops calls (halves, then one at a time) while the failure stays of the same kind."""
    want = kind_of(failure)
    deadline = time.monotonic() + budget

    def fails(candidate):
        f, _ = run_child([(number, candidate)], timeout, tmp)
        return number in f and kind_of(f[number]) == want

    chunk = max(1, len(steps) // 2)
    while chunk >= 1 and time.monotonic() < deadline:
        i, changed = 0, False
        while i < len(steps) and time.monotonic() < deadline:
            candidate = steps[:i] + steps[i + chunk:]
            if candidate and fails(candidate):
                steps, changed = candidate, True
            else:
                i += chunk
        if not changed:
            chunk //= 2
    return steps


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--seed", type=int, default=None, help="default: random")
    ap.add_argument("--sequences", type=int, default=200)
    ap.add_argument("--length", type=int, default=30, help="calls per sequence")
    ap.add_argument("--batch", type=int, default=25, help="sequences per child interpreter")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1, help="children run at once")
    ap.add_argument("--timeout", type=float, default=120, help="seconds per child before it counts as hung")
    ap.add_argument("--hostile", type=float, default=0.25)
    ap.add_argument("--deep", type=float, default=0.01, help="share of calls building deep trees")
    ap.add_argument("--max-depth", type=int, default=10 ** 6, help="deepest tree built")
    ap.add_argument("--shrink", type=float, default=120, help="seconds spent shrinking each failure")
    ap.add_argument("--first", type=int, default=0, help="first sequence number")
    args = ap.parse_args(argv)
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(2**32)
    print(f"kelvo api fuzz: seed {seed}, {args.sequences} sequences of {args.length} calls", flush=True)
    failures = {}
    start = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="kelvo-fuzz-") as tmp:
        numbers = range(args.first, args.first + args.sequences)
        batches = [list(numbers[i:i + args.batch]) for i in range(0, len(numbers), args.batch)]

        def run_batch(job):
            todo, folder = batches[job], os.path.join(tmp, str(job))
            os.mkdir(folder)
            while todo:  # after a crash, the rest of the batch runs in a new child
                found, done = run_child([(n, gen(n)) for n in todo], args.timeout, folder)
                failures.update(found)
                for n, text in found.items():
                    print(f"  sequence {n}: {text.splitlines()[0]}", flush=True)
                todo = [n for n in todo if n not in set(done) | set(found)]
            shutil.rmtree(folder)

        gen = lambda n: generate(seed, n, args.length, args.hostile, args.deep, args.max_depth)
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            for i, _ in enumerate(pool.map(run_batch, range(len(batches)))):
                if (i + 1) % 10 == 0:
                    print(f"  {min(len(numbers), (i + 1) * args.batch)} sequences, {len(failures)} failed, "
                          f"{time.monotonic() - start:.0f} s", flush=True)
        for number, text in sorted(failures.items()):
            steps = gen(number)
            confirmed, _ = run_child([(number, steps)], args.timeout, tmp)
            if number not in confirmed:
                print(f"\nsequence {number} failed with others but not alone:\n{text}", flush=True)
                continue
            steps = shrink(seed, number, steps, confirmed[number], args.timeout, tmp, args.shrink)
            final, _ = run_child([(number, steps)], args.timeout, tmp)
            print(f"\n==== seed {seed}, sequence {number}: {final.get(number, confirmed[number]).strip()}\n"
                  f"---- reproducer ({len(steps)} calls):\n{reproducer(seed, number, steps)}", flush=True)
    print(f"kelvo api fuzz: seed {seed}, {args.sequences} sequences, {len(failures)} failed, "
          f"{time.monotonic() - start:.1f} s", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
