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

import collections
import concurrent.futures
import contextlib
import copy as _copy
import errno
import math
import numbers
import operator
import os
import pickle
import re
import signal
import threading
import time
import uuid
import warnings as _warnings
from collections.abc import Iterable, Mapping, Sequence, Set
from dataclasses import dataclass, field, fields

import numpy as np

from . import _core

__version__ = _core.__version__  # the version of the programs built with it

__all__ = ["Above", "Below", "PileType", "Pile", "Load", "Support", "Group", "Result",
           "InputError", "AnalysisError", "read", "parse", "analyse", "sweep", "combinations",
           "Combinations", "montecarlo", "peaks", "frame", "HEADS", "QUANTITIES", "RESULTANTS", "PEAKED", "DESIGN_SETS", "ENVELOPED",
           "UNITS"]

# The columns of Result.heads: pile-top displacements, then forces, in pile axes.
HEADS = ("UX", "UY", "UZ", "SX", "SY", "SZ", "NX", "NY", "NZ", "MX", "MY", "MZ")
# The arrays of Result.stations(pile).
QUANTITIES = ("Z", "UX", "UY", "SX", "SY", "NX", "NY", "NZ", "MX", "MY", "PSX", "PSY")
# The resultants of every station: V of NX and NY, M of MX and MY.
RESULTANTS = ("V", "M")
# The quantities with true peaks between the stations, Result.peaks.
PEAKED = ("UX", "UY", "NX", "NY", "MX", "MY", "PSX", "PSY")
# The design sets of Combinations.design_sets(pile), as design-sets.csv names them.
DESIGN_SETS = ("max_N_head", "min_N_head", "max_M_head", "max_M_soil")
# The quantities of the envelopes of Combinations.envelope(pile).
ENVELOPED = ("UX", "UY", "SX", "SY", "NX", "NY", "NZ", "MX", "MY", "PSX", "PSY")
# The unit of every quantity, in the units of the data file.
UNITS = {"x": "m", "y": "m", "Z": "m", "depth": "m", "UX": "m", "UY": "m", "UZ": "m",
         "SX": "rad", "SY": "rad", "SZ": "rad", "NX": "t", "NY": "t", "NZ": "t", "MX": "t*m",
         "MY": "t*m", "MZ": "t*m", "PSX": "t/m2", "PSY": "t/m2", "V": "t", "M": "t*m"}


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


def _by_fields(part):
    """A part pickled as its class called with its fields, at every protocol (one with slots and
    no state of its own cannot be pickled at protocols 0 and 1)."""
    return (type(part), tuple(getattr(part, f.name) for f in fields(part)))


@dataclass(slots=True)
class Above:
    """A segment above the ground line: length (m), diameter or side (m), steps."""
    length: float
    diameter: float
    steps: int
    __reduce__ = _by_fields


@dataclass(slots=True)
class Below:
    """A segment below the ground line: length, diameter (m), soil coefficient m (t/m4),
    friction angle (degrees), steps."""
    length: float
    diameter: float
    m: float
    friction: float
    steps: int
    __reduce__ = _by_fields


@dataclass(slots=True)
class PileType:
    """The properties every pile of one type shares."""
    shape: int  # KSH: 0 circular, 1 square
    tip: int  # KSU: bottom support code
    axis: tuple[float, float, float]  # AGL: direction of the pile axis, head to tip, in cap axes
    above: list[Above]
    below: list[Below]
    PMB: float  # soil coefficient under the bottom: t/m4 for tip 1 and 2, t/m3 beyond
    PEH: float  # elastic modulus of the pile (t/m2)
    PKE: float  # reduction factor of the bending stiffness (1.0: none)
    __reduce__ = _by_fields


@dataclass(slots=True)
class Pile:
    """A pile: the position of its top on the cap (m) and its type."""
    x: float
    y: float
    type: int
    __reduce__ = _by_fields


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
    __reduce__ = _by_fields


@dataclass(slots=True)
class Support:
    """A simulated pile: its position and its 6x6 stiffness in cap axes, row by row."""
    x: float
    y: float
    stiffness: list[float]  # 36 values, or 6 rows of 6
    __reduce__ = _by_fields


def _is_list(value) -> bool:
    return isinstance(value, (Sequence, np.ndarray)) and not isinstance(value, (str, bytes))


# What each attribute of a group holds, and how a value of it is recognised.
_GROUP_VALUES = {
    "name": ("a str", lambda v: isinstance(v, str)),
    "JCTR": ("an integer", lambda v: isinstance(v, numbers.Integral)),
    "INO": ("an integer", lambda v: isinstance(v, numbers.Integral)),
    "loads": ("a list of Load", _is_list),
    "piles": ("a list of Pile", _is_list),
    "types": ("a mapping {type number: PileType}", lambda v: isinstance(v, Mapping)),
    "supports": ("a list of Support", _is_list),
    "warnings": ("a list of str", _is_list),
}


@dataclass(slots=True, repr=False)
class Group:
    """A pile group: every value of a data file, to be read and changed. Its attributes are
    fixed, and each takes only its kind of value (TypeError at once); the numbers in its parts are
    checked when it is analysed (InputError naming their path)."""
    name: str
    JCTR: int
    INO: int
    loads: list[Load]
    piles: list[Pile]
    types: dict[int, PileType]
    supports: list[Support] = field(default_factory=list)
    warnings: list[str] = field(default_factory=list)

    def __setattr__(self, name, value):
        kind = _GROUP_VALUES.get(name)
        if kind is not None and not kind[1](value):
            raise TypeError(f"Group.{name} is {kind[0]}, not a {type(value).__name__}")
        if name == "types" and type(value) is not dict:
            value = dict(value)  # a read-only or custom mapping could be neither copied nor pickled
        object.__setattr__(self, name, value)

    def __repr__(self):
        return (f"Group({self.name!r}, {len(self.piles)} piles, {len(self.types)} types, "
                f"{len(self.loads)} load points, {len(self.supports)} supports, "
                f"JCTR={self.JCTR})")

    def __getstate__(self):
        return _group_state(self)

    def __setstate__(self, state):  # the values of a group, checked when they were set
        if type(state) is not tuple or len(state) != len(_GROUP_VALUES):
            raise TypeError("not the pickled state of a kelmarino.Group of this version")
        for name, value in zip(_GROUP_VALUES, state):
            object.__setattr__(self, name, value)

    def __dask_tokenize__(self):
        """A token of its own for every use: a group can change, so Dask may never take two for
        the same (and is spared hashing every value of it)."""
        return uuid.uuid4().hex

    def copy(self) -> "Group":
        """An independent copy (of every part, at the cost of a small part of one analysis)."""
        return _copied(self)

    def vary(self, changes: Mapping) -> "Group":
        """A variant of the group with the values at some paths changed, for example
        {"types[0].below[1].m": 3000.0, "loads[0].FX": 120.0}: only the parts on those paths are
        copied, the others are shared with this group (change them through vary or a copy)."""
        if not isinstance(changes, Mapping):
            raise TypeError(f"vary takes a mapping {{path: value}}, not a "
                            f"{type(changes).__name__}")
        variant = _shallow(self)
        for path, value in changes.items():
            variant = _replaced(variant, _steps(path), value, path)
        return variant

    def to_data(self) -> str:
        """The text of a data file that describes the group: types numbered in the order of their
        first pile, the first with the standard block; raises InputError for a value that cannot
        be written (not a number, not an integer). As in a data file, load points are written only
        with JCTR = 1 (check() refuses a group that has them with another JCTR)."""
        return _core.data_text(self)

    def check(self) -> "Group":
        """Checks the group exactly as a data file is checked; raises InputError, and warns
        (UserWarning) of each value that is allowed but unusual, as the reader warns of it."""
        found = _core.mistakes(self)
        if found:
            raise found[0]
        for text in _core.unusual(self):
            _warnings.warn(f"in {self.name}: {text}", UserWarning, stacklevel=2)
        return self

    def unusual(self) -> "list[str]":
        """The values of a group that passes check() which are allowed but unusual, as the
        reader warns of them in a data file, each named by its path: 'types[0].below[1].m =
        3e+06: usual: 50 to 300000 (...) (PMT)'. analyse() does not look for them."""
        return _core.unusual(self)

    def mistakes(self) -> "list[InputError]":
        """Every mistake of the group's values, in the order of the group, each the InputError
        that check() raises for the first; empty when the group passes."""
        return _core.mistakes(self)


_group_state = operator.attrgetter(*_GROUP_VALUES)
_PARTS = (Above, Below, PileType, Pile, Load, Support, Group)
_FIELDS = {kind: tuple(f.name for f in fields(kind)) for kind in _PARTS}
_PLAIN = (float, int, str, bool, type(None))


def _copied(value):
    """A copy of a value of a group: its parts and lists copied, numbers and tuples shared."""
    kind = type(value)
    if kind in _PLAIN:
        return value
    names = _FIELDS.get(kind)
    if names is not None:
        return kind(*[_copied(getattr(value, n)) for n in names])
    if kind is list:
        return [_copied(item) for item in value]
    if kind is dict:
        return {key: _copied(item) for key, item in value.items()}
    if kind is tuple and all(type(item) in _PLAIN for item in value):
        return value
    return _copy.deepcopy(value)


def _shallow(value):
    """A copy of one part or list of a group, sharing what it holds."""
    names = _FIELDS.get(type(value))
    if names is not None:
        return type(value)(*[getattr(value, n) for n in names])
    if isinstance(value, Mapping):
        return dict(value)
    return list(value)


_STEP = re.compile(r"\.?([A-Za-z_]\w*)|\[(-?\d+)\]")


def _steps(path: str) -> list:
    """The attributes (str) and indices or keys (int) of a path such as types[0].below[1].m."""
    if not isinstance(path, str):
        raise TypeError(f"a path is a str such as 'types[0].below[1].m', not {path!r}")
    steps, at = [], 0
    while at < len(path):
        step = _STEP.match(path, at)
        # An attribute follows a dot, but at the start: types[0].below, not types[0]below.
        if step is None or (step[1] is not None and (at == 0) == path.startswith(".", at)):
            raise KeyError(f"{path!r} is not a path of a group such as 'types[0].below[1].m'")
        steps.append(step[1] if step[1] is not None else int(step[2]))
        at = step.end()
    if not steps:
        raise KeyError("an empty path")
    return steps


def _inner(part, step, path):
    """The value at one step of a path (an attribute, a key or an index) inside part; a step that
    names nothing there is refused with the whole path."""
    if isinstance(step, str):
        if step not in _FIELDS.get(type(part), ()):
            raise AttributeError(f"{path}: {type(part).__name__} has no attribute {step!r}")
        return getattr(part, step)
    if isinstance(part, Mapping):
        if step not in part:
            raise KeyError(f"{path}: {step} is not one of the keys {sorted(part)}")
        return part[step]
    if not _is_list(part):
        raise TypeError(f"{path}: [{step}] indexes a {type(part).__name__}, which is no list")
    if not 0 <= step < len(part):
        raise IndexError(f"{path}: index {step} outside 0 to {len(part) - 1}" if len(part) else
                         f"{path}: index {step} of an empty list")
    return part[step]


def _replaced(part, steps, value, path):
    """part (already a copy of its own) with the value at steps replaced, the parts between
    copied."""
    step, rest = steps[0], steps[1:]
    inner = _inner(part, step, path)
    if rest and not (type(inner) in _FIELDS or isinstance(inner, Mapping) or _is_list(inner)):
        raise TypeError(f"{path}: a {type(inner).__name__} has no parts to name after it")
    new = _replaced(_shallow(inner), rest, value, path) if rest else value
    if isinstance(step, str):
        setattr(part, step, new)
    else:
        part[step] = new
    return part


def parse(text: str, name: str = "<text>") -> Group:
    """The group of a data file's text; raises InputError."""
    if not isinstance(text, str) or not isinstance(name, str):
        raise TypeError(f"parse takes the text and the name as str, not {type(text).__name__} "
                        f"and {type(name).__name__}")
    return _core.parse(text, name)


def read(path) -> Group:
    """The group of the data file at path; raises InputError. The file is read as the programs
    read it: a regular file (never a pipe or a device) of at most 256 MB."""
    return _core.parse(*_file(path))


def _number(value, count: int, what: str = "pile") -> int:
    """A number counted from 1, as printed: an integer from 1 to count (True is no number)."""
    try:
        if isinstance(value, bool):
            raise TypeError
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"a {what} number is an integer from 1 to {count}, not {value!r}") \
            from None
    if not 1 <= number <= count:
        raise IndexError(f"{what} {number} outside 1 to {count}")
    return number


_COLUMNS = []


def _frame_columns(pd) -> list:
    """The columns of the frames of a result: made once."""
    if not _COLUMNS:
        _COLUMNS.append(pd.Index(["pile", "x", "y", "type", *HEADS]))
        _COLUMNS.append(pd.Index(["pile", "x", "y", "type", "station", "Z", "depth",
                                  *QUANTITIES[1:], *RESULTANTS]))
    return _COLUMNS


class Result:
    """The results of one analysis: cap displacements (6,: m, rad), pile tops (n, 12) with the
    columns HEADS (m, rad, t, t*m), head stiffness (n, 6, 6), all in pile axes, the foundation's
    stiffness at the cap centre (6, 6) in cap axes, and the station arrays of every pile; the
    arrays are read-only float32 views of the results. Made by analyse and sweep; `group` is the
    group analysed, as it is now."""

    __slots__ = ("group", "_analysis")  # _analysis: the values as analysed and their results

    def __init__(self, group, analysis):
        self.group, self._analysis = group, analysis

    def __reduce__(self):  # the analysis as its state, checked as it is read back
        return _result_of_state, (self.group, self._analysis.state())

    def __repr__(self):
        ux, uy, uz = (1000.0 * float(v) for v in self.cap[:3])
        return (f"Result({len(self.heads)} piles, cap UX={ux:.3f} mm, UY={uy:.3f} mm, "
                f"UZ={uz:.3f} mm)")

    @property
    def cap(self):
        """UX, UY, UZ (m), SX, SY, SZ (rad) of the cap centre."""
        return self._analysis.cap

    @property
    def heads(self):
        """Per pile its top's UX .. SZ (m, rad), NX .. NZ (t), MX .. MZ (t*m), in pile axes."""
        return self._analysis.heads

    @property
    def stiffness(self):
        """Per pile its head stiffness (6, 6) in pile axes (t/m, t/rad, t*m/m, t*m/rad)."""
        return self._analysis.stiffness

    @property
    def foundation_stiffness(self):
        """The stiffness of the foundation at the cap centre (6, 6), in cap axes."""
        return self._analysis.foundation_stiffness

    def stations(self, pile: int) -> dict:
        """The arrays Z, UX, ... PSY of a pile, numbered from 1 as printed, and the resultants V
        (t) and M (t*m) of each station."""
        first, count, _ = self._analysis.pile_span(_number(pile, len(self.heads)))
        rows = self._analysis.all_station_rows[first:first + count]
        resultants = self._analysis.all_resultants[first:first + count]
        out = {q: rows[:, i] for i, q in enumerate(QUANTITIES)}
        out.update({q: resultants[:, i] for i, q in enumerate(RESULTANTS)})
        return out

    @property
    def supports(self):
        """Per simulated pile its reaction NX, NY, NZ (t), MX, MY, MZ (t*m) in cap axes: the force
        on the support, with the sign of the pile tops' forces."""
        return self._analysis.supports

    @property
    def equilibrium(self) -> dict:
        """The loads at the cap centre ("applied", FX .. MZ in t, t*m), the sum there of the forces
        on the pile heads and the supports ("resisted"), and the largest difference of a component
        over the largest applied one ("residual"; above 1e-4 the results view warns)."""
        applied, resisted, residual = self._analysis.equilibrium
        return {"applied": applied, "resisted": resisted, "residual": residual}

    @property
    def peaks(self) -> dict:
        """Per quantity of PEAKED an array (piles, 2): the true peak of each pile between its
        stations, signed, and its Z (m) from the pile top; zeros for a pile without stations.
        Found when first read (or the result pickled): an arithmetic fault of theirs is raised
        here, as an AnalysisError."""
        peaks = self._analysis.peaks
        return {q: peaks[:, ENVELOPED.index(q), :] for q in PEAKED}

    def ground_station(self, pile: int) -> int:
        """The number of the station at the ground line of a pile (from 1)."""
        return self._analysis.pile_span(_number(pile, len(self.heads)))[2]

    def write(self, base) -> None:
        """BASE.out and BASE.pos, as kelmarino writes them for the group's data file, as the
        group was when analysed; a base that names no file (a folder, "sub/") or that holds a
        control character is refused."""
        base = _whole_name(os.fsdecode(base), "base name")
        if _core.names_no_file(base):
            raise ValueError(f"the base name {base!r} names no file: give BASE in PATH/BASE")
        refusal = _core.base_name_refusal(base)  # a control character, as the programs refuse it
        if refusal:
            raise ValueError(f"the base name {base!r} {refusal}")
        failure = self._analysis.write(base)
        if failure is not None:
            raise _write_error(failure, base)

    def _piles(self):
        """The columns pile, x, y, type of the piles as analysed, in float64, their station
        counts and ground-line stations."""
        counts, ground, places, types = self._analysis.pile_table()
        keys = [float(t) for t in types]  # the keys of the types, integers
        piles = np.empty((len(counts), 4))
        piles[:, 0] = np.arange(1, len(counts) + 1)
        piles[:, 1:3] = places
        piles[:, 3] = keys
        return piles, counts, ground

    def to_frame(self):
        """Two pandas data frames, every column float64 (pile, type and station numbers whole),
        with the unit of each column in attrs["units"]: the pile tops (pile, x, y, type, HEADS),
        and every station of every pile (pile, x, y, type, station, Z, depth below the ground
        line, UX .. PSY, V, M; PSX and PSY NaN above the ground, where the report leaves them
        blank).
        Built from whole arrays: about as fast as an analysis."""
        import pandas as pd
        piles, counts, ground = self._piles()
        columns = _frame_columns(pd)
        heads = pd.DataFrame(np.hstack([piles, self.heads]), columns=columns[0], copy=False)
        heads.attrs["units"] = {q: UNITS[q] for q in ("x", "y", *HEADS)}
        rows = self._analysis.all_station_rows
        owner = np.repeat(np.arange(len(counts)), counts)
        first = np.cumsum(counts) - counts
        table = np.empty((len(rows), 6 + len(QUANTITIES) + len(RESULTANTS)))
        table[:, :4] = piles[owner]
        table[:, 4] = np.arange(len(rows)) - first[owner] + 1
        table[:, 6 - 1] = rows[:, 0]
        at_ground = np.minimum(first + ground - 1, max(len(rows) - 1, 0))
        table[:, 6] = rows[:, 0] - rows[at_ground, 0][owner] if len(rows) else 0.0
        table[:, 7:-2] = rows[:, 1:]
        table[:, -2:] = self._analysis.all_resultants
        blank = table[:, 4] < ground[owner]  # above the ground line
        table[blank, -4:-2] = np.nan
        stations = pd.DataFrame(table, columns=columns[1], copy=False)
        stations.attrs["units"] = {q: UNITS[q]
                                   for q in ("x", "y", "Z", "depth", *QUANTITIES, *RESULTANTS)}
        return heads, stations

    def to_xarray(self):
        """The stations of to_frame() as an xarray Dataset indexed by pile and station (NaN past
        a pile's last station), with units in each variable's attrs; needs python3-xarray."""
        _, stations = self.to_frame()
        data = stations.set_index(["pile", "station"]).to_xarray()
        for name, unit in stations.attrs["units"].items():
            if name in data:
                data[name].attrs["units"] = unit
        return data


def _result_of_state(group, state) -> Result:
    """A pickled Result read back: a damaged state raises ValueError."""
    return Result(group, _core.analysis_of_state(state))


def _write_error(failure: str, base: str) -> OSError:
    """The OSError of the programs' message of a failure to write BASE.out or BASE.pos, with the
    system's error number and the file's name when the message ends in the system's reason, or
    gives it before a hint in brackets (FileNotFoundError for a folder that is not there), the
    programs' message its last note."""
    names = [name for name in (base + ".out", base + ".pos") if name in failure]
    error = OSError(failure)
    for number in errno.errorcode:
        reason = ": " + os.strerror(number)
        if names and (failure.endswith(reason) or reason + " (" in failure):
            error = OSError(number, os.strerror(number), names[0])
            error.add_note(failure)
    return error


def _checked(group, number=None):
    if not isinstance(group, Group):
        place = "the group" if number is None else f"group {number}"
        raise TypeError(f"{place} is a {type(group).__name__}, not a kelmarino.Group")
    return group


def analyse(group: Group) -> Result:
    """The full analysis of a group under its loads; raises InputError or AnalysisError. The
    interpreter lock is released while it runs."""
    (analysis,) = _core.analyse_all([_checked(group)])
    if isinstance(analysis, Exception):
        raise analysis
    return Result(group, analysis)


class _Failed:
    """The error of one group of a sweep, given in place of its result."""

    def __init__(self, error):
        self.error = error


def sweep(groups, executor: concurrent.futures.Executor | None = None, *,
          threads: int | None = None, chunk: int | None = None, extract=None,
          progress=None) -> list:
    """The results of many groups, in their order, or extract(result) of each when given.

    Without an executor, the groups are analysed on a local pool of `threads` threads (one per
    processor unless given). With any concurrent.futures executor (a process pool, a Dask
    client's get_executor()), they are shipped in chunks of `chunk` groups (by default a sixteenth
    of them, 50 to 1000) and each chunk is analysed by this sweep on the worker, on `threads`
    threads (1 unless given), extract applied there, so that only what it returns comes back. `progress(done, total)` is
    called as groups (locally) or chunks finish; progress=True shows a tqdm bar when tqdm is
    installed. The first group in order that fails raises its InputError or AnalysisError, with a
    note of its place; Ctrl-C stops the sweep within a second (the chunks not begun are
    cancelled)."""
    if isinstance(groups, Group):
        raise TypeError("sweep takes a list of groups, not one Group (analyse(group) analyses one)")
    groups = [_checked(group, number) for number, group in enumerate(groups)]
    for name, count in (("threads", threads), ("chunk", chunk)):
        if count is not None and (isinstance(count, bool) or not isinstance(count, numbers.Integral)
                                  or count < 1):
            raise ValueError(f"{name} must be an integer, 1 or more, not {count!r}")
    if executor is not None and not callable(getattr(executor, "submit", None)):
        raise TypeError(f"the executor is a concurrent.futures executor, not {executor!r} "
                        "(threads= gives the threads of a local sweep)")
    told, close = _progress(progress, len(groups))
    try:
        if executor is None:
            count = threads or len(os.sched_getaffinity(0))
            answers = _on_threads(groups, max(1, min(count, len(groups))), extract, told)
        else:
            answers = _on_executor(executor, groups, chunk, threads or 1, extract, told)
    finally:
        close()
    return _in_order(answers)


def _progress(progress, total):
    """A function told the number of groups done, and one to call at the end."""
    if progress is True:
        try:
            from tqdm import tqdm
        except ImportError:
            return None, lambda: None
        bar = tqdm(total=total, unit="group")
        return lambda done: bar.update(done - bar.n), bar.close
    if progress:
        return lambda done: progress(done, total), lambda: None
    return None, lambda: None


def _on_threads(groups, threads, extract=None, told=None) -> list:
    """Each group's Result (or extract of it) or _Failed, analysed on `threads` threads (the
    calling one among them), each taking the next group that none has taken; the analyses run
    outside the lock."""
    answers = [None] * len(groups)
    untaken = iter(range(len(groups)))  # shared: each number is taken by one thread
    done = [0]
    telling = threading.Lock()
    progress_failed = []  # what progress raised, on whichever thread: raised by the caller's

    def take_no_more():  # one call, which Ctrl-C cannot cut short
        collections.deque(untaken, maxlen=0)

    def analyse_untaken():
        for i in untaken:
            try:
                result = analyse(groups[i])
                answers[i] = result if extract is None else extract(result)
            except Exception as error:  # raised in its turn
                answers[i] = _Failed(error)
            except BaseException as error:  # SystemExit and the like: the sweep ends with it
                answers[i] = _Failed(error)
                take_no_more()
                if threading.current_thread() is threading.main_thread():
                    raise
                return
            if told is not None:
                with telling:
                    done[0] += 1
                    try:
                        if not progress_failed:
                            told(done[0])
                    except BaseException as error:  # pylint: disable=broad-exception-caught
                        progress_failed.append(error)
                        take_no_more()
    ended = [_started(analyse_untaken) for _ in range(threads - 1)]
    with _ctrl_c(take_no_more):
        try:
            analyse_untaken()
        finally:  # interrupted: the others take no more
            _wait_for(ended, take_no_more, at_once=True)
    if progress_failed:
        raise progress_failed[0]
    return answers


def _analysed_chunk(pickled, threads, extract) -> bytes:
    """A chunk of a sweep, on a worker: its groups and their answers are shipped pickled whole,
    so that an executor neither takes them apart item by item nor loses what they share. A
    result shipped whole has its true peaks found first, each group's fault its own."""
    answers = _chunk_answers(pickle.loads(pickled), threads, extract or _with_peaks)
    answers = [_crossing(a) if isinstance(a, _Failed) else a for a in answers]
    try:
        return pickle.dumps(answers, pickle.HIGHEST_PROTOCOL)
    except Exception:  # pylint: disable=broad-exception-caught
        return pickle.dumps([_crossing(a) for a in answers], pickle.HIGHEST_PROTOCOL)


def _crossing(answer):
    """An answer as it can cross to the caller: one that cannot be pickled (an extract's object
    of a local class), or an error that cannot be read back (whose __init__ wants other
    arguments), is given as the TypeError that says so, the error's own text kept."""
    try:
        shipped = pickle.dumps(answer, pickle.HIGHEST_PROTOCOL)
        if isinstance(answer, _Failed):
            pickle.loads(shipped)
        return answer
    except Exception as failure:  # pylint: disable=broad-exception-caught
        what = f"{type(answer.error).__name__}: {answer.error}" \
            if isinstance(answer, _Failed) else f"the answer of extract, a {type(answer).__name__}"
        return _Failed(TypeError(f"{what}; it cannot be sent back from the worker ({failure})"))


def _with_peaks(result):
    result.peaks  # pylint: disable=pointless-statement
    return result


def _chunk_answers(groups, threads, extract) -> list:
    """The answers of a chunk. On one thread the chunk is analysed in one call that releases the
    interpreter lock once, so that the worker's other threads (Dask's profiler among them) cannot
    hold the analyses up between groups."""
    if threads > 1:
        return _on_threads(groups, min(threads, len(groups)), extract)
    answers = []
    for group, analysis in zip(groups, _core.analyse_all(groups)):
        if isinstance(analysis, Exception):
            answers.append(_Failed(analysis))
            continue
        try:
            result = Result(group, analysis)
            answers.append(result if extract is None else extract(result))
        except Exception as error:  # raised in its turn
            answers.append(_Failed(error))
    return answers


def _on_executor(executor, groups, chunk, threads, extract, told) -> list:
    """The answers of the groups, analysed in chunks on an executor (submitted at once by its
    map); Ctrl-C cancels the chunks not yet begun and is raised at once."""
    # A chunk of some hundreds of groups takes tens of milliseconds, against a few for shipping
    # and scheduling it; sixteen of them keep the workers of a small cluster busy to the end.
    size = chunk or min(1000, max(50, math.ceil(len(groups) / 16)))
    pieces = [pickle.dumps(groups[i:i + size], pickle.HIGHEST_PROTOCOL)
              for i in range(0, len(groups), size)]
    chunks = [executor.submit(_analysed_chunk, piece, threads, extract) for piece in pieces]
    answers = []
    with _ctrl_c() as asked:
        try:
            for chunk_answered in chunks:
                answered = chunk_answered.result()
                if asked:
                    raise KeyboardInterrupt
                answers += pickle.loads(answered)
                if told is not None:
                    told(len(answers))
        finally:  # the chunks not begun are cancelled
            for chunk_answered in reversed(chunks):
                chunk_answered.cancel()
    for group, answer in zip(groups, answers):  # the caller's group, as a local sweep gives it
        if isinstance(answer, Result):
            answer.group = group
    return answers


@contextlib.contextmanager
def _ctrl_c(stop=lambda: None):
    """A list that Ctrl-C fills while it is held. The first Ctrl-C calls stop() and raises
    KeyboardInterrupt; Ctrl-C held down raises no more, so that stopping is not cut short (the
    wait for threads still in the library, the cancelling of a process pool's chunks not begun,
    which would otherwise all run as Python ends). The list lets a KeyboardInterrupt raised where
    it is ignored (a garbage collector's callback of Dask) be raised again at the next chunk."""
    asked = []
    if threading.current_thread() is not threading.main_thread() or \
            signal.getsignal(signal.SIGINT) is not signal.default_int_handler:
        yield asked
        return

    def interrupted(number, frame):
        asked.append(number)
        if len(asked) == 1:
            stop()
            signal.default_int_handler(number, frame)
    signal.signal(signal.SIGINT, interrupted)
    try:
        yield asked
    finally:
        signal.signal(signal.SIGINT, signal.default_int_handler)


def _in_order(answers) -> list:
    """The answers of a sweep as a list; the first mistake in order is raised, with a note of its
    group's place."""
    for number, answer in enumerate(answers):
        if isinstance(answer, _Failed):
            error = answer.error  # the analysis's or extract's
            error.add_note(f"(group {number} of the sweep, counted from 0)")
            raise error
    return answers


def peaks(result: Result) -> dict:
    """The figures a study of a group mostly wants of each result: the cap's UX, UY, UZ (m), the
    largest bending moment of any pile at any station, max |MX|, |MY| (t*m), and the largest
    axial force, max |NZ| (t)."""
    rows = result._analysis.all_station_rows  # pylint: disable=protected-access
    moment = float(np.abs(rows[:, [QUANTITIES.index("MX"), QUANTITIES.index("MY")]]).max()) \
        if len(rows) else 0.0
    axial = float(np.abs(rows[:, QUANTITIES.index("NZ")]).max()) if len(rows) else 0.0
    cap = result.cap
    return {"UX": float(cap[0]), "UY": float(cap[1]), "UZ": float(cap[2]), "M": moment,
            "N": axial}


def montecarlo(group: Group, vary: Mapping, n: int, seed, executor=None, *, extract=peaks,
               chunk: int | None = None, threads: int | None = None, progress=None):
    """A Monte-Carlo study of a group: n variants, each value at a path of `vary` drawn from a
    lognormal distribution given by its coefficient of variation (the mean the group's value) or
    by (mean, coefficient of variation), for example {"types[0].below[1].m": 0.3,
    "loads[0].FX": (100.0, 0.1)}; a tuple of paths takes one value drawn for all (the m of a
    layer of every type), its column named by the first. Drawn by NumPy's Generator seeded with
    `seed` (the same seed, the same draws) and analysed by sweep, extract (peaks when None or not
    given: a dict of numbers) applied on the workers. A pandas data frame of n rows: the values
    drawn (columns named by their paths), then what extract returned;
    frame.describe(percentiles=[.05, .5, .95]) gives percentiles."""
    import pandas as pd
    _checked(group)
    if isinstance(n, bool) or not isinstance(n, numbers.Integral):
        raise TypeError(f"n must be an integer, 1 or more, not {n!r}")
    if n < 1:
        raise ValueError(f"n must be 1 or more, not {n}")
    keys = [(key,) if isinstance(key, str) else tuple(key) for key in vary]
    drawn_at = {}  # a path however written, to the first that named it: each value drawn once
    for path in (path for paths in keys for path in paths):
        steps = tuple(_steps(path))
        if steps in drawn_at:
            raise ValueError(f"{path}: the value of {drawn_at[steps]} again; a value is drawn "
                             "once")
        drawn_at[steps] = path
    means, variations = [], []
    for key, paths in zip(vary, keys):
        given = vary[key]
        pair = _is_list(given) and np.ndim(given) > 0
        if not paths or (pair and len(given) != 2):
            raise ValueError(f"{key!r}: {given!r}: a path or paths, each with a coefficient of "
                             "variation or (mean, coefficient of variation)")
        mean, variation = given if pair else (_at(group, paths[0]), given)
        if not pair and not isinstance(mean, numbers.Real):
            raise ValueError(f"{paths[0]}: its value {mean!r} is not a number: only a real value "
                             "is drawn")
        if not _lognormal(mean, variation):
            raise ValueError(f"{paths[0]}: a lognormal needs a mean above 0 and a coefficient of "
                             f"variation from 0 to 1e150, not {mean!r} and {variation!r}")
        means.append(float(mean))
        variations.append(float(variation))
    sigma = np.sqrt(np.log1p(np.square(variations)))
    mu = np.log(means) - sigma ** 2 / 2
    drawn = np.random.default_rng(seed).lognormal(mu, sigma, size=(n, len(keys)))
    groups = [group.vary({path: value for paths, value in zip(keys, row) for path in paths})
              for row in drawn.tolist()]
    extract = peaks if extract is None else extract
    _extracts_a_mapping(groups[0], extract)  # before a whole study is run for nothing
    outputs = sweep(groups, executor, threads=threads, chunk=chunk, extract=extract,
                    progress=progress)
    inputs = pd.DataFrame(drawn, columns=[paths[0] for paths in keys])
    outputs = pd.DataFrame.from_records(outputs)
    clash = [column for column in outputs.columns if column in inputs.columns]
    if clash:
        raise ValueError(f"extract returns {clash[0]!r}, the name of a value drawn")
    return pd.concat([inputs, outputs], axis=1)


def _lognormal(mean, variation) -> bool:
    """Whether a mean and a coefficient of variation give a lognormal: a finite mean above 0, and
    a coefficient from 0 to 1e150, so that its square is finite as well."""
    if not all(isinstance(v, numbers.Real) for v in (mean, variation)):
        return False
    try:
        return math.inf > float(mean) > 0 and 1e150 >= float(variation) >= 0
    except OverflowError:  # an integer beyond any float
        return False


def _extracts_a_mapping(group, extract) -> None:
    """Raises what extract of the group's result raises, or TypeError when it is no mapping."""
    try:
        answer = extract(analyse(group))
    except Exception as error:
        error.add_note("(group 0 of the sweep, counted from 0)")
        raise
    if not isinstance(answer, Mapping):
        raise TypeError(f"extract returns a mapping {{name: number}}, as peaks does, not a "
                        f"{type(answer).__name__}")


def _at(group, path):
    """The value at a path of a group."""
    value = group
    for step in _steps(path):
        value = _inner(value, step, path)
    return value


def frame(results, keys=None, *, what: str = "stations"):
    """One tidy pandas data frame of many results: the stations (or what="heads": the pile tops)
    of every result, after columns of keys: a mapping {column: one value per result}, a data
    frame of one row per result (such as montecarlo's inputs), or a list of one dict per result,
    or None for a column "result" counting them from 0; a value may be anything, a tuple
    included. Units in attrs["units"]."""
    import pandas as pd
    if what not in ("stations", "heads"):
        raise ValueError(f'what is "stations" or "heads", not {what!r}')
    results = list(results)
    if keys is None:
        keys = {"result": range(len(results))}
    elif isinstance(keys, pd.DataFrame):
        keys = keys.to_dict("list")
    elif not isinstance(keys, Mapping):
        rows = list(keys) if isinstance(keys, Iterable) else None
        if rows is None or not all(isinstance(row, Mapping) for row in rows):
            raise TypeError("keys is a mapping {column: one value per result}, a data frame or a "
                            f"list of one dict per result, not {keys!r}")
        keys = pd.DataFrame.from_records(rows).to_dict("list")
    for name, values in keys.items():  # a dict, a set or a text: its keys, no order, letters
        if isinstance(values, (Mapping, Set, str, bytes)) or not isinstance(values, Iterable):
            raise TypeError(f"keys[{name!r}] is one value per result in a list, not a "
                            f"{type(values).__name__}")
    keys = {name: list(values) for name, values in keys.items()}
    for name, values in keys.items():
        if len(values) != len(results):
            raise ValueError(f"keys[{name!r}] holds {len(values)} values for {len(results)} "
                             "results")
    parts = [r.to_frame()[what == "stations"] for r in results]
    if not parts:
        raise ValueError("frame needs at least one result")
    clash = [name for name in keys if name in parts[0].columns]
    if clash:
        raise ValueError(f"keys[{clash[0]!r}] is the name of a column of the results")
    sizes = [len(p) for p in parts]
    whole = pd.concat(parts, ignore_index=True)
    front = pd.DataFrame({name: pd.Series(values, dtype=object).repeat(sizes).to_numpy()
                          for name, values in keys.items()})
    front = front.infer_objects()
    whole = pd.concat([front, whole], axis=1)
    whole.attrs["units"] = parts[0].attrs["units"]
    return whole


class Combinations:
    """The numbers kelmarino-cases writes: the combinations' names, their cap displacements
    (m, 6), their pile tops (m, n, 12) with the columns HEADS, and the envelopes of every pile;
    the arrays are read-only. `warnings` holds what kelmarino-cases would warn of."""

    def __init__(self, names, cap, heads, envelopes, warnings):
        self.names, self.cap, self.heads, self._envelopes = names, cap, heads, envelopes
        self.warnings = list(warnings)

    def design_sets(self, pile: int) -> dict:
        """The design sets of a pile, as design-sets.csv gives them: per set of DESIGN_SETS the
        governing combination, its station (from 1) and Z (m), and its concurrent N (t), MX, MY,
        M (t*m) and V (t) there, in pile axes."""
        e = self._envelopes[_number(pile, len(self._envelopes)) - 1]
        sets = {}
        for name, (c, k, *forces) in zip(DESIGN_SETS, e["design"]):
            sets[name] = {"combination": self.names[c] if c >= 0 else None, "station": k,
                          "Z": float(e["Z"][k - 1]), **dict(zip(("N", "MX", "MY", "M", "V"),
                                                                forces))}
        return sets

    def peaks(self, pile: int) -> dict:
        """Per quantity of PEAKED the true peak of a pile over the combinations, as peaks.csv gives
        it: (peak, Z in m, the combination)."""
        e = self._envelopes[_number(pile, len(self._envelopes)) - 1]
        return {q: (value, z, self.names[c] if c >= 0 else None)
                for q, (value, z, c) in ((q, e["peaks"][ENVELOPED.index(q)]) for q in PEAKED)}

    def envelope(self, pile: int) -> dict:
        """Z, the ground-line station KG, and per quantity of ENVELOPED the largest and smallest
        value at every station with the combination that governs it (the first in file order
        on a tie): {"Z": ..., "KG": ..., "max": {q: array}, "max_by": {q: [names]}, "min": ...};
        "max" and "max_by" also hold the largest resultants V and M (RESULTANTS)."""
        e = self._envelopes[_number(pile, len(self._envelopes)) - 1]
        out = {"Z": e["Z"], "KG": e["KG"]}
        for side in ("max", "min"):
            out[side] = {q: e[side][:, i] for i, q in enumerate(ENVELOPED)}
            out[side + "_by"] = {q: [self.names[c] for c in e[side + "_combination"][:, i]]
                                 for i, q in enumerate(ENVELOPED)}
        for i, q in enumerate(RESULTANTS):
            out["max"][q] = e["resultant"][:, i]
            out["max_by"][q] = [self.names[c] for c in e["resultant_combination"][:, i]]
        return out


def _is_file(source) -> bool:
    return isinstance(source, (str, bytes, os.PathLike))


def _whole_name(path, what: str) -> str:
    """The path as text, refused when it holds a null byte (the system would take the name up to
    it) or bytes that are not UTF-8, the text of every name of the package."""
    name = os.fsdecode(path)
    if "\0" in name:
        raise ValueError(f"embedded null byte in the {what} {path!r}")
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:
        raise ValueError(f"the {what} {os.fsencode(name)!r} is not UTF-8 text") from None
    return name


def _file(source) -> tuple:
    """The text and name of a CSV file, read as read() reads a data file; raises InputError."""
    path = _whole_name(os.fspath(source), "path")
    text, reason, refusal = _core.read_file(path)
    if reason:
        error = str(OSError(reason, os.strerror(reason), path))
        raise InputError(path, 0, 0, error, f"cannot read {path}: {error}")
    if refusal:
        raise InputError(path, 0, 0, refusal, refusal)
    return text, path


def _value_mistake(place: str, value, what: str):
    message = f"{place}: {value!r} {what}"
    return InputError("", 0, 0, message, "run-time error in " + message)


def _point(place: str, point) -> tuple:
    values = (point.x, point.y, point.FX, point.FY, point.FZ, point.MX, point.MY, point.MZ) \
        if isinstance(point, Load) else tuple(point) if _is_list(point) else ()
    if len(values) != 8:
        raise _value_mistake(place, point, "is not a load point: a Load, or the 8 values x, y, "
                             "FX, FY, FZ, MX, MY, MZ")
    return values


def _single(value, place: str) -> float:
    """A real of a load or a factor (a number or its text), in single precision; a list or an
    array of one value is no number, though NumPy would take it for one."""
    try:
        if value is None or (_is_list(value) and np.ndim(value) > 0):
            raise TypeError
        with np.errstate(over="ignore"):  # beyond the range: an infinity, refused by the check
            return float(np.float32(value))
    except OverflowError:  # an integer beyond any float: an infinity, refused by the check
        return math.inf if value > 0 else -math.inf
    except (TypeError, ValueError):
        raise _value_mistake(place, value, "is not a number") from None


def _refuse_unless_utf8(name, place: str) -> None:
    """Refuses the name of a load case or a combination that is no UTF-8 text (a lone surrogate,
    as os.fsdecode gives for a byte that is none)."""
    try:
        str(name).encode()
    except UnicodeEncodeError:
        raise _value_mistake(place, name, "is not UTF-8 text") from None


def _load_values(loads) -> list:
    """Each case's name and its points, rows of x, y, FX .. MZ in single precision."""
    if not isinstance(loads, Mapping):
        raise TypeError(f"loads is a file or a mapping {{case: [points]}}, not a "
                        f"{type(loads).__name__}")
    for case, points in loads.items():
        _refuse_unless_utf8(case, "loads")
        if not _is_list(points):
            raise _value_mistake(f'loads["{case}"]', points, "is not a list of load points")
    return [(str(case), [[_single(v, f'loads["{case}"][{i}]')
                          for v in _point(f'loads["{case}"][{i}]', p)]
                         for i, p in enumerate(points)]) for case, points in loads.items()]


def _combination_values(combinations) -> list:
    """Each combination's name and its factors by case, in single precision."""
    if not isinstance(combinations, Mapping):
        raise TypeError(f"combinations is a file, a mapping {{name: {{case: factor}}}} or None, "
                        f"not a {type(combinations).__name__}")
    for name, factors in combinations.items():
        _refuse_unless_utf8(name, "combinations")
        if not isinstance(factors, Mapping):
            raise _value_mistake(f'combinations["{name}"]', factors, "is not a mapping {case: "
                                 "factor}")
        for case in factors:
            _refuse_unless_utf8(case, f'combinations["{name}"]')
    return [(str(name), [(str(case), _single(f, f'combinations["{name}"]["{case}"]'))
                         for case, f in factors.items()])
            for name, factors in combinations.items()]


def combinations(group: Group, loads, combinations=None) -> Combinations:
    """The load combinations of kelmarino-cases for a group: `loads` is a loads file (path) or a
    mapping {case: [Load or (x, y, FX, FY, FZ, MX, MY, MZ), ...]}; `combinations` a combinations
    file, a mapping {name: {case: factor}}, or None for every case alone. With JCTR = 1 the
    group's own load points are the case "data". Loads in t and t*m. Raises InputError (also
    for a file that cannot be read) or AnalysisError; warns (UserWarning) as kelmarino-cases
    warns, of a load point far outside the plan of the piles (a position in mm), of a load case
    that no combination uses (a misspelt case name makes a case of its own) and of a combination
    whose factors are all 0."""
    loads = _file(loads) if _is_file(loads) else _load_values(loads)
    combinations = None if combinations is None else _file(combinations) \
        if _is_file(combinations) else _combination_values(combinations)
    answer = Combinations(*_interruptible(_core.combinations, _checked(group), loads,
                                          combinations))
    for text in answer.warnings:  # "warning in ..." shown as "UserWarning: in ..."
        _warnings.warn(text.removeprefix("warning "), UserWarning, stacklevel=2)
    return answer


def _started(work, daemon=False) -> threading.Lock:
    """A thread that runs work(), and a lock held while it runs, for _wait_for."""
    running = threading.Lock()
    running.acquire()

    def run():
        try:
            work()
        finally:
            running.release()
    threading.Thread(target=run, daemon=daemon).start()
    return running


def _wait_for(ends, stop=lambda: None, at_once=False) -> None:
    """Waits until the threads of `ends` (_started) have ended, calling stop() first when
    `at_once` and after each Ctrl-C, which is raised once they have. Their locks are looked at,
    never waited on: a Thread.join that Ctrl-C cuts short may take a thread as ended while it
    still runs in the library (Python's exit then stops it there, which aborts the process), and
    an Event.wait cut short may leave its lock held, which the thread needs to end."""
    caught = None
    asking = at_once
    while True:
        try:
            if asking:
                stop()
            for end in ends:
                while end.locked():
                    time.sleep(0.002)
            break
        except KeyboardInterrupt as error:
            asking = True
            caught = caught or error
    if caught is not None:
        raise caught


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
    with _ctrl_c(stop.ask):
        _wait_for([_started(work, daemon=True)], stop.ask)
    if isinstance(answer[0], BaseException):
        raise answer[0]
    return answer[0]
