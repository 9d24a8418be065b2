"""The one exception that every failure of this package raises."""

from __future__ import annotations


class CaptureError(Exception):
    """A capture server could not be found, reached or understood.

    ``str(error)`` says what went wrong in one line. When the server itself
    answered with a diagnostic (a version mismatch, an unknown request),
    ``diagnostic`` holds its text exactly as sent (the version mismatch ends
    in a line feed) and ``level`` its level (3: the request was wrong);
    otherwise both are None.
    """

    def __init__(self, message: str, *, diagnostic: str | None = None,
                 level: int | None = None) -> None:
        super().__init__(message)
        self.diagnostic = diagnostic
        self.level = level


def printable(text: str, limit: int = 200) -> str:
    """A text from outside (a name from the environment, the registry or a
    server) as it may stand in a line: control characters as \\xNN, so that it
    can neither break the line nor move the cursor, and at most limit
    characters, its middle elided."""
    shown = "".join(f"\\x{ord(c):02x}" if ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 else c
                    for c in text)
    if len(shown) > limit:
        half = (limit - 1) // 2
        shown = shown[:half] + "\u2026" + shown[len(shown) - half:]
    return shown
