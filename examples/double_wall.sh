#!/bin/sh
# A double-walled tube: a (5,5) tube inside a (10,10) tube, coaxial along x,
# 10 periods of 2.494 Angstrom long (both armchair walls share the period, so
# neither is strained), on the ideal sheet of bond length 1.44 Angstrom.
#
#   sh double_wall.sh        (in this directory, with the programs on PATH)
#
# writes dwnt.dat (200 inner atoms first, then 400 outer ones; a trajectory
# for the other converters), converts it into dwnt001.xyz for a viewer, and
# writes the same double wall periodic along its axis as a LAMMPS data file,
# each wall one molecule, with the bonds through the boundary.
set -e
assemble --wall 5,5 --wall 10,10 --lattice ideal:1.44 --cells 10 --axis x dwnt.dat
xyzframes dwnt.dat dwnt.xyz
assemble --wall 5,5 --wall 10,10 --lattice ideal:1.44 --cells 10 --axis x --periodic dwnt.data
