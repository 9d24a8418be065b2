#!/usr/bin/python3
"""Joystick 0 on a real kernel: runs as root inside the vm-joystick guest.

    guest_checks.py --bin DIR

DIR holds server_fixture and joystick_probe. Virtual devices are made with
uinput_joystick.py; the real server (server_fixture without a fake joystick)
serves them, and this script is its capture client: it finds the server in the
registry, sends MSG_CHANNEL_INFO and then MSG_DATA, and compares the reply with
the exact float32 bit patterns that the position rule gives. Two scenarios run
in one boot: a flight stick (with a touchpad-like device before it that must be
passed over) and a gamepad. Prints PASS/FAIL per check and a closing
"N passed, N failed"; exits 0 only when every check passed.
"""
import argparse
import os
import select
import signal
import socket
import struct
import subprocess
import sys
import time

REGISTRY = "/dev/shm/Capture_Unix_Socket_Share.0"  # root's registry
SERVER_NAME = b"Orvandelcaster"
MSG_CHANNEL_INFO, MSG_DATA, MSG_END = 4, 5, 9
SLOTS, SLOT_SIZE, SLOT_NAME_SIZE = 32, 110, 108
CENTRED = 32767
TIMEOUT = 10.0  # upper bound for anything to appear; never a speed target
REPLUG_BOUND = 3.0  # the server looks for a device once a second

passed = failed = 0


def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"PASS: {what}", flush=True)
    else:
        failed += 1
        print(f"FAIL: {what}{': ' + detail if detail else ''}", flush=True)
    return ok


def scale(value, lo, hi):
    """An evdev position on 0..65535: rounded to nearest, halves up, clamped."""
    if hi <= lo:
        return CENTRED
    value = min(max(value, lo), hi)
    span = hi - lo
    return (2 * (value - lo) * 65535 + span) // (2 * span)


def value_bits(raw):
    """The float32 bit pattern a channel carries for raw under the 0..65535 scale."""
    return struct.unpack(">I", struct.pack(">f", (raw - 32767.5) / 65535.0))[0]


def expected_block(x, y, z, r):
    """MSG_DATA body words for positions on 0..65535: X, Y, Rudder (R), Thrust (Z)."""
    return [1, 1, value_bits(x), 2, 1, value_bits(y), 3, 1, value_bits(r), 4, 1, value_bits(z)]


def describe(words):
    return " ".join(f"{w:08x}" for w in words) if words else "(none)"


class Device:
    """A uinput device made by uinput_joystick.py, commanded through a FIFO."""

    def __init__(self, tag, *args):
        self.fifo = f"/tmp/{tag}.fifo"
        ready = f"/tmp/{tag}.path"
        for stale in (self.fifo, ready):
            if os.path.exists(stale):
                os.unlink(stale)
        self.proc = subprocess.Popen(
            ["uinput_joystick.py", *args, "--fifo", self.fifo, "--ready-file", ready],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.path = self._line(lambda line: line.startswith("/dev/input/event"))
        self.number = int(self.path[len("/dev/input/event"):]) if self.path else -1

    def _line(self, wanted):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.proc.stdout], [], [], deadline - time.monotonic())
            if not ready:
                break
            line = self.proc.stdout.readline()
            if not line:
                break
            if wanted(line.strip()):
                return line.strip()
        return None

    def send(self, command):
        with open(self.fifo, "w") as fifo:
            fifo.write(command + "\n")
        return self._line(lambda line: line in (f"ok {command}", f"error {command}")) == f"ok {command}"

    def remove(self):
        """Destroys the device ("quit": a signal would not wake its wait on the FIFO)."""
        with open(self.fifo, "w") as fifo:
            fifo.write("quit\n")
        try:
            self.proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()  # its uinput descriptor closes, and the device goes with it
            self.proc.wait()
        return not os.path.exists(self.path or "")


def probe(bindir):
    """One reading through the evdev layer: (result, x, y, z, r, buttons)."""
    out = subprocess.run([os.path.join(bindir, "joystick_probe")], capture_output=True,
                         text=True, timeout=TIMEOUT).stdout.split()
    if len(out) != 6:
        return None
    return (int(out[0]), int(out[1]), int(out[2]), int(out[3]), int(out[4]), int(out[5], 16))


def registry_port():
    """The port published under the server's name, or None."""
    try:
        with open(REGISTRY, "rb") as f:
            data = f.read(4 + SLOTS * SLOT_SIZE)
    except OSError:
        return None
    if len(data) < 4 + SLOTS * SLOT_SIZE:
        return None
    used = struct.unpack_from("<I", data, 0)[0]
    for i in range(SLOTS):
        if not used >> i & 1:
            continue
        at = 4 + SLOT_SIZE * i
        if data[at:at + SLOT_NAME_SIZE].split(b"\0", 1)[0] == SERVER_NAME:
            return struct.unpack_from(">H", data, at + SLOT_NAME_SIZE)[0]
    return None


class Server:
    def __init__(self, bindir):
        if os.path.exists(REGISTRY):
            os.unlink(REGISTRY)  # nobody holds it: a fresh registry for this server
        self.stderr_path = "/tmp/server.err"
        with open(self.stderr_path, "w") as err:
            self.proc = subprocess.Popen([os.path.join(bindir, "server_fixture")],
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=err)

    def port(self):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline and self.proc.poll() is None:
            port = registry_port()
            if port:
                return port
            time.sleep(0.05)
        return None

    def evdev_descriptors(self):
        """(target, flags) of every descriptor the server holds on an event device."""
        found = []
        fd_dir = f"/proc/{self.proc.pid}/fd"
        for fd in os.listdir(fd_dir):
            try:
                target = os.readlink(os.path.join(fd_dir, fd))
            except OSError:
                continue
            if target.startswith("/dev/input/"):
                with open(f"/proc/{self.proc.pid}/fdinfo/{fd}") as info:
                    flags = next(int(line.split()[1], 8) for line in info if line.startswith("flags:"))
                found.append((target, flags))
        return found

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            return self.proc.wait()

    def stderr_text(self):
        with open(self.stderr_path) as err:
            return err.read()


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)

    def _exact(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise ConnectionError("the server closed the connection")
            data += chunk
        return data

    def request(self, msg_type):
        self.sock.sendall(struct.pack(">II", msg_type, 0))
        reply_type, length = struct.unpack(">II", self._exact(8))
        return reply_type, self._exact(length)

    def data_words(self):
        reply_type, body = self.request(MSG_DATA)
        if reply_type != MSG_DATA or len(body) != 48:
            return None
        return list(struct.unpack(">12I", body))

    def end(self):
        self.sock.sendall(struct.pack(">II", MSG_END, 0))
        self.sock.close()


def check_block(client, expected, what):
    words = client.data_words()
    return check(words == expected, what, f"got {describe(words)}, want {describe(expected)}")


def check_probe(bindir, expected, what):
    got = probe(bindir)
    return check(got == expected, what, f"got {got}, want {expected}")


def check_descriptors(server, device, what):
    held = server.evdev_descriptors()
    ok = len(held) == 1 and held[0][0] == device.path and held[0][1] & os.O_CLOEXEC
    return check(ok, what, f"held {[(t, oct(f)) for t, f in held]}")


def start_session(bindir, label):
    server = Server(bindir)
    port = server.port()
    check(port is not None, f"{label}: server published its port in the registry")
    if port is None:
        print(server.stderr_text(), end="")
        return server, None
    client = Client(port)
    reply_type, body = client.request(MSG_CHANNEL_INFO)
    check(reply_type == MSG_CHANNEL_INFO and len(body) == 36 + 84 * 5,
          f"{label}: MSG_CHANNEL_INFO answered with the four channels",
          f"type {reply_type}, {len(body)} bytes")
    return server, client


def end_session(server, client, label):
    if client:
        client.end()
    status = server.stop()
    check(status == 0, f"{label}: server ended with status 0 on SIGTERM", f"status {status}")
    text = server.stderr_text()
    check(text == "", f"{label}: nothing on the server's standard error", repr(text))


def flight_stick(bindir):
    label = "flight stick"
    # Same axes, but no joystick button: a touchpad-like device that comes first.
    decoy = Device("decoy", "--name", "VMJoy Touchpad", "--buttons", "BTN_LEFT,BTN_TOUCH,BTN_TOOL_FINGER",
                   "--abs", "X=1", "--abs", "Y=2")
    stick = Device("stick", "--abs", "X=512", "--abs", "Y=900", "--abs", "THROTTLE=200",
                   "--abs", "RUDDER=17", "--press", "BTN_TRIGGER", "--press", "BTN_BASE6")
    check(decoy.path is not None and stick.path is not None and decoy.number < stick.number,
          f"{label}: stick {stick.path} created after the touchpad-like {decoy.path}")

    x, y, z, r = scale(512, 0, 1023), scale(900, 0, 1023), scale(200, 0, 255), scale(17, 0, 255)
    check_probe(bindir, (0, x, y, z, r, 0x801),
                f"{label}: evdev layer reads X, Y, THROTTLE as Z, RUDDER as R, buttons 1 and 12")

    server, client = start_session(bindir, label)
    if client is None:
        return
    check_block(client, expected_block(x, y, z, r),
                f"{label}: MSG_DATA carries X={x} Y={y} Rudder={r} Thrust={z} exactly")
    check_descriptors(server, stick, f"{label}: server holds one close-on-exec descriptor, on the stick")

    check(stick.send("X=1023 Y=600 THROTTLE=255 RUDDER=0 release BTN_TRIGGER press BTN_THUMB"),
          f"{label}: stick moved")
    check_block(client, expected_block(65535, scale(600, 0, 1023), 65535, 0),
                f"{label}: MSG_DATA follows the move in the same session")
    check_probe(bindir, (0, 65535, scale(600, 0, 1023), 65535, 0, 0x802), f"{label}: buttons follow (2 and 12)")

    check(stick.remove(), f"{label}: stick unplugged")
    check_block(client, expected_block(CENTRED, CENTRED, CENTRED, CENTRED),
                f"{label}: every axis centred once the stick is gone")
    held = server.evdev_descriptors()
    check(held == [], f"{label}: server let go of the vanished device", f"held {held}")
    check_probe(bindir, (-1, CENTRED, CENTRED, CENTRED, CENTRED, 0),
                f"{label}: evdev layer reports no joystick 0 (the touchpad-like device does not count)")

    # Absent for longer than a retry interval, so the replug below is found by
    # a later retry and not by the first look after the loss.
    centred = expected_block(CENTRED, CENTRED, CENTRED, CENTRED)
    absent_since = time.monotonic()
    blocks = []
    while time.monotonic() - absent_since < 1.5:
        blocks.append(client.data_words())
        time.sleep(0.1)
    check(all(words == centred for words in blocks),
          f"{label}: still centred in all {len(blocks)} requests over 1.5 s without a device")

    replug = Device("stick", "--abs", "X=0", "--abs", "Y=1023", "--abs", "THROTTLE=64",
                    "--abs", "RUDDER=255")
    plugged = time.monotonic()
    want = expected_block(0, 65535, scale(64, 0, 255), 65535)
    words = None
    while time.monotonic() - plugged < TIMEOUT:
        words = client.data_words()
        if words == want:
            break
        time.sleep(0.05)
    waited = time.monotonic() - plugged
    check(words == want and waited <= REPLUG_BOUND,
          f"{label}: replugged stick {replug.path} served again after {waited:.2f} s",
          f"got {describe(words)}, want {describe(want)}")
    end_session(server, client, label)
    replug.remove()
    decoy.remove()


def gamepad(bindir):
    label = "gamepad"
    pad = Device("pad", "--type", "gamepad", "--abs", "X=-32768", "--abs", "Y=32767",
                 "--abs", "Z=255", "--abs", "RZ=3", "--press", "BTN_SOUTH", "--press", "BTN_TR")
    check(pad.path is not None, f"{label}: gamepad created at {pad.path}")
    r = scale(3, 0, 255)
    check_probe(bindir, (0, 0, 65535, 65535, r, 0x21),
                f"{label}: evdev layer reads ABS_Z as Z, ABS_RZ as R, buttons 1 and 6")

    server, client = start_session(bindir, label)
    if client is None:
        return
    check_block(client, expected_block(0, 65535, 65535, r),
                f"{label}: MSG_DATA carries X=0 Y=65535 Rudder={r} Thrust=65535 exactly")
    check(pad.send("X=0 Y=-1 Z=0 RZ=128"), f"{label}: gamepad moved")
    x, y = scale(0, -32768, 32767), scale(-1, -32768, 32767)
    check_block(client, expected_block(x, y, 0, scale(128, 0, 255)),
                f"{label}: negative minimum scaled: X={x} Y={y}")
    check(pad.remove(), f"{label}: gamepad unplugged")
    check_block(client, expected_block(CENTRED, CENTRED, CENTRED, CENTRED),
                f"{label}: every axis centred once the gamepad is gone")
    end_session(server, client, label)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin", required=True)
    args = parser.parse_args()
    print(f"kernel {os.uname().release}", flush=True)
    for scenario in (flight_stick, gamepad):
        try:
            scenario(args.bin)
        except (OSError, ValueError, subprocess.SubprocessError) as error:
            check(False, f"{scenario.__name__} scenario ran to its end", repr(error))
    print(f"{passed} passed, {failed} failed", flush=True)
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
