// The XYZ family, one or more frames per file, each frame one scene:
// - XMOL: the atom count alone on a line, a title line, then "El x y z" per
//   atom;
// - extended XYZ: the same with key=value pairs on the title line
//   (Lattice="...", Properties=..., pbc="T F F", Origin="...");
// - TINKER: the atom count and the title on one line, then per atom its
//   number, name, x y z, type and the numbers of its neighbours.
// Values are white-space separated tokens; each column holds one number.
import { ReadError, parseInteger, parseReal, quoted } from './numbers.js';
import { checkSize } from './limits.js';

const SPACE = /[ \t\v\f\r]+/;

function tokens(line) {
  const trimmed = line.trim();
  return trimmed === '' ? [] : trimmed.split(SPACE);
}

// The key=value pairs of an extended XYZ title line; values may be quoted.
function keyValues(line) {
  const pairs = new Map();
  for (const match of line.matchAll(/([A-Za-z_][\w-]*)=(?:"([^"]*)"|(\S*))/g)) {
    pairs.set(match[1].toLowerCase(), match[2] ?? match[3]);
  }
  return pairs;
}

function isTinkerAtomLine(fields) {
  return fields.length >= 6 && !Number.isNaN(parseInteger(fields[0])) &&
    [2, 3, 4].every((k) => !Number.isNaN(parseReal(fields[k]))) && !Number.isNaN(parseInteger(fields[5]));
}

// Which member of the family a text is, from its first lines.
export function xyzFlavour(lines) {
  const first = tokens(lines[0] ?? '');
  if (first.length >= 2) return 'tinker';
  if (/\b(lattice|properties|pbc)=/i.test(lines[1] ?? '')) return 'extxyz';
  const second = tokens(lines[1] ?? '');
  if (isTinkerAtomLine(second) && (parseInteger(first[0]) === 1 || isTinkerAtomLine(tokens(lines[2] ?? '')))) {
    return 'tinker';
  }
  return 'xmol';
}

function cellOf(pairs) {
  const lattice = pairs.get('lattice');
  if (lattice === undefined) return null;
  const numbers = tokens(lattice).map(parseReal);
  if (numbers.length !== 9 || !numbers.every(Number.isFinite)) {
    throw new ReadError(`a Lattice of 9 numbers is expected: ${quoted(lattice)}`);
  }
  const origin = pairs.has('origin') ? tokens(pairs.get('origin')).map(parseReal) : [0, 0, 0];
  if (origin.length !== 3 || !origin.every(Number.isFinite)) {
    throw new ReadError(`an Origin of 3 numbers is expected: ${quoted(pairs.get('origin'))}`);
  }
  return { origin, vectors: [numbers.slice(0, 3), numbers.slice(3, 6), numbers.slice(6, 9)] };
}

function periodicOf(pairs) {
  const flags = pairs.get('pbc');
  if (flags === undefined) return null;
  const values = tokens(flags).map((flag) => /^(t|true)$/i.test(flag) ? true : /^(f|false)$/i.test(flag) ? false : null);
  if (values.length !== 3 || values.includes(null)) throw new ReadError(`pbc flags "T" or "F" x 3 expected: ${quoted(flags)}`);
  return values;
}

// The columns of element and position from Properties=name:type:count:...
function columnsOf(pairs) {
  const properties = pairs.get('properties');
  if (properties === undefined) return { species: 0, pos: 1 };
  const parts = properties.split(':');
  const columns = {};
  let column = 0;
  for (let k = 0; k + 2 < parts.length; k += 3) {
    columns[parts[k].toLowerCase()] = column;
    column += Number(parts[k + 2]);
  }
  if (columns.pos === undefined) throw new ReadError(`Properties without pos: ${quoted(properties)}`);
  return { species: columns.species ?? null, pos: columns.pos };
}

export function readXyz(text) {
  const lines = text.split('\n');
  const flavour = xyzFlavour(lines);
  const frames = [];
  let elements = null;
  let box = null;
  let periodic = null;
  let count = null;
  let row = 0;
  const fail = (reason) => { throw new ReadError(`line ${row + 1}: ${reason}`); };
  while (row < lines.length && tokens(lines[row]).length > 0) {
    const head = tokens(lines[row]);
    const atoms = parseInteger(head[0]);
    if (Number.isNaN(atoms) || atoms < 0) fail(`an atom count is expected: ${quoted(lines[row].trim())}`);
    if (count !== null && atoms !== count) fail(`${atoms} atoms where the first frame has ${count}`);
    checkSize(atoms, frames.length + 1);
    count = atoms;
    ++row;
    let columns = { species: 0, pos: 1 };
    if (flavour !== 'tinker') {
      if (row >= lines.length) fail('the file ends before the title line');
      const pairs = keyValues(lines[row]);
      try {
        if (flavour === 'extxyz') {
          columns = columnsOf(pairs);
          if (frames.length === 0) {
            box = cellOf(pairs);
            periodic = periodicOf(pairs);
          }
        }
      } catch (error) {
        fail(error.message);
      }
      ++row;
    } else if (row < lines.length && atoms > 0 && !isTinkerAtomLine(tokens(lines[row]))) {
      ++row;  // a periodic box line: a b c and three angles
    }
    const positions = new Float64Array(3 * atoms);
    const names = new Array(atoms);
    const pairs = [];
    for (let i = 0; i < atoms; ++i, ++row) {
      if (row >= lines.length) fail(`the file ends after ${i} of the ${atoms} atoms of frame ${frames.length + 1}`);
      const fields = tokens(lines[row]);
      if (flavour === 'tinker') {
        if (fields.length < 6) fail(`an atom line "number name x y z type neighbours" is expected: ${quoted(lines[row].trim())}`);
        if (parseInteger(fields[0]) !== i + 1) fail(`atom number ${quoted(fields[0])} where ${i + 1} is expected`);
        for (let k = 6; k < fields.length; ++k) {
          const neighbour = parseInteger(fields[k]);
          if (!(neighbour >= 1 && neighbour <= atoms) || neighbour === i + 1) {
            fail(`atom ${i + 1} lists ${quoted(fields[k])} as a neighbour (atoms 1 to ${atoms})`);
          }
          if (neighbour > i + 1) pairs.push(i, neighbour - 1);
          else pairs.push(neighbour - 1, i);
        }
      }
      const at = flavour === 'tinker' ? 2 : columns.pos;
      if (fields.length < at + 3) fail(`atom ${i + 1}: x y z are expected: ${quoted(lines[row].trim())}`);
      for (let a = 0; a < 3; ++a) {
        const value = parseReal(fields[at + a]);
        if (!Number.isFinite(value)) fail(`atom ${i + 1}: the ${'xyz'[a]} coordinate is not a number: ${quoted(fields[at + a])}`);
        positions[3 * i + a] = value;
      }
      const species = flavour === 'tinker' ? 1 : columns.species;
      names[i] = species === null ? 'C' : fields[species];
    }
    if (elements === null) elements = names;
    frames.push({ positions, bonds: flavour === 'tinker' ? uniquePairs(pairs) : null, kinds: null });
  }
  if (frames.length === 0) throw new ReadError('no frame: the first line should hold the atom count');
  while (row < lines.length) {
    if (tokens(lines[row]).length > 0) fail(`unexpected text after the last frame: ${quoted(lines[row].trim())}`);
    ++row;
  }
  return {
    format: flavour,
    atomCount: count,
    elements: elements.map(elementSymbol),
    scenes: frames,
    bondRule: flavour === 'tinker' ? null : 'distance',
    box,
    periodic,
  };
}

// Each bond of the neighbour lists once (both atoms list it).
function uniquePairs(list) {
  const pairs = [];
  const seen = new Set();
  for (let k = 0; k < list.length; k += 2) {
    const key = list[k] * 4294967296 + list[k + 1];
    if (seen.has(key)) continue;
    seen.add(key);
    pairs.push(list[k], list[k + 1]);
  }
  return Uint32Array.from(pairs);
}

// "C", "c", "C1" or "CA" as written by other programs: the element symbol
// the rendering library knows.
function elementSymbol(name) {
  const letters = /^[A-Za-z]{1,2}/.exec(name);
  if (!letters) return 'C';
  const symbol = letters[0];
  return symbol[0].toUpperCase() + symbol.slice(1).toLowerCase();
}
