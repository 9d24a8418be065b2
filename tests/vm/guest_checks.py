#!/usr/bin/python3
"""Joystick 0 on a real kernel: runs as root inside the vm-joystick guest.

    guest_checks.py --bin DIR

DIR holds server_fixture, joystick_probe and capture-probe. Virtual devices are made with
uinput_joystick.py; the real server (server_fixture without a fake joystick)
serves them, and this script is its capture client: it finds the server in the
registry, sends MSG_CHANNEL_INFO and then MSG_DATA, and compares the reply with
the exact float32 bit patterns that the position rule gives. The scenarios run
in one boot: a flight stick (with a touchpad-like device before it that must be
passed over), a gamepad, a stick that only root may read (server and probe as
the user nobody, until the node is made readable), and a device chosen by
ORVANDELCASTER_JOYSTICK or the settings file over a lower-numbered one.
"capture-probe devices" tells in each what it sees. Prints PASS/FAIL per check and a closing
"N passed, N failed"; exits 0 only when every check passed.
"""
import argparse
import grp
import math
import os
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import time
from fractions import Fraction

NOBODY = 65534  # the second user: may not read a node that only root may
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


def mapped(value, lo, hi, calibration=None, deadzone=0, inverted=False):
    """A position under a channel's calibration (MIN, CENTRE, MAX) and dead zone, exactly."""
    if calibration is None and deadzone == 0:
        s = scale(value, lo, hi)
    else:
        low, centre, high = calibration or (lo, Fraction(lo + hi, 2), hi)
        low_edge = centre - Fraction(deadzone * (centre - low), 100)
        high_edge = centre + Fraction(deadzone * (high - centre), 100)
        half_up = lambda q: math.floor(q + Fraction(1, 2))  # noqa: E731
        if value <= low:
            s = 0
        elif value >= high:
            s = 65535
        elif value < low_edge:
            s = half_up((value - low) * Fraction(32767) / (low_edge - low))
        elif value > high_edge:
            s = 32767 + half_up((value - high_edge) * Fraction(32768) / (high - high_edge))
        else:
            s = CENTRED
    return 65535 - s if inverted and s != CENTRED else s


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


def registry_path(uid):
    return f"/dev/shm/Capture_Unix_Socket_Share.{uid}"  # one registry per user


def as_user(uid):
    """The command prefix that runs a program as uid (and its group), without root's groups."""
    return [] if uid == 0 else ["setpriv", f"--reuid={uid}", f"--regid={uid}", "--clear-groups", "--"]


def environment(extra):
    """The environment of a program under test: no choice of joystick unless extra makes one."""
    env = {k: v for k, v in os.environ.items() if k not in ("ORVANDELCASTER_JOYSTICK", "XDG_CONFIG_HOME")}
    env["HOME"] = "/nonexistent"  # no settings file of root's
    env.update(extra or {})
    return env


def devices(bindir, uid=0, env=None):
    """What "capture-probe devices" prints (as uid), or "" when it failed."""
    run = subprocess.run(as_user(uid) + [os.path.join(bindir, "capture-probe"), "devices"],
                         capture_output=True, text=True, timeout=TIMEOUT, env=environment(env))
    if run.returncode != 0 or run.stderr:
        print(f"capture-probe devices: status {run.returncode}, stderr {run.stderr!r}", flush=True)
        return ""
    return run.stdout


def device_row(listing, device, access, joystick, name):
    """True when listing has the row of device with these columns."""
    pattern = rf"^{re.escape(device.path)} +{re.escape(access)} +{re.escape(joystick)} +\"{re.escape(name)}\"$"
    return re.search(pattern, listing, re.M) is not None


def registry_port(uid=0):
    """The port published under the server's name in uid's registry, or None."""
    try:
        with open(registry_path(uid), "rb") as f:
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
    def __init__(self, bindir, uid=0, env=None):
        self.uid = uid
        if os.path.exists(registry_path(uid)):
            os.unlink(registry_path(uid))  # nobody holds it: a fresh registry for this server
        self.stderr_path = "/tmp/server.err"
        with open(self.stderr_path, "w") as err:
            self.proc = subprocess.Popen(as_user(uid) + [os.path.join(bindir, "server_fixture")],
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=err, env=environment(env))

    def port(self):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline and self.proc.poll() is None:
            port = registry_port(self.uid)
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
    # The server serves only its own user's programs: the socket is made as
    # uid (the kernel records who made it), then this process is root again.
    def __init__(self, port, uid=0):
        os.seteuid(uid)
        try:
            self.sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
        finally:
            os.seteuid(0)

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


def start_session(bindir, label, uid=0, env=None):
    server = Server(bindir, uid, env)
    port = server.port()
    check(port is not None, f"{label}: server published its port in the registry")
    if port is None:
        print(server.stderr_text(), end="")
        return server, None
    client = Client(port, uid)
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

    listing = devices(bindir)
    check(device_row(listing, decoy, "readable", "no: no joystick or gamepad buttons", "VMJoy Touchpad")
          and device_row(listing, stick, "readable", "yes, joystick 0", "VMJoy Flight Stick")
          and f'\nJoystick 0: {stick.path} "VMJoy Flight Stick"\n' in listing,
          f"{label}: capture-probe devices passes over the touchpad and names the stick joystick 0",
          listing)
    check(re.search(r'^/dev/input/event0 +readable +no: no absolute axes +"AT Translated Set 2 keyboard"$',
                    listing, re.M) is not None,
          f"{label}: capture-probe devices lists the keyboard, no joystick: no absolute axes", listing)

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
    listing = devices(bindir)
    check("\nJoystick 0: No joystick\n" in listing and stick.path not in listing,
          f"{label}: capture-probe devices: no joystick once the stick is gone", listing)

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


def wait_for_block(client, want):
    """Asks for data blocks until one is want or TIMEOUT passes: (last words, seconds waited)."""
    start = time.monotonic()
    words = None
    while time.monotonic() - start < TIMEOUT:
        words = client.data_words()
        if words == want:
            break
        time.sleep(0.05)
    return words, time.monotonic() - start


def input_group_id():
    """The gid of the group "input", made when the guest has none."""
    try:
        return grp.getgrnam("input").gr_gid
    except KeyError:
        with open("/etc/group", "a") as groups:
            groups.write("input:x:990:\n")
        return 990


def unreadable(bindir):
    label = "unreadable stick"
    stick = Device("locked", "--abs", "X=1023", "--abs", "Y=0", "--abs", "THROTTLE=255",
                   "--abs", "RUDDER=0")
    if not check(stick.path is not None, f"{label}: stick created at {stick.path}"):
        return
    os.chown(stick.path, 0, input_group_id())
    os.chmod(stick.path, 0o640)
    hint = f"No permission to read {stick.path} \u2014 add yourself to the input group"
    listing = devices(bindir, NOBODY)
    check(device_row(listing, stick, "Permission denied", "yes, joystick 0", "VMJoy Flight Stick")
          and f"\nJoystick 0: No permission\n  {hint}\n" in listing,
          f"{label}: capture-probe devices as nobody gives the permission state and the hint", listing)

    server, client = start_session(bindir, label, NOBODY)
    if client is None:
        return
    centred = expected_block(CENTRED, CENTRED, CENTRED, CENTRED)
    check_block(client, centred, f"{label}: served centred while it may not be read")
    os.chmod(stick.path, 0o644)
    readable_since = time.monotonic()
    words, waited = wait_for_block(client, expected_block(65535, 0, 65535, 0))
    check(words == expected_block(65535, 0, 65535, 0) and waited <= REPLUG_BOUND,
          f"{label}: served after {waited:.2f} s once the node may be read", describe(words))
    listing = devices(bindir, NOBODY)
    check(f'\nJoystick 0: {stick.path} "VMJoy Flight Stick"\n' in listing,
          f"{label}: capture-probe devices as nobody names it joystick 0 once readable", listing)
    end_session(server, client, label)
    stick.remove()


def chosen(bindir):
    label = "chosen device"
    first = Device("first", "--abs", "X=0", "--abs", "Y=0")
    pad = Device("chosen", "--type", "gamepad", "--name", "VMJoy Chosen Pad", "--abs", "X=32767",
                 "--abs", "Y=-32768", "--abs", "Z=255", "--abs", "RZ=0")
    if not check(first.path and pad.path and first.number < pad.number,
                 f"{label}: pad {pad.path} made after the stick {first.path}"):
        return
    pad_block = expected_block(65535, 0, 65535, 0)

    by_name = {"ORVANDELCASTER_JOYSTICK": "chosen PAD"}
    listing = devices(bindir, env=by_name)
    check(f'\nJoystick 0: {pad.path} "VMJoy Chosen Pad", chosen by ORVANDELCASTER_JOYSTICK\n' in listing
          and device_row(listing, first, "readable", "yes", "VMJoy Flight Stick"),
          f"{label}: capture-probe devices: chosen by name over the lower-numbered stick", listing)
    server, client = start_session(bindir, f"{label} by name", env=by_name)
    if client:
        check_block(client, pad_block, f"{label}: the pad chosen by name is served, not the stick")
    end_session(server, client, f"{label} by name")

    os.makedirs("/tmp/config/orvandelcaster", exist_ok=True)
    with open("/tmp/config/orvandelcaster/settings.conf", "w") as settings:
        settings.write(f"# joystick 0\njoystick = {pad.path}\n")
    in_file = {"XDG_CONFIG_HOME": "/tmp/config"}
    listing = devices(bindir, env=in_file)
    check(f"\nJoystick 0: {pad.path} \"VMJoy Chosen Pad\", chosen in "
          "/tmp/config/orvandelcaster/settings.conf\n" in listing,
          f"{label}: capture-probe devices: chosen by path in the settings file", listing)
    server, client = start_session(bindir, f"{label} in the settings file", env=in_file)
    if client:
        check_block(client, pad_block, f"{label}: the pad chosen by path in the settings file is served")
    end_session(server, client, f"{label} in the settings file")

    absent = {"ORVANDELCASTER_JOYSTICK": "/dev/input/event99", "XDG_CONFIG_HOME": "/tmp/config"}
    listing = devices(bindir, env=absent)
    check("\nJoystick 0: Joystick not found\n  No device /dev/input/event99, chosen by "
          "ORVANDELCASTER_JOYSTICK\n" in listing,
          f"{label}: capture-probe devices: an absent choice is not found, the variable over the file",
          listing)
    server, client = start_session(bindir, f"{label} absent", env=absent)
    if client:
        check_block(client, expected_block(CENTRED, CENTRED, CENTRED, CENTRED),
                    f"{label}: an absent choice is served centred, never another device")
    end_session(server, client, f"{label} absent")
    pad.remove()
    first.remove()


def write_settings(text):
    os.makedirs("/tmp/config/orvandelcaster", exist_ok=True)
    with open("/tmp/config/orvandelcaster/settings.conf.new", "w") as settings:
        settings.write(text)
    # Whole at once: a reader never sees half a file.
    os.replace("/tmp/config/orvandelcaster/settings.conf.new", "/tmp/config/orvandelcaster/settings.conf")


def mapping(bindir):
    label = "mapping"
    full = (-32768, 32767)
    pad = Device("mapped", "--type", "gamepad", "--axis", "RX=-32768:32767", "--axis", "RY=-32768:32767",
                 "--abs", "X=-32768", "--abs", "Y=32767", "--abs", "RX=20000", "--abs", "RY=-20000",
                 "--abs", "Z=17", "--abs", "RZ=200")
    if not check(pad.path is not None, f"{label}: gamepad with a right stick created at {pad.path}"):
        return
    write_settings("# the right stick, up reading up\nx = ABS_RX\ny = -abs_ry\n"
                   "x.deadzone = 10\ny.deadzone = 10\n")
    in_file = {"XDG_CONFIG_HOME": "/tmp/config"}
    server, client = start_session(bindir, label, env=in_file)
    if client is None:
        pad.remove()
        return
    x, y = mapped(20000, *full, deadzone=10), mapped(-20000, *full, deadzone=10, inverted=True)
    check_block(client, expected_block(x, y, scale(17, 0, 255), scale(200, 0, 255)),
                f"{label}: the right stick serves X={x}, inverted Y={y} under a 10% dead zone")
    check(pad.send("RX=3000 RY=32000"), f"{label}: right stick moved")
    y = mapped(32000, *full, deadzone=10, inverted=True)
    check_block(client, expected_block(CENTRED, y, scale(17, 0, 255), scale(200, 0, 255)),
                f"{label}: X in the dead zone reads {CENTRED}, Y={y}")

    # A stick resting at 5000: calibrated there, it reads centred at rest.
    check(pad.send("RX=5000"), f"{label}: right stick at its off-centre rest")
    write_settings("x = ABS_RX\nx.calibration = -30000 5000 30000\n")
    want = expected_block(CENTRED, scale(32767, *full), scale(17, 0, 255), scale(200, 0, 255))
    words, waited = wait_for_block(client, want)
    check(words == want and waited <= REPLUG_BOUND,
          f"{label}: the changed file applies while serving, after {waited:.2f} s: "
          f"the calibrated rest reads {CENTRED}, Y is ABS_Y again", describe(words))
    check(pad.send("RX=-10000"), f"{label}: right stick moved off its rest")
    x = mapped(-10000, *full, calibration=(-30000, 5000, 30000))
    check_block(client, expected_block(x, scale(32767, *full), scale(17, 0, 255), scale(200, 0, 255)),
                f"{label}: calibrated X={x} off the rest")
    end_session(server, client, label)
    pad.remove()

    # Pedals: absolute axes, no joystick button; chosen by name they serve.
    pedals = Device("pedals", "--name", "VMJoy Pedals", "--buttons", "KEY_A", "--axis", "GAS=0:1023",
                    "--abs", "GAS=700", "--abs", "RUDDER=40")
    if not check(pedals.path is not None, f"{label}: pedals created at {pedals.path}"):
        return
    check_probe(bindir, (-1, CENTRED, CENTRED, CENTRED, CENTRED, 0),
                f"{label}: pedals are no joystick 0 unless chosen")
    write_settings("joystick = pedals\nthrust = ABS_GAS\n")
    server, client = start_session(bindir, f"{label} pedals", env=in_file)
    if client:
        check_block(client, expected_block(scale(512, 0, 1023), scale(512, 0, 1023), scale(700, 0, 1023),
                                           scale(40, 0, 255)),
                    f"{label}: pedals chosen by name serve ABS_GAS as Thrust, ABS_RUDDER as Rudder")
    end_session(server, client, f"{label} pedals")
    pedals.remove()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bin", required=True)
    args = parser.parse_args()
    print(f"kernel {os.uname().release}", flush=True)
    for scenario in (flight_stick, gamepad, unreadable, chosen, mapping):
        try:
            scenario(args.bin)
        except (OSError, ValueError, subprocess.SubprocessError) as error:
            check(False, f"{scenario.__name__} scenario ran to its end", repr(error))
    print(f"{passed} passed, {failed} failed", flush=True)
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
