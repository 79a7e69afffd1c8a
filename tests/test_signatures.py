import inspect
import types

import pytest

import kelvo
from kelvo import _kelvo


def public_callables():
    """(qualified name, object) for every public function of kelvo and method of its types."""
    for name, value in sorted(vars(_kelvo).items()):
        if name.startswith("_") and name not in ("_init", "_getcontrols", "_setConstraintOperatorsEnabled"):
            continue
        if isinstance(value, types.BuiltinFunctionType):
            yield name, value
        elif isinstance(value, type) and not issubclass(value, BaseException):
            for member, attr in sorted(vars(value).items()):
                if not member.startswith("_") and isinstance(attr, types.MethodDescriptorType):
                    yield f"{name}.{member}", attr


def test_every_public_callable_has_a_signature():
    missing = []
    for name, f in public_callables():
        try:
            inspect.signature(f)
        except (ValueError, TypeError):
            missing.append(name)
    assert not missing


@pytest.mark.filterwarnings("ignore")
def test_signature_keywords_are_the_ones_the_parser_accepts():
    # Each keyword the signature names is accepted by the method's parser: any failure is about
    # its value or another argument.
    checked = 0
    for name, method in public_callables():
        if "." not in name or not name.startswith("problem."):
            continue
        params = list(inspect.signature(method).parameters.values())[1:]
        if any(p.kind in (p.VAR_POSITIONAL, p.VAR_KEYWORD) for p in params):
            continue
        for p in params:
            if p.kind is p.POSITIONAL_ONLY:
                continue
            try:
                getattr(kelvo.problem(), method.__name__)(**{p.name: object()})
            except TypeError as e:
                assert "keyword argument" not in str(e), (name, p.name, e)
            except Exception:
                pass
            checked += 1
    assert checked > 300
    # The check above would see a refused keyword.
    with pytest.raises(TypeError, match="invalid keyword argument"):
        kelvo.problem().optimize(flag="")


def test_help_shows_the_keywords_and_the_description():
    assert str(inspect.signature(kelvo.problem.addcols)) == \
        "(self, /, objcoef, start, rowind, rowcoef, lb, ub, names=None, types=None, unlinked=None)"
    assert kelvo.problem.addcols.__doc__.startswith("Adds columns")
    # Defaults that are package constants and keyword-only arguments come through.
    assert inspect.signature(kelvo.var).parameters["ub"].default == kelvo.infinity
    assert inspect.signature(kelvo.problem).parameters["sense"].kind is inspect.Parameter.KEYWORD_ONLY
    assert kelvo.problem.__doc__ == kelvo.problem().__doc__ == "An optimization problem."


def test_public_types_and_functions_have_docstrings():
    undocumented = [name for name, value in vars(_kelvo).items()
                    if not name.startswith("_") and isinstance(value, (type, types.BuiltinFunctionType))
                    and len((value.__doc__ or "").strip()) < 10]
    assert not undocumented
