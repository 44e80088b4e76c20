"""Test files, made with kinaro.write (rmtool encode's encoder)."""

import numpy as np
import pytest

import kinaro

BLOCK = 512
MARKER = b"\x00\x00\x00\xe0"


def palette(entries, seed=0):
    rng = np.random.default_rng(seed)
    colours = rng.integers(0, 256, (entries, 3), dtype=np.uint8)
    colours[0] = 0  # the viewer shows index 0 black
    return colours


def random_frames(count, width=64, height=48, colours=16, seed=1):
    rng = np.random.default_rng(seed)
    return [(rng.integers(0, colours, (height, width), dtype=np.uint8), palette(colours, seed + k))
            for k in range(count)]


def header_blocks(data):
    return [b for b in range(len(data) // BLOCK) if data[b * BLOCK:b * BLOCK + 4] == MARKER]


@pytest.fixture
def frames():
    return random_frames(6)


@pytest.fixture
def movie(tmp_path, frames):
    path = tmp_path / "movie.rm"
    kinaro.write(path, frames)
    return path
