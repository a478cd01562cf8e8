"""cmake --install puts the package into the prefix's site directory, where
Python imports it with its tables."""
import os
import subprocess
import sys

import pytest


def test_installed_package_imports_and_finds_its_tables(tmp_path):
    cmake = os.environ.get("SWNT_CMAKE")
    build = os.environ.get("SWNT_BUILD_DIR")
    site = os.environ.get("SWNT_PYTHON_INSTALL_DIR")
    if not (cmake and build and site):
        pytest.skip("run through CTest, which names the build tree")
    prefix = tmp_path / "prefix"
    env = {k: v for k, v in os.environ.items() if k not in ("DESTDIR", "PYTHONPATH")}
    result = subprocess.run([cmake, "--install", build, "--component", "python", "--prefix", str(prefix)],
                            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    assert result.returncode == 0, result.stdout.decode()
    package = prefix / site / "swnt"
    assert sorted(os.listdir(package / "tables")) == ["optbre.dat", "opttb.dat"]
    assert (package / "__init__.pyi").exists() and (package / "py.typed").exists()
    script = ("import swnt, os; t = swnt.tube(10, 10, cells=2, lattice='rebo'); "
              "print(os.path.dirname(swnt.__file__)); print(t.info['table'])")
    result = subprocess.run([sys.executable, "-c", script], cwd=tmp_path, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, env=dict(env, PYTHONPATH=str(prefix / site)),
                            check=False)
    output = result.stdout.decode().splitlines()
    assert result.returncode == 0, output
    assert output == [str(package), str(package / "tables" / "optbre.dat")]
