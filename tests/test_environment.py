"""Library initialisation and release, environment functions, message output and handlers."""
import contextlib
import io
import sys
import threading

import numpy as np
import pytest

import kelvo
from helpers import testing


def free_all():
    while testing.init_count() > 0:
        kelvo.free()


class TestInitialisation:
    def test_free_and_init_count(self, t):
        free_all()
        assert kelvo.free() is False and t.init_count() == 0
        kelvo.getbanner()
        kelvo.getbanner()
        assert t.init_count() == 1  # on-demand initialisation happens once
        assert t.nlp_flag() == int(kelvo.featurequery("nlp"))  # settled by the initialisation
        kelvo._init(None)
        assert t.init_count() == 2  # forced
        assert kelvo.free() is True
        assert kelvo.free() is False
        assert t.init_count() == 0

    def test_init_takes_a_directory_and_a_failed_initialisation_is_not_counted(self, t, tmp_path):
        before = t.init_count()
        kelvo._init(str(tmp_path))
        assert t.init_count() == before + 1
        for bad in (3, b"/tmp", ["/tmp"]):
            with pytest.raises(kelvo.InterfaceError):
                kelvo._init(bad)
        with pytest.raises(kelvo.InterfaceError, match="Initialisation path not found"):
            kelvo._init("/no/such/directory")
        assert t.init_count() == before + 1

    @pytest.mark.parametrize("call", [
        lambda: kelvo.getbanner(), lambda: kelvo.getcheckedmode(), lambda: kelvo.getlasterror(),
        lambda: kelvo.getcomputeallowed(), lambda: kelvo.getdebugmode(), lambda: kelvo.featurequery("lp"),
        lambda: kelvo.setarchconsistency(True), lambda: kelvo.setcheckedmode(True),
        lambda: kelvo.setdebugmode(False), lambda: kelvo.setcomputeallowed(-1),
    ])
    def test_environment_functions_initialise_the_library_on_demand(self, t, call):
        free_all()
        call()
        assert t.init_count() == 1

    def test_releasing_the_last_initialisation_detaches_every_problem(self, t):
        p = t.problem()
        q = t.problem()
        variables, constraints, sets = t.link_objects(p, 3)
        record = t.add_callback_record(p, 9, print)
        refs = sys.getrefcount(p)
        free_all()
        for problem in (p, q):
            assert not t.has_handle(problem)
        assert [t.object_state(v) for v in variables] == [("deleted", 0)] * 3
        assert [t.object_state(c) for c in constraints] == [("deleted", 0, 2)] * 3
        assert [t.object_state(s) for s in sets] == [("deleted", 0)] * 3
        assert record == [None, print, None, 0]
        assert t.callback_count(p, 9) is None
        assert sys.getrefcount(p) == refs  # the record never owned the problem
        # A new problem works again and the released ones can still be dropped.
        r = t.problem()
        assert t.has_handle(r)
        del p, q, r

    def test_dropping_a_problem_marks_its_objects_deleted_and_leaves_the_live_list(self, t):
        before = t.live_problems()
        p = t.problem()
        assert t.live_problems() == before + 1
        variables, constraints, _ = t.link_objects(p, 2)
        assert t.object_state(variables[1]) == ("linked", 1)
        del p
        assert t.live_problems() == before
        assert t.object_state(variables[1]) == ("deleted", 0)
        assert t.object_state(constraints[0]) == ("deleted", 0, 2)


class NoTruth:
    def __bool__(self):
        raise ValueError("no truth")


class TestEnvironmentFunctions:
    def test_version_banner_last_error_and_features(self):
        assert "klvo" in kelvo.getbanner()
        code, text = kelvo.getlasterror()
        assert isinstance(code, int) and isinstance(text, str)
        assert kelvo.featurequery("lp") is True and kelvo.featurequery(feature="no-such-feature") is False
        with pytest.raises(TypeError):
            kelvo.featurequery(3)

    @pytest.mark.parametrize("set_, get, values, bad, message, default", [
        # Only the True object enables checked mode.
        (kelvo.setcheckedmode, kelvo.getcheckedmode, [(True, True), (1, False), (True, True)], [], None, True),
        (kelvo.setcomputeallowed, kelvo.getcomputeallowed, [(1, 1), (np.int64(0), 0)],
         ["1", 1.0, None, np.float64(1.0), 2**70], "Incorrect argument in setcomputeallowed: should be 0, 1 or -1", -1),
        (kelvo.setdebugmode, kelvo.getdebugmode, [([1], 1), (0, 0)], [NoTruth()],
         "Incorrect argument in setdebugmode: should be True or False", False),
        (kelvo.setOutputEnabled, kelvo.getOutputEnabled, [(0, False), ("yes", True)], [NoTruth()],
         "Incorrect argument in setOutputEnabled: should be True or False", True),
    ], ids=["checkedmode", "computeallowed", "debugmode", "output"])
    def test_module_switches(self, set_, get, values, bad, message, default):
        try:
            for value, expected in values:
                set_(value)
                assert get() == expected and type(get()) is type(expected)
            last = get()
            for value in bad:
                with pytest.raises(kelvo.ModelError, match=f"^{message}$"):
                    set_(value)
            assert get() == last
        finally:
            set_(default)


class RecordingOut:
    def __init__(self, fail_flush=False):
        self.text = io.StringIO()
        self.flushes = 0
        self.fail_flush = fail_flush

    def write(self, s):
        return self.text.write(s)

    def flush(self):
        self.flushes += 1
        if self.fail_flush:
            raise OSError("flush failed")


class TestMessageOutput:
    # sys.stdout is replaced inside each test: the test runner installs its own capture at
    # the start of the test body.
    @pytest.fixture
    def out(self):
        yield RecordingOut()
        kelvo.setOutputEnabled(True)

    def test_problem_messages_and_flushes_go_to_sys_stdout(self, t, out):
        p = t.problem()
        with contextlib.redirect_stdout(out):
            t.message(p, "first line", 1)
            t.message(p, "from a library thread", 3, True)
            t.message(p, "", 0)
            t.message(p, "", -1, True)
            assert out.flushes == 2 and out.text.getvalue() == "first line\nfrom a library thread\n"
            out.fail_flush = True
            t.message(p, "", 0)  # the failing flush is swallowed
            # Global messages skip those issued by problems.
            t.message(None, "environment message", 1)
            t.message(None, "problem message", 1, False, p)
        assert out.flushes == 3
        assert out.text.getvalue() == "first line\nfrom a library thread\nenvironment message\n"

    def test_module_output_flag_silences_printing_and_flushing(self, t, out):
        p = t.problem()
        kelvo.setOutputEnabled(False)
        with contextlib.redirect_stdout(out):
            t.message(p, "hidden", 1)
            t.message(p, "", 0)
            t.message(None, "hidden too", 1)
        assert out.text.getvalue() == "" and out.flushes == 0


class TestMessageHandlers:
    @pytest.fixture(autouse=True)
    def no_handlers(self):
        yield
        try:
            kelvo.removecbmsghandler(None, None)
        except kelvo.InterfaceError:
            pass

    def test_none_is_a_wildcard_and_matching_is_by_identity(self, t):
        f = lambda *a: None
        g = lambda *a: None
        d1, d2 = [1], [2]
        kelvo.addcbmsghandler(f, d1, 1)
        assert t.init_count() >= 1
        [entry] = t.msghandlers()
        assert entry == [f, d1]
        kelvo.removecbmsghandler(f, d1)
        assert t.msghandlers() == [] and entry[0] is None  # the handler reference is dropped with the entry
        kelvo.addcbmsghandler(f, d1, 1)
        kelvo.addcbmsghandler(f, d2, 2)
        kelvo.addcbmsghandler(g, d1, 3)
        with pytest.raises(kelvo.InterfaceError, match="Callback not found"):
            kelvo.removecbmsghandler(f, [1])  # equal but not the same object
        kelvo.removecbmsghandler(f, None)
        assert t.msghandlers() == [[g, d1]]
        kelvo.addcbmsghandler(f, d2, 0)
        kelvo.removecbmsghandler(None, d1)
        assert t.msghandlers() == [[f, d2]]
        kelvo.removecbmsghandler(None, None)
        assert t.msghandlers() == []
        with pytest.raises(kelvo.InterfaceError, match="^Callback not found$"):
            kelvo.removecbmsghandler(None, None)

    def test_wrong_arguments(self, t):
        three = r"^Incorrect arguments in addcbmsghandler\. Must provide correct list of three arguments$"
        two = r"^Incorrect arguments in removecbmsghandler\. Must provide correct list of two arguments$"
        for call, message in ((lambda: kelvo.addcbmsghandler(print, None), three),
                              (lambda: kelvo.addcbmsghandler(print, None, "high"), three),
                              (lambda: kelvo.removecbmsghandler(print), two)):
            with pytest.raises(kelvo.InterfaceError, match=message):
                call()
        assert t.msghandlers() == []

    def test_handlers_are_registered_with_the_library(self, t):
        f = lambda *a: None
        kelvo.addcbmsghandler(msghandler=f, data=None, priority=1)
        # Releasing the library drops its registrations; removing then reaches the library,
        # which no longer knows the handler.
        free_all()
        kelvo.getbanner()
        with pytest.raises(kelvo.InterfaceError, match="no such message handler is registered"):
            kelvo.removecbmsghandler(f, None)
        # Without an initialised library only the list is changed.
        free_all()
        kelvo.removecbmsghandler(f, None)
        assert t.msghandlers() == []

    def test_trampoline_calls_the_handler_with_wrapped_library_objects(self, t):
        calls = []
        data = {"key": 1}
        kelvo.addcbmsghandler(lambda *args: calls.append(args + (threading.get_ident(),)), data, 1)
        [entry] = t.msghandlers()
        p = t.problem()
        assert t.user_message(entry, "solver says hi", 3, p) == 0
        [(source, got, thread, message, length, msgtype, ident)] = calls
        assert type(source).__qualname__ == "klvoobject" and type(source).__module__ == "kelvo"
        assert type(thread).__qualname__ == "generic"
        assert got is data
        assert (message, length, msgtype) == ("solver says hi", 14, 3)
        for cls in (type(source), type(thread)):
            with pytest.raises(TypeError):
                cls()
        # From a library thread.
        assert t.user_message(entry, "from another thread", 1, None, True) == 0
        assert calls[1][3] == "from another thread" and calls[1][-1] != threading.get_ident() == ident

    def test_trampoline_rejects_a_bad_entry_and_passes_on_handler_errors(self, t):
        with pytest.raises(kelvo.InterfaceError, match="^Incorrect general environment message handler detected$"):
            t.user_message([print], "x", 1)

        def failing(*args):
            raise KeyError("handler failed")

        with pytest.raises(KeyError, match="handler failed"):
            t.user_message([failing, None], "x", 1)
