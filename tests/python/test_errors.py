"""(4) Bad input raises clear exceptions and never crashes: swnt.Error (a
ValueError) with the programs' own messages, swnt.FileError (an OSError) for
files, TypeError for arguments of the wrong type; warnings go through
Python's warnings module, also where the filters make them errors."""
import math
import os
import warnings

import numpy as np
import pytest

import swnt
from conftest import error_line


def test_exception_classes():
    assert issubclass(swnt.Error, ValueError)
    assert issubclass(swnt.FileError, OSError)
    assert issubclass(swnt.SwntWarning, UserWarning)


@pytest.mark.parametrize("n,m", [(0, 0), (5, 6), (0, -3), (1 << 21, 1)])
def test_chirality_errors_are_wrappings(programs, n, m):
    status, printed = programs.wrapping(n, m, "-w", -1)
    assert status == 1
    with pytest.raises(swnt.Error) as caught:
        swnt.tube(n, m)
    assert str(caught.value) == error_line(printed) == f"incorrect chirality=({n},{m})."


def test_table_errors_are_wrappings(programs):
    status, printed = programs.wrapping(10, 10, "-g", "missing.dat", "-w", -1)
    with pytest.raises(swnt.FileError) as caught:
        swnt.tube(10, 10, lattice=programs.directory / "missing.dat")
    assert str(caught.value) == error_line(printed).replace(
        "missing.dat", str(programs.directory / "missing.dat"))
    status, printed = programs.wrapping(200, 1, "-b", "-w", -1)
    assert status == 1
    with pytest.raises(swnt.Error) as caught:
        swnt.tube(200, 1, lattice="rebo")
    assert str(caught.value) == error_line(printed)
    assert not isinstance(caught.value, OSError)


def test_too_long_is_wrappings(programs):
    status, printed = programs.wrapping(10, 10, "-u", 1e12, "-w", -1)
    status, printed = programs.wrapping(10, 10, "-u", 1e12)
    assert status == 1
    with pytest.raises(swnt.Error) as caught:
        swnt.tube(10, 10, cells=1e12)
    assert str(caught.value) == error_line(printed)


def test_topology_errors_are_topoconvs(programs):
    t = swnt.tube(10, 10, cells=1, bond=1.44)
    programs.wrapping(10, 10, "-u", 1, "-az", "-f", "t.dat")
    status, printed = programs.topoconv("--periodic", "z", "t.dat", "t.data")
    assert status == 1
    for call in (lambda: t.topology(), lambda: t.write(programs.directory / "t.data")):
        with pytest.raises(swnt.Error) as caught:
            call()
        assert str(caught.value) == error_line(printed)
        assert "not larger than twice the cut-off" in str(caught.value)
    assert not (programs.directory / "t.data").exists()


def test_output_errors_are_file_errors(programs, tmp_path_factory):
    tmp_path = tmp_path_factory.mktemp("out")
    t = swnt.tube(5, 5, cells=2)
    programs.wrapping(5, 5, "-u", 2, "-az", "-f", "t.dat")
    os.mkdir(tmp_path / "d.data")
    os.mkdir(programs.directory / "d.data")
    status, printed = programs.topoconv("--periodic", "z", "t.dat", "d.data")
    assert status == 1
    with pytest.raises(swnt.FileError) as caught:
        t.write(tmp_path / "d.data")
    assert str(caught.value) == error_line(printed).replace("d.data", str(tmp_path / "d.data"))
    for name in ("no/such/dir/t.dat", "no/such/dir/t.pdb", "no/such/dir/t.pv"):
        with pytest.raises(swnt.FileError, match="cannot write file"):
            t.write(tmp_path / name)
    assert os.listdir(tmp_path) == ["d.data"]


BAD_CALLS = [
    (TypeError, lambda: swnt.tube("10", 10)),
    (TypeError, lambda: swnt.tube(10.0, 10)),
    (TypeError, lambda: swnt.tube(1 << 40, 1)),
    (TypeError, lambda: swnt.tube(10, 10, cells="3")),
    (TypeError, lambda: swnt.tube(10, 10, lattice=5)),
    (TypeError, lambda: swnt.tube(10, 10, axis=2)),
    (TypeError, lambda: swnt.tube(10, 10, shift=(1, 2))),
    (TypeError, lambda: swnt.tube(10, 10, 3)),
    (TypeError, lambda: swnt.tube(10, 10, nonsense=1)),
    (ValueError, lambda: swnt.tube(10, 10, axis="w")),
    (ValueError, lambda: swnt.tube(10, 10, cells=-1)),
    (ValueError, lambda: swnt.tube(10, 10, cells=0)),
    (ValueError, lambda: swnt.tube(10, 10, cells=math.nan)),
    (ValueError, lambda: swnt.tube(10, 10, length=math.inf)),
    (ValueError, lambda: swnt.tube(10, 10, cells=2, length=5.0)),
    (ValueError, lambda: swnt.tube(10, 10, bond=0)),
    (ValueError, lambda: swnt.tube(10, 10, bond=-1.4)),
    (ValueError, lambda: swnt.tube(10, 10, bond=1.44, lattice="rebo")),
    (ValueError, lambda: swnt.tube(10, 10, length=25.0, periodic=True)),
    (ValueError, lambda: swnt.tube(10, 10, diameter_scale=math.inf)),
    (ValueError, lambda: swnt.tube(10, 10, shift=(math.inf, 0, 0))),
    (ValueError, lambda: swnt.tube(100000, 99999)),
    (ValueError, lambda: swnt.rolling(8, 4, steps=-1)),
    (ValueError, lambda: swnt.rolling(8, 4, steps=2147483647)),
    (TypeError, lambda: swnt.from_ase(5)),
    (TypeError, lambda: swnt.from_ase(np.zeros((3, 3)))),
    (TypeError, lambda: swnt.Structure()),
]


@pytest.mark.parametrize("expected,call", BAD_CALLS, ids=[str(k) for k in range(len(BAD_CALLS))])
def test_bad_arguments_raise(expected, call):
    with pytest.raises(expected) as caught:
        call()
    assert str(caught.value)


def test_bad_write_and_topology_arguments_raise(tmp_path):
    t = swnt.tube(5, 5, cells=2)
    cases = [
        (ValueError, dict(path=tmp_path / "t.unknown"), "is not known from its name"),
        (ValueError, dict(path=tmp_path / "t.data", format="nope"), "unknown format"),
        (TypeError, dict(path=tmp_path / "t.data", format=3), "format"),
        (TypeError, dict(path=3.5), "path"),
        (ValueError, dict(path=tmp_path / "t.dat", cutoff=2.0), "belong to the formats with a topology"),
        (ValueError, dict(path=tmp_path / "t.pv", periodic="z"), "belong to the formats with a topology"),
        (ValueError, dict(path=tmp_path / "t.pv", forcefield="default"), r"\(lammps, .*, psf\), not to pv"),
        (ValueError, dict(path=tmp_path / "t.dat", terms=False), "belong to the formats with a topology"),
        (swnt.FileError, dict(path=tmp_path / "t.data", forcefield=tmp_path / "none.ff"), "unknown force field"),
        (TypeError, dict(path=tmp_path / "t.data", forcefield=2), "forcefield"),
        (ValueError, dict(path=tmp_path / "t.data", style="bogus"), "unknown style"),
        (TypeError, dict(path=tmp_path / "t.data", style=1), "style"),
        (ValueError, dict(path=tmp_path / "t.data", ch=1.1), "hydrogenate=True"),
        (ValueError, dict(path=tmp_path / "t.data", cutoff=-1.0), "invalid cut-off"),
        (ValueError, dict(path=tmp_path / "t.data", cutoff=math.nan), "invalid cut-off"),
        (ValueError, dict(path=tmp_path / "t.data", cutoff=100.0, periodic="none"), "neighbours"),
        (ValueError, dict(path=tmp_path / "t.data", periodic="q"), "unknown periodic axes"),
        (ValueError, dict(path=tmp_path / "t.data", periodic="zz"), "unknown periodic axes"),
        (ValueError, dict(path=tmp_path / "t.data", periodic=[True, False]), "three booleans"),
        (TypeError, dict(path=tmp_path / "t.data", periodic=5), "periodic"),
        (TypeError, dict(path=tmp_path / "t.data", source=5), "source"),
    ]
    for expected, kwargs, text in cases:
        with pytest.raises(expected, match=text):
            t.write(**kwargs)
    with pytest.raises(ValueError, match="hydrogenate=True"):
        t.topology(ch=1.2)
    with pytest.raises(ValueError, match="invalid cut-off"):
        t.topology(cutoff=0.0)
    with pytest.raises(TypeError):
        t.topology(1.8)
    assert os.listdir(tmp_path) == []


def test_bad_ase_structures_raise(ase):
    from ase import Atoms
    with pytest.raises(swnt.Error, match="atom 2 is Si: swnt takes carbon and hydrogen"):
        swnt.from_ase(Atoms("CSi", positions=[(0, 0, 0), (1.5, 0, 0)]))
    with pytest.raises(swnt.Error, match="not orthogonal"):
        swnt.from_ase(Atoms("C", cell=[[5, 0, 0], [1, 5, 0], [0, 0, 5]]))
    with pytest.raises(swnt.Error, match="not a finite number"):
        swnt.from_ase(Atoms("C2", positions=[(0, 0, 0), (math.nan, 0, 0)]))
    with pytest.raises(swnt.Error, match="length along x is -5"):
        swnt.from_ase(Atoms("C", cell=[-5, 5, 5]))
    # Hydrogen as a topology takes it: one bond, to a carbon.
    methane = swnt.from_ase(Atoms("CH4", positions=[(0, 0, 0), (0.63, 0.63, 0.63), (-0.63, -0.63, 0.63),
                                                  (-0.63, 0.63, -0.63), (0.63, -0.63, -0.63)]))
    with pytest.raises(swnt.Error, match="a carbon carries one hydrogen at most"):
        methane.topology()
    h2 = swnt.from_ase(Atoms("H2", positions=[(0, 0, 0), (0.74, 0, 0)]))
    with pytest.raises(swnt.Error, match="a hydrogen bonds to one carbon"):
        h2.topology()
    with pytest.raises(swnt.Error, match="hold hydrogen already"):
        h2.topology(trim=True)
    # A periodic axis of length 0 is topoconv's period error.
    with pytest.raises(swnt.Error, match="not larger than twice the cut-off"):
        swnt.from_ase(Atoms("C", pbc=True)).topology()


def test_warnings_as_errors_raise_and_nothing_is_written(tmp_path):
    t = swnt.tube(8, 4, length=25.0)
    with warnings.catch_warnings():
        warnings.simplefilter("error", swnt.SwntWarning)
        with pytest.raises(swnt.SwntWarning, match="atoms with fewer than two bonds removed"):
            t.topology(trim=True)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        top = t.topology(hydrogenate=True)
    assert len(caught) == 1 and caught[0].category is swnt.SwntWarning
    assert str(caught[0].message).startswith("atoms with fewer than two bonds removed: ")
    assert str(caught[0].message).endswith(".")
    assert "H" in top.species
