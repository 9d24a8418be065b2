"""The decoders against bytes laid out by hand from the wire format."""

import struct
import unittest

from orvandelcaster import CaptureError, wire
from orvandelcaster.registry import decode_registry


def field(text: bytes, size: int) -> bytes:
    return text.ljust(size, b"\0")


def record(index, parent, first_child, next_sibling, name, word12, word13, word14, host=(0,) * 6):
    # Words 15 to 20 travel as the (little-endian) server holds them.
    return (struct.pack(">iiii", index, parent, first_child, next_sibling) + field(name, 32) +
            struct.pack(">iii", word12, word13, word14) + struct.pack("<6I", *host))


def joystick_table(head=(0, 0, 0, 0, 0, 0, 524288, 1)):
    records = [record(0, -1, 1, -1, b"", 5, 200, 12, (0, 1, 0, 0, 0, 0))]
    for i, (name, usage) in enumerate([(b"X", 3), (b"Y", 4), (b"Rudder", 7), (b"Thrust", 5)], 1):
        records.append(record(i, 0, -1, i + 1 if i < 4 else -1, name, usage, 0, 1,
                              (0, 8 + 12 * (i - 1), 0, 0, 0, 0)))
    return struct.pack(">iiiiiiIIi", *head, len(records)) + b"".join(records)


class Decoders(unittest.TestCase):
    def test_diagnostic_server_info_and_replies(self):
        text = b"Orvandelcaster: Protocol mismatch: client = 299, server = 300\n"
        self.assertEqual(wire.decode_diagnostic(struct.pack(">I", 3) + field(text, 256)),
                         (3, text.decode()))
        info = field(b"Orvandelcaster", 64) + field(b"1.0", 16) + field(b"A server", 256)
        self.assertEqual(wire.decode_server_info(info), ("Orvandelcaster", "1.0", "A server"))
        # A text that fills its field has no terminating zero.
        full = b"n" * 64 + b"v" * 16 + b"d" * 256
        self.assertEqual(wire.decode_server_info(full), ("n" * 64, "v" * 16, "d" * 256))
        self.assertEqual(wire.decode_version_reply(bytes.fromhex("0000012c00000000")), 300)
        self.assertEqual(wire.decode_identify_reply(bytes.fromhex("00000001")), 1)

    def test_channel_table(self):
        table = wire.decode_channel_info(joystick_table())
        self.assertEqual([(c.index, c.name, c.usage, c.dims, c.parent, c.first_child, c.next_sibling)
                          for c in table.channels],
                         [(1, "X", 3, 1, 0, -1, 2), (2, "Y", 4, 1, 0, -1, 3),
                          (3, "Rudder", 7, 1, 0, -1, 4), (4, "Thrust", 5, 1, 0, -1, -1)])
        self.assertEqual((table.reals, table.head_word_a, table.head_word_b, table.capacity,
                          table.block_words), ((0.0, 0.0, 0.0), 524288, 1, 200, 12))
        # Reals travel as whole part and millionths, both truncated toward zero.
        reals = wire.decode_channel_info(joystick_table((2, 500000, -1, -250000, 0, 0, 0, 0))).reals
        self.assertEqual(reals, (2.5, -1.25, 0.0))
        # A 32-character name fills its field.
        body = bytearray(joystick_table())
        body[36 + 84 + 16:36 + 84 + 48] = b"N" * 32
        self.assertEqual(wire.decode_channel_info(bytes(body)).channels[0].name, "N" * 32)

    def test_data_block(self):
        values = [-0.5, 0.5, 0.25, -0.125]
        body = b"".join(struct.pack(">iif", i, 1, v) for i, v in enumerate(values, 1))
        self.assertEqual(wire.decode_data_block(body), [(i, (v,)) for i, v in enumerate(values, 1)])
        quaternion = struct.pack(">ii4f", 7, 4, 1.0, 0.0, 0.0, 0.0)
        self.assertEqual(wire.decode_data_block(quaternion), [(7, (1.0, 0.0, 0.0, 0.0))])
        self.assertEqual(wire.decode_data_block(b""), [])

    def test_malformed_bodies_are_refused(self):
        table = joystick_table()
        cases = [
            (wire.decode_diagnostic, b"\0" * 259),
            (wire.decode_server_info, b"\0" * 335),
            (wire.decode_version_reply, b"\0" * 4),
            (wire.decode_channel_info, table[:35]),
            (wire.decode_channel_info, table[:-1]),  # one byte short of its five records
            (wire.decode_channel_info, struct.pack(">8ii", *[0] * 8, -1)),
            (wire.decode_data_block, struct.pack(">iif", 1, 1, 0.5)[:-2]),
            (wire.decode_data_block, struct.pack(">ii", 1, 0)),  # an entry of no values
            (wire.decode_data_block, struct.pack(">iif", 1, 2, 0.5)),  # more values than bytes
            (wire.decode_data_block, struct.pack(">iif", 1, -1, 0.5)),
        ]
        for decode, body in cases:
            with self.subTest(decode=decode.__name__, size=len(body)):
                self.assertRaises(CaptureError, decode, body)

    def test_registry_layout(self):
        data = bytearray(3524)
        data[0:4] = struct.pack("<I", 0b1010)  # the bit set: the machine's order
        for slot, name, port in [(1, b"Orvandelcaster", 0x1234), (3, b"L" * 108, 80),
                                 (2, b"stale", 99)]:  # slot 2's bit is clear
            at = 4 + 110 * slot
            data[at:at + 108] = field(name, 108)
            data[at + 108:at + 110] = struct.pack(">H", port)
        self.assertEqual(decode_registry(bytes(data)),
                         [(1, "Orvandelcaster", 0x1234), (3, "L" * 108, 80)])

    def test_requests(self):
        identify = wire.encode_message(wire.MSG_IDENTIFY, wire.encode_identify("probe", "x" * 70))
        self.assertEqual(identify[:8], bytes.fromhex("0000000100000080"))
        self.assertEqual(identify[8:], field(b"probe", 64) + b"x" * 64)
        self.assertEqual(wire.encode_message(wire.MSG_VERSION, wire.encode_version(300)),
                         bytes.fromhex("00000002000000040000012c"))
        self.assertEqual(wire.encode_message(wire.MSG_END), bytes.fromhex("0000000900000000"))


if __name__ == "__main__":
    unittest.main()
