"""The capture protocol's bytes: requests encoded, replies decoded.

Every message is an 8-byte header (type, payload length; both unsigned 32-bit
big-endian) followed by its payload. Numbers in payloads are big-endian too;
floats travel as IEEE 754 single-precision bit patterns. The exceptions are
the words of a channel record that the server sends as it holds them in
memory, which no client needs, and the registry's slot bit set, which is in
the machine's own byte order (see registry.py).
"""

from __future__ import annotations

import struct
from typing import NamedTuple

from .errors import CaptureError

MSG_DIAGNOSTIC = 0
MSG_IDENTIFY = 1
MSG_VERSION = 2
MSG_SERVER_INFO = 3
MSG_CHANNEL_INFO = 4
MSG_DATA = 5
MSG_END = 9

PROTOCOL_VERSION = 300

HEADER = struct.Struct(">II")
IDENTIFY_TEXT_SIZE = 64
IDENTIFY_REPLY_SIZE = 4
VERSION_REPLY_SIZE = 8
DIAGNOSTIC_SIZE = 260
SERVER_INFO_SIZE = 336
CHANNEL_INFO_HEAD = struct.Struct(">iiiiiiIIi")
CHANNEL_RECORD_SIZE = 84
# Words 0 to 3, the 32-byte name, words 12 to 14; words 15 to 20 follow.
CHANNEL_RECORD = struct.Struct(">iiii32siii")
DATA_ENTRY_HEAD = struct.Struct(">ii")

MESSAGE_NAMES = {
    MSG_DIAGNOSTIC: "MSG_DIAGNOSTIC",
    MSG_IDENTIFY: "MSG_IDENTIFY",
    MSG_VERSION: "MSG_VERSION",
    MSG_SERVER_INFO: "MSG_SERVER_INFO",
    MSG_CHANNEL_INFO: "MSG_CHANNEL_INFO",
    MSG_DATA: "MSG_DATA",
    MSG_END: "MSG_END",
}


def message_name(message_type: int) -> str:
    """The MSG_ name of a type code, for error texts."""
    return MESSAGE_NAMES.get(message_type, f"message type {message_type}")


class Diagnostic(NamedTuple):
    """A MSG_DIAGNOSTIC: its level and its text as sent."""

    level: int
    text: str


class ServerInfo(NamedTuple):
    """The server's answer to MSG_SERVER_INFO."""

    name: str
    version: str
    description: str


class Channel(NamedTuple):
    """One channel of the server's table.

    ``index`` is what its values are labelled with in a data block; ``usage``
    is the server's code for what the channel measures (3 X, 4 Y, 5 Thrust,
    7 Rudder for a joystick); ``dims`` is how many floats it carries. The link
    fields place it in the table's tree: ``parent`` 0 is the table itself,
    and -1 means no such record.
    """

    index: int
    name: str
    usage: int
    dims: int
    parent: int
    first_child: int
    next_sibling: int


class ChannelTable(NamedTuple):
    """A decoded MSG_CHANNEL_INFO: the head's three reals and two words, the
    table's capacity and data block length in words, and its channels."""

    reals: tuple[float, float, float]
    head_word_a: int
    head_word_b: int
    capacity: int
    block_words: int
    channels: tuple[Channel, ...]


def text_field(field: bytes) -> str:
    """A zero-filled text field: the bytes before the first zero (all of them
    when the text fills the field), as UTF-8, undecodable bytes replaced."""
    end = field.find(b"\0")
    return (field if end < 0 else field[:end]).decode("utf-8", "replace")


def text_bytes(text: str, size: int) -> bytes:
    """text as a zero-filled field of size bytes, cut to fit."""
    return text.encode("utf-8")[:size].ljust(size, b"\0")


def encode_message(message_type: int, payload: bytes = b"") -> bytes:
    """One whole message: header and payload, to go out in one send."""
    return HEADER.pack(message_type, len(payload)) + payload


def encode_identify(first: str, second: str) -> bytes:
    """The MSG_IDENTIFY payload: two 64-byte identification texts."""
    return text_bytes(first, IDENTIFY_TEXT_SIZE) + text_bytes(second, IDENTIFY_TEXT_SIZE)


def encode_version(version: int) -> bytes:
    """The MSG_VERSION payload: the protocol version the client speaks."""
    return struct.pack(">I", version & 0xFFFFFFFF)


def _require_size(body: bytes, size: int, what: str) -> None:
    if len(body) != size:
        raise CaptureError(f"malformed {what}: {len(body)} bytes, not {size}")


def decode_diagnostic(body: bytes) -> Diagnostic:
    """A MSG_DIAGNOSTIC body: level, then a 256-byte text field."""
    _require_size(body, DIAGNOSTIC_SIZE, "diagnostic")
    (level,) = struct.unpack_from(">I", body)
    return Diagnostic(level, text_field(body[4:]))


def decode_identify_reply(body: bytes) -> int:
    """The MSG_IDENTIFY reply: one word, 1 when the identification is accepted."""
    _require_size(body, IDENTIFY_REPLY_SIZE, "identification reply")
    return struct.unpack(">I", body)[0]


def decode_version_reply(body: bytes) -> int:
    """The MSG_VERSION reply: the server's protocol version (and a 0 word)."""
    _require_size(body, VERSION_REPLY_SIZE, "version reply")
    return struct.unpack_from(">I", body)[0]


def decode_server_info(body: bytes) -> ServerInfo:
    """A MSG_SERVER_INFO body: name (64 bytes), version (16), description (256)."""
    _require_size(body, SERVER_INFO_SIZE, "server information")
    return ServerInfo(text_field(body[0:64]), text_field(body[64:80]), text_field(body[80:336]))


def decode_channel_info(body: bytes) -> ChannelTable:
    """A MSG_CHANNEL_INFO body: the 36-byte head, then record_count 84-byte
    records, record 0 (the table's own header) first."""
    if len(body) < CHANNEL_INFO_HEAD.size:
        raise CaptureError(f"malformed channel table: {len(body)} bytes")
    *halves, word_a, word_b, count = CHANNEL_INFO_HEAD.unpack_from(body)
    if count < 1 or len(body) != CHANNEL_INFO_HEAD.size + CHANNEL_RECORD_SIZE * count:
        raise CaptureError(f"malformed channel table: {count} records in {len(body)} bytes")
    reals = (halves[0] + halves[1] / 1e6, halves[2] + halves[3] / 1e6, halves[4] + halves[5] / 1e6)
    records = [CHANNEL_RECORD.unpack_from(body, CHANNEL_INFO_HEAD.size + CHANNEL_RECORD_SIZE * i)
               for i in range(count)]
    # Record 0's words 13 and 14 are the table's capacity and data block length.
    capacity, block_words = records[0][6], records[0][7]
    channels = tuple(
        Channel(index=index, name=text_field(name), usage=usage, dims=dims, parent=parent,
                first_child=first_child, next_sibling=next_sibling)
        for index, parent, first_child, next_sibling, name, usage, _, dims in records[1:])
    return ChannelTable(reals, word_a, word_b, capacity, block_words, channels)


def decode_data_block(body: bytes) -> list[tuple[int, tuple[float, ...]]]:
    """A MSG_DATA body: for each channel with values, its index, its count of
    values and the values; returned as (index, values) in the body's order."""
    if len(body) % 4:
        raise CaptureError(f"malformed data block: {len(body)} bytes")
    entries = []
    at = 0
    while at < len(body):
        if len(body) - at < DATA_ENTRY_HEAD.size:
            raise CaptureError("malformed data block: an entry is cut short")
        index, dims = DATA_ENTRY_HEAD.unpack_from(body, at)
        at += DATA_ENTRY_HEAD.size
        if dims <= 0 or dims > (len(body) - at) // 4:
            raise CaptureError(f"malformed data block: channel {index} claims {dims} values")
        entries.append((index, struct.unpack_from(f">{dims}f", body, at)))
        at += 4 * dims
    return entries
