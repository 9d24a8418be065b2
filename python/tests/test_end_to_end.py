"""The package against the real headless orvandelcaster (ORVANDEL_EXE) and,
for values other than the centred ones, the real server thread with a settable
joystick 0 (SERVER_FIXTURE --fake-joystick). Each server publishes in a
registry object of its own, never the user's."""

import itertools
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from unittest import mock

import orvandelcaster
from orvandelcaster import CaptureError, wire
from orvandelcaster.registry import decode_registry, object_location

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE_ROOT = os.path.dirname(HERE)
EXAMPLE = os.path.join(os.path.dirname(PACKAGE_ROOT), "examples", "capture.py")
NOBODY = 65534


def as_float(value):
    """value as the server sends it: a single-precision float."""
    return struct.unpack("f", struct.pack("f", value))[0]


def channel_value(raw):
    return as_float((raw - 32767.5) / 65535)


CENTRED = channel_value(32767)
NAMES = ["X", "Y", "Rudder", "Thrust"]


class Server:
    """A server process on a registry of its own; stopped with SIGTERM."""

    count = 0

    def __init__(self, command, uid=None, stdin=None):
        Server.count += 1
        self.registry = f"/orvandel-py-test-{os.getpid()}-{Server.count}"
        self.work = tempfile.mkdtemp(prefix="orvandel-py-")
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR")}
        # Headless, and never a joystick of the machine: every axis reads centred.
        env.update(ORVANDELCASTER_REGISTRY=self.registry, TMPDIR=self.work,
                   XDG_CONFIG_HOME=self.work, ORVANDELCASTER_JOYSTICK="/nonexistent/event0")
        if uid is not None:
            os.chown(self.work, uid, uid)
            command = ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups"] + command
        self.process = subprocess.Popen(command, env=env, stdin=stdin, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)

    def port(self, timeout=10.0):
        """The port published under "Orvandelcaster", read from the object's bytes."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with open(object_location(self.registry), "rb") as registry:
                    entries = decode_registry(registry.read(3524).ljust(3524, b"\0"))
            except OSError:
                entries = []
            for entry in entries:
                if entry.name == "Orvandelcaster":
                    return entry.port
            if self.process.poll() is not None:
                raise AssertionError(f"the server ended: {self.process.stderr.read()!r}")
            time.sleep(0.02)
        raise AssertionError("the server did not publish its name")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        status = self.process.wait(10)
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            if stream:
                stream.close()
        shutil.rmtree(self.work, ignore_errors=True)
        try:
            os.unlink(object_location(self.registry))
        except FileNotFoundError:
            pass
        return status


def program():
    return Server([os.environ["ORVANDEL_EXE"]])


def run_cli(registry, *arguments):
    env = dict(os.environ, ORVANDELCASTER_REGISTRY=registry)
    return subprocess.run([sys.executable, "-m", "orvandelcaster", *arguments], env=env,
                          capture_output=True, text=True, timeout=30)


class RealProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = program()
        cls.server.port()

    @classmethod
    def tearDownClass(cls):
        status = cls.server.stop()
        assert status == 0, f"the program ended with status {status}"

    def connect(self):
        self.server.port()  # published again after the last session
        return orvandelcaster.connect(registry=self.server.registry)

    def test_a_whole_session(self):
        entries = orvandelcaster.registry_entries(self.server.registry)
        self.assertEqual([(e.slot, e.name) for e in entries], [(0, "Orvandelcaster")])
        with self.connect() as server:
            self.assertEqual(server.server_info(),
                             ("Orvandelcaster", "1.0", "Orvandelcaster capture server - v1.0"))
            self.assertEqual([(c.index, c.name, c.usage, c.dims) for c in server.channels()],
                             [(1, "X", 3, 1), (2, "Y", 4, 1), (3, "Rudder", 7, 1),
                              (4, "Thrust", 5, 1)])
            self.assertEqual(server.read(), dict.fromkeys(NAMES, CENTRED))
            self.assertRaises(CaptureError, server.stream, 0)  # at once, not at the first reading
            before = time.time()
            readings = list(itertools.islice(server.stream(20), 3))
            times = [reading.time for reading in readings]
            self.assertEqual(times, sorted(times))
            self.assertGreaterEqual(times[0], before)
            self.assertGreaterEqual(times[2] - times[0], 0.09)  # 20 readings a second
            self.assertEqual(readings[2].values, dict.fromkeys(NAMES, CENTRED))
            # While served, the name is out of the registry.
            self.assertEqual(orvandelcaster.registry_entries(self.server.registry), [])
        self.assertEqual(self.server.port(), orvandelcaster.registry_entries(self.server.registry)[0].port)

    def test_busy_with_another_client(self):
        with self.connect():
            with self.assertRaises(CaptureError) as caught:
                orvandelcaster.connect(registry=self.server.registry)
        self.assertEqual(str(caught.exception),
                         'no server named "Orvandelcaster" in the registry (it runs, busy with a client)')

    def test_version_mismatch_carries_the_diagnostic(self):
        self.server.port()
        with mock.patch.object(wire, "PROTOCOL_VERSION", 299):
            with self.assertRaises(CaptureError) as caught:
                orvandelcaster.connect(registry=self.server.registry)
        error = caught.exception
        self.assertEqual(error.diagnostic,
                         "Orvandelcaster: Protocol mismatch: client = 299, server = 300\n")
        self.assertEqual(error.level, 3)
        self.assertEqual(str(error), "the server answered MSG_VERSION with: "
                                     "Orvandelcaster: Protocol mismatch: client = 299, server = 300")
        with self.connect() as server:  # the server goes on serving
            self.assertEqual(server.server_info().name, "Orvandelcaster")

    def test_command_line(self):
        self.server.port()
        listed = run_cli(self.server.registry, "list")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        self.assertRegex(listed.stdout, r"^slot  port   name\n   0  \d+ +Orvandelcaster\n$")
        self.server.port()
        info = run_cli(self.server.registry, "info")
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertIn("Description:  Orvandelcaster capture server - v1.0\n", info.stdout)
        self.assertIn("      4  Thrust                5  1\n", info.stdout)
        self.server.port()
        watch = run_cli(self.server.registry, "watch", "--count", "2", "--rate", "50")
        self.assertEqual(watch.returncode, 0, watch.stderr)
        self.assertRegex(watch.stdout, r"^(\d\d:\d\d:\d\d\.\d{3} X=-0\.000008 Y=-0\.000008 "
                                       r"Rudder=-0\.000008 Thrust=-0\.000008\n){2}$")

    def test_example_capture_client(self):
        self.server.port()
        env = dict(os.environ, ORVANDELCASTER_REGISTRY=self.server.registry)
        done = subprocess.run([sys.executable, EXAMPLE, "3"], env=env, capture_output=True,
                              text=True, timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(lines[0], "Orvandelcaster capture server - v1.0: X Y Rudder Thrust")
        self.assertEqual(len(lines), 4)
        for line in lines[1:]:
            self.assertRegex(line, r"^\d+\.\d{3} -0\.000008 -0\.000008 -0\.000008 -0\.000008$")


class NotRunning(unittest.TestCase):
    def test_no_registry(self):
        registry = f"/orvandel-py-test-{os.getpid()}-missing"
        with self.assertRaises(CaptureError) as caught:
            orvandelcaster.connect(registry=registry)
        self.assertEqual(str(caught.exception),
                         'no server named "Orvandelcaster" in the registry (not running)')
        self.assertEqual(orvandelcaster.registry_entries(registry), [])
        failed = run_cli(registry, "info")
        self.assertEqual((failed.returncode, failed.stdout), (1, ""))
        self.assertEqual(failed.stderr, "orvandelcaster: " + str(caught.exception) + "\n")

    def test_name_left_by_a_killed_server(self):
        server = program()
        try:
            port = server.port()
            # Held open, the registry keeps the killed server's slot.
            holder = os.open(object_location(server.registry), os.O_RDONLY)
            try:
                import fcntl
                fcntl.flock(holder, fcntl.LOCK_SH)
                server.process.kill()
                server.process.wait(10)
                with self.assertRaises(CaptureError) as caught:
                    orvandelcaster.connect(registry=server.registry)
            finally:
                os.close(holder)
        finally:
            server.stop()
        self.assertEqual(str(caught.exception),
                         f'"Orvandelcaster" is not running (a server that ended left its name in '
                         f'the registry, with port {port})')


class ExactValues(unittest.TestCase):
    def test_each_axis_reaches_its_channel(self):
        server = Server([os.environ["SERVER_FIXTURE"], "--fake-joystick"], stdin=subprocess.PIPE)
        try:
            server.process.stdin.write(b"axes 0 65535 16384 49151\n")
            server.process.stdin.flush()
            self.assertEqual(server.process.stdout.readline(), b"ok\n")
            server.port()
            with orvandelcaster.connect(registry=server.registry) as client:
                self.assertEqual(client.read(), {"X": -0.5, "Y": 0.5, "Rudder": channel_value(49151),
                                                 "Thrust": channel_value(16384)})
        finally:
            self.assertEqual(server.stop(), 0)


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"), "needs root to be a second user")
class AnotherUsersServer(unittest.TestCase):
    def test_refused_before_anything_is_sent(self):
        server = Server([os.environ["ORVANDEL_EXE"]], uid=NOBODY)
        try:
            port = server.port()
            import pwd
            owner = pwd.getpwuid(NOBODY).pw_name
            with self.assertRaises(CaptureError) as caught:
                orvandelcaster.registry_entries(server.registry)
            self.assertEqual(str(caught.exception),
                             f"the registry {server.registry} belongs to {owner}, not to you; only "
                             f"that user or an administrator can remove it "
                             f"({object_location(server.registry)})")
            with self.assertRaises(CaptureError) as caught:
                orvandelcaster.connect(address=f"127.0.0.1:{port}")
            self.assertEqual(str(caught.exception),
                             f"cannot connect to 127.0.0.1:{port}: the server there belongs to user "
                             f"{owner} (uid {NOBODY}), not to you; nothing was sent to it")
            # Still published: no connection reached its session.
            self.assertEqual(server.port(timeout=0.1), port)
        finally:
            self.assertEqual(server.stop(), 0)


if __name__ == "__main__":
    unittest.main()
