"""Runs one file of the Python module's tests under pytest, for CTest.

Exit status 77 (skipped) when the module was not built or pytest or numpy
is missing; with SWNT_PYTHON_REQUIRED=1 in the environment (as CI sets it)
those are failures instead.
"""
import os
import sys


def give_up(reason):
    required = os.environ.get("SWNT_PYTHON_REQUIRED") == "1"
    print(("FAIL" if required else "SKIP") + ": " + reason)
    sys.exit(1 if required else 77)


if os.environ.get("SWNT_PYTHON_MODULE") != "1":
    give_up("the Python module swnt was not built (pybind11 not found: "
            "apt-get install python3-pybind11 pybind11-dev)")
try:
    import numpy  # noqa: F401
    import pytest
except ImportError as missing:
    give_up(f"{missing.name} is missing (apt-get install python3-pytest python3-numpy)")
try:
    import swnt  # noqa: F401
except ImportError as missing:
    give_up(f"swnt does not import from {os.environ.get('PYTHONPATH')}: {missing}")

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider",
                      *sys.argv[1:]]))
