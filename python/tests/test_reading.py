import numpy as np
import pytest

import kinaro
from conftest import header_blocks, palette, random_frames, BLOCK


def test_indexed_frames_round_trip_exactly(tmp_path):
    grey = np.repeat(np.arange(256, dtype=np.uint8)[:, None], 3, axis=1)
    rng = np.random.default_rng(5)
    written = [
        (rng.integers(0, 256, (30, 41), dtype=np.uint8), palette(256, 1)),  # odd width
        (rng.integers(0, 2, (7, 3), dtype=np.uint8), palette(2, 2)),  # another size, depth 1
        (rng.integers(0, 256, (30, 41), dtype=np.uint8), grey),  # a grey table
    ]
    path = tmp_path / "sizes.rm"
    assert kinaro.write(path, written) == 3
    with kinaro.open(path) as movie:
        read = list(movie)
    assert [f.depth for f in read] == [8, 1, 8]
    assert [f.grey for f in read] == [False, False, True]
    for frame, (indices, colours) in zip(read, written):
        assert frame.indices.dtype == np.uint8 and frame.indices.shape == indices.shape
        assert (frame.width, frame.height) == (indices.shape[1], indices.shape[0])
        np.testing.assert_array_equal(frame.indices, indices)
        np.testing.assert_array_equal(frame.palette, colours)
        np.testing.assert_array_equal(frame.rgb(), colours[indices])


def test_rgb_frames_keep_few_colours_exactly_and_are_quantised_beyond(tmp_path):
    rng = np.random.default_rng(3)
    colours = palette(40, 3)[1:]  # no black: index 0 stays unused
    few = colours[rng.integers(0, len(colours), (32, 32))]
    many = rng.integers(0, 256, (32, 32, 3), dtype=np.uint8)
    kinaro.write(tmp_path / "rgb.rm", [few, many])
    with kinaro.open(tmp_path / "rgb.rm") as movie:
        first, second = movie
    np.testing.assert_array_equal(first.rgb(), few)
    assert second.rgb().shape == many.shape
    assert len(np.unique(second.indices)) <= 256
    assert np.abs(second.rgb().astype(int) - many).mean() < 40


def test_sequence_protocol(movie, frames):
    with kinaro.open(movie) as m:
        assert len(m) == 6
        assert [f.number for f in m[1:6:2]] == [1, 3, 5]
        assert [f.number for f in m[::-2]] == [5, 3, 1]
        np.testing.assert_array_equal(m[-1].indices, frames[5][0])
        np.testing.assert_array_equal(m[-6].indices, frames[0][0])
        with pytest.raises(IndexError):
            m[6]
        with pytest.raises(IndexError):
            m[-7]
    assert m.closed
    with pytest.raises(ValueError):
        m[0]


def test_viewer_options(movie, frames):
    with kinaro.open(movie, frames=(2, 5, 2)) as m:  # -f 2,5,2: file frames 1 and 3
        assert len(m) == 2
        assert [(f.index, f.number) for f in m] == [(0, 1), (1, 3)]
    with kinaro.open(movie, max=3) as m:
        assert len(m) == 3
    with kinaro.open(movie, shared_table=True) as m:  # -s: frame 0's table for all
        np.testing.assert_array_equal(m[4].palette, frames[0][1])
        np.testing.assert_array_equal(m[4].indices, frames[4][0])
    with kinaro.open(movie, grey=True) as m:  # -g: 0.3 R + 0.59 G + 0.11 B, truncated
        p = frames[2][1].astype(float)
        grey = ((p[:, 1] * 0.59 + p[:, 0] * 0.3) + p[:, 2] * 0.11).astype(np.uint8)
        grey[0] = 0
        np.testing.assert_array_equal(m[2].palette, np.repeat(grey[:, None], 3, axis=1))
    with kinaro.open(movie, widen=-1) as m:  # -w -1
        assert m[0].width == 63
        np.testing.assert_array_equal(m[0].indices[0, :63], frames[0][0][0, :63])


def test_random_access_seeks_without_decoding_the_frames_before(tmp_path, frames):
    path = tmp_path / "damaged-1.rm"
    kinaro.write(path, frames)
    data = bytearray(path.read_bytes())
    # An illegal opcode (0x2) in the second word of frame 1's pixel stream, which starts
    # after its header block and three colour-table blocks.
    stream = (header_blocks(data)[1] + 4) * BLOCK
    data[stream + 2:stream + 4] = b"\x00\x20"
    path.write_bytes(bytes(data))
    with kinaro.open(path) as m:
        np.testing.assert_array_equal(m[4].indices, frames[4][0])  # frame 1 is passed over
        np.testing.assert_array_equal(m[2].indices, frames[2][0])  # found again by seeking
        with pytest.raises(kinaro.MetafileError) as raised:
            m[1]
        assert str(raised.value) == "Error: Illegal opcode (32) in Raster Metafile"
        assert raised.value.routine == "GetRLE" and raised.value.image == 1
        np.testing.assert_array_equal(m[5].indices, frames[5][0])
        np.testing.assert_array_equal(m[0].indices, frames[0][0])


def test_info_gives_rmtool_infos_rows(movie, frames):
    data = movie.read_bytes()
    with kinaro.open(movie, frames=(2, 6, 2)) as m:
        m[2]
        rows = m.info()
        assert [(r["image"], r["file_image"]) for r in rows] == [(0, 1), (1, 3), (2, 5)]
        assert [r["header_block"] for r in rows] == header_blocks(data)[1::2]
        assert {(r["width"], r["height"], r["depth"], r["lut_size"]) for r in rows} == {
            (64, 48, 4, 16)}
        np.testing.assert_array_equal(m[1].indices, frames[3][0])  # its own reading goes on
    cut = movie.with_name("cut.rm")
    cut.write_bytes(data[:-BLOCK])
    with kinaro.open(cut) as m, pytest.raises(kinaro.MetafileError) as raised:
        m.info()
    assert raised.value.image == 5 and raised.value.routine == "GetRLE"
