"""python3 -m orvandelcaster list|info|watch: a small command line of the package.

    list    the servers published in the registry (Linux)
    info    what a server says about itself and its channels
    watch   its channels' values, live, until Ctrl+C (--count N stops after N)

Exit status: 0, 1 when the server cannot be reached or understood (the reason
on standard error), 2 for a wrong command line.
"""

from __future__ import annotations

import argparse
import itertools
import math
import sys
import time
from typing import TextIO

from . import __version__
from .client import DEFAULT_NAME, Client, Reading, connect
from .errors import CaptureError, printable
from .registry import registry_entries


def _format_value(value: float | tuple[float, ...]) -> str:
    if isinstance(value, tuple):
        return "(" + ", ".join(f"{v:.6f}" for v in value) + ")"
    return f"{value:.6f}"


def format_reading(reading: Reading) -> str:
    """One line of watch: the time of day with milliseconds, then NAME=VALUE."""
    moment = time.strftime("%H:%M:%S", time.localtime(reading.time))
    millis = int(reading.time * 1000) % 1000
    fields = " ".join(f"{printable(name)}={_format_value(value)}"
                      for name, value in reading.values.items())
    return f"{moment}.{millis:03d} {fields}"


def _list(arguments: argparse.Namespace, out: TextIO) -> None:
    entries = registry_entries(arguments.registry)
    if not entries:
        print("No server is published in the registry.", file=out)
        return
    print("slot  port   name", file=out)
    for entry in entries:
        print(f"{entry.slot:4d}  {entry.port:<5d}  {printable(entry.name)}", file=out)


def _connect(arguments: argparse.Namespace) -> Client:
    return connect(arguments.name, registry=arguments.registry, address=arguments.address,
                   timeout=arguments.timeout)


def _info(arguments: argparse.Namespace, out: TextIO) -> None:
    with _connect(arguments) as server:
        info = server.server_info()
        channels = server.channels()
    print(f"Server:       {printable(info.name)}", file=out)
    print(f"Version:      {printable(info.version)}", file=out)
    print(f"Description:  {printable(info.description)}", file=out)
    print("Channels:", file=out)
    print("  index  name              usage  values", file=out)
    for channel in channels:
        print(f"  {channel.index:5d}  {printable(channel.name):<16s}  {channel.usage:5d}  "
              f"{channel.dims}", file=out)


def _watch(arguments: argparse.Namespace, out: TextIO) -> None:
    with _connect(arguments) as server:
        readings = server.stream(arguments.rate)
        if arguments.count is not None:
            readings = itertools.islice(readings, arguments.count)
        try:
            for reading in readings:
                print(format_reading(reading), file=out, flush=True)
        except KeyboardInterrupt:
            pass  # Ctrl+C is how watch is meant to end


def _positive_count(text: str) -> int:
    count = int(text)
    if count < 1:
        raise argparse.ArgumentTypeError(f"{text} is not a count of 1 or more")
    return count


def _positive_rate(text: str) -> float:
    rate = float(text)
    if not (rate > 0 and math.isfinite(rate)):
        raise argparse.ArgumentTypeError(f"{text} is not a positive number of readings a second")
    return rate


def _parser() -> argparse.ArgumentParser:
    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("--registry", metavar="OBJECT",
                        help="the registry's shared-memory object (default: "
                             "ORVANDELCASTER_REGISTRY, else your own)")
    server = argparse.ArgumentParser(add_help=False, parents=[common])
    server.add_argument("--name", default=DEFAULT_NAME,
                        help="the server's name in the registry (default: %(default)s)")
    server.add_argument("--address", metavar="HOST:PORT",
                        help="reach the server at this address instead of through the registry")
    server.add_argument("--timeout", type=float, default=5.0, metavar="SECONDS",
                        help="how long to wait for the server (default: %(default)s)")
    parser = argparse.ArgumentParser(prog="python3 -m orvandelcaster",
                                     description="A capture client for Orvandelcaster.")
    parser.add_argument("--version", action="version", version=f"%(prog)s {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    commands.add_parser("list", parents=[common], help="the servers published in the registry")
    commands.add_parser("info", parents=[server], help="what the server says about itself")
    watch = commands.add_parser("watch", parents=[server], help="the channels' values, live")
    watch.add_argument("--rate", type=_positive_rate, default=10.0, metavar="HZ",
                       help="readings a second (default: %(default)s)")
    watch.add_argument("--count", type=_positive_count, metavar="N", help="stop after N readings")
    return parser


def main(argv: list[str] | None = None, out: TextIO = sys.stdout, err: TextIO = sys.stderr) -> int:
    """Runs one command; returns the exit status."""
    arguments = _parser().parse_args(argv)
    command = {"list": _list, "info": _info, "watch": _watch}[arguments.command]
    try:
        command(arguments, out)
    except CaptureError as error:
        print(f"orvandelcaster: {error}", file=err)
        return 1
    except KeyboardInterrupt:
        return 130  # Ctrl+C before watch began: stopped, with nothing to say
    return 0
