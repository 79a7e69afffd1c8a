"""Solving and reading solutions back: statuses, shapes of the query results, the LP duality
relations, the errors before a solve, and the deprecated forms."""

import math
import warnings

import numpy as np
import pytest

import kelvo
from kelvo.enums import SolStatus, SolveStatus

# max 3x + 5y  s.t.  plant1: x <= 4,  plant2: 2y <= 12,  plant3: 3x + 2y <= 18.
# Optimum x = 2, y = 6, value 36; duals (0, 1.5, 1); slacks (2, 0, 0).
PRODUCTION_LP = """\
Maximize
 obj: 3 x + 5 y
Subject To
 plant1: x <= 4
 plant2: 2 y <= 12
 plant3: 3 x + 2 y <= 18
End
"""

# Diet: min 2a + 3b  s.t.  protein: a + 2b >= 4,  fibre: 3a + b >= 6.
# Optimum a = 1.6, b = 1.2, value 6.8; duals (1.4, 0.2).
DIET_LP = """\
Minimize
 cost: 2 a + 3 b
Subject To
 protein: a + 2 b >= 4
 fibre: 3 a + b >= 6
End
"""

# max 5p + 4q + 3r  s.t.  cap: 2p + 3q + r <= 5, p, q, r binary.  Of the feasible pairs {p, q}
# (weight 5, value 9), {p, r} (3, 8) and {q, r} (4, 7) the first is best: p = q = 1, value 9.
SMALL_MIP = """\
Maximize
 obj: 5 p + 4 q + 3 r
Subject To
 cap: 2 p + 3 q + r <= 5
Binaries
 p q r
End
"""


def read_problem(tmp_path, text, name="model.lp"):
    path = tmp_path / name
    path.write_text(text)
    p = kelvo.problem()
    p.read(str(path))
    return p


@pytest.fixture
def production(tmp_path):
    return read_problem(tmp_path, PRODUCTION_LP)


@pytest.fixture
def diet(tmp_path):
    return read_problem(tmp_path, DIET_LP)


def by_name(p):
    """The problem's variables and constraints keyed by name."""
    vs = {str(v): v for v in p.getVariable()}
    cs = {c.name: c for c in p.getConstraint()}
    return vs, cs


class TestSolveMethods:
    def test_optimize_returns_enum_members(self, production):
        status = production.optimize()
        assert status == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
        assert type(status[0]) is SolveStatus and type(status[1]) is SolStatus

    def test_solve_is_optimize(self, diet):
        assert diet.solve() == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
        assert diet.attributes.objval == pytest.approx(6.8)

    def test_lpoptimize_relaxes_integrality(self, tmp_path):
        p = read_problem(tmp_path, SMALL_MIP)
        assert p.lpoptimize() is None
        # The relaxation takes r and p whole (best value per weight) and 2/3 of q: 3 + 5 + 8/3.
        assert p.attributes.lpobjval == pytest.approx(8 + 8 / 3)
        assert p.getSolution() == pytest.approx([1.0, 2 / 3, 1.0])
        assert p.mipoptimize() is None
        assert p.attributes.mipobjval == pytest.approx(9.0)
        assert p.getSolution() == pytest.approx([1.0, 1.0, 0.0])

    def test_flags_choose_the_algorithm(self, production):
        for flags in ("p", "d", "b"):
            production.optimize(flags)
            assert production.getSolution() == pytest.approx([2.0, 6.0])
        production.optimize(flags="d")
        with pytest.raises(TypeError):
            production.optimize(3)

    def test_infeasible_model_is_an_outcome(self, tmp_path):
        p = read_problem(tmp_path, "Minimize\n x\nSubject To\n c: x >= 2\nBounds\n x <= 1\nEnd\n")
        assert p.optimize() == (SolveStatus.COMPLETED, SolStatus.INFEASIBLE)
        with pytest.raises(kelvo.ModelError, match="^Solution is not available$"):
            p.getSolution()

    def test_uninitialised_problem_refuses(self):
        p = kelvo.problem.__new__(kelvo.problem)
        for method in ("optimize", "lpoptimize", "mipoptimize", "getSolution", "getDuals", "getObjVal"):
            with pytest.raises(kelvo.ModelError, match="^Problem is not initialized$"):
                getattr(p, method)()

    def test_empty_problem_solves_after_reset(self, production):
        production.optimize()
        production.reset()
        assert production.optimize()[0] == SolveStatus.COMPLETED
        assert production.getSolution() == []


class TestBeforeSolve:
    @pytest.mark.parametrize(
        "method, message",
        [
            ("getSolution", "Solution is not available"),
            ("getDuals", "Dual values are not available"),
            ("getSlacks", "Slack values are not available"),
            ("getRedCosts", "Reduced costs are not available"),
            ("getCallbackSolution", "Solution is not available"),
            ("getCallbackDuals", "Dual values are not available"),
            ("getCallbackSlacks", "Slack values are not available"),
            ("getCallbackRedCosts", "Reduced costs are not available"),
        ],
    )
    def test_queries_raise_not_available(self, production, method, message):
        with pytest.raises(kelvo.ModelError, match="^" + message + "$"):
            getattr(production, method)()

    def test_callback_queries_after_a_solve_still_unavailable(self, production):
        production.optimize()
        with pytest.raises(kelvo.ModelError, match="Solution is not available"):
            production.getCallbackSolution()

    def test_evaluate_with_problem_needs_a_solution(self, production):
        vs, _ = by_name(production)
        with pytest.raises(kelvo.ModelError, match="Solution is not available"):
            kelvo.evaluate(vs["x"], problem=production)

    def test_solution_lapses_when_a_column_is_added(self, production):
        production.optimize()
        assert len(production.getSolution()) == 2
        production.addVariable(name="w")
        with pytest.raises(kelvo.ModelError, match="^Solution is not available$"):
            production.getSolution()
        with pytest.raises(kelvo.ModelError, match="^Reduced costs are not available$"):
            production.getRedCosts()

    def test_duals_of_a_mip_are_not_available(self, tmp_path):
        p = read_problem(tmp_path, SMALL_MIP)
        p.optimize()
        assert p.getSolution() == pytest.approx([1, 1, 0])
        with pytest.raises(kelvo.ModelError, match="Dual values are not available"):
            p.getDuals()


class TestQueryShapes:
    def test_solution_by_object_name_index_and_structure(self, production):
        production.optimize()
        vs, _ = by_name(production)
        x, y = vs["x"], vs["y"]
        assert production.getSolution() == pytest.approx([2.0, 6.0])
        assert production.getSolution(x) == pytest.approx(2.0)
        assert production.getSolution("y") == pytest.approx(6.0)
        assert production.getSolution(b"y") == pytest.approx(6.0)
        assert production.getSolution(1) == pytest.approx(6.0)
        assert production.getSolution(np.int32(0)) == pytest.approx(2.0)
        assert production.getSolution([x, y]) == pytest.approx([2.0, 6.0])
        nested = production.getSolution([[x, y], (y,), {"k": x}])
        assert nested[0] == pytest.approx([2.0, 6.0])
        assert isinstance(nested[1], tuple) and nested[1] == pytest.approx((6.0,))
        assert nested[2] == {"k": pytest.approx(2.0)}
        assert production.getSolution(3 * x + 5 * y) == pytest.approx(36.0)
        assert production.getSolution(x, y) == pytest.approx((2.0, 6.0))

    def test_evaluate_reads_the_current_solution(self, production):
        production.optimize()
        vs, _ = by_name(production)
        x, y = vs["x"], vs["y"]
        assert kelvo.evaluate(3 * x + 5 * y, problem=production) == pytest.approx(36.0)
        assert kelvo.evaluate([x, {"y": y * y}], problem=production) == [
            pytest.approx(2.0), {"y": pytest.approx(36.0)}]
        # A given solution wins over the problem's own.
        assert kelvo.evaluate(x + y, problem=production, solution=[1.0, 1.0]) == 2.0

    def test_flatten_only_for_the_true_object(self, production):
        production.optimize()
        vs, _ = by_name(production)
        x, y = vs["x"], vs["y"]
        assert production.getSolution([[x, y], [x]], flatten=True) == pytest.approx([2.0, 6.0, 2.0])
        kept = production.getSolution([[x, y], [x]], flatten=1)
        assert kept[0] == pytest.approx([2.0, 6.0]) and kept[1] == pytest.approx([2.0])

    def test_numpy_array_of_variables_keeps_its_shape(self, production):
        production.optimize()
        vs, _ = by_name(production)
        arr = np.array([[vs["x"], vs["y"]], [vs["y"], vs["x"]]], dtype=object)
        values = production.getSolution(arr)
        assert values.shape == (2, 2)
        assert values.ravel().tolist() == pytest.approx([2.0, 6.0, 6.0, 2.0])

    def test_bad_indices(self, production):
        production.optimize()
        for bad in (-1, 2, "nosuch"):
            with pytest.raises(kelvo.ModelError, match="^Index out of range$"):
                production.getSolution(bad)
        with pytest.raises(kelvo.ModelError, match="Incorrect object"):
            production.getDuals(1.5)
        with pytest.raises(kelvo.ModelError, match="Index out of range"):
            production.getDuals([0, 3])

    def test_row_queries_by_constraint_name_and_index(self, production):
        production.optimize()
        _, cs = by_name(production)
        c1, c2, c3 = cs["plant1"], cs["plant2"], cs["plant3"]
        duals = production.getDuals()
        assert isinstance(duals, list) and len(duals) == 3
        assert production.getDuals(c2) == pytest.approx(1.5)
        assert production.getDuals(c2, c3) == pytest.approx([1.5, 1.0])
        assert production.getDuals([c2, c3]) == pytest.approx([1.5, 1.0])
        assert production.getDuals("plant3") == pytest.approx(1.0)
        assert production.getSlacks(0) == pytest.approx(2.0)
        assert production.getSlacks([c1, [c2, (c3,)]]) == pytest.approx([2.0, 0.0, 0.0])
        assert production.getSlacks(iter([c1, c1])) == pytest.approx([2.0, 2.0])

    def test_a_variable_is_not_a_row(self, production):
        production.optimize()
        vs, _ = by_name(production)
        with pytest.raises(kelvo.ModelError, match="Incorrect object"):
            production.getDuals(vs["x"])

    def test_variable_of_another_problem(self, production, diet):
        production.optimize()
        vs, _ = by_name(diet)
        with pytest.raises(kelvo.ModelError, match="Variable is from a different problem"):
            production.getRedCosts(vs["a"])


class TestDuality:
    @pytest.mark.parametrize("flags", ["", "p", "d", "b"])
    def test_complementary_slackness_and_dual_objective(self, diet, flags):
        diet.optimize(flags)
        x = diet.getSolution()
        duals, slacks, djs = diet.getDuals(), diet.getSlacks(), diet.getRedCosts()
        rhs = [4.0, 6.0]
        assert x == pytest.approx([1.6, 1.2])
        assert duals == pytest.approx([1.4, 0.2])
        for d, s in zip(duals, slacks):
            assert d * s == pytest.approx(0.0, abs=1e-7)
        for v, dj in zip(x, djs):
            assert v * dj == pytest.approx(0.0, abs=1e-7)
        assert sum(d * b for d, b in zip(duals, rhs)) == pytest.approx(diet.attributes.objval)

    def test_maximisation_signs(self, production):
        production.optimize()
        duals = production.getDuals()
        assert duals == pytest.approx([0.0, 1.5, 1.0])
        assert production.getSlacks() == pytest.approx([2.0, 0.0, 0.0])
        assert production.getRedCosts() == pytest.approx([0.0, 0.0], abs=1e-9)
        assert sum(d * b for d, b in zip(duals, [4, 12, 18])) == pytest.approx(36.0)


class TestDeprecatedForms:
    def test_old_getters_warn_and_agree(self, production):
        production.optimize()
        for old, new in (("getDual", "getDuals"), ("getSlack", "getSlacks"), ("getRCost", "getRedCosts")):
            with pytest.warns(kelvo.DeprecationWarning, match="use problem." + new + " instead"):
                assert getattr(production, old)() == getattr(production, new)()

    def test_warning_as_error_stops_the_query(self, production):
        production.optimize()
        with warnings.catch_warnings():
            warnings.simplefilter("error", kelvo.DeprecationWarning)
            with pytest.raises(kelvo.DeprecationWarning):
                production.getDual()

    def test_objval_and_status_strings(self, production, tmp_path):
        with pytest.warns(kelvo.DeprecationWarning):
            assert production.getProbStatusString() == "lp_unstarted"
        production.optimize()
        with pytest.warns(kelvo.DeprecationWarning, match="attributes.objval"):
            assert production.getObjVal() == pytest.approx(36.0)
        with pytest.warns(kelvo.DeprecationWarning, match="solvestatus"):
            assert production.getProbStatus() == 1
            assert production.getProbStatusString() == "lp_optimal"
        mip = read_problem(tmp_path, SMALL_MIP, "mip.lp")
        mip.optimize()
        with pytest.warns(kelvo.DeprecationWarning):
            assert mip.getObjVal() == pytest.approx(9.0)
            assert mip.getProbStatusString() == "mip_optimal"
            assert mip.getProbStatus() == 6


INSTANCES = {
    "afiro.mps": -464.7531428571,
    "adlittle.mps": 225494.96316,
    "avgas.mps": -7.75,
    "flugpl.mps": 1201500,
    "egout.mps": 568.1007,
    "lseu.mps": 1120,
    "bell5.mps": 8966406.49152,
}


def instance_path(name):
    import pathlib

    return str(pathlib.Path(__file__).resolve().parents[1] / "klvo" / "tests" / "data" / name)


class TestPublishedInstances:
    @pytest.mark.parametrize("name, optimum", sorted(INSTANCES.items()))
    def test_read_and_solve_gives_published_optimum(self, name, optimum):
        p = kelvo.problem()
        p.read(instance_path(name))
        assert p.optimize() == (SolveStatus.COMPLETED, SolStatus.OPTIMAL)
        assert p.attributes.objval == pytest.approx(optimum, rel=1e-6)
        x = p.getSolution()
        assert len(x) == len(p.getVariable())
        # The solution reproduces the objective through the variables' own values.
        assert all(math.isfinite(v) for v in x)

    def test_woodinfe_is_infeasible(self):
        p = kelvo.problem()
        p.read(instance_path("woodinfe.mps"))
        assert p.optimize()[1] == SolStatus.INFEASIBLE

    def test_lp_instance_duality(self):
        p = kelvo.problem()
        p.read(instance_path("afiro.mps"))
        p.optimize()
        slacks, duals = p.getSlacks(), p.getDuals()
        for d, s in zip(duals, slacks):
            assert d * s == pytest.approx(0.0, abs=1e-6)


class TestReferences:
    def test_queries_and_evaluation_keep_reference_counts(self, production):
        import sys

        production.optimize()
        vs, cs = by_name(production)
        x, c = vs["x"], cs["plant2"]
        before = (sys.getrefcount(x), sys.getrefcount(c))
        for _ in range(200):
            production.getSolution(x)
            production.getSolution([x, {"k": (x,)}])
            production.getDuals([c, "plant2", 0])
            kelvo.evaluate(x * x + 2 * x, problem=production)
            x.extractLinear()
            (x * x).extractQuadratic()
            try:
                production.getSolution([x, "nosuch"])
            except kelvo.ModelError:
                pass
        assert (sys.getrefcount(x), sys.getrefcount(c)) == before
