#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets from real requests.

    fuzz/make_corpus.py      (rewrites fuzz/corpus/<target>/seed-*)
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

MSG_DIAGNOSTIC, MSG_IDENTIFY, MSG_VERSION, MSG_SERVER_INFO = 0, 1, 2, 3
MSG_CHANNEL_INFO, MSG_DATA, MSG_END = 4, 5, 9


def frame(msg_type, payload=b"", length=None):
    return struct.pack(">II", msg_type, len(payload) if length is None else length) + payload


def text_field(text, size):
    return text.encode()[:size].ljust(size, b"\0")


IDENTIFY = frame(MSG_IDENTIFY, text_field("probe", 64) + text_field("capture client", 64))
VERSION = frame(MSG_VERSION, struct.pack(">I", 300))
SERVER_INFO = frame(MSG_SERVER_INFO)
CHANNEL_INFO = frame(MSG_CHANNEL_INFO)
DATA = frame(MSG_DATA)
END = frame(MSG_END)

SESSIONS = {
    "handshake": IDENTIFY + VERSION + SERVER_INFO + END,
    "capture": IDENTIFY + VERSION + CHANNEL_INFO + DATA + DATA + DATA + END,
    "data_first": DATA + END,
    "version_mismatch": VERSION[:8] + struct.pack(">I", 301),
    "version_short": frame(MSG_VERSION, b"\x01\x2c"),
    "unknown_with_payload": frame(7, b"0123456789") + SERVER_INFO + END,
    "client_diagnostic": frame(MSG_DIAGNOSTIC),
    "top_bit_length": frame(MSG_SERVER_INFO, length=0x80000000) + CHANNEL_INFO + END,
    "end_with_payload": frame(MSG_END, b"bye"),
    "closed_mid_payload": IDENTIFY[:40],
    "identify_short": frame(MSG_IDENTIFY, b"abc"),
    # Either side of the 1 MiB bound: one byte above is refused, the bound
    # itself is a payload (cut short here).
    "length_above_bound": frame(MSG_IDENTIFY, length=(1 << 20) + 1) + VERSION,
    "length_at_bound_cut": frame(7, b"x" * 16, length=1 << 20),
}


def registry_image(slots, in_use=True):
    """A registry page holding (index, name bytes, port) slots, marked in use or left free."""
    page = bytearray(4096)
    used = 0
    for index, name, port in slots:
        at = 4 + 110 * index
        page[at:at + len(name)] = name
        page[at + 108:at + 110] = struct.pack(">H", port)
        if in_use:
            used |= 1 << index
    page[0:4] = struct.pack("<I", used)
    return bytes(page)


REGISTRIES = {
    "empty": registry_image([]),
    "others": registry_image([(0, b"Recorder\0", 40001), (2, b"Mixer\0", 40002)]),
    "name_in_use": registry_image([(3, b"Orvandelcaster\0", 40003)]),
    "full": registry_image([(i, b"server%d\0" % i, 41000 + i) for i in range(32)]),
    "unterminated": registry_image([(0, b"O" * 108, 1), (1, b"Orvandelcaster", 2)]),
    "stale_free_slot": registry_image([(5, b"Orvandelcaster\0", 40005)], in_use=False),
}


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        if name.startswith("seed-"):
            os.remove(os.path.join(folder, name))
    for name, data in seeds.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as out:
            out.write(data)


def main():
    write("session", SESSIONS)
    write("read_message", SESSIONS)
    write("registry", REGISTRIES)


if __name__ == "__main__":
    main()
