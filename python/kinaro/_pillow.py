"""Pillow's view of a metafile: ``PIL.Image.open("movie.rm")`` once kinaro is imported.

Mode "P" with each frame's own palette; ``n_frames``, ``is_animated``, ``seek()`` and
``tell()``, so ``ImageSequence`` and ``save("movie.gif", save_all=True)`` work. The frames
are kinaro's, read by the viewer's reader.
"""

import io
import os

from PIL import Image, ImageFile, ImagePalette

from ._errors import MetafileError

FORMAT = "RM"
HEADER_MARKER = b"\x00\x00\x00\xe0"


def _accept(prefix):
    return prefix[:4] == HEADER_MARKER


class RasterMetafileImageFile(ImageFile.ImageFile):
    format = FORMAT
    format_description = "Raster Metafile"
    _close_exclusive_fp_after_loading = False

    def _open(self):
        from . import open as open_metafile

        name = self.filename or getattr(self.fp, "name", None)
        if not isinstance(name, (str, bytes, os.PathLike)) or not name:
            raise SyntaxError("kinaro reads metafiles from named files only")
        try:
            self._metafile = open_metafile(name)
        except (MetafileError, OSError) as error:
            raise SyntaxError(str(error)) from error
        self.n_frames = len(self._metafile)
        self.is_animated = self.n_frames > 1
        self._shown = -1
        self._show(0)

    def _show(self, index):
        frame = self._metafile[index]
        self._shown = index
        # Pillow 10 keeps the mode in _mode behind a read-only property.
        if isinstance(getattr(type(self), "mode", None), property):
            self._mode = "P"
        else:
            self.mode = "P"
        self._size = (frame.width, frame.height)
        self.palette = ImagePalette.raw("RGB", frame.full_palette().tobytes())
        # The decoded indices, as a raw tile. Its arguments are the raw mode alone: with a
        # fuller tuple Pillow would map the metafile itself into memory as the pixels.
        self.fp = io.BytesIO(frame.indices.tobytes())
        self.tile = [("raw", (0, 0, frame.width, frame.height), 0, "P")]
        self.info["frame_number"] = frame.number

    def seek(self, frame):
        if not self._seek_check(frame):
            return
        self._show(frame)

    def tell(self):
        return self._shown

    def close(self):
        metafile = getattr(self, "_metafile", None)
        if metafile is not None:
            metafile.close()
        super().close()


Image.register_open(FORMAT, RasterMetafileImageFile, _accept)
Image.register_extension(FORMAT, ".rm")
Image.register_mime(FORMAT, "image/x-raster-metafile")
