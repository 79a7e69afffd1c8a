"""Reference counts and memory stay flat over repeated problem, control and attribute calls."""
import pathlib

import kelvo
from flat_memory import run_flat

DATA = pathlib.Path(__file__).resolve().parent.parent / "klvo" / "tests" / "data"
AVGAS = str(DATA / "avgas.mps")


def test_problem_life_cycle_is_flat(t):
    name = "cycle_name"

    def cycle():
        p = kelvo.problem(name, [], name="ignored")
        p.read(AVGAS)
        q = p.copy()
        q.getVariable(index=[0, 1])
        q.getIndex(q.getConstraint(2))
        p.reset()
        str(q)

    live = t.live_problems()
    run_flat(cycle, [kelvo.problem, name, kelvo.ModelError], n=500)
    assert t.live_problems() == live


def test_failures_are_flat():
    p = kelvo.problem()
    p.read(AVGAS)
    bad_key = "nosuchcontrol"

    def cycle():
        for call in (
            lambda: kelvo.problem("a", "b"),
            lambda: kelvo.problem(sense=0),
            lambda: kelvo.problem([1.0]),
            lambda: p.getVariable(index=[0.5]),
            lambda: p.getControl(bad_key),
            lambda: p.setControl({"presolve": 0, "feastol": "x"}),
            lambda: p.setControl("weight", 1, objidx=0),
            lambda: p.read("/nonexistent/file.mps"),
        ):
            try:
                call()
            except (kelvo.ModelError, kelvo.InterfaceError, kelvo.SolverError):
                pass

    run_flat(cycle, [p, bad_key, kelvo.ModelError, kelvo.InterfaceError], n=500)


def test_controls_and_attributes_are_flat():
    p = kelvo.problem()
    p.read(AVGAS)
    settings = {"threads": 2, "FEASTOL": 1e-6}
    g = kelvo._getcontrols()

    def cycle():
        p.getControl()
        p.getAttrib()
        p.getControl("feastol", "presolve")
        p.setControl(settings)
        p.controls.presolve = p.controls.PRESOLVE
        p.attributes.cols
        p.getControl(objidx=0)
        p.objattribs[0].rows
        str(p.controls)
        g.threads = 2
        kelvo.setdefaultcontrol("threads")

    run_flat(cycle, [p, settings, g, p.controls, p.attributes], n=500)
