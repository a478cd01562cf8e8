#!/usr/bin/python3
"""Runs a periodic tube that topoconv wrote for GROMACS in OpenMM.

    wrapping 10 10 -u 10 -az -f tube.dat
    topoconv --periodic z --format gromacs tube.dat tube.top
    python3 openmm_tube.py tube            # reads tube.top and tube.gro

OpenMM reads the topology and the coordinates, minimizes the energy and runs
NVT dynamics at 300 K (10 ps by default; a second argument gives the number
of 1 fs steps), then prints the longest bond.  The tube is bonded to itself
through the periodic boundary along its axis, so its bonded forces must take
the nearest image, as GROMACS does with periodic-molecules = yes: OpenMM
computes bonded forces without periodic images unless told, and the tube
would fold in on itself.
"""

import sys

import openmm
from openmm import app, unit

name = sys.argv[1] if len(sys.argv) > 1 else "tube"
steps = int(sys.argv[2]) if len(sys.argv) > 2 else 10000

gro = app.GromacsGroFile(name + ".gro")
top = app.GromacsTopFile(name + ".top", periodicBoxVectors=gro.getPeriodicBoxVectors())
system = top.createSystem(nonbondedMethod=app.CutoffPeriodic,
                          nonbondedCutoff=1.0 * unit.nanometer)
for force in system.getForces():
    if isinstance(force, (openmm.HarmonicBondForce, openmm.HarmonicAngleForce,
                          openmm.PeriodicTorsionForce, openmm.CustomTorsionForce)):
        force.setUsesPeriodicBoundaryConditions(True)

integrator = openmm.LangevinMiddleIntegrator(300 * unit.kelvin, 1 / unit.picosecond,
                                             0.001 * unit.picoseconds)
simulation = app.Simulation(top.topology, system, integrator,
                            openmm.Platform.getPlatformByName("CPU"))
simulation.context.setPositions(gro.positions)
simulation.minimizeEnergy()
simulation.reporters.append(app.StateDataReporter(sys.stdout, max(steps // 10, 1), step=True,
                                                  potentialEnergy=True, temperature=True))
simulation.step(steps)

# The longest bond at the end, through the nearest image.
state = simulation.context.getState(getPositions=True)
positions = state.getPositions(asNumpy=True).value_in_unit(unit.angstrom)
box = [v.value_in_unit(unit.angstrom) for v in state.getPeriodicBoxVectors()]
longest = 0.0
for bond in top.topology.bonds():
    d = positions[bond[1].index] - positions[bond[0].index]
    for k in (2, 1, 0):
        d = d - box[k] * round(d[k] / box[k][k])
    longest = max(longest, float((d ** 2).sum()) ** 0.5)
print(f"longest bond {longest:.3f} Angstrom")
