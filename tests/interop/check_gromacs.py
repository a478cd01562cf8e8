#!/usr/bin/python3
"""GROMACS and OpenMM take the .top and .gro files of topoconv as we mean them.

  gromacs-grompp   gmx grompp -maxwarn 0, with examples/gromacs/tube.mdp,
                   accepts a periodic (10,10) tube, a hydrogen-terminated open
                   (8,4) tube and a joined double wall, and finds parameters
                   for exactly the reference bonds, angles, dihedrals,
                   impropers and 1-4 pairs.
  gromacs-openmm   OpenMM's GromacsTopFile and GromacsGroFile read the periodic
                   tube: every bonded energy and the 1-4 energy equal those
                   computed here from the trajectory's exact positions with the
                   default parameters (to 1e-5); then OpenMM minimizes and runs
                   10 ps of Langevin dynamics at 300 K, after which no bond is
                   longer than 2 A.
  gromacs-x2top    gmx x2top -pbc, given the small name-to-type table that
                   users write by hand, finds the same bonds, angles and proper
                   dihedrals in our .gro as our .top holds.

The reference topology is that of check_topoconv.py (the pairs closer than
1.8 A directly or through a periodic image, and the terms they imply).
Exit status 0, 1 or 77 as for check_interop.py.
"""

import math
import re
import shutil
import sys
from pathlib import Path

from check_interop import CheckFailed, require_module, run, run_check, skip
from check_topoconv import ENDS, Tools, expect, make, reference_topology, terminated

# The default force field, opls-aa, in its own units (kcal/mol, Angstrom,
# degrees): E = k (r - r0)^2, k (theta - theta0)^2, k (1 + cos(n phi - phase)),
# k (chi - chi0)^2; 1-4 pairs with half the Lennard-Jones energy.
KJ = 4.184
CARBON = (3.55, 0.07)   # sigma, epsilon
BOND = (469.0, 1.40)
ANGLE = (63.0, 120.0)
DIHEDRAL = (3.625, 2, 180.0)
IMPROPER = (2.2, 0.0)
LJ14 = 0.5


def gmx():
    return shutil.which("gmx") or skip("gmx not found (Debian package gromacs)")


def mdp(tools, work):
    shutil.copy(tools.source / "examples" / "gromacs" / "tube.mdp", work)
    return "tube.mdp"


def gromacs_files(tools, work, name):
    """Builds tube `name` and converts it to name.top and name.gro; returns
    the trajectory scene (the reference ends of --hydrogenate added), the
    header box and the periodic axes."""
    xyz, box, periodic = make(tools, work, name, ".top")
    for suffix in (".top", ".gro"):
        if not (work / f"{name}{suffix}").exists():
            raise CheckFailed(f"topoconv wrote no {name}{suffix}")
    return (terminated(xyz)[0] if name in ENDS else xyz), box, periodic


def sections(path):
    """The data lines of each [ section ] of a topology, in order, as lists of
    fields (one entry per section, so the two [ dihedrals ] stay apart)."""
    found = []
    for line in Path(path).read_text().splitlines():
        line = line.split(";")[0].strip()
        if line.startswith("["):
            found.append((line.strip("[] "), []))
        elif line and not line.startswith("#") and found:
            found[-1][1].append(line.split())
    return found


def canonical(rows, kind):
    if kind == "impropers":
        return {(r[0], *sorted(r[1:])) for r in rows}
    return {min(tuple(r), tuple(r[::-1])) for r in rows}


def pairs14(bonds):
    """The atom pairs three bonds apart and no fewer."""
    partners = {}
    for i, j in bonds:
        partners.setdefault(i, set()).add(j)
        partners.setdefault(j, set()).add(i)
    found = set()
    for i, near in partners.items():
        second = set().union(*(partners[j] for j in near))
        third = set().union(*(partners[k] for k in second))
        found |= {(i, l) for l in third - second - near - {i} if i < l}
    return found


def check_gromacs_grompp(tools, work):
    program = gmx()
    script = mdp(tools, work)
    for name, molecules in [("armchair", 1), ("ends", 1), ("double", 2)]:
        xyz, box, periodic = gromacs_files(tools, work, name)
        reference = reference_topology(xyz, box, periodic)
        log = run([program, "grompp", "-f", script, "-c", f"{name}.gro", "-p", f"{name}.top",
                   "-o", f"{name}.tpr", "-maxwarn", "0"], work)
        if re.search(r"WARNING|ERROR", log):
            raise CheckFailed(f"{name}: grompp warns:\n{log[-3000:]}")
        dump = run([program, "dump", "-s", f"{name}.tpr"], work)
        counts = {}
        for kind, atoms in (("Bond", 2), ("Angle", 3), ("Proper Dih.", 4), ("Improper Dih.", 4),
                            ("LJ-14", 2)):
            numbers = re.findall(rf"^\s+{re.escape(kind)}:\s+nr: (\d+)", dump, re.M)
            counts[kind] = sum(int(n) for n in numbers) // (atoms + 1)
        expected = [len(t) for t in reference] + [len(pairs14(reference[0]))]
        expect(f"{name}: grompp's bonds, angles, dihedrals, impropers and 1-4 pairs", expected,
               list(counts.values()))
        types = re.findall(r"^\s+moltype \(\d+\):", dump, re.M)
        expect(f"{name}: molecule types", molecules, len(types))
        print(f"ok {name}: grompp -maxwarn 0 accepted {len(xyz)} atoms, terms {expected}")


def dihedral_angle(p0, p1, p2, p3):
    import numpy as np
    b0, b1, b2 = p0 - p1, p2 - p1, p3 - p2
    b1 = b1 / np.linalg.norm(b1)
    v = b0 - np.dot(b0, b1) * b1
    w = b2 - np.dot(b2, b1) * b1
    return math.atan2(np.dot(np.cross(b1, v), w), np.dot(v, w))


def reference_energies(xyz, box, periodic, terms):
    """Bond, angle, dihedral, improper and 1-4 energies in kJ/mol from the
    trajectory's positions (nearest images along the periodic axes)."""
    import numpy as np
    period = np.array([box[k] if axis in periodic else 0.0 for k, axis in enumerate("xyz")])

    def vector(i, j):   # from atom i to the nearest image of atom j
        d = xyz[j] - xyz[i]
        return d - period * np.round(d / np.where(period > 0, period, 1.0))

    def place(atoms):   # the atoms of a term, each beside the one before
        points = [xyz[atoms[0]]]
        for a, b in zip(atoms, atoms[1:]):
            points.append(points[-1] + vector(a, b))
        return points

    bonds, angles, dihedrals, impropers = terms
    energy = {}
    energy["bonds"] = sum(BOND[0] * (np.linalg.norm(vector(i, j)) - BOND[1]) ** 2 for i, j in bonds)
    total = 0.0
    for i, c, k in angles:
        u, v = vector(c, i), vector(c, k)
        theta = math.acos(np.dot(u, v) / np.linalg.norm(u) / np.linalg.norm(v))
        total += ANGLE[0] * (theta - math.radians(ANGLE[1])) ** 2
    energy["angles"] = total
    energy["dihedrals"] = sum(
        DIHEDRAL[0] * (1 + math.cos(DIHEDRAL[1] * dihedral_angle(*place(d)) - math.radians(DIHEDRAL[2])))
        for d in dihedrals)
    # An improper on c with neighbours a < b < d: the dihedral c-a-b-d.
    total = 0.0
    for c, a, b, d in impropers:
        p = place((c, a))
        q = place((c, b))[1], place((c, d))[1]
        total += IMPROPER[0] * (dihedral_angle(p[0], p[1], *q) - math.radians(IMPROPER[1])) ** 2
    energy["impropers"] = total
    sigma, epsilon = CARBON
    energy["pairs"] = sum(LJ14 * 4 * epsilon * ((sigma / r) ** 12 - (sigma / r) ** 6)
                          for r in (np.linalg.norm(vector(i, l)) for i, l in pairs14(bonds)))
    return {kind: value * KJ for kind, value in energy.items()}


def check_gromacs_openmm(tools, work):
    np = require_module("numpy", "python3-numpy")
    mm = require_module("openmm", "python3-simtk")
    from openmm import app, unit
    xyz, box, periodic = gromacs_files(tools, work, "armchair")
    bonds, angles, dihedrals, _ = reference_topology(xyz, box, periodic)
    partners = {}
    for i, j in bonds:
        partners.setdefault(i, []).append(j)
        partners.setdefault(j, []).append(i)
    impropers = [(c, *sorted(p)) for c, p in sorted(partners.items()) if len(p) == 3]
    expected = reference_energies(xyz, box, periodic, (bonds, angles, dihedrals, impropers))

    gro = app.GromacsGroFile(str(work / "armchair.gro"))
    top = app.GromacsTopFile(str(work / "armchair.top"),
                             periodicBoxVectors=gro.getPeriodicBoxVectors())
    system = top.createSystem(nonbondedMethod=app.CutoffPeriodic,
                              nonbondedCutoff=1.0 * unit.nanometer)
    # The tube is bonded to itself through the boundary: its bonded terms
    # measure through the nearest image, as periodic-molecules does in GROMACS.
    kinds = {mm.HarmonicBondForce: "bonds", mm.HarmonicAngleForce: "angles",
             mm.PeriodicTorsionForce: "dihedrals", mm.CustomTorsionForce: "impropers",
             mm.CustomBondForce: "pairs"}
    groups = {}
    for k, force in enumerate(system.getForces()):
        force.setForceGroup(k)
        if type(force) in kinds:
            force.setUsesPeriodicBoundaryConditions(True)
            groups[kinds[type(force)]] = k
    expect("OpenMM's kinds of bonded forces", sorted(expected), sorted(groups))
    names = [mm.Platform.getPlatform(k).getName() for k in range(mm.Platform.getNumPlatforms())]
    platform = mm.Platform.getPlatformByName("CPU" if "CPU" in names else "Reference")
    integrator = mm.LangevinMiddleIntegrator(300 * unit.kelvin, 1 / unit.picosecond,
                                             1 * unit.femtosecond)
    integrator.setRandomNumberSeed(7)
    context = mm.Context(system, integrator, platform)
    context.setPositions(gro.getPositions())
    for kind, group in groups.items():
        read = context.getState(getEnergy=True, groups={group}).getPotentialEnergy().value_in_unit(
            unit.kilojoule_per_mole)
        if abs(read - expected[kind]) > 1e-5 * max(1.0, abs(expected[kind])):
            raise CheckFailed(f"OpenMM's {kind} energy {read:.9g} kJ/mol, from the trajectory "
                              f"{expected[kind]:.9g}")
        print(f"ok {kind}: {read:.9g} kJ/mol in OpenMM, {expected[kind]:.9g} from the trajectory")

    mm.LocalEnergyMinimizer.minimize(context, 1.0, 2000)
    minimized = context.getState(getEnergy=True).getPotentialEnergy()
    integrator.step(10000)
    state = context.getState(getPositions=True, getEnergy=True)
    after = state.getPositions(asNumpy=True).value_in_unit(unit.angstrom)
    cell = np.diag(state.getPeriodicBoxVectors(asNumpy=True).value_in_unit(unit.angstrom))
    d = np.array([after[j] - after[i] for i, j in sorted(bonds)])
    d -= cell * np.round(d / cell)
    longest = np.linalg.norm(d, axis=1).max()
    temperature = 2 * state.getKineticEnergy() / (3 * len(xyz) * unit.MOLAR_GAS_CONSTANT_R)
    if longest >= 2.0:
        raise CheckFailed(f"after 10 ps a bond is {longest:.3f} A long")
    print(f"ok 10 ps at 300 K on {platform.getName()} after minimizing to {minimized}: "
          f"longest bond {longest:.3f} A, temperature {temperature.value_in_unit(unit.kelvin):.0f} K")


# The table of atom names to types that x2top needs (atomname2type.n2t:
# element, type, charge, mass, bond count, then each bonded element and its
# distance in nm), with the force field file it sits beside.
N2T = """C    CA   0.0   12.011   3    C 0.144   C 0.144   C 0.144
C    CA   0.0   12.011   3    C 0.144   C 0.144   H 0.109
H    HA   0.0    1.008   1    C 0.109
"""
FORCEFIELD_ITP = """[ defaults ]
1  3  yes  0.5  0.5

[ atomtypes ]
CA  6  12.011  0.0  A  0.355  0.29288
HA  1   1.008  0.0  A  0.242  0.12552
"""


def write_x2top_forcefield(directory):
    (directory / "tube.ff").mkdir()
    (directory / "tube.ff" / "atomname2type.n2t").write_text(N2T)
    (directory / "tube.ff" / "forcefield.itp").write_text(FORCEFIELD_ITP)


def terms_of(path):
    """Bonds, angles and proper dihedrals of a topology, atoms from 0."""
    found = {"bonds": set(), "angles": set(), "dihedrals": set()}
    for name, rows in sections(path):
        if name in ("bonds", "angles", "dihedrals"):
            atoms = {"bonds": 2, "angles": 3, "dihedrals": 4}[name]
            proper = [r for r in rows if name != "dihedrals" or r[4] in ("1", "3", "9")]
            found[name] |= canonical([[int(a) - 1 for a in r[:atoms]] for r in proper], name)
    return found


def check_gromacs_x2top(tools, work):
    program = gmx()
    write_x2top_forcefield(work)
    gromacs_files(tools, work, "armchair")
    run([program, "x2top", "-f", "armchair.gro", "-o", "x2top.top", "-ff", "tube", "-pbc",
         "-alldih", "-noparam"], work)
    ours, theirs = terms_of(work / "armchair.top"), terms_of(work / "x2top.top")
    for kind in ("bonds", "angles", "dihedrals"):
        expect(f"x2top's {kind} against ours", ours[kind], theirs[kind])
    print(f"ok x2top -pbc: {[len(ours[k]) for k in ours]} bonds, angles, dihedrals as ours")


CHECKS = {"gromacs-grompp": check_gromacs_grompp, "gromacs-openmm": check_gromacs_openmm,
          "gromacs-x2top": check_gromacs_x2top}


def main():
    require_module("scipy", "python3-scipy")
    options = {program: f"path of {program}" for program in ("wrapping", "topoconv", "scenejoin")}
    options["source"] = "the top of the source tree"
    return run_check(__doc__, CHECKS, options, Tools)


if __name__ == "__main__":
    sys.exit(main())
