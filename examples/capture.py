#!/usr/bin/env python3
"""Captures joystick 0 from Orvandelcaster: COUNT readings (default 100) at
50 a second, one line each: the time, then X, Y, Rudder and Thrust.

    python3 examples/capture.py [COUNT]
"""
import itertools
import sys

import orvandelcaster

count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
try:
    with orvandelcaster.connect() as server:  # "Orvandelcaster", found in the registry
        names = [channel.name for channel in server.channels()]
        print(f"{server.server_info().description}: {' '.join(names)}")
        for reading in itertools.islice(server.stream(50), count):
            print(f"{reading.time:.3f}", *(f"{reading.values[n]:.6f}" for n in names))
except orvandelcaster.CaptureError as error:
    sys.exit(f"capture: {error}")
