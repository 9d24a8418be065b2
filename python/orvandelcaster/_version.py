"""The package's version: the program's, as the top-level CMakeLists.txt shows it."""

__version__ = "1.0.1"
