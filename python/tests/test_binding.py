"""The binding against the header: every export declared, every result text
the library's, failures raised with their codes."""

import re

import pytest

import qxplaysdk
from qxplaysdk import _native


def test_every_export_of_the_header_has_a_prototype(header_text):
    exports = set(re.findall(r"OVRA_CALL (Ovra_\w+)\(", header_text))
    assert len(exports) == 45
    assert exports == set(_native.PROTOTYPES)
    library = qxplaysdk.library()
    for name in exports:
        assert getattr(library, name).argtypes is not None


def test_result_codes_and_texts_match_the_header(header_text):
    entries = re.findall(r'X\((OVRA_\w+), (-?\d+), (NULL|"[^"]*")\)', header_text)
    assert len(entries) == 13
    for name, value, text in entries:
        assert getattr(qxplaysdk, name[len("OVRA_"):].replace("3GPPSDK", "GPPSDK")) == int(value)
        expected = None if text == "NULL" else text.strip('"')
        assert qxplaysdk.error_message(int(value)) == expected
    assert qxplaysdk.error_message(1) is None
    assert qxplaysdk.error_message(-(2**31)) is None


def test_a_failure_raises_with_its_code_and_text(ts_clip):
    with pytest.raises(qxplaysdk.QxError) as raised:
        qxplaysdk.open_file(ts_clip.parent / "no-such-file.ts")
    assert raised.value.code == qxplaysdk.PLAYSDK_ERROR
    assert raised.value.message == "QXPLAYSDK PLAYSDK EXPORT ERROR"
    assert raised.value.call == "Ovra_OpenFile"
    # The refused open gave its port back: the next open gets the first port.
    with qxplaysdk.open_file(ts_clip) as port:
        assert port.number == 33


def test_a_closed_port_is_refused(ts_clip):
    with qxplaysdk.open_file(ts_clip) as port:
        assert port.volume == 65535
    assert port.closed
    with pytest.raises(qxplaysdk.QxError) as raised:
        port.volume  # noqa: B018 - the read itself must raise
    assert raised.value.code == qxplaysdk.PARAM_ERROR
    port.close()  # closing twice is harmless


def test_values_outside_their_range_are_refused(ts_clip):
    with qxplaysdk.open_file(ts_clip) as port:
        with pytest.raises(qxplaysdk.QxError) as raised:
            port.speed = 32.0
        assert raised.value.code == qxplaysdk.PARAM_OVER
        with pytest.raises(ValueError):
            port.volume = 65536
        with pytest.raises(qxplaysdk.QxError) as raised:
            qxplaysdk.open_stream(media_type=7)
        assert raised.value.code == qxplaysdk.PARAM_ERROR
        # The port that open took was given back.
        with qxplaysdk.open_stream() as stream:
            assert stream.number == port.number + 1


def test_remote_slots_and_time_strings_are_checked_before_the_network():
    recorder = qxplaysdk.Recorder(1)
    with pytest.raises(qxplaysdk.QxError) as raised:
        recorder.download_by_time(0, "not a time", "2024-01-01 00-00-00", "x")
    assert raised.value.code == qxplaysdk.PARSE_TIME_ERROR
    first = recorder.open_file_by_time(1, "2024-01-01 00-00-00", "2024-01-01 01-00-00")
    second = recorder.open_file_by_name("recorded.264")
    assert (first.number, second.number) == (0, 1)
    first.close()
    second.close()
    with pytest.raises(qxplaysdk.QxError) as raised:
        qxplaysdk._check("Ovra_DVR_CloseFile", qxplaysdk.library().Ovra_DVR_CloseFile(1))
    assert raised.value.code == qxplaysdk.RECYCLE_PORT_ERROR


def test_the_package_under_test_is_the_one_asked_for():
    import os
    import pathlib

    from conftest import ROOT

    location = pathlib.Path(qxplaysdk.__file__).resolve()
    from_checkout = (ROOT / "python") in location.parents
    assert from_checkout != bool(os.environ.get("QXPLAYSDK_TEST_INSTALLED")), location


def test_every_export_is_wrapped_by_the_package(header_text):
    import inspect

    source = inspect.getsource(qxplaysdk)
    exports = set(re.findall(r"OVRA_CALL (Ovra_\w+)\(", header_text))
    unwrapped = sorted(name for name in exports if f"{name}(" not in source
                       and f'"{name}"' not in source)
    assert unwrapped == []
