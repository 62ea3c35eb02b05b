"""Python binding of qxplaysdk over ctypes: all 45 exports, no compiled code.

    import qxplaysdk

    with qxplaysdk.open_file("clip.mp4") as port:
        port.on_decode(lambda frame: print(frame.sequence, frame.width))
        port.play()            # no window: decode only; or play(window_id)
        ...

Every failure raises :class:`QxError`, which carries the result code and the
library's text for it. Ports, the voice channel, recorder logins, downloads
and remote slots are context managers that close what they opened. Python
callbacks are kept alive for as long as the library may call them.

Callbacks run on the library's threads (a port's decode, draw and
end-of-file notifications on that port's thread; captured voice on the
capture thread), holding the interpreter lock while they run; the exports
release it, so a callback never deadlocks against the main thread. An
exception raised in a callback is printed by ctypes and otherwise ignored.

The library is found by its soname, or through the environment variable
QXPLAYSDK_LIBRARY (a path); :func:`library` returns the raw ctypes handle
with every export's prototype declared.
"""

from __future__ import annotations

import ctypes
import os
import threading
from ctypes import byref, c_float, c_int32, c_uint32
from dataclasses import dataclass
from typing import Callable, Dict, Optional, Tuple, Union

from . import _native
from ._native import DecodeFrameInfo

__all__ = [
    "OK", "NO_UNUSED_PORT", "PARAM_ERROR", "PLAYSDK_ERROR", "AUDIO_NOT_INITIALISED",
    "GPPSDK_ERROR", "PARAM_OVER", "NEED_FILE_MODE", "NEED_STREAM_MODE", "NETSDK_ERROR",
    "MEDIA_TYPE_NOT_RIGHT", "PARSE_TIME_ERROR", "RECYCLE_PORT_ERROR",
    "MEDIA_PLAYER", "MEDIA_3GPP", "VOICE_PORT",
    "QxError", "Frame", "Color", "Port", "FilePort", "StreamPort", "VoiceChannel",
    "Recorder", "Download", "RemoteSlot",
    "library", "error_message", "open_file", "open_stream", "open_voice", "login",
    "set_draw_function", "set_file_end_callback", "DecodeFrameInfo",
]

__version__ = "1.0.0"

OK = 0
NO_UNUSED_PORT = -1
PARAM_ERROR = -2
PLAYSDK_ERROR = -3
AUDIO_NOT_INITIALISED = -4
GPPSDK_ERROR = -5
PARAM_OVER = -6
NEED_FILE_MODE = -7
NEED_STREAM_MODE = -8
NETSDK_ERROR = -9
MEDIA_TYPE_NOT_RIGHT = -10
PARSE_TIME_ERROR = -11
RECYCLE_PORT_ERROR = -12

MEDIA_PLAYER = 0  #: player library (record type 0: MPEG-TS with the bundled backends)
MEDIA_3GPP = 1  #: 3GPP play library / 3GP converter
VOICE_PORT = 99

_library: Optional[ctypes.CDLL] = None
_library_lock = threading.Lock()

PathLike = Union[str, bytes, "os.PathLike[str]"]


def library() -> ctypes.CDLL:
    """The loaded library, every export declared (loaded on first use)."""
    global _library
    with _library_lock:
        if _library is None:
            _library = _native.load()
        return _library


def error_message(code: int) -> Optional[str]:
    """The library's text of a result code, or None where it has none."""
    text = library().Ovra_GetErrorMessage(code)
    return text.decode("ascii") if text is not None else None


class QxError(Exception):
    """A call failed: `code` is its result code, `message` the library's
    text for it (None for -4 and -9, which have none)."""

    def __init__(self, call: str, code: int) -> None:
        self.call = call
        self.code = code
        self.message = error_message(code)
        super().__init__(f"{call} failed: {code} ({self.message or 'no text'})")


def _check(call: str, code: int) -> None:
    if code != OK:
        raise QxError(call, code)


def _path(value: PathLike) -> bytes:
    return os.fsencode(value)


def _window(window: Optional[int]) -> Optional[int]:
    # An X11 window id (Linux) or an HWND (Windows), as an integer.
    return None if window in (None, 0) else int(window)


# The library keeps each callback until it is replaced; the ctypes objects
# stay referenced here (global registrations) or on their owners, so that
# the library never calls into freed trampolines.
_global_callbacks: Dict[str, object] = {}
_record_callbacks: Dict[int, object] = {}


def set_draw_function(port: "Port", function: Optional[Callable[[int, int], None]]) -> None:
    """Registers the draw notification that serves every port from now on
    (``function(port, window)`` after each picture went to the window) and
    registers `port` with the player library. None turns it off."""
    if function is None:
        native = ctypes.cast(None, _native.DrawFun)
    else:
        def trampoline(port_number: int, value2: int, value3: int) -> None:
            function(port_number, value2)

        native = _native.DrawFun(trampoline)
    _check("Ovra_RegisterDrawFun", library().Ovra_RegisterDrawFun(port.number, native, 0))
    _global_callbacks["draw"] = native


def set_file_end_callback(port: "FilePort", function: Optional[Callable[[int], None]]) -> None:
    """Registers the end-of-file notification that serves every file port
    from now on (``function(port)``) and registers `port`. None turns it
    off."""
    if function is None:
        native = ctypes.cast(None, _native.FileEndCallback)
    else:
        native = _native.FileEndCallback(lambda port_number, user: function(port_number))
    # Kept before the call: the callback is in place even when the player
    # library refuses the registration.
    previous = _global_callbacks.get("file_end")
    _global_callbacks["file_end"] = native
    try:
        _check("Ovra_SetFileEndCallback",
               library().Ovra_SetFileEndCallback(port.number, native, 0))
    except QxError as error:
        if error.code != PLAYSDK_ERROR:
            _global_callbacks["file_end"] = previous
        raise


@dataclass(frozen=True)
class Color:
    """Colour values; with the bundled backends each is 0..128, 64 meaning
    no change."""

    brightness: int
    contrast: int
    saturation: int
    hue: int


class Frame:
    """One decoded frame, as the decode callback hands it over.

    With the bundled backends `width`, `height`, `timestamp_ms` (from the
    first frame) and `fps` describe the picture, and `picture` is a copy of
    it in I420 (planar YUV 4:2:0, no row padding) as a read-only
    memoryview, valid after the callback too. `planes()` gives the three
    planes as numpy arrays when numpy is installed."""

    __slots__ = ("port", "sequence", "width", "height", "timestamp_ms", "fps", "picture")

    def __init__(self, port: int, info: DecodeFrameInfo) -> None:
        self.port = port
        self.sequence: int = info.sequence
        self.width: int = info.info_a
        self.height: int = info.info_b
        self.timestamp_ms: int = info.info_c
        self.fps: int = info.info_e
        data = b""
        if info.extra_a and info.extra_b:
            data = ctypes.string_at(info.extra_a, info.extra_b)
        self.picture: memoryview = memoryview(data)

    def planes(self) -> Tuple["object", "object", "object"]:
        """(Y, U, V) as numpy uint8 arrays of shape (height, width) and
        ((height + 1) // 2, (width + 1) // 2); needs numpy."""
        import numpy  # noqa: PLC0415 - optional dependency

        w, h = self.width, self.height
        cw, ch = (w + 1) // 2, (h + 1) // 2
        if len(self.picture) < w * h + 2 * cw * ch:
            raise ValueError("the frame carries no I420 picture of its size")
        whole = numpy.frombuffer(self.picture, dtype=numpy.uint8)
        y = whole[: w * h].reshape(h, w)
        u = whole[w * h : w * h + cw * ch].reshape(ch, cw)
        v = whole[w * h + cw * ch : w * h + 2 * cw * ch].reshape(ch, cw)
        return y, u, v


class Port:
    """A local port (33..97); use :func:`open_file` or :func:`open_stream`."""

    _close_call = ""

    def __init__(self, number: int) -> None:
        self.number = number
        self.closed = False
        self._decode: Optional[object] = None

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<{type(self).__name__} {self.number} {state}>"

    def __enter__(self) -> "Port":
        return self

    def __exit__(self, *exc_info: object) -> None:
        if not self.closed:
            try:
                self.stop()
            except QxError:
                pass
            self.close()

    def close(self) -> None:
        """Closes the source and gives the port back."""
        if self.closed:
            return
        lib = library()
        code = getattr(lib, self._close_call)(self.number)
        self.closed = True
        self._decode = None
        _check(self._close_call, code)

    # Callbacks.
    def on_decode(self, function: Callable[[Frame], None]) -> None:
        """Calls ``function(frame)`` for every decoded frame, on the port's
        thread, until :meth:`stop`."""
        native = _native.DecodeCallback(
            lambda port, info, user: function(Frame(port, info.contents)))
        previous, self._decode = self._decode, native
        code = library().Ovra_SetDecodeCallback(self.number, native, 0)
        if code == PARAM_ERROR:
            self._decode = previous
        _check("Ovra_SetDecodeCallback", code)

    def on_draw(self, function: Optional[Callable[[int, int], None]]) -> None:
        """See :func:`set_draw_function` (the function serves every port)."""
        set_draw_function(self, function)

    def on_record_file(self, function: Optional[Callable[[int, str], None]]) -> None:
        """Calls ``function(port, file_name)`` for every finished recording
        file, on the thread of record_stop / record_switch."""
        if function is None:
            native = ctypes.cast(None, _native.RecordFileReadyCallback)
        else:
            native = _native.RecordFileReadyCallback(
                lambda port, name, user: function(port, os.fsdecode(name)))
        _check("Ovra_SetRecordFileReadyCallback",
               library().Ovra_SetRecordFileReadyCallback(self.number, native, 0))
        # The registration outlives the port: it stays with the number.
        _record_callbacks[self.number] = native

    # Play control.
    def play(self, window: Optional[int] = None) -> None:
        """Plays into `window` (an X11 window id on Linux, an HWND on
        Windows), or decodes without drawing when it is None."""
        _check("Ovra_Play", library().Ovra_Play(self.number, _window(window)))

    def stop(self) -> None:
        _check("Ovra_Stop", library().Ovra_Stop(self.number))
        self._decode = None

    def pause(self, paused: bool = True) -> None:
        _check("Ovra_Pause", library().Ovra_Pause(self.number, 1 if paused else 0))

    def resume(self) -> None:
        self.pause(False)

    @property
    def position(self) -> int:
        """Position in hundredths of the file (settable)."""
        value = c_int32()
        _check("Ovra_GetPlayPos", library().Ovra_GetPlayPos(self.number, byref(value)))
        return value.value

    @position.setter
    def position(self, hundredths: int) -> None:
        _check("Ovra_SetPlayPos", library().Ovra_SetPlayPos(self.number, hundredths))

    @property
    def speed(self) -> float:
        """Play speed, 1/16 .. 16 in powers of two (settable)."""
        value = c_float()
        _check("Ovra_GetPlaySpeed", library().Ovra_GetPlaySpeed(self.number, byref(value)))
        return value.value

    @speed.setter
    def speed(self, speed: float) -> None:
        _check("Ovra_SetPlaySpeed", library().Ovra_SetPlaySpeed(self.number, speed))

    # Picture, colour and sound.
    def snapshot(self, file_name: PathLike) -> None:
        """Saves the current picture (.bmp or .jpg with the bundled backends)."""
        _check("Ovra_CapPic", library().Ovra_CapPic(self.number, _path(file_name)))

    @property
    def color(self) -> Color:
        """The four colour values (settable with a :class:`Color`)."""
        values = [c_int32() for _ in range(4)]
        _check("Ovra_GetColor",
               library().Ovra_GetColor(self.number, *(byref(v) for v in values)))
        return Color(*(v.value for v in values))

    @color.setter
    def color(self, color: Color) -> None:
        _check("Ovra_SetColor", library().Ovra_SetColor(
            self.number, color.brightness, color.contrast, color.saturation, color.hue))

    def play_sound(self) -> None:
        _check("Ovra_PlaySound", library().Ovra_PlaySound(self.number))

    def stop_sound(self) -> None:
        _check("Ovra_StopSound", library().Ovra_StopSound(self.number))

    @property
    def volume(self) -> int:
        """Volume 0..65535 (settable)."""
        value = c_uint32()
        _check("Ovra_GetVolume", library().Ovra_GetVolume(self.number, byref(value)))
        return value.value

    @volume.setter
    def volume(self, volume: int) -> None:
        if not 0 <= volume <= 0xFFFF:
            # The library would keep only the low 16 bits; a Python caller
            # gets told instead.
            raise ValueError("volume is 0..65535")
        _check("Ovra_SetVolume", library().Ovra_SetVolume(self.number, volume))

    # Recording.
    def record_start(self, file_name: PathLike, record_type: int = MEDIA_PLAYER) -> None:
        _check("Ovra_RecordStart",
               library().Ovra_RecordStart(self.number, _path(file_name), record_type))

    def record_stop(self) -> None:
        _check("Ovra_RecordStop", library().Ovra_RecordStop(self.number))

    def record_switch(self, new_file_name: PathLike) -> None:
        _check("Ovra_RecordSwitchFile",
               library().Ovra_RecordSwitchFile(self.number, _path(new_file_name)))


class FilePort(Port):
    """A local port playing a file."""

    _close_call = "Ovra_CloseFile"

    def on_file_end(self, function: Optional[Callable[[int], None]]) -> None:
        """See :func:`set_file_end_callback` (it serves every file port)."""
        set_file_end_callback(self, function)

    @property
    def total_frames(self) -> int:
        value = c_uint32()
        _check("Ovra_GetFileTotalFrames",
               library().Ovra_GetFileTotalFrames(self.number, byref(value)))
        return value.value

    @property
    def played_frames(self) -> int:
        value = c_uint32()
        _check("Ovra_GetPlayedFrames", library().Ovra_GetPlayedFrames(self.number, byref(value)))
        return value.value

    def next_frame(self) -> None:
        _check("Ovra_NextFrame", library().Ovra_NextFrame(self.number))

    def previous_frame(self) -> None:
        _check("Ovra_PreviousFrame", library().Ovra_PreviousFrame(self.number))

    def jump_to(self, frame: int) -> None:
        _check("Ovra_SetCurrentFrameNum", library().Ovra_SetCurrentFrameNum(self.number, frame))


class StreamPort(Port):
    """A local port playing a live stream pushed block by block."""

    _close_call = "Ovra_CloseStream"

    def input_data(self, block: Union[bytes, bytearray, memoryview]) -> bool:
        """Offers one block; True when the port took it, False when its
        buffer is full (offer it again later). The block may be reused at
        once. Other failures raise."""
        if isinstance(block, bytes):
            data, length = block, len(block)  # passed without a copy
        else:
            view = memoryview(block).cast("B")
            length = len(view)
            data = (ctypes.c_char * length).from_buffer_copy(view) if length else None
        code = library().Ovra_InputData(self.number, data, length)
        if code in (PLAYSDK_ERROR, GPPSDK_ERROR):
            return False
        _check("Ovra_InputData", code)
        return True


def _open(call: str, opener: Callable[[c_int32], int], port_class: type) -> Port:
    number = c_int32(-1)
    code = opener(number)
    if code != OK:
        # A port taken before the backend refused is given back here: a
        # Python caller never sees a half-open port.
        if number.value >= 33 and number.value <= 97:
            library().Ovra_CloseFile(number.value)
        raise QxError(call, code)
    return port_class(number.value)


def open_file(file_name: PathLike) -> FilePort:
    """Opens a file on the lowest free local port."""
    encoded = _path(file_name)
    return _open("Ovra_OpenFile",
                 lambda number: library().Ovra_OpenFile(byref(number), encoded), FilePort)


def open_stream(buffer_size: int = 1 << 20, media_type: int = MEDIA_PLAYER,
                initial_block: bytes = b"") -> StreamPort:
    """Opens a live stream on the lowest free local port; `buffer_size`
    bytes of pushed stream are buffered."""
    return _open("Ovra_OpenStream", lambda number: library().Ovra_OpenStream(
        byref(number), initial_block or None, len(initial_block), buffer_size, media_type),
        StreamPort)


class VoiceChannel:
    """The two-way voice channel on port 99; use :func:`open_voice`."""

    number = VOICE_PORT

    def __init__(self) -> None:
        self.closed = False

    def __enter__(self) -> "VoiceChannel":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def on_audio_in(self, function: Callable[[bytes], None]) -> None:
        """Opens the local capture; ``function(frame)`` receives every voice
        frame (8-byte header, then the captured audio) on the capture
        thread."""
        native = _native.AudioInCallback(
            lambda port, frame, length, user: function(ctypes.string_at(frame, length)))
        # The library keeps the callback even when the capture is refused and
        # after the channel closes, so it is kept alive as long.
        _global_callbacks["audio_in"] = native
        _check("Ovra_SetAudioInCallback",
               library().Ovra_SetAudioInCallback(VOICE_PORT, native, 0))

    def input_audio(self, block: bytes) -> None:
        """Plays one block of far-end audio (8 kHz G.711 mu-law with the
        bundled backends)."""
        _check("Ovra_InputAudioData",
               library().Ovra_InputAudioData(VOICE_PORT, block, len(block)))

    def close(self) -> None:
        if not self.closed:
            _check("Ovra_CloseAudio", library().Ovra_CloseAudio(VOICE_PORT))
            self.closed = True


def open_voice() -> VoiceChannel:
    """Opens the voice channel."""
    number = c_int32(-1)
    _check("Ovra_InitAudio", library().Ovra_InitAudio(byref(number)))
    return VoiceChannel()


class Download:
    """A download from a recorder; stopped when the context ends."""

    def __init__(self, handle: int) -> None:
        self.handle = handle
        self.stopped = False

    def __enter__(self) -> "Download":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()

    @property
    def position(self) -> int:
        value = c_int32()
        _check("Ovra_DVR_GetDownloadPos",
               library().Ovra_DVR_GetDownloadPos(self.handle, byref(value)))
        return value.value

    def stop(self) -> None:
        if not self.stopped:
            self.stopped = True
            _check("Ovra_DVR_StopGetFile", library().Ovra_DVR_StopGetFile(self.handle))


class RemoteSlot:
    """A recorder's file opened for playback in a remote slot (0..32)."""

    def __init__(self, number: int) -> None:
        self.number = number
        self.closed = False

    def __enter__(self) -> "RemoteSlot":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def play(self, window: Optional[int] = None) -> None:
        _check("Ovra_Play", library().Ovra_Play(self.number, _window(window)))

    def stop(self) -> None:
        _check("Ovra_Stop", library().Ovra_Stop(self.number))

    def close(self) -> None:
        if not self.closed:
            self.closed = True
            _check("Ovra_DVR_CloseFile", library().Ovra_DVR_CloseFile(self.number))


class Recorder:
    """A login to a remote recorder; use :func:`login`."""

    def __init__(self, handle: int) -> None:
        self.handle = handle
        self.logged_out = False

    def __enter__(self) -> "Recorder":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.logout()

    def logout(self) -> None:
        if not self.logged_out:
            self.logged_out = True
            _check("Ovra_DVR_Logout", library().Ovra_DVR_Logout(self.handle))

    def download_by_name(self, file_name: str, target: PathLike) -> Download:
        handle = c_int32(0)
        _check("Ovra_DVR_GetFileByName", library().Ovra_DVR_GetFileByName(
            self.handle, byref(handle), file_name.encode(), _path(target)))
        return Download(handle.value)

    def download_by_time(self, channel: int, start: str, end: str,
                         target: PathLike) -> Download:
        """Times are "YYYY-MM-DD hh-mm-ss"."""
        handle = c_int32(0)
        _check("Ovra_DVR_GetFileByTime", library().Ovra_DVR_GetFileByTime(
            self.handle, byref(handle), channel, start.encode(), end.encode(), _path(target)))
        return Download(handle.value)

    def open_file_by_name(self, file_name: str) -> RemoteSlot:
        slot = c_int32(-1)
        _check("Ovra_DVR_OpenFileByName", library().Ovra_DVR_OpenFileByName(
            self.handle, byref(slot), file_name.encode()))
        return RemoteSlot(slot.value)

    def open_file_by_time(self, channel: int, start: str, end: str) -> RemoteSlot:
        slot = c_int32(-1)
        _check("Ovra_DVR_OpenFileByTime", library().Ovra_DVR_OpenFileByTime(
            self.handle, byref(slot), channel, start.encode(), end.encode()))
        return RemoteSlot(slot.value)


def login(address: str, port: int, user_name: str = "", password: str = "") -> Recorder:
    """Logs in to the recorder at address:port."""
    handle = c_int32(0)
    _check("Ovra_DVR_Login", library().Ovra_DVR_Login(
        byref(handle), address.encode(), port, user_name.encode(), password.encode()))
    return Recorder(handle.value)
