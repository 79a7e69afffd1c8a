"""Solve a model file from the command line:

    python -m kelvo MODEL.mps|MODEL.lp [--time-limit S] [--gap G] [--threads N]
                    [--solution FILE] [--control name=value ...] [--quiet]

The solver log streams while the model solves; a short summary follows. The exit status tells
scripts how the solve ended (see EXIT_CODES); a bad file, control or value prints one line on
standard error and exits with EXIT_ERROR.
"""
import argparse
import math
import sys

EXIT_OPTIMAL = 0
EXIT_ERROR = 1
EXIT_USAGE = 2  # argparse's own code for a malformed command line
EXIT_INFEASIBLE = 3
EXIT_UNBOUNDED = 4
EXIT_LIMIT = 5  # a limit or Ctrl-C stopped the solve before optimality was proved
EXIT_INTERRUPTED = 130  # Ctrl-C outside the solve (reading the file, writing the solution)

EXIT_CODES = {
    EXIT_OPTIMAL: "optimal",
    EXIT_ERROR: "error (bad input or a failed solve)",
    EXIT_USAGE: "bad command line",
    EXIT_INFEASIBLE: "infeasible",
    EXIT_UNBOUNDED: "unbounded",
    EXIT_LIMIT: "stopped by a limit or Ctrl-C",
    EXIT_INTERRUPTED: "Ctrl-C outside the solve",
}


class _Failure(Exception):
    """One line for standard error, then EXIT_ERROR."""


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        # One line like every other refusal, so that scripts can log it; --help has the usage.
        self.exit(EXIT_USAGE, f"kelvo: error: {message} (see python -m kelvo --help)\n")


def _parser():
    epilog = "exit status: " + ", ".join(f"{code} {what}" for code, what in EXIT_CODES.items())
    ap = _Parser(prog="python -m kelvo", description="Solve an MPS or LP model file.", epilog=epilog)
    ap.add_argument("model", help="the model file (.mps or .lp, optionally compressed as the reader allows)")
    ap.add_argument("--time-limit", type=float, metavar="S", help="stop after S seconds")
    ap.add_argument("--gap", type=float, metavar="G", help="relative MIP gap at which to stop (e.g. 0.01)")
    ap.add_argument("--threads", type=int, metavar="N", help="threads the engines may use")
    ap.add_argument("--solution", metavar="FILE", help="write the solution to FILE (CSV)")
    ap.add_argument("--control", action="append", default=[], metavar="NAME=VALUE",
                    help="set any control by name; may be repeated")
    ap.add_argument("--quiet", action="store_true", help="no solver log, only the summary")
    return ap


def _value(text):
    """The control value a string spells: an integer, a number, or the string itself."""
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


def _controls(args):
    """(name, value) pairs in the order they apply; --control comes last so it can override."""
    pairs = []
    if args.time_limit is not None:
        pairs.append(("timelimit", args.time_limit))
    if args.gap is not None:
        pairs.append(("miprelstop", args.gap))
    if args.threads is not None:
        pairs.append(("threads", args.threads))
    for item in args.control:
        name, sep, text = item.partition("=")
        if not sep or not name.strip():
            raise _Failure(f"--control expects NAME=VALUE, got {item!r}")
        pairs.append((name.strip(), _value(text.strip())))
    return pairs


def _number(x):
    return "-" if x is None or (isinstance(x, float) and math.isnan(x)) else f"{x:.10g}"


def _exit_code(solve_status, sol_status):
    from .enums import SolStatus, SolveStatus

    if sol_status == SolStatus.OPTIMAL and solve_status == SolveStatus.COMPLETED:
        return EXIT_OPTIMAL, "optimal"
    if sol_status == SolStatus.INFEASIBLE:
        return EXIT_INFEASIBLE, "infeasible"
    if sol_status == SolStatus.UNBOUNDED:
        return EXIT_UNBOUNDED, "unbounded"
    if solve_status == SolveStatus.STOPPED:
        found = "with a feasible solution" if sol_status == SolStatus.FEASIBLE else "without a solution"
        return EXIT_LIMIT, f"stopped by a limit or Ctrl-C {found}"
    return EXIT_ERROR, f"solve ended as {SolveStatus(solve_status).name.lower()}, {SolStatus(sol_status).name.lower()}"


def run(argv=None):
    args = _parser().parse_args(argv)
    import kelvo

    # The log comes from the engines while they run; flush it line by line even into a pipe.
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(line_buffering=True)
    try:
        p = kelvo.problem()
        if args.quiet:
            p.setOutputEnabled(False)
        pairs = _controls(args)
        try:
            p.read(args.model)
        except kelvo.SolverError as e:
            raise _Failure(str(e)) from None
        for name, value in pairs:
            try:
                p.setControl(name, value)
            except (kelvo.InterfaceError, kelvo.ModelError, kelvo.SolverError, TypeError, ValueError) as e:
                raise _Failure(f"control {name}={value!r}: {e}") from None
        solve_status, sol_status = p.optimize()
        code, outcome = _exit_code(solve_status, sol_status)
        a = p.attributes
        has_solution = sol_status in (kelvo.enums.SolStatus.OPTIMAL, kelvo.enums.SolStatus.FEASIBLE)
        mip = a.mipents > 0 or a.sets > 0
        print(f"status     {outcome}")
        print(f"objective  {_number(a.objval if has_solution else None)}")
        print(f"bound      {_number(a.bestbound if mip else a.objval if code == EXIT_OPTIMAL else None)}")
        print(f"gap        {_number(a.miprelgap if mip and has_solution else 0.0 if code == EXIT_OPTIMAL else None)}")
        print(f"time       {a.time:.3f} s")
        if args.solution:
            if has_solution:
                p.writesol(args.solution)
            else:
                print(f"kelvo: no solution to write to {args.solution!r}", file=sys.stderr)
        return code
    except KeyboardInterrupt:
        # A solve stops at its next safe point on Ctrl-C and reports; anywhere else the run ends.
        print("kelvo: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except _Failure as e:
        print(f"kelvo: error: {e}", file=sys.stderr)
        return EXIT_ERROR
    except (kelvo.SolverError, kelvo.ModelError, kelvo.InterfaceError) as e:  # refused where not foreseen
        print(f"kelvo: error: {e}", file=sys.stderr)
        return EXIT_ERROR


if __name__ == "__main__":
    sys.exit(run())
