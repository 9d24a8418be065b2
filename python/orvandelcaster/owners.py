"""Who owns the server's end of a connection on this machine.

A server reached on this machine serves only its own user; one that another
user runs may not be sent a single byte, since it could record or answer
whatever it likes. The kernel's table of TCP sockets (/proc/net/tcp, readable
by every process) names each socket's owner. Where there is no such table
(not Linux) nothing is known, and nothing is refused.
"""

from __future__ import annotations

import socket
import time
from typing import NamedTuple

TCP_TABLE = "/proc/net/tcp"
TCP_LISTEN = 0x0A


class Owner(NamedTuple):
    """What the table says of one socket: whether it is there, and its owner's
    uid (None while no process holds it: not accepted yet, or closed)."""

    found: bool
    uid: int | None
    answered: bool = True


def _hex_address(address: str) -> str:
    # The table prints an address as the 32-bit word the kernel holds, in the
    # machine's order, and a port in host order.
    return "%08X" % int.from_bytes(socket.inet_aton(address), "little")


def lookup(local: tuple[str, int], remote: tuple[str, int] | None) -> Owner:
    """The socket bound to local and connected to remote; with remote None,
    the one listening on local's port (on local's address or on any)."""
    try:
        with open(TCP_TABLE, encoding="ascii") as table:
            lines = table.readlines()[1:]
    except OSError:
        return Owner(found=True, uid=None, answered=False)
    port = "%04X" % local[1]
    addresses = {_hex_address(local[0])}
    if remote is None:
        addresses.add("00000000")
    else:
        wanted_remote = "%s:%04X" % (_hex_address(remote[0]), remote[1])
    for line in lines:
        fields = line.split()
        if len(fields) < 10:
            continue
        address, _, local_port = fields[1].partition(":")
        if local_port != port or address not in addresses:
            continue
        if remote is None:
            match = int(fields[3], 16) == TCP_LISTEN
        else:
            match = fields[2] == wanted_remote
        if match:
            inode, uid = int(fields[9]), int(fields[7])
            return Owner(found=True, uid=uid if inode else None)
    return Owner(found=False, uid=None)


def server_owner(sock: socket.socket, timeout: float) -> Owner:
    """The owner of the server's end of the connection sock made.

    A connection that the server has not accepted yet has no owner: then the
    listener on its port answers. Asked again for up to timeout seconds while
    neither shows one and no listener is left, as the server may accept and
    close its listener between the two questions.
    """
    ours, theirs = sock.getsockname()[:2], sock.getpeername()[:2]
    deadline = time.monotonic() + timeout
    while True:
        owner = lookup(theirs, ours)
        if owner.uid is not None or not owner.answered:
            return owner
        owner = lookup(theirs, None)
        if owner.uid is not None or owner.found or time.monotonic() >= deadline:
            return owner
        time.sleep(0.005)


def leads_to_this_machine(sock: socket.socket) -> bool:
    """Whether the connection leads to this machine: to 127.0.0.0/8, to
    0.0.0.0, or to an address of its own (both ends then share it)."""
    ours, theirs = sock.getsockname()[0], sock.getpeername()[0]
    return theirs.startswith("127.") or theirs == "0.0.0.0" or ours == theirs


def user_name(uid: int) -> str:
    """"nobody", or "uid 1234" for a uid without a name."""
    try:
        import pwd
        return pwd.getpwuid(uid).pw_name
    except (ImportError, KeyError):
        return f"uid {uid}"


def describe(uid: int) -> str:
    """"user nobody (uid 65534)", or "uid 1234" for a uid without a name."""
    name = user_name(uid)
    return name if name == f"uid {uid}" else f"user {name} (uid {uid})"
