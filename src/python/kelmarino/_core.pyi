"""The core of the kelmarino package: reading, checking and analysis of pile groups."""

from typing import Any

import numpy as np
import numpy.typing as npt

__version__: str

class Analysis:
    """The values of a group as analysed, and its results: read-only float32 views."""
    @property
    def cap(self) -> npt.NDArray[np.float32]: ...  # (6,)
    @property
    def heads(self) -> npt.NDArray[np.float32]: ...  # (piles, 12)
    @property
    def stiffness(self) -> npt.NDArray[np.float32]: ...  # (piles, 6, 6)
    @property
    def foundation_stiffness(self) -> npt.NDArray[np.float32]: ...  # (6, 6)
    @property
    def all_station_rows(self) -> npt.NDArray[np.float32]: ...  # (stations, 12)
    @property
    def all_resultants(self) -> npt.NDArray[np.float32]: ...  # (stations, 2): V, M
    @property
    def supports(self) -> npt.NDArray[np.float32]: ...  # (simulated piles, 6)
    @property
    def equilibrium(self) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.float32], float]: ...
    @property
    def peaks(self) -> npt.NDArray[np.float32]: ...  # (piles, 11, 2): peak, Z
    def pile_span(self, pile: int) -> tuple[int, int, int]: ...  # first, count, ground station
    def pile_table(self) -> tuple[npt.NDArray[np.int32], npt.NDArray[np.int32],
                                  npt.NDArray[np.float32], list[str]]: ...
    def write(self, base: str) -> str | None: ...
    def state(self) -> bytes: ...

class Cases: ...

class Stop:
    def __init__(self) -> None: ...
    def ask(self) -> None: ...

def read_file(path: str) -> tuple[bytes, int, str]: ...  # text, errno, refusal
def parse(text: str, name: str) -> Any: ...
def mistakes(group: Any) -> list[Exception]: ...
def data_text(group: Any) -> str: ...
def unusual(group: Any) -> list[str]: ...
def names_no_file(base: str) -> bool: ...
def base_name_refusal(base: str) -> str: ...
def analysis_of_state(state: bytes) -> Analysis: ...
def analyse_all(groups: list[Any]) -> list[Analysis | Exception]: ...
def combinations(group: Any, loads: tuple[str, str] | list[tuple[str, list[list[float]]]],
                 combinations: tuple[str, str] | list[tuple[str, list[tuple[str, float]]]] | None,
                 stop: Stop) -> tuple[list[str], npt.NDArray[np.float32],
                                      npt.NDArray[np.float32], list[dict[str, Any]],
                                      list[str]]: ...
