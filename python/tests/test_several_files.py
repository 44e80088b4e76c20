import threading

import numpy as np

import kinaro
from conftest import random_frames


def make(tmp_path, count, seed, width):
    frames = random_frames(count, width=width, seed=seed)
    path = tmp_path / f"movie{seed}.rm"
    kinaro.write(path, frames)
    return path, frames


def test_files_open_at_once_read_their_own_frames_in_any_order(tmp_path):
    a_path, a = make(tmp_path, 7, 10, 40)
    b_path, b = make(tmp_path, 5, 20, 24)
    with kinaro.open(a_path) as ma, kinaro.open(b_path, frames=(2, 5, 1)) as mb:
        order = [(ma, a, 6), (mb, b, 1), (ma, a, 2), (mb, b, 3), (ma, a, 0), (mb, b, 0),
                 (ma, a, 5), (mb, b, 2)]
        for movie, frames, index in order:
            offset = 1 if movie is mb else 0
            np.testing.assert_array_equal(movie[index].indices, frames[index + offset][0])
            np.testing.assert_array_equal(movie[index].palette, frames[index + offset][1])
        assert len(ma) == 7 and len(mb) == 4


def test_threads_read_several_files(tmp_path):
    files = [make(tmp_path, 6, seed, 32 + seed) for seed in range(4)]
    failures = []

    def read(path, frames, seed):
        rng = np.random.default_rng(seed)
        try:
            with kinaro.open(path) as movie:
                for index in rng.integers(0, len(frames), 60):
                    got = movie[int(index)]
                    if not np.array_equal(got.indices, frames[index][0]):
                        failures.append((path.name, int(index)))
        except Exception as error:  # reported below, on the main thread
            failures.append(repr(error))

    threads = [threading.Thread(target=read, args=(path, frames, k))
               for k, (path, frames) in enumerate(files * 2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
