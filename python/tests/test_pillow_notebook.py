import base64
import io
import re

import numpy as np
from PIL import Image, ImageSequence

import kinaro


def test_pillow_sees_the_modules_frames(movie, tmp_path):
    with kinaro.open(movie) as m, Image.open(movie) as im:
        assert (im.format, im.mode, im.n_frames, im.is_animated) == ("RM", "P", 6, True)
        for index in [0, 3, 1, 5]:
            im.seek(index)
            assert im.tell() == index
            frame = m[index]
            assert im.size == (frame.width, frame.height)
            np.testing.assert_array_equal(np.asarray(im), frame.indices)
            np.testing.assert_array_equal(np.asarray(im.convert("RGB")), frame.rgb())
        assert len(list(ImageSequence.Iterator(im))) == 6
        gif = tmp_path / "movie.gif"
        im.save(gif, save_all=True)
        with Image.open(gif) as back:
            assert back.n_frames == 6
            back.seek(4)
            np.testing.assert_array_equal(np.asarray(back.convert("RGB")), m[4].rgb())


def test_notebook_reprs(movie):
    with kinaro.open(movie) as m:
        frame = m[2]
        with Image.open(io.BytesIO(frame._repr_png_())) as png:
            np.testing.assert_array_equal(np.asarray(png.convert("RGB")), frame.rgb())
        html = m._repr_html_()
        data = re.fullmatch(r'<img src="data:image/gif;base64,([^"]+)" alt="movie.rm"/>', html)
        with Image.open(io.BytesIO(base64.b64decode(data.group(1)))) as gif:
            assert gif.n_frames == 6
            np.testing.assert_array_equal(np.asarray(gif.convert("RGB")), m[0].rgb())
