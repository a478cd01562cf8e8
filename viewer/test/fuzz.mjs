// The readers under hostile input.  Inputs made from seed files (the C++
// fuzz corpora, ../tests/fuzz/corpus/*, and the fixtures in test/data) by
// byte flips, insertions, deletions, truncations, splices, repeated pieces
// and numbers replaced by extreme ones are opened as every kind of file and
// their bonds found; each must be read or refused with a ReadError, within
// TIME_LIMIT seconds and with the process below MEMORY_LIMIT.
//
//   node test/fuzz.mjs [seconds] [seed]      run for `seconds` (default 30)
//   node test/fuzz.mjs --replay NAME BASE64  one input, as a failure prints it
//   node test/fuzz.mjs --input SEED K        input K of the run with SEED
//
// The inputs run in a worker; this thread watches its time and the memory
// of the process, and ends the worker when either is exceeded.  Prints one
// line: inputs run, failures; the exit status is 1 after any failure.
import { Worker, isMainThread, parentPort, workerData } from 'node:worker_threads';
import { readFileSync, readdirSync, statSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { gunzipSync, gzipSync } from 'node:zlib';
import { fileURLToPath } from 'node:url';
import { openFiles, sceneBonds, ReadError } from '../src/readers/index.js';
import { PV_MAGIC } from '../src/readers/pv.js';

const TIME_LIMIT = 5;             // seconds per input
const MEMORY_LIMIT = 1.5 * 2 ** 30;  // bytes: resident set, and the worker's heap
const MAX_INPUT = 2 ** 21;        // bytes an input grows to at most
const NAMES = ['pv', 'dat', 'wrp', 'xyz', 'extxyz', 'arc', 'pdb', 'ent', 'data', 'lmp', 'gro', 'txt'];

const VIEWER_DIR = fileURLToPath(new URL('..', import.meta.url));

// Every file under the seed directories, with the extension its reader wants.
export function seedFiles() {
  const seeds = [];
  const add = (path, extension) => seeds.push({ extension, bytes: new Uint8Array(readFileSync(path)) });
  const corpus = join(VIEWER_DIR, '..', 'tests', 'fuzz', 'corpus');
  if (existsSync(corpus)) {
    for (const target of readdirSync(corpus).sort()) {
      const dir = join(corpus, target);
      if (!statSync(dir).isDirectory()) continue;
      // Most targets read trajectories; the others' seeds are text of any kind.
      const extension = ['number_grammar', 'options', 'structure_table'].includes(target) ? 'txt' : 'dat';
      for (const name of readdirSync(dir).sort()) add(join(dir, name), extension);
    }
  }
  const fixtures = join(VIEWER_DIR, 'test', 'data');
  for (const name of readdirSync(fixtures).sort()) add(join(fixtures, name), name.split('.').pop());
  return seeds;
}

// Reads one input as the page does: the file, then the bonds of its first
// and last scene.  Returns null when it is read or refused with a ReadError,
// else the error.
export function tryInput(files) {
  try {
    const model = openFiles(files);
    sceneBonds(model, 0);
    sceneBonds(model, model.scenes.length - 1);
  } catch (error) {
    if (!(error instanceof ReadError)) return error;
  }
  return null;
}

// A small fast generator of the numbers in [0, 1) (mulberry32).
function generator(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const encode = (text) => new TextEncoder().encode(text);
const TOKENS = [' ', '\n', '\r\n', '\t', '-', '+', '.', 'e', 'E+', '0x', 'p-3', 'nan', 'inf', '"', '=', ':',
  'Lattice="', 'Origin="1 2 3"', 'pbc="T T F"', 'Properties=species:S:1:pos:R:3', 'Properties=pos:R:3:species:S:1',
  'MODEL     ', 'ENDMDL\n', 'CONECT    1    2    3    4    5\n', 'ATOM      1  C   CNT A   1       0.000   0.000   0.000',
  'CRYST1   10.000   10.000   10.000  90.00  90.00  90.00', 'REMARK   1 PERIODIC AXES: xz\n', 'A0000', PV_MAGIC,
  ' atoms\n', ' bonds\n', '\nAtoms # full\n\n', '\nAtoms\n\n', '\nBonds\n\n', '\nMasses\n\n', ' xlo xhi # periodic\n',
  ' 5 0 0 xy xz yz\n', '1 1 1 0.0 0 0 0 0 0 0\n', '    1CNT      C    1    0.0000000000', '   1.0   1.0   1.0\n']
  .map(encode);
const NUMBERS = ['0', '-0', '1', '-1', '2', '3', '12', '13', '99999', '32767', '32768', '65535', '65536',
  '2000000', '2000001', '20000000', '2147483647', '2147483648', '-2147483648', '1e308', '1e309', '-1e308',
  '4.9e-324', '1.8', '1.79', '1.80', 'nan', 'inf', '0x1p1023', '1'.repeat(400), '0.0000001', '180', '0.00']
  .map(encode);

// Input `k` of the run with `seed`: the first inputs are the seeds as
// every kind of file, then mutations.  [{name, bytes}], one file or two.
export function makeInput(seeds, seed, k) {
  if (k < seeds.length * NAMES.length) {
    const { bytes } = seeds[Math.floor(k / NAMES.length)];
    return [{ name: `seed.${NAMES[k % NAMES.length]}`, bytes }];
  }
  const random = generator(Math.imul(seed, 0x9e3779b1) ^ k);
  const pick = (list) => list[Math.floor(random() * list.length)];
  const base = pick(seeds);
  let bytes = base.bytes;
  for (let m = 1 + Math.floor(random() * 4); m > 0; --m) bytes = mutate(bytes, random, pick, seeds);
  const name = `input.${random() < 0.6 ? base.extension : pick(NAMES)}`;
  const files = [{ name, bytes }];
  // Sometimes the per-scene files of one run: the input and a variation.
  if (random() < 0.05) files.push({ name: `input2.${name.split('.').pop()}`, bytes: mutate(bytes, random, pick, seeds) });
  return files;
}

function splice(...parts) {
  const length = Math.min(MAX_INPUT, parts.reduce((sum, part) => sum + part.length, 0));
  const out = new Uint8Array(length);
  let at = 0;
  for (const part of parts) {
    const take = part.subarray(0, length - at);
    out.set(take, at);
    at += take.length;
  }
  return out;
}

// The spans of decimal numbers in the first 64 kB of an input.
function numberSpans(bytes) {
  const text = new TextDecoder('latin1').decode(bytes.subarray(0, 65536));
  return [...text.matchAll(/[+-]?\d+(?:\.\d*)?(?:[eE][+-]?\d+)?/g)].map((m) => [m.index, m.index + m[0].length]);
}

function mutate(bytes, random, pick, seeds) {
  const at = () => Math.floor(random() * (bytes.length + 1));
  const kind = Math.floor(random() * 10);
  if (kind === 0 && bytes.length > 0) {  // a byte flipped or replaced
    const out = bytes.slice();
    const k = Math.floor(random() * out.length);
    out[k] = random() < 0.5 ? out[k] ^ (1 << Math.floor(random() * 8)) : Math.floor(random() * 256);
    return out;
  }
  if (kind === 1) {  // bytes or a token inserted
    const k = at();
    const insert = random() < 0.5 ? pick(TOKENS) : Uint8Array.from({ length: 1 + Math.floor(random() * 8) }, () => Math.floor(random() * 256));
    return splice(bytes.subarray(0, k), insert, bytes.subarray(k));
  }
  if (kind === 2) {  // a span deleted
    const k = at();
    return splice(bytes.subarray(0, k), bytes.subarray(Math.min(bytes.length, k + 1 + Math.floor(random() * 64))));
  }
  if (kind === 3) return bytes.subarray(0, at());  // truncated
  if (kind === 4) {  // the head of this input and the tail of another
    const other = pick(seeds).bytes;
    return splice(bytes.subarray(0, at()), other.subarray(Math.floor(random() * (other.length + 1))));
  }
  if (kind === 5 || kind === 6) {  // a number replaced by an extreme one
    const spans = numberSpans(bytes);
    if (spans.length === 0) return bytes;
    // Half of the time among the first numbers: a header's counts, a title line's.
    const [from, to] = kind === 5 ? spans[Math.floor(random() * Math.min(spans.length, 16))] : pick(spans);
    return splice(bytes.subarray(0, from), pick(NUMBERS), bytes.subarray(to));
  }
  if (kind === 7) {  // a piece repeated many times: many scenes, records, lines
    const from = at();
    const piece = bytes.subarray(from, Math.min(bytes.length, from + 1 + Math.floor(random() * 200)));
    if (piece.length === 0) return bytes;
    const times = Math.min(Math.floor(MAX_INPUT / piece.length), 1 + Math.floor(random() ** 3 * 100000));
    return splice(bytes.subarray(0, from), ...Array(times).fill(piece), bytes.subarray(from));
  }
  if (kind === 8) {  // the numbers after the first few all alike: atoms on one spot
    const spans = numberSpans(bytes);
    if (spans.length < 8) return bytes;
    const parts = [bytes.subarray(0, spans[5][1])];
    for (let n = 6; n < spans.length; ++n) parts.push(bytes.subarray(spans[n - 1][1], spans[n][0]), encode('0'));
    parts.push(bytes.subarray(spans[spans.length - 1][1]));
    return splice(...parts);
  }
  // A field of a pv header (the counts, the bounds) overwritten.
  if (bytes.length < 104) return bytes;
  const out = bytes.slice();
  const view = new DataView(out.buffer);
  if (random() < 0.6) view.setUint16(34 + 2 * Math.floor(random() * 3), Math.floor(random() * 65536), true);
  else view.setFloat64(40 + 8 * Math.floor(random() * 6), pick([0, -1, NaN, Infinity, 1e308, -0, 5e-324]), true);
  return out;
}

// An input as printed for --replay: base64 of its bytes, gzipped when that
// is shorter (repeated pieces make long inputs that compress well).
function printable(bytes) {
  const plain = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const packed = gzipSync(plain);
  return (packed.length < plain.length ? packed : plain).toString('base64');
}

function readable(text) {
  const bytes = Buffer.from(text, 'base64');
  return new Uint8Array(bytes[0] === 0x1f && bytes[1] === 0x8b ? gunzipSync(bytes) : bytes);
}

// The worker: inputs from `start` on, each announced before it is read.
function work({ seed, start }) {
  const seeds = seedFiles();
  for (let k = start; ; ++k) {
    const files = makeInput(seeds, seed, k);
    parentPort.postMessage({ kind: 'start', k, files });
    const error = tryInput(files);
    parentPort.postMessage({
      kind: 'done', k, heap: process.memoryUsage().heapUsed,
      error: error && `${error.constructor?.name}: ${error.message}\n${error.stack}`,
    });
  }
}

async function main(seconds, seed) {
  const deadline = Date.now() + seconds * 1000;
  let run = 0;
  const failures = [];
  let next = 0;
  while (Date.now() < deadline && next < Infinity) {
    // One worker until the budget is spent or an input fails it.
    await new Promise((finished) => {
      const worker = new Worker(fileURLToPath(import.meta.url), {
        workerData: { seed, start: next },
        resourceLimits: { maxOldGenerationSizeMb: MEMORY_LIMIT / 2 ** 20 },
      });
      let current = null;
      let done = false;
      const stop = (failure) => {
        if (done) return;
        done = true;
        clearInterval(watch);
        if (failure) failures.push({ k: next, files: [], ...current, reason: failure });
        // A worker that fails before its first input would fail again.
        next = current ? current.k + 1 : failure ? Infinity : next;
        worker.terminate().then(finished);
      };
      const watch = setInterval(() => {
        if (Date.now() >= deadline) stop(null);
        else if (current && Date.now() - current.started > TIME_LIMIT * 1000) stop(`more than ${TIME_LIMIT} s`);
        else if (process.memoryUsage().rss > MEMORY_LIMIT) stop(`the process grew to ${process.memoryUsage().rss} bytes`);
      }, 100);
      worker.on('message', (message) => {
        if (message.kind === 'start') {
          current = { k: message.k, files: message.files, started: Date.now() };
          ++run;
          return;
        }
        if (message.error) failures.push({ ...current, reason: message.error });
        else if (message.heap > MEMORY_LIMIT) failures.push({ ...current, reason: `a heap of ${message.heap} bytes` });
        current = null;
      });
      worker.on('error', (error) => stop(`the worker failed: ${error.message}`));
      worker.on('exit', () => stop('the worker ended'));
    });
  }
  for (const failure of failures.slice(0, 10)) {
    console.log(`FAILED input ${failure.k} (seed ${seed}): ${failure.reason}`);
    const shown = failure.files.map((file) => `${file.name} ${printable(file.bytes)}`).join(' ');
    console.log(shown.length <= 100000 ? `  node test/fuzz.mjs --replay ${shown}`
      : `  too long to print; made again by: node test/fuzz.mjs --input ${seed} ${failure.k}`);
  }
  console.log(`fuzz: ${run} inputs in ${seconds} s (seed ${seed}), ${failures.length} failures`);
  process.exitCode = failures.length ? 1 : 0;
}

const isScript = process.argv[1] && fileURLToPath(import.meta.url) === process.argv[1];
if (!isMainThread) {
  work(workerData);
} else if (!isScript) {
  // Imported: nothing runs.
} else if (process.argv[2] === '--replay' || process.argv[2] === '--input') {
  const files = [];
  if (process.argv[2] === '--input') {
    files.push(...makeInput(seedFiles(), Number(process.argv[3]), Number(process.argv[4])));
  } else {
    for (let k = 3; k + 1 < process.argv.length; k += 2) files.push({ name: process.argv[k], bytes: readable(process.argv[k + 1]) });
  }
  const error = tryInput(files);
  console.log(error ? `FAILED: ${error.stack}` : 'read or refused with a ReadError');
  process.exitCode = error ? 1 : 0;
} else {
  const seconds = Number(process.argv[2] ?? 30);
  const seed = Number(process.argv[3] ?? 1);
  if (!(seconds > 0) || !Number.isInteger(seed)) {
    console.error('usage: node test/fuzz.mjs [seconds] [seed] | --replay NAME BASE64 [NAME BASE64] | --input SEED K');
    process.exit(2);
  }
  await main(seconds, seed);
}
