"""Nonlinear models built and solved by kelvo, PyOptInterface (Ipopt) and cyipopt, in one run.

Models (all from the point 0 moved into the bounds, the same for every library):
  beam N         the beam problem: 3 (N + 1) variables, N nonlinear and N linear equality rows,
                 objective sum h/2 (u_{i+1}^2 + u_i^2) + alpha h/2 (cos t_{i+1} + cos t_i)
  rosen n        chained Rosenbrock sum 100 (x_{i+1} - x_i^2)^2 + (1 - x_i)^2, unconstrained
  rosenb n       the same with bounds -5 <= x <= 0.8 (the unconstrained optimum x = 1 is cut off)
  hs071 x100     Hock-Schittkowski 71, built and solved 100 times
Every library drives the system's Ipopt with the same options (tolerances, barrier strategy,
bound push, output); each solve writes Ipopt's own output file, from which the iteration count
and "Total CPU secs in NLP function evaluations" are read. kelvo/peer ratios of build, solve,
total and evaluation time come from the same run. PyOptInterface's models are written as its
users write them: one small graph per constraint and per objective term, so that graphs of the
same structure are compiled once. PyOptInterface needs its nonlinear extra
(`pyoptinterface[nlp]`: llvmlite); cyipopt needs its own wheel; a library that cannot be
imported is reported and skipped.

Run: PYTHONPATH=build/dev/python python benchmarks/bench_nlp.py [--models beam:1000,rosen:1000]
     (--peak-memory N: kelvo's beam N alone, with the process's peak resident memory)
"""

import argparse
import gc
import math
import os
import re
import resource
import tempfile
import time

import kelvo

TOL = 1e-8
OPTIONS = {  # what kelvo's nonlinear layer hands Ipopt by default, given to every library
    "tol": TOL, "constr_viol_tol": 1e-6, "acceptable_tol": 1e-6, "acceptable_iter": 15, "mu_init": 0.1,
    "mu_strategy": "monotone", "bound_push": 0.01, "bound_frac": 0.01, "max_iter": 3000,
    "hessian_approximation": "exact", "print_level": 0, "file_print_level": 5, "sb": "yes",
}
ALPHA = 350.0
ROSEN_BOUNDS = (-5.0, 0.8)


def ipopt_report(path):
    """Iterations and NLP evaluation CPU seconds from an Ipopt output file."""
    with open(path) as f:
        text = f.read()
    it = re.search(r"Number of Iterations\.*:\s*(\d+)", text)
    ev = re.search(r"Total CPU secs in NLP function evaluations\s*=\s*([0-9.eE+-]+)", text)
    return int(it.group(1)) if it else -1, float(ev.group(1)) if ev else float("nan")


# ---- kelvo -----------------------------------------------------------------------------------


def kelvo_beam(n):
    p = kelvo.problem()
    h = 1.0 / n
    t = p.addVariables(n + 1, lb=-1, ub=1)
    x = p.addVariables(n + 1, lb=-0.05, ub=0.05)
    u = p.addVariables(n + 1, lb=-kelvo.infinity)
    sin, cos = kelvo.sin, kelvo.cos
    p.addConstraint(x[i + 1] - x[i] - 0.5 * h * (sin(t[i + 1]) + sin(t[i])) == 0 for i in range(n))
    p.addConstraint(t[i + 1] - t[i] - 0.5 * h * u[i + 1] - 0.5 * h * u[i] == 0 for i in range(n))
    p.setObjective(kelvo.Sum(0.5 * h * (u[i + 1] * u[i + 1] + u[i] * u[i]) + 0.5 * ALPHA * h * (cos(t[i + 1]) + cos(t[i]))
                             for i in range(n)))
    return p


def kelvo_rosen(n, bounded):
    p = kelvo.problem()
    lb, ub = ROSEN_BOUNDS if bounded else (-kelvo.infinity, kelvo.infinity)
    x = p.addVariables(n, lb=lb, ub=ub)
    p.setObjective(kelvo.Sum(100 * (x[i + 1] - x[i] ** 2) ** 2 + (1 - x[i]) ** 2 for i in range(n - 1)))
    return p


def kelvo_hs071():
    p = kelvo.problem()
    x = p.addVariables(4, lb=1, ub=5)
    p.addConstraint(x[0] * x[1] * x[2] * x[3] >= 25, x[0] ** 2 + x[1] ** 2 + x[2] ** 2 + x[3] ** 2 == 40)
    p.setObjective(x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2])
    return p


def kelvo_solve(p, out):
    p.controls.outputlog = 0
    p.controls.kslp_engineoptions = f"output_file {out}; file_print_level 5; print_level 0"
    p.optimize()
    return p.attributes.kslp_objval


# ---- PyOptInterface --------------------------------------------------------------------------


def poi_model():
    from pyoptinterface import ipopt

    m = ipopt.Model()
    for k, v in OPTIONS.items():
        m.set_raw_parameter(k, v)
    return m


def poi_beam(n):
    from pyoptinterface import nl

    m = poi_model()
    h = 1.0 / n
    t = [m.add_variable(lb=-1, ub=1, start=0.0) for _ in range(n + 1)]
    x = [m.add_variable(lb=-0.05, ub=0.05, start=0.0) for _ in range(n + 1)]
    u = [m.add_variable(start=0.0) for _ in range(n + 1)]
    for i in range(n):
        with nl.graph():
            m.add_nl_constraint(x[i + 1] - x[i] - 0.5 * h * (nl.sin(t[i + 1]) + nl.sin(t[i])) == 0)
        with nl.graph():
            m.add_nl_objective(0.5 * h * (u[i + 1] * u[i + 1] + u[i] * u[i]) + 0.5 * ALPHA * h * (nl.cos(t[i + 1]) + nl.cos(t[i])))
    for i in range(n):
        m.add_linear_constraint(t[i + 1] - t[i] - 0.5 * h * u[i + 1] - 0.5 * h * u[i], _eq(), 0.0)
    return m


def _eq():
    import pyoptinterface as poi

    return poi.Eq


def poi_rosen(n, bounded):
    from pyoptinterface import nl

    m = poi_model()
    lb, ub = ROSEN_BOUNDS if bounded else (-math.inf, math.inf)
    x = [m.add_variable(lb=lb, ub=ub, start=min(max(0.0, lb), ub)) for _ in range(n)]
    for i in range(n - 1):
        with nl.graph():
            m.add_nl_objective(100 * (x[i + 1] - x[i] * x[i]) ** 2 + (1 - x[i]) ** 2)
    return m


def poi_hs071():
    from pyoptinterface import nl

    m = poi_model()
    x = [m.add_variable(lb=1, ub=5, start=1.0) for _ in range(4)]
    with nl.graph():
        m.add_nl_constraint(x[0] * x[1] * x[2] * x[3] >= 25)
    with nl.graph():
        m.add_nl_constraint(x[0] ** 2 + x[1] ** 2 + x[2] ** 2 + x[3] ** 2 == 40)
    with nl.graph():
        m.add_nl_objective(x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2])
    return m


def poi_solve(m, out):
    import pyoptinterface as poi

    m.set_raw_parameter("output_file", out)
    m.optimize()
    return m.get_model_attribute(poi.ModelAttribute.ObjectiveValue)


# ---- cyipopt with hand-written NumPy derivatives ----------------------------------------------


class CyModel:
    """n, m, bounds, x0 and the callbacks cyipopt.Problem takes."""

    def __init__(self, n, m, lb, ub, cl, cu, x0):
        self.n, self.m, self.lb, self.ub, self.cl, self.cu, self.x0 = n, m, lb, ub, cl, cu, x0


def cy_beam(n):
    import numpy as np

    h = 1.0 / n
    N1 = n + 1
    w = np.full(N1, 2.0)
    w[0] = w[-1] = 1.0
    lb = np.concatenate([np.full(N1, -1.0), np.full(N1, -0.05), np.full(N1, -1e20)])
    ub = np.concatenate([np.full(N1, 1.0), np.full(N1, 0.05), np.full(N1, 1e20)])
    i = np.arange(n)
    T, X, U = 0, N1, 2 * N1
    # Jacobian: row i (nonlinear) x[i+1], x[i], t[i+1], t[i]; row n+i (linear) t[i+1], t[i], u[i+1], u[i].
    jrows = np.concatenate([np.repeat(i, 4), np.repeat(n + i, 4)])
    jcols = np.concatenate([np.stack([X + i + 1, X + i, T + i + 1, T + i], 1).ravel(),
                            np.stack([T + i + 1, T + i, U + i + 1, U + i], 1).ravel()])
    hrows = np.concatenate([np.arange(T, T + N1), np.arange(U, U + N1)])

    class Beam(CyModel):
        def objective(self, z):
            t, u = z[T:T + N1], z[U:U + N1]
            return float(np.dot(w, 0.5 * h * u * u + 0.5 * ALPHA * h * np.cos(t)))

        def gradient(self, z):
            g = np.zeros(3 * N1)
            g[T:T + N1] = -0.5 * ALPHA * h * w * np.sin(z[T:T + N1])
            g[U:U + N1] = h * w * z[U:U + N1]
            return g

        def constraints(self, z):
            t, x, u = z[T:T + N1], z[X:X + N1], z[U:U + N1]
            st = np.sin(t)
            return np.concatenate([x[1:] - x[:-1] - 0.5 * h * (st[1:] + st[:-1]), t[1:] - t[:-1] - 0.5 * h * (u[1:] + u[:-1])])

        def jacobianstructure(self):
            return jrows, jcols

        def jacobian(self, z):
            ct = np.cos(z[T:T + N1])
            nl_ = np.stack([np.ones(n), -np.ones(n), -0.5 * h * ct[1:], -0.5 * h * ct[:-1]], 1).ravel()
            lin = np.tile([1.0, -1.0, -0.5 * h, -0.5 * h], n)
            return np.concatenate([nl_, lin])

        def hessianstructure(self):
            return hrows, hrows

        def hessian(self, z, lagrange, obj_factor):
            t = z[T:T + N1]
            lam = lagrange[:n]
            ht = -obj_factor * 0.5 * ALPHA * h * w * np.cos(t)
            st = 0.5 * h * np.sin(t)
            ht[1:] += lam * st[1:]
            ht[:-1] += lam * st[:-1]
            return np.concatenate([ht, obj_factor * h * w])

    return Beam(3 * N1, 2 * n, lb, ub, np.zeros(2 * n), np.zeros(2 * n), np.clip(np.zeros(3 * N1), lb, ub))


def cy_rosen(n, bounded):
    import numpy as np

    lo, hi = ROSEN_BOUNDS if bounded else (-1e20, 1e20)
    lb, ub = np.full(n, lo), np.full(n, hi)
    hr = np.concatenate([np.arange(n), np.arange(1, n)])
    hc = np.concatenate([np.arange(n), np.arange(n - 1)])

    class Rosen(CyModel):
        def objective(self, x):
            return float(np.sum(100 * (x[1:] - x[:-1] ** 2) ** 2 + (1 - x[:-1]) ** 2))

        def gradient(self, x):
            r = x[1:] - x[:-1] ** 2
            g = np.zeros(n)
            g[:-1] = -400 * x[:-1] * r - 2 * (1 - x[:-1])
            g[1:] += 200 * r
            return g

        def constraints(self, x):
            return np.zeros(0)

        def jacobianstructure(self):
            return np.zeros(0, dtype=int), np.zeros(0, dtype=int)

        def jacobian(self, x):
            return np.zeros(0)

        def hessianstructure(self):
            return hr, hc

        def hessian(self, x, lagrange, obj_factor):
            d = np.zeros(n)
            d[:-1] = 1200 * x[:-1] ** 2 - 400 * x[1:] + 2
            d[1:] += 200
            return obj_factor * np.concatenate([d, -400 * x[:-1]])

    return Rosen(n, 0, lb, ub, np.zeros(0), np.zeros(0), np.clip(np.zeros(n), lb, ub))


def cy_hs071():
    import numpy as np

    hr, hc = np.tril_indices(4)

    class Hs071(CyModel):
        def objective(self, x):
            return x[0] * x[3] * (x[0] + x[1] + x[2]) + x[2]

        def gradient(self, x):
            return np.array([x[0] * x[3] + x[3] * (x[0] + x[1] + x[2]), x[0] * x[3], x[0] * x[3] + 1.0,
                             x[0] * (x[0] + x[1] + x[2])])

        def constraints(self, x):
            return np.array([np.prod(x), np.dot(x, x)])

        def jacobianstructure(self):
            return np.repeat([0, 1], 4), np.tile(np.arange(4), 2)

        def jacobian(self, x):
            p = np.prod(x)
            return np.concatenate([p / x, 2 * x])

        def hessianstructure(self):
            return hr, hc

        def hessian(self, x, lam, sigma):
            H = sigma * np.array([[2 * x[3], 0, 0, 0], [x[3], 0, 0, 0], [x[3], 0, 0, 0],
                                  [2 * x[0] + x[1] + x[2], x[0], x[0], 0]])
            H += lam[0] * np.array([[0, 0, 0, 0], [x[2] * x[3], 0, 0, 0], [x[1] * x[3], x[0] * x[3], 0, 0],
                                    [x[1] * x[2], x[0] * x[2], x[0] * x[1], 0]])
            H += lam[1] * 2 * np.eye(4)
            return H[hr, hc]

    return Hs071(4, 2, np.ones(4), np.full(4, 5.0), np.array([25.0, 40.0]), np.array([2e19, 40.0]), np.ones(4))


def cy_solve(model, out):
    import cyipopt

    prob = cyipopt.Problem(n=model.n, m=model.m, problem_obj=model, lb=model.lb, ub=model.ub, cl=model.cl, cu=model.cu)
    for k, v in OPTIONS.items():
        prob.add_option(k, v)
    prob.add_option("output_file", out)
    _, info = prob.solve(model.x0)
    return info["obj_val"]


# ---- driver ----------------------------------------------------------------------------------


def build(lib, name, size):
    bounded = name == "rosenb"
    if lib == "kelvo":
        return {"beam": lambda: kelvo_beam(size), "rosen": lambda: kelvo_rosen(size, False),
                "rosenb": lambda: kelvo_rosen(size, True), "hs071": kelvo_hs071}[name]()
    if lib == "PyOptInterface":
        return {"beam": lambda: poi_beam(size), "rosen": lambda: poi_rosen(size, False),
                "rosenb": lambda: poi_rosen(size, True), "hs071": poi_hs071}[name]()
    return {"beam": lambda: cy_beam(size), "rosen": lambda: cy_rosen(size, False),
            "rosenb": lambda: cy_rosen(size, True), "hs071": cy_hs071}[name]()


SOLVE = {"kelvo": kelvo_solve, "PyOptInterface": poi_solve, "cyipopt": cy_solve}


def available(lib):
    try:
        if lib == "PyOptInterface":
            from pyoptinterface import ipopt  # noqa: F401  needs the nlp extra (llvmlite)
        elif lib == "cyipopt":
            import cyipopt  # noqa: F401
        return None
    except ImportError as e:
        return str(e)


def run(lib, name, size, repeat, out):
    """Build and solve time (summed over `repeat` builds and solves), iterations, objective and
    Ipopt's evaluation seconds of the last solve (summed over the repeats)."""
    build_s = solve_s = eval_s = 0.0
    its = -1
    obj = float("nan")
    for _ in range(repeat):
        gc.collect()
        t0 = time.perf_counter()
        model = build(lib, name, size)
        t1 = time.perf_counter()
        obj = SOLVE[lib](model, out)
        t2 = time.perf_counter()
        del model
        build_s += t1 - t0
        solve_s += t2 - t1
        its, ev = ipopt_report(out)
        eval_s += ev
    return build_s, solve_s, its, obj, eval_s


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--models", default="beam:1000,beam:10000,beam:100000,rosen:1000,rosen:10000,"
                                            "rosenb:1000,rosenb:10000,hs071:100")
    parser.add_argument("--libraries", default="kelvo,PyOptInterface,cyipopt")
    parser.add_argument("--peak-memory", type=int, metavar="N",
                        help="only build, solve and free kelvo's beam N and print this process's peak resident memory")
    args = parser.parse_args()
    if args.peak_memory:
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        obj = kelvo_solve(kelvo_beam(args.peak_memory), os.path.join(tempfile.mkdtemp(), "ipopt.out"))
        peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
        print(f"kelvo beam {args.peak_memory}: objective {obj:.10g}, peak resident memory {peak:.0f} MB "
              f"({before:.0f} MB before building)")
        return
    libs = []
    for lib in args.libraries.split(","):
        why = available(lib) if lib != "kelvo" else None
        if why:
            print(f"{lib}: skipped, not importable ({why})")
        else:
            libs.append(lib)
    out = os.path.join(tempfile.mkdtemp(), "ipopt.out")
    print(f"{'model':14s} {'library':15s} {'build s':>8s} {'solve s':>8s} {'total s':>8s} {'iters':>6s} "
          f"{'objective':>18s} {'eval s':>8s}   kelvo/peer: build solve total eval", flush=True)
    for item in args.models.split(","):
        name, size = item.split(":")
        size = int(size)
        repeat, label = (size, f"hs071 x{size}") if name == "hs071" else (1, f"{name} {size}")
        mine = None
        for lib in libs:
            b, s, its, obj, ev = run(lib, name, size, repeat, out)
            line = f"{label:14s} {lib:15s} {b:8.3f} {s:8.3f} {b + s:8.3f} {its:6d} {obj:18.10g} {ev:8.3f}"
            if lib == "kelvo":
                mine = (b, s, ev, obj)
            elif mine:
                agree = abs(mine[3] - obj) <= 1e-6 * max(1.0, abs(obj))
                line += (f"   {mine[0] / b:5.2f} {mine[1] / s:5.2f} {(mine[0] + mine[1]) / (b + s):5.2f} "
                         f"{mine[2] / ev if ev > 0 else float('nan'):5.2f}{'' if agree else '  OBJECTIVES DIFFER'}")
            print(line, flush=True)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"peak resident memory of this process: {peak:.0f} MB")


if __name__ == "__main__":
    main()
