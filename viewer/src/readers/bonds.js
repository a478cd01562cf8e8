// Bonds by distance, in time linear in the number of atoms: the atoms are
// binned into cubic cells a quarter wider than the cut-off, and only atoms
// of the same or neighbouring cells are compared.  The distance test itself
// decides every pair, so the result equals comparing all pairs.  An atom
// with more than MAX_BONDS_PER_ATOM bonds ends the search with a ReadError:
// atoms on top of each other would otherwise give a number of pairs that
// grows with the square of theirs.
import { ReadError } from './numbers.js';
import { MAX_BONDS_PER_ATOM } from './limits.js';

// Two atoms closer than this (Angstrom, strictly) are bonded.
export const BOND_CUTOFF = 1.8;
// Two atoms that differ by at most this much along every axis are closer
// than the cut-off (1.8 / sqrt(3) is 1.039).
const SURELY_BONDED = 1;

// The message for an atom found with too many bonds by distance.
function crowded(atom) {
  return new ReadError(`atom ${atom + 1} has more than ${MAX_BONDS_PER_ATOM} neighbours closer than ` +
    `${BOND_CUTOFF} Angstrom: atoms sit on top of each other, the structure is not a molecule ` +
    `(at most ${MAX_BONDS_PER_ATOM} bonds per atom)`);
}

// Bonds given as index pairs (neighbour lists, CONECT records), each kept
// once, in the order first given, with at most `most` partners per atom;
// `tooMany(atom)` is called (and must throw) for an atom given one more.
export class BondSet {
  constructor(atoms, tooMany, most = MAX_BONDS_PER_ATOM) {
    this.most = most;
    this.tooMany = tooMany;
    this.partners = new Uint32Array(atoms * most);
    this.degree = new Uint8Array(atoms);
    this.pairs = new Uint32Array(64);
    this.length = 0;
  }

  // The bond a-b, a < b.
  add(a, b) {
    const { most, partners, degree } = this;
    for (let k = a * most, end = k + degree[a]; k < end; ++k) if (partners[k] === b) return;
    if (degree[a] === most) this.tooMany(a);
    if (degree[b] === most) this.tooMany(b);
    partners[a * most + degree[a]++] = b;
    partners[b * most + degree[b]++] = a;
    if (this.length + 2 > this.pairs.length) {
      const grown = new Uint32Array(2 * this.pairs.length);
      grown.set(this.pairs);
      this.pairs = grown;
    }
    this.pairs[this.length++] = a;
    this.pairs[this.length++] = b;
  }

  // The pairs so far, and a fresh start for another scene.
  take() {
    const pairs = this.pairs.slice(0, this.length);
    this.degree.fill(0);
    this.length = 0;
    return pairs;
  }
}

const WINDOW = 2 ** 16;          // cells on each side of the median along one axis
const SPAN = 2 * WINDOW + 3;     // cells along one axis, an empty one at each end
const NEIGHBOURS = [];           // key steps to the 13 neighbour cells with a larger key
for (let a = -1; a <= 1; ++a) {
  for (let b = -1; b <= 1; ++b) {
    for (let c = -1; c <= 1; ++c) {
      const step = (a * SPAN + b) * SPAN + c;
      if (step > 0) NEIGHBOURS.push(step);
    }
  }
}

function median(positions, axis, count) {
  const values = new Float64Array(count);
  for (let i = 0; i < count; ++i) values[i] = positions[3 * i + axis];
  values.sort();
  return count > 0 ? values[count >> 1] : 0;
}

function hash(key, mask) {
  const high = Math.floor(key / 4294967296);
  const low = key - high * 4294967296;
  return (Math.imul(low | 0, 0x9e3779b1) ^ Math.imul(high | 0, 0x85ebca77) ^ (low >>> 16)) & mask;
}

// Every pair i < j of the `count` atoms at `positions` (x, y, z interleaved,
// all finite) for which close(i, j) holds, as a Uint32Array of index pairs.
// close(i, j) must imply that the two positions differ by at most `reach` on
// every axis.  Cells beyond the window around the median (coordinates far
// out of any real structure) are merged into its edge cells: no close pair
// is lost, they are only compared in larger groups.
//
// With `limit` ({most, sure, tooMany}), tooMany(atom) is called (and must
// throw) for the first atom found close to more than `most` others; `sure`:
// close(i, j) holds whenever the positions differ by at most that much on
// every axis.  Then a cell too full for every atom in it to have `most`
// partners or fewer is refused before its pairs are compared, so the search
// takes time linear in the atoms whatever their positions.
export function closePairs(positions, count, reach, close, limit = null) {
  const width = reach * 1.25 + 1e-9;
  const centre = [0, 1, 2].map((axis) => median(positions, axis, count));
  const keys = new Float64Array(count);
  for (let i = 0; i < count; ++i) {
    let key = 0;
    for (let axis = 0; axis < 3; ++axis) {
      let u = Math.floor((positions[3 * i + axis] - centre[axis]) / width);
      u = Math.min(WINDOW, Math.max(-WINDOW, u)) + WINDOW + 1;
      key = key * SPAN + u;
    }
    keys[i] = key;
  }

  // Cells by open addressing: slot -> cell number + 1.
  let size = 16;
  while (size < 2 * count) size *= 2;
  const mask = size - 1;
  const slots = new Int32Array(size);
  const cellKey = [];
  const cellOf = new Int32Array(count);
  const find = (key) => {
    let slot = hash(key, mask);
    while (slots[slot] !== 0 && cellKey[slots[slot] - 1] !== key) slot = (slot + 1) & mask;
    return slot;
  };
  for (let i = 0; i < count; ++i) {
    const slot = find(keys[i]);
    if (slots[slot] === 0) {
      cellKey.push(keys[i]);
      slots[slot] = cellKey.length;
    }
    cellOf[i] = slots[slot] - 1;
  }
  // The atoms sorted by cell, by index within a cell.
  const cells = cellKey.length;
  const begin = new Int32Array(cells + 1);
  for (let i = 0; i < count; ++i) ++begin[cellOf[i] + 1];
  for (let c = 0; c < cells; ++c) begin[c + 1] += begin[c];
  const fill = begin.slice(0, cells);
  const order = new Int32Array(count);
  for (let i = 0; i < count; ++i) order[fill[cellOf[i]]++] = i;
  if (limit) {
    for (let c = 0; c < cells; ++c) checkCrowding(positions, order.subarray(begin[c], begin[c + 1]), centre, width, limit);
  }

  let pairs = new Uint32Array(Math.max(16, 4 * count));
  let found = 0;
  const degree = new Uint8Array(limit ? count : 0);
  const most = limit ? limit.most : Infinity;
  const test = (i, j) => {
    if (i > j) [i, j] = [j, i];
    if (!close(i, j)) return;
    if (limit) {
      if (++degree[i] > most) limit.tooMany(i);
      if (++degree[j] > most) limit.tooMany(j);
    }
    if (found + 2 > pairs.length) {
      const grown = new Uint32Array(2 * pairs.length);
      grown.set(pairs);
      pairs = grown;
    }
    pairs[found++] = i;
    pairs[found++] = j;
  };
  for (let c = 0; c < cells; ++c) {
    const first = begin[c];
    const last = begin[c + 1];
    for (let a = first; a < last; ++a) {
      for (let b = a + 1; b < last; ++b) test(order[a], order[b]);
    }
    for (const step of NEIGHBOURS) {
      const slot = slots[find(cellKey[c] + step)];
      if (slot === 0) continue;
      const other = slot - 1;
      for (let a = first; a < last; ++a) {
        for (let b = begin[other]; b < begin[other + 1]; ++b) test(order[a], order[b]);
      }
    }
  }
  return pairs.slice(0, found);
}

// A cell of more atoms than its parts (cubes of side `sure` at most) can
// hold with `most` partners each: the first atom of a part that holds more
// than `most + 1` is given to tooMany.  Cells at the edge of the window are
// left to the search: their atoms may lie far apart.
function checkCrowding(positions, atoms, centre, width, { most, sure, tooMany }) {
  const parts = Math.ceil(width / sure);
  if (atoms.length <= parts ** 3 * (most + 1)) return;
  const members = new Int32Array(parts ** 3);
  const first = new Int32Array(parts ** 3).fill(-1);
  for (const i of atoms) {
    let part = 0;
    for (let axis = 0; axis < 3; ++axis) {
      const t = (positions[3 * i + axis] - centre[axis]) / width;
      const u = Math.floor(t);
      if (Math.abs(u) >= WINDOW) return;
      part = part * parts + Math.min(parts - 1, Math.floor((t - u) * parts));
    }
    ++members[part];
    if (first[part] < 0 || i < first[part]) first[part] = i;
  }
  let atom = -1;
  for (let part = 0; part < members.length; ++part) {
    if (members[part] > most + 1 && (atom < 0 || first[part] < atom)) atom = first[part];
  }
  tooMany(atom);
}

const BY_DISTANCE = { most: MAX_BONDS_PER_ATOM, sure: SURELY_BONDED, tooMany: (atom) => { throw crowded(atom); } };

// The bonds of the converters that find them from a trajectory's positions
// rounded to the pv file's stored unit of 0.01 Angstrom (half up): the
// distance comes from the integer differences scaled to Angstrom.
export function storedUnitBonds(positions, count) {
  const stored = new Float64Array(3 * count);
  const binned = new Float64Array(3 * count);
  for (let k = 0; k < 3 * count; ++k) {
    stored[k] = Math.floor(positions[k] * 100 + 0.5);
    binned[k] = stored[k] * 0.01;
  }
  return closePairs(binned, count, BOND_CUTOFF, (i, j) => {
    const dx = (stored[3 * i] - stored[3 * j]) * 0.01;
    const dy = (stored[3 * i + 1] - stored[3 * j + 1]) * 0.01;
    const dz = (stored[3 * i + 2] - stored[3 * j + 2]) * 0.01;
    return Math.sqrt(dx * dx + dy * dy + dz * dz) < BOND_CUTOFF;
  }, BY_DISTANCE);
}

// The bonds of the TINKER writer: the distance at the precision read.
export function distanceBonds(positions, count) {
  return closePairs(positions, count, BOND_CUTOFF, (i, j) => {
    const dx = positions[3 * i] - positions[3 * j];
    const dy = positions[3 * i + 1] - positions[3 * j + 1];
    const dz = positions[3 * i + 2] - positions[3 * j + 2];
    return Math.sqrt(dx * dx + dy * dy + dz * dz) < BOND_CUTOFF;
  }, BY_DISTANCE);
}
