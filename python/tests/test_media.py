"""Files, live streams, recording and voice through the binding, on the
real backends and clips made at test time."""

import threading

import pytest

import qxplaysdk
from conftest import CLIP_FRAMES, CLIP_HEIGHT, CLIP_WIDTH, WAIT_SECONDS, count_frames


class FrameLog:
    """Collects decoded frames from the port's thread."""

    def __init__(self, until: int = CLIP_FRAMES) -> None:
        self.frames = []
        self.until = until
        self.enough = threading.Event()
        self.lock = threading.Lock()

    def __call__(self, frame: qxplaysdk.Frame) -> None:
        with self.lock:
            self.frames.append(frame)
            if len(self.frames) >= self.until:
                self.enough.set()


def test_a_file_decodes_every_frame_with_its_picture(ts_clip):
    log = FrameLog()
    ended = threading.Event()
    with qxplaysdk.open_file(ts_clip) as port:
        assert port.total_frames == CLIP_FRAMES
        port.on_decode(log)
        port.on_file_end(lambda number: ended.set())
        port.play()
        port.speed = 16.0
        assert port.speed == 16.0
        assert ended.wait(WAIT_SECONDS)
        assert port.played_frames == CLIP_FRAMES
    with log.lock:
        frames = list(log.frames)
    assert [frame.sequence for frame in frames] == list(range(CLIP_FRAMES))
    assert [frame.timestamp_ms for frame in frames[:3]] == [0, 40, 80]
    first = frames[0]
    assert (first.width, first.height, first.fps) == (CLIP_WIDTH, CLIP_HEIGHT, 25)
    # I420 without padding; the picture is a copy that outlives the callback.
    assert len(first.picture) == CLIP_WIDTH * CLIP_HEIGHT * 3 // 2
    assert first.picture.readonly
    assert bytes(first.picture) != bytes(frames[-1].picture)  # the test pattern moves


def test_decoded_planes_as_numpy_arrays(ts_clip):
    numpy = pytest.importorskip("numpy")
    log = FrameLog(until=1)
    with qxplaysdk.open_file(ts_clip) as port:
        port.on_decode(log)
        port.play()
        assert log.enough.wait(WAIT_SECONDS)
        port.stop()
    y, u, v = log.frames[0].planes()
    assert y.shape == (CLIP_HEIGHT, CLIP_WIDTH)
    assert u.shape == v.shape == (CLIP_HEIGHT // 2, CLIP_WIDTH // 2)
    # The test pattern has bright and dark areas, not one flat grey.
    assert int(numpy.max(y)) - int(numpy.min(y)) > 100


def test_jump_step_snapshot_colour_and_volume(ts_clip, work_dir):
    with qxplaysdk.open_file(ts_clip) as port:
        port.play()
        port.pause()
        port.jump_to(30)
        assert port.played_frames == 31
        port.previous_frame()
        assert port.played_frames == 30
        port.next_frame()
        assert port.played_frames == 31
        port.position = 50
        assert 45 <= port.position <= 55
        snapshot = work_dir / "snapshot.bmp"
        port.snapshot(snapshot)
        data = snapshot.read_bytes()
        assert data[:2] == b"BM"
        assert int.from_bytes(data[18:22], "little") == CLIP_WIDTH
        # A file port's colour is the player library's, like a stream's.
        port.color = qxplaysdk.Color(80, 70, 60, 50)
        assert port.color == qxplaysdk.Color(80, 70, 60, 50)
        port.volume = 1234
        assert port.volume == 1234
        port.play_sound()
        port.stop_sound()
        port.resume()


def test_a_pushed_stream_plays_and_records_into_two_files(ts_clip, work_dir):
    data = ts_clip.read_bytes()
    announced = []
    # A live stream has no end: the decoder keeps its last few pictures.
    log = FrameLog(until=CLIP_FRAMES - 4)
    with qxplaysdk.open_stream(buffer_size=64 * 1024) as port:
        assert port.color == qxplaysdk.Color(64, 64, 64, 64)
        port.color = qxplaysdk.Color(10, 20, 30, 40)
        assert port.color == qxplaysdk.Color(10, 20, 30, 40)
        port.on_decode(log)
        port.on_record_file(lambda number, name: announced.append((number, name)))
        port.play()
        first, second = work_dir / "record-1.ts", work_dir / "record-2.ts"
        port.record_start(first)
        refusals = 0
        for start in range(0, len(data), 4096):
            if start >= len(data) // 2 and not announced:
                port.record_switch(second)
            block = data[start:start + 4096]
            if start % 8192:
                block = memoryview(bytearray(block))  # any buffer, not only bytes
            while not port.input_data(block):
                # A full buffer refuses the block; the port's thread drains
                # it. Bounded: the clip fits many times over.
                refusals += 1
                assert refusals < 100000
                threading.Event().wait(0.005)
        assert log.enough.wait(WAIT_SECONDS)
        port.record_stop()
    assert announced == [(port.number, str(first)), (port.number, str(second))]
    # Every frame pushed is in the two files put end to end, less those
    # before the second file's first key frame (at most one group of 12).
    counts = count_frames(first), count_frames(second)
    assert min(counts) > 0
    assert CLIP_FRAMES - 12 <= sum(counts) <= CLIP_FRAMES


def test_voice_frames_carry_the_header_and_captured_audio(work_dir):
    # What the "microphone" hears: silence, 16-bit 8 kHz mono, for 2 s;
    # silence is 0xFF in mu-law.
    (work_dir / "spoken.raw").write_bytes(bytes(2 * 8000 * 2))
    frames = []
    enough = threading.Event()

    def on_frame(frame: bytes) -> None:
        frames.append(frame)
        if len(frames) >= 4:
            enough.set()

    with qxplaysdk.open_voice() as voice:
        voice.input_audio(bytes([0xFF]) * 800)
        voice.on_audio_in(on_frame)
        assert enough.wait(WAIT_SECONDS)
    for frame in frames[:4]:
        assert frame[:8] == bytes([0x00, 0x00, 0x01, 0xF0, 0x0C, 0x02, 0x00, 0x04])
        assert len(frame) == 8 + 1024
        assert set(frame[8:]) == {0xFF}
    with pytest.raises(qxplaysdk.QxError) as raised:
        voice.input_audio(b"\xff")
    assert raised.value.code == qxplaysdk.AUDIO_NOT_INITIALISED
