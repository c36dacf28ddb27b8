"""KELMARINO as a Python package: pile groups read from data files, edited as values, analysed
by the same library as the program, alone, in sweeps or on a cluster.

    import kelmarino
    group = kelmarino.read("examples/pier.dat")
    group.types[0].below[1].m *= 1.5
    result = kelmarino.analyse(group)
    result.cap, result.heads, result.stiffness, result.stations(1)

Units are those of the data file: m, rad, t, t*m, t/m2.
"""

from __future__ import annotations

import concurrent.futures
import copy as _copy
import os
import threading
from dataclasses import dataclass, field

import numpy as np

from . import _core

__version__ = _core.__version__  # the version of the programs built with it

__all__ = ["Above", "Below", "PileType", "Pile", "Load", "Support", "Group", "Result",
           "InputError", "AnalysisError", "read", "parse", "analyse", "sweep", "combinations",
           "Combinations", "HEADS", "QUANTITIES", "ENVELOPED"]

# The columns of Result.heads: pile-top displacements, then forces, in pile axes.
HEADS = ("UX", "UY", "UZ", "SX", "SY", "SZ", "NX", "NY", "NZ", "MX", "MY", "MZ")
# The arrays of Result.stations(pile).
QUANTITIES = ("Z", "UX", "UY", "SX", "SY", "NX", "NY", "NZ", "MX", "MY", "PSX", "PSY")
# The quantities of the envelopes of Combinations.envelope(pile).
ENVELOPED = ("UX", "UY", "SX", "SY", "NX", "NY", "NZ", "MX", "MY", "PSX", "PSY")


class InputError(Exception):
    """A mistake in a data file or an edited group: where it stands and what is wrong."""

    def __init__(self, file, line, column, message, full):
        super().__init__(full)
        self.file, self.line, self.column, self.message = file, line, column, message

    def __reduce__(self):  # pickled with its fields, to cross processes
        return type(self), (self.file, self.line, self.column, self.message, str(self)), \
            self.__dict__


class AnalysisError(Exception):
    """An arithmetic fault of the analysis, with the stage and the pile (0: none) where it arose."""

    def __init__(self, stage, pile, full):
        super().__init__(full)
        self.stage, self.pile = stage, pile

    def __reduce__(self):  # pickled with its fields, to cross processes
        return type(self), (self.stage, self.pile, str(self)), self.__dict__


@dataclass(slots=True)
class Above:
    """A segment above the ground line: length (m), diameter or side (m), steps."""
    length: float
    diameter: float
    steps: int


@dataclass(slots=True)
class Below:
    """A segment below the ground line: length, diameter (m), soil coefficient m (t/m4),
    friction angle (degrees), steps."""
    length: float
    diameter: float
    m: float
    friction: float
    steps: int


@dataclass(slots=True)
class PileType:
    """The properties every pile of one type shares."""
    shape: int  # KSH: 0 circular, 1 square
    tip: int  # KSU: bottom support code
    axis: tuple  # AGL: direction of the pile axis, head to tip, in cap axes
    above: list
    below: list
    PMB: float
    PEH: float
    PKE: float


@dataclass(slots=True)
class Pile:
    """A pile: the position of its top on the cap (m) and its type."""
    x: float
    y: float
    type: int


@dataclass(slots=True)
class Load:
    """A load point: position (m) and FX, FY, FZ (t), MX, MY, MZ (t*m) in cap axes."""
    x: float
    y: float
    FX: float = 0.0
    FY: float = 0.0
    FZ: float = 0.0
    MX: float = 0.0
    MY: float = 0.0
    MZ: float = 0.0


@dataclass(slots=True)
class Support:
    """A simulated pile: its position and its 6x6 stiffness in cap axes, row by row."""
    x: float
    y: float
    stiffness: list


@dataclass
class Group:
    """A pile group: every value of a data file, to be read and changed."""
    name: str
    JCTR: int
    INO: int
    loads: list
    piles: list
    types: dict
    supports: list = field(default_factory=list)
    warnings: list = field(default_factory=list)

    def copy(self) -> "Group":
        """An independent copy."""
        return _copy.deepcopy(self)

    def to_data(self) -> str:
        """The text of a data file that describes the group: types numbered in the order of their
        first pile, the first with the standard block; raises InputError for a value that cannot
        be written (not a number, not an integer)."""
        return _core.data_text(self)

    def check(self) -> "Group":
        """Checks the group exactly as a data file is checked; raises InputError."""
        _core.check(self)
        return self


def parse(text: str, name: str = "<text>") -> Group:
    """The group of a data file's text; raises InputError."""
    return _core.parse(text, name)


def read(path) -> Group:
    """The group of the data file at path; raises InputError. The file is read as the programs
    read it: a regular file (never a pipe or a device) of at most 256 MB."""
    path = os.fspath(path)
    try:
        text = _core.read_file(path)
    except OSError as error:
        full = f"cannot read {path}: {error}" if error.errno is not None else str(error)
        raise InputError(path, 0, 0, str(error), full) from error
    return _core.parse(text, path)


class Result:
    """The results of one analysis: cap displacements (6,), pile tops (n, 12) with the columns
    HEADS, head stiffness (n, 6, 6), all in pile axes, and the station arrays of every pile; the
    arrays are read-only views of the results. Made by analyse and sweep; `group` is the group
    analysed, as it is now."""

    __slots__ = ("group", "_analysis")  # _analysis: the values as analysed and their results

    def __init__(self, group, analysis):
        self.group, self._analysis = group, analysis

    @property
    def cap(self):
        return self._analysis.cap

    @property
    def heads(self):
        return self._analysis.heads

    @property
    def stiffness(self):
        return self._analysis.stiffness

    def stations(self, pile: int) -> dict:
        """The arrays Z, UX, ... PSY of a pile, numbered from 1 as printed."""
        rows = self._analysis.station_rows(pile)
        return {q: rows[:, i] for i, q in enumerate(QUANTITIES)}

    def ground_station(self, pile: int) -> int:
        """The number of the station at the ground line of a pile (from 1)."""
        return self._analysis.ground_station(pile)

    def write(self, base) -> None:
        """BASE.out and BASE.pos, as kelmarino writes them for the group's data file, as the
        group was when analysed."""
        failure = self._analysis.write(os.fspath(base))
        if failure is not None:
            raise OSError(failure)

    def to_frame(self):
        """Two pandas data frames: the pile tops, and every station of every pile."""
        import pandas as pd
        heads = pd.DataFrame(self.heads, columns=HEADS)
        heads.insert(0, "pile", range(1, len(self.heads) + 1))
        stations = [pd.DataFrame(self.stations(p)).assign(pile=p)
                    for p in range(1, len(self.heads) + 1)]
        frame = pd.concat(stations, ignore_index=True)
        return heads, frame[["pile", *QUANTITIES]]


def _checked(group, number=None):
    if not isinstance(group, Group):
        place = "the group" if number is None else f"group {number}"
        raise TypeError(f"{place} is a {type(group).__name__}, not a kelmarino.Group")
    return group


def analyse(group: Group) -> Result:
    """The full analysis of a group under its loads; raises InputError or AnalysisError. The
    interpreter lock is released while it runs."""
    return Result(group, _core.analyse(_checked(group)))


def sweep(groups, executor: concurrent.futures.Executor | None = None, *,
          threads: int | None = None) -> list:
    """The results of many groups, in their order: on a local pool of `threads` threads (one per
    processor unless given), or on any concurrent.futures executor (a Dask client's
    get_executor() runs them on its cluster). The first group in order that fails raises its
    InputError or AnalysisError."""
    groups = [_checked(group, number) for number, group in enumerate(groups)]
    if executor is not None:
        return _in_order(executor.map(analyse, groups))
    if threads is not None and threads < 1:
        raise ValueError(f"threads must be 1 or more, not {threads}")
    count = threads or len(os.sched_getaffinity(0))
    return _in_order(_on_threads(groups, max(1, min(count, len(groups)))))


def _on_threads(groups, threads) -> list:
    """Each group's Result or error, analysed on `threads` threads (the calling one among them),
    each taking the next group that none has taken; the analyses run outside the lock."""
    answers = [None] * len(groups)
    untaken = iter(range(len(groups)))  # shared: each number is taken by one thread

    def analyse_untaken():
        for i in untaken:
            try:
                answers[i] = analyse(groups[i])
            except Exception as error:  # raised in its turn
                answers[i] = error
    others = [threading.Thread(target=analyse_untaken) for _ in range(threads - 1)]
    for thread in others:
        thread.start()
    try:
        analyse_untaken()
    finally:
        for _ in untaken:  # interrupted: the others take no more
            pass
        for thread in others:
            thread.join()
    return answers


def _in_order(results) -> list:
    """The results of a sweep as a list; the first mistake (raised by an executor, or given in
    place of its result by the core) is raised with a note of its group's place."""
    kept = []
    try:
        for result in results:
            if isinstance(result, Exception):
                raise result
            kept.append(result)
    except (InputError, AnalysisError) as error:
        error.add_note(f"(group {len(kept)} of the sweep, counted from 0)")
        raise
    return kept


class Combinations:
    """The numbers kelmarino-cases writes: the combinations' names, their cap displacements
    (m, 6), their pile tops (m, n, 12) with the columns HEADS, and the envelopes of every pile;
    the arrays are read-only."""

    def __init__(self, names, cap, heads, envelopes):
        self.names, self.cap, self.heads, self._envelopes = names, cap, heads, envelopes

    def envelope(self, pile: int) -> dict:
        """Z, the ground-line station KG, and per quantity of ENVELOPED the largest and smallest
        value at every station with the combination that governs it (the first in file order
        on a tie): {"Z": ..., "KG": ..., "max": {q: array}, "max_by": {q: [names]}, "min": ...}."""
        e = self._envelopes[pile - 1]
        out = {"Z": e["Z"], "KG": e["KG"]}
        for side in ("max", "min"):
            out[side] = {q: e[side][:, i] for i, q in enumerate(ENVELOPED)}
            out[side + "_by"] = {q: [self.names[c] for c in e[side + "_combination"][:, i]]
                                 for i, q in enumerate(ENVELOPED)}
        return out


def _is_file(source) -> bool:
    return isinstance(source, (str, os.PathLike))


def _file(source) -> tuple:
    """The text and name of a CSV file, read as read() reads a data file; raises OSError."""
    return _core.read_file(os.fspath(source)), os.fspath(source)


def _point(point) -> tuple:
    return (point.x, point.y, point.FX, point.FY, point.FZ, point.MX, point.MY, point.MZ) \
        if isinstance(point, Load) else tuple(point)


def _load_values(loads) -> list:
    """Each case's name and its points, rows of x, y, FX .. MZ in single precision."""
    values = []
    for case, points in loads.items():
        rows = [_point(p) for p in points]
        if any(len(row) != 8 for row in rows):
            message = f'loads["{case}"]: a load point has 8 values'
            raise InputError("", 0, 0, message, "run-time error in " + message)
        values.append((str(case), np.array(rows, np.float32).tolist()))
    return values


def _combination_values(combinations) -> list:
    """Each combination's name and its factors by case, in single precision."""
    return [(str(name), [(str(case), float(np.float32(f))) for case, f in factors.items()])
            for name, factors in combinations.items()]


def combinations(group: Group, loads, combinations=None) -> Combinations:
    """The load combinations of kelmarino-cases for a group: `loads` is a loads file (path) or a
    mapping {case: [Load or (x, y, FX, FY, FZ, MX, MY, MZ), ...]}; `combinations` a combinations
    file, a mapping {name: {case: factor}}, or None for every case alone. With JCTR = 1 the
    group's own load points are the case "data". Raises InputError or AnalysisError."""
    loads = _file(loads) if _is_file(loads) else _load_values(loads)
    combinations = None if combinations is None else _file(combinations) \
        if _is_file(combinations) else _combination_values(combinations)
    return Combinations(*_interruptible(_core.combinations, _checked(group), loads, combinations))


def _interruptible(call, *arguments):
    """call(*arguments, stop) on a thread of its own, so that Ctrl-C in this one asks it to stop
    (it does at its next part of combinations) and is raised at once after."""
    stop = _core.Stop()
    answer = []

    def work():
        try:
            answer.append(call(*arguments, stop))
        except BaseException as error:  # raised in the calling thread
            answer.append(error)
    thread = threading.Thread(target=work, daemon=True)
    thread.start()
    try:
        while thread.is_alive():
            thread.join(0.1)
    except KeyboardInterrupt:
        stop.ask()
        thread.join()
        raise
    if isinstance(answer[0], BaseException):
        raise answer[0]
    return answer[0]
