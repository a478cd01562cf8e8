#!/bin/sh
# A double-walled tube: a (5,5) tube inside a (10,10) tube of the same length.
#
#   sh double_wall.sh        (in this directory, with the programs on PATH)
#
# builds both walls, joins them atom by atom into dwnt.dat (200 inner atoms
# first, then 400 outer ones; dwnt_outer.dat is used up by the join) and
# converts the result into dwnt001.xyz for a viewer.
set -e
wrapping dwnt_inner.prm
wrapping dwnt_outer.prm
scenejoin dwnt.dat dwnt_outer.dat
xyzframes dwnt.dat dwnt.xyz
