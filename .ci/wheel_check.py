"""Run by `make wheel-check` in a fresh virtual environment holding only the repaired wheel and
its declared dependencies: kelvo imports, solves an LP, a MILP and an NLP to optima known by
hand, and the Ipopt it loaded is the copy inside the wheel, not a system library."""
import importlib.metadata
import math
import pathlib
import sys

import kelvo

here = pathlib.Path(kelvo.__file__).resolve().parent
assert "site-packages" in here.parts, f"kelvo came from {here}, not from the installed wheel"
# Type checkers find the stubs only with the marker beside them; no test entry points ship.
shipped = {path.name for path in here.iterdir()}
assert {"py.typed", "_kelvo.pyi", "__init__.pyi"} <= shipped, sorted(shipped)
assert not hasattr(kelvo._kelvo, "_testing"), "the wheel ships test entry points"
# Dask comes with the extra: pip install kelvo[dask].
requires = importlib.metadata.metadata("kelvo").get_all("Requires-Dist")
assert 'dask[distributed]; extra == "dask"' in requires, requires

# LP: max x + y with x + 2y <= 4, 3x + y <= 6: optimum 2.8 at (1.6, 1.2).
p = kelvo.problem()
x, y = p.addVariable(name="x"), p.addVariable(name="y")
p.addConstraint(x + 2 * y <= 4, 3 * x + y <= 6)
p.setObjective(x + y, sense=kelvo.maximize)
p.controls.outputlog = 0
p.optimize()
assert abs(p.attributes.objval - 2.8) < 1e-7, p.attributes.objval

# MILP: the same with integer variables: optimum 2 (e.g. (1, 1) or (2, 0)).
p = kelvo.problem()
x, y = p.addVariable(vartype=kelvo.integer), p.addVariable(vartype=kelvo.integer)
p.addConstraint(x + 2 * y <= 4, 3 * x + y <= 6)
p.setObjective(x + y, sense=kelvo.maximize)
p.controls.outputlog = 0
p.optimize()
assert abs(p.attributes.objval - 2) < 1e-7, p.attributes.objval

# NLP: min exp(x) - 2x, whose optimum is at x = ln 2 with value 2 - 2 ln 2.
p = kelvo.problem()
x = p.addVariable(lb=-10, ub=10)
t = p.addVariable(lb=-100, ub=100)
p.addConstraint(kelvo.exp(x) - 2 * x <= t)
p.setObjective(t)
p.controls.outputlog = 0
p.optimize()
assert abs(p.getSolution(x) - math.log(2)) < 1e-5, p.getSolution(x)
assert abs(p.attributes.objval - (2 - 2 * math.log(2))) < 1e-6, p.attributes.objval

mapped = sorted({line.split()[-1] for line in open("/proc/self/maps") if ".so" in line})
ipopt = [path for path in mapped if "libipopt" in path]
assert ipopt and all(path.startswith(str(here.parent / "kelvo.libs")) for path in ipopt), ipopt
# Nothing the Debian solver packages provide comes from the system: Ipopt's linear algebra,
# HiGHS and the Fortran run time all load from inside the environment.
packaged = ("ipopt", "mumps", "scotch", "metis", "blas", "lapack", "gfortran", "quadmath", "highs", "klvo")
system = [path for path in mapped if not path.startswith(sys.prefix) and any(n in path for n in packaged)]
assert not system, system
print(f"the wheel solves an LP, a MILP and an NLP; Ipopt loaded from {ipopt[0]}")
