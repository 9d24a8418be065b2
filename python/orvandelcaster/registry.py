"""The registry in which servers on this machine publish their ports (Linux).

The registry is the user's POSIX shared-memory object
``/Capture_Unix_Socket_Share.<uid>`` (the file ``/dev/shm/...``), or the one
that ``ORVANDELCASTER_REGISTRY`` names. It holds a 32-bit bit set of the
slots in use (in the machine's own byte order) and 32 slots of 110 bytes: a
zero-terminated name in 108 bytes and a big-endian port.

It exists only while some process holds it: every holder keeps a shared
``flock`` on it. A reader that wins the exclusive lock is alone, so whatever
the bytes say, nobody publishes in them. This module only ever reads: it opens
the file read-only and never creates, extends or changes it. (Not through
``multiprocessing.shared_memory``: before Python 3.13 its resource tracker
removes at exit an object that it merely attached, which would delete the
user's registry.)
"""

from __future__ import annotations

import os
import stat
import struct
import time
from typing import NamedTuple

from . import owners
from .errors import CaptureError, printable
from .wire import text_field

try:  # the registry is Linux only; the rest of the package works everywhere
    import fcntl
except ImportError:  # pragma: no cover
    fcntl = None  # type: ignore[assignment]

REGISTRY_BASE_NAME = "Capture_Unix_Socket_Share"
REGISTRY_VARIABLE = "ORVANDELCASTER_REGISTRY"
SLOT_COUNT = 32
SLOT_SIZE = 110
NAME_SIZE = 108
SLOTS_OFFSET = 4
# The registry is one page; the per-name locks of running servers lie past it.
OBJECT_SIZE = 4096
# How long a reader waits for a new holder to finish zeroing the registry.
LOCK_WAIT_SECONDS = 5.0


class RegistryEntry(NamedTuple):
    """A slot in use: its number, the name published in it and the port."""

    slot: int
    name: str
    port: int


def registry_object_name(registry: str | None = None) -> str:
    """The shared-memory object to read: registry when given, else the one
    ORVANDELCASTER_REGISTRY names, else the user's own."""
    if registry:
        return registry
    return os.environ.get(REGISTRY_VARIABLE) or f"/{REGISTRY_BASE_NAME}.{os.getuid()}"


def object_location(name: str) -> str:
    """Where the system keeps the object name: its file under /dev/shm."""
    return "/dev/shm/" + (name[1:] if name.startswith("/") else name)


def _usable_name(name: str) -> bool:
    base = name[1:] if name.startswith("/") else name
    return base not in ("", ".", "..") and "/" not in base and len(base.encode()) <= 255


def _refusal(name: str, reason: str) -> CaptureError:
    return CaptureError(f"the registry {printable(name)} {reason}")


def _not_regular_refusal(name: str) -> CaptureError:
    return _refusal(name, f"is not a regular file; remove {printable(object_location(name))} "
                          "and start again")


def _foreign_refusal(name: str, owner: int) -> CaptureError:
    location = printable(object_location(name))
    user = printable(owners.user_name(owner))
    return _refusal(name, f"belongs to {user}, not to you; only that user or an administrator "
                          f"can remove it ({location})")


def _check_object(name: str, fd: int) -> None:
    """Refuses an object that another user owns (they could rewrite it or hold
    its lock for ever), one with a second name (whoever holds that name holds
    these bytes) and one that is no regular file."""
    info = os.fstat(fd)
    location = printable(object_location(name))
    if info.st_uid != os.geteuid():
        raise _foreign_refusal(name, info.st_uid)
    if not stat.S_ISREG(info.st_mode):
        raise _not_regular_refusal(name)
    if info.st_nlink > 1:
        raise _refusal(name, f"has {info.st_nlink} names: another file is linked to it; "
                             f"remove {location} and start again")


def _open_failure(name: str, error: OSError) -> CaptureError:
    if _usable_name(name):
        try:
            info = os.lstat(object_location(name))
        except OSError:
            pass
        else:
            if info.st_uid != os.geteuid():
                return _foreign_refusal(name, info.st_uid)
            if not stat.S_ISREG(info.st_mode):
                return _not_regular_refusal(name)
    return CaptureError(f"cannot open the registry {printable(name)}: {error.strerror}")


def _take_shared_lock(name: str, fd: int, timeout: float) -> None:
    deadline = time.monotonic() + timeout
    pause = 0.0001
    while True:
        try:
            fcntl.flock(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)
            return
        except BlockingIOError:
            if time.monotonic() >= deadline:
                raise CaptureError(f"the registry {printable(name)} is locked by another process")
            time.sleep(pause)
            pause = min(pause * 2, 0.02)


class HeldRegistry:
    """The registry held open as every holder holds it, for one look.

    A context manager; ``fd`` is None when the registry is missing or nobody
    else holds it (then no server publishes in it).
    """

    def __init__(self, registry: str | None = None, timeout: float = LOCK_WAIT_SECONDS) -> None:
        if fcntl is None or not os.path.isdir("/dev/shm"):
            raise CaptureError("the registry is only on Linux: reach the server by its address")
        self.name = registry_object_name(registry)
        self.fd: int | None = None
        if not _usable_name(self.name):
            raise _refusal(self.name, f"is not a usable name for a shared-memory object "
                                      f"({REGISTRY_VARIABLE})")
        try:
            # Non-blocking, so that a FIFO in its place opens at once, to be refused.
            fd = os.open(object_location(self.name), os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
        except FileNotFoundError:
            return
        except OSError as error:
            raise _open_failure(self.name, error) from None
        try:
            _check_object(self.name, fd)
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                # Held by others; waits while a new holder still zeroes it.
                _take_shared_lock(self.name, fd, timeout)
                self.fd, fd = fd, -1
        finally:
            if fd >= 0:
                os.close(fd)

    def __enter__(self) -> HeldRegistry:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def close(self) -> None:
        """Lets go of the registry."""
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def entries(self) -> list[RegistryEntry]:
        """The slots in use, lowest first."""
        if self.fd is None:
            return []
        try:
            # The bit set first, then the slots: a publisher writes them the other way round.
            used_bytes = os.pread(self.fd, 4, 0)
            slot_bytes = os.pread(self.fd, SLOT_COUNT * SLOT_SIZE, SLOTS_OFFSET)
        except OSError as error:
            raise CaptureError(f"cannot read the registry {printable(self.name)}: "
                               f"{error.strerror}") from None
        # A registry cut short by someone else reads as zeros past its end.
        return decode_registry(used_bytes.ljust(4, b"\0") +
                               slot_bytes.ljust(SLOT_COUNT * SLOT_SIZE, b"\0"))

    def running(self, name: str) -> bool:
        """Whether a server holds the lock that keeps name to one live
        instance, that is runs, waiting for a client or serving one."""
        if self.fd is None:
            return False
        request = struct.pack("hhqqi4x", fcntl.F_WRLCK, os.SEEK_SET, instance_lock_offset(name),
                              1, 0)
        try:
            answer = fcntl.fcntl(self.fd, fcntl.F_OFD_GETLK, request)
        except OSError:
            return False
        return struct.unpack("hhqqi4x", answer)[0] != fcntl.F_UNLCK


def decode_registry(data: bytes) -> list[RegistryEntry]:
    """The slots in use in the registry's first 3524 bytes."""
    (used,) = struct.unpack_from("=I", data)
    entries = []
    for slot in range(SLOT_COUNT):
        if used >> slot & 1:
            at = SLOTS_OFFSET + SLOT_SIZE * slot
            (port,) = struct.unpack_from(">H", data, at + NAME_SIZE)
            entries.append(RegistryEntry(slot, text_field(data[at:at + NAME_SIZE]), port))
    return entries


def instance_lock_offset(name: str) -> int:
    """The byte past the registry page that a running server named name keeps locked."""
    value = 14695981039346656037
    for byte in name.encode("utf-8"):
        value = ((value ^ byte) * 1099511628211) & 0xFFFFFFFFFFFFFFFF
    return OBJECT_SIZE + (value >> 24)


def registry_entries(registry: str | None = None) -> list[RegistryEntry]:
    """The registry's slots in use, lowest first, as (slot, name, port).

    registry names the shared-memory object to read (for example
    "/my-registry"); by default ORVANDELCASTER_REGISTRY, else the user's own.
    A missing registry, or one that nobody holds, publishes nothing: [].
    Raises CaptureError for an object that is another user's, has more than
    one name or is no regular file, and everywhere but on Linux.
    """
    with HeldRegistry(registry) as held:
        return held.entries()


def find_port(name: str, registry: str | None, timeout: float) -> int:
    """The port published under name, or CaptureError saying whether a server
    of that name runs (busy with a client: its name is withdrawn meanwhile)."""
    with HeldRegistry(registry, timeout) as held:
        for entry in held.entries():
            if entry.name == name:
                return entry.port
        state = "it runs, busy with a client" if held.running(name) else "not running"
    raise CaptureError(f'no server named "{printable(name)}" in the registry ({state})')
