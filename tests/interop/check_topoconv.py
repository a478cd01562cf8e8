#!/usr/bin/python3
"""Simulation engines and readers take the files of topoconv as we mean them.

  lammps-rebo    LAMMPS with pair_style rebo: periodic tubes of the REBO table
                 have forces below 1e-3 eV/A and the energy per atom the table
                 tool recorded; the ideal lattice has forces above 0.05 eV/A.
  lammps-full    LAMMPS atom_style full with harmonic terms reads the counts of
                 the reference topology and runs 100 NVE steps losing nothing.
  lammps-ends    LAMMPS with pair_style rebo minimizes hydrogen-terminated
                 (10,0) and (5,5) segments to its tolerance: no carbon moves
                 more than 0.3 A, every H stays within 1.2 A of its carbon.
  lammps-manybody  REBO gives a periodic (10,10) tube the same energy from the
                 file of --style atomic, of --style molecular --terms none and
                 of --style full under special_bonds lj/coul 1 1 1 and zero
                 bonded styles (the shipped inputs), and a wrong one without
                 that special_bonds; the walls of a double wall get the
                 energies of the tubes alone; the AIREBO and Tersoff inputs
                 run as shipped.
  lammps-forcefield  The coefficients that --forcefield writes give the
                 energies computed here from the parameter file (bonds,
                 angles, dihedrals, impropers, Lennard-Jones with the 1-4
                 scaling), for a hydrogen-terminated and a periodic tube, and
                 LAMMPS under mpirun -np 2 gives those of one process.
  ase-extxyz     ASE reads cell, pbc, positions and species (also of a
                 hydrogen-terminated tube); its neighbour list gives the
                 reference bonds.
  mdanalysis     MDAnalysis reads the reference terms from the LAMMPS file and
                 bonds from the PDB (larger PDB files: check_pdb.py).
  openbabel-pdb  OpenBabel reads the PDB with the reference bonds, and the
                 formula of a hydrogen-terminated tube.

The reference topology is computed here from the trajectory: the pairs closer
than 1.8 A directly or through a periodic image, and the terms they imply; so
are the reference ends of --hydrogenate (trimmed, then one H per carbon with
two bonds).
Exit status 0, 1 or 77 as for check_interop.py.
"""

import itertools
import json
import re
import shutil
import sys
from pathlib import Path

import xml.etree.ElementTree as ET

from check_interop import (CheckFailed, find_obabel, obabel_convert, quiet_mdanalysis,
                           read_trajectory, require_module, run, run_check, skip)

CUTOFF = 1.8
CML = "{http://www.xml-cml.org/schema}"
# (wrapping arguments, periodic axes); the tubes lie along z.  "double" is a
# (5,5) tube inside a (10,10) one, joined.
TUBES = {
    "armchair": (["10", "10", "-u", "10", "-az"], "z"),
    "zigzag": (["10", "0", "-u", "3", "-az", "-zc"], "z"),
    "chiral": (["8", "4", "-u", "1", "-az"], "z"),
    "negative_m": (["7", "-2", "-u", "2", "-az"], "z"),
    "open": (["8", "4", "-l", "30", "-az"], "none"),
    "double": (None, "z"),
    "largest": (["10", "10", "-u", "2499", "-az", "-zc"], "z"),
    "ends": (["8", "4", "-l", "30", "-az"], "none"),
}
ENDS = {"ends"}   # converted with --hydrogenate
C_H = 1.09


class Tools:
    def __init__(self, args):
        self.wrapping, self.topoconv, self.scenejoin = (
            str(Path(p).absolute()) for p in (args.wrapping, args.topoconv, args.scenejoin))
        self.source = Path(args.source).absolute()


def make(tools, work, name, *suffixes):
    """Builds tube `name` into work/name.dat and converts it to name.SUFFIX for
    each suffix; returns the trajectory scene, the header box and the
    periodic axes."""
    periodic = TUBES[name][1]
    if name == "double":
        run([tools.wrapping, "5", "5", "-u", "10", "-az", "-f", "double.dat"], work)
        run([tools.wrapping, "10", "10", "-u", "10", "-az", "-f", "outer.dat"], work)
        run([tools.scenejoin, "double.dat", "outer.dat"], work)
    else:
        run([tools.wrapping, *TUBES[name][0], "-f", f"{name}.dat"], work)
    ends = ["--hydrogenate"] if name in ENDS else []
    for suffix in suffixes:
        run([tools.topoconv, *ends, "--periodic", periodic, f"{name}.dat", f"{name}{suffix}"], work)
    import numpy as np
    box = np.array([float(v) for v in (work / f"{name}.dat").read_text().split()[3:6]])
    return read_trajectory(work / f"{name}.dat")[-1], box, periodic


def reference_topology(xyz, box, periodic):
    """Bonds, angles, dihedrals and impropers as sets of atom tuples from 0,
    each in one canonical direction."""
    import numpy as np
    from scipy.spatial import cKDTree
    tree = cKDTree(xyz)
    steps = [(-1, 0, 1) if axis in periodic else (0,) for axis in "xyz"]
    bonds = set()
    for shift in itertools.product(*steps):
        pairs = cKDTree(xyz + np.array(shift) * box).sparse_distance_matrix(
            tree, CUTOFF, output_type="ndarray")
        bonds |= {(min(i, j), max(i, j)) for i, j, d in pairs.tolist() if d < CUTOFF and i != j}
    partners = {}
    for i, j in bonds:
        partners.setdefault(i, set()).add(j)
        partners.setdefault(j, set()).add(i)
    angles = {(i, j, k) for j, p in partners.items() for i, k in itertools.combinations(sorted(p), 2)}
    dihedrals = {min((i, j, k, l), (l, k, j, i)) for j, k in bonds for i in partners[j] - {k}
                 for l in partners[k] - {j} if i != l}
    impropers = {tuple(sorted((c, *p))) for c, p in partners.items() if len(p) == 3}
    return bonds, angles, dihedrals, impropers


def terminated(xyz):
    """The reference ends of an open tube: the atoms with fewer than two bonds
    removed until none is left, then a hydrogen C_H from every carbon with two
    bonds, along minus the sum of their unit vectors.  Returns the positions,
    carbons first, and the species."""
    import numpy as np
    while True:
        bonds = reference_topology(xyz, np.zeros(3), "none")[0]
        degree = np.bincount(np.array(sorted(bonds)).ravel(), minlength=len(xyz))
        if degree.min() >= 2:
            break
        xyz = xyz[degree >= 2]
    hydrogens = []
    for c in range(len(xyz)):
        if degree[c] == 2:
            units = [(xyz[j] - xyz[c]) / np.linalg.norm(xyz[j] - xyz[c])
                     for j in {a for bond in bonds if c in bond for a in bond} - {c}]
            hydrogens.append(xyz[c] - C_H * sum(units) / np.linalg.norm(sum(units)))
    return np.vstack([xyz, *hydrogens]), ["C"] * len(xyz) + ["H"] * len(hydrogens)


def expect(what, ours, theirs):
    if ours == theirs:
        return
    if isinstance(ours, set):
        raise CheckFailed(f"{what}: {len(theirs)} where {len(ours)} were expected (only read: "
                          f"{sorted(theirs - ours)[:3]}, missing: {sorted(ours - theirs)[:3]})")
    raise CheckFailed(f"{what}: {theirs} where {ours} was expected")


def lammps(work, script, *variables):
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    log = run([lmp, "-log", "none", *variables, "-in", script], work)
    if "ERROR" in log:
        raise CheckFailed(f"lmp -in {script} failed:\n{log[-3000:]}")
    return log


def check_lammps_rebo(tools, work):
    if not Path("/usr/share/lammps/potentials/CH.rebo").exists():
        skip("CH.rebo not found (Debian package lammps-data)")
    recorded = {(r["n"], r["m"]): r["energy"] for r in map(
        json.loads, (tools.source / "tables" / "optbre_results.jsonl").read_text().splitlines())}
    shutil.copy(tools.source / "examples" / "rebo_tube.lmp", work)
    for n, m, lattice, cells in [(10, 10, "-b", 10), (8, 4, "-b", 1), (10, 10, "-c 1.42", 10)]:
        run([tools.wrapping, str(n), str(m), "-u", str(cells), "-az", *lattice.split(), "-f",
             "tube.dat"], work)
        run([tools.topoconv, "--periodic", "z", "--style", "atomic", "tube.dat", "tube.data"], work)
        energy, force = map(float, re.search(r"energy per atom (\S+) eV, largest force (\S+) ",
                                             lammps(work, "rebo_tube.lmp")).groups())
        tube = f"({n},{m}) {lattice}"
        if lattice == "-b" and (force >= 1e-3 or abs(energy - recorded[(n, m)]) >= 1e-5):
            raise CheckFailed(f"{tube}: largest force {force:.3g} eV/A, energy per atom "
                              f"{energy:.8f} eV, the table {recorded[(n, m)]:.8f}")
        if lattice != "-b" and force <= 0.05:
            raise CheckFailed(f"{tube}: largest force {force:.3g} eV/A on the ideal lattice")
        table = f" (table {recorded[(n, m)]:.8f})" if lattice == "-b" else ""
        print(f"ok {tube}: {energy:.8f} eV per atom{table}, largest force {force:.3g} eV/A")


def check_lammps_full(tools, work):
    shutil.copy(tools.source / "examples" / "harmonic_tube.lmp", work)
    for name, molecules in [("armchair", 1), ("chiral", 1), ("open", 1), ("double", 2), ("ends", 1)]:
        xyz, box, periodic = make(tools, work, name, ".data")
        xyz = terminated(xyz)[0] if name in ENDS else xyz
        terms = [len(t) for t in reference_topology(xyz, box, periodic)]
        log = lammps(work, "harmonic_tube.lmp", "-var", "data", f"{name}.data", "-var",
                     "zboundary", "p" if periodic == "z" else "s")
        read = [int(re.search(rf"^\s+(\d+) {kind}$", log, re.M).group(1))
                for kind in ("atoms", "bonds", "angles", "dihedrals", "impropers")]
        expect(f"{name}: LAMMPS counts of atoms, bonds, angles, dihedrals, impropers",
               [len(xyz), *terms], read)
        if periodic != "none":
            expect(f"{name}: terms of a periodic tube", [3 * len(xyz) // 2, 3 * len(xyz),
                                                         6 * len(xyz), len(xyz)], terms)
        atoms = (work / f"{name}.data").read_text().split("Atoms # full\n\n")[1].split("\n\n")[0]
        expect(f"{name}: molecules", molecules, len({line.split()[1] for line in atoms.splitlines()}))
        if f"with {len(xyz)} atoms" not in log or re.search(r"[Mm]issing bond|Lost", log):
            raise CheckFailed(f"{name}: the run lost atoms or bonds:\n{log[-2000:]}")
        print(f"ok {name}: {len(xyz)} atoms, {molecules} molecules, terms {terms}")


def lammps_atoms(text, section):
    """Rows type, x, y, z in the order of the atom ids, from a data file's
    Atoms section or a dump."""
    import numpy as np
    rows = sorted(map(str.split, text.split(section)[1].strip().split("\n\n")[0].splitlines()),
                  key=lambda row: int(row[0]))
    return np.array([[float(v) for v in row[1:5]] for row in rows])


def check_lammps_ends(tools, work):
    np = require_module("numpy", "python3-numpy")
    if not Path("/usr/share/lammps/potentials/CH.rebo").exists():
        skip("CH.rebo not found (Debian package lammps-data)")
    shutil.copy(tools.source / "examples" / "rebo_ends.lmp", work)
    largest = r"largest force before minimizing (\S+) "
    for n, m in [(10, 0), (5, 5)]:
        run([tools.wrapping, str(n), str(m), "-l", "20", "-az", "-b", "-f", "tube.dat"], work)
        run([tools.topoconv, "--style", "atomic", "tube.dat", "plain.data"], work)
        untreated = float(re.search(largest, lammps(work, "rebo_ends.lmp", "-var", "data",
                                                    "plain.data", "-var", "elements", "C")).group(1))
        run([tools.topoconv, "--hydrogenate", "--style", "atomic", "tube.dat", "tube.data"], work)
        log = lammps(work, "rebo_ends.lmp")
        criterion = re.search(r"Stopping criterion = (.*)", log).group(1).strip()
        before = lammps_atoms((work / "tube.data").read_text(), "Atoms # atomic\n")
        after = lammps_atoms((work / "relaxed.dump").read_text(), "ITEM: ATOMS id type x y z\n")
        c, h = before[:, 0] == 1, before[:, 0] == 2
        moved = np.linalg.norm(after[c, 1:] - before[c, 1:], axis=1).max()
        # The carbon of a hydrogen: the nearest one before minimizing.
        own = np.linalg.norm(before[h, None, 1:] - before[None, c, 1:], axis=2).argmin(axis=1)
        stretched = np.linalg.norm(after[h, 1:] - after[c][own, 1:], axis=1).max()
        tube = f"({n},{m})"
        if criterion not in ("energy tolerance", "force tolerance") or moved > 0.3 or stretched > 1.2:
            raise CheckFailed(f"{tube}: minimization stopped on {criterion}, carbons moved up to "
                              f"{moved:.3f} A, C-H up to {stretched:.3f} A")
        print(f"ok {tube}: largest force {float(re.search(largest, log).group(1)):.3g} eV/A "
              f"before minimizing ({untreated:.3g} untreated), stopped on {criterion}, "
              f"carbons moved up to {moved:.3f} A, C-H up to {stretched:.3f} A")


def energy_of(log, pattern):
    match = re.search(pattern, log)
    if match is None:
        raise CheckFailed(f"no line matching {pattern!r} in:\n{log[-2000:]}")
    return [float(v) for v in match.groups()]


def check_lammps_manybody(tools, work):
    np = require_module("numpy", "python3-numpy")
    for potential in ("CH.rebo", "CH.airebo", "BNC.tersoff"):
        if not Path("/usr/share/lammps/potentials", potential).exists():
            skip(f"{potential} not found (Debian package lammps-data)")
    for example in ("rebo_tube", "rebo_walls", "rebo_bonds", "airebo_tube", "tersoff_tube"):
        shutil.copy(tools.source / "examples" / f"{example}.lmp", work)
    per_atom = r"energy per atom (\S+) eV"
    run([tools.wrapping, "10", "10", "-u", "10", "-az", "-b", "-f", "tube.dat"], work)
    files = {"atomic": ["--style", "atomic"], "none": ["--style", "molecular", "--terms", "none"],
             "full": []}
    for name, options in files.items():
        run([tools.topoconv, "--periodic", "z", *options, "tube.dat", f"{name}.data"], work)
    atomic = energy_of(lammps(work, "rebo_tube.lmp", "-var", "data", "atomic.data"), per_atom)[0]
    total, none = energy_of(lammps(work, "rebo_walls.lmp", "-var", "data", "none.data"),
                            r"energy (\S+) eV, per atom (\S+) eV")
    full = energy_of(lammps(work, "rebo_bonds.lmp", "-var", "data", "full.data"), per_atom)[0]
    if abs(none - atomic) > 1e-9 * abs(atomic) or abs(full - atomic) > 1e-9 * abs(atomic):
        raise CheckFailed(f"REBO energy per atom: {atomic} eV (atomic), {none} eV (molecular, "
                          f"--terms none), {full} eV (full, special_bonds 1 1 1)")
    rows = np.loadtxt(work / "walls.txt", skiprows=4, ndmin=2)
    expect("the walls of one tube (molecule, atoms, energy)", [[1, 400, round(total, 4)]],
           [[int(r[0]), int(r[1]), round(r[2], 4)] for r in rows])
    # Without special_bonds lj/coul 1 1 1 the bonded pairs leave REBO's
    # neighbour list and the energy is wrong, with no error.
    script = (work / "rebo_bonds.lmp").read_text()
    (work / "excluded.lmp").write_text(re.sub(r"(?m)^special_bonds.*$", "", script))
    excluded = energy_of(lammps(work, "excluded.lmp", "-var", "data", "full.data"), per_atom)[0]
    if abs(excluded - atomic) < 0.01 * abs(atomic):
        raise CheckFailed(f"REBO without special_bonds 1 1 1: {excluded} eV per atom, "
                          f"{atomic} eV expected to differ")
    print(f"ok (10,10): {atomic:.8f} eV per atom from the atomic, molecular and full files "
          f"({excluded:.8f} eV without special_bonds 1 1 1)")

    # A double wall: REBO does not reach from one wall to the other, so each
    # wall has the energy of its tube alone.
    run([tools.wrapping, "5", "5", "-u", "10", "-az", "-f", "walls.dat"], work)
    run([tools.wrapping, "10", "10", "-u", "10", "-az", "-f", "outer.dat"], work)
    alone = []
    for tube in ("walls", "outer"):
        run([tools.topoconv, "--periodic", "z", "--style", "atomic", f"{tube}.dat", f"{tube}.data"], work)
        log = lammps(work, "rebo_tube.lmp", "-var", "data", f"{tube}.data")
        alone.append(energy_of(log, per_atom)[0] * (200 if tube == "walls" else 400))
    run([tools.scenejoin, "walls.dat", "outer.dat"], work)
    run([tools.topoconv, "--periodic", "z", "--style", "molecular", "--terms", "none", "walls.dat",
         "walls.data"], work)
    total = energy_of(lammps(work, "rebo_walls.lmp"), r"energy (\S+) eV")[0]
    rows = np.loadtxt(work / "walls.txt", skiprows=4, ndmin=2)
    if [int(r[1]) for r in rows] != [200, 400] or np.abs(rows[:, 2] - alone).max() > 1e-6 * abs(total) \
            or abs(rows[:, 2].sum() - total) > 1e-6 * abs(total):
        raise CheckFailed(f"double wall: walls {rows.tolist()}, total {total} eV, the tubes alone "
                          f"{alone} eV")
    print(f"ok double wall: walls {rows[0, 2]:.4f} and {rows[1, 2]:.4f} eV, as the tubes alone")

    for example, data, low, high in [("airebo_tube", "atomic.data", -7.5, -7.2),
                                     ("tersoff_tube", "outer.data", -8.0, -7.8)]:
        log = lammps(work, f"{example}.lmp", "-var", "data", data)
        energy, force = energy_of(log, r"energy per atom (\S+) eV, largest force (\S+) ")
        if not low < energy < high or force > 0.5:
            raise CheckFailed(f"{example}: {energy} eV per atom, largest force {force} eV/A")
        print(f"ok {example}.lmp: {energy:.6f} eV per atom, largest force {force:.3g} eV/A")


def read_parameters(path):
    """The entries of a parameter file as lists of fields, by keyword."""
    entries = {}
    for line in Path(path).read_text().splitlines():
        fields = line.split("#")[0].split()
        if fields:
            entries.setdefault(fields[0], []).append(fields[1:])
    return entries


def lookup(entries, elements, centre_first=False):
    """The numbers of the first exact entry for these elements, else of the
    first with wildcards; either direction, or the centre first and the rest
    in any order."""
    n = len(elements)
    if centre_first:
        orders = [(elements[0], *rest) for rest in itertools.permutations(elements[1:])]
    else:
        orders = [tuple(elements), tuple(reversed(elements))]
    found = [e for e in entries if any(all(p in ("*", x) for p, x in zip(e[:n], order))
                                       for order in orders)]
    exact = [e for e in found if "*" not in e[:n]]
    return [float(v) for v in (exact or found)[0][n:]]


def read_data_file(path):
    """Positions, elements, box lengths and periodic flags, and the terms
    (atom indices from 0) of a LAMMPS data file of ours."""
    import numpy as np
    text = Path(path).read_text()
    sections = dict(re.findall(r"\n\n([A-Z][A-Za-z ]*?)(?: # \S+)?\n\n(.*?)(?=\n\n|\Z)", text, re.S))
    symbols = {int(l.split()[0]): l.split("#")[1].strip() for l in sections["Masses"].splitlines()}
    atoms = sorted((list(map(float, l.split())) for l in sections["Atoms"].splitlines()))
    xyz = np.array([a[4:7] for a in atoms])
    elements = [symbols[int(a[2])] for a in atoms]
    bounds = re.findall(r"(\S+) (\S+) [xyz]lo [xyz]hi  # (\w+)", text)
    box = np.array([float(hi) - float(lo) for lo, hi, _ in bounds])
    periodic = np.array([kind == "periodic" for _, _, kind in bounds])
    terms = {kind: [[int(v) - 1 for v in l.split()[2:]] for l in sections[kind].splitlines()]
             for kind in ("Bonds", "Angles", "Dihedrals", "Impropers") if kind in sections}
    return xyz, elements, box, periodic, terms


def reference_energies(data, parameters):
    """Bond, angle, dihedral, improper and Lennard-Jones energies (kcal/mol)
    of a data file under the set of a parameter file, with the cut-off 10 A
    of opls_tube.lmp."""
    import numpy as np
    xyz, elements, box, periodic, terms = read_data_file(data)
    ff = read_parameters(parameters)

    def vector(i, j):   # from atom i to atom j, through the nearest image
        d = xyz[j] - xyz[i]
        return d - np.where(periodic, np.round(d / box) * box, 0.0)

    def dihedral(i, j, k, l):
        b1, b2, b3 = vector(i, j), vector(j, k), vector(k, l)
        n1, n2 = np.cross(b1, b2), np.cross(b2, b3)
        m = np.cross(n1, b2 / np.linalg.norm(b2))
        return np.arctan2(np.dot(m, n2), np.dot(n1, n2))

    e = {"ebond": 0.0, "eangle": 0.0, "edihed": 0.0, "eimp": 0.0, "evdwl": 0.0}
    for i, j in terms["Bonds"]:
        k, r0 = lookup(ff["bond"], [elements[i], elements[j]])
        e["ebond"] += k * (np.linalg.norm(vector(i, j)) - r0) ** 2
    for i, j, l in terms["Angles"]:
        k, theta0 = lookup(ff["angle"], [elements[i], elements[j], elements[l]])
        u, v = vector(j, i), vector(j, l)
        theta = np.arccos(np.dot(u, v) / np.linalg.norm(u) / np.linalg.norm(v))
        e["eangle"] += k * (theta - np.radians(theta0)) ** 2
    for t in terms["Dihedrals"]:
        k, n, phase = lookup(ff["dihedral"], [elements[a] for a in t])
        e["edihed"] += k * (1 + np.cos(n * dihedral(*t) - np.radians(phase)))
    for t in terms["Impropers"]:
        k, chi0 = lookup(ff["improper"], [elements[a] for a in t], centre_first=True)
        e["eimp"] += k * (abs(dihedral(*t)) - np.radians(chi0)) ** 2
    # Lennard-Jones: every pair within the cut-off but those one or two
    # bonds apart; three bonds apart scaled by the set's lj14.
    atom = {el: (float(s), float(eps)) for el, _, _, s, eps in ff["atom"]}
    arithmetic = ff.get("combination", [["geometric"]])[0][0] == "arithmetic"
    lj14 = float(ff.get("scale14", [["1", "1"]])[0][0])
    partners = [set() for _ in xyz]
    for i, j in terms["Bonds"]:
        partners[i].add(j)
        partners[j].add(i)
    for i in range(len(xyz)):
        within = {i}
        for depth in (1, 2, 3):
            shell = set().union(*(partners[a] for a in within)) - within
            for j in shell:
                if j > i and depth == 3:
                    e["evdwl"] -= (1 - lj14) * pair_energy(vector(i, j), atom, elements, i, j,
                                                           arithmetic)
            within |= shell
            if depth == 2:
                excluded = set(within)
        for j in range(i + 1, len(xyz)):
            if j not in excluded:
                e["evdwl"] += pair_energy(vector(i, j), atom, elements, i, j, arithmetic)
    return e


def pair_energy(d, atom, elements, i, j, arithmetic):
    import numpy as np
    r = np.linalg.norm(d)
    if r >= 10.0:
        return 0.0
    (si, ei), (sj, ej) = atom[elements[i]], atom[elements[j]]
    sigma = (si + sj) / 2 if arithmetic else np.sqrt(si * sj)
    epsilon = np.sqrt(ei * ej)
    return 4 * epsilon * ((sigma / r) ** 12 - (sigma / r) ** 6)


def check_lammps_forcefield(tools, work):
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    mpirun = shutil.which("mpirun") or skip("mpirun not found (Debian package openmpi-bin)")
    script = (tools.source / "examples" / "opls_tube.lmp").read_text()
    distinct = tools.source / "tests" / "data" / "lammps" / "distinct.ff"
    cases = [("ends", ["10", "0", "-l", "20", "-az"], ["--hydrogenate"], str(distinct), "s"),
             ("periodic", ["10", "10", "-u", "10", "-az"], ["--periodic", "z"], "default", "p")]
    terms = ("pe", "ebond", "eangle", "edihed", "eimp", "evdwl")
    pattern = (r"energy (\S+) kcal/mol: bonds (\S+), angles (\S+), dihedrals (\S+), "
               r"impropers (\S+), Lennard-Jones (\S+)")
    for name, shape, options, forcefield, zboundary in cases:
        run([tools.wrapping, *shape, "-f", f"{name}.dat"], work)
        run([tools.topoconv, *options, "--forcefield", forcefield, f"{name}.dat", f"{name}.data"], work)
        parameters = distinct if name == "ends" else tools.source / "examples" / "opls-aa.ff"
        scales = read_parameters(parameters)["scale14"][0]
        # The input's special_bonds from the set's 1-4 scales.
        (work / f"{name}.lmp").write_text(re.sub(
            r"(?m)^special_bonds.*$", f"special_bonds   lj 0.0 0.0 {scales[0]} coul 0.0 0.0 "
            f"{scales[1]}", script))
        variables = ["-var", "data", f"{name}.data", "-var", "zboundary", zboundary]
        one = run([lmp, "-log", "none", *variables, "-in", f"{name}.lmp"], work)
        two = run([mpirun, "--allow-run-as-root", "--oversubscribe", "-np", "2", lmp, "-log",
                   "none", *variables, "-in", f"{name}.lmp"], work)
        for log, procs in ((one, 1), (two, 2)):
            if "ERROR" in log or f"on {procs} procs" not in log:
                raise CheckFailed(f"{name}: LAMMPS on {procs} processes failed:\n{log[-3000:]}")
        serial = dict(zip(terms, energy_of(one, pattern)))
        parallel = dict(zip(terms, energy_of(two, pattern)))
        ours = reference_energies(work / f"{name}.data", parameters)
        ours["pe"] = sum(ours.values())
        for term in terms:
            scale = max(abs(serial["pe"]), 1.0)
            if abs(parallel[term] - serial[term]) > 1e-6 * scale:
                raise CheckFailed(f"{name}: {term} {parallel[term]} on 2 processes, "
                                  f"{serial[term]} on one")
            if abs(ours[term] - serial[term]) > 1e-6 * scale:
                raise CheckFailed(f"{name}: {term} {serial[term]} from LAMMPS, {ours[term]} "
                                  f"from the parameter file")
        print(f"ok {name} ({Path(forcefield).name}): " +
              ", ".join(f"{t} {serial[t]:.6f}" for t in terms) + " kcal/mol, alike on 2 processes")


def check_ase_extxyz(tools, work):
    np = require_module("numpy", "python3-numpy")
    require_module("ase", "python3-ase")
    import ase.io
    from ase.neighborlist import neighbor_list
    for name in ("armchair", "zigzag", "chiral", "negative_m", "open", "ends"):
        xyz, box, periodic = make(tools, work, name, ".extxyz")
        atoms = ase.io.read(work / f"{name}.extxyz")
        xyz, species = terminated(xyz) if name in ENDS else (xyz, ["C"] * len(xyz))
        expect(f"{name}: species", species, atoms.get_chemical_symbols())
        flags = [axis in periodic for axis in "xyz"]
        expect(f"{name}: pbc", flags, list(atoms.pbc))
        if periodic != "none":
            expect(f"{name}: cell", list(box), list(np.diag(atoms.cell)))
        moved = (atoms.positions - xyz) / np.diag(atoms.cell)   # whole box lengths along pbc only
        # (within the rounding to the 8 decimals written)
        if np.abs(moved - np.round(moved) * flags).max() > 5.1e-9 / min(np.diag(atoms.cell)):
            raise CheckFailed(f"{name}: ASE positions are not the trajectory's in the box")
        # (ASE's search takes seconds for atoms outside an open cell: the same
        # atoms moved by one vector, which changes no distance)
        inside = atoms.copy()
        inside.positions -= atoms.positions.min(axis=0)
        i, j = neighbor_list("ij", inside, CUTOFF)
        expect(f"{name}: ASE neighbour list", reference_topology(xyz, box, periodic)[0],
               {(a, b) for a, b in zip(i.tolist(), j.tolist()) if a < b})
        if periodic != "none" and set(np.bincount(i)) != {3}:
            raise CheckFailed(f"{name}: not every atom has three neighbours in ASE")
        print(f"ok {name}: {len(atoms)} atoms, {len(i) // 2} bonds, pbc {atoms.pbc}")


def canonical(rows, kind):
    if kind == "impropers":   # centre first, which MDAnalysis may reorder
        return {tuple(sorted(r)) for r in rows}
    return {min(tuple(r), tuple(r[::-1])) for r in rows}


def check_mdanalysis(tools, work):
    mda = quiet_mdanalysis()
    for name in ("armchair", "negative_m", "open", "double"):
        xyz, box, periodic = make(tools, work, name, ".data", ".pdb")
        reference = reference_topology(xyz, box, periodic)
        universe = mda.Universe(str(work / f"{name}.data"), format="DATA")
        for kind, ours in zip(("bonds", "angles", "dihedrals", "impropers"), reference):
            rows = getattr(universe, kind).indices.tolist()
            expect(f"{name}: MDAnalysis {kind} of the LAMMPS file", ours, canonical(rows, kind))
        pdb = mda.Universe(str(work / f"{name}.pdb"))
        expect(f"{name}: MDAnalysis bonds of the PDB", reference[0],
               canonical(pdb.bonds.indices.tolist(), "bonds"))
        print(f"ok {name}: {len(xyz)} atoms, terms {[len(t) for t in reference]}")


def check_openbabel_pdb(tools, work):
    obabel = find_obabel()
    for name in ("chiral", "open", "double", "ends"):
        xyz, box, periodic = make(tools, work, name, ".pdb")
        if name in ENDS:
            xyz, species = terminated(xyz)
            formula = obabel_convert(obabel, ["-ipdb", str(work / f"{name}.pdb"), "-otxt",
                                              "--append", "formula"], name).split()[-1]
            expect(f"{name}: OpenBabel formula", f"C{species.count('C')}H{species.count('H')}", formula)
        # With a CRYST1 box OpenBabel's CML holds fractional coordinates:
        # only the atoms' order and the bonds are read from it.
        root = ET.fromstring(obabel_convert(obabel, ["-ipdb", str(work / f"{name}.pdb"), "-ocml"],
                                            name))
        ids = {atom.get("id"): k for k, atom in enumerate(root.iter(f"{CML}atom"))}
        bonds = {tuple(sorted(ids[a] for a in bond.get("atomRefs2").split()))
                 for bond in root.iter(f"{CML}bond")}
        expect(f"{name}: OpenBabel bonds of the PDB", reference_topology(xyz, box, periodic)[0], bonds)
        print(f"ok {name}: {len(xyz)} atoms, {len(bonds)} bonds")


def check_openmm_pdb(tools, work):
    """OpenMM's PDBFile reads every atom and every CONECT bond: at 400 atoms
    (it merged atoms of one name in one residue into one), with hydrogen,
    two walls, and at 99960 atoms, the most whose serials OpenMM's CONECT
    reader takes (it reads decimal serials only)."""
    require_module("openmm", "python3-simtk")
    from openmm import app
    for name in ("armchair", "open", "ends", "double", "largest"):
        xyz, box, periodic = make(tools, work, name, ".pdb")
        if name in ENDS:
            xyz, _ = terminated(xyz)
        topology = app.PDBFile(str(work / f"{name}.pdb")).topology
        expect(f"{name}: OpenMM atoms", len(xyz), topology.getNumAtoms())
        bonds = {tuple(sorted((a.index, b.index))) for a, b in topology.bonds()}
        if name not in ENDS:
            expect(f"{name}: OpenMM bonds of the PDB", reference_topology(xyz, box, periodic)[0], bonds)
        else:
            expect(f"{name}: OpenMM bond count", len(reference_topology(xyz, box, "none")[0]), len(bonds))
        print(f"ok {name}: {topology.getNumAtoms()} atoms, {len(bonds)} bonds, "
              f"{topology.getNumResidues()} residues")


CHECKS = {"lammps-rebo": check_lammps_rebo, "lammps-full": check_lammps_full,
          "lammps-ends": check_lammps_ends, "lammps-manybody": check_lammps_manybody,
          "lammps-forcefield": check_lammps_forcefield,
          "ase-extxyz": check_ase_extxyz, "mdanalysis": check_mdanalysis,
          "openbabel-pdb": check_openbabel_pdb, "openmm-pdb": check_openmm_pdb}


def main():
    require_module("scipy", "python3-scipy")
    options = {program: f"path of {program}" for program in ("wrapping", "topoconv", "scenejoin")}
    options["source"] = "the top of the source tree"
    return run_check(__doc__, CHECKS, options, Tools)


if __name__ == "__main__":
    sys.exit(main())
