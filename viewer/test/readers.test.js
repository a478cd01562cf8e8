// The readers' rules on their own, in Node: numbers as "%d" and "%lf" read
// them, the cell search against all pairs, hybrid-36 serial numbers; and the
// readers under hostile files.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { NumberStream } from '../src/readers/numbers.js';
import { closePairs, distanceBonds, storedUnitBonds } from '../src/readers/bonds.js';
import { hybrid36 } from '../src/readers/pdb.js';
import { Lines } from '../src/readers/lines.js';
import { connectedGroups, openFiles, periodicCrossing, sceneBonds, sceneMolecules, ReadError } from '../src/readers/index.js';

const stream = (text) => new NumberStream(new TextEncoder().encode(text));

test('numbers read as scanf reads them: prefixes, every notation, correct rounding', () => {
  const input = stream(' 12abc\t1.5-2.5\r\n0x1.8p1 +.5e1 INF -nan 7e 0.1000000000000000055511151231257827 0x');
  assert.equal(input.readInt(), 12);
  assert.throws(() => input.readReal(), /not a number where a number is expected: "abc"/);
  input.pos += 3;
  assert.deepEqual([1, 2, 3, 4, 5, 6, 7].map(() => input.readReal()), [1.5, -2.5, 3, 5, Infinity, NaN, 7]);
  assert.equal(input.readReal(), 0.1);
  assert.throws(() => input.readReal(), /not a number where a number is expected: "0x"/);
  input.pos += 2;
  assert.throws(() => input.readReal(), /the file ends before the data its header announces/);
  // Glued numbers cost the same per number as separate ones.
  const glued = stream('-1.25+1e1'.repeat(100000));
  for (let k = 0; k < 200000; ++k) assert.equal(glued.readReal(), k % 2 ? 10 : -1.25);
  assert.throws(() => stream('2147483648').readInt(), /out of the 32-bit range/);
  // The fast path for plain decimals rounds exactly as the full conversion.
  for (let k = 0; k < 20000; ++k) {
    const text = ((Math.random() - 0.5) * 10 ** (k % 9)).toFixed(k % 13);
    assert.equal(stream(text).readReal(), Number(text), text);
  }
});

test('the cell search finds exactly the pairs that comparing all pairs finds', () => {
  const count = 500;
  const positions = new Float64Array(3 * count).map((_, k) => (k % 3 === 0 ? 40 : 10) * Math.random());
  // Pairs on the cut-off: in the stored unit 1.80 apart is not bonded and
  // 1.79 is; as read, 101.8 - 100 is a little less than 1.8.
  positions.set([100, 0, 0, 101.8, 0, 0, 200, 0, 0, 201.79, 0, 0], 0);
  const brute = (close) => {
    const pairs = [];
    for (let i = 0; i < count; ++i) for (let j = i + 1; j < count; ++j) if (close(i, j)) pairs.push(`${i}-${j}`);
    return pairs;
  };
  const sorted = (pairs) => Array.from({ length: pairs.length / 2 }, (_, k) => `${pairs[2 * k]}-${pairs[2 * k + 1]}`)
    .sort((a, b) => a.localeCompare(b, 'en', { numeric: true }));
  for (const find of [distanceBonds, storedUnitBonds]) {
    const found = find(positions, count);
    const pairs = new Set(sorted(found));
    const close = (i, j) => pairs.has(`${i}-${j}`);
    assert.ok(close(0, 1) === (find === distanceBonds) && close(2, 3), find.name);
    // Every pair the rule accepts is found, and nothing else.
    const rule = (i, j) => find(Float64Array.of(...positions.subarray(3 * i, 3 * i + 3),
      ...positions.subarray(3 * j, 3 * j + 3)), 2).length === 2;
    assert.deepEqual(sorted(found), brute(rule), find.name);
  }
  // Far outliers do not defeat the search.
  assert.equal(closePairs(Float64Array.of(0, 0, 0, 1e300, 0, 0, 1e300, 0, 1), 3, 1.8, () => true).length, 2);
});

test('hybrid-36 serial numbers', () => {
  assert.deepEqual(['    1', '99999', 'A0000', 'ZZZZZ', 'a0000', '  ', 'A00'].map((f) => hybrid36(f, 5)),
    [1, 99999, 100000, 100000 + 26 * 36 ** 4 - 1, 100000 + 26 * 36 ** 4, NaN, NaN]);
});

// Hostile files: each is read or refused with a ReadError, and nothing a
// file announces is allocated before the file is seen to hold it.
const open = (name, text) => openFiles([{ name, bytes: typeof text === 'string' ? new TextEncoder().encode(text) : text }]);
const readError = (reason) => (error) => error instanceof ReadError && reason.test(error.message);
const refused = (name, text, reason) => assert.throws(() => open(name, text), readError(reason));

test('scene counts: checked against the size of the file whatever the atom count, each scene counted as 16 positions', () => {
  // Zero atoms in 2^31 scenes filled the heap: a file of N bytes holds at most N scenes.
  refused('t.dat', '0 0 2147483647\n1 1 1\n0 0\n', /2147483647 scenes of 0 atoms, more than a file of 25 bytes can hold/);
  refused('t.dat', '0 2 100\n1 1 1\n0 0\n0 0 0 1 1 1\n', /100 scenes of 2 atoms, more than a file of 30 bytes/);
  assert.equal(open('t.dat', '0 0 3\n1 2 3\n0 0\n').scenes.length, 3);
  // (1 + 16) x 1176470 positions are within the 20,000,000, one scene more is not.
  const padding = ' '.repeat(4e6);
  refused('t.dat', `0 1 1176471\n1 1 1\n0 0\n${padding}`, /1 atoms x 1176471 scenes are more than the viewer holds/);
  refused('t.dat', `0 1 1176470\n1 1 1\n0 0\n${padding}`, /scene 1, atom 1: the file ends before the data/);
  // XMOL frames are counted as they are read: 1,250,000 frames of no atom are the most.
  refused('x.xyz', '0\n\n'.repeat(1250001), /0 atoms x 1250001 scenes are more than the viewer holds/);
});

test('text is read a line at a time, never split whole; CONECT records kept once each', () => {
  // The lines are those of split('\n'), whatever the text.
  for (const text of ['', '\n', 'a', 'a\n', '\n\nb\r\n', 'a\nb\n\nc']) {
    const lines = [];
    for (const reader = new Lines(text); !reader.done; reader.advance()) lines.push(reader.current);
    assert.deepEqual(lines, text.split('\n'), JSON.stringify(text));
  }
  // Splitting a 300 MB text of short lines at once ended the process: no
  // split of anything longer than a line while files are read.
  const split = String.prototype.split;
  let longest = 0;
  String.prototype.split = function spy(...args) {
    longest = Math.max(longest, this.length);
    return split.apply(this, args);
  };
  const atom = (serial, x) => `ATOM  ${String(serial).padStart(5)}  C   CNT A   1    ${x.padStart(8)}   0.000   0.000  1.00  0.00           C\n`;
  const pdb = atom(1, '0.000') + atom(2, '1.400') + 'CONECT    1    2    2    2    2\n'.repeat(100000);
  try {
    refused('ones.xyz', '1\n'.repeat(500000), /line 3: atom 1: x y z are expected: "1"/);
    assert.deepEqual(Array.from(sceneBonds(open('c.pdb', pdb), 0)), [0, 1]);
  } finally {
    String.prototype.split = split;
  }
  assert.ok(longest < 100, `a string of ${longest} characters was split`);
});

test('at most 12 bonds per atom: atoms on top of each other refused, found by distance or given', () => {
  const trajectory = (points) => `0 ${points.length} 1\n10 10 10\n0 0\n${points.map((p) => p.join(' ')).join('\n')}\n`;
  // 20,000 atoms at one point gave 2*10^8 bonds.
  const pile = open('pile.dat', trajectory(Array(20000).fill([0, 0, 0])));
  assert.throws(() => sceneBonds(pile, 0),
    readError(/^pile.dat: scene 1: atom 1 has more than 12 neighbours closer than 1.8 Angstrom: atoms sit on top of each other/));
  assert.equal(sceneBonds(open('t.dat', trajectory(Array(13).fill([0, 0, 0]))), 0).length, 2 * 78);
  assert.throws(() => sceneBonds(open('t.dat', trajectory(Array(14).fill([0, 0, 0]))), 0), ReadError);
  // Refused exactly when comparing all pairs finds an atom with more than
  // 12 neighbours, else the same pairs: atoms at 2, 0.3 and 0.1 per cubic
  // Angstrom, and a clump of 420 within 0.3 Angstrom (too many for one cell
  // of the search to hold with 12 neighbours each) away from 480 others.
  for (let round = 0; round < 24; ++round) {
    const clump = round % 4 === 0 ? 420 : 0;
    const count = clump ? 900 : 50 + round * 20;
    const spread = Math.cbrt((count - clump) / [0.1, 2, 0.3, 0.1][round % 4]);
    const positions = Float64Array.from({ length: 3 * count }, (_, k) => (k < 3 * clump ? 100 + 0.3 * Math.random() : spread * Math.random()));
    const degree = new Array(count).fill(0);
    const pairs = [];
    for (let i = 0; i < count; ++i) {
      for (let j = i + 1; j < count; ++j) {
        const d = Math.hypot(positions[3 * i] - positions[3 * j], positions[3 * i + 1] - positions[3 * j + 1],
          positions[3 * i + 2] - positions[3 * j + 2]);
        if (d < 1.8) pairs.push(`${i}-${j}`, ++degree[i], ++degree[j]);
      }
    }
    const crowded = degree.some((d) => d > 12);
    let found;
    try {
      found = distanceBonds(positions, count);
    } catch (error) {
      assert.ok(crowded && error instanceof ReadError, `round ${round}: ${error.message}`);
      const atom = Number(/^atom (\d+) has more than 12 neighbours/.exec(error.message)[1]);
      assert.ok(degree[atom - 1] > 12, `round ${round}: atom ${atom} has ${degree[atom - 1]} neighbours`);
      continue;
    }
    assert.ok(!crowded, `round ${round}: not refused`);
    const names = Array.from({ length: found.length / 2 }, (_, k) => `${found[2 * k]}-${found[2 * k + 1]}`).sort();
    assert.deepEqual(names, pairs.filter((_, k) => k % 3 === 0).sort(), `round ${round}`);
  }
  // Neighbour lists and CONECT records: the same cap.
  const tinker = `14 listed\n${Array.from({ length: 14 }, (_, i) => `${i + 1} C 0 0 ${i * 2} 1` +
    (i === 0 ? ' 2 3 4 5 6 7 8 9 10 11 12 13 14' : ' 1')).join('\n')}\n`;
  refused('t.xyz', tinker, /line 2: atom 1 lists more than 12 neighbours/);
  refused('t.xyz', tinker.replace(/ 2 3 4 5 6 7 8 9 10 11 12 13 14/, ''), /line 15: atom 1 is bonded to more than 12 others/);
  const atoms = Array.from({ length: 14 }, (_, i) => `HETATM${String(i + 1).padStart(5)}  C   CNT A   1    ${(2 * i).toFixed(3).padStart(8)}   0.000   0.000\n`).join('');
  const conect = Array.from({ length: 13 }, (_, i) => `CONECT    1${String(i + 2).padStart(5)}\n`).join('');
  refused('c.pdb', atoms + conect, /line 27: CONECT bonds atom 1 to more than 12 others/);
});

test('malformed or degenerate headers: a ReadError, or no box', () => {
  // A negative column count threw a TypeError.
  refused('p.xyz', '1\nProperties=species:S:-5:pos:R:3\nC 0 0 0\n', /line 2: Properties: "species" has "-5" columns/);
  refused('p.xyz', '1\nProperties=species:S:1:pos:R:2\nC 0 0 0\n', /pos has "2" columns where 3 are expected/);
  refused('p.xyz', '1\nProperties=pos:R:3:species:S:1\n0 0 0\n', /line 3: atom 1: the species is expected in column 4/);
  assert.deepEqual(open('p.xyz', '1\nProperties=pos:R:3:species:S:1\n0 0 0 H\n').elements, ['H']);
  // Zero angles gave a box of NaN; a cell that closes no volume is no box.
  const cryst1 = (cell) => `CRYST1${cell.slice(0, 3).map((v) => v.toFixed(3).padStart(9)).join('')}` +
    `${cell.slice(3).map((v) => v.toFixed(2).padStart(7)).join('')} P 1           1\n` +
    'ATOM      1  C   CNT A   1       0.000   0.000   0.000\n';
  for (const cell of [[10, 10, 10, 0, 0, 0], [10, 10, 10, 90, 90, 180], [10, 0, 10, 90, 90, 90], [10, 10, 10, 10, 10, 100]]) {
    assert.equal(open('z.pdb', cryst1(cell)).box, null, cell.join(' '));
  }
  assert.deepEqual(open('z.pdb', cryst1([10, 10, 10, 90, 90, 90])).box.vectors, [[10, 0, 0], [0, 10, 0], [0, 0, 10]]);
  assert.equal(open('l.xyz', '1\nLattice="0 0 0 0 0 0 0 0 0"\nC 0 0 0\n').box, null);
  assert.equal(open('l.xyz', '1\nLattice="1 0 0 2 0 0 0 0 1"\nC 0 0 0\n').box, null);
  // A hexadecimal exponent of thousands of digits never finished scaling.
  assert.equal(stream(`0x1p${'9'.repeat(5000)}`).readReal(), Infinity);
});

test('molecules: the residues of a PDB file, else the groups of bonded atoms in the order of their lowest atom', () => {
  const atom = (serial, residue, x) =>
    `HETATM${String(serial).padStart(5)}  C   CNT A${String(residue).padStart(4)}    ${x.toFixed(3).padStart(8)}   0.000   0.000  1.00  0.00           C`;
  const pdb = open('two.pdb', [atom(1, 7, 0), atom(2, 7, 1.4), atom(3, 3, 9), atom(4, 3, 10.4)].join('\n'));
  assert.deepEqual(sceneMolecules(pdb, 0), { of: Uint32Array.of(0, 0, 1, 1), count: 2, names: ['A 7', 'A 3'] });
  // Atoms 1, 2 and 4 bonded, atom 3 alone: two groups, numbered by their lowest atom.
  const trajectory = open('t.dat', '0 4 1\n50 50 50\n0 0\n0 0 0\n1.4 0 0\n20 0 0\n-1.4 0 0\n');
  assert.deepEqual(sceneMolecules(trajectory, 0), { of: Uint32Array.of(0, 0, 1, 0), count: 2, names: null });
  assert.deepEqual(connectedGroups(Uint32Array.of(3, 4, 1, 3, 0, 2), 5).of, Uint32Array.of(0, 1, 0, 1, 1));
});

test('a bond through a periodic boundary of a slanted cell: measured in fractions of the edge vectors', () => {
  const crosses = periodicCrossing({ origin: [0, 0, 0], vectors: [[10, 0, 0], [5, 8, 0], [0, 0, 9]] }, [true, true, false]);
  // (7, 1, 0) is 0.64 a + 0.125 b: through the boundary of a, though shorter than half the cell along x.
  assert.deepEqual([[7, 1, 0], [1.4, 0, 0], [-1, 1.2, 0], [0, 0, 8], [-4.5, 7.9, 0]].map((d) => crosses(...d)),
    [true, false, false, false, true]);
  assert.equal(periodicCrossing(null, [true, true, true]), null);
});

// The files of the simulation engines, against the readers of the same
// tube's other files: test/data/tube.* are one periodic (10,10) tube of two
// unit cells written by topoconv (`wrapping 10 10 -u 2 -az -f tube.dat`,
// then `topoconv --periodic z [--forcefield default] tube.dat tube.data`,
// `tube.extxyz` and `tube.top`, which writes tube.gro).
const fixture = (name) => readFileSync(new URL(`data/${name}`, import.meta.url), 'latin1');
const pairsOf = (bonds) => Array.from({ length: bonds.length / 2 }, (_, k) => `${bonds[2 * k]}-${bonds[2 * k + 1]}`).sort();

test('a LAMMPS data file reads as the extended XYZ file of the same tube, its stored bonds those through the boundary too', () => {
  const lammps = open('tube.data', fixture('tube.data'));
  const xyz = open('tube.extxyz', fixture('tube.extxyz'));
  assert.equal(lammps.format, 'lammps');
  assert.deepEqual(lammps.scenes[0].positions, xyz.scenes[0].positions);
  assert.deepEqual(lammps.elements, xyz.elements);
  assert.deepEqual([lammps.box, lammps.periodic], [xyz.box, xyz.periodic]);
  // The stored bonds are the pairs closer than 1.8 Angstrom with z taken
  // around the periodic box; those not through its boundary are the ones
  // found by distance in the extended XYZ file.
  const p = lammps.scenes[0].positions;
  const length = lammps.box.vectors[2][2];
  const periodicPairs = [];
  for (let i = 0; i < 80; ++i) {
    for (let j = i + 1; j < 80; ++j) {
      const dz = p[3 * i + 2] - p[3 * j + 2];
      const d = Math.hypot(p[3 * i] - p[3 * j], p[3 * i + 1] - p[3 * j + 1], dz - length * Math.round(dz / length));
      if (d < 1.8) periodicPairs.push(`${i}-${j}`);
    }
  }
  const stored = sceneBonds(lammps, 0);
  assert.deepEqual(pairsOf(stored), periodicPairs.sort());
  const crosses = periodicCrossing(lammps.box, lammps.periodic);
  const inside = pairsOf(stored).filter((pair) => {
    const [i, j] = pair.split('-').map(Number);
    return !crosses(p[3 * i] - p[3 * j], p[3 * i + 1] - p[3 * j + 1], p[3 * i + 2] - p[3 * j + 2]);
  });
  assert.deepEqual(inside, pairsOf(sceneBonds(xyz, 0)));
  assert.deepEqual(sceneMolecules(lammps, 0), { of: new Uint32Array(80), count: 1, names: ['1'], label: 'molecule ID' });
  // The same atoms without our comments (elements from the masses, the
  // style from the column count), and in atom style atomic without bonds
  // (found by distance, as in the XYZ file); and recognised by content.
  const bare = fixture('tube.data').replace(/#.*/g, '');
  assert.deepEqual(open('bare.lmp', bare).elements, xyz.elements);
  assert.deepEqual(open('bare', bare).scenes[0].positions, p);
  const atomic = fixture('tube.data').replace(/\d+ bonds\n/, '').replace(/\nBonds\n[^]*/, '\n')
    .replace(/# full/, '# atomic').replace(/^(\d+) \d+ (\d+) \S+ (\S+ \S+ \S+) .*$/gm, '$1 $2 $3');
  assert.deepEqual(pairsOf(sceneBonds(open('a.data', atomic), 0)), pairsOf(sceneBonds(xyz, 0)));
  assert.equal(open('a.data', atomic).molecules, null);
});

test('a .gro file: the same tube in nm from the cell corner, several frames as scenes, bonds by distance', () => {
  const gro = open('tube.gro', fixture('tube.gro'));
  const xyz = open('tube.extxyz', fixture('tube.extxyz'));
  assert.deepEqual([gro.format, gro.atomCount, gro.scenes.length, gro.periodic], ['gro', 80, 1, [false, false, true]]);
  const origin = xyz.box.origin;
  gro.scenes[0].positions.forEach((value, k) => {
    assert.ok(Math.abs(value - (xyz.scenes[0].positions[k] - origin[k % 3])) < 1e-6, `coordinate ${k}`);
  });
  gro.box.vectors.flat().forEach((value, k) => assert.ok(Math.abs(value - xyz.box.vectors.flat()[k]) < 1e-6));
  assert.deepEqual(gro.elements, xyz.elements);
  assert.deepEqual(pairsOf(sceneBonds(gro, 0)), pairsOf(sceneBonds(xyz, 0)));
  assert.deepEqual(sceneMolecules(gro, 0), { of: new Uint32Array(80), count: 1, names: ['1 CNT'] });
  const twice = open('t.txt', fixture('tube.gro').repeat(2));
  assert.deepEqual([twice.format, twice.scenes.length], ['gro', 2]);
  assert.deepEqual(twice.scenes[1].positions, gro.scenes[0].positions);
  // GROMACS's own widths: 8 columns, 3 decimals.
  const short = open('s.gro', 'water\n 1\n    1SOL     OW    1   0.126   1.624   1.679\n 1 1 1\n');
  assert.deepEqual([short.elements, Array.from(short.scenes[0].positions, (v) => Number(v.toFixed(9)))],
    [['O'], [1.26, 16.24, 16.79]]);
});

test('a triclinic rope and a boron nitride tube', () => {
  // assemble --wall 5,5 --periodic --rope --bundle 2,2 --cells 2 --terms none rope.data
  const rope = open('rope.data', fixture('rope.data'));
  assert.deepEqual(rope.box, { origin: [0, 0, -2.45951215],
    vectors: [[19.96000115, 0, 0], [9.98000057, 17.28586806, 0], [0, 0, 2 * 2.45951215]] });
  assert.deepEqual(rope.periodic, [true, true, true]);
  const molecules = sceneMolecules(rope, 0);
  assert.deepEqual([molecules.count, molecules.names], [4, ['1', '2', '3', '4']]);
  assert.ok(molecules.of.every((m, i) => m === Math.floor(i / 40)));
  // Without Bonds the bonds are found by distance: 50 in each (5,5) tube of
  // two unit cells, those through the boundary of z being too long.
  assert.equal(sceneBonds(rope, 0).length / 2, 200);
  // assemble --wall 5,5 --species BN --periodic --cells 2 --style atomic bn.lmp
  const bn = open('bn.lmp', fixture('bn.lmp'));
  assert.deepEqual(bn.elements, Array.from({ length: 40 }, (_, i) => (i % 2 ? 'N' : 'B')));
  const bonds = sceneBonds(bn, 0);
  for (let k = 0; k < bonds.length; k += 2) assert.notEqual(bn.elements[bonds[k]], bn.elements[bonds[k + 1]]);
});

test('malformed LAMMPS and .gro files: refused with the line and the reason', () => {
  const tube = fixture('tube.data');
  const atomsAt = tube.indexOf('Atoms # full');
  const lineOf = (text, index) => text.slice(0, index).split('\n').length;
  refused('t.data', tube.slice(0, tube.indexOf('\n41 1 1'), atomsAt),
    new RegExp(`: line ${lineOf(tube, atomsAt)}: the Atoms section has 40 atoms where the header announces 80$`));
  refused('t.data', tube.replace('80 atoms', '81 atoms'), /the Atoms section has 80 atoms where the header announces 81/);
  refused('t.data', tube.replace('120 bonds', '121 bonds'), /the Bonds section has 120 bonds where the header announces 121/);
  refused('t.data', tube.replace(/\n1 1 1 2\n/, '\n1 1 1 99\n'), /: line \d+: Bonds: bond 1 names atom "99", which is not among atoms 1 to 80$/);
  refused('t.data', tube.replace(/\n(2 1 1 \S+) \S+/, '\n$1 nan'), /: line \d+: atom 2: the x coordinate is not a number: "nan"$/);
  refused('t.data', tube.replace(/\S+ (\S+ xlo xhi)/, '40 $1'), /: line 14: the box's xlo xhi bounds 40 27.501974 enclose nothing$/);
  refused('t.data', tube.replace(/\S+ (\S+ ylo yhi)/, 'inf $1'), /: line 15: the bounds "lo hi ylo yhi" are expected/);
  refused('t.data', tube.replace('Bonds\n', 'Bands\n'), /: line \d+: a section heading is expected: "Bands"$/);
  refused('t.data', `t\n\n${2000001} atoms\n`, /2000001 atoms per scene are more than the viewer shows/);
  refused('t.data', 't\n\n1000 atoms\n\nAtoms\n\n', /1000 scenes? of 1000 atoms|more than a file of/);
  const gro = fixture('tube.gro');
  refused('t.gro', gro.slice(0, gro.lastIndexOf('\n', gro.length - 2) + 1), /: line 83: the box line of frame 1 is missing$/);
  refused('t.gro', gro.replace(/\n[^\n]*\n$/, '\n1 2\n'), /: line 83: a box line of 3 or 9 numbers is expected: "1 2"$/);
  refused('t.gro', gro.replace(/ 80\n/, ' 81\n'), /: line 83: atom 81: x y z of 16 columns each are expected from column 21/);
  refused('t.gro', gro.replace(/ 80\n/, ' 79\n'), /: line 82: a box line of 3 or 9 numbers is expected: "1CNT/);
  refused('t.gro', gro.replace('2.7501974000', '      nan   '), /: line 3: atom 1: the x coordinate/);
});
