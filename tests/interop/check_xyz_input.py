#!/usr/bin/python3
"""topoconv reads extended XYZ as ASE writes it, and LAMMPS takes the result.

  graphene-lammps  A graphene sheet of 6 x 6 hexagonal cells from ase.build
                   (a triclinic cell), periodic in two directions (pbc "T T F",
                   6 A of vacuum each side) and in three, the second also with
                   its cell and atoms turned out of LAMMPS's form, goes from
                   ase.io.write through topoconv into LAMMPS: read_data takes
                   the triclinic box, REBO run 0 gives the energy per atom
                   that LAMMPS gives for ASE's own lammps-data file of the
                   same sheet (about -7.395 eV) and a largest force below
                   1e-3 eV/A, every carbon has three bonds (in our file and
                   by LAMMPS's coordination count), and ASE reads the extended
                   XYZ that topoconv writes of it back with the same cell and
                   pbc.

Exit status 0, 1 or 77 as for check_interop.py.
"""

import re
import shutil
import sys
from pathlib import Path

from check_interop import CheckFailed, require_module, run, run_check, skip

# The LAMMPS run: REBO on the atoms of DATA (ASE's writer gives no masses,
# ours the same), then the energy per atom, the
# largest force component and the fewest and most neighbours within 1.8 A.
SCRIPT = """units metal
boundary ${boundary}
atom_style atomic
read_data ${data}
mass 1 12.011
pair_style rebo
pair_coeff * * CH.rebo C
compute force all property/atom fx fy fz
compute largest all reduce max c_force[1] c_force[2] c_force[3]
compute smallest all reduce min c_force[1] c_force[2] c_force[3]
compute coordination all coord/atom cutoff 1.8
compute fewest all reduce min c_coordination
compute most all reduce max c_coordination
thermo_style custom step pe atoms c_largest[1] c_largest[2] c_largest[3] &
  c_smallest[1] c_smallest[2] c_smallest[3] c_fewest c_most
thermo_modify format float %.12g
run 0
"""


class Tools:
    def __init__(self, args):
        self.topoconv = str(Path(args.topoconv).absolute())


def lammps(work, data, boundary):
    """Energy per atom, largest force component (eV/A), fewest and most
    neighbours of LAMMPS's run of SCRIPT on `data`, and the box it read."""
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    (work / "in.lmp").write_text(SCRIPT)
    log = run([lmp, "-log", "none", "-var", "data", data, "-var", "boundary", boundary,
               "-in", "in.lmp"], work)
    if "ERROR" in log:
        raise CheckFailed(f"LAMMPS on {data}:\n{log[-3000:]}")
    box = re.search(r"triclinic box = .*", log)
    if box is None:
        raise CheckFailed(f"LAMMPS read no triclinic box from {data}:\n{log[-2000:]}")
    row = log[log.index("Step PotEng"):].splitlines()[1].split()
    energy, atoms = float(row[1]), int(row[2])
    force = max(abs(float(v)) for v in row[3:9])
    return energy / atoms, force, int(float(row[9])), int(float(row[10])), box.group(0)


def bonds_per_atom(text):
    """How many bonds each atom has in a LAMMPS data file of ours."""
    atoms = int(re.search(r"^(\d+) atoms$", text, re.M).group(1))
    section = text.split("\nBonds\n\n")[1].split("\n\n")[0]
    count = [0] * atoms
    for line in section.splitlines():
        for atom in line.split()[2:4]:
            count[int(atom) - 1] += 1
    return count


def check_graphene_lammps(tools, work):
    np = require_module("numpy", "python3-numpy")
    require_module("ase", "python3-ase")
    if not Path("/usr/share/lammps/potentials/CH.rebo").exists():
        skip("CH.rebo not found (Debian package lammps-data)")
    import ase.io
    from ase.build import graphene
    for pbc, turned in [((True, True, False), False), ((True, True, True), False),
                        ((True, True, True), True)]:
        sheet = graphene(size=(6, 6, 1), vacuum=6.0)
        sheet.pbc = pbc
        boundary = " ".join("p" if p else "f" for p in pbc)
        name = "".join("T" if p else "F" for p in pbc) + ("-turned" if turned else "")
        # The reference: LAMMPS on ASE's own writer's file of the sheet.
        ase.io.write(work / "reference.data", sheet, format="lammps-data", atom_style="atomic")
        reference = lammps(work, "reference.data", boundary)[0]
        given = sheet.copy()
        if turned:
            given.rotate(40.0, (1.0, -2.0, 2.5), rotate_cell=True)
        ase.io.write(work / "sheet.extxyz", given, format="extxyz")
        run([tools.topoconv, "--style", "atomic", "sheet.extxyz", "sheet.data"], work)
        energy, force, fewest, most, box = lammps(work, "sheet.data", boundary)
        if abs(energy - reference) > 1e-6 or force >= 1e-3 or not -7.5 < energy < -7.3:
            raise CheckFailed(f"{name}: energy per atom {energy:.8f} eV (ASE's file "
                              f"{reference:.8f}), largest force {force:.3g} eV/A")
        if (fewest, most) != (3, 3):
            raise CheckFailed(f"{name}: LAMMPS counts {fewest} to {most} neighbours per carbon")
        run([tools.topoconv, "sheet.extxyz", "full.data"], work)
        counts = set(bonds_per_atom((work / "full.data").read_text()))
        if counts != {3}:
            raise CheckFailed(f"{name}: carbons with {sorted(counts)} bonds in our data file")
        # ASE reads our extended XYZ back with the same cell and pbc.
        run([tools.topoconv, "sheet.extxyz", "back.extxyz"], work)
        back = ase.io.read(work / "back.extxyz")
        # The turned cell comes back in LAMMPS's form, perhaps with b flipped
        # by a (xy on the limit -Lx/2 may round to either side): the same
        # lattice, whose reduced cells agree.
        same_cell = (np.abs(back.cell.niggli_reduce()[0].cellpar() -
                            given.cell.niggli_reduce()[0].cellpar()).max() < 1e-6 if turned
                     else np.abs(back.cell[:] - sheet.cell[:]).max() < 1e-8)
        if not same_cell or list(back.pbc) != list(pbc) or len(back) != len(sheet):
            raise CheckFailed(f"{name}: ASE reads the cell {back.cell[:].tolist()} and pbc "
                              f"{back.pbc} back, where {given.cell[:].tolist()} and {pbc} were "
                              "written")
        print(f"ok {name}: {energy:.8f} eV per atom (ASE's file {reference:.8f}), largest force "
              f"{force:.3g} eV/A, three bonds per carbon; LAMMPS {box}")


CHECKS = {"graphene-lammps": check_graphene_lammps}


def main():
    return run_check(__doc__, CHECKS, {"topoconv": "path of topoconv"}, Tools)


if __name__ == "__main__":
    sys.exit(main())
