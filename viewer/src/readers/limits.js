import { ReadError } from './numbers.js';

// What the viewer takes on: beyond these a file is refused with a message
// before anything is allocated for it, never left to freeze the tab.
export const MAX_ATOMS = 2000000;        // atoms per scene
export const MAX_POSITIONS = 20000000;   // atom positions held at once, scenes' bookkeeping included
// A scene's own bookkeeping (its objects and arrays, some 300 to 400 bytes)
// weighs as much as this many atom positions (24 bytes each): many scenes of
// few atoms, or of none, fill the memory as surely as many atoms do.
export const SCENE_OVERHEAD = 16;
// Bonds per atom.  Carbon forms 3; an atom with more than this many is no
// chemistry but atoms on top of each other, whose pairs would grow with the
// square of their number.
export const MAX_BONDS_PER_ATOM = 12;

// The positions of every scene without atoms: one array for all of them.
export const NO_POSITIONS = new Float64Array(0);

// `fileSize`, when given: the bytes of the file that holds the scenes.  A
// file of N bytes holds at most N scenes and at most N coordinates (every
// number takes a byte at least), so a header cannot announce more scenes
// than the file could hold, whatever its atom count.
export function checkSize(atoms, scenes, fileSize = Infinity) {
  if (atoms > MAX_ATOMS) {
    throw new ReadError(`${atoms} atoms per scene are more than the viewer shows (at most ${MAX_ATOMS})`);
  }
  if (scenes * Math.max(1, 3 * atoms) > fileSize) {
    throw new ReadError(`the header announces ${scenes} scenes of ${atoms} atoms, more than a file of ` +
      `${fileSize} bytes can hold (at most a scene and a coordinate per byte)`);
  }
  if ((atoms + SCENE_OVERHEAD) * scenes > MAX_POSITIONS) {
    throw new ReadError(`${atoms} atoms x ${scenes} scenes are more than the viewer holds ` +
      `(at most ${MAX_POSITIONS} atom positions, each scene counted as ${SCENE_OVERHEAD} more)`);
  }
}

// The same for scenes of unequal size while they are read: `positions` atom
// positions in all.
export function checkHeld(positions, scenes) {
  if (positions + SCENE_OVERHEAD * scenes > MAX_POSITIONS) {
    throw new ReadError(`${positions} atom positions in ${scenes} scenes are more than the viewer holds ` +
      `(at most ${MAX_POSITIONS}, each scene counted as ${SCENE_OVERHEAD} more)`);
  }
}

// A box as every reader gives it: a corner and three edge vectors; null
// when the bounds do not describe one.
export function boxFromBounds(min, max) {
  const sizes = max.map((high, axis) => high - min[axis]);
  if (!sizes.every((size) => Number.isFinite(size) && size > 0)) return null;
  return { origin: min, vectors: [[sizes[0], 0, 0], [0, sizes[1], 0], [0, 0, sizes[2]]] };
}

// Whether three edge vectors make a cell: finite, none of length zero, and
// not flat (the volume a fair share of the product of the lengths).
export function isCell(vectors) {
  const lengths = vectors.map((v) => Math.hypot(...v));
  if (!vectors.flat().every(Number.isFinite) || !lengths.every((l) => Number.isFinite(l) && l > 0)) return false;
  const [a, b, c] = vectors;
  const volume = a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
    a[2] * (b[0] * c[1] - b[1] * c[0]);
  return Math.abs(volume) > 1e-9 * lengths[0] * lengths[1] * lengths[2];
}
