"""Reading real shared-memory objects in /dev/shm: what is read, what is
refused, and that the reader never changes a byte."""

import fcntl
import os
import struct
import unittest
from unittest import mock

from orvandelcaster import CaptureError, registry_entries
from orvandelcaster.registry import HeldRegistry, object_location


class Registry(unittest.TestCase):
    def setUp(self):
        self.name = f"/orvandel-py-registry-{os.getpid()}"
        self.path = object_location(self.name)
        self.addCleanup(self.remove, self.path)

    @staticmethod
    def remove(path):
        for remove in (os.unlink, os.rmdir):
            try:
                remove(path)
                return
            except (FileNotFoundError, IsADirectoryError, NotADirectoryError):
                pass

    def hold(self, operation=fcntl.LOCK_SH):
        fd = os.open(self.path, os.O_RDONLY)
        self.addCleanup(os.close, fd)
        fcntl.flock(fd, operation)

    def test_reads_without_writing(self):
        data = bytearray(os.urandom(8192))
        data[0:4] = struct.pack("=I", 1 << 5)
        data[4 + 110 * 5:4 + 110 * 6] = b"Orvandelcaster".ljust(108, b"\0") + struct.pack(">H", 4242)
        with open(self.path, "wb") as registry:
            registry.write(data)
        os.chmod(self.path, 0o644)
        with mock.patch.dict(os.environ, ORVANDELCASTER_REGISTRY=self.name):
            # Held by nobody: whatever the bytes say, nobody publishes in them.
            self.assertEqual(registry_entries(), [])
            self.hold()
            self.assertEqual(registry_entries(), [(5, "Orvandelcaster", 4242)])
        with open(self.path, "rb") as registry:
            self.assertEqual(registry.read(), data)
        self.assertEqual(os.stat(self.path).st_mode & 0o777, 0o644)

    def test_refusals(self):
        location = self.path

        def directory():
            os.mkdir(location)

        def fifo():
            os.mkfifo(location, 0o600)

        def linked():
            open(location, "wb").close()
            os.link(location, location + "-other")
            self.addCleanup(os.unlink, location + "-other")

        def foreign():
            open(location, "wb").close()
            os.chown(location, 65534, 65534)

        cases = [(directory, f"is not a regular file; remove {location} and start again"),
                 (fifo, f"is not a regular file; remove {location} and start again"),
                 (linked, f"has 2 names: another file is linked to it; remove {location} "
                          "and start again")]
        if os.geteuid() == 0:
            import pwd
            cases.append((foreign, f"belongs to {pwd.getpwuid(65534).pw_name}, not to you; only "
                                   f"that user or an administrator can remove it ({location})"))
        for make, reason in cases:
            with self.subTest(make.__name__):
                make()
                with self.assertRaises(CaptureError) as caught:
                    registry_entries(self.name)
                self.assertEqual(str(caught.exception), f"the registry {self.name} {reason}")
                self.remove(location)
        with self.assertRaises(CaptureError) as caught:
            registry_entries("/a/b\n")
        self.assertEqual(str(caught.exception), "the registry /a/b\\x0a is not a usable name for a "
                                                "shared-memory object (ORVANDELCASTER_REGISTRY)")

    def test_a_holder_that_never_lets_go_is_waited_for_in_bounds(self):
        open(self.path, "wb").close()
        self.hold(fcntl.LOCK_EX)
        with self.assertRaises(CaptureError) as caught:
            HeldRegistry(self.name, timeout=0.2)
        self.assertEqual(str(caught.exception),
                         f"the registry {self.name} is locked by another process")


if __name__ == "__main__":
    unittest.main()
