// PDB files, fixed columns: CRYST1 (the cell), ATOM/HETATM (serial, chain
// and residue, x y z, element), CONECT (the bonds of an atom, four partners a record),
// MODEL/ENDMDL around each scene, and a REMARK naming the periodic axes.
// Serial numbers past 99,999 are hybrid-36 (A0000 = 100000).
import { ReadError, parseReal, quoted } from './numbers.js';
import { checkHeld, checkSize, isCell, MAX_BONDS_PER_ATOM } from './limits.js';
import { BondSet } from './bonds.js';
import { Lines } from './lines.js';

const DIGITS36 = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ';

function base36(text) {
  let value = 0;
  for (const ch of text) {
    const digit = DIGITS36.indexOf(ch.toUpperCase());
    if (digit < 0) return NaN;
    value = value * 36 + digit;
  }
  return value;
}

// A hybrid-36 field of `width` characters (blank-padded decimal below
// 10^width, then A000.. upper case, then a000.. lower case); NaN when blank
// or invalid.
export function hybrid36(field, width) {
  const text = field.trim();
  if (text === '') return NaN;
  if (/^-?\d+$/.test(text)) return Number(text);
  if (text.length !== width) return NaN;
  if (/^[A-Z][0-9A-Z]*$/.test(text)) return base36(text) - 10 * 36 ** (width - 1) + 10 ** width;
  if (/^[a-z][0-9a-z]*$/.test(text)) return base36(text) + 16 * 36 ** (width - 1) + 10 ** width;
  return NaN;
}

// The edge vectors of the cell a b c alpha beta gamma (degrees); null when
// they make no cell: a length not above zero, an angle not between 0 and
// 180 degrees, or angles that close no cell.
function cellVectors(a, b, c, alpha, beta, gamma) {
  if (![a, b, c].every((length) => length > 0) || ![alpha, beta, gamma].every((angle) => angle > 0 && angle < 180)) {
    return null;
  }
  const rad = Math.PI / 180;
  const cosA = Math.cos(alpha * rad);
  const cosB = Math.cos(beta * rad);
  const cosG = Math.cos(gamma * rad);
  const sinG = Math.sin(gamma * rad);
  // Exact right angles give an exactly rectangular cell.
  const clean = (v) => (Math.abs(v) < 1e-12 ? 0 : v);
  const cx = clean(c * cosB);
  const cy = clean((c * (cosA - cosB * cosG)) / sinG);
  const vectors = [
    [a, 0, 0],
    [clean(b * cosG), clean(b * sinG), 0],
    [cx, cy, Math.sqrt(Math.max(0, c * c - cx * cx - cy * cy))],
  ];
  return isCell(vectors) ? vectors : null;
}

// The periodic axes a REMARK names after "periodic" and a colon ("REMARK
// 1 PERIODIC AXES: z"), or null.  The first colon after an occurrence of
// the word is the one that counts; the line is scanned once.
export function periodicAxes(line) {
  const word = /periodic/gi;
  while (word.exec(line) !== null) {
    const colon = line.indexOf(':', word.lastIndex);
    if (colon < 0) return null;
    const axes = /^\s*([xyz]+|none)\b/i.exec(line.slice(colon + 1));
    if (axes) return ['x', 'y', 'z'].map((axis) => axes[1].toLowerCase().includes(axis));
    word.lastIndex = colon + 1;
  }
  return null;
}

// CRYST1 gives the cell's edges but not where it stands: it is drawn
// centred on the atoms of the first model.
function centredOrigin(box, positions) {
  return [0, 1, 2].map((axis) => {
    let low = Infinity;
    let high = -Infinity;
    for (let k = axis; k < positions.length; k += 3) {
      low = Math.min(low, positions[k]);
      high = Math.max(high, positions[k]);
    }
    const span = box.vectors[0][axis] + box.vectors[1][axis] + box.vectors[2][axis];
    return (low + high) / 2 - span / 2;
  });
}

// Two passes over the lines, none of them kept: the first reads the atoms
// and checks the CONECT records' own numbers, the second, once the serial
// numbers of the atoms are known, the bonds the CONECT records name, each
// kept once (BondSet), so that repeated records take no memory.
export function readPdb(text) {
  const models = [];
  let current = null;
  let box = null;
  let periodic = null;
  let held = 0;  // atoms of all models
  let partners = 0;  // partners named by CONECT records
  const serials = new Map();  // serial number -> atom index, from the first model
  const serialOf = [];  // atom index -> serial number
  const elements = [];  // of the first model
  const residues = new Map();  // chain, residue number and insertion code -> molecule, from the first model
  let residueOf = [];  // atom index -> molecule
  let named = false;  // whether any atom names a residue
  for (const lines = new Lines(text); !lines.done; lines.advance()) {
    const line = lines.current.replace(/\r$/, '');
    const record = line.slice(0, 6).trim();
    const fail = (reason) => { throw new ReadError(`line ${lines.row + 1}: ${reason}`); };
    if (record === 'MODEL') {
      current = { positions: [], count: 0 };
      models.push(current);
      checkHeld(held, models.length);
    } else if (record === 'ENDMDL') {
      current = null;
    } else if (record === 'ATOM' || record === 'HETATM') {
      if (current === null) {
        if (models.length > 0 && !models[models.length - 1].open) fail('an atom outside MODEL/ENDMDL after a model');
        current = { positions: [], count: 0, open: true };
        models.push(current);
      }
      const xyz = [line.slice(30, 38), line.slice(38, 46), line.slice(46, 54)].map((f) => parseReal(f.trim()));
      if (!xyz.every(Number.isFinite)) fail(`x y z are expected in columns 31-54: ${quoted(line)}`);
      if (models.length === 1) {
        const serial = hybrid36(line.slice(6, 11), 5);
        if (Number.isNaN(serial)) fail(`an atom serial number is expected in columns 7-11: ${quoted(line)}`);
        serials.set(serial, current.count);
        serialOf.push(serial);
        const element = line.slice(76, 78).trim() || line.slice(12, 16).trim().replace(/[^A-Za-z]/g, '').slice(0, 1);
        elements.push(element ? element[0].toUpperCase() + element.slice(1).toLowerCase() : 'C');
        // Columns 22-27: the chain, the residue number and its insertion code.
        const residue = line.slice(21, 27).trim().replace(/\s+/g, ' ');
        if (residue !== '') named = true;
        if (!residues.has(residue)) residues.set(residue, residues.size);
        residueOf.push(residues.get(residue));
      }
      current.positions.push(xyz[0], xyz[1], xyz[2]);
      ++current.count;
      ++held;
      checkSize(current.count, 1);
      checkHeld(held, models.length);
    } else if (record === 'CONECT') {
      const from = hybrid36(line.slice(6, 11), 5);
      if (Number.isNaN(from)) fail(`an atom serial number is expected in columns 7-11: ${quoted(line)}`);
      for (let at = 11; at < 31; at += 5) if (!Number.isNaN(hybrid36(line.slice(at, at + 5), 5))) ++partners;
    } else if (record === 'CRYST1') {
      const values = [[6, 15], [15, 24], [24, 33], [33, 40], [40, 47], [47, 54]]
        .map(([a, b]) => parseReal(line.slice(a, b).trim()));
      if (!values.every(Number.isFinite)) fail(`the cell a b c alpha beta gamma is expected: ${quoted(line)}`);
      const vectors = cellVectors(...values);
      box = vectors && { origin: [0, 0, 0], vectors };
    } else if (record === 'REMARK' && /periodic/i.test(line)) {
      periodic = periodicAxes(line) ?? periodic;
    }
  }
  if (models.length === 0 || models[0].count === 0) throw new ReadError('no ATOM or HETATM record');
  const count = models[0].count;
  models.forEach((model, k) => {
    if (model.count !== count) {
      throw new ReadError(`model ${k + 1} has ${model.count} atoms where model 1 has ${count}`);
    }
  });
  const bonds = partners > 0 ? conectBonds(text, serials, serialOf) : null;
  const scenes = models.map((model) => {
    const positions = Float64Array.from(model.positions);
    model.positions = null;
    return { positions, bonds, kinds: null };
  });
  if (box) box.origin = centredOrigin(box, scenes[0].positions);
  const molecules = named ? { of: Uint32Array.from(residueOf), count: residues.size, names: [...residues.keys()] } : null;
  residueOf = null;
  return {
    format: 'pdb',
    atomCount: count,
    elements,
    // Without CONECT records the bonds are found by distance.
    scenes,
    bondRule: bonds ? null : 'distance',
    box,
    periodic,
    // The residues are the molecules (topoconv writes one per molecule).
    molecules,
  };
}

// The bonds of the CONECT records as index pairs, in the order first named.
function conectBonds(text, serials, serialOf) {
  let row = 0;
  const found = new BondSet(serialOf.length, (atom) => {
    throw new ReadError(`line ${row + 1}: CONECT bonds atom ${serialOf[atom]} to more than ${MAX_BONDS_PER_ATOM} ` +
      'others: the structure is not a molecule');
  });
  for (const lines = new Lines(text); !lines.done; lines.advance()) {
    const line = lines.current.replace(/\r$/, '');
    if (line.slice(0, 6).trim() !== 'CONECT') continue;
    row = lines.row;
    const from = hybrid36(line.slice(6, 11), 5);
    for (let at = 11; at < 31; at += 5) {
      const to = hybrid36(line.slice(at, at + 5), 5);
      if (Number.isNaN(to)) continue;
      const i = serials.get(from);
      const j = serials.get(to);
      if (i === undefined || j === undefined) {
        throw new ReadError(`line ${row + 1}: CONECT names atom ${i === undefined ? from : to}, which no ATOM record has`);
      }
      if (i !== j) found.add(Math.min(i, j), Math.max(i, j));
    }
  }
  return found.take();
}
