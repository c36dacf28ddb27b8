"""The analysis of a data file, as the program kelmarino -q runs it: BASE.out and BASE.pos written
beside BASE.dat, its warnings and errors written to standard error; exit status 0, 1 after an
error (when no file is written, and the files of an earlier run stay), 2 for a command line it
cannot take."""

import argparse
import os
import signal
import sys

import kelmarino


_unsaid = []  # the messages that standard error could not take


def _say(text: str) -> None:
    """Writes a message to standard error, when there is one (none when it was closed); one that
    it cannot take (a full disk) is kept in _unsaid, and the run ends with exit status 1."""
    if sys.stderr is None:
        return
    try:
        sys.stderr.write(text)
        sys.stderr.flush()
    except OSError:
        _unsaid.append(text)


def main(arguments: list) -> int:
    """Runs the analysis of the data file named by arguments; the exit status."""
    parser = argparse.ArgumentParser(prog="python3 -m kelmarino", description=__doc__)
    parser.add_argument("name", metavar="BASE | PATH/BASE.dat")
    parser.add_argument("--version", action="version", version=f"kelmarino {kelmarino.__version__}")
    try:
        name = parser.parse_args(arguments).name
    except SystemExit as stop:  # --help, --version, or a command line it cannot take
        return stop.code
    # ".dat" is taken off only when a name is left, as the program takes it.
    base = name[:-len(".dat")] if name.endswith(".dat") and len(name) > len(".dat") else name
    try:
        base = kelmarino._whole_name(base, "base name")
        refusal = kelmarino._core.base_name_refusal(base)  # none, a folder, a control character
    except ValueError as error:  # not UTF-8 text
        refusal = str(error).replace("the base name ", "", 1)
    if not refusal and base.startswith("-") and "--" not in arguments:  # after --, a name
        refusal = f"{base!r} begins with '-', as an option does: write ./{base} for a file"
    if refusal:
        _say(f"python3 -m kelmarino: the base name {refusal}\n" + parser.format_usage())
        return 2
    try:
        group = kelmarino.read(base + ".dat")
        for warning in group.warnings:
            _say(f"{warning}\n")
        kelmarino.analyse(group).write(base)
        return 0
    except (kelmarino.InputError, kelmarino.AnalysisError, OSError) as error:
        message = str(error)
        if isinstance(error, OSError) and getattr(error, "__notes__", None):
            message = error.__notes__[-1]  # a failed write, in the program's words
    prefix = "" if message.startswith("run-time error") else "run-time error "
    _say(f"{prefix}{message}\n")
    return 1


def run(arguments: list) -> int:
    """main, its output flushed: a standard output or error that cannot be written (a full disk)
    ends it with exit status 1 once its files are written, as the program does; an interrupt
    ends it by the signal, without a traceback, the files those of this run or of the earlier
    one, whole."""
    try:
        status = main(arguments)
        if sys.stdout is not None:
            sys.stdout.flush()
    except KeyboardInterrupt:
        signal.signal(signal.SIGINT, signal.SIG_DFL)
        os.kill(os.getpid(), signal.SIGINT)
        raise
    except OSError as error:  # the standard output
        _say(f"run-time error writing the standard output: {error.strerror}\n")
        return 1
    return 1 if _unsaid else status


if __name__ == "__main__":
    sys.exit(run(sys.argv[1:]))
