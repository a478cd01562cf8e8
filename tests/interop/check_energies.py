#!/usr/bin/python3
"""The same parameters give the same energy in every engine.

For three structures (a strained scene of the rolling animation, periodic
along z; an open tube terminated with hydrogen; a periodic tube of bond
1.5 A) topoconv writes, with the default force field, a LAMMPS data file, a
GROMACS topology (.top + .gro) and a CHARMM set (.psf + .prm + .crd).
LAMMPS (`run 0`), OpenMM from the .top and OpenMM from the .psf give the
bond, angle, dihedral and improper energies to 1e-4 relative, term by term,
and the Lennard-Jones energy (same cut-off, no shift, no long-range
correction on either side) to 1e-4 as well.  The bonded forces of a
periodic structure are made periodic in OpenMM.
Exit status 0, 1 or 77 as for check_interop.py.
"""

import re
import shutil
import sys
from pathlib import Path

from check_interop import CheckFailed, require_module, run, run_check, skip

KCAL = 4.184
CUTOFF = 10.0  # Angstrom, both engines
TOLERANCE = 1e-4
# name: (wrapping arguments, topoconv arguments, periodic)
STRUCTURES = {
    "strained": (["6", "6", "-u", "9", "-w", "4", "-az"], ["--scene", "3", "--periodic", "z"], True),
    "ends": (["8", "4", "-l", "30", "-az"], ["--hydrogenate"], False),
    "bond15": (["10", "10", "-u", "9", "-c", "1.5", "-az"], ["--periodic", "z"], True),
}
# The default set's 1-4 scales, as LAMMPS takes them (special_bonds lj/coul).
SPECIAL = (0.0, 0.0, 0.5)
TERMS = ("ebond", "eangle", "edihed", "eimp", "evdwl")


def lammps_energies(work, data, special):
    lmp = shutil.which("lmp") or skip("lmp not found (Debian packages lammps, lammps-data)")
    text = data.read_text()
    first = text.splitlines()[0]
    if "units real" not in first:
        raise CheckFailed(f"{data.name}: the first line names no units: {first}")
    styles = {}
    for kind in ("Bond", "Angle", "Dihedral", "Improper"):
        match = re.search(rf"^{kind} Coeffs # (\S+)", text, re.M)
        if match is None:
            raise CheckFailed(f"{data.name}: no '{kind} Coeffs # style' section")
        styles[kind.lower()] = match.group(1)
    script = work / "energy.in"
    script.write_text(f"""units real
atom_style full
boundary p p p
pair_style lj/cut {CUTOFF}
bond_style {styles['bond']}
angle_style {styles['angle']}
dihedral_style {styles['dihedral']}
improper_style {styles['improper']}
special_bonds lj/coul {special[0]} {special[1]} {special[2]}
read_data {data.name}
thermo_style custom step pe {' '.join(TERMS)}
thermo_modify format float %.12g
run 0
""")
    log = run([lmp, "-log", "none", "-in", script.name], work)
    if "ERROR" in log:
        raise CheckFailed(f"lmp failed:\n{log[-3000:]}")
    lines = log.splitlines()
    for k, line in enumerate(lines):
        if line.split()[:2] == ["Step", "PotEng"]:
            values = [float(v) for v in lines[k + 1].split()]
            return dict(zip(TERMS, values[2:]))
    raise CheckFailed(f"no thermo line in the LAMMPS log:\n{log[-2000:]}")


def openmm_energies(system, positions, periodic):
    import openmm
    from openmm import unit
    groups = {"HarmonicBondForce": "ebond", "HarmonicAngleForce": "eangle",
              "PeriodicTorsionForce": "edihed", "CustomTorsionForce": "eimp",
              "NonbondedForce": "evdwl", "CustomNonbondedForce": "evdwl", "CustomBondForce": "evdwl"}
    names = sorted(set(groups.values()))
    for force in system.getForces():
        kind = type(force).__name__
        if kind == "CMMotionRemover" or (kind == "CMAPTorsionForce" and force.getNumTorsions() == 0):
            continue
        if kind not in groups:
            raise CheckFailed(f"OpenMM made a force this check does not know: {kind}")
        force.setForceGroup(names.index(groups[kind]))
        if periodic and kind in ("HarmonicBondForce", "HarmonicAngleForce", "PeriodicTorsionForce",
                                 "CustomTorsionForce", "CustomBondForce"):
            force.setUsesPeriodicBoundaryConditions(True)
        if kind == "NonbondedForce":
            # 1-4 pairs through the boundary are exceptions of a periodic tube.
            force.setExceptionsUsePeriodicBoundaryConditions(periodic)
            force.setUseDispersionCorrection(False)
            force.setUseSwitchingFunction(False)
        if kind == "CustomNonbondedForce":
            force.setUseLongRangeCorrection(False)
            force.setUseSwitchingFunction(False)
    context = openmm.Context(system, openmm.VerletIntegrator(0.001),
                             openmm.Platform.getPlatformByName("Reference"))
    context.setPositions(positions)
    energies = {}
    for k, name in enumerate(names):
        state = context.getState(getEnergy=True, groups={k})
        energies[name] = state.getPotentialEnergy().value_in_unit(unit.kilojoule_per_mole) / KCAL
    return energies


def from_top(work, name, periodic):
    from openmm import app, unit
    gro = app.GromacsGroFile(str(work / f"{name}.gro"))
    top = app.GromacsTopFile(str(work / f"{name}.top"),
                             periodicBoxVectors=gro.getPeriodicBoxVectors())
    method = app.CutoffPeriodic if periodic else app.CutoffNonPeriodic
    system = top.createSystem(nonbondedMethod=method, nonbondedCutoff=CUTOFF / 10 * unit.nanometer)
    return openmm_energies(system, gro.positions, periodic)


def from_psf(work, name, periodic):
    from openmm import app, unit
    psf = app.CharmmPsfFile(str(work / f"{name}.psf"))
    params = app.CharmmParameterSet(str(work / f"{name}.prm"))
    crd = app.CharmmCrdFile(str(work / f"{name}.crd"))
    # The cell in full from the psf's title (the PDB's CRYST1 has three decimals).
    cell = next(line for line in (work / f"{name}.psf").read_text().splitlines()
                if line.startswith("* cell "))
    a, b, c, alpha, beta, gamma = (float(v) for v in cell[len("* cell "):].split(",")[0].split())
    psf.setBox(a * unit.angstrom, b * unit.angstrom, c * unit.angstrom,
               alpha * unit.degree, beta * unit.degree, gamma * unit.degree)
    method = app.CutoffPeriodic if periodic else app.CutoffNonPeriodic
    system = psf.createSystem(params, nonbondedMethod=method,
                              nonbondedCutoff=CUTOFF / 10 * unit.nanometer)
    return openmm_energies(system, crd.positions, periodic)


def energies(tools, work):
    require_module("openmm", "python3-simtk")
    for name, (build, convert, periodic) in STRUCTURES.items():
        run([tools.wrapping, *build, "-f", f"{name}.dat"], work)
        for suffix in (".data", ".top", ".psf"):
            run([tools.topoconv, *convert, "--forcefield", "default", f"{name}.dat",
                 f"{name}{suffix}"], work)
        results = {"LAMMPS": lammps_energies(work, work / f"{name}.data", SPECIAL),
                   "OpenMM .top": from_top(work, name, periodic),
                   "OpenMM .psf": from_psf(work, name, periodic)}
        reference = results["LAMMPS"]
        for engine, found in results.items():
            for term in TERMS:
                scale = max(abs(reference[term]), 1e-6)
                if abs(found[term] - reference[term]) > TOLERANCE * scale:
                    raise CheckFailed(f"{name}: {term} {found[term]:.8g} kcal/mol from {engine}, "
                                      f"{reference[term]:.8g} from LAMMPS")
        print(name, {t: round(reference[t], 6) for t in TERMS})


class Tools:
    def __init__(self, args):
        self.wrapping, self.topoconv = (str(Path(p).absolute()) for p in (args.wrapping, args.topoconv))


if __name__ == "__main__":
    sys.exit(run_check(__doc__, {"engines": energies},
              {"wrapping": "the wrapping program", "topoconv": "the topoconv program"},
              lambda args: Tools(args)))
