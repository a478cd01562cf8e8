// Opening files: which reader a file needs, several XYZ files as the scenes
// of one animation, and the bonds of a scene when the file does not store
// them.  Everything here works on bytes and plain data, with no page around
// it; a failure is a ReadError whose message names the file and the reason.
import { ReadError } from './numbers.js';
import { isPv, readPv } from './pv.js';
import { readTrajectory } from './trajectory.js';
import { readXyz } from './xyz.js';
import { readPdb } from './pdb.js';
import { readLammps } from './lammps.js';
import { readGro } from './gro.js';
import { storedUnitBonds, distanceBonds } from './bonds.js';
import { checkSize } from './limits.js';

export { ReadError };
export { periodicCrossing } from './cell.js';

const PDB_RECORD = /^(HEADER|TITLE |COMPND|REMARK|CRYST1|MODEL |ATOM  |HETATM)/;
// A LAMMPS data file's header names its counts and box bounds in words.
const LAMMPS_HEADER = /^\s*\d+\s+atoms\s*(#.*)?$|^\s*\S+\s+\S+\s+xlo\s+xhi\b/m;
// A .gro file: a title, the atom count alone, then an atom line whose x
// starts in column 21 (residue number, residue name, atom name, number).
const GRO_ATOM = /^[ \d]{4}\d.{15}\s*[-\d]*\.\d/;

// The reader of one file, by its name and, failing that, by its content.
function readerFor(name, bytes) {
  const extension = /\.([^./\\]+)$/.exec(name)?.[1].toLowerCase() ?? '';
  if (isPv(bytes) || extension === 'pv') return 'pv';
  if (['pdb', 'ent'].includes(extension)) return 'pdb';
  if (['xyz', 'extxyz', 'txyz', 'arc'].includes(extension)) return 'xyz';
  if (['dat', 'wrp'].includes(extension)) return 'trajectory';
  if (['data', 'lmp'].includes(extension)) return 'lammps';
  if (extension === 'gro') return 'gro';
  const head = new TextDecoder('latin1').decode(bytes.subarray(0, 4096));
  if (PDB_RECORD.test(head)) return 'pdb';
  const [, second, third] = head.split('\n', 3);
  if (/^\s*\d+\s*$/.test(second ?? '') && GRO_ATOM.test(third ?? '')) return 'gro';
  if (LAMMPS_HEADER.test(head)) return 'lammps';
  // An XYZ file starts with a line holding the atom count (and, in TINKER,
  // the title); a trajectory with three integers.
  const first = head.split('\n')[0].trim().split(/\s+/);
  return first.length === 3 && first.every((t) => /^[+-]?\d+$/.test(t)) ? 'trajectory' : 'xyz';
}

function readOne(name, bytes) {
  const reader = readerFor(name, bytes);
  if (reader === 'pv') return readPv(bytes);
  if (reader === 'trajectory') return readTrajectory(bytes);
  const text = new TextDecoder('latin1').decode(bytes);
  const read = { pdb: readPdb, lammps: readLammps, gro: readGro }[reader] ?? readXyz;
  return read(text);
}

const byName = (a, b) => a.name.localeCompare(b.name, 'en', { numeric: true });

// files: [{ name, bytes: Uint8Array }].  Several files are the per-scene
// files of one run, taken in the order of their names (scene numbers
// compared as numbers); they must be of one XYZ kind with one atom count.
export function openFiles(files) {
  if (files.length === 0) throw new ReadError('no file given');
  const sorted = [...files].sort(byName);
  const names = sorted.length === 1 ? sorted[0].name
    : `${sorted[0].name} ... ${sorted[sorted.length - 1].name} (${sorted.length} files)`;
  let model = null;
  for (const file of sorted) {
    let part;
    try {
      part = readOne(file.name, file.bytes);
      if (model !== null) {
        if (!['xmol', 'tinker', 'extxyz'].includes(part.format) || part.format !== model.format) {
          throw new ReadError(`a ${part.format} file among ${model.format} files: several files must be ` +
            'the XYZ files of one run');
        }
        if (part.atomCount !== model.atomCount) {
          throw new ReadError(`${part.atomCount} atoms where ${sorted[0].name} has ${model.atomCount}`);
        }
        checkSize(model.atomCount, model.scenes.length + part.scenes.length);
      }
    } catch (error) {
      if (error instanceof ReadError) throw new ReadError(`${file.name}: ${error.message}`);
      if (error instanceof RangeError) throw new ReadError(`${file.name}: too big to read (${error.message})`);
      throw error;
    }
    if (model === null) model = { ...part, name: names };
    else for (const scene of part.scenes) model.scenes.push(scene);
  }
  return model;
}

// The bonds of scene `index` as index pairs, found once when the file does
// not store them: trajectories by the rule of the pv converter (positions
// rounded to 0.01 Angstrom), XYZ files without neighbour lists by the rule
// of the TINKER converter (positions as read).
// A scene whose atoms sit on top of each other is refused here, with a
// ReadError naming the file and the scene.
export function sceneBonds(model, index) {
  const scene = model.scenes[index];
  if (scene.bonds === null) {
    try {
      scene.bonds = model.bondRule === 'stored-unit'
        ? storedUnitBonds(scene.positions, model.atomCount)
        : distanceBonds(scene.positions, model.atomCount);
    } catch (error) {
      if (error instanceof ReadError) throw new ReadError(`${model.name}: scene ${index + 1}: ${error.message}`);
      throw error;
    }
  }
  return scene.bonds;
}

// The molecules of scene `index`: { of (molecule of every atom, from 0),
// count, names (the file's own names of the molecules, or null) }.  A
// file's own molecules where it has them (PDB residues); otherwise the
// connected groups of bonded atoms, numbered in the order of their lowest
// atom, as topoconv numbers its molecules.  Found once per set of bonds.
const components = new WeakMap();
export function sceneMolecules(model, index) {
  if (model.molecules) return model.molecules;
  const bonds = sceneBonds(model, index);
  let found = components.get(bonds);
  if (!found) {
    found = connectedGroups(bonds, model.atomCount);
    components.set(bonds, found);
  }
  return found;
}

export function connectedGroups(bonds, atoms) {
  const parent = new Int32Array(atoms);
  for (let i = 0; i < atoms; ++i) parent[i] = i;
  const root = (i) => {
    while (parent[i] !== i) {
      parent[i] = parent[parent[i]];
      i = parent[i];
    }
    return i;
  };
  for (let k = 0; k < bonds.length; k += 2) {
    const a = root(bonds[k]);
    const b = root(bonds[k + 1]);
    if (a !== b) parent[Math.max(a, b)] = Math.min(a, b);
  }
  // Every root is the lowest atom of its group: the groups are numbered in
  // the order of their roots.
  const of = new Uint32Array(atoms);
  let count = 0;
  for (let i = 0; i < atoms; ++i) {
    const r = root(i);
    of[i] = r === i ? count++ : of[r];
  }
  return { of, count, names: null };
}
