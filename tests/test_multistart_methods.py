"""Multistart jobs: the global minima of multimodal functions found where one start does not,
the events with the job objects, the control dictionaries and their refusals, and the job
objects held exactly as long as the jobs."""
import math
import sys
import warnings

import pytest

import kelvo

CAMEL_MIN = -1.0316284535


def camel(a, b):
    return (4 - 2.1 * a**2 + a**4 / 3) * a**2 + a * b + (-4 + 4 * b**2) * b**2


@pytest.fixture
def camel_problem(nonlinear):
    p = kelvo.problem()
    x = p.addVariable(lb=-3, ub=3, name="x")
    y = p.addVariable(lb=-2, ub=2, name="y")
    p.setObjective((4 - 2.1 * x**2 + x**4 / 3) * x**2 + x * y + (-4 + 4 * y**2) * y**2)
    p.controls.outputlog = 0
    return p, x, y


def winner(p):
    return p.getAttrib("kslp_mswinner")


def test_the_rastrigin_global_minimum_needs_several_starts(nonlinear):
    # Rastrigin in two variables: minima near every integer point, the global one at 0.
    # (The library's tests do the same for the camel function.)
    r = kelvo.problem()
    u = [r.addVariable(lb=-2.5, ub=2.5) for _ in range(2)]
    r.setObjective(20 + kelvo.Sum(v**2 - 10 * kelvo.cos(2 * math.pi * v) for v in u))
    r.controls.outputlog = 0
    r.msaddjob("corner", u, [2.1, -1.9], {}, None)
    r.optimize()
    near = r.getSolution(u)
    assert [round(v) for v in near] == [2, -2]
    assert r.attributes.objval == pytest.approx(sum(v**2 - 10 * math.cos(2 * math.pi * v) for v in near) + 20)
    assert r.attributes.objval > 7
    r.msaddcustompreset("latin", 2, 40, [], [], {}, None)
    r.optimize()
    assert r.attributes.objval == pytest.approx(0.0, abs=1e-7)
    assert r.getSolution(u) == pytest.approx([0.0, 0.0], abs=1e-4)
    assert winner(r) > 1


def test_events_receive_each_job_object_in_order(camel_problem):
    p, x, y = camel_problem
    saddle, good, local = object(), object(), object()
    names = {id(saddle): "saddle", id(good): "good", id(local): "local"}
    seen = []

    def start(prob, data, job, description):
        seen.append(("start", names[id(job)], description, data))
        return 1 if skip and names[id(job)] in skip else 0

    def end(prob, data, job, description):
        seen.append(("end", names[id(job)], data))
        # The callback's problem is the job's: its solution is there.
        objectives[names[id(job)]] = prob.getAttrib("kslp_objval")
        return 1 if drop == names[id(job)] else None

    def win(prob, data, job, description):
        seen.append(("winner", names[id(job)], description))

    p.setcbmsjobstart(start, "s")
    p.setcbmsjobend(end, "e")
    p.setcbmswinner(win, None)
    p.msaddjob("from origin", [x, y], [0.0, 0.0], {}, saddle)
    p.msaddjob("near global", [0, 1], [0.1, -0.7], {"threads": 2}, good)
    p.msaddjob("near local", [x, y], [-1.7, 0.8], {}, local)
    skip, drop, objectives = (), None, {}
    p.optimize()
    for job in ("saddle", "good", "local"):
        order = [e[0] for e in seen if e[1] == job]
        assert order == (["start", "end", "winner"] if job == "good" else ["start", "end"])
    assert ("start", "good", "near global", "s") in seen and ("end", "local", "e") in seen
    assert seen[-1] == ("winner", "good", "near global")
    assert objectives["good"] == pytest.approx(CAMEL_MIN) and objectives["saddle"] == pytest.approx(0.0, abs=1e-7)
    assert winner(p) == 2 and p.attributes.objval == pytest.approx(CAMEL_MIN)

    # A job set aside by msjobend cannot win; one skipped by msjobstart does not run.
    seen.clear()
    skip, drop = ("saddle",), "good"
    p.optimize()
    assert [e[1] for e in seen if e[0] == "end"].count("saddle") == 0
    assert seen[-1][:2] == ("winner", "local") and winner(p) == 3
    assert p.attributes.objval == pytest.approx(camel(*p.getSolution([x, y])))


def test_control_dictionaries_and_their_refusals_leave_no_job(camel_problem):
    p, x, y = camel_problem
    token = object()
    before = sys.getrefcount(token)
    refusals = [
        (lambda: p.msaddjob(1, [0], [1.0], {}, token), "Incorrect arguments in msaddjob"),
        (lambda: p.msaddcustompreset("d", "random", 2, [], [], {}, token), "Incorrect arguments in msaddcustompreset"),
        (lambda: p.msaddjob("d", [0], [1.0], [("threads", 1)], token),
         "Incorrect argument 'control' in msaddcustompreset/msaddjob: must be a dictionary"),
        (lambda: p.msaddcustompreset("d", 1, 2, [], [], {8278: 1}, token),
         "Incorrect key in parameter 'control' (all keys must be strings) of msaddcustompreset/msaddjob"),
        (lambda: p.msaddjob("d", [0], [1.0], {"threads": 1, "nosuchcontrol": 1}, token),
         "Unknown control nosuchcontrol in msaddcustompreset/msaddjob"),
        (lambda: p.msaddjob("d", [0], [1.0], {"threads": "two"}, token),
         "Only integer and double controls allowed in msaddcustompreset/msaddjob"),
        (lambda: p.msaddjob("d", [0], [1.0], {"kslp_engineoptions": "x 1"}, token),
         "Only integer and double controls allowed in msaddcustompreset/msaddjob"),
    ]
    for call, message in refusals:
        with pytest.raises(kelvo.InterfaceError) as info:
            call()
        assert str(info.value) == message
    # The library refuses what it cannot run: a value out of range, a column out of range,
    # too many control variations.
    for call in (lambda: p.msaddjob("d", [], [], {"kslp_log": 9}, token),
                 lambda: p.msaddjob("d", [5], [1.0], {}, token),
                 lambda: p.msaddpreset("d", 4, 9, token)):
        with pytest.raises(kelvo.SolverError):
            call()
    with pytest.raises(kelvo.InterfaceError):
        p.msaddjob("d", [0, 1], [1.0], {}, token)
    assert sys.getrefcount(token) == before
    p.optimize()
    assert winner(p) == 0 and p.attributes.objval == pytest.approx(0.0, abs=1e-7)

    # Old keywords of msaddpreset still work, with the warning.
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        p.msaddpreset(description="old", preset=3, maxjobs=2, data=token)
    assert any(issubclass(w.category, kelvo.DeprecationWarning) for w in caught)
    # Controls reach the job: no iteration allowed leaves the perturbed starts unfinished.
    p.msaddjob("capped", [x, y], [0.3, -0.5], {"kslp_iterlimit": 0, "kslp_feastol": 1e-7}, token)
    assert sys.getrefcount(token) == before + 2
    p.msclear()
    assert sys.getrefcount(token) == before
    p.msaddjob("capped", [x, y], [0.3, -0.5], {"kslp_iterlimit": 0}, token)
    p.optimize()
    # Unfinished but feasible, the capped job still wins, at its starting point.
    assert p.getSolution([x, y]) == pytest.approx([0.3, -0.5], abs=1e-6) and winner(p) == 1
    assert p.controls.kslp_iterlimit == 3000
    # A released problem lets go of its jobs' objects.
    q = kelvo.problem()
    q.addVariable()
    q.msaddpreset("r", 1, 3, token)
    assert sys.getrefcount(token) == before + 2
    del q
    assert sys.getrefcount(token) == before + 1


def test_each_objective_stage_runs_the_jobs_on_its_own_model(nonlinear):
    p = kelvo.problem()
    x, y = p.addVariables(2, lb=-5, ub=5)
    p.addConstraint(kelvo.exp(x) + kelvo.exp(y) <= 2 * math.e)
    p.setObjective(x + y, sense=kelvo.maximize, priority=2, abstol=0.5)
    p.addObjective(x, priority=1)
    p.controls.outputlog = 0
    p.optimize()
    single = p.getSolution([x, y])
    # The second stage holds x + y >= 1.5 in a row of its own: the jobs must solve with it.
    p.msaddpreset("random", 1, 3, None)
    p.optimize()
    assert p.getSolution([x, y]) == pytest.approx(single, abs=1e-5)
    assert p.objattribs[0].objval == pytest.approx(1.5, abs=1e-5) and winner(p) >= 1
