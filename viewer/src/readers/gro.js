// GROMACS coordinates (.gro), one or more frames, each frame one scene: a
// title line, the atom count, a line per atom in fixed columns (residue
// number 1-5, residue name 6-10, atom name 11-15, atom number 16-20, then
// x y z in nm), and the box line.  The width of a coordinate is not fixed:
// as GROMACS does, it is taken from the distance between the first two
// decimal points of the first atom line (8 in GROMACS's own files, 16 in
// ours, which carry ten decimals).  Velocities after z are not read.
import { ReadError, parseInteger, parseReal, quoted } from './numbers.js';
import { checkSize, isCell, NO_POSITIONS } from './limits.js';
import { Lines, isBlank, tokens } from './lines.js';
import { periodicAxes } from './pdb.js';

const ANGSTROM_PER_NM = 10;
const FIRST_COORDINATE = 20;  // the column where x starts, from 0

// The width of a coordinate field: from the decimal point of x to that of y.
function coordinateWidth(line, fail) {
  const first = line.indexOf('.', FIRST_COORDINATE);
  const second = first < 0 ? -1 : line.indexOf('.', first + 1);
  if (second < 0) fail(`x y z with decimal points are expected from column ${FIRST_COORDINATE + 1}: ${quoted(line)}`);
  return second - first;
}

// The element of an atom name: "C", "C12", "Si", "B3"; in a name such as
// "CA" or "HB2" the second capital is part of the name, not of the symbol.
export function elementOfName(name) {
  const letters = /^[0-9]*([A-Za-z])([a-z])?/.exec(name);
  if (!letters) return 'C';
  return letters[1].toUpperCase() + (letters[2] ?? '');
}

// The box line: three lengths, or nine numbers v1(x) v2(y) v3(z) v1(y)
// v1(z) v2(x) v2(z) v3(x) v3(y); in nm.  Null when they make no cell (a
// box of zeros, as written for no box).
function boxOf(line, fail) {
  const fields = tokens(line, 10);
  const values = fields.map(parseReal);
  if ((values.length !== 3 && values.length !== 9) || !values.every(Number.isFinite)) {
    fail(`a box line of 3 or 9 numbers is expected: ${quoted(line.trim())}`);
  }
  const [ax, by, cz, ay = 0, az = 0, bx = 0, bz = 0, cx = 0, cy = 0] = values.map((v) => v * ANGSTROM_PER_NM);
  const vectors = [[ax, ay, az], [bx, by, bz], [cx, cy, cz]];
  return isCell(vectors) ? { origin: [0, 0, 0], vectors } : null;
}

export function readGro(text) {
  const lines = new Lines(text);
  const fail = (reason) => { throw new ReadError(`line ${lines.row + 1}: ${reason}`); };
  const frames = [];
  let count = null;
  let width = null;
  let title = '';
  let box = null;
  const elements = [];
  const residues = new Map();  // residue number and name -> molecule, from the first frame
  const residueOf = [];
  // The first frame's title may be blank; after it a blank line ends the frames.
  while (!lines.done && (frames.length === 0 || !isBlank(lines.current))) {
    if (frames.length === 0) title = lines.current;
    lines.advance();
    if (lines.done) fail('the file ends before the atom count');
    const atoms = parseInteger(lines.current.trim());
    if (Number.isNaN(atoms) || atoms < 0) fail(`an atom count is expected: ${quoted(lines.current.trim())}`);
    if (count !== null && atoms !== count) fail(`${atoms} atoms where the first frame has ${count}`);
    // A frame of N atoms takes N lines of at least 20 characters.
    checkSize(atoms, frames.length + 1, text.length);
    count = atoms;
    lines.advance();
    const positions = atoms > 0 ? new Float64Array(3 * atoms) : NO_POSITIONS;
    for (let i = 0; i < atoms; ++i, lines.advance()) {
      if (lines.done) fail(`the file ends after ${i} of the ${atoms} atoms of frame ${frames.length + 1}`);
      const line = lines.current.replace(/\r$/, '');
      width ??= coordinateWidth(line, fail);
      if (line.length < FIRST_COORDINATE + 2 * width + 1) {
        fail(`atom ${i + 1}: x y z of ${width} columns each are expected from column ${FIRST_COORDINATE + 1}: ${quoted(line)}`);
      }
      for (let a = 0; a < 3; ++a) {
        const from = FIRST_COORDINATE + a * width;
        const value = parseReal(line.slice(from, from + width).trim());
        if (!Number.isFinite(value)) {
          fail(`atom ${i + 1}: the ${'xyz'[a]} coordinate (columns ${from + 1}-${from + width}) is not a number: ` +
            quoted(line.slice(from, from + width)));
        }
        positions[3 * i + a] = value * ANGSTROM_PER_NM;
      }
      if (frames.length === 0) {
        const number = line.slice(0, 5).trim();
        if (Number.isNaN(parseInteger(number))) fail(`atom ${i + 1}: a residue number is expected in columns 1-5: ${quoted(line)}`);
        // The residue number and name: topoconv writes one residue per molecule.
        const residue = `${number} ${line.slice(5, 10).trim()}`;
        if (!residues.has(residue)) residues.set(residue, residues.size);
        residueOf.push(residues.get(residue));
        elements.push(elementOfName(line.slice(10, 15).trim()));
      }
    }
    if (lines.done || isBlank(lines.current)) fail(`the box line of frame ${frames.length + 1} is missing`);
    const frameBox = boxOf(lines.current, fail);
    if (frames.length === 0) box = frameBox;
    lines.advance();
    frames.push({ positions, bonds: null, kinds: null });
  }
  if (frames.length === 0) throw new ReadError('no frame: the first line should be a title, the second the atom count');
  for (; !lines.done; lines.advance()) {
    if (!isBlank(lines.current)) fail(`unexpected text after the last frame: ${quoted(lines.current.trim())}`);
  }
  return {
    format: 'gro',
    atomCount: count,
    elements,
    scenes: frames,
    bondRule: 'distance',
    box,
    // Our title names the periodic axes; otherwise every axis of a box
    // repeats, as GROMACS has it.
    periodic: box ? periodicAxes(title) ?? [true, true, true] : null,
    molecules: count > 0 ? { of: Uint32Array.from(residueOf), count: residues.size, names: [...residues.keys()] } : null,
  };
}
