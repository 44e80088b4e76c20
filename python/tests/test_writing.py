import numpy as np
import pytest

import kinaro
from conftest import random_frames


def test_a_failed_write_leaves_no_file(tmp_path):
    frames = random_frames(3)

    def broken():
        yield from frames
        raise RuntimeError("the source broke")

    path = tmp_path / "out.rm"
    with pytest.raises(RuntimeError):
        kinaro.write(path, broken())
    with pytest.raises(TypeError):
        kinaro.write(path, [frames[0], "not a frame"])
    with pytest.raises(ValueError, match="past the palette"):
        kinaro.write(path, [(np.full((4, 4), 9, np.uint8), np.zeros((4, 3), np.uint8))])
    with pytest.raises(ValueError):
        kinaro.write(path, [])
    assert list(tmp_path.iterdir()) == []


def test_an_existing_file_is_replaced_only_when_forced(tmp_path):
    path = tmp_path / "out.rm"
    path.write_bytes(b"keep")
    with pytest.raises(FileExistsError):
        kinaro.write(path, random_frames(1))
    assert path.read_bytes() == b"keep"
    assert kinaro.write(path, random_frames(2), force=True) == 2
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.rm"]


def test_frames_read_are_written_back_the_same(tmp_path):
    path, copy = tmp_path / "a.rm", tmp_path / "b.rm"
    kinaro.write(path, random_frames(4, colours=256))
    with kinaro.open(path) as movie:
        kinaro.write(copy, movie)
    assert copy.read_bytes() == path.read_bytes()
