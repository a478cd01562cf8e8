#!/usr/bin/python3
"""Independent programs read the files our tools write.

Each check builds a set of files with the programs under test (wrapping,
xyzframes, linkframes, scenejoin) in a fresh temporary directory, reads them
with a tool from Debian's packages and compares what the tool read with the
trajectory the files were made from:

  tinker-mdanalysis  MDAnalysis (format TXYZ) reads every TINKER XYZ file with
                     the same atoms, coordinates and exactly the bonds of our
                     neighbour lists, which are the pairs closer than 1.8 A.
  tinker-openbabel   OpenBabel agrees on atoms, bonds and coordinates.
  xmol-mdanalysis    MDAnalysis (format XYZ) reads every XMOL XYZ file with the
  xmol-openbabel     same coordinates; so do OpenBabel
  xmol-ase           and ASE.
  geometry-ase       ASE's own nanotube builder agrees on atoms per cell,
                     diameter, cell length, distances from the axis and
                     nearest-neighbour distances.

Exit status 0 when the check passes, 1 when it fails, 77 when its tool is
missing (a failure instead when SWNT_INTEROP_REQUIRED=1 is set).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import warnings
import xml.etree.ElementTree as ET
from pathlib import Path

SKIPPED = 77
BOND_CUTOFF = 1.8
# The XYZ files carry six decimals: a coordinate read back from one lies
# within half a unit of the last decimal of the trajectory's value.
PRINT_TOLERANCE = 5e-7 + 1e-12


class CheckFailed(Exception):
    pass


def skip(reason):
    if os.environ.get("SWNT_INTEROP_REQUIRED") == "1":
        print(f"FAILED: {reason} (required: SWNT_INTEROP_REQUIRED=1)")
        sys.exit(1)
    print(f"SKIPPED: {reason}")
    sys.exit(SKIPPED)


def require_module(name, package):
    try:
        return __import__(name)
    except ImportError:
        skip(f"Python module {name} not found (Debian package {package})")


def run(command, cwd):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, check=False)
    if result.returncode != 0:
        raise CheckFailed(f"{' '.join(map(str, command))} ended with status "
                          f"{result.returncode}:\n{result.stdout}")
    return result.stdout


# --- Our files, read here independently of the programs' own readers -------

def read_trajectory(path):
    """The scenes of a trajectory file as (nmol, 3) arrays of float64."""
    import numpy as np
    tokens = Path(path).read_text().split()
    nmol, ndat = int(tokens[1]), int(tokens[2])
    values = np.array([float(t) for t in tokens[8:8 + 3 * nmol * ndat]], dtype=np.float64)
    if values.size != 3 * nmol * ndat:
        raise CheckFailed(f"{path}: fewer coordinates than its header announces")
    return [values[3 * nmol * s:3 * nmol * (s + 1)].reshape(nmol, 3) for s in range(ndat)]


def close_pairs(xyz):
    """All pairs i < j closer than the cut-off, distances computed in double
    precision as x, y, z differences squared and summed in that order."""
    import numpy as np
    from scipy.spatial import cKDTree
    candidates = cKDTree(xyz).query_pairs(BOND_CUTOFF + 1e-6, output_type="ndarray")
    if len(candidates) == 0:
        return set()
    d = xyz[candidates[:, 0]] - xyz[candidates[:, 1]]
    distance = np.sqrt(d[:, 0] * d[:, 0] + d[:, 1] * d[:, 1] + d[:, 2] * d[:, 2])
    keep = candidates[distance < BOND_CUTOFF]
    return {(int(i), int(j)) for i, j in keep}


def tinker_neighbour_pairs(path):
    """The bonds that the neighbour lists of a TINKER XYZ file state, checking
    on the way that every bond stands in the lists of both its atoms."""
    lines = Path(path).read_text().splitlines()
    nmol = int(lines[0].split()[0])
    listed = set()
    for line in lines[1:1 + nmol]:
        fields = line.split()
        atom = int(fields[0]) - 1
        for other in fields[6:]:
            listed.add((atom, int(other) - 1))
    pairs = {(min(a, b), max(a, b)) for a, b in listed}
    one_sided = [p for p in pairs if (p[0], p[1]) not in listed or (p[1], p[0]) not in listed]
    if one_sided:
        raise CheckFailed(f"{path}: bond {one_sided[0]} stands in one neighbour list only")
    return pairs


# --- The files under test ------------------------------------------------------

# wrapping runs whose output is converted at once (-xt / -xx).
BUILDER_CASES = [
    ("armchair_open", ["10", "10"]),                       # 20 A, open ends
    ("zigzag_open", ["10", "0"]),
    ("chiral_rolling", ["8", "4", "-w", "4"]),             # flat sheet ... tube
    ("chiral_cell_box", ["6", "5", "-u", "1", "-az", "-zc", "-sx", "2", "-sy", "-3"]),
    ("armchair_long", ["10", "10", "-u", "260"]),          # 10400 atoms
]

# A hand-made trajectory: a bonded pair, an isolated atom, and coordinates
# wider than the columns of the XYZ layouts.
SPARSE_TRAJECTORY = """0 4 2
20.0 20.0 20.0
0.0 0.0
0.0 0.0 0.0
1.42 0.0 0.0
5.0 5.0 5.0
-1234.5678901 2000.25 -0.0000004
0.0 0.0 0.0
1.7999999 0.0 0.0
1.8 1.8 0.0
-9999.5 0.5 99999.25
"""


class Programs:
    def __init__(self, args):
        # Absolute paths: the programs run in directories of their own.
        self.wrapping = os.path.abspath(args.wrapping)
        self.xyzframes = os.path.abspath(args.xyzframes)
        self.linkframes = os.path.abspath(args.linkframes)
        self.scenejoin = os.path.abspath(args.scenejoin)
        self.data = Path(args.data).absolute()


def make_files(programs, work, form):
    """Writes the corpus of one XYZ form ("tinker" or "xmol") and returns a
    list of (xyz file, trajectory scene it was made from)."""
    wrapping_flag = "-xt" if form == "tinker" else "-xx"
    converter = programs.linkframes if form == "tinker" else programs.xyzframes
    files = []

    def collect(directory, base, scenes):
        for number, scene in enumerate(scenes, start=1):
            path = directory / f"{base}{number:03d}.xyz"
            if not path.exists():
                raise CheckFailed(f"{path} was not written")
            files.append((path, scene))

    for name, args in BUILDER_CASES:
        directory = work / name
        directory.mkdir()
        run([programs.wrapping, *args, "-f", "reference.dat"], directory)
        run([programs.wrapping, *args, wrapping_flag, "-f", "tube.xyz"], directory)
        collect(directory, "tube", read_trajectory(directory / "reference.dat"))

    # Converter runs: a double-walled tube in the joiner's layout, a CR LF
    # fixture, and the hand-made file.
    directory = work / "double_wall"
    directory.mkdir()
    run([programs.wrapping, "5", "5", "-u", "4", "-f", "dwnt.dat"], directory)
    run([programs.wrapping, "10", "10", "-u", "4", "-f", "outer.dat"], directory)
    run([programs.scenejoin, "dwnt.dat", "outer.dat"], directory)
    run([converter, "dwnt.dat", "dwnt.xyz"], directory)
    collect(directory, "dwnt", read_trajectory(directory / "dwnt.dat"))

    directory = work / "crlf_fixture"
    directory.mkdir()
    shutil.copy(programs.data / "xyz" / "tube_joiner_crlf.dat", directory / "crlf.dat")
    run([converter, "crlf.dat", "crlf.xyz"], directory)
    collect(directory, "crlf", read_trajectory(directory / "crlf.dat"))

    directory = work / "sparse"
    directory.mkdir()
    (directory / "sparse.dat").write_text(SPARSE_TRAJECTORY)
    run([converter, "sparse.dat", "sparse"], directory)
    collect(directory, "sparse", read_trajectory(directory / "sparse.dat"))
    return files


def compare_coordinates(path, tool, read, reference, relative=0.0):
    """`relative` allows for a tool that stores coordinates in single precision."""
    import numpy as np
    if read.shape != reference.shape:
        raise CheckFailed(f"{path}: {tool} read {len(read)} atoms, the trajectory has "
                          f"{len(reference)}")
    allowed = PRINT_TOLERANCE + relative * np.abs(reference)
    error = np.abs(read.astype(np.float64) - reference)
    worst = np.unravel_index(np.argmax(error - allowed), error.shape)
    if error[worst] > allowed[worst]:
        raise CheckFailed(f"{path}: {tool} read coordinate {read[worst]} for atom "
                          f"{worst[0] + 1}, the trajectory holds {reference[worst]}")


def compare_bonds(path, tool, read_pairs, reference_xyz, listed_pairs):
    expected = close_pairs(reference_xyz)
    if listed_pairs != expected:
        extra = sorted(listed_pairs - expected)[:3]
        missing = sorted(expected - listed_pairs)[:3]
        raise CheckFailed(f"{path}: neighbour lists differ from the pairs closer than "
                          f"{BOND_CUTOFF} A (listed only: {extra}, missing: {missing})")
    if read_pairs != expected:
        extra = sorted(read_pairs - expected)[:3]
        missing = sorted(expected - read_pairs)[:3]
        raise CheckFailed(f"{path}: {tool} read {len(read_pairs)} bonds, the file lists "
                          f"{len(expected)} (read only: {extra}, missing: {missing})")
    return len(expected)


# --- The checks ----------------------------------------------------------------

def quiet_mdanalysis():
    warnings.simplefilter("ignore")
    return require_module("MDAnalysis", "python3-mdanalysis")


def check_tinker_mdanalysis(programs, work):
    mda = quiet_mdanalysis()
    require_module("scipy", "python3-scipy")
    for path, scene in make_files(programs, work, "tinker"):
        universe = mda.Universe(str(path), format="TXYZ")
        if len(universe.atoms) != len(scene):
            raise CheckFailed(f"{path}: MDAnalysis read {len(universe.atoms)} atoms, "
                              f"the trajectory has {len(scene)}")
        if set(universe.atoms.names) - {"C"}:
            raise CheckFailed(f"{path}: MDAnalysis read atom names {set(universe.atoms.names)}")
        compare_coordinates(path, "MDAnalysis", universe.atoms.positions, scene,
                            relative=2.0 ** -23)
        read_pairs = {(int(min(a, b)), int(max(a, b))) for a, b in universe.bonds.indices}
        bonds = compare_bonds(path, "MDAnalysis", read_pairs, scene,
                              tinker_neighbour_pairs(path))
        print(f"ok {path.relative_to(work)}: {len(scene)} atoms, {bonds} bonds")


def find_obabel():
    obabel = "/usr/bin/obabel" if os.path.exists("/usr/bin/obabel") else shutil.which("obabel")
    if obabel is None:
        skip("obabel not found (Debian package openbabel)")
    return obabel


def obabel_convert(obabel, arguments, path):
    """Runs obabel, which exits with status 0 even when it read nothing: the
    conversion counts only when it reports one molecule converted."""
    result = subprocess.run([obabel, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, check=False)
    if result.returncode != 0 or not re.search(r"^1 molecule converted$", result.stderr, re.M):
        raise CheckFailed(f"{path}: obabel {' '.join(arguments)} did not convert one molecule:\n"
                          f"{result.stderr}")
    return result.stdout


def read_cml(text):
    """Elements, coordinates and bonds (0-based pairs) of a CML molecule."""
    import numpy as np
    root = ET.fromstring(text)
    ns = {"cml": "http://www.xml-cml.org/schema"}
    atoms = root.findall(".//cml:atom", ns)
    ids = {atom.get("id"): k for k, atom in enumerate(atoms)}
    elements = {atom.get("elementType") for atom in atoms}
    xyz = np.array([[float(atom.get(c)) for c in ("x3", "y3", "z3")] for atom in atoms],
                   dtype=np.float64).reshape(len(atoms), 3)
    bonds = set()
    for bond in root.findall(".//cml:bond", ns):
        a, b = (ids[ref] for ref in bond.get("atomRefs2").split())
        bonds.add((min(a, b), max(a, b)))
    return elements, xyz, bonds


# Above this size OpenBabel's per-molecule "atoms bonds" summary becomes slow;
# the CML conversion still reads such files whole.
OBABEL_SUMMARY_LIMIT = 5000


def check_tinker_openbabel(programs, work):
    obabel = find_obabel()
    require_module("numpy", "python3-numpy")
    require_module("scipy", "python3-scipy")
    for path, scene in make_files(programs, work, "tinker"):
        listed = tinker_neighbour_pairs(path)
        # "-as" takes every bond as single: OpenBabel then reads the file's
        # bonds without working out bond orders, which takes minutes on a
        # large all-carbon network and is beside the point here.
        if len(scene) <= OBABEL_SUMMARY_LIMIT:
            summary = obabel_convert(obabel, ["-itxyz", str(path), "-as", "-otxt",
                                              "--append", "atoms bonds"], path).split()
            atoms, bonds = int(summary[-2]), int(summary[-1])
            if (atoms, bonds) != (len(scene), len(listed)):
                raise CheckFailed(f"{path}: OpenBabel counts {atoms} atoms and {bonds} bonds, "
                                  f"the file has {len(scene)} and {len(listed)}")
        elements, xyz, read_pairs = read_cml(
            obabel_convert(obabel, ["-itxyz", str(path), "-as", "-ocml"], path))
        if scene.size and elements != {"C"}:
            raise CheckFailed(f"{path}: OpenBabel read elements {elements}")
        compare_coordinates(path, "OpenBabel", xyz, scene)
        count = compare_bonds(path, "OpenBabel", read_pairs, scene, listed)
        print(f"ok {path.relative_to(work)}: {len(scene)} atoms, {count} bonds")


def check_xmol_mdanalysis(programs, work):
    mda = quiet_mdanalysis()
    for path, scene in make_files(programs, work, "xmol"):
        universe = mda.Universe(str(path), format="XYZ")
        if universe.trajectory.n_frames != 1:
            raise CheckFailed(f"{path}: MDAnalysis read {universe.trajectory.n_frames} frames")
        if len(universe.atoms) and set(universe.atoms.names) != {"C"}:
            raise CheckFailed(f"{path}: MDAnalysis read atom names {set(universe.atoms.names)}")
        compare_coordinates(path, "MDAnalysis", universe.atoms.positions, scene,
                            relative=2.0 ** -23)
        print(f"ok {path.relative_to(work)}: {len(scene)} atoms")


def check_xmol_openbabel(programs, work):
    obabel = find_obabel()
    require_module("numpy", "python3-numpy")
    for path, scene in make_files(programs, work, "xmol"):
        # "-ab": no bond perception, which is not what is checked here and
        # takes minutes on a large all-carbon file.
        elements, xyz, _ = read_cml(
            obabel_convert(obabel, ["-ixyz", str(path), "-ab", "-ocml"], path))
        if scene.size and elements != {"C"}:
            raise CheckFailed(f"{path}: OpenBabel read elements {elements}")
        compare_coordinates(path, "OpenBabel", xyz, scene)
        print(f"ok {path.relative_to(work)}: {len(scene)} atoms")


def check_xmol_ase(programs, work):
    require_module("ase", "python3-ase")
    import ase.io
    for path, scene in make_files(programs, work, "xmol"):
        atoms = ase.io.read(str(path), format="xyz")
        if len(atoms) and set(atoms.get_chemical_symbols()) != {"C"}:
            raise CheckFailed(f"{path}: ASE read elements {set(atoms.get_chemical_symbols())}")
        compare_coordinates(path, "ASE", atoms.positions, scene)
        print(f"ok {path.relative_to(work)}: {len(scene)} atoms")


# Zigzag, armchair and chiral tubes, with the bond length of our default.
GEOMETRY_TUBES = [(9, 0), (10, 0), (17, 0), (5, 5), (10, 10), (8, 4), (6, 5), (7, 3), (12, 3),
                  (13, 6)]
BOND_LENGTH = 1.44
REPORT_TOLERANCE = 1e-6     # diameter and cell length
SHAPE_TOLERANCE = 1e-4      # distances from the axis, nearest-neighbour distances
CELLS = 3


def report_values(text):
    diameter = float(re.search(r" -- diameter:\s+([0-9.]+)\[AA\]", text).group(1))
    natom = int(re.search(r"number of atoms in SWNT unit cell: (\d+)", text).group(1))
    return diameter, natom


def nearest_distances(xyz, period):
    """Sorted distances of every atom to its three nearest neighbours, with
    the nearest periodic image along the last coordinate (the tube axis)."""
    import numpy as np
    from scipy.spatial import cKDTree
    # The tree's periodic box needs coordinates from 0 up: the cross-section
    # is moved into a box far wider than the tube, the axis wrapped.
    inside = np.column_stack([xyz[:, 0] + 1e3, xyz[:, 1] + 1e3, np.mod(xyz[:, 2], period)])
    inside[:, 2][inside[:, 2] >= period] = 0.0
    distance, _ = cKDTree(inside, boxsize=[1e6, 1e6, period]).query(inside, k=4)
    return np.sort(distance[:, 1:].ravel())


def check_geometry_ase(programs, work):
    np = require_module("numpy", "python3-numpy")
    require_module("scipy", "python3-scipy")
    require_module("ase", "python3-ase")
    from ase.build import nanotube
    for n, m in GEOMETRY_TUBES:
        tube = f"({n},{m})"
        report = run([programs.wrapping, str(n), str(m), "-d", "-w", "-1"], work)
        diameter, natom = report_values(report)

        run([programs.wrapping, str(n), str(m), "-u", "1", "-f", "cell.dat"], work)
        cell = read_trajectory(work / "cell.dat")[0]
        cell_length = float((work / "cell.dat").read_text().split()[3])

        reference = nanotube(n, m, length=1, bond=BOND_LENGTH)
        radius = np.hypot(reference.positions[:, 0], reference.positions[:, 1])
        checks = [
            ("atoms per cell", len(cell), len(reference), 0),
            ("atoms per cell in the report", natom, len(reference), 0),
            ("diameter", diameter, 2.0 * radius.mean(), REPORT_TOLERANCE),
            ("cell length", cell_length, reference.cell[2][2], REPORT_TOLERANCE),
        ]
        for what, ours, theirs, tolerance in checks:
            if abs(ours - theirs) > tolerance:
                raise CheckFailed(f"{tube}: {what} {ours}, ASE {theirs}")

        # A closed tube of whole length: periodic along its axis like ASE's.
        run([programs.wrapping, str(n), str(m), "-u", str(CELLS), "-f", "tube.dat"], work)
        ours = read_trajectory(work / "tube.dat")[0][:, [1, 2, 0]]   # axis x -> last
        ours_period = float((work / "tube.dat").read_text().split()[3])
        theirs = nanotube(n, m, length=CELLS, bond=BOND_LENGTH)
        shapes = [
            ("distances from the axis", np.sort(np.hypot(ours[:, 0], ours[:, 1])),
             np.sort(np.hypot(theirs.positions[:, 0], theirs.positions[:, 1]))),
            ("nearest-neighbour distances", nearest_distances(ours, ours_period),
             nearest_distances(theirs.positions.copy(), theirs.cell[2][2])),
        ]
        for what, a, b in shapes:
            if a.shape != b.shape:
                raise CheckFailed(f"{tube}: {len(a)} {what}, ASE {len(b)}")
            worst = np.max(np.abs(a - b))
            if worst > SHAPE_TOLERANCE:
                raise CheckFailed(f"{tube}: {what} differ by up to {worst:.3g} A")
        print(f"ok {tube}: {natom} atoms per cell, diameter {diameter:.6f}, "
              f"cell length {cell_length:.6f}")


CHECKS = {
    "tinker-mdanalysis": check_tinker_mdanalysis,
    "tinker-openbabel": check_tinker_openbabel,
    "xmol-mdanalysis": check_xmol_mdanalysis,
    "xmol-openbabel": check_xmol_openbabel,
    "xmol-ase": check_xmol_ase,
    "geometry-ase": check_geometry_ase,
}


def run_check(description, checks, options, context):
    """The command line of a check script: the check's name, then --OPTION
    PATH for each of `options`; runs the check in a fresh temporary directory
    with context(arguments)."""
    parser = argparse.ArgumentParser(description=description,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("check", choices=sorted(checks))
    for option, text in options.items():
        parser.add_argument(f"--{option}", required=True, help=text)
    args = parser.parse_args()
    require_module("numpy", "python3-numpy")
    with tempfile.TemporaryDirectory(prefix="swnt-interop-") as work:
        try:
            checks[args.check](context(args), Path(work))
        except CheckFailed as failure:
            print(f"FAILED: {failure}")
            return 1
    print(f"{args.check}: passed")
    return 0


def main():
    options = {program: f"path of {program}"
               for program in ("wrapping", "xyzframes", "linkframes", "scenejoin")}
    options["data"] = "the tests' fixture directory"
    return run_check(__doc__, CHECKS, options, Programs)


if __name__ == "__main__":
    sys.exit(main())
