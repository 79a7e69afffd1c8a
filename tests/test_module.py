"""Start-up of the module: exception classes, private entry points, optional and required imports."""
import pytest

import kelvo
from conftest import run_fresh


def test_exception_classes_are_distinct_and_correctly_based():
    classes = [kelvo.ModelError, kelvo.InterfaceError, kelvo.SolverError]
    assert len(set(classes)) == 3
    for cls in classes:
        assert issubclass(cls, Exception) and cls.__module__ == "kelvo"
    assert issubclass(kelvo.DeprecationWarning, FutureWarning)
    assert kelvo.DeprecationWarning is not DeprecationWarning
    assert kelvo.ModelError.__name__ == "ModelError"


def test_testing_entry_points_stay_out_of_the_public_namespace():
    assert not hasattr(kelvo, "_testing")
    assert not any(name.startswith("_test") for name in dir(kelvo))


def test_records_without_behaviour_cannot_be_built_yet():
    for cls in (kelvo.linterm, kelvo.quadterm, kelvo.nonlin, kelvo.poolcut, kelvo.branchobj):
        with pytest.raises(TypeError):
            cls()


def test_import_and_getversion_do_not_initialise_the_library(t):
    out = run_fresh("""
        import kelvo
        t = kelvo._kelvo._testing
        v = kelvo.getversion()
        n = kelvo.getversionnumbers()
        print(t.init_count(), t.nlp_flag(), v, n)
    """)
    count, flag, version, *numbers = out.split(maxsplit=3)
    assert (count, flag) == ("0", "-1")
    assert version.count(".") == 2
    assert tuple(int(x) for x in version.split(".")) == eval(numbers[0])


def test_scipy_sparse_classes_are_looked_up_at_start_up(t):
    import scipy.sparse

    assert t.scipy() == (scipy.sparse, scipy.sparse.sparray, scipy.sparse.spmatrix)


def test_import_without_scipy_succeeds(t):
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



def test_process_exits_cleanly_with_the_library_initialised_and_problems_alive(t):
    out = run_fresh("""
        import kelvo
        t = kelvo._kelvo._testing
        kelvo._init(None)
        kelvo._init(None)
        p = t.problem()
        t.link_objects(p, 2)
        kelvo.addcbmsghandler(print, None, 1)
        print(t.init_count())
    """)
    assert out.strip() == "2"
