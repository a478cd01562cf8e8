#!/usr/bin/python3
"""Independent tools take the assemblies of assemble as we mean them.

  repetition    For periodic walls (5,5)@(10,10), (5,5)@(10,10)@(15,15) and
                (10,10)@(26,0) (each wall strained to the common period):
                the structure of 2K common periods is the one of K periods
                twice over.  With K periods of length L the atoms lie in
                z in [-L/2, L/2), with 2K in [-L, L); every atom of the short
                one moved by -L/2 and by +L/2 falls on an atom of the same
                wall of the long one, within 1e-6 A, and so covers it.  ASE's
                neighbour list (1.8 A, the file's pbc) of both gives every
                carbon three bonds, 3N/2 in all, none between two walls.
  rope-ase      ASE reads the extended XYZ of a (10,10) rope (one tube, and
                2 rows of 3 tubes) with its hexagonal cell (a and b the
                tubes' pitch d + gap times the tubes along them, gamma 60
                degrees) and pbc T T T; its neighbour list gives exactly the
                Bonds of the LAMMPS data file of the same assembly.
  lammps-walls  LAMMPS minimizes periodic double walls (5,5)@(10,10) and
                (6,6)@(11,11) (the latter on the ideal and on the REBO sheet)
                with AIREBO, whose Lennard-Jones term holds the walls apart:
                every wall stays whole (each atom three neighbours within
                1.8 A, all in its own wall) and the spacing, the mean radius
                of the outer wall less that of the inner, lies between 3.3
                and 3.5 A.
  lammps-rope   LAMMPS relaxes a (10,10) rope with AIREBO, the hexagonal cell
                free across the axis (x and y coupled, the tilt following)
                and along it: the lattice constant comes within 0.4 A of
                d + 3.2 A, d = 13.56 A the diameter of the (10,10) tube of
                bond 1.42 A.

The walls are told apart by the order of the atoms (tube by tube, wall by
wall) and their counts (4nK atoms in an (n,n) wall of K cells), or by the
molecule property of the extended XYZ; the bonds are found here anew.
Exit status 0, 1 or 77 as for check_interop.py.
"""

import math
import re
import shutil
import sys
from pathlib import Path

from check_interop import CheckFailed, require_module, run, run_check, skip

CUTOFF = 1.8
BOND = 1.42
GAP = 3.2
AIREBO = Path("/usr/share/lammps/potentials/CH.airebo")


class Tools:
    def __init__(self, args):
        self.assemble = str(Path(args.assemble).absolute())


def diameter(n, m, bond=BOND):
    return bond * math.sqrt(3 * (n * n + n * m + m * m)) / math.pi


def wall_options(walls):
    return [option for wall in walls for option in ("--wall", f"{wall[0]},{wall[1]}")]


def read_extxyz(path):
    require_module("ase", "python3-ase")
    import ase.io
    atoms = ase.io.read(path)
    if set(atoms.get_chemical_symbols()) != {"C"}:
        raise CheckFailed(f"{path.name}: elements {set(atoms.get_chemical_symbols())}")
    return atoms


def ase_bonds(atoms):
    """The pairs i < j closer than the cut-off, from ASE's neighbour list, and
    the number of neighbours of every atom."""
    import numpy as np
    from ase.neighborlist import neighbor_list
    # (the atoms moved into the open cell's corner: ASE searches slowly
    # around atoms outside an open cell; no distance changes)
    inside = atoms.copy()
    inside.positions -= np.where(atoms.pbc, 0.0, atoms.positions.min(axis=0))
    i, j = neighbor_list("ij", inside, CUTOFF)
    return {(a, b) for a, b in zip(i.tolist(), j.tolist()) if a < b}, np.bincount(i, minlength=len(atoms))


def expect_whole_walls(name, atoms, wall):
    """Three neighbours for every atom, 3N/2 bonds, none between two walls."""
    bonds, degree = ase_bonds(atoms)
    crossing = [(i, j) for i, j in bonds if wall[i] != wall[j]]
    if set(degree.tolist()) != {3} or len(bonds) != 3 * len(atoms) // 2 or crossing:
        raise CheckFailed(f"{name}: ASE finds {len(bonds)} bonds for {len(atoms)} atoms, "
                          f"neighbour counts {sorted(set(degree.tolist()))}, "
                          f"{len(crossing)} between walls (first {crossing[:3]})")
    return len(bonds)


def check_repetition(tools, work):
    import numpy as np
    from scipy.spatial import cKDTree
    # (walls, the fewest common periods the builder takes): the armchair
    # period 2.46 A is too short alone.
    cases = [([(5, 5), (10, 10)], 2), ([(5, 5), (10, 10), (15, 15)], 2),
             ([(10, 10), (26, 0)], 1)]
    for walls, cells in cases:
        name = "@".join(f"({n},{m})" for n, m in walls)
        read = {}
        for k in (cells, 2 * cells):
            path = work / f"cells{k}.extxyz"
            run([tools.assemble, "--periodic", *wall_options(walls), "--cells", str(k), path.name], work)
            read[k] = read_extxyz(path)
        short, long = read[cells], read[2 * cells]
        length = short.cell[2, 2]
        if list(short.pbc) != [False, False, True] or list(long.pbc) != [False, False, True]:
            raise CheckFailed(f"{name}: pbc {short.pbc}, {long.pbc}")
        if abs(long.cell[2, 2] - 2 * length) > 1e-7 or len(long) != 2 * len(short):
            raise CheckFailed(f"{name}: {len(short)} atoms in {length} A, {len(long)} atoms in "
                              f"{long.cell[2, 2]} A")
        for atoms, half in ((short, length / 2), (long, length)):
            z = atoms.positions[:, 2]
            if z.min() < -half - 1e-7 or z.max() >= half - 1e-7 or abs(z.min() + half) > 1e-7:
                raise CheckFailed(f"{name}: {len(atoms)} atoms in z [{z.min()}, {z.max()}], "
                                  f"not [{-half}, {half})")
        wall_short, wall_long = short.arrays["molecule"], long.arrays["molecule"]
        if sorted(set(wall_short.tolist())) != list(range(1, len(walls) + 1)):
            raise CheckFailed(f"{name}: molecules {sorted(set(wall_short.tolist()))}")
        tree = cKDTree(long.positions)
        landed = []
        for dz in (-length / 2, length / 2):
            distance, index = tree.query(short.positions + [0.0, 0.0, dz])
            if distance.max() > 1e-6 or np.any(wall_long[index] != wall_short):
                worst = int(distance.argmax())
                raise CheckFailed(f"{name}: atom {worst} moved by {dz:+.6f} A is {distance[worst]:.3g} "
                                  f"A from the nearest of {2 * cells} periods; "
                                  f"{int(np.sum(wall_long[index] != wall_short))} land on another wall")
            landed.extend(index.tolist())
        if len(set(landed)) != len(long):
            raise CheckFailed(f"{name}: the two copies cover {len(set(landed))} of {len(long)} atoms")
        bonds = [expect_whole_walls(f"{name} {k} periods", read[k], read[k].arrays["molecule"])
                 for k in (cells, 2 * cells)]
        print(f"ok {name}: {len(short)} atoms in {cells} period(s) of {length / cells:.6f} A, "
              f"twice over in {2 * cells}; {bonds} bonds, each wall whole"
              )


def lammps_bonds(path):
    """The Bonds section of a LAMMPS data file as pairs of atom indices from 0."""
    text = path.read_text()
    section = text.split("\nBonds\n\n")[1].split("\n\n")[0]
    return {tuple(sorted(int(v) - 1 for v in line.split()[2:4])) for line in section.splitlines()}


def check_rope_ase(tools, work):
    pitch = diameter(10, 10) + GAP
    for rows, columns in [(1, 1), (2, 3)]:
        bundle = ["--bundle", f"{rows},{columns}"] if rows * columns > 1 else []
        options = ["--periodic", "--rope", "--wall", "10,10", "--cells", "4", *bundle]
        run([tools.assemble, *options, "rope.extxyz"], work)
        run([tools.assemble, *options, "rope.data"], work)
        atoms = read_extxyz(work / "rope.extxyz")
        a, b, c, alpha, beta, gamma = atoms.cell.cellpar()
        name = f"(10,10) rope of {rows} x {columns}"
        if list(atoms.pbc) != [True, True, True]:
            raise CheckFailed(f"{name}: pbc {atoms.pbc}")
        if (abs(a - columns * pitch) > 1e-5 or abs(b - rows * pitch) > 1e-5
                or max(abs(alpha - 90), abs(beta - 90), abs(gamma - 60)) > 1e-5):
            raise CheckFailed(f"{name}: cell {atoms.cell.cellpar()}, expected a = {columns} x "
                              f"{pitch:.6f}, b = {rows} x {pitch:.6f}, gamma 60")
        bonds, degree = ase_bonds(atoms)
        listed = lammps_bonds(work / "rope.data")
        if bonds != listed:
            raise CheckFailed(f"{name}: ASE finds {len(bonds)} bonds, the data file lists "
                              f"{len(listed)} (only ASE's: {sorted(bonds - listed)[:3]}, only "
                              f"listed: {sorted(listed - bonds)[:3]})")
        tubes = atoms.arrays["molecule"]
        if set(degree.tolist()) != {3} or len(set(tubes.tolist())) != rows * columns \
                or any(tubes[i] != tubes[j] for i, j in bonds):
            raise CheckFailed(f"{name}: neighbour counts {sorted(set(degree.tolist()))}, "
                              f"{len(set(tubes.tolist()))} molecules, or bonds between tubes")
        print(f"ok {name}: cell a {a:.6f} b {b:.6f} c {c:.6f} gamma {gamma:.6f}, "
              f"{len(atoms)} atoms, {len(bonds)} bonds as listed")


def lammps(work, script):
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    if not AIREBO.exists():
        skip(f"{AIREBO.name} not found (Debian package lammps-data)")
    (work / "in.lmp").write_text(script)
    log = run([lmp, "-log", "none", "-in", "in.lmp"], work)
    if "ERROR" in log:
        raise CheckFailed(f"LAMMPS failed:\n{log[-3000:]}")
    return log, re.search(r"Stopping criterion = (.*)", log).group(1).strip()


def dumped(path):
    """Positions in the order of the atom ids from a dump of id x y z."""
    import numpy as np
    rows = np.loadtxt(path, skiprows=9, ndmin=2)
    return rows[np.argsort(rows[:, 0]), 1:4]


def periodic_pairs(xyz, length):
    """The pairs closer than the cut-off, directly or through the period
    along z."""
    from scipy.spatial import cKDTree
    tree = cKDTree(xyz)
    pairs = set()
    for shift in (-length, 0.0, length):
        for i, j, d in cKDTree(xyz + [0.0, 0.0, shift]).sparse_distance_matrix(
                tree, CUTOFF, output_type="ndarray").tolist():
            if i != j and d < CUTOFF:
                pairs.add((min(int(i), int(j)), max(int(i), int(j))))
    return pairs


def check_lammps_walls(tools, work):
    import numpy as np
    cells = 10
    for walls, lattice in [([(5, 5), (10, 10)], "ideal"), ([(6, 6), (11, 11)], "ideal"),
                           ([(6, 6), (11, 11)], "rebo")]:
        name = "@".join(f"({n},{m})" for n, m in walls) + f" on the {lattice} sheet"
        run([tools.assemble, "--periodic", *wall_options(walls), "--cells", str(cells),
             "--lattice", lattice, "--style", "atomic", "walls.data"], work)
        log, criterion = lammps(work, f"""units metal
atom_style atomic
boundary s s p
read_data walls.data
pair_style airebo 3.0 1 1
pair_coeff * * {AIREBO} C
thermo 100
minimize 1e-10 1e-6 1000 10000
write_dump all custom relaxed.dump id x y z modify sort id
""")
        xyz = dumped(work / "relaxed.dump")
        counts = [4 * n * cells for n, _ in walls]
        wall = np.repeat(np.arange(len(walls)), counts)
        if len(xyz) != sum(counts):
            raise CheckFailed(f"{name}: {len(xyz)} atoms, walls of {counts} expected")
        length = float(re.search(r"(\S+) (\S+) zlo zhi", (work / "walls.data").read_text()).group(2)) * 2
        pairs = periodic_pairs(xyz, length)
        degree = np.bincount(np.array(sorted(pairs)).ravel(), minlength=len(xyz))
        crossing = [(i, j) for i, j in pairs if wall[i] != wall[j]]
        radii = []
        for k in range(len(walls)):
            own = xyz[wall == k, :2]
            radii.append(np.linalg.norm(own - own.mean(axis=0), axis=1).mean())
        spacing = radii[1] - radii[0]
        if set(degree.tolist()) != {3} or crossing or not 3.3 <= spacing <= 3.5:
            raise CheckFailed(f"{name}: after minimizing ({criterion}), neighbour counts "
                              f"{sorted(set(degree.tolist()))}, {len(crossing)} bonds between "
                              f"walls, spacing {spacing:.4f} A")
        print(f"ok {name}: minimized ({criterion}), walls whole, radii "
              f"{radii[0]:.4f} and {radii[1]:.4f} A, spacing {spacing:.4f} A")


def check_lammps_rope(tools, work):
    # The hexagonal cell's tilt is exactly half its x length: LAMMPS takes
    # it as written, without `box tilt large`.
    run([tools.assemble, "--periodic", "--rope", "--wall", "10,10", "--cells", "10", "--style",
         "atomic", "rope.data"], work)
    log, criterion = lammps(work, f"""units metal
atom_style atomic
boundary p p p
read_data rope.data
pair_style airebo 3.0 1 1
pair_coeff * * {AIREBO} C
thermo 100
fix relax all box/relax x 0.0 y 0.0 z 0.0 couple xy vmax 0.001
minimize 1e-10 1e-6 2000 20000
variable a equal lx
variable c equal lz
variable height equal ly
variable tilt equal xy
print "cell ${{a}} ${{height}} ${{tilt}} ${{c}}"
""")
    a, height, tilt, c = map(float, re.search(r"^cell (\S+) (\S+) (\S+) (\S+)", log, re.M).groups())
    # x and y scaled alike and the tilt with them: still hexagonal
    gamma = math.degrees(math.atan2(height, tilt))
    target = diameter(10, 10) + GAP
    if abs(gamma - 60) > 0.01 or abs(math.hypot(tilt, height) - a) > 1e-3 * a:
        raise CheckFailed(f"(10,10) rope: the relaxed cell is no longer hexagonal: a {a}, "
                          f"b ({tilt}, {height}), gamma {gamma}")
    if abs(a - target) > 0.4:
        raise CheckFailed(f"(10,10) rope: relaxed lattice constant {a:.4f} A ({criterion}), "
                          f"more than 0.4 A from d + {GAP} = {target:.4f} A")
    print(f"ok (10,10) rope: relaxed ({criterion}) lattice constant {a:.4f} A, "
          f"d + {GAP} = {target:.4f} A ({a - target:+.4f} A), period {c / 10:.4f} A, gamma {gamma:.4f}")


CHECKS = {"repetition": check_repetition, "rope-ase": check_rope_ase,
          "lammps-walls": check_lammps_walls, "lammps-rope": check_lammps_rope}


def main():
    require_module("scipy", "python3-scipy")
    return run_check(__doc__, CHECKS, {"assemble": "path of assemble"}, Tools)


if __name__ == "__main__":
    sys.exit(main())
