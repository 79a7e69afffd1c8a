"""The command line: published instances solve to their published optima with the status
their exit codes name, the solution file holds a point of that objective, and bad input gives one
line and a non-zero exit."""
import csv
import os
import random
import signal
import subprocess
import sys

import pytest

import kelvo
from helpers import DATA
from test_solve import published


def cli(*args):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    return subprocess.run([sys.executable, "-m", "kelvo", *map(str, args)], capture_output=True, text=True, env=env,
                          timeout=600)


def summary(stdout):
    return dict(line.split(None, 1) for line in stdout.splitlines()[-5:])


# An LP, a MIP and an infeasible LP: every instance's optimum is checked by the library's tests.
@pytest.mark.parametrize("name,kind,rows,cols,optimum",
                         [row for row in published() if row[0] in ("afiro.mps", "flugpl.mps", "woodinfe.mps")])
def test_instances_solve_to_their_published_optimum(tmp_path, name, kind, rows, cols, optimum):
    sol = tmp_path / "x.csv"
    r = cli(DATA / name, "--quiet", "--solution", sol)
    if optimum is None:
        assert (r.returncode, summary(r.stdout)["status"]) == (3, "infeasible")
        assert not sol.exists()
        return
    assert r.returncode == 0, r.stderr
    shown = summary(r.stdout)
    objective, bound, gap = (float(shown[key]) for key in ("objective", "bound", "gap"))
    assert objective == pytest.approx(optimum, rel=1e-6)
    # Every instance minimises: the bound is below the true optimum, the gap is the relative
    # distance between them, and an LP's bound is its optimum.
    assert bound <= optimum + 1e-6 * abs(optimum)
    assert gap == pytest.approx((objective - bound) / abs(objective), rel=1e-6, abs=1e-12)
    if kind == "LP":
        assert (bound, gap) == (objective, 0)
    # The file's point, priced with the model's own costs, gives the optimum again.
    with open(sol) as f:
        x = [float(row["value"]) for row in csv.DictReader(f) if row["kind"] == "C"]
    p = kelvo.problem()
    p.read(str(DATA / name))
    cost = []
    p.getobj(cost, 0, cols - 1)
    assert len(x) == cols
    assert sum(c * v for c, v in zip(cost, x)) == pytest.approx(optimum, rel=1e-6)


def test_log_streams_before_the_summary_and_limits_and_unboundedness_have_their_codes(tmp_path):
    r = cli(DATA / "afiro.mps")
    assert r.returncode == 0 and r.stdout.index("status ") > 100  # the engine log came first
    stopped = cli(DATA / "adlittle.mps", "--quiet", "--control", "lpiterlimit=3")
    assert stopped.returncode == 5 and summary(stopped.stdout)["objective"] == "-"
    # Asked for a file it cannot write, the solve still reports, and the exit says it failed.
    unwritable = cli(DATA / "afiro.mps", "--quiet", "--solution", tmp_path / "no" / "x.csv")
    assert unwritable.returncode == 1 and summary(unwritable.stdout)["status"] == "optimal"
    assert "cannot write" in unwritable.stderr and not (tmp_path / "no").exists()
    (tmp_path / "u.lp").write_text("minimize\n obj: - x + y\nsubject to\n c: x - y >= 1\nend\n")
    assert cli(tmp_path / "u.lp", "--quiet").returncode == 4


def test_ctrl_c_stops_the_solve_which_reports_and_exits_with_the_limit_code(tmp_path):
    # A multidimensional knapsack that takes seconds to prove optimal on one thread.
    rnd = random.Random(5)
    n, m = 200, 30
    rows = [[rnd.randint(1, 100) for _ in range(n)] for _ in range(m)]
    model = ["maximize", " obj: " + " + ".join(f"{rnd.randint(1, 100)} x{j}" for j in range(n)), "subject to"]
    model += [f" c{i}: " + " + ".join(f"{w} x{j}" for j, w in enumerate(row)) + f" <= {sum(row) // 2}"
              for i, row in enumerate(rows)]
    model += ["binary", " " + " ".join(f"x{j}" for j in range(n)), "end"]
    (tmp_path / "mkp.lp").write_text("\n".join(model) + "\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    # SIGINT as a terminal sends it, whatever the test runner's own disposition.
    child = subprocess.Popen([sys.executable, "-m", "kelvo", tmp_path / "mkp.lp", "--gap", "0", "--threads", "1"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        first = child.stdout.readline()  # the engine's log: the solve is running
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=120)
    finally:
        child.kill()
    assert child.returncode == 5, err
    shown = summary(first + out)
    assert shown["status"] in ("stopped by a limit or Ctrl-C with a feasible solution",
                               "stopped by a limit or Ctrl-C without a solution")
    if shown["objective"] != "-":  # maximising: the bound is above any point found
        assert float(shown["bound"]) >= float(shown["objective"]) > 0


@pytest.mark.parametrize("args,message,code", [
    (["nosuch.mps"], "cannot open", 1),
    (["{bad}"], "data before the first section", 1),
    (["{afiro}", "--control", "nosuch=1"], "Incorrect control name: 'nosuch'", 1),
    (["{afiro}", "--control", "threads"], "NAME=VALUE", 1),
    (["{afiro}", "--threads", "-3"], "threads", 1),
    (["{afiro}", "--gap", "nan"], "control miprelstop=nan: Value nan is out of range", 1),
    (["{afiro}", "--time-limit", "soon"], "argument --time-limit: invalid float value: 'soon'", 2),
])
def test_bad_input_gives_one_line_and_its_exit_code(tmp_path, args, message, code):
    (tmp_path / "bad.mps").write_text("garbage\n")
    args = [a.format(bad=tmp_path / "bad.mps", afiro=DATA / "afiro.mps", tmp=tmp_path) for a in args]
    r = cli(*args, "--quiet")
    assert r.returncode == code and r.stdout == ""
    assert len(r.stderr.splitlines()) == 1 and r.stderr.startswith("kelvo: error: ") and message in r.stderr
