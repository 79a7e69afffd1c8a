"""The solver-call frame, the pending-exception slot and error retrieval."""
import gc
import warnings

import pytest

import kelvo


class Boom(Exception):
    pass


class Unprintable(Exception):
    def __str__(self):
        raise RuntimeError("no text")


@pytest.fixture
def p(t):
    return t.problem()


@pytest.mark.parametrize("stored,succeeds,warning,rc", [
    # Pending before the call: it survives a successful call silently, and a failing one with
    # the library's text as a warning and the library's own code, not the pseudo code.
    (False, True, None, 0),
    (False, False, "Exception masked by another exception: KLVOremovecbmessage", 10),
    # Stored by a callback: it turns a successful call into a failure and wins over a library failure.
    (True, True, None, 884),
    (True, False, "no such message callback is registered", 10),
])
def test_a_python_exception_survives_the_library_call(t, p, stored, succeeds, warning, rc):
    exc = Boom("raised around the call")
    if stored:
        assert t.park(p, exc) is True and t.has_pending(p)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with pytest.raises(Boom, match="raised around the call"):
            t.frame_call(p, succeeds, *([] if stored else [exc]))
    assert [(w.category, warning in str(w.message)) for w in caught] == ([(RuntimeWarning, True)] if warning else [])
    assert t.last_rc() == rc and not t.has_pending(p)
    # The slot is empty again: the next call is clean.
    assert t.frame_call(p, True) == 0


def test_second_exception_is_dropped_with_a_warning_and_the_first_is_kept(t, p):
    t.park(p, Boom("first"))
    with pytest.warns(RuntimeWarning, match=r"Exception masked by another exception in optnode callback: second"):
        assert t.park(p, Boom("second"), "optnode callback") is False
    with pytest.warns(RuntimeWarning, match=r"in test: \(error\)"):
        t.park(p, Unprintable())
    with pytest.raises(Boom, match="first"):
        t.frame_call(p, True)


def test_exception_stored_for_another_handle_waits_for_a_call_on_that_handle(t, p):
    other = t.problem()
    t.park(p, Boom("other handle"), "test", other)
    assert t.frame_call(p, True) == 0  # not restored: recorded for a different library problem
    assert t.has_pending(p)
    del other  # releasing the problem frees its slot together with what it holds
    gc.collect()


def test_callback_problem_reports_through_its_parents_slot(t, p):
    cb = t.callback_problem(p)
    try:
        assert t.park(cb, Boom("inside callback")) is True
        assert t.has_pending(p)
        with pytest.raises(Boom, match="inside callback"):
            t.frame_call(cb, True)
        assert not t.has_pending(p)
    finally:
        t.detach_callback_problem(cb)


def test_exception_without_an_owner_is_dropped_with_a_warning(t):
    with pytest.warns(RuntimeWarning, match="Unhandled exception in KLVOgetcheckedmode: lost"):
        assert t.unowned_call(Boom("lost")) == 0


class TestErrorRetrieval:
    @pytest.mark.parametrize("owner,error,message", [
        # The library's text when it left one, else the fallback of the owner's kind.
        (lambda t, p: t.frame_call(p, False) and p, kelvo.SolverError,
         "KLVOremovecbmessage: no such message callback is registered"),
        (lambda t, p: p, kelvo.SolverError, "Unidentified error associated with optimization problem"),
        (lambda t, p: t.branchobj(p), kelvo.SolverError, "Unidentified error associated with a branching object"),
        (lambda t, p: object(), kelvo.InterfaceError, ""),
    ])
    def test_errors_carry_the_library_text_or_a_fallback(self, t, p, owner, error, message):
        with pytest.raises(error) as info:
            t.raise_error(owner(t, p))
        assert str(info.value) == message

    def test_global_environment_error_and_its_fallback(self, t):
        from conftest import run_fresh

        out = run_fresh("""
            import kelvo
            try:
                kelvo._kelvo._testing.raise_error(None)
            except kelvo.InterfaceError as e:
                print(e)
            try:
                kelvo.setcomputeallowed(2)
            except kelvo.InterfaceError as e:
                print(e)
        """)
        assert out.splitlines() == [
            "Unidentified error associated with the global environment",
            "KLVO_ge_setcomputeallowed: value 2 is not -1, 0 or 1",
        ]

    def test_long_library_messages_are_cut_to_512_characters(self):
        path = "/nonexistent/" + "x" * 1000
        with pytest.raises(kelvo.InterfaceError) as info:
            kelvo._init(path)
        text = str(info.value)
        assert len(text) == 512 and text.startswith("Initialisation path not found: /nonexistent/xxx")
