#!/bin/sh
# Renders the pictures of the README from our own output with PyMOL, headless
# (Debian package pymol):
#
#   docs/pictures/make_pictures.sh [path of wrapping]
#
# Without an argument, wrapping is taken from PATH; topoconv and assemble are
# taken from beside it, or else from PATH.  It writes, beside this script:
#   tube_10_10.png   a (10,10) tube, 40 Angstrom long
#   rolling_8_4.png  the scenes of "wrapping 8 4 -w 4 -xx" side by side: the
#                    (8,4) sheet closing into the tube in four steps
#   ends_8_4.png     an open (8,4) tube, 25 Angstrom long, its ends trimmed
#                    and terminated with hydrogen by topoconv --hydrogenate
#   walls_end.png    the double wall (5,5)@(10,10) of assemble, 30 Angstrom
#                    long, seen along its axis
#   walls_oblique.png  the same double wall seen at a slant
#   bundle_end.png   a bundle of seven (10,10) tubes of assemble, seen along
#                    their axes
#   bn_10_10.png     a boron nitride (10,10) tube of assemble --species BN
#   stone_wales.png  a (10,10) tube with two Stone-Wales defects, the atoms
#                    of their pentagons and heptagons in red
set -eu

here=$(cd "$(dirname "$0")" && pwd)
wrapping=$(command -v "${1:-wrapping}") || {
  echo "wrapping not found: give its path, or put it on PATH" >&2
  exit 1
}
case $wrapping in /*) ;; *) wrapping=$PWD/$wrapping ;; esac
topoconv=$(dirname "$wrapping")/topoconv
[ -x "$topoconv" ] || topoconv=$(command -v topoconv) || {
  echo "topoconv not found beside $wrapping or on PATH" >&2
  exit 1
}
assemble=$(dirname "$wrapping")/assemble
[ -x "$assemble" ] || assemble=$(command -v assemble) || {
  echo "assemble not found beside $wrapping or on PATH" >&2
  exit 1
}
# PyMOL's launcher runs the first python3 on PATH; its modules are installed
# for Debian's interpreter.
PATH=/usr/bin:$PATH
export PATH
command -v pymol >/dev/null || {
  echo "pymol not found (Debian package pymol)" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Ball-and-stick in grey on white, without perspective; bonds are found by
# PyMOL itself.
cat >style.pml <<'PML'
hide everything
show sticks
show spheres
set sphere_scale, 0.2
set stick_radius, 0.09
color grey50, elem C
bg_color white
set ray_opaque_background, 1
set orthoscopic, 1
set antialias, 2
set ray_shadows, 0
set specular, 0.3
PML

# fit_view width, height: centres the structure as seen from the camera and
# sets the camera distance so that it fills the picture, with a margin.
cat >fit_view.py <<'PY'
import math
from pymol import cmd

def fit_view(width, height, margin=1.08):
    width, height, margin = float(width), float(height), float(margin)
    view = list(cmd.get_view())
    rotation = [view[0:3], view[3:6], view[6:9]]   # model -> camera, by columns
    atoms = cmd.get_model("all").atom
    screen = [[sum(a.coord[i] * rotation[i][axis] for i in range(3)) for a in atoms]
              for axis in (0, 1, 2)]
    centre = [sum(a.coord[i] for a in atoms) / len(atoms) for i in range(3)]
    shift = [0.5 * (max(screen[axis]) + min(screen[axis]))
             - sum(centre[i] * rotation[i][axis] for i in range(3)) for axis in (0, 1)]
    half_width = margin * 0.5 * max(max(screen[0]) - min(screen[0]),
                                    (max(screen[1]) - min(screen[1])) * width / height)
    distance = (half_width * height / width
                / math.tan(math.radians(float(cmd.get("field_of_view"))) / 2))
    view[9:12] = [0.0, 0.0, -distance]
    view[12:15] = [centre[i] + shift[0] * rotation[i][0] + shift[1] * rotation[i][1]
                   for i in range(3)]
    # Clipping planes just around the structure, so that the fog of depth
    # cueing makes the far side paler than the near one.
    depth = sum(centre[i] * rotation[i][2] for i in range(3))
    view[15] = distance - (max(screen[2]) - depth) - 2.0
    view[16] = distance + (depth - min(screen[2])) + 2.0
    cmd.set_view(view)

cmd.extend("fit_view", fit_view)
PY

# A (10,10) tube along x, seen at a slant.
"$wrapping" 10 10 -l 40 -xx -f tube.xyz >/dev/null
cat >tube.pml <<PML
load tube001.xyz, tube
@style.pml
run fit_view.py
orient
turn y, 35
turn x, 15
fit_view 1000, 640
png $here/tube_10_10.png, width=1000, height=640, ray=1
PML
pymol -cq tube.pml

# The scenes of the rolling (8,4) sheet, set side by side in y, flat sheet
# first.  The tube lies along x and the sheet is bent in y and z; the view
# is tilted from the axis so that the bending shows.
"$wrapping" 8 4 -w 4 -xx -f roll.xyz >/dev/null
{
  for scene in 1 2 3 4 5; do
    echo "load roll00$scene.xyz, scene$scene"
    echo "translate [0, $(( (5 - scene) * 32 )), 0], scene$scene, camera=0"
  done
  cat <<PML
@style.pml
run fit_view.py
orient
turn x, -55
fit_view 1600, 420
png $here/rolling_8_4.png, width=1600, height=420, ray=1
PML
} >rolling.pml
pymol -cq rolling.pml

# A hydrogen-terminated (8,4) tube along z, seen from the side and a little
# from one end, with the bonds of the PDB file (CONECT records); the
# hydrogens are small and white.
"$wrapping" 8 4 -l 25 -az -f ends.dat >/dev/null
"$topoconv" --hydrogenate ends.dat ends.pdb >/dev/null
cat >ends.pml <<PML
set connect_mode, 1
load ends.pdb, ends
@style.pml
color white, elem H
set sphere_scale, 0.15, elem H
run fit_view.py
orient
turn y, 40
turn x, 15
fit_view 1000, 640
png $here/ends_8_4.png, width=1000, height=640, ray=1
PML
pymol -cq ends.pml

# The double wall (5,5)@(10,10) of assemble along z, its ends trimmed of the
# atoms with fewer than two bonds; the bonds are the PDB file's and each wall
# is one residue: the inner wall blue, the outer grey.  PyMOL's camera looks
# along z at first: end-on with perspective, so that the inside of the walls
# shows (with a wider margin: the near end looks larger than the middle),
# then at a slant.
"$assemble" --wall 5,5 --wall 10,10 --length 30 --trim walls.pdb >/dev/null
cat >walls.pml <<PML
set connect_mode, 1
load walls.pdb, walls
@style.pml
color slate, resi 1
run fit_view.py
set orthoscopic, 0
fit_view 560, 560, 1.45
png $here/walls_end.png, width=560, height=560, ray=1
set orthoscopic, 1
orient
turn y, 35
turn x, 15
fit_view 780, 500
png $here/walls_oblique.png, width=780, height=500, ray=1
PML
pymol -cq walls.pml

# Seven (10,10) tubes in a hexagonal bundle, 3.2 Angstrom apart, 20 Angstrom
# long, seen along their axes with perspective.
"$assemble" --bundle 7 --wall 10,10 --length 20 --trim bundle.pdb >/dev/null
cat >bundle.pml <<PML
set connect_mode, 1
load bundle.pdb, bundle
@style.pml
run fit_view.py
set orthoscopic, 0
fit_view 720, 640, 1.25
png $here/bundle_end.png, width=720, height=640, ray=1
PML
pymol -cq bundle.pml

# A boron nitride (10,10) tube along z, seen at a slant: boron salmon,
# nitrogen blue (Jmol's colours, as the viewer shows them).
"$assemble" --wall 10,10 --species BN --length 30 --trim bn.pdb >/dev/null
cat >bn.pml <<PML
set connect_mode, 1
load bn.pdb, bn
@style.pml
color salmon, elem B
color blue, elem N
run fit_view.py
orient
turn y, 35
turn x, 15
fit_view 1000, 640
png $here/bn_10_10.png, width=1000, height=640, ray=1
PML
pymol -cq bn.pml

# A (10,10) tube with two Stone-Wales defects: the report names the atoms of
# each turned bond as written, and the rings through them (two pentagons and
# two heptagons each) are red.  The camera faces the first defect.
report=$("$assemble" --wall 10,10 --length 40 --stone-wales 2 --seed 4 sw.pdb)
ids=$(printf '%s\n' "$report" | sed -n 's/^Stone-Wales defects.*: //p' | tr ' -' '++')
first=$(printf '%s\n' "$report" | sed -n 's/^Stone-Wales defects.*: \([0-9]*\)-\([0-9]*\).*/\1+\2/p')
cat >sw.pml <<PML
load sw.pdb, sw
@style.pml
select turned, id $ids
select rings, byring turned
color red, rings
run fit_view.py
orient id $first
fit_view 1000, 640
png $here/stone_wales.png, width=1000, height=640, ray=1
PML
pymol -cq sw.pml

ls -l "$here"/*.png
