// LAMMPS data files as topoconv and assemble write them (and as LAMMPS's
// write_data lays them out): a title line, the header (counts, the box
// bounds, the tilt factors of a slanted box), then sections, each a heading
// line followed by lines of numbers.  Read: the atoms, the atom types, the
// box, Masses, Atoms and Bonds; every other section is skipped.  One file
// holds one scene.  A "#" starts a comment anywhere on a line.
import { ReadError, parseInteger, parseReal, quoted, scanReal } from './numbers.js';
import { checkSize, isCell, MAX_BONDS_PER_ATOM } from './limits.js';
import { BondSet } from './bonds.js';
import { Lines, isBlank, tokens } from './lines.js';

// The atom styles read, by the name on the Atoms heading: the column of the
// molecule id (or null), of the type and of x (y and z follow it).  Three
// image flags may follow z.
const STYLES = {
  full: { columns: 7, molecule: 1, type: 2, x: 4 },
  molecular: { columns: 6, molecule: 1, type: 2, x: 3 },
  bond: { columns: 6, molecule: 1, type: 2, x: 3 },
  angle: { columns: 6, molecule: 1, type: 2, x: 3 },
  charge: { columns: 6, molecule: null, type: 1, x: 3 },
  atomic: { columns: 5, molecule: null, type: 1, x: 2 },
};

// Without a style on the heading, the column count of the first atom line
// decides (6 and 9 could be charge as well; our files are molecular).
const STYLE_BY_COLUMNS = { 5: 'atomic', 8: 'atomic', 6: 'molecular', 9: 'molecular', 7: 'full', 10: 'full' };

// The sections a data file may hold; all but Masses, Atoms and Bonds are
// skipped.  Any "... Coeffs" heading is a section of force field
// coefficients.
const SECTIONS = new Set(['Atoms', 'Masses', 'Bonds', 'Velocities', 'Angles', 'Dihedrals', 'Impropers',
  'Ellipsoids', 'Lines', 'Triangles', 'Bodies']);

// The standard atomic masses of the elements a file of ours may hold, and
// of a few more, for a Masses line without its element comment.
const MASSES = [['H', 1.008], ['He', 4.0026], ['Li', 6.94], ['B', 10.81], ['C', 12.011], ['N', 14.007],
  ['O', 15.999], ['F', 18.998], ['Na', 22.99], ['Mg', 24.305], ['Al', 26.982], ['Si', 28.085], ['P', 30.974],
  ['S', 32.06], ['Cl', 35.45], ['K', 39.098], ['Ca', 40.078], ['Fe', 55.845], ['Ni', 58.693], ['Cu', 63.546],
  ['Zn', 65.38], ['Ga', 69.723], ['Ge', 72.63], ['Ag', 107.87], ['Pt', 195.08], ['Au', 196.97]];

function elementOfMass(mass) {
  let best = MASSES[0];
  for (const entry of MASSES) if (Math.abs(entry[1] - mass) < Math.abs(best[1] - mass)) best = entry;
  return best[0];
}

// A line split at its comment: [the data, the comment (trimmed, '' without one)].
function splitComment(line) {
  const hash = line.indexOf('#');
  return hash < 0 ? [line, ''] : [line.slice(0, hash), line.slice(hash + 1).trim()];
}

const isNumber = (word) => scanReal(word)?.[1] === word.length;

// Data lines start with a number ("nan" and "inf" too, to be refused as
// such); any other line that is not blank is a section heading.
const isHeading = (data) => !isBlank(data) && !isNumber(tokens(data, 1)[0]);

export function readLammps(text) {
  const lines = new Lines(text);
  const fail = (reason) => { throw new ReadError(`line ${lines.row + 1}: ${reason}`); };
  lines.advance();  // the title
  const header = readHeader(lines, fail);
  const atoms = header.atoms;
  if (atoms === null) throw new ReadError('the header gives no atom count ("N atoms")');
  // A file of N bytes holds fewer than N / 3 coordinates: checked before
  // anything is allocated for the atoms the header announces.
  checkSize(atoms, 1, text.length);
  if (header.bonds > atoms * MAX_BONDS_PER_ATOM / 2) {
    throw new ReadError(`${header.bonds} bonds for ${atoms} atoms: more than ${MAX_BONDS_PER_ATOM} per atom`);
  }
  const data = { header, positions: new Float64Array(3 * atoms), types: null, molecules: null, masses: new Map(), bonds: null };
  const seen = new Set();
  while (!lines.done) {
    const [heading, comment] = splitComment(lines.current);
    const name = heading.trim().replace(/\s+/g, ' ');
    if (!SECTIONS.has(name) && !/^\w+ Coeffs$/.test(name)) fail(`a section heading is expected: ${quoted(lines.current.trim())}`);
    if (seen.has(name)) fail(`a second ${name} section`);
    seen.add(name);
    const start = lines.row;
    lines.advance();
    if (name === 'Atoms') readAtoms(lines, fail, data, comment, start);
    else if (name === 'Masses') readMasses(lines, fail, data);
    else if (name === 'Bonds') readBonds(lines, fail, data, start);
    else skipSection(lines);
  }
  if (!seen.has('Atoms') && atoms > 0) throw new ReadError(`no Atoms section for the ${atoms} atoms of the header`);
  if (header.bonds > 0 && !seen.has('Bonds')) throw new ReadError(`no Bonds section for the ${header.bonds} bonds of the header`);
  return model(data);
}

// The header: "N atoms", "N atom types", "N bonds" (other counts are
// skipped), "lo hi xlo xhi" for each axis, "xy xz yz"; up to the first
// section heading.  The comment "# periodic" or "# open" on a bound's line
// (as our programs write it) tells whether the axis repeats.
function readHeader(lines, fail) {
  const header = { atoms: null, types: 0, bonds: 0, lo: [], hi: [], tilt: [0, 0, 0], periodic: [null, null, null] };
  for (; !lines.done; lines.advance()) {
    const [data, comment] = splitComment(lines.current);
    if (isBlank(data)) continue;
    if (isHeading(data)) break;
    // Numbers first ("nan" and "inf" among them, to be refused as such),
    // then the keyword.
    const words = tokens(data, 8);
    let split = 0;
    while (split < words.length && isNumber(words[split])) ++split;
    const numbers = words.slice(0, split);
    const keyword = words.slice(split).join(' ');
    const count = () => {
      const value = parseInteger(numbers[0]);
      if (numbers.length !== 1 || !(value >= 0)) fail(`a count is expected before ${quoted(keyword)}: ${quoted(lines.current.trim())}`);
      return value;
    };
    const axis = ['xlo xhi', 'ylo yhi', 'zlo zhi'].indexOf(keyword);
    if (keyword === 'atoms') header.atoms = count();
    else if (keyword === 'atom types') header.types = count();
    else if (keyword === 'bonds') header.bonds = count();
    else if (axis >= 0) {
      const [lo, hi] = numbers.map(parseReal);
      if (numbers.length !== 2 || !Number.isFinite(lo) || !Number.isFinite(hi)) {
        fail(`the bounds "lo hi ${keyword}" are expected: ${quoted(lines.current.trim())}`);
      }
      if (!(hi > lo)) fail(`the box's ${keyword} bounds ${lo} ${hi} enclose nothing`);
      header.lo[axis] = lo;
      header.hi[axis] = hi;
      if (/^periodic\b/i.test(comment)) header.periodic[axis] = true;
      if (/^open\b/i.test(comment)) header.periodic[axis] = false;
    } else if (keyword === 'xy xz yz') {
      const tilt = numbers.map(parseReal);
      if (tilt.length !== 3 || !tilt.every(Number.isFinite)) fail(`the tilt factors "xy xz yz" are expected: ${quoted(lines.current.trim())}`);
      header.tilt = tilt;
    } else if (numbers.length === 0 || keyword === '') {
      fail(`a header line "count keyword" is expected: ${quoted(lines.current.trim())}`);
    }
    // Other counts (angles, dihedrals, their types, extra per-atom slots) are not needed.
  }
  return header;
}

// Lines up to the next heading, blank ones left out; each given to `take`
// with its data part split into at most `limit` tokens.
function eachDataLine(lines, limit, take) {
  for (; !lines.done; lines.advance()) {
    const [data] = splitComment(lines.current);
    if (isBlank(data)) continue;
    if (isHeading(data)) return;
    take(tokens(data, limit));
  }
}

function skipSection(lines) {
  eachDataLine(lines, 1, () => {});
}

function readMasses(lines, fail, { header, masses }) {
  eachDataLine(lines, 3, (fields) => {
    const type = parseInteger(fields[0]);
    const mass = parseReal(fields[1] ?? '');
    if (!(type >= 1 && type <= header.types)) fail(`Masses: atom type ${quoted(fields[0])} where the header has types 1 to ${header.types}`);
    if (!(mass > 0 && Number.isFinite(mass))) fail(`Masses: a mass is expected for type ${type}: ${quoted(lines.current.trim())}`);
    // The element our programs name in the comment, else the nearest mass's.
    const named = /^([A-Z][a-z]?)\b/.exec(splitComment(lines.current)[1]);
    masses.set(type, named ? named[1] : elementOfMass(mass));
  });
}

function readAtoms(lines, fail, data, comment, headingRow) {
  const { header, positions } = data;
  const atoms = header.atoms;
  let style = null;
  const named = /^\s*(\S+)/.exec(comment)?.[1];
  if (named !== undefined) {
    style = STYLES[named];
    if (!style) fail(`Atoms: the atom style ${quoted(named)} is not read (full, molecular, bond, angle, charge, atomic)`);
  }
  data.types = new Uint32Array(atoms);
  const molecule = new Float64Array(atoms);
  const seen = new Uint8Array(atoms);
  let count = 0;
  eachDataLine(lines, 12, (fields) => {
    if (style === null) {
      style = STYLES[STYLE_BY_COLUMNS[fields.length]];
      if (!style) fail(`Atoms: ${fields.length} columns, which no atom style read has (5 to 10)`);
    }
    if (fields.length !== style.columns && fields.length !== style.columns + 3) {
      fail(`Atoms: ${fields.length} columns where this atom style has ${style.columns} (or ${style.columns + 3} with image flags)`);
    }
    const id = parseInteger(fields[0]);
    if (!(id >= 1 && id <= atoms)) fail(`Atoms: atom id ${quoted(fields[0])} where ids run from 1 to the ${atoms} atoms of the header`);
    if (seen[id - 1]) fail(`Atoms: atom ${id} a second time`);
    seen[id - 1] = 1;
    ++count;
    const type = parseInteger(fields[style.type]);
    if (!(type >= 1 && type <= header.types)) fail(`atom ${id}: type ${quoted(fields[style.type])} where the header has types 1 to ${header.types}`);
    data.types[id - 1] = type;
    if (style.molecule !== null) {
      const mol = parseInteger(fields[style.molecule]);
      if (!(mol >= 0 && Number.isSafeInteger(mol))) fail(`atom ${id}: a molecule id is expected: ${quoted(fields[style.molecule])}`);
      molecule[id - 1] = mol;
    }
    for (let k = 1; k < style.x; ++k) {
      if (k !== style.type && k !== style.molecule && !Number.isFinite(parseReal(fields[k]))) {
        fail(`atom ${id}: column ${k + 1} is not a number: ${quoted(fields[k])}`);
      }
    }
    for (let a = 0; a < 3; ++a) {
      const value = parseReal(fields[style.x + a]);
      if (!Number.isFinite(value)) fail(`atom ${id}: the ${'xyz'[a]} coordinate is not a number: ${quoted(fields[style.x + a])}`);
      positions[3 * (id - 1) + a] = value;
    }
    // Image flags: whole numbers, read but not applied.  The positions as
    // written lie in the box, and bonds through its periodic boundaries are
    // left out of the drawing as for every periodic file.
    for (let k = style.x + 3; k < fields.length; ++k) {
      if (Number.isNaN(parseInteger(fields[k]))) fail(`atom ${id}: an image flag is expected: ${quoted(fields[k])}`);
    }
  });
  if (count !== atoms) {
    throw new ReadError(`line ${headingRow + 1}: the Atoms section has ${count} atoms where the header announces ${atoms}`);
  }
  if (style && style.molecule !== null) data.molecules = molecule;
}

function readBonds(lines, fail, data, headingRow) {
  const { header } = data;
  const atoms = header.atoms;
  const found = new BondSet(atoms, (atom) => fail(`atom ${atom + 1} is bonded to more than ${MAX_BONDS_PER_ATOM} ` +
    'others: the structure is not a molecule'));
  let count = 0;
  eachDataLine(lines, 5, (fields) => {
    if (fields.length !== 4) fail(`Bonds: "id type atom atom" is expected: ${quoted(lines.current.trim())}`);
    if (++count > header.bonds) fail(`Bonds: more bonds than the ${header.bonds} of the header`);
    const [a, b] = [fields[2], fields[3]].map(parseInteger);
    for (const [atom, field] of [[a, fields[2]], [b, fields[3]]]) {
      if (!(atom >= 1 && atom <= atoms)) fail(`Bonds: bond ${fields[0]} names atom ${quoted(field)}, which is not among atoms 1 to ${atoms}`);
    }
    if (a === b) fail(`Bonds: bond ${fields[0]} joins atom ${a} to itself`);
    if (Number.isNaN(parseInteger(fields[0])) || Number.isNaN(parseInteger(fields[1]))) {
      fail(`Bonds: "id type atom atom" is expected: ${quoted(lines.current.trim())}`);
    }
    found.add(Math.min(a, b) - 1, Math.max(a, b) - 1);
  });
  if (count !== header.bonds) {
    throw new ReadError(`line ${headingRow + 1}: the Bonds section has ${count} bonds where the header announces ${header.bonds}`);
  }
  data.bonds = found.take();
}

// The box: the corner (xlo, ylo, zlo) and the edge vectors (lx, 0, 0),
// (xy, ly, 0), (xz, yz, lz).  An axis without bounds has LAMMPS's default
// ones, -0.5 to 0.5; a file without any has no box.  Without our comments
// every axis repeats, as LAMMPS's default boundary has it.
function boxOf(header) {
  if (header.lo.length === 0) return { box: null, periodic: null };
  const lo = [0, 1, 2].map((a) => header.lo[a] ?? -0.5);
  const length = [0, 1, 2].map((a) => (header.hi[a] ?? 0.5) - lo[a]);
  const [xy, xz, yz] = header.tilt;
  const vectors = [[length[0], 0, 0], [xy, length[1], 0], [xz, yz, length[2]]];
  if (!isCell(vectors)) throw new ReadError('the box bounds and tilt factors make no cell');
  return { box: { origin: lo, vectors }, periodic: header.periodic.map((flag) => flag ?? true) };
}

function model({ header, positions, types, molecules, masses, bonds }) {
  const atoms = header.atoms;
  const elements = new Array(atoms);
  for (let i = 0; i < atoms; ++i) elements[i] = masses.get(types[i]) ?? 'C';
  const { box, periodic } = boxOf(header);
  return {
    format: 'lammps',
    atomCount: atoms,
    elements,
    // Without a Bonds section (atom style atomic, or no bonded terms) the
    // bonds are found by distance.
    scenes: [{ positions, bonds, kinds: null }],
    bondRule: bonds ? null : 'distance',
    box,
    periodic,
    molecules: molecules && moleculesOf(molecules),
  };
}

// The molecule ids, numbered in the order of their first atom; topoconv
// numbers its molecules from 1 in that order, so molecule k is id k.
function moleculesOf(ids) {
  const index = new Map();
  const of = new Uint32Array(ids.length);
  for (let i = 0; i < ids.length; ++i) {
    if (!index.has(ids[i])) index.set(ids[i], index.size);
    of[i] = index.get(ids[i]);
  }
  return { of, count: index.size, names: [...index.keys()].map(String), label: 'molecule ID' };
}
