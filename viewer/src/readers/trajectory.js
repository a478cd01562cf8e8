// The trajectory file: three integers (lead, atoms per scene, scenes), three
// box lengths, two numbers no program interprets, then the x y z of every
// atom of every scene.  Line breaks mean nothing; anything after the last
// announced scene is not looked at.
import { NumberStream, ReadError } from './numbers.js';
import { checkSize, boxFromBounds, NO_POSITIONS } from './limits.js';

// The box is not placed by the file: the builder puts the atoms either
// around the origin (the default) or from the origin on.  Along each axis
// the box goes where the middle of the first scene's atoms says.
function placeBox(lengths, positions, count) {
  if (!lengths.every((l) => Number.isFinite(l) && l > 0)) return null;
  const min = [];
  const max = [];
  for (let axis = 0; axis < 3; ++axis) {
    let low = Infinity;
    let high = -Infinity;
    for (let i = 0; i < count; ++i) {
      const c = positions[3 * i + axis];
      if (c < low) low = c;
      if (c > high) high = c;
    }
    const from = count > 0 && (low + high) / 2 >= lengths[axis] / 4 ? 0 : -lengths[axis] / 2;
    min.push(from);
    max.push(from + lengths[axis]);
  }
  return boxFromBounds(min, max);
}

// Where the k-th number of scene s stands, for a message.
const where = (s, k) => `scene ${s}, atom ${Math.floor(k / 3) + 1}`;

export function readTrajectory(bytes) {
  const input = new NumberStream(bytes);
  input.readInt();  // lead: not interpreted
  const atoms = input.readInt();
  const scenes = input.readInt();
  const lengths = [input.readReal(), input.readReal(), input.readReal()];
  input.readReal();
  input.readReal();
  if (atoms < 0) throw new ReadError(`negative number of atoms ${atoms}`);
  if (scenes < 0) throw new ReadError(`negative number of scenes ${scenes}`);
  if (scenes === 0) throw new ReadError('the header announces no scene');
  checkSize(atoms, scenes, bytes.length);

  const result = [];
  for (let s = 1; s <= scenes; ++s) {
    const positions = atoms > 0 ? new Float64Array(3 * atoms) : NO_POSITIONS;
    for (let k = 0; k < 3 * atoms; ++k) {
      let value;
      try {
        value = input.readReal();
      } catch (error) {
        throw new ReadError(`${where(s, k)}: ${error.message}`);
      }
      if (!Number.isFinite(value)) {
        throw new ReadError(`${where(s, k)}: the ${'xyz'[k % 3]} coordinate is not a finite number`);
      }
      positions[k] = value;
    }
    result.push({ positions, bonds: null, kinds: null });
  }
  return {
    format: 'trajectory',
    atomCount: atoms,
    elements: null,
    scenes: result,
    bondRule: 'stored-unit',
    box: placeBox(lengths, result[0].positions, atoms),
    periodic: null,
    molecules: null,
  };
}
