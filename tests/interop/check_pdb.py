#!/usr/bin/python3
"""Every PDB that topoconv writes is read whole by the readers of the engines.

  openmm        OpenMM's PDBFile,
  mdanalysis    MDAnalysis and
  openbabel     OpenBabel (its bond orders left alone: -as; the small tubes
                only, see openbabel-large) read
                  - a periodic (10,10) tube of 400 atoms, a (5,5) tube inside
                    a (10,10) one (two molecules) and an open (8,4) tube ended
                    with hydrogen: every atom with its element and position,
                    and exactly the reference bonds;
                  - a periodic (10,10) tube of 99960 atoms (the most whose
                    serials fit five decimal columns, which CONECT records
                    hold): the same;
                  - a periodic (10,10) tube of 100040 atoms: every atom with
                    its position, and its number where the reader keeps one
                    (the serials beyond 99999 are "*****"); the file holds no
                    CONECT records (a REMARK says why) and OpenMM and
                    MDAnalysis read no bond.
                OpenMM also reads the cell of CRYST1 and keeps every atom name
                (one per name and residue).
  openbabel-large  OpenBabel on the 99960-atom tube alone, run by hand: its
                PDB reader takes many minutes there (its time grows with the
                square of the atoms).

The reference bonds are the pairs closer than 1.8 A directly or through the
periodic boundary (check_topoconv.py).
Exit status 0, 1 or 77 as for check_interop.py.
"""

import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

from check_interop import CheckFailed, find_obabel, obabel_convert, quiet_mdanalysis, \
    read_trajectory, require_module, run, run_check, skip
from check_topoconv import expect, reference_topology, terminated

CML = "{http://www.xml-cml.org/schema}"
# The PDB's three decimals, and single-precision readers (MDAnalysis).
POSITION_TOLERANCE = 5e-4 + 1e-3
# name: (wrapping arguments or None for the double tube, periodic axes,
# ended with hydrogen)
TUBES = {
    "armchair": (["10", "10", "-u", "10", "-az"], "z", False),
    "double": (None, "z", False),
    "ends": (["8", "4", "-l", "30", "-az"], "none", True),
    "large": (["10", "10", "-u", "2499", "-az", "-zc"], "z", False),
    "beyond": (["10", "10", "-u", "2501", "-az", "-zc"], "z", False),
}
SMALL = ("armchair", "double", "ends")


class Tools:
    def __init__(self, args):
        self.wrapping, self.topoconv, self.scenejoin = (
            str(Path(p).absolute()) for p in (args.wrapping, args.topoconv, args.scenejoin))


class Reference:
    """What the PDB of tube `name` must give: positions as written (inside
    the cell along the periodic axes, so compared modulo the box), elements,
    bonds, and the cell."""

    def __init__(self, tools, work, name):
        import numpy as np
        arguments, periodic, ends = TUBES[name]
        if arguments is None:
            run([tools.wrapping, "5", "5", "-u", "10", "-az", "-f", f"{name}.dat"], work)
            run([tools.wrapping, "10", "10", "-u", "10", "-az", "-f", "outer.dat"], work)
            run([tools.scenejoin, f"{name}.dat", "outer.dat"], work)
        else:
            run([tools.wrapping, *arguments, "-f", f"{name}.dat"], work)
        run([tools.topoconv, *(["--hydrogenate"] if ends else []), "--periodic", periodic,
             f"{name}.dat", f"{name}.pdb"], work)
        self.path = work / f"{name}.pdb"
        self.name = name
        self.xyz = read_trajectory(work / f"{name}.dat")[-1]
        self.box = np.array([float(v) for v in (work / f"{name}.dat").read_text().split()[3:6]])
        self.periodic = periodic
        self.elements = ["C"] * len(self.xyz)
        if ends:
            self.xyz, self.elements = terminated(self.xyz)
        self.bonds = reference_topology(self.xyz, self.box, periodic)[0]
        self.whole = len(self.xyz) <= 99999   # the file holds CONECT records

    def compare_positions(self, reader, xyz):
        import numpy as np
        if xyz.shape != self.xyz.shape:
            raise CheckFailed(f"{self.name}: {reader} read {len(xyz)} atoms where "
                              f"{len(self.xyz)} were written")
        moved = xyz - self.xyz
        for axis, flag in enumerate("xyz"):
            if flag in self.periodic:
                moved[:, axis] -= np.round(moved[:, axis] / self.box[axis]) * self.box[axis]
        worst = np.abs(moved).max()
        if worst > POSITION_TOLERANCE:
            raise CheckFailed(f"{self.name}: {reader} positions differ by up to {worst:.3g} A")

    def compare_bonds(self, reader, bonds):
        expect(f"{self.name}: {reader} bonds", self.bonds if self.whole else set(), bonds)


def references(tools, work, names):
    return [Reference(tools, work, name) for name in names]


def check_openmm(tools, work):
    require_module("openmm", "python3-simtk")
    import numpy as np
    from openmm import app, unit
    for ref in references(tools, work, (*SMALL, "large", "beyond")):
        pdb = app.PDBFile(str(ref.path))
        atoms = list(pdb.topology.atoms())
        ref.compare_positions("OpenMM", np.array(pdb.positions.value_in_unit(unit.angstrom)))
        expect(f"{ref.name}: OpenMM elements", ref.elements, [a.element.symbol for a in atoms])
        expect(f"{ref.name}: OpenMM atom numbers", [str(k + 1) for k in range(len(atoms))],
               [a.id for a in atoms])
        ref.compare_bonds("OpenMM", {tuple(sorted((b[0].index, b[1].index)))
                                     for b in pdb.topology.bonds()})
        box = np.array(pdb.topology.getPeriodicBoxVectors().value_in_unit(unit.angstrom))
        along = ["xyz".index(axis) for axis in ref.periodic if axis in "xyz"]
        if (np.abs(np.diag(box)[along] - ref.box[along]).max(initial=0) > 5e-4
                or np.abs(box - np.diag(np.diag(box))).max() > 0):
            raise CheckFailed(f"{ref.name}: OpenMM cell {box.tolist()}, the box {ref.box}")
        names = [(a.residue.index, a.name) for a in atoms]
        expect(f"{ref.name}: OpenMM names unique within residues", len(names), len(set(names)))
        print(f"ok {ref.name}: {len(atoms)} atoms in {pdb.topology.getNumResidues()} residues, "
              f"{pdb.topology.getNumBonds()} bonds")


def check_mdanalysis(tools, work):
    mda = quiet_mdanalysis()
    for ref in references(tools, work, (*SMALL, "large", "beyond")):
        universe = mda.Universe(str(ref.path))
        ref.compare_positions("MDAnalysis", universe.atoms.positions.astype(float))
        expect(f"{ref.name}: MDAnalysis elements", ref.elements, list(universe.atoms.elements))
        expect(f"{ref.name}: MDAnalysis atom numbers", list(range(1, len(ref.xyz) + 1)),
               universe.atoms.ids.tolist())
        bonds = universe.bonds.indices.tolist() if hasattr(universe, "bonds") else []
        ref.compare_bonds("MDAnalysis", {(min(a, b), max(a, b)) for a, b in bonds})
        print(f"ok {ref.name}: {len(universe.atoms)} atoms in {len(universe.residues)} residues, "
              f"{len(bonds)} bonds")


def read_with_openbabel(obabel, ref):
    """The elements and bonds of OpenBabel's CML (with a CRYST1 cell its
    coordinates are fractional: the atoms' order stands for them)."""
    root = ET.fromstring(obabel_convert(obabel, ["-ipdb", str(ref.path), "-as", "-ocml"],
                                        ref.path))
    atoms = list(root.iter(f"{CML}atom"))
    ids = {atom.get("id"): k for k, atom in enumerate(atoms)}
    bonds = {tuple(sorted(ids[a] for a in bond.get("atomRefs2").split()))
             for bond in root.iter(f"{CML}bond")}
    return [atom.get("elementType") for atom in atoms], bonds


def check_openbabel_files(tools, work, names):
    obabel = find_obabel()
    for ref in references(tools, work, names):
        elements, bonds = read_with_openbabel(obabel, ref)
        expect(f"{ref.name}: OpenBabel elements", ref.elements, elements)
        expect(f"{ref.name}: OpenBabel bonds", ref.bonds, bonds)
        print(f"ok {ref.name}: {len(elements)} atoms, {len(bonds)} bonds")


def check_openbabel(tools, work):
    check_openbabel_files(tools, work, SMALL)


def check_openbabel_large(tools, work):
    check_openbabel_files(tools, work, ("large",))


CHECKS = {"openmm": check_openmm, "mdanalysis": check_mdanalysis,
          "openbabel": check_openbabel, "openbabel-large": check_openbabel_large}


def main():
    require_module("scipy", "python3-scipy")
    options = {program: f"path of {program}" for program in ("wrapping", "topoconv", "scenejoin")}
    return run_check(__doc__, CHECKS, options, Tools)


if __name__ == "__main__":
    sys.exit(main())
