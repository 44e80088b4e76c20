"""How a Metafile reads its selection: frames by position, in order, and the info report."""

import json
import operator

from ._errors import MetafileError
from ._frame import Frame


def frame_at(reader, index):
    """The selection's frame at `index` (from 0), or None past the file's end."""
    if index >= 2**32:
        return None
    found = reader.fetch(index)
    if found is None:
        return None
    index, number, _, _, depth, grey, fill, indices, palette = found
    return Frame(indices, palette, index=index, number=number, depth=depth, grey=grey, fill=fill)


def item(metafile, key):
    """``metafile[key]``: a frame for an index (negative counts from the end), a list for a
    slice."""
    if isinstance(key, slice):
        return [item(metafile, i) for i in range(*key.indices(len(metafile)))]
    index = operator.index(key)
    if index < 0:
        index += len(metafile)
        if index < 0:
            raise IndexError("metafile index out of range")
    frame = metafile._fetch(index)
    if frame is None:
        raise IndexError("metafile index out of range")
    return frame


def frames(metafile):
    """The selected frames in order, until the file ends."""
    index = 0
    while True:
        frame = metafile._fetch(index)
        if frame is None:
            return
        yield frame
        index += 1


def info_rows(report, path):
    """The frames' rows of ``rmtool info --json``'s `report`; its error as `MetafileError`."""
    report = json.loads(report)
    error = report["error"]
    if error:
        raise MetafileError(error["message"], error["routine"], error["block_number"],
                            error["image"], path)
    return report["frames"]
