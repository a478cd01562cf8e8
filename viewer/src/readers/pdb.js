// PDB files, fixed columns: CRYST1 (the cell), ATOM/HETATM (serial, x y z,
// element), CONECT (the bonds of an atom, four partners a record),
// MODEL/ENDMDL around each scene, and a REMARK naming the periodic axes.
// Serial numbers past 99,999 are hybrid-36 (A0000 = 100000).
import { ReadError, parseReal, quoted } from './numbers.js';
import { checkSize } from './limits.js';

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

function cellVectors(a, b, c, alpha, beta, gamma) {
  const rad = Math.PI / 180;
  const cosA = Math.cos(alpha * rad);
  const cosB = Math.cos(beta * rad);
  const cosG = Math.cos(gamma * rad);
  const sinG = Math.sin(gamma * rad);
  // Exact right angles give an exactly rectangular cell.
  const clean = (v) => (Math.abs(v) < 1e-12 ? 0 : v);
  const cx = clean(c * cosB);
  const cy = clean((c * (cosA - cosB * cosG)) / sinG);
  return [
    [a, 0, 0],
    [clean(b * cosG), clean(b * sinG), 0],
    [cx, cy, Math.sqrt(Math.max(0, c * c - cx * cx - cy * cy))],
  ];
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

export function readPdb(text) {
  const lines = text.split('\n');
  const models = [];
  let current = null;
  let box = null;
  let periodic = null;
  const serials = new Map();  // serial number -> atom index, from the first model
  const conect = [];
  lines.forEach((raw, row) => {
    const line = raw.replace(/\r$/, '');
    const record = line.slice(0, 6).trim();
    const fail = (reason) => { throw new ReadError(`line ${row + 1}: ${reason}`); };
    if (record === 'MODEL') {
      current = { positions: [], elements: [] };
      models.push(current);
    } else if (record === 'ENDMDL') {
      current = null;
    } else if (record === 'ATOM' || record === 'HETATM') {
      if (current === null) {
        if (models.length > 0 && !models[models.length - 1].open) fail('an atom outside MODEL/ENDMDL after a model');
        current = { positions: [], elements: [], open: true };
        models.push(current);
      }
      const xyz = [line.slice(30, 38), line.slice(38, 46), line.slice(46, 54)].map((f) => parseReal(f.trim()));
      if (!xyz.every(Number.isFinite)) fail(`x y z are expected in columns 31-54: ${quoted(line)}`);
      if (models.length === 1) {
        const serial = hybrid36(line.slice(6, 11), 5);
        if (Number.isNaN(serial)) fail(`an atom serial number is expected in columns 7-11: ${quoted(line)}`);
        serials.set(serial, current.positions.length / 3);
      }
      current.positions.push(...xyz);
      const element = line.slice(76, 78).trim() || line.slice(12, 16).trim().replace(/[^A-Za-z]/g, '').slice(0, 1);
      current.elements.push(element ? element[0].toUpperCase() + element.slice(1).toLowerCase() : 'C');
      checkSize(current.elements.length, models.length);
    } else if (record === 'CONECT') {
      const from = hybrid36(line.slice(6, 11), 5);
      if (Number.isNaN(from)) fail(`an atom serial number is expected in columns 7-11: ${quoted(line)}`);
      for (let at = 11; at < 31; at += 5) {
        const to = hybrid36(line.slice(at, at + 5), 5);
        if (!Number.isNaN(to)) conect.push([from, to, row]);
      }
    } else if (record === 'CRYST1') {
      const values = [[6, 15], [15, 24], [24, 33], [33, 40], [40, 47], [47, 54]]
        .map(([a, b]) => parseReal(line.slice(a, b).trim()));
      if (!values.every(Number.isFinite)) fail(`the cell a b c alpha beta gamma is expected: ${quoted(line)}`);
      box = { origin: [0, 0, 0], vectors: cellVectors(...values) };
    } else if (record === 'REMARK' && /periodic/i.test(line)) {
      const axes = /periodic[^:]*:\s*([xyz]+|none)\b/i.exec(line);
      if (axes) periodic = ['x', 'y', 'z'].map((axis) => axes[1].toLowerCase().includes(axis));
    }
  });
  if (models.length === 0 || models[0].elements.length === 0) throw new ReadError('no ATOM or HETATM record');
  const count = models[0].elements.length;
  models.forEach((model, k) => {
    if (model.elements.length !== count) {
      throw new ReadError(`model ${k + 1} has ${model.elements.length} atoms where model 1 has ${count}`);
    }
  });
  const pairs = [];
  const seen = new Set();
  for (const [from, to, row] of conect) {
    const i = serials.get(from);
    const j = serials.get(to);
    if (i === undefined || j === undefined) {
      throw new ReadError(`line ${row + 1}: CONECT names atom ${i === undefined ? from : to}, which no ATOM record has`);
    }
    if (i === j) continue;
    const [a, b] = i < j ? [i, j] : [j, i];
    const key = a * 4294967296 + b;
    if (seen.has(key)) continue;
    seen.add(key);
    pairs.push(a, b);
  }
  const bonds = Uint32Array.from(pairs);
  if (box) box.origin = centredOrigin(box, models[0].positions);
  return {
    format: 'pdb',
    atomCount: count,
    elements: models[0].elements,
    // Without CONECT records the bonds are found by distance.
    scenes: models.map((model) => ({ positions: Float64Array.from(model.positions), bonds: conect.length ? bonds : null, kinds: null })),
    bondRule: conect.length ? null : 'distance',
    box,
    periodic,
  };
}
