"""The problem's nonlinear layer: its controls and attributes by name, the layer settings a new
problem gets, copy and read with formulas, and Python functions called from formulas."""
import gc
import weakref

import pytest

import kelvo
from conftest import run_fresh
from helpers import DATA

OBJSENSE, DERIVATIVES = 12146, 12415
OPEN, COL, USER, END = 22, 10, 11, 0


@pytest.fixture(autouse=True)
def layer(nonlinear):
    kelvo.setdefaults()
    yield
    kelvo.setdefaults()


@pytest.fixture
def model():
    p = kelvo.problem()
    x = p.addVariable(name="x")
    y = p.addVariable(name="y")
    return p, x, y


# ---- controls and attributes by name ----------------------------------------------------------


def test_layer_controls_by_name_the_sense_and_the_users_defaults_reach_the_layer(t):
    p = kelvo.problem()
    p.controls.kslp_iterlimit = 50
    p.setControl({"ip_mustrategy": 1, "kslp_feastol": 1e-5})
    assert t.slp_control(p, 12100, False) == 50
    assert t.slp_control(p, 12702, False) == 1
    assert p.getControl("kslp_feastol", "ip_mustrategy") == {"kslp_feastol": 1e-5, "ip_mustrategy": 1}
    with pytest.raises(kelvo.ModelError, match="Cannot set non-integer value to an integer control"):
        p.controls.kslp_iterlimit = 2.5
    assert t.slp_control(p, 12100, False) == 50
    assert t.slp_control(p, OBJSENSE, True) == 1.0
    q = kelvo.problem(sense=kelvo.maximize)
    assert t.slp_control(q, OBJSENSE, True) == -1.0
    q.reset()
    assert t.slp_control(q, OBJSENSE, True) == 1.0
    # Exact derivatives unless a default says otherwise: the user's defaults come after the
    # problem's own settings.
    assert t.slp_control(p, DERIVATIVES, False) == 0
    kelvo._getcontrols().kslp_derivatives = 1
    assert t.slp_control(kelvo.problem(), DERIVATIVES, False) == 1


def test_layer_attributes_follow_formulas_and_stay_out_of_objective_attributes(model):
    p, x, y = model
    p.addConstraint(kelvo.sin(x) + y <= 1, x * kelvo.exp(y) <= 4)
    assert p.attributes.kslp_formulas == 1
    assert p.getAttrib("kslp_coefficients") == 1
    with pytest.raises(kelvo.ModelError, match="A problem's attribute cannot be set"):
        p.attributes.kslp_formulas = 0
    per_solve = p.getAttrib(solveidx=0)
    assert per_solve and not any(name.startswith(("kslp_", "ip_")) for name in per_solve)
    with pytest.raises(kelvo.InterfaceError, match="Only KLVO attributes are supported"):
        p.objattribs[0].kslp_formulas


def test_postsolve_is_on_for_new_problems_while_the_library_default_is_off():
    assert kelvo._getcontrols().kslp_postsolve == 1
    out = run_fresh("""
        import kelvo
        p = kelvo.problem()
        print(p.controls.kslp_postsolve, kelvo._getcontrols().kslp_iterlimit)
        kelvo.setdefaults()
        q = kelvo.problem()
        print(q.controls.kslp_postsolve)
    """)
    assert out.split() == ["1", "3000", "0"]


# ---- copy and read ---------------------------------------------------------------------------


def test_copies_and_written_files_keep_formulas_layer_controls_and_the_nonlinear_state(t, model, tmp_path):
    p, x, y = model
    p.addConstraint(kelvo.sin(x) + y <= 1, x * kelvo.exp(y) <= 4, x + y >= 0)
    p.controls.kslp_iterlimit = 77
    p.controls.ip_boundpush = 0.5
    q = p.copy()
    assert q.controls.kslp_iterlimit == 77 and q.controls.ip_boundpush == 0.5
    q.controls.kslp_iterlimit = 5
    assert p.controls.kslp_iterlimit == 77
    for name in ("nl.mps", "nl.lp"):
        p.write(str(tmp_path / name))
        r = kelvo.problem()
        r.read(str(tmp_path / name))
        # Copies and files know they hold two nonlinear constraints: they write them with the model.
        for other in (q, r):
            assert t.formulas(other) == t.formulas(p)
            assert str(other.getConstraint(0).getBody()) == "y + sin(x)"
            other.write(str(tmp_path / ("again_" + name)))
            assert (tmp_path / ("again_" + name)).read_text().count("FORMULA") == 2


# ---- user functions --------------------------------------------------------------------------


def minus_twice(a, b):
    return a - 2 * b


def test_a_user_function_is_registered_once_per_arity_and_named_by_its_id(t, model):
    p, x, y = model
    p.addConstraint(kelvo.user(minus_twice, x, y) <= 1)
    # The arguments go last to first after the opening token, then the function's id.
    assert t.formulas(p) == [(0, -1000, 1.0, [(OPEN, 0.0), (COL, 1.0), (COL, 0.0), (USER, 1.0), (END, 0.0)])]
    p.addConstraint(kelvo.user(minus_twice, y, x) >= -1, kelvo.user(abs, x) <= 2)
    functions, retired = t.user_functions(p)
    assert [(f, n, code, i) for f, n, code, i, _ in functions] == [(minus_twice, 2, 27, 1), (abs, 1, 27, 2)]
    assert retired == 0
    assert t.formulas(p)[1][3] == [(OPEN, 0.0), (COL, 0.0), (COL, 1.0), (USER, 1.0), (END, 0.0)]
    # The same function with another arity is another registration.
    p.addConstraint(kelvo.user(lambda *a: sum(a), x, y, x, derivatives="always") <= 3)
    functions, _ = t.user_functions(p)
    assert [(n, code, i) for _, n, code, i, _ in functions][-1] == (3, 28, 3)
    # Inside a larger formula the call sits among the other tokens.
    p.addConstraint(2 * kelvo.user(minus_twice, x, kelvo.exp(y)) + x * y <= 1)
    tokens = t.formulas(p)[-1][3]
    assert tokens[:3] == [(OPEN, 0.0), (OPEN, 0.0), (COL, 1.0)]
    assert (USER, 1.0) in tokens and tokens[-1] == (END, 0.0)


def test_a_user_node_without_its_function_adds_nothing(t, model):
    p, x, y = model
    with pytest.raises(kelvo.ModelError, match="First argument of a user\\(\\) operator must be the function itself"):
        p.addConstraint(t.node(27, (2.0, x)) <= 1)
    with pytest.raises(kelvo.ModelError, match="Invalid user function, must specify at least one argument"):
        p.addConstraint(t.node(27, [minus_twice, x]) <= 1)
    assert t.rows(p) == [] and t.user_functions(p) == ([], 0)


def user_tokens(p, t, node):
    p.addConstraint(node <= 0)
    return t.formulas(p)[-1][3]


@pytest.mark.parametrize("derivatives,result,expected,gradient,arities", [
    # Value-only functions are differentiated numerically.
    ("never", lambda a, b: a - 2 * b, -8.0, pytest.approx([1.0, -2.0], rel=1e-5), {2}),
    # Returned derivatives are used as they are (not approximated).
    ("always", lambda a, b: (a * b, b, a), 10.0, [5.0, 2.0], {2}),
    # Asked for derivatives, an on-demand function also gets the request numbers.
    ("ondemand", lambda a, b: (a * b + 1, 7.0, 0.5), 11.0, [7.0, 0.5], {2, 4}),
])
def test_the_layer_calls_the_function_for_values_and_derivatives(t, model, derivatives, result, expected, gradient,
                                                                 arities):
    p, x, y = model
    calls = []

    def f(*args):
        calls.append(args)
        return result(*args[:2])

    tokens = user_tokens(p, t, kelvo.user(f, x, y, derivatives=derivatives))
    assert t.derivatives(p, tokens, [2.0, 5.0]) == (expected, gradient)
    assert calls[0][:2] == (2.0, 5.0) and {len(c) for c in calls} == arities


def boom(a, b):
    raise ValueError("no value here")


@pytest.mark.parametrize("f,derivatives,error,message", [
    (lambda a, b: a * b, True, kelvo.ModelError, "User function must return a tuple containing result and all"),
    (boom, False, ValueError, "no value here"),
    (lambda a, b: "one", False, kelvo.ModelError, "User function must return a number"),
])
def test_a_failing_user_function_fails_the_call_and_leaves_the_problem(t, model, f, derivatives, error, message):
    p, x, y = model
    tokens = user_tokens(p, t, kelvo.user(f, x, y, derivatives=derivatives))
    with pytest.raises(error, match=message):
        t.derivatives(p, tokens, [2.0, 5.0])
    assert p.getControl("kslp_iterlimit") == 3000 and p.attributes.cols == 2


def test_the_problem_keeps_its_functions_alive_until_released(t, model):
    p, x, y = model

    def f(a):
        return 2 * a

    ref = weakref.ref(f)
    tokens = user_tokens(p, t, kelvo.user(f, x))
    del f
    gc.collect()
    assert ref() is not None
    assert t.derivatives(p, tokens, [4.0, 0.0])[0] == 8.0
    p.reset()
    gc.collect()
    assert ref() is None


def test_a_copy_shares_the_functions_and_outlives_its_source(t):
    p = kelvo.problem()
    x, y = p.addVariable(), p.addVariable()
    tokens = user_tokens(p, t, kelvo.user(lambda a, b: a + 10 * b, x, y))
    q = p.copy()
    functions, _ = t.user_functions(q)
    assert len(functions) == 1 and functions[0][4] == 2
    del p, x, y
    gc.collect()
    assert t.derivatives(q, tokens, [1.0, 2.0])[0] == 21.0
    assert t.user_functions(q)[0][0][4] == 1


def test_reading_a_plain_file_leaves_no_formulas_or_functions_behind(t, model, tmp_path):
    p, x, y = model
    p.addConstraint(kelvo.sin(x) + y <= 1)
    user_tokens(p, t, kelvo.user(minus_twice, x, y))
    p.read(str(DATA / "afiro.mps"))
    assert t.formulas(p) == [] and t.user_functions(p) == ([], 1)
    assert p.attributes.kslp_formulas == 0 and p.attributes.kslp_coefficients == 0
    # Nothing nonlinear is left: the plain writer is used.
    p.write(str(tmp_path / "afiro.mps"))
    assert "FORMULA" not in (tmp_path / "afiro.mps").read_text()
    # The registry starts afresh.
    v = p.getVariable(0)
    assert user_tokens(p, t, kelvo.user(minus_twice, v, v))[-2] == (USER, 2.0)


# ---- elementary functions ---------------------------------------------------------------------

# Where the library evaluates each function with its derivative (it refuses non-finite values
# and points where a derivative does not exist).
ELEMENTARY_DOMAINS = {
    "exp": lambda u: u < 700, "log": lambda u: u > 0, "log10": lambda u: u > 0,
    "sin": lambda u: True, "cos": lambda u: True, "tan": lambda u: True,
    "asin": lambda u: -1 < u < 1, "acos": lambda u: -1 < u < 1, "atan": lambda u: True,
    "abs": lambda u: True, "sign": lambda u: True, "erf": lambda u: True, "erfc": lambda u: True,
    "sqrt": lambda u: u > 0,
}
GRID = [-1e3, -25.0, -3.7, -1.0, -0.999, -0.5, -1e-7, 0.0, 1e-300, 1e-7, 0.1, 0.3, 0.5, 0.999, 1.0,
        2.5, 3.0, 10.0, 1e3, 1e5]


def test_numbers_expressions_and_formula_rows_give_the_same_bits(t):
    """kelvo.f(number), kelvo.evaluate(kelvo.f(x)) and the library's evaluator of the row's
    formula read one table; any divergence between them shows here."""
    p = kelvo.problem()
    x = p.addVariable(lb=-kelvo.infinity)
    compared = 0
    for name, inside in ELEMENTARY_DOMAINS.items():
        f = getattr(kelvo, name)
        tokens = user_tokens(p, t, f(x))
        for u in filter(inside, GRID):
            number = f(u)
            evaluated = kelvo.evaluate(f(x), solution={x: u})
            formula = t.derivatives(p, tokens, [u])[0]
            assert number.hex() == evaluated.hex() == formula.hex(), (name, u)
            compared += 1
    assert compared > 200
    # The most accurate standard functions: exact at powers of ten.
    assert [kelvo.log10(v) for v in (0.1, 1e-3, 1e3)] == [-1.0, -3.0, 3.0]
    assert kelvo.evaluate(kelvo.log10(x), solution={x: 0.1}) == -1.0
