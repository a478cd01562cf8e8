"""(1) The files of swnt are those of the programs, byte for byte: the
trajectory of wrapping, its pv, XMOL and TINKER conversions, and topoconv's
LAMMPS, extended XYZ and PDB files of that trajectory; the positions those of
wrapping's file within its rounding, in the same order; the warnings and
errors topoconv prints."""
import os
import warnings

import numpy as np
import pytest

import swnt
from conftest import error_line, warning_lines

SOURCE = os.environ.get("SWNT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def read_trajectory(data):
    numbers = data.split()
    atoms, scenes = int(numbers[1]), int(numbers[2])
    box = np.array([float(x) for x in numbers[3:6]])
    positions = np.array([float(x) for x in numbers[8:]]).reshape(scenes, atoms, 3)
    return box, positions


# Tubes: swnt.tube() keyword arguments and the wrapping arguments of the same tube.
TUBES = {
    "periodic": ((10, 10), dict(cells=3, bond=1.44), ["-u", 3, "-az"]),
    "open": ((8, 4), dict(length=25.0, bond=1.44), ["-l", 25, "-az"]),
    "zigzag": ((10, 0), dict(length=20.0, lattice="rebo"), ["-l", 20, "-az", "-b"]),
    "rebo": ((10, 10), dict(cells=10, lattice="rebo"), ["-u", 10, "-az", "-b"]),
    "tb": ((8, 4), dict(cells=1, lattice="tb"), ["-u", 1, "-az", "-t"]),
    # wrapping takes a token beginning with '/' for an option: the table is
    # copied beside it and named relatively.
    "table file": ((8, 4), dict(cells=2, lattice="TABLE"), ["-u", 2, "-az", "-g", "strained.dat"]),
    "default length, axis x": ((10, 5), dict(bond=1.44, axis="x"), []),
    "axis y, from the origin, shifted, scaled": (
        (6, 5), dict(cells=2.5, bond=1.44, axis="y", centred=False, shift=(1.5, -2.0, 0.25),
                     axial_scale=1.1, diameter_scale=0.9),
        ["-u", 2.5, "-ay", "-zc", "-sx", 1.5, "-sy", -2.0, "-sz", 0.25, "-ra", 1.1, "-rd", 0.9]),
    "ideal bond 1.42": ((7, 7), dict(cells=4), ["-u", 4, "-az", "-c", 1.42]),
}


def make(name, directory):
    (n, m), kwargs, args = TUBES[name]
    if kwargs.get("lattice") == "TABLE":
        table = directory / "strained.dat"
        table.write_bytes(open(os.path.join(SOURCE, "examples", "strained_lattice.dat"), "rb").read())
        kwargs = dict(kwargs, lattice=table)
    return swnt.tube(n, m, **kwargs), [n, m, *args]


@pytest.mark.parametrize("name", sorted(TUBES))
def test_trajectory_and_positions_are_wrappings(programs, name):
    t, args = make(name, programs.directory)
    assert programs.wrapping(*args, "-f", "w.dat")[0] == 0
    t.write(programs.directory / "t.dat")
    assert programs.read("t.dat") == programs.read("w.dat")
    box, positions = read_trajectory(programs.read("w.dat"))
    assert positions.shape == (1, len(t), 3)
    # The file rounds to 6 decimals; the structure holds the doubles.
    assert np.abs(t.positions - positions[0]).max() <= 5e-7
    assert np.abs(np.diag(t.cell) - box).max() <= 5e-7


# Conversions with topoconv: the tube, topoconv's options, write()'s keyword arguments.
CONVERSIONS = [
    ("periodic", "t.data", [], {}),
    ("periodic", "t.lmp", ["--style", "molecular"], dict(style="molecular")),
    ("periodic", "t.data", ["--style", "atomic"], dict(style="atomic")),
    ("periodic", "t.extxyz", [], {}),
    ("periodic", "t.xyz", [], {}),
    ("periodic", "t.pdb", [], {}),
    ("periodic", "t.data", ["--cutoff", 1.6], dict(cutoff=1.6)),
    ("open", "t.data", [], {}),
    ("open", "t.pdb", [], {}),
    ("open", "t.extxyz", ["--trim"], dict(trim=True)),
    ("open", "t.pdb", ["--hydrogenate"], dict(hydrogenate=True)),
    ("open", "t.data", ["--hydrogenate", "--ch", 1.1], dict(hydrogenate=True, ch=1.1)),
    ("open", "t.extxyz", ["--hydrogenate"], dict(hydrogenate=True)),
    ("zigzag", "t.data", ["--hydrogenate", "--style", "atomic"], dict(hydrogenate=True, style="atomic")),
    ("rebo", "t.data", ["--style", "atomic"], dict(style="atomic")),
    ("rebo", "t.pdb", [], {}),
    ("tb", "t.extxyz", [], {}),
    ("table file", "t.data", [], {}),
    ("default length, axis x", "t.extxyz", [], {}),
    ("ideal bond 1.42", "t.data", ["--periodic", "xz"], dict(periodic="xz")),
    ("axis y, from the origin, shifted, scaled", "t.pdb", ["--periodic", "none"], {}),
    ("periodic", "t.out", ["--format", "pdb"], dict(format="pdb")),
    ("periodic", "t.top", [], {}),
    ("open", "t", ["--hydrogenate", "--format", "gromacs"], dict(hydrogenate=True, format="gromacs")),
    ("periodic", "t.psf", [], {}),
    ("periodic", "t.data", ["--forcefield", "default"], dict(forcefield="default")),
    ("periodic", "t.data", ["--style", "molecular", "--terms", "none"], dict(style="molecular", terms=False)),
    ("open", "t.top", ["--hydrogenate", "--forcefield", "FORCEFIELD"], dict(hydrogenate=True, forcefield="FORCEFIELD")),
]
# The files of one output, by its format: GROMACS's topology and coordinates,
# the psf with its parameters, coordinates and PDB.
COMPANIONS = {"gromacs": [".top", ".gro"], "psf": [".psf", ".prm", ".crd", ".pdb"]}
FORMAT_OF = {".top": "gromacs", ".psf": "psf"}


@pytest.mark.parametrize("name,output,options,kwargs", CONVERSIONS,
                         ids=[f"{c[0]} {c[1]} {' '.join(map(str, c[2]))}" for c in CONVERSIONS])
def test_topology_formats_are_topoconvs(programs, name, output, options, kwargs):
    t, args = make(name, programs.directory)
    assert programs.wrapping(*args, "-f", "t.dat")[0] == 0
    # A parameter file of the user's, named alike in both runs.
    forcefield = programs.directory / "mine.ff"
    forcefield.write_bytes(open(os.path.join(SOURCE, "examples", "opls-aa.ff"), "rb").read())
    options = [str(forcefield) if o == "FORCEFIELD" else o for o in options]
    kwargs = {k: forcefield if v == "FORCEFIELD" else v for k, v in kwargs.items()}
    periodic = ["--periodic", "z"] if t.pbc[2] and "periodic" not in kwargs else []
    status, printed = programs.topoconv(*periodic, *options, "t.dat", "w_" + output)
    assert status == 0, printed
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        t.write(programs.directory / output, source="t.dat", **kwargs)
    stem, extension = os.path.splitext(output)
    suffixes = COMPANIONS.get(kwargs.get("format") or FORMAT_OF.get(extension), [extension])
    for name in [stem + suffix for suffix in suffixes]:
        assert programs.read(name) == programs.read("w_" + name)
    assert [str(w.message) for w in caught] == warning_lines(printed)
    assert all(w.category is swnt.SwntWarning for w in caught)


@pytest.mark.parametrize("form,option,outputs", [
    ("pv", "-p", ["t.pv"]),
    ("xmol", "-xx", ["t001.xyz"]),
    ("tinker", "-xt", ["t001.xyz"]),
])
@pytest.mark.parametrize("name", ["periodic", "axis y, from the origin, shifted, scaled"])
def test_scene_formats_are_wrappings(programs, tmp_path_factory, name, form, option, outputs):
    t, args = make(name, programs.directory)
    mine = tmp_path_factory.mktemp("mine")
    status, printed = programs.wrapping(*args, option, "-f", "t." + ("pv" if form == "pv" else "xyz"))
    assert status == 0, printed
    t.write(mine / ("t." + ("pv" if form == "pv" else "xyz")), format=form)
    for output in outputs:
        assert (mine / output).read_bytes() == programs.read(output)
    assert sorted(os.listdir(mine)) == outputs


def test_default_source_names_the_tube(tmp_path):
    t = swnt.tube(5, 5, cells=2)
    t.write(tmp_path / "t.data")
    first = (tmp_path / "t.data").read_text().splitlines()[0]
    assert first == ("LAMMPS data file written by topoconv from (5,5) SWNT, scene 1 of 1, "
                     "periodic axes: z")


def test_rolling_is_wrappings_animation(programs):
    frames = swnt.rolling(8, 4, steps=20, cells=1, bond=1.44)
    assert programs.wrapping(8, 4, "-u", 1, "-az", "-w", 20, "-f", "w.dat")[0] == 0
    _, positions = read_trajectory(programs.read("w.dat"))
    assert frames.shape == positions.shape == (21, 112, 3)
    assert np.abs(frames - positions).max() <= 5e-7
    # The last scene is the closed tube.
    assert np.array_equal(frames[-1], swnt.tube(8, 4, cells=1, bond=1.44).positions)


def test_structure_report_is_wrappings(programs):
    t = swnt.tube(10, 5, lattice="rebo")
    status, printed = programs.wrapping(10, 5, "-b", "-d", "-w", -1)
    assert status == 0
    assert t.info["report"] == printed
    assert t.info["atoms_per_cell"] == 140
    assert t.info["n"] == 10 and t.info["m"] == 5


def test_hydrogen_structures_write_their_species(tmp_path):
    # A terminated tube read back from extended XYZ, then written again:
    # hydrogen stays hydrogen, with topoconv's term types.
    t = swnt.tube(8, 4, length=25.0, bond=1.44)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", swnt.SwntWarning)
        ends = t.topology(hydrogenate=True)
        t.write(tmp_path / "ends.data", hydrogenate=True, source="x")
    again = swnt.from_ase(ends.to_ase())
    assert "H" in again.species
    again.write(tmp_path / "again.data", source="x")
    first = (tmp_path / "ends.data").read_text().splitlines()
    second = (tmp_path / "again.data").read_text().splitlines()
    # The same counts and types; the positions went through 6 decimals.
    assert first[2:14] == second[2:14]
    with pytest.raises(swnt.Error, match="holds no species"):
        again.write(tmp_path / "again.dat")
