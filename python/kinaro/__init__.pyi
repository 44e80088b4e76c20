# Type stubs of kinaro, for editors and type checkers.
import os
from typing import Iterable, Iterator, Optional, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Indices = npt.NDArray[np.uint8]  # height x width colour indices, top row first
_Palette = npt.NDArray[np.uint8]  # entries x 3: red, green, blue

class MetafileError(ValueError):
    message: str
    routine: str
    block_number: int
    image: int
    path: str
    def __init__(self, message: str, routine: str = ..., block_number: int = ..., image: int = ...,
                 path: str = ...) -> None: ...

class Frame:
    index: int
    number: int
    width: int
    height: int
    depth: int
    grey: bool
    fill: Tuple[int, int, int]
    indices: _Indices
    palette: _Palette
    def __init__(self, indices: _Indices, palette: _Palette, *, index: int = ..., number: int = ...,
                 depth: int = ..., grey: bool = ..., fill: Tuple[int, int, int] = ...) -> None: ...
    def full_palette(self) -> _Palette: ...
    def rgb(self) -> npt.NDArray[np.uint8]: ...
    def _repr_png_(self) -> bytes: ...

class Metafile:
    @property
    def path(self) -> str: ...
    @property
    def closed(self) -> bool: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Metafile": ...
    def __exit__(self, *exc: object) -> None: ...
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, key: int) -> Frame: ...
    @overload
    def __getitem__(self, key: slice) -> list[Frame]: ...
    def __iter__(self) -> Iterator[Frame]: ...
    def info(self) -> list[dict[str, object]]: ...
    def _repr_html_(self) -> Optional[str]: ...

def open(path: _Path, frames: Optional[Tuple[int, int, int]] = ..., max: int = ...,
         shared_table: bool = ..., grey: bool = ..., widen: int = ...) -> Metafile: ...

_WrittenFrame = Union[Frame, Tuple[npt.ArrayLike, npt.ArrayLike], npt.NDArray[np.uint8]]

def write(path: _Path, frames: Iterable[_WrittenFrame], force: bool = ...) -> int: ...
