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
  ase-extxyz     ASE reads cell, pbc, positions and species (also of a
                 hydrogen-terminated tube); its neighbour list gives the
                 reference bonds.
  mdanalysis     MDAnalysis reads the reference terms from the LAMMPS file and
                 bonds from the PDB, also at 10^5 atoms (hybrid-36 serials).
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
    "big": (["10", "10", "-u", "2500", "-az", "-zc"], "z"),
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
    np = require_module("numpy", "python3-numpy")
    from MDAnalysis.topology.PDBParser import hy36decode
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
    # 10^5 atoms: the last serial is hybrid-36 A0000.  MDAnalysis 2.4 decodes
    # it in ATOM records but reads CONECT fields as decimal only, so the atoms
    # are read from the file without its CONECT records and the bonds decoded
    # with MDAnalysis's own hybrid-36 decoder.
    xyz, box, periodic = make(tools, work, "big", ".pdb")
    lines = (work / "big.pdb").read_text().splitlines(keepends=True)
    (work / "atoms.pdb").write_text("".join(l for l in lines if not l.startswith("CONECT")))
    universe = mda.Universe(str(work / "atoms.pdb"))
    expect("10^5 atoms: MDAnalysis atom serials", list(range(1, 100001)), universe.atoms.ids.tolist())
    if np.abs(universe.atoms.positions - xyz).max() > 5e-4 + 1e-3:
        raise CheckFailed("10^5 atoms: MDAnalysis positions differ from the trajectory")
    bonds = set()
    for line in (l for l in lines if l.startswith("CONECT")):
        serials = [hy36decode(5, line[k:k + 5]) - 1 for k in range(6, len(line.rstrip("\n")), 5)]
        bonds |= {(min(serials[0], s), max(serials[0], s)) for s in serials[1:]}
    expect("10^5 atoms: CONECT bonds", reference_topology(xyz, box, periodic)[0], bonds)
    last = [l for l in lines if l.startswith("HETATM")][-1][6:11]
    print(f"ok 10^5 atoms: serials up to {last!r}, {len(bonds)} bonds")


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


CHECKS = {"lammps-rebo": check_lammps_rebo, "lammps-full": check_lammps_full,
          "lammps-ends": check_lammps_ends,
          "ase-extxyz": check_ase_extxyz, "mdanalysis": check_mdanalysis,
          "openbabel-pdb": check_openbabel_pdb}


def main():
    require_module("scipy", "python3-scipy")
    options = {program: f"path of {program}" for program in ("wrapping", "topoconv", "scenejoin")}
    options["source"] = "the top of the source tree"
    return run_check(__doc__, CHECKS, options, Tools)


if __name__ == "__main__":
    sys.exit(main())
