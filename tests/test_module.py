"""Start-up of the module: exception classes, private entry points, optional and required imports."""
import pytest

import kelvo
from conftest import run_fresh


def test_exception_classes_private_entry_points_and_records():
    classes = [kelvo.ModelError, kelvo.InterfaceError, kelvo.SolverError]
    assert len(set(classes)) == 3
    for cls in classes:
        assert issubclass(cls, Exception) and cls.__module__ == "kelvo"
    assert issubclass(kelvo.DeprecationWarning, FutureWarning) and kelvo.DeprecationWarning is not DeprecationWarning
    # The test entry points stay out of the public namespace.
    assert not hasattr(kelvo, "_testing")
    assert not any(name.startswith("_test") for name in dir(kelvo))
    # Records without behaviour cannot be built yet.
    for cls in (kelvo.linterm, kelvo.quadterm, kelvo.nonlin, kelvo.poolcut):
        with pytest.raises(TypeError):
            cls()


def test_import_does_not_initialise_and_exit_is_clean_with_the_library_in_use(t):
    out = run_fresh("""
        import kelvo
        t = kelvo._kelvo._testing
        v = kelvo.getversion()
        n = kelvo.getversionnumbers()
        print(t.init_count(), t.nlp_flag(), v, n)
        kelvo._init(None)
        kelvo._init(None)
        p = t.problem()
        t.link_objects(p, 2)
        kelvo.addcbmsghandler(print, None, 1)
        print(t.init_count())
    """)
    first, last = out.splitlines()
    count, flag, version, numbers = first.split(maxsplit=3)
    assert (count, flag, last) == ("0", "-1", "2")
    assert version.count(".") == 2
    assert tuple(int(x) for x in version.split(".")) == eval(numbers)


def test_scipy_sparse_classes_are_looked_up_at_start_up_and_import_works_without_scipy(t):
    import scipy.sparse

    assert t.scipy() == (scipy.sparse, scipy.sparse.sparray, scipy.sparse.spmatrix)
    out = run_fresh("""
        import sys
        sys.modules['scipy'] = None
        import kelvo
        print(kelvo.infinity, kelvo._kelvo._testing.scipy())
    """)
    assert out.strip() == "1e+20 (None, None, None)"


def test_import_without_numpy_fails():
    out = run_fresh("""
        import sys
        sys.modules['numpy'] = None
        try:
            import kelvo
        except ImportError:
            print('refused')
    """)
    assert out.strip() == "refused"

