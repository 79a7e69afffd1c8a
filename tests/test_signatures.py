import inspect
import pydoc
import pathlib
import types
import warnings

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


DOCS = pathlib.Path(__file__).resolve().parents[1] / "src" / "module" / "docs"


def documented():
    """key -> paragraph (whitespace collapsed) as written in the docs folder the build reads."""
    docs, key = {}, None
    for path in sorted(DOCS.glob("*.txt")):
        for line in path.read_text(encoding="utf-8").splitlines():
            if not line.strip() or line.startswith("#"):
                continue
            if line[0].isspace():
                docs[key] = (docs[key] + " " + line.strip()).strip()
            else:
                key = line.split("(", 1)[0].strip()
                docs[key] = ""
    return docs


def public_types():
    return [name for name, value in sorted(vars(_kelvo).items()) if not name.startswith("_")
            and isinstance(value, type) and not issubclass(value, BaseException)]


def test_every_public_callable_has_a_real_signature():
    missing, generic = [], []
    for name, f in public_callables():
        try:
            params = list(inspect.signature(f).parameters.values())
        except (ValueError, TypeError):
            missing.append(name)
            continue
        # A catch-all says nothing about what the parser accepts.
        if params and params[-1].kind is inspect.Parameter.VAR_KEYWORD:
            generic.append(name)
    assert not missing and not generic, f"no signature: {missing}; only *args, **kwargs: {generic}"
    # A type a user can make shows what its constructor takes.
    unsigned = [name for name in public_types() if "cannot create" not in constructs(getattr(_kelvo, name))
                and not has_signature(getattr(_kelvo, name))]
    assert not unsigned, f"constructors without a signature: {unsigned}"
    assert str(inspect.signature(kelvo.expression)) == "()" and str(kelvo.expression()) == "0"


def constructs(cls):
    """The refusal a call without arguments gives, or '' when it makes an instance."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # unlinked variables and sets are deprecated
        try:
            cls()
        except Exception as e:
            return str(e)
    return ""


def has_signature(cls):
    try:
        inspect.signature(cls)
    except (ValueError, TypeError):
        return False
    return True


def test_every_public_callable_and_type_shows_its_documented_paragraph():
    docs = documented()
    callables = dict(public_callables())
    names = list(callables) + public_types()
    undocumented = [name for name in names if name not in docs]
    assert not undocumented, ("add a paragraph for each to a file in src/module/docs: " + ", ".join(undocumented))
    # help() shows the paragraph after the signature lines, for methods, functions and types.
    shown = {name: " ".join((callables[name].__doc__ if name in callables else getattr(_kelvo, name).__doc__ or "")
                            .split()) for name in names}
    wrong = [name for name in names if shown[name] != docs[name]]
    assert not wrong, f"doc string differs from src/module/docs: {wrong}"
    # A key that names nothing is a misspelling or a method that went away.
    stale = sorted(set(docs) - set(names))
    assert not stale, f"documented but not in the module: {stale}"


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


def test_every_problem_method_refuses_a_problem_without_a_handle():
    # Without arguments, but for those whose required ones are read first; the output switch is
    # the object's own and needs no handle.
    required = {"getIndex": (0,), "read": ("m.mps",), "write": ("m.mps",)}
    blank = kelvo.problem.__new__(kelvo.problem)
    other, checked = {}, 0
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        for name, method in public_callables():
            short = name.split(".")[-1]
            if not name.startswith("problem.") or short in ("getOutputEnabled", "setOutputEnabled"):
                continue
            checked += 1
            try:
                method(blank, *required.get(short, ()))
                other[name] = "no error"
            except Exception as e:
                if not (type(e) is kelvo.ModelError and str(e) == "Problem is not initialized"):
                    other[name] = f"{type(e).__name__}: {e}"
    assert not other and checked > 300


def test_help_shows_the_keywords_and_the_description():
    shown = pydoc.render_doc(kelvo.problem.addVariables, renderer=pydoc.plaintext)
    assert "addVariables(self, /, *indices, name='x', lb=0, ub=1e+20, threshold=1, vartype=0)" in shown
    assert "Adds one variable per combination of the index sets" in shown
    # Defaults that are package constants and keyword-only arguments come through.
    assert inspect.signature(kelvo.var).parameters["ub"].default == kelvo.infinity
    assert inspect.signature(kelvo.problem).parameters["sense"].kind is inspect.Parameter.KEYWORD_ONLY
