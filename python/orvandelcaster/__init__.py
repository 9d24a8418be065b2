"""A client for Orvandelcaster, which serves joystick 0's axes as float
channels to capture programs, one at a time, over TCP.

    import itertools
    import orvandelcaster

    with orvandelcaster.connect() as server:      # found by name in the registry
        print(server.server_info().description)
        for channel in server.channels():
            print(channel.index, channel.name, channel.usage, channel.dims)
        print(server.read())                       # {"X": -0.5, "Y": 0.25, ...}
        for reading in itertools.islice(server.stream(60), 600):
            print(reading.time, reading.values["X"])

``connect(address="127.0.0.1:PORT")`` reaches a server by its address
instead (on any system; the registry is Linux only), and
``registry_entries()`` lists what the registry publishes. Every failure raises
CaptureError. ``python3 -m orvandelcaster list|info|watch`` is a small command
line built on it.
"""

from ._version import __version__
from .client import Client, Reading, connect
from .errors import CaptureError
from .registry import RegistryEntry, registry_entries
from .wire import PROTOCOL_VERSION, Channel, ServerInfo

__all__ = [
    "CaptureError",
    "Channel",
    "Client",
    "PROTOCOL_VERSION",
    "Reading",
    "RegistryEntry",
    "ServerInfo",
    "__version__",
    "connect",
    "registry_entries",
]
