"""Raster Metafiles (.rm) in Python, read by the Kinaro viewer's own reader.

Frames come out as NumPy arrays exactly as the viewer shows them, with their colour tables,
fill values and frame numbers; metafiles are written from arrays with rmtool's encoder.
Once kinaro is imported, Pillow opens metafiles too (``PIL.Image.open("movie.rm")``), and
in IPython and Jupyter frames and files show themselves.

    >>> import kinaro
    >>> with kinaro.open("movie.rm") as movie:
    ...     first = movie[0]
    ...     first.indices.shape, first.palette.shape, len(movie)
    ((480, 640), (256, 3), 120)
    >>> kinaro.write("copy.rm", ((f.indices, f.palette) for f in kinaro.open("movie.rm")))
    120
"""

import operator
import os

import numpy as np

from ._errors import MetafileError
from . import _kinaro, _reading
from ._frame import Frame

__all__ = ["open", "write", "Metafile", "Frame", "MetafileError"]
__version__ = "1.62"

_ANIMATION_FRAMES = 16  # how many frames a notebook's animation shows


class Metafile:
    """An open metafile: a sequence of its selected frames, read on demand.

    ``len()`` is the number of frames the selection finds headers for; indexing (negative
    too) and slicing give `Frame` objects, and iteration reads them in order until the file
    ends. A frame met before is found again by seeking to its recorded position, as the
    viewer does, so random access never decodes the frames before it again. Use it as a
    context manager, or call ``close()``. Several metafiles can be open at once and read
    from several threads.
    """

    def __init__(self, reader):
        self._reader = reader
        self._closed = False

    @property
    def path(self):
        """The name of the file read (with ".rm" when the viewer's retry found it so)."""
        return self._reader.path

    @property
    def closed(self):
        return self._closed

    def close(self):
        """Closes the file; the frames already read stay valid."""
        if not self._closed:
            self._closed = True
            self._reader.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if not getattr(self, "_closed", True):
            self.close()

    def _check_open(self):
        if self._closed:
            raise ValueError("I/O operation on a closed metafile")

    def _fetch(self, index):
        self._check_open()
        return _reading.frame_at(self._reader, index)

    def __len__(self):
        self._check_open()
        return self._reader.selected_count()

    def __getitem__(self, key):
        return _reading.item(self, key)

    def __iter__(self):
        return _reading.frames(self)

    def info(self):
        """One dict per selected frame, the rows ``rmtool info --json`` gives.

        Where each frame lies (``header_offset``, ``header_block``, the blocks of its pixel
        stream, junk blocks skipped), its size, depth, table and fill values. The frames are
        read apart from this object's own reading. Raises `MetafileError` when a frame is
        damaged.
        """
        self._check_open()
        return _reading.info_rows(self._reader.info_report(), self.path)

    def __repr__(self):
        state = "closed" if self._closed else "open"
        return f"<kinaro.Metafile {self.path!r} ({state})>"

    def _repr_html_(self):
        """A looping GIF of the first frames, for IPython and Jupyter."""
        if self._closed:
            return None
        from ._animation import animation_html

        return animation_html(self, _ANIMATION_FRAMES)


def open(path, frames=None, max=_kinaro.DEFAULT_MAX_FRAMES, shared_table=False, grey=False,
         widen=0):
    """Opens a metafile for reading, with the viewer's options.

    ``frames=(first, last, skip)`` is the viewer's ``-f``: frames ``first`` (counted from
    1) up to ``last``, every ``skip``-th (a negative skip goes backwards). ``max`` is
    ``-max``, the most frames a file may hold (512). ``shared_table=True`` is ``-s``: the
    first frame's colour table serves for all. ``grey=True`` is ``-g``: every table turned
    grey. ``widen`` is ``-w``: added to every frame's width. A name that cannot be opened is
    tried again with ".rm" appended, as the viewer does.

    Image 0 is read at once, as the viewer reads it first. Raises `OSError` (such as
    `FileNotFoundError`) when the file cannot be opened, `MetafileError` when it is
    damaged or no metafile, `ValueError` when the viewer refuses the options.
    """
    path = os.fsdecode(os.fspath(path))
    if frames is not None:
        first, last, skip = (operator.index(v) for v in frames)
        frames = (first, last, skip)
    return Metafile(_kinaro.Reader(path, frames, operator.index(max), bool(shared_table),
                                   bool(grey), operator.index(widen)))


def _add_frame(writer, item):
    if isinstance(item, Frame):
        writer.add_indexed(item.indices, item.palette)
        return
    if isinstance(item, tuple) and len(item) == 2:
        indices, palette = np.asarray(item[0]), np.asarray(item[1])
        if indices.dtype != np.uint8:
            raise TypeError(f"indices must be uint8, not {indices.dtype}")
        if palette.dtype != np.uint8:
            if palette.dtype.kind not in "iu" or palette.min() < 0 or palette.max() > 255:
                raise ValueError("palette entries are integers from 0 to 255")
        writer.add_indexed(indices, palette.astype(np.uint8))
        return
    rgb = np.asarray(item)
    if rgb.ndim != 3 or rgb.shape[2] != 3 or rgb.dtype != np.uint8:
        raise TypeError("a frame is an (indices, palette) pair, a Frame, or a height x width x 3 "
                        f"uint8 RGB array, not {type(item).__name__} {getattr(rgb, 'shape', '')}")
    writer.add_rgb(rgb)


def write(path, frames, force=False):
    """Writes a metafile from frames, as ``rmtool encode`` writes one; returns their number.

    Each item of ``frames`` (any iterable, read once) is an ``(indices, palette)`` pair
    (``height`` x ``width`` ``uint8`` indices, top row first, and 1 to 256 x 3 colours), a
    `Frame`, or a ``height`` x ``width`` x 3 ``uint8`` RGB array. Indices are written as
    they are and read back exactly; the viewer shows index 0 black whatever the palette says
    there. RGB frames are reduced to 256 colours as ``rmtool encode`` reduces them (exactly
    when they have that few; otherwise quantised, the palette kept for the next frames while
    it still fits them). Frames are coded and written one at a time, so memory does not grow
    with their number; the file appears under its name whole or not at all. An existing file
    is replaced only with ``force=True`` (else `FileExistsError`).
    """
    path = os.fsdecode(os.fspath(path))
    writer = _kinaro.Writer(path, bool(force))
    try:
        for item in frames:
            _add_frame(writer, item)
        count = writer.frames
        if count == 0:
            raise ValueError("a metafile needs at least one frame")
        writer.commit()
    except BaseException:
        writer.abandon()
        raise
    return count


try:
    from . import _pillow  # noqa: F401  (registers the format with Pillow)
except ImportError:  # Pillow is not installed
    pass
