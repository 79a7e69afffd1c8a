"""A fixed share of the random API-sequence fuzzer (tests/fuzz/api_fuzz.py): any crash, hang,
unexpected exception kind or refused call that changed the model fails with a reproducer.
`make fuzz` runs many more sequences from a random seed."""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent / "fuzz"))
import api_fuzz  # noqa: E402


def test_random_api_sequences_neither_crash_nor_misbehave(capsys):
    status = api_fuzz.main(["--seed", "20261207", "--sequences", "100", "--length", "30", "--jobs", "2",
                            "--timeout", "90", "--shrink", "20", "--max-depth", "100000"])
    assert status == 0, capsys.readouterr().out
