"""python3 -m kelmarino BASE | PATH/BASE.dat: the analysis of a data file, as the program
kelmarino -q runs it: BASE.out and BASE.pos written beside BASE.dat, its warnings and errors
written to standard error; exit status 0, 1 after an error, 2 for a command line it cannot take
(--help shows this)."""

import sys

import kelmarino

USAGE = "usage: python3 -m kelmarino BASE | PATH/BASE.dat\n"


def main(arguments: list) -> int:
    """Runs the analysis of the data file named by arguments; the exit status."""
    if arguments in (["--help"], ["-h"]):
        sys.stdout.write(USAGE + "\n" + __doc__ + "\n")
        return 0
    name = arguments[0] if len(arguments) == 1 else ""
    base = name[:-len(".dat")] if name.endswith(".dat") else name
    refusal = kelmarino._core.base_name_refusal(base)  # none, a folder, a control character
    if refusal or base.startswith("-"):
        sys.stderr.write((f"python3 -m kelmarino: the base name {refusal}\n" if refusal else "")
                         + USAGE)
        return 2
    try:
        group = kelmarino.read(base + ".dat")
        for warning in group.warnings:
            sys.stderr.write(f"{warning}\n")
        kelmarino.analyse(group).write(base)
        return 0
    except (kelmarino.InputError, kelmarino.AnalysisError, OSError) as error:
        message = str(error)
    prefix = "" if message.startswith("run-time error") else "run-time error "
    sys.stderr.write(f"{prefix}{message}\n")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
