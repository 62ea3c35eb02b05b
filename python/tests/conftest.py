"""Test setup: the library under test, SDL's disk audio driver, and clips
made with the ffmpeg program.

The library is QXPLAYSDK_LIBRARY when set, else the default build's
(build/default/bin/libqxplaysdk.so.1). The package is the checkout's
python/qxplaysdk unless QXPLAYSDK_TEST_INSTALLED is set, in which case the
installed one is imported (the Debian package test).
"""

import os
import pathlib
import subprocess
import sys
import tempfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WORK = pathlib.Path(tempfile.mkdtemp(prefix="qxplaysdk-pytest-"))

if not os.environ.get("QXPLAYSDK_TEST_INSTALLED"):
    sys.path.insert(0, str(ROOT / "python"))
    os.environ.setdefault("QXPLAYSDK_LIBRARY",
                          str(ROOT / "build" / "default" / "bin" / "libqxplaysdk.so.1"))

# SDL reads these once, when the library first opens sound: what the voice
# port plays lands in played.raw, the capture reads spoken.raw.
os.environ["SDL_AUDIODRIVER"] = "disk"
os.environ["SDL_DISKAUDIOFILE"] = str(WORK / "played.raw")
os.environ["SDL_DISKAUDIOFILEIN"] = str(WORK / "spoken.raw")
os.environ.pop("DISPLAY", None)

# Generous bound for anything the tests wait for; never a measured time.
WAIT_SECONDS = 60.0

CLIP_FRAMES = 50
CLIP_WIDTH = 160
CLIP_HEIGHT = 120


def make_clip(path: pathlib.Path, container: str) -> pathlib.Path:
    subprocess.run(
        ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
         "-f", "lavfi", "-i", f"testsrc2=size={CLIP_WIDTH}x{CLIP_HEIGHT}:rate=25",
         "-frames:v", str(CLIP_FRAMES), "-c:v", "libx264", "-preset", "veryfast", "-g", "12",
         "-pix_fmt", "yuv420p", "-f", container, str(path)],
        check=True, timeout=120)
    return path


def count_frames(path: pathlib.Path) -> int:
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames",
         "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", str(path)],
        check=True, timeout=120, capture_output=True, text=True).stdout
    return int(out.split()[0].split(",")[0])


@pytest.fixture(scope="session")
def work_dir() -> pathlib.Path:
    return WORK


@pytest.fixture(scope="session")
def ts_clip() -> pathlib.Path:
    return make_clip(WORK / "clip.ts", "mpegts")


@pytest.fixture(scope="session")
def header_text() -> str:
    return (ROOT / "include" / "qxplaysdk.h").read_text()
