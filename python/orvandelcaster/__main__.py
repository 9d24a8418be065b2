"""python3 -m orvandelcaster: see cli.py."""

import sys

from .cli import main

sys.exit(main())
