"""A metafile's first frames as a looping GIF, for notebooks' rich display."""

import base64
import os
import tempfile

import numpy as np

from . import _kinaro


def _fitted(frame, width, height):
    """The frame centred on black and cut to width x height, as the viewer's window shows it."""
    canvas = np.zeros((height, width), dtype=np.uint8)
    h, w = frame.indices.shape
    top, left = (height - h) // 2, (width - w) // 2
    y0, x0 = max(top, 0), max(left, 0)
    y1, x1 = min(top + h, height), min(left + w, width)
    canvas[y0:y1, x0:x1] = frame.indices[y0 - top:y1 - top, x0 - left:x1 - left]
    return canvas


def animation_gif(metafile, count, delay=10):
    """The GIF of the first `count` frames, `delay` hundredths of a second each."""
    frames = []
    for frame in metafile:
        if not frames:
            height, width = frame.indices.shape
        frames.append((_fitted(frame, width, height), frame.full_palette()))
        if len(frames) == count:
            break
    with tempfile.TemporaryDirectory(prefix="kinaro-") as folder:
        path = os.path.join(folder, "animation.gif")
        _kinaro.write_gif(path, frames, delay)
        with open(path, "rb") as gif:
            return gif.read()


def animation_html(metafile, count):
    data = base64.b64encode(animation_gif(metafile, count)).decode("ascii")
    return f'<img src="data:image/gif;base64,{data}" alt="{os.path.basename(metafile.path)}"/>'
