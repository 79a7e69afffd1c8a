"""Reference counts and memory stay flat over many calls of the core mechanisms."""
import contextlib
import io
import warnings

import numpy as np

import kelvo
from flat_memory import run_flat



class Boom(Exception):
    pass


def test_frame_with_pending_and_stored_exceptions(t):
    p = t.problem()
    text = "raised around a library call"

    # A fresh exception each time: raising the same instance again would extend its traceback.
    def cycle():
        try:
            t.frame_call(p, True, Boom(text))
        except Boom:
            pass
        t.park(p, Boom(text))
        try:
            t.frame_call(p, True)
        except Boom:
            pass
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            try:
                t.frame_call(p, False, Boom(text))
            except Boom:
                pass
            t.park(p, Boom(text))
            t.park(p, Boom(text))  # dropped: the slot is full
            try:
                t.frame_call(p, False)
            except Boom:
                pass

    run_flat(cycle, [p, text, Boom])


def test_error_retrieval(t):
    p = t.problem()
    bo = t.branchobj(p)
    t.frame_call(p, False)

    def cycle():
        for owner in (p, bo, None):
            try:
                t.raise_error(owner)
            except (kelvo.SolverError, kelvo.InterfaceError):
                pass

    run_flat(cycle, [p, bo, kelvo.SolverError, kelvo.InterfaceError])


def test_walk(t):
    leaf = object()
    arr = np.array([leaf, [leaf]], dtype=object)
    data = [leaf, (leaf,), {"k": leaf}, arr, np.arange(3, dtype=np.int32)]

    def cycle():
        t.walk(data)
        t.walk(iter(data))
        try:
            t.walk([data, np.zeros(1, dtype=np.int64)])
        except kelvo.ModelError:
            pass

    run_flat(cycle, [leaf, arr, data])


def test_message_handlers_and_output(t):
    handler = lambda *a: None
    data = object()
    p = t.problem()
    sink = io.StringIO()

    def cycle():
        kelvo.addcbmsghandler(handler, data, 1)
        t.user_message(t.msghandlers()[0], "m", 1, p)
        kelvo.removecbmsghandler(handler, data)
        with contextlib.redirect_stdout(sink):
            t.message(p, "m", 1)
            t.message(None, "m", 1)
        sink.seek(0)
        sink.truncate()

    run_flat(cycle, [handler, data, p, sink])


def test_problem_lifecycle_and_library_counting(t):
    def cycle():
        p = t.problem()
        t.link_objects(p, 2)
        t.add_callback_record(p, 3, print)
        del p
        kelvo._init(None)
        kelvo.free()
        kelvo.getversion()

    run_flat(cycle, [print, kelvo._kelvo])
