"""One decoded frame."""

import numpy as np

from . import _kinaro


class Frame:
    """One frame as the viewer shows it.

    ``indices`` holds the colour indices, ``height`` x ``width`` ``uint8``, top row first;
    ``palette`` the frame's colour table, entries x 3 (red, green, blue) ``uint8``, with
    ``2 ** depth`` entries (entry 0 is always black, as the viewer shows it). ``number`` is
    the frame's number in the file (from 0), ``index`` its position in the selection read.
    ``grey`` is true when the file holds a grey table, ``fill`` the header's three fill
    values. ``rgb()`` gives the colours. In IPython and Jupyter a frame shows itself as a PNG.
    """

    __slots__ = ("index", "number", "width", "height", "depth", "grey", "fill", "indices",
                 "palette")

    def __init__(self, indices, palette, *, index=0, number=0, depth=8, grey=False,
                 fill=(0, 0, 0)):
        self.indices = indices
        self.palette = palette
        self.index = index
        self.number = number
        self.height, self.width = indices.shape
        self.depth = depth
        self.grey = grey
        self.fill = fill

    def full_palette(self):
        """The palette with 256 entries: entries past the table's are black."""
        table = np.zeros((256, 3), dtype=np.uint8)
        table[: len(self.palette)] = self.palette[:256]
        return table

    def rgb(self):
        """The frame's colours: height x width x 3 ``uint8``."""
        return self.full_palette()[self.indices]

    def __repr__(self):
        table = "grey" if self.grey else "colour"
        return (f"<kinaro.Frame {self.index} (file frame {self.number}) "
                f"{self.width}x{self.height} depth {self.depth}, {table} table>")

    def _repr_png_(self):
        return _kinaro.png_bytes(self.indices, self.full_palette())
