import { ReadError } from './numbers.js';

// What the viewer takes on: beyond these a file is refused with a message
// before anything is allocated for it, never left to freeze the tab.
export const MAX_ATOMS = 2000000;        // atoms per scene
export const MAX_POSITIONS = 20000000;   // atoms x scenes held at once

export function checkSize(atoms, scenes) {
  if (atoms > MAX_ATOMS) {
    throw new ReadError(`${atoms} atoms per scene are more than the viewer shows (at most ${MAX_ATOMS})`);
  }
  if (atoms * scenes > MAX_POSITIONS) {
    throw new ReadError(`${atoms} atoms x ${scenes} scenes are more than the viewer holds ` +
      `(at most ${MAX_POSITIONS} atom positions)`);
  }
}

// A box as every reader gives it: a corner and three edge vectors; null
// when the bounds do not describe one.
export function boxFromBounds(min, max) {
  const sizes = max.map((high, axis) => high - min[axis]);
  if (!sizes.every((size) => Number.isFinite(size) && size > 0)) return null;
  return { origin: min, vectors: [[sizes[0], 0, 0], [0, sizes[1], 0], [0, 0, sizes[2]]] };
}
