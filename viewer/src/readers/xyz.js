// The XYZ family, one or more frames per file, each frame one scene:
// - XMOL: the atom count alone on a line, a title line, then "El x y z" per
//   atom;
// - extended XYZ: the same with key=value pairs on the title line
//   (Lattice="...", Properties=..., pbc="T F F", Origin="...");
// - TINKER: the atom count and the title on one line, then per atom its
//   number, name, x y z, type and the numbers of its neighbours.
// Values are white-space separated tokens; each column holds one number.
import { ReadError, parseInteger, parseReal, quoted } from './numbers.js';
import { checkSize, isCell, MAX_BONDS_PER_ATOM, NO_POSITIONS } from './limits.js';
import { BondSet } from './bonds.js';
import { Lines, firstLines, isBlank, tokens } from './lines.js';

// Columns of an extended XYZ file beyond which a file is refused (real ones
// have a dozen).
const MAX_COLUMNS = 1000;

const isKeyCharacter = (c) => (c >= 48 && c <= 57) || (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c === 95 || c === 45;
const isKeyStart = (c) => (c >= 65 && c <= 90) || (c >= 97 && c <= 122) || c === 95;
const UNQUOTED = /\S*/y;

// The key=value pairs of an extended XYZ title line; values may be quoted.
// A key is a letter or "_" and then letters, digits, "_" and "-"; an
// unquoted value runs to the next white space, a quoted one to the next
// double quote (without one it is unquoted, the quote included).  A later
// key overrides an earlier one.  The line is scanned once from left to
// right, in time linear in its length whatever it holds.
function keyValues(line) {
  const pairs = new Map();
  let from = 0;
  for (let equals = line.indexOf('=', from); equals >= 0; equals = line.indexOf('=', from)) {
    let start = equals;
    while (start > from && isKeyCharacter(line.charCodeAt(start - 1))) --start;
    while (start < equals && !isKeyStart(line.charCodeAt(start))) ++start;
    if (start === equals) {
      from = equals + 1;
      continue;
    }
    const close = line[equals + 1] === '"' ? line.indexOf('"', equals + 2) : -1;
    let value;
    if (close >= 0) {
      value = line.slice(equals + 2, close);
      from = close + 1;
    } else {
      UNQUOTED.lastIndex = equals + 1;
      value = UNQUOTED.exec(line)[0];
      from = equals + 1 + value.length;
    }
    pairs.set(line.slice(start, equals).toLowerCase(), value);
  }
  return pairs;
}

function isTinkerAtomLine(fields) {
  return fields.length >= 6 && !Number.isNaN(parseInteger(fields[0])) &&
    [2, 3, 4].every((k) => !Number.isNaN(parseReal(fields[k]))) && !Number.isNaN(parseInteger(fields[5]));
}

// Which member of the family a text is, from its first lines.
export function xyzFlavour(lines) {
  const first = tokens(lines[0] ?? '', 2);
  if (first.length >= 2) return 'tinker';
  if (/\b(lattice|properties|pbc)=/i.test(lines[1] ?? '')) return 'extxyz';
  const second = tokens(lines[1] ?? '', 6);
  if (isTinkerAtomLine(second) && (parseInteger(first[0]) === 1 || isTinkerAtomLine(tokens(lines[2] ?? '', 6)))) {
    return 'tinker';
  }
  return 'xmol';
}

// The cell of Lattice (at Origin); null without a Lattice, or when its
// vectors make no cell (one of them zero, or all three in a plane).
function cellOf(pairs) {
  const lattice = pairs.get('lattice');
  if (lattice === undefined) return null;
  const numbers = tokens(lattice, 10).map(parseReal);
  if (numbers.length !== 9 || !numbers.every(Number.isFinite)) {
    throw new ReadError(`a Lattice of 9 numbers is expected: ${quoted(lattice)}`);
  }
  const origin = pairs.has('origin') ? tokens(pairs.get('origin'), 4).map(parseReal) : [0, 0, 0];
  if (origin.length !== 3 || !origin.every(Number.isFinite)) {
    throw new ReadError(`an Origin of 3 numbers is expected: ${quoted(pairs.get('origin'))}`);
  }
  const vectors = [numbers.slice(0, 3), numbers.slice(3, 6), numbers.slice(6, 9)];
  return isCell(vectors) ? { origin, vectors } : null;
}

function periodicOf(pairs) {
  const flags = pairs.get('pbc');
  if (flags === undefined) return null;
  const values = tokens(flags, 4).map((flag) => /^(t|true)$/i.test(flag) ? true : /^(f|false)$/i.test(flag) ? false : null);
  if (values.length !== 3 || values.includes(null)) throw new ReadError(`pbc flags "T" or "F" x 3 expected: ${quoted(flags)}`);
  return values;
}

// The columns of element and position from Properties=name:type:count:...
// (a later name overrides an earlier one).  Every count is a whole number
// from 1; pos has 3 columns, species 1.
function columnsOf(pairs) {
  const properties = pairs.get('properties');
  if (properties === undefined) return { species: 0, pos: 1 };
  // More parts than this make more than MAX_COLUMNS columns.
  const parts = properties.split(':', 3 * (MAX_COLUMNS + 1));
  const columns = {};
  let column = 0;
  for (let k = 0; k + 2 < parts.length; k += 3) {
    const name = parts[k].toLowerCase();
    const width = /^\d+$/.test(parts[k + 2]) ? Number(parts[k + 2]) : 0;
    if (width < 1) throw new ReadError(`Properties: ${quoted(parts[k])} has ${quoted(parts[k + 2])} columns`);
    if ((name === 'pos' && width !== 3) || (name === 'species' && width !== 1)) {
      throw new ReadError(`Properties: ${name} has ${quoted(parts[k + 2])} columns where ${name === 'pos' ? 3 : 1} ` +
        `${name === 'pos' ? 'are' : 'is'} expected`);
    }
    columns[name] = column;
    column += width;
    if (column > MAX_COLUMNS) throw new ReadError(`Properties of more than ${MAX_COLUMNS} columns: ${quoted(properties)}`);
  }
  if (columns.pos === undefined) throw new ReadError(`Properties without pos: ${quoted(properties)}`);
  return { species: columns.species ?? null, pos: columns.pos };
}

export function readXyz(text) {
  const flavour = xyzFlavour(firstLines(text, 3));
  const lines = new Lines(text);
  const frames = [];
  let elements = null;
  let box = null;
  let periodic = null;
  let count = null;
  let bonds = null;  // the neighbour lists of a TINKER frame
  const fail = (reason) => { throw new ReadError(`line ${lines.row + 1}: ${reason}`); };
  while (!lines.done && !isBlank(lines.current)) {
    const atoms = parseInteger(tokens(lines.current, 1)[0]);
    if (Number.isNaN(atoms) || atoms < 0) fail(`an atom count is expected: ${quoted(lines.current.trim())}`);
    if (count !== null && atoms !== count) fail(`${atoms} atoms where the first frame has ${count}`);
    checkSize(atoms, frames.length + 1);
    count = atoms;
    lines.advance();
    let columns = { species: 0, pos: 1 };
    if (flavour !== 'tinker') {
      if (lines.done) fail('the file ends before the title line');
      const pairs = keyValues(lines.current);
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
      lines.advance();
    } else {
      if (!lines.done && atoms > 0 && !isTinkerAtomLine(tokens(lines.current, 6))) {
        lines.advance();  // a periodic box line: a b c and three angles
      }
      bonds ??= new BondSet(atoms, (atom) => fail(`atom ${atom + 1} is bonded to more than ${MAX_BONDS_PER_ATOM} ` +
        'others: the structure is not a molecule'));
    }
    // The tokens an atom line is read for: in TINKER one more neighbour
    // than an atom may have, to tell that it has too many.
    const species = flavour === 'tinker' ? 1 : columns.species;
    const at = flavour === 'tinker' ? 2 : columns.pos;
    const wanted = flavour === 'tinker' ? 6 + MAX_BONDS_PER_ATOM + 1 : Math.max(at + 3, (species ?? 0) + 1);
    const positions = atoms > 0 ? new Float64Array(3 * atoms) : NO_POSITIONS;
    const names = elements === null ? new Array(atoms) : null;
    for (let i = 0; i < atoms; ++i, lines.advance()) {
      if (lines.done) fail(`the file ends after ${i} of the ${atoms} atoms of frame ${frames.length + 1}`);
      const fields = tokens(lines.current, wanted);
      if (flavour === 'tinker') {
        if (fields.length < 6) fail(`an atom line "number name x y z type neighbours" is expected: ${quoted(lines.current.trim())}`);
        if (parseInteger(fields[0]) !== i + 1) fail(`atom number ${quoted(fields[0])} where ${i + 1} is expected`);
        if (fields.length > 6 + MAX_BONDS_PER_ATOM) {
          fail(`atom ${i + 1} lists more than ${MAX_BONDS_PER_ATOM} neighbours: the structure is not a molecule`);
        }
        for (let k = 6; k < fields.length; ++k) {
          const neighbour = parseInteger(fields[k]);
          if (!(neighbour >= 1 && neighbour <= atoms) || neighbour === i + 1) {
            fail(`atom ${i + 1} lists ${quoted(fields[k])} as a neighbour (atoms 1 to ${atoms})`);
          }
          if (neighbour > i + 1) bonds.add(i, neighbour - 1);
          else bonds.add(neighbour - 1, i);
        }
      }
      if (fields.length < at + 3) fail(`atom ${i + 1}: x y z are expected: ${quoted(lines.current.trim())}`);
      for (let a = 0; a < 3; ++a) {
        const value = parseReal(fields[at + a]);
        if (!Number.isFinite(value)) fail(`atom ${i + 1}: the ${'xyz'[a]} coordinate is not a number: ${quoted(fields[at + a])}`);
        positions[3 * i + a] = value;
      }
      if (species !== null && fields.length <= species) {
        fail(`atom ${i + 1}: the species is expected in column ${species + 1}: ${quoted(lines.current.trim())}`);
      }
      if (names) names[i] = species === null ? 'C' : fields[species];
    }
    if (elements === null) elements = names;
    frames.push({ positions, bonds: flavour === 'tinker' ? bonds.take() : null, kinds: null });
  }
  if (frames.length === 0) throw new ReadError('no frame: the first line should hold the atom count');
  for (; !lines.done; lines.advance()) {
    if (!isBlank(lines.current)) fail(`unexpected text after the last frame: ${quoted(lines.current.trim())}`);
  }
  return {
    format: flavour,
    atomCount: count,
    elements: elements.map(elementSymbol),
    scenes: frames,
    bondRule: flavour === 'tinker' ? null : 'distance',
    box,
    periodic,
    molecules: null,
  };
}

// "C", "c", "C1" or "CA" as written by other programs: the element symbol
// the rendering library knows.
function elementSymbol(name) {
  const letters = /^[A-Za-z]{1,2}/.exec(name);
  if (!letters) return 'C';
  const symbol = letters[0];
  return symbol[0].toUpperCase() + symbol.slice(1).toLowerCase();
}
