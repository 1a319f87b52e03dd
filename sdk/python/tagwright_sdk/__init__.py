"""Python access to the Tagwright reader SDK (libtagwright_sdk.so.1) through ctypes.

    import tagwright_sdk as lf

    with lf.Reader("/dev/ttyUSB0") as reader:
        raw, model = reader.version()
        uid = reader.read_uid(lf.ATA5577)
        reader.write_blocks(lf.ATA5577, 1, b"\\x01\\x02\\x03\\x04")

A call that fails raises LfError, which carries the port's last error (LF_GetLastError): its code
and its text; a failed open also carries why the link did not open (LF_GetOpenError) as reason.
Strings travel as Windows-1252 text, as in the C interface. The library is found by the system's
loader; TAGWRIGHT_SDK_LIBRARY names another file (a build folder, for example).
Call the SDK from one thread.
"""

from __future__ import annotations

import ctypes
import functools
import os
from typing import List, NamedTuple, Optional, Tuple

__all__ = [
    "LfError", "Reader", "LanDeviceInfo", "error_text", "enum_serial_ports", "enum_usb_ports",
    "missing_usb_drivers", "is_virtual_com_driver_installed", "open_error", "search_lan_devices",
    "search_lan_readers", "ping_lan_device", "lan_device_info", "set_lan_device_config",
    "HITAG2", "ATA5555", "HITAG_S", "HITAG1", "EM4450", "EM4305", "ATA5577", "HITAG_MU", "SIC7888",
]

# Transponder type codes.
HITAG2, ATA5555, HITAG_S, HITAG1, EM4450, EM4305, ATA5577, HITAG_MU, SIC7888 = 2, 3, 4, 5, 6, 8, 9, 10, 12

# The English texts the front ends show for an error code; other codes are "unknown".
_ERROR_TEXTS = {
    6: "Error opening the port",
    7: "Timeout",
    8: "Block length is not correct",
    9: "Error: wrong number of data bytes",
    11: "No data to send",
    15: "No reader is connected to this port. Please choose another interface.",
    21: "No valid transponder present!",
}
_UNKNOWN_TEXT = "An unknown error has occurred"
_ENCODING = "cp1252"
_LIST_SIZE = 65536


def error_text(code: int) -> str:
    """The text for an SDK error code."""
    return _ERROR_TEXTS.get(code, _UNKNOWN_TEXT)


class LfError(Exception):
    """A failed SDK call: code and text of the port's last error, the function and its result."""

    def __init__(self, function: str, result: int, code: int, reason: str = ""):
        self.function = function
        self.result = result
        self.code = code
        self.text = error_text(code)
        self.reason = reason
        message = f"{function}: {self.text} (error {code}, result {result})"
        super().__init__(f"{message}: {reason}" if reason else message)


_U8P = ctypes.POINTER(ctypes.c_ubyte)
_C = ctypes.c_char_p
_I = ctypes.c_int
_SIGNATURES = {
    "LF_OpenPort": [_C, _I, _I, _I],
    "LF_ClosePort": [_I],
    "LF_GetLastError": [_I],
    "LF_GetOpenError": [_C, _I],
    "LF_GetVersion": [_I, _U8P, _I, _C, _I],
    "LF_ReadReaderId": [_I, _U8P, _I],
    "LF_CanWrite": [_I],
    "LF_IsUsbDevice": [_I],
    "LF_SetKeepUiEnabled": [_I, _I],
    "LF_SetOperatingMode": [_I, _I],
    "LF_SetUsbMode": [_I, _I],
    "LF_SystemCommandF6": [_I, _I, _I],
    "LF_ReadUid": [_I, _I, _U8P, _I],
    "LF_Authenticate": [_I, _I, _U8P, _I, _U8P, _I],
    "LF_KeyAuthenticate": [_I, _I, _U8P, _I, _U8P, _I],
    "LF_ReadUidWithPassword": [_I, _I, _U8P, _I, _U8P, _I],
    "LF_PasswordLogin": [_I, _I, _U8P, _I],
    "LF_ChangePassword": [_I, _I, _U8P, _I, _U8P, _I],
    "LF_ReadBlocks": [_I, _I, _I, _U8P, _I],
    "LF_WriteBlocks": [_I, _I, _I, _U8P, _I, _I],
    "LF_ResetTransponder": [_I, _I],
    "LF_LockBlock": [_I, _I, _I],
    "LF_GetModulation": [_I],
    "LF_SetModulation": [_I, _I],
    "LF_DetectModulation": [_I, _I, _I],
    "LF_EnumSerialPorts": [_C, _I],
    "LF_EnumUsbPorts": [_C, _I],
    "LF_GetMissingUsbDrivers": [],
    "LF_IsVirtualComDriverInstalled": [],
    "LF_SearchLanDevices": [_C, _I],
    "LF_SearchLanReaders": [_C, _I],
    "LF_PingLanDevice": [_C],
    "LF_GetLanDeviceInfo": [_C, _C, _C, _C, _C],
    "LF_SetLanDeviceConfig": [_C, _C, _C, _C],
}


@functools.lru_cache(maxsize=None)
def _lib() -> ctypes.CDLL:
    lib = ctypes.CDLL(os.environ.get("TAGWRIGHT_SDK_LIBRARY") or "libtagwright_sdk.so.1")
    for name, args in _SIGNATURES.items():
        fn = getattr(lib, name)
        fn.argtypes = args
        fn.restype = ctypes.c_int
    return lib


def _call(name: str, *args) -> int:
    return getattr(_lib(), name)(*args)


def _in(data: bytes):
    """A C view of bytes handed to the SDK, with its length."""
    data = bytes(data)
    buf = (ctypes.c_ubyte * max(len(data), 1)).from_buffer_copy(data or b"\0")
    return buf, len(data)


def _out(size: int):
    return (ctypes.c_ubyte * size)()


def _text(value: str) -> bytes:
    return value.encode(_ENCODING)


def _list(name: str) -> List[str]:
    buf = ctypes.create_string_buffer(_LIST_SIZE)
    used = _call(name, buf, _LIST_SIZE)
    entries = buf.raw[:max(used - 1, 0)].split(b"\0")
    return [e.decode(_ENCODING) for e in entries if e]


class Reader:
    """An open reader (LF_OpenPort .. LF_ClosePort); usable as a context manager."""

    def __init__(self, name: str, baud: int = 19200, flags: int = 0, timeout_ms: int = 500):
        handle = _call("LF_OpenPort", _text(name), baud, flags, timeout_ms)
        if handle <= 0:
            raise LfError("LF_OpenPort", handle, _call("LF_GetLastError", handle), open_error())
        self.handle = handle
        self.name = name

    def __enter__(self) -> "Reader":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def close(self) -> None:
        if self.handle > 0:
            _call("LF_ClosePort", self.handle)
            self.handle = 0

    def last_error(self) -> int:
        return _call("LF_GetLastError", self.handle)

    def _check(self, function: str, result: int) -> int:
        if result < 0:
            raise LfError(function, result, self.last_error())
        return result

    def _run(self, function: str, *args) -> int:
        return self._check(function, _call(function, self.handle, *args))

    def version(self) -> Tuple[bytes, str]:
        """The raw version answer and the model name."""
        raw, model = _out(256), ctypes.create_string_buffer(128)
        n = self._run("LF_GetVersion", raw, len(raw), model, len(model))
        return bytes(raw[:n]), model.value.decode(_ENCODING)

    def reader_id(self) -> int:
        buf = _out(4)
        n = self._run("LF_ReadReaderId", buf, len(buf))
        return int.from_bytes(bytes(buf[:n]), "little")

    def can_write(self) -> bool:
        return self._run("LF_CanWrite") == 1

    def is_usb_device(self) -> bool:
        return self._run("LF_IsUsbDevice") == 1

    def set_keep_ui_enabled(self, flag: bool) -> None:
        self._run("LF_SetKeepUiEnabled", int(bool(flag)))

    def set_operating_mode(self, value: int) -> None:
        self._run("LF_SetOperatingMode", value)

    def set_usb_mode(self, mode: int) -> None:
        self._run("LF_SetUsbMode", mode)

    def system_command_f6(self, b1: int, b2: int) -> None:
        self._run("LF_SystemCommandF6", b1, b2)

    def read_uid(self, type: int) -> bytes:
        buf = _out(64)
        return bytes(buf[:self._run("LF_ReadUid", type, buf, len(buf))])

    def _exchange(self, function: str, type: int, data: bytes) -> bytes:
        src, count = _in(data)
        buf = _out(64)
        return bytes(buf[:self._run(function, type, src, count, buf, len(buf))])

    def authenticate(self, type: int, params: bytes = b"") -> bytes:
        return self._exchange("LF_Authenticate", type, params)

    def key_authenticate(self, type: int, key: bytes) -> bytes:
        return self._exchange("LF_KeyAuthenticate", type, key)

    def read_uid_with_password(self, type: int, password: bytes) -> bytes:
        return self._exchange("LF_ReadUidWithPassword", type, password)

    def password_login(self, type: int, password: bytes) -> bool:
        """True when logged in; False when the tag turned out not to need the password."""
        src, count = _in(password)
        return self._run("LF_PasswordLogin", type, src, count) == 0

    def change_password(self, type: int, old: bytes, new: bytes) -> None:
        (o, on), (n, nn) = _in(old), _in(new)
        self._run("LF_ChangePassword", type, o, on, n, nn)

    def read_blocks(self, type: int, first_block: int, count: int) -> bytes:
        buf = _out(max(count, 1))
        return bytes(buf[:self._run("LF_ReadBlocks", type, first_block, buf, count)])

    def write_blocks(self, type: int, first_block: int, data: bytes, lock: int = 0) -> None:
        src, count = _in(data)
        self._run("LF_WriteBlocks", type, first_block, src, count, lock)

    def reset_transponder(self, type: int) -> None:
        self._run("LF_ResetTransponder", type)

    def lock_block(self, type: int, block: int) -> None:
        self._run("LF_LockBlock", type, block)

    def modulation(self) -> Optional[int]:
        """The reader's modulation, or None while it is not known."""
        m = _call("LF_GetModulation", self.handle)
        return None if m < 0 else m

    def set_modulation(self, modulation: int) -> None:
        self._run("LF_SetModulation", modulation)

    def detect_modulation(self, type: int, start: int) -> int:
        return self._run("LF_DetectModulation", type, start)


def open_error() -> str:
    """Why the most recent open of this process failed (LF_GetOpenError); empty after a success."""
    size = _call("LF_GetOpenError", None, 0)
    buf = ctypes.create_string_buffer(size + 1)
    _call("LF_GetOpenError", buf, size + 1)
    return buf.value.decode(_ENCODING)


def enum_serial_ports() -> List[str]:
    return _list("LF_EnumSerialPorts")


def enum_usb_ports() -> List[str]:
    return _list("LF_EnumUsbPorts")


def missing_usb_drivers() -> int:
    """Bit 0: an FTDI-based reader without a driver; bit 1: a virtual COM reader without one."""
    return _call("LF_GetMissingUsbDrivers")


def is_virtual_com_driver_installed() -> bool:
    return _call("LF_IsVirtualComDriverInstalled") == 1


def search_lan_devices() -> List[str]:
    return _list("LF_SearchLanDevices")


def search_lan_readers() -> List[str]:
    return _list("LF_SearchLanReaders")


def ping_lan_device(name: str) -> bool:
    return _call("LF_PingLanDevice", _text(name)) == 1


class LanDeviceInfo(NamedTuple):
    name: str
    address: str
    net_mask: str
    gateway: str


def lan_device_info(name: str) -> LanDeviceInfo:
    bufs = [ctypes.create_string_buffer(64) for _ in range(4)]
    result = _call("LF_GetLanDeviceInfo", _text(name), *bufs)
    if result != 0:
        raise LfError("LF_GetLanDeviceInfo", result, 7 if result == -1 else 6)
    return LanDeviceInfo(*(b.value.decode(_ENCODING) for b in bufs))


def set_lan_device_config(name: str, address: str, net_mask: str = "", gateway: str = "") -> None:
    result = _call("LF_SetLanDeviceConfig", _text(name), _text(address), _text(net_mask), _text(gateway))
    if result != 0:
        raise LfError("LF_SetLanDeviceConfig", result, 7 if result == -1 else 6)
