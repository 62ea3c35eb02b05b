"""The shared library and the prototypes of its 45 exports, for ctypes.

Nothing here raises on a result code: the raw functions return what the
library returns. The classes of the package build on them.
"""

from __future__ import annotations

import ctypes
import os
import sys
from ctypes import (
    POINTER,
    Structure,
    c_char_p,
    c_float,
    c_int32,
    c_uint8,
    c_uint32,
    c_void_p,
)
from typing import Optional

c_uintptr = ctypes.c_size_t  # pointer-sized unsigned, as uintptr_t


class DecodeFrameInfo(Structure):
    """The record a decode callback receives (include/qxplaysdk.h)."""

    _fields_ = [
        ("marker", c_uint32),
        ("info_c", c_uint32),
        ("info_e", c_uint32),
        ("sequence", c_uint32),
        ("info_a", c_uint32),
        ("info_b", c_uint32),
        ("extra_a", c_uintptr),
        ("extra_b", c_uintptr),
    ]


# Callbacks use __stdcall on 32-bit Windows and the C convention elsewhere,
# as OVRA_CALLBACK says; the exports always use the C convention.
if sys.platform == "win32" and ctypes.sizeof(c_void_p) == 4:
    _CALLBACK = ctypes.WINFUNCTYPE  # type: ignore[attr-defined]
else:
    _CALLBACK = ctypes.CFUNCTYPE

DrawFun = _CALLBACK(None, c_int32, c_uintptr, c_uintptr)
FileEndCallback = _CALLBACK(None, c_int32, c_uintptr)
DecodeCallback = _CALLBACK(None, c_int32, POINTER(DecodeFrameInfo), c_uintptr)
RecordFileReadyCallback = _CALLBACK(None, c_int32, c_char_p, c_uintptr)
AudioInCallback = _CALLBACK(None, c_int32, POINTER(c_uint8), c_int32, c_uintptr)

_i32 = c_int32
_pi32 = POINTER(c_int32)
_pu32 = POINTER(c_uint32)

# name: (result type, argument types). The order follows the header.
PROTOTYPES = {
    "Ovra_GetErrorMessage": (c_char_p, [_i32]),
    "Ovra_OpenFile": (_i32, [_pi32, c_char_p]),
    "Ovra_CloseFile": (_i32, [_i32]),
    "Ovra_OpenStream": (_i32, [_pi32, c_void_p, c_uint32, c_uint32, _i32]),
    "Ovra_CloseStream": (_i32, [_i32]),
    "Ovra_InputData": (_i32, [_i32, c_void_p, c_uint32]),
    "Ovra_RegisterDrawFun": (_i32, [_i32, DrawFun, c_uintptr]),
    "Ovra_SetFileEndCallback": (_i32, [_i32, FileEndCallback, c_uintptr]),
    "Ovra_SetDecodeCallback": (_i32, [_i32, DecodeCallback, c_uintptr]),
    "Ovra_Play": (_i32, [_i32, c_void_p]),
    "Ovra_Stop": (_i32, [_i32]),
    "Ovra_Pause": (_i32, [_i32, c_uint32]),
    "Ovra_SetPlayPos": (_i32, [_i32, _i32]),
    "Ovra_GetPlayPos": (_i32, [_i32, _pi32]),
    "Ovra_SetPlaySpeed": (_i32, [_i32, c_float]),
    "Ovra_GetPlaySpeed": (_i32, [_i32, POINTER(c_float)]),
    "Ovra_NextFrame": (_i32, [_i32]),
    "Ovra_PreviousFrame": (_i32, [_i32]),
    "Ovra_GetFileTotalFrames": (_i32, [_i32, _pu32]),
    "Ovra_GetPlayedFrames": (_i32, [_i32, _pu32]),
    "Ovra_SetCurrentFrameNum": (_i32, [_i32, c_uint32]),
    "Ovra_CapPic": (_i32, [_i32, c_char_p]),
    "Ovra_SetColor": (_i32, [_i32, _i32, _i32, _i32, _i32]),
    "Ovra_GetColor": (_i32, [_i32, _pi32, _pi32, _pi32, _pi32]),
    "Ovra_PlaySound": (_i32, [_i32]),
    "Ovra_StopSound": (_i32, [_i32]),
    "Ovra_SetVolume": (_i32, [_i32, c_uint32]),
    "Ovra_GetVolume": (_i32, [_i32, _pu32]),
    "Ovra_RecordStart": (_i32, [_i32, c_char_p, _i32]),
    "Ovra_RecordStop": (_i32, [_i32]),
    "Ovra_RecordSwitchFile": (_i32, [_i32, c_char_p]),
    "Ovra_SetRecordFileReadyCallback": (_i32, [_i32, RecordFileReadyCallback, c_uintptr]),
    "Ovra_InitAudio": (_i32, [_pi32]),
    "Ovra_SetAudioInCallback": (_i32, [_i32, AudioInCallback, c_uintptr]),
    "Ovra_InputAudioData": (_i32, [_i32, c_void_p, c_uint32]),
    "Ovra_CloseAudio": (_i32, [_i32]),
    "Ovra_DVR_Login": (_i32, [_pi32, c_char_p, c_uint32, c_char_p, c_char_p]),
    "Ovra_DVR_Logout": (_i32, [_i32]),
    "Ovra_DVR_GetFileByName": (_i32, [_i32, _pi32, c_char_p, c_char_p]),
    "Ovra_DVR_GetFileByTime": (_i32, [_i32, _pi32, _i32, c_char_p, c_char_p, c_char_p]),
    "Ovra_DVR_GetDownloadPos": (_i32, [_i32, _pi32]),
    "Ovra_DVR_StopGetFile": (_i32, [_i32]),
    "Ovra_DVR_OpenFileByName": (_i32, [_i32, _pi32, c_char_p]),
    "Ovra_DVR_OpenFileByTime": (_i32, [_i32, _pi32, _i32, c_char_p, c_char_p]),
    "Ovra_DVR_CloseFile": (_i32, [_i32]),
}


def _candidates() -> list:
    explicit = os.environ.get("QXPLAYSDK_LIBRARY")
    if explicit:
        return [explicit]
    if sys.platform == "win32":
        return ["qxplaysdk.dll"]
    if sys.platform == "darwin":
        return ["libqxplaysdk.1.dylib"]
    return ["libqxplaysdk.so.1"]


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library and declares every export's prototype.

    The library is `path`, else the file named by the environment variable
    QXPLAYSDK_LIBRARY, else the installed one found by its soname
    (libqxplaysdk.so.1) on the loader's search path.
    """
    names = [path] if path else _candidates()
    errors = []
    for name in names:
        try:
            library = ctypes.CDLL(name)
            break
        except OSError as error:
            errors.append(f"{name}: {error}")
    else:
        raise OSError("cannot load qxplaysdk (set QXPLAYSDK_LIBRARY): " + "; ".join(errors))
    for export, (result, arguments) in PROTOTYPES.items():
        function = getattr(library, export)
        function.restype = result
        function.argtypes = arguments
    return library
