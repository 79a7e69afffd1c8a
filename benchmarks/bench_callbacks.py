"""Cost of one callback dispatch: an empty Python callback called by the solver, in kelvo,
highspy and PySCIPOpt, on the same models in one run.

Each library solves a model without a callback and with empty callbacks that only count their
calls; the cost of one dispatch is the extra CPU time of the solve divided by the number of
calls. The solves are deterministic (one thread), so both runs take the same path.

  LP      adlittle (from the instances folder), solved cold `--lp-solves` times: kelvo's
          checktime callback and highspy's simplex-interrupt callback, which HiGHS calls at the
          same moments (about once per simplex iteration).
  MIP     a five-constraint binary knapsack (written to MPS and read by every library), with
          `--copies` registrations of the empty callback so that the calls outweigh the noise:
          kelvo's checktime (HiGHS's interrupt checks of the search), kelvo's optnode (the
          library's own search, once per node solved) and PySCIPOpt event handlers on
          node-solved events. highspy takes one callback function only, so it is
          measured on the LP.

kelvo solves with the interpreter lock released (other Python threads run meanwhile) and takes
it for each call; PySCIPOpt keeps the lock for its whole solve, so its calls skip that step.

The CPU seconds of this process are used (less disturbed by other load than the wall clock);
each figure is the fastest of `--repeat` runs. A library that is missing is reported and
skipped.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_callbacks.py
"""

import argparse
import os
import pathlib
import random
import tempfile
import time

import kelvo

INSTANCES = pathlib.Path(os.environ.get("KELVO_INSTANCES", "/work/shared/instances"))


def knapsack_mps(path, items=30, dims=5, seed=3):
    rng = random.Random(seed)
    weight = [[rng.randint(10, 100) for _ in range(items)] for _ in range(dims)]
    profit = [sum(weight[k][i] for k in range(dims)) // dims + rng.randint(0, 20) for i in range(items)]
    capacity = [sum(w) // 4 for w in weight]
    p = kelvo.problem(name="knapsack", sense=kelvo.maximize)
    x = [p.addVariable(vartype=kelvo.binary) for _ in range(items)]
    for k in range(dims):
        p.addConstraint(kelvo.Sum(weight[k][i] * x[i] for i in range(items)) <= capacity[k])
    p.setObjective(kelvo.Sum(profit[i] * x[i] for i in range(items)))
    p.write(str(path))


def cpu(run, repeat):
    """Fastest CPU time of run() over repeat runs, and the calls counted in the last one."""
    best, calls = float("inf"), 0
    for _ in range(repeat):
        start = time.process_time()
        calls = run()
        best = min(best, time.process_time() - start)
    return best, calls


# ---- kelvo


def kelvo_solve(path, copies, times, active, event="checktime"):
    """Solves with `copies` registrations of an empty callback on `event`; a node event runs
    the library's own search, and so does the solve it is compared with."""

    def run():
        count = [0]

        def empty(problem, data):
            count[0] += 1

        for _ in range(times):
            p = kelvo.problem()
            p.read(str(path))
            p.controls.outputlog = 0
            p.controls.threads = 1
            if event != "checktime":
                p.controls.mipsearch = 2
            add = getattr(p, "addcb" + event)
            for _ in range(copies if active else 0):
                add(empty)
            p.optimize()
        return count[0]

    return run


def kelvo_optnode(path, copies, times, active):
    return kelvo_solve(path, copies, times, active, "optnode")


# ---- highspy


def highspy_solve(path, copies, times, active):
    import highspy

    def run():
        count = [0]

        def empty(callback_type, message, data_out, data_in, user_data):
            count[0] += 1

        for _ in range(times):
            h = highspy.Highs()
            h.setOptionValue("output_flag", False)
            h.setOptionValue("threads", 1)
            h.readModel(str(path))
            if active:
                h.setCallback(empty, None)
                h.startCallback(highspy.cb.HighsCallbackType.kCallbackSimplexInterrupt)
            h.run()
        return count[0]

    return run


# ---- PySCIPOpt


def scip_solve(path, copies, times, active):
    from pyscipopt import Eventhdlr, Model, SCIP_EVENTTYPE

    count = [0]

    # Without `active` the handlers are there but catch nothing, so that only the calls differ.
    class Empty(Eventhdlr):
        def eventinit(self):
            if active:
                self.model.catchEvent(SCIP_EVENTTYPE.NODESOLVED, self)

        def eventexit(self):
            if active:
                self.model.dropEvent(SCIP_EVENTTYPE.NODESOLVED, self)

        def eventexec(self, event):
            count[0] += 1

    def run():
        count[0] = 0
        for _ in range(times):
            m = Model()
            m.hideOutput()
            m.setParam("parallel/maxnthreads", 1)
            m.readProblem(str(path))
            for k in range(copies):
                m.includeEventhdlr(Empty(), f"empty{k}", "counts node-solved events")
            m.optimize()
        return count[0]

    return run


def measure(name, make, path, copies, times, repeat):
    try:
        base, _ = cpu(make(path, copies, times, False), repeat)
        with_cb, calls = cpu(make(path, copies, times, True), repeat)
    except ImportError as e:
        print(f"  {name:10s} skipped: {e}")
        return
    per_call = (with_cb - base) / calls * 1e6 if calls else float("nan")
    print(f"  {name:10s} {calls:9d} calls   solve {base:7.3f} s -> {with_cb:7.3f} s   {per_call:6.2f} us per call")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--lp-solves", type=int, default=1000)
    ap.add_argument("--copies", type=int, default=1000)
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()

    lp = INSTANCES / "adlittle.mps"
    print(f"LP {lp.name}, {args.lp_solves} cold solves: one empty callback at HiGHS's simplex interrupt checks")
    measure("kelvo", kelvo_solve, lp, 1, args.lp_solves, args.repeat)
    measure("highspy", highspy_solve, lp, 1, args.lp_solves, args.repeat)

    with tempfile.TemporaryDirectory() as tmp:
        mip = pathlib.Path(tmp) / "knapsack.mps"
        knapsack_mps(mip)
        print(f"MIP knapsack 30 x 5: {args.copies} empty callbacks per event")
        measure("kelvo", kelvo_solve, mip, args.copies, 1, args.repeat)
        measure("kelvo node", kelvo_optnode, mip, args.copies, 1, args.repeat)
        measure("PySCIPOpt", scip_solve, mip, args.copies, 1, args.repeat)


if __name__ == "__main__":
    main()
