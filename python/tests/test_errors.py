import errno
import os

import numpy as np
import pytest

import kinaro
from conftest import header_blocks, BLOCK


def test_files_that_cannot_be_opened_raise_os_errors(tmp_path):
    with pytest.raises(FileNotFoundError):
        kinaro.open(tmp_path / "missing.rm")
    with pytest.raises(IsADirectoryError):
        kinaro.open(tmp_path)
    if os.geteuid() != 0:  # root reads every file
        locked = tmp_path / "locked.rm"
        locked.write_bytes(b"")
        locked.chmod(0)
        with pytest.raises(PermissionError):
            kinaro.open(locked)
    # A named pipe nobody writes to and a device that never ends are refused, not waited on.
    fifo = tmp_path / "fifo.rm"
    os.mkfifo(fifo)
    for source in (fifo, "/dev/zero"):
        with pytest.raises(OSError) as refused:
            kinaro.open(source)
        assert refused.value.errno == errno.ESPIPE


def test_the_viewer_retries_the_name_with_rm(movie):
    with kinaro.open(str(movie)[:-3]) as m:
        assert m.path == str(movie)


def test_a_file_that_is_no_metafile(tmp_path):
    path = tmp_path / "text.rm"
    path.write_bytes(b"not a metafile\n" * 100)
    with pytest.raises(kinaro.MetafileError) as raised:
        kinaro.open(path)
    error = raised.value
    assert isinstance(error, ValueError)
    assert str(error) == "Error: File is not in Raster Metafile format"
    assert (error.routine, error.image, error.path) == ("DoImage", 0, str(path))


def test_a_damaged_header_and_a_cut_file(movie, frames):
    data = bytearray(movie.read_bytes())
    headers = header_blocks(data)
    depth = headers[3] * BLOCK + 28
    data[depth:depth + 4] = (9).to_bytes(4, "little")
    damaged = movie.with_name("depth.rm")
    damaged.write_bytes(bytes(data[:(headers[5] + 5) * BLOCK]))  # frame 5 cut short too
    with kinaro.open(damaged) as m:
        read = []
        with pytest.raises(kinaro.MetafileError) as raised:
            for frame in m:
                read.append(frame.number)
        assert read == [0, 1, 2]
        assert str(raised.value) == "Error: Depth of image (9) must be < = 8"
        assert (raised.value.routine, raised.value.block_number) == ("GetHeader", headers[3])
        with pytest.raises(kinaro.MetafileError):  # frame 4 lies behind the damage
            m[4]
        np.testing.assert_array_equal(m[1].indices, frames[1][0])
    with kinaro.open(damaged, frames=(5, 6, 1)) as m:
        np.testing.assert_array_equal(m[0].indices, frames[4][0])
        with pytest.raises(kinaro.MetafileError) as raised:
            m[1]
        assert str(raised.value) == "Error: End of file encountered before end of frame"


def test_refused_options(movie):
    with pytest.raises(ValueError, match="-f 1,10,0"):
        kinaro.open(movie, frames=(1, 10, 0))
    with pytest.raises(kinaro.MetafileError, match="image positions"):
        kinaro.open(movie, max=3_000_000)


def test_damaged_bytes_never_crash(movie):
    data = movie.read_bytes()
    rng = np.random.default_rng(7)
    outcomes = set()
    for trial in range(150):
        damaged = bytearray(data)
        for at in rng.integers(0, len(data), 1 + trial % 20):
            damaged[at] = rng.integers(0, 256)
        path = movie.with_name(f"d{trial}.rm")
        path.write_bytes(bytes(damaged[: rng.integers(1, len(data) + 1)]))
        try:
            with kinaro.open(path, widen=int(rng.integers(-70, 70))) as m:
                for frame in m:
                    assert frame.indices.shape == (frame.height, frame.width)
            outcomes.add("read")
        except kinaro.MetafileError as error:
            outcomes.add(error.routine)
        path.unlink()
    assert "read" in outcomes and "GetRLE" in outcomes
