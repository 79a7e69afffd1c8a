"""kelvo: build, solve and query optimization models from Python."""

from ._kelvo import *  # noqa: F401,F403
from . import _kelvo

# Names starting with an underscore that belong to the public interface.
for _name in ("_init", "_getcontrols", "_setConstraintOperatorsEnabled"):
    if hasattr(_kelvo, _name):
        globals()[_name] = getattr(_kelvo, _name)
del _name

# Row types.
leq = 1
geq = 2
eq = 3
rng = 4
nonbinding = 5


def __getattr__(name):
    # kelvo.controls: the defaults for new problems, reached without initialising the library
    # at import.
    if name == "controls":
        return _kelvo._getcontrols()
    raise AttributeError(f"module 'kelvo' has no attribute {name!r}")
