"""Shared fixtures of the Python module's tests: the built programs, and
ASE (skipped where it is missing, a failure where SWNT_PYTHON_REQUIRED=1)."""
import os
import subprocess

import pytest

REQUIRED = os.environ.get("SWNT_PYTHON_REQUIRED") == "1"


def program(name):
    path = os.environ.get("SWNT_" + name.upper())
    if not path or not os.path.exists(path):
        path = os.path.join(os.environ.get("SWNT_BUILD_DIR", "build"), name)
    return path


class Programs:
    """Runs the built programs in a directory and returns (status, output)."""

    def __init__(self, directory):
        self.directory = directory

    def run(self, name, *args):
        result = subprocess.run([program(name), *map(str, args)], cwd=self.directory,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
        return result.returncode, result.stdout.decode()

    def wrapping(self, *args):
        return self.run("wrapping", *args)

    def topoconv(self, *args):
        return self.run("topoconv", *args)

    def read(self, name):
        with open(os.path.join(self.directory, name), "rb") as file:
            return file.read()


@pytest.fixture
def programs(tmp_path):
    return Programs(tmp_path)


@pytest.fixture
def ase():
    try:
        import ase as module
        import ase.io  # noqa: F401
        import ase.neighborlist  # noqa: F401
    except ImportError:
        if REQUIRED:
            raise
        pytest.skip("python3-ase is not installed")
    return module


def error_line(output):
    """The text of a program's "Error: " line, as swnt's exceptions give it."""
    lines = [line for line in output.splitlines() if line.startswith("Error: ")]
    assert len(lines) == 1, output
    return lines[0][len("Error: "):]


def warning_lines(output):
    return [line[len("Warning: "):] for line in output.splitlines() if line.startswith("Warning: ")]
