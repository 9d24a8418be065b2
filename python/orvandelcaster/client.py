"""A connection to a capture server: find it, reach it, ask it for data."""

from __future__ import annotations

import getpass
import math
import os
import socket
import time
from collections.abc import Iterator, Mapping
from typing import NamedTuple, Union

from . import owners, wire
from .errors import CaptureError, printable
from .registry import find_port
from .wire import Channel, ServerInfo

DEFAULT_NAME = "Orvandelcaster"
IDENTIFICATION = "orvandelcaster-python"
# Replies are small; a longer one is not a reply of this protocol.
MAX_REPLY_PAYLOAD = 16 << 20

Value = Union[float, tuple[float, ...]]


class Reading(NamedTuple):
    """One data block: when it arrived (seconds since the epoch, as
    time.time() gives them) and each channel's value by name."""

    time: float
    values: Mapping[str, Value]


def _parse_address(address: str | tuple[str, int]) -> tuple[str, int]:
    if isinstance(address, tuple):
        return address[0], int(address[1])
    host, colon, port = address.rpartition(":")
    if not colon or not host:
        raise CaptureError(f"the address {printable(address)} is not of the form HOST:PORT")
    if port.isdigit() and int(port) < 65536:
        return host, int(port)
    try:
        return host, socket.getservbyname(port, "tcp")
    except OSError:
        raise CaptureError(f"the address {printable(address)} names no TCP port") from None


def _connect_socket(host: str, port: int, timeout: float,
                    refused: str | None = None) -> socket.socket:
    """A connected IPv4 socket to host:port that sends each request at once;
    refused, when given, is the whole error text for a refused connection."""
    where = f"cannot connect to {printable(host)}:{port}"
    try:
        address = socket.getaddrinfo(host, port, socket.AF_INET, socket.SOCK_STREAM)[0][4]
    except OSError:
        raise CaptureError(f"{where}: no IPv4 address for {printable(host)}") from None
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.settimeout(timeout)
    try:
        sock.connect(address)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if owners.leads_to_this_machine(sock):
            owner = owners.server_owner(sock, timeout)
            if owner.uid is not None and owner.uid != _effective_uid():
                raise CaptureError(f"{where}: the server there belongs to "
                                   f"{owners.describe(owner.uid)}, not to you; nothing was sent to it")
    except TimeoutError:
        sock.close()
        raise CaptureError(f"{where}: no answer within {round(timeout * 1000)} ms") from None
    except OSError as error:
        sock.close()
        if refused and isinstance(error, ConnectionRefusedError):
            raise CaptureError(refused) from None
        raise CaptureError(f"{where}: {error.strerror or error}") from None
    except CaptureError:
        sock.close()
        raise
    return sock


def _effective_uid() -> int:
    return os.geteuid() if hasattr(os, "geteuid") else -1


def connect(name: str = DEFAULT_NAME, *, registry: str | None = None,
            address: str | tuple[str, int] | None = None, timeout: float = 5.0) -> Client:
    """Connects to a capture server and returns a Client that has identified
    itself and agreed on the protocol version.

    name is the server's name in the registry of this machine's servers
    (registry: the shared-memory object to read, by default
    ORVANDELCASTER_REGISTRY, else the user's own; Linux only). address
    ("HOST:PORT" or (host, port)) reaches a server directly instead, on any
    system. timeout bounds the connection and every reply, in seconds.

    Raises CaptureError when the server is not running, is busy with another
    client, belongs to another user of this machine, or refuses the protocol
    version (its diagnostic text in the exception's ``diagnostic``).
    """
    if address is not None:
        sock = _connect_socket(*_parse_address(address), timeout)
    else:
        port = find_port(name, registry, timeout)
        # A port that refuses was left by a server that ended.
        sock = _connect_socket("127.0.0.1", port, timeout,
                               refused=f'"{printable(name)}" is not running (a server that ended '
                                       f"left its name in the registry, with port {port})")
    client = Client(sock, timeout)
    try:
        client._handshake()
    except BaseException:
        client._sock.close()
        raise
    return client


class Client:
    """A session with one capture server; make one with connect().

    Use it as a context manager, or call close() when done: the server serves
    one client at a time, and publishes itself again only once the session
    has ended.
    """

    def __init__(self, sock: socket.socket, timeout: float) -> None:
        self._sock = sock
        self._timeout = timeout
        # Channel names by index, from the last channel table: read() needs
        # them for every data block.
        self._names: dict[int, str] | None = None
        self._closed = False

    def __enter__(self) -> Client:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _handshake(self) -> None:
        try:
            user = getpass.getuser()
        except Exception:  # no user name to be had: the server does not need one
            user = ""
        body = self._request(wire.MSG_IDENTIFY, wire.encode_identify(IDENTIFICATION, user))
        if wire.decode_identify_reply(body) != 1:
            raise CaptureError("the server did not accept the identification")
        # Read at call time, so that a test can speak another version.
        version = wire.PROTOCOL_VERSION
        server_version = wire.decode_version_reply(
            self._request(wire.MSG_VERSION, wire.encode_version(version)))
        if server_version != version:
            raise CaptureError(f"the server speaks protocol version {server_version}")

    def _receive_exactly(self, count: int) -> bytes:
        data = bytearray()
        while len(data) < count:
            try:
                chunk = self._sock.recv(count - len(data))
            except TimeoutError:
                raise CaptureError(f"no reply within {round(self._timeout * 1000)} ms") from None
            except OSError as error:
                raise CaptureError(f"cannot receive the reply: {error.strerror or error}") from None
            if not chunk:
                raise CaptureError("the server closed the connection")
            data += chunk
        return bytes(data)

    def _send(self, message_type: int, payload: bytes = b"") -> None:
        if self._closed:
            raise CaptureError("the session is closed")
        try:
            self._sock.sendall(wire.encode_message(message_type, payload))
        except OSError as error:
            raise CaptureError(f"cannot send {wire.message_name(message_type)}: "
                               f"{error.strerror or error}") from None

    def _request(self, message_type: int, payload: bytes = b"") -> bytes:
        """Sends one request and returns its reply's payload; a diagnostic in
        its place fails the request with the server's text."""
        self._send(message_type, payload)
        reply_type, length = wire.HEADER.unpack(self._receive_exactly(wire.HEADER.size))
        if length > MAX_REPLY_PAYLOAD:
            raise CaptureError(f"the reply announces {length} bytes, too long")
        body = self._receive_exactly(length)
        if reply_type == wire.MSG_DIAGNOSTIC:
            diagnostic = wire.decode_diagnostic(body)
            raise CaptureError(f"the server answered {wire.message_name(message_type)} with: "
                               f"{printable(diagnostic.text.rstrip(chr(10)))}",
                               diagnostic=diagnostic.text, level=diagnostic.level)
        if reply_type != message_type:
            raise CaptureError(f"expected a reply to {wire.message_name(message_type)}, "
                               f"got {wire.message_name(reply_type)}")
        return body

    def server_info(self) -> ServerInfo:
        """The server's name, version text and description."""
        return wire.decode_server_info(self._request(wire.MSG_SERVER_INFO))

    def channels(self) -> tuple[Channel, ...]:
        """The server's channels in table order, each with its index, name,
        usage code, count of values (dims) and place in the table."""
        table = wire.decode_channel_info(self._request(wire.MSG_CHANNEL_INFO))
        self._names = {channel.index: channel.name for channel in table.channels}
        return table.channels

    def read(self) -> dict[str, Value]:
        """The current value of every channel by name, from one MSG_DATA: a
        float, or a tuple of floats for a channel of more than one value.
        Names come from the channel table, asked for first if channels() has
        not been called yet (the server serves data only after that)."""
        if self._names is None:
            self.channels()
        names = self._names
        assert names is not None  # channels() has just set them
        values: dict[str, Value] = {}
        for index, numbers in wire.decode_data_block(self._request(wire.MSG_DATA)):
            name = names.get(index)
            if name is None:
                raise CaptureError(f"the data block has channel {index}, which the table lacks")
            values[name] = numbers[0] if len(numbers) == 1 else numbers
        return values

    def stream(self, rate_hz: float) -> Iterator[Reading]:
        """Readings taken rate_hz times a second, without end (stop iterating,
        or slice it with itertools.islice). A reading that comes late moves the
        schedule on instead of hurrying the next ones."""
        if not (rate_hz > 0 and math.isfinite(rate_hz)):
            raise CaptureError(f"the rate must be a positive number of readings a second, "
                               f"not {rate_hz}")
        return self._readings(1.0 / rate_hz)

    def _readings(self, period: float) -> Iterator[Reading]:
        due = time.monotonic()
        while True:
            values = self.read()
            yield Reading(time.time(), values)
            due += period
            wait = due - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            else:
                due = time.monotonic()

    def close(self) -> None:
        """Ends the session (MSG_END) and closes the connection; again, nothing."""
        if self._closed:
            return
        try:
            self._send(wire.MSG_END)
        except CaptureError:
            pass  # a server that has gone needs no goodbye
        finally:
            self._closed = True
            self._sock.close()
