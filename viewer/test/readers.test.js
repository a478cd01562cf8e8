// The readers' rules on their own, in Node: numbers as "%d" and "%lf" read
// them, the cell search against all pairs, hybrid-36 serial numbers.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { NumberStream } from '../src/readers/numbers.js';
import { closePairs, distanceBonds, storedUnitBonds } from '../src/readers/bonds.js';
import { hybrid36 } from '../src/readers/pdb.js';

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
