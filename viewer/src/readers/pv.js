// The pv scene file (binary, little-endian, packed records): a 104-byte
// header, one 8-byte ball size per atom, then per scene one 7-byte record per
// atom (colour code, x y z as signed 16-bit values in 0.01 Angstrom) and the
// header's number of 5-byte bond slots (118 and two atom numbers from 1 for a
// bond, 255 for an empty slot).
import { ReadError } from './numbers.js';
import { checkSize, boxFromBounds, MAX_BONDS_PER_ATOM, NO_POSITIONS } from './limits.js';

export const PV_MAGIC = 'PV-01 /Tarvelmoundrix Laboratory';
const HEADER_SIZE = 104;
const ATOM_RECORD = 7;
const BOND_RECORD = 5;
const BOND_KIND = 118;
const EMPTY_SLOT = 255;

// The colour code: what the kind byte of an atom record says.
export const PV_KINDS = [
  { kind: 2, meaning: '3 bonds', color: 0x909090 },
  { kind: 10, meaning: '2 bonds', color: 0xff8c00 },
  { kind: 14, meaning: '1 bond', color: 0xe8202a },
  { kind: 15, meaning: 'no bond', color: 0xc040ff },
  { kind: 1, meaning: '4 or more bonds', color: 0x2060ff },
  { kind: 3, meaning: 'at the origin', color: 0x20b040 },
];
export const PV_OTHER_COLOR = 0x202020;

export function isPv(bytes) {
  if (bytes.length < PV_MAGIC.length) return false;
  for (let k = 0; k < PV_MAGIC.length; ++k) if (bytes[k] !== PV_MAGIC.charCodeAt(k)) return false;
  return true;
}

export function readPv(bytes) {
  if (!isPv(bytes)) throw new ReadError('not a pv scene file: it does not begin with the pv signature');
  if (bytes.length < HEADER_SIZE) {
    throw new ReadError(`the file ends inside the ${HEADER_SIZE}-byte header (${bytes.length} bytes)`);
  }
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const atoms = view.getUint16(34, true);
  const slots = view.getUint16(36, true);
  const scenes = view.getUint16(38, true);
  const bounds = [40, 48, 56, 64, 72, 80].map((at) => view.getFloat64(at, true));
  const sceneSize = ATOM_RECORD * atoms + BOND_RECORD * slots;
  const expected = HEADER_SIZE + 8 * atoms + scenes * sceneSize;
  if (bytes.length !== expected) {
    const whole = Math.max(0, Math.floor((bytes.length - HEADER_SIZE - 8 * atoms) / sceneSize || 0));
    throw new ReadError(`${bytes.length} bytes where the header (${atoms} atoms, ${slots} bond slots, ` +
      `${scenes} scenes) announces ${expected}` +
      (bytes.length < expected ? `: the file ends inside scene ${Math.min(whole, scenes - 1) + 1}` : ''));
  }
  if (scenes === 0) throw new ReadError('the header announces no scene');
  checkSize(atoms, scenes);

  const result = [];
  const degree = new Uint8Array(atoms);
  let at = HEADER_SIZE + 8 * atoms;
  for (let s = 1; s <= scenes; ++s) {
    const positions = atoms > 0 ? new Float64Array(3 * atoms) : NO_POSITIONS;
    const kinds = new Uint8Array(atoms);
    for (let i = 0; i < atoms; ++i, at += ATOM_RECORD) {
      kinds[i] = bytes[at];
      positions[3 * i] = view.getInt16(at + 1, true) * 0.01;
      positions[3 * i + 1] = view.getInt16(at + 3, true) * 0.01;
      positions[3 * i + 2] = view.getInt16(at + 5, true) * 0.01;
    }
    const pairs = new Uint32Array(2 * slots);
    let bonds = 0;
    degree.fill(0);
    for (let k = 1; k <= slots; ++k, at += BOND_RECORD) {
      const kind = bytes[at];
      if (kind === EMPTY_SLOT) continue;
      const first = view.getUint16(at + 1, true);
      const second = view.getUint16(at + 3, true);
      if (kind !== BOND_KIND) throw new ReadError(`scene ${s}, bond slot ${k}: unknown kind ${kind}`);
      if (first < 1 || second < 1 || first > atoms || second > atoms || first === second) {
        throw new ReadError(`scene ${s}, bond slot ${k}: a bond between atoms ${first} and ${second} ` +
          `of ${atoms}`);
      }
      for (const atom of [first, second]) {
        if (++degree[atom - 1] > MAX_BONDS_PER_ATOM) {
          throw new ReadError(`scene ${s}, bond slot ${k}: atom ${atom} is bonded to more than ` +
            `${MAX_BONDS_PER_ATOM} others: the structure is not a molecule`);
        }
      }
      pairs[bonds++] = first - 1;
      pairs[bonds++] = second - 1;
    }
    result.push({ positions, bonds: pairs.slice(0, bonds), kinds });
  }
  return {
    format: 'pv',
    atomCount: atoms,
    elements: null,
    scenes: result,
    bondRule: null,
    box: boxFromBounds([bounds[0], bounds[2], bounds[4]], [bounds[1], bounds[3], bounds[5]]),
    periodic: null,
    molecules: null,
  };
}
