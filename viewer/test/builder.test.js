// The page's tube builder in headless Chromium, against the native programs
// of the build: for every argument set the page's run prints exactly what
// the native program prints, ends with its exit status and writes the same
// files byte for byte, and shows them at once.  The runs follow one another
// in one tab opened from disk, errors among them, so a later run shows that
// an error left nothing broken.
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { unzipSync } from 'fflate';
import { commandTokens } from '../src/builder/arguments.js';
import { BUILD_DIR, DIST_DIR, launch, missingTool, openTab, scratchDir } from './support.js';

const PAGE = pathToFileURL(join(DIST_DIR, 'index.html')).href;

let missing = missingTool();
let browser = null;
let tab = null;
if (!missing) {
  browser = await launch();
  tab = await openTab(browser);
  await tab.page.goto(PAGE);
  await tab.page.waitForSelector('#status');
  if (await tab.page.$eval('#build-section', (section) => section.hidden)) {
    missing = 'the page has no tube builder (it was built without emcc on the PATH)';
  }
}
if (missing && process.env.SWNT_BROWSER_REQUIRED === '1') throw new Error(`browser tests required: ${missing}`);
const options = { skip: missing ?? false, timeout: 300000 };
const work = scratchDir();
after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

const digests = (files) => Object.fromEntries(
  Object.entries(files).map(([name, bytes]) => [name, createHash('sha256').update(bytes).digest('hex')]));

// A native run in a fresh directory holding `inputs`: what it printed, its
// exit status and every file it wrote.
function nativeRun(program, args, inputs = {}) {
  const dir = join(work, `native-${readdirSync(work).length}`);
  mkdirSync(dir);
  for (const [name, bytes] of Object.entries(inputs)) writeFileSync(join(dir, name), bytes);
  const result = spawnSync(join(BUILD_DIR, program), args, { cwd: dir });
  const files = {};
  for (const name of readdirSync(dir)) if (!(name in inputs)) files[name] = readFileSync(join(dir, name));
  return { status: result.status, stdout: result.stdout.toString(), files: digests(files) };
}

// The page's run that `start` starts: `run` as nativeRun gives it (from the
// download links), the files themselves and what the view shows.
async function pageRun(start) {
  const { page } = tab;
  await start(page);
  await page.waitForFunction(() => document.getElementById('build-status').dataset.busy === undefined,
    { timeout: 120000 });
  const shown = await page.evaluate(async () => {
    const files = {};
    for (const link of document.querySelectorAll('#build-file-list a')) {
      const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
      let text = '';
      for (let k = 0; k < bytes.length; k += 0x8000) text += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
      files[link.textContent] = btoa(text);
    }
    const output = document.getElementById('build-output');
    return { exit: document.getElementById('build-status').dataset.exit, stdout: output.textContent, files,
      view: { ...document.getElementById('status').dataset } };
  });
  const files = Object.fromEntries(Object.entries(shown.files).map(([n, b]) => [n, Buffer.from(b, 'base64')]));
  return { run: { status: Number(shown.exit), stdout: shown.stdout, files: digests(files) }, files, view: shown.view };
}

// Types into the arguments field (which puts it in charge) and builds.
const typeArguments = (text) => async (page) => {
  await page.$eval('#build-args', (field, value) => {
    field.value = value;
    field.dispatchEvent(new Event('input', { bubbles: true }));
  }, text);
  await page.click('#build-run');
};

// The atoms in a file of ours, from its header.
function atomsIn(name, bytes) {
  if (name.endsWith('.pv')) return bytes.readUInt16LE(34);
  return Number(bytes.toString('latin1').trim().split(/\s+/)[name.endsWith('.xyz') ? 0 : 1]);
}

const PARAMETER_FILE = '# a (12,3) tube from a parameter file\n12, 3   # chirality\n-u 2.5 -zc\r\n' +
  '-sx 1.5 -rd 1.1 "-f" "my tube.dat"\n';

test('the page writes the native programs\' files byte for byte, prints their output, ends with their status',
  options, async () => {
    const cases = [
      // ?build= on load, then the arguments field, as a command line or a parameter file's text.
      { args: ['8', '4', '-w', '10', '-xx'], start: (page) => page.goto(`${PAGE}?build=8,4,-w,10,-xx`) },
      { args: ['10', '10', '-p', '-d'] },
      { args: ['6', '5', '-xt'] },
      { args: ['10', '5', '-w', '10', '-az'] },
      { args: ['5', '7'] },
      { args: ['10', '10', '-b', '-d', '-u', '3'] },
      { args: ['12', '3', '-t', '-d', '-p', '-zc'] },
      { args: ['10', '10', '-q'] },
      { args: ['10', '5', '-c', '1.42', '-d', '-w', '-1'] },
      { args: ['params.prm'], inputs: { 'params.prm': PARAMETER_FILE }, start: typeArguments(PARAMETER_FILE) },
    ];
    let before = null;
    for (const { args, inputs, start } of cases) {
      const native = nativeRun('wrapping', args, inputs);
      const shown = await pageRun(start ?? typeArguments(args.join(' ')));
      const what = `wrapping ${args.join(' ')}`;
      assert.deepEqual(shown.run, native, what);
      const [first] = Object.keys(shown.files).sort();
      if (first) {
        // The result is shown: a file the viewer reads, as it reads it.
        assert.equal(shown.view.error, '', what);
        assert.equal(Number(shown.view.atoms), atomsIn(first, shown.files[first]), what);
      } else if (before) {
        assert.deepEqual(shown.view, before, `${what}: the view stays`);
      }
      before = shown.view;
    }
    assert.deepEqual(tab.problems, []);
  });

// Numbers in every notation the converters read ("%lf"), and beyond the range
// of the fast conversions on both sides.
const ODD_TRAJECTORY = '0 3 2\n20 20 20\n0 0\n1e5 +1.5 -.5\n0x1p3 0X1.8P1 -0x.8p-2\n1.5-2.5 007.5\n' +
  '3.14159265358979323846 0.30000000000000004 1e+02\n1234567890.5 -9.87654321e9 1.4\n0 1.4 0\n';

test('the converters of the page turn the trajectory opened or built into the native converters\' files; ' +
  'all as one zip', options, async () => {
    writeFileSync(join(work, 'odd.dat'), ODD_TRAJECTORY);
    await (await tab.page.$('#file-input')).uploadFile(join(work, 'odd.dat'));
    await tab.page.waitForFunction(() => document.getElementById('status').dataset.scenes === '2');
    const inputs = { 'odd.dat': ODD_TRAJECTORY };
    for (const [program, extension, args] of [['ballconv', '.pv', ['odd.dat', 'odd.pv']],
      ['xyzframes', '.xyz', ['odd.dat', 'odd.xyz']], ['linkframes', '.xyz', ['odd.dat', 'odd.xyz']],
      ['topoconv', '.data', ['--periodic', 'z', 'cells.dat', 'cells.data']],
      ['topoconv', '.pdb', ['--periodic', 'z', 'cells.dat', 'cells.pdb']],
      ['topoconv', '.data', ['--style', 'molecular', '--hydrogenate', '--ch', '1.1', 'cells.dat', 'cells.data']]]) {
      if (args.includes('cells.dat') && !inputs['cells.dat']) {
        inputs['cells.dat'] = (await pageRun(typeArguments('10 10 -u 4 -az -f cells.dat'))).files['cells.dat'];
        await tab.page.click('#convert-periodic-z');
      }
      if (args.includes('--hydrogenate')) {
        // Open ends with hydrogen, in another LAMMPS style.
        await tab.page.click('#convert-periodic-z');
        await tab.page.select('#convert-style', 'molecular');
        await tab.page.select('#convert-ends', '--hydrogenate');
        await tab.page.$eval('#convert-ch', (field) => {
          field.value = '1.1';
          field.dispatchEvent(new Event('input', { bubbles: true }));
        });
        assert.equal(await tab.page.$eval('#convert-options', (p) => p.textContent),
          'topoconv --style molecular --hydrogenate --ch 1.1 (--style for LAMMPS only)');
      }
      // Each converts the trajectory shown last, whatever was converted before it.
      const shown = await pageRun((page) => page.click(`[data-program=${program}][data-extension="${extension}"]`));
      const native = nativeRun(program, args, { [args.at(-2)]: inputs[args.at(-2)] });
      assert.deepEqual(shown.run, native, program);
      assert.equal(shown.view.error, '', program);
      if (program !== 'xyzframes') continue;
      const zip = await tab.page.evaluate(() => new Promise((done) => {
        HTMLAnchorElement.prototype.click = async function click() {
          const bytes = new Uint8Array(await (await fetch(this.href)).arrayBuffer());
          done([this.download, [...bytes]]);
        };
        document.getElementById('build-zip').click();
      }));
      assert.equal(zip[0], 'odd.zip');
      assert.deepEqual(digests(unzipSync(new Uint8Array(zip[1]))), native.files);
    }
    assert.deepEqual(tab.problems, []);
  });

const DEFECTS = '--wall 10,10 --periodic --cells 4 --stone-wales 2 --vacancies 2 --dope N:3';

// Types a command line into its field and runs it.
const typeCommand = (text) => async (page) => {
  await page.$eval('#command-line', (field, value) => { field.value = value; }, text);
  await page.click('#command-run');
};

test('assemble runs in the page by its command line as natively: output, status and files; the page\'s next ' +
  'command reads the file shown', options, async () => {
    const cases = [
      // ?run= on load; a LAMMPS file is shown as well.
      { command: 'assemble --wall 5,5 --wall 10,10 --periodic dw.data', load: true, atoms: 120 },
      { command: 'assemble --wall 10,10 --periodic --rope --cells 4 rope.extxyz', atoms: 160 },
      // The REBO table beside the program, as for wrapping.
      { command: 'assemble --wall 6,6 --wall 11,11 --lattice rebo --periodic --cells 2 "rebo dw.pdb"', atoms: 136 },
      { command: 'assemble --find --diameter 7:8 --max-atoms 200' },
      { command: 'assemble --wall 5,5' },
      { command: 'assemble --wall 5,5 --wall 10,10 --periodic --cells 3 dw.dat', atoms: 180 },
      // Run where the trajectory just built is shown, as it was written.
      { command: 'topoconv --periodic z dw.dat dw.pdb', inputs: ['dw.dat'], atoms: 180 },
      // The random defects and dopants of a seed are the same in the page; another seed places them elsewhere.
      { command: `assemble ${DEFECTS} --seed 7 tube.data`, atoms: 158 },
      { command: `assemble ${DEFECTS} --seed 8 tube.data`, atoms: 158 },
      { command: 'assemble --wall 10,10 --periodic --cells 4 --species BN --vacancies 2 --seed 7 bn.extxyz', atoms: 158 },
    ];
    const written = {};
    const seeded = [];
    let before = null;
    for (const { command, load, atoms, inputs = [] } of cases) {
      const shown = await pageRun(load ? (page) => page.goto(`${PAGE}?run=${encodeURIComponent(command)}`)
        : typeCommand(command));
      const [program, ...args] = commandTokens(command).tokens;
      const native = nativeRun(program, args, Object.fromEntries(inputs.map((name) => [name, written[name]])));
      assert.deepEqual(shown.run, native, command);
      Object.assign(written, shown.files);
      if (command.includes('tube.data')) seeded.push(shown.run.files['tube.data']);
      if (atoms) {
        assert.equal(shown.view.error, '', command);
        assert.equal(Number(shown.view.atoms), atoms, command);
      } else if (before) {
        assert.deepEqual(shown.view, before, `${command}: the view stays`);
      }
      before = shown.view;
    }
    assert.notEqual(seeded[0], seeded[1], 'another seed, another tube');
    await typeCommand('scenejoin a.dat b.dat')(tab.page);
    assert.match(await tab.page.$eval('#build-status', (status) => status.textContent),
      /^the page has no program "scenejoin": the command line names one of wrapping, .*, assemble/);
    assert.deepEqual(tab.problems, []);
  });

test('the form writes wrapping\'s arguments and shows what typed arguments or ?build= build, never overwriting ' +
  'them unasked; a long run can be stopped and the next run works', options, async () => {
  const { page } = tab;
  const field = (id) => page.$eval(`#${id}`, (element) => (element.type === 'checkbox' ? element.checked : element.value));
  const args = () => field('build-args');
  // ?build=: the fields show the arguments, which stay in charge.
  await page.goto(`${PAGE}?build=12,5,-u,2,-p`);
  await page.waitForFunction(() => document.getElementById('build-status').dataset.exit === '0', { timeout: 120000 });
  const shown = {};
  for (const id of ['build-n', 'build-m', 'build-unit', 'build-length', 'build-form-output', 'build-report']) {
    shown[id] = await field(id);
  }
  assert.deepEqual(shown, { 'build-n': '12', 'build-m': '5', 'build-unit': '-u', 'build-length': '2',
    'build-form-output': '-p', 'build-report': false });
  assert.equal(await page.$eval('#build-form', (form) => form.dataset.source), 'arguments');
  assert.ok(await page.$eval('#build-n', (n) => n.disabled), 'the fields cannot be edited while the arguments are in charge');
  // Back to the fields: they write the same arguments.
  await page.click('#build-use-fields');
  assert.equal(await args(), '12 5 -u 2 -p');

  const set = async (id, value) => page.$eval(`#${id}`, (element, v) => {
    if (element.type === 'checkbox') element.checked = v;
    else element.value = v;
    element.dispatchEvent(new Event('input', { bubbles: true }));
  }, value);
  for (const [id, value] of [['build-n', '10'], ['build-m', '5'], ['build-unit', '-u'], ['build-length', '3'],
    ['build-steps', '5'], ['build-axis', 'z'], ['build-lattice', '-b'], ['build-placement', '-zc'],
    ['build-form-output', '-xx'], ['build-report', false], ['build-name', 'my tube.xyz']]) {
    await set(id, value);
  }
  assert.equal(await args(), '10 5 -u 3 -w 5 -az -b -zc -xx -f "my tube.xyz"');
  // Typed arguments: the fields follow what maps, a note names the rest.
  await page.$eval('#build-args', (element) => {
    element.value = '8, 4 -l 50 -c 1.42 -sx 2 # a comment';
    element.dispatchEvent(new Event('input', { bubbles: true }));
  });
  assert.deepEqual(await Promise.all(['build-n', 'build-m', 'build-unit', 'build-length', 'build-lattice', 'build-bond',
    'build-axis', 'build-name'].map(field)), ['8', '4', '-l', '50', 'ideal', '1.42', 'x', '']);
  assert.match(await page.$eval('#build-source-text', (p) => p.textContent), /No field shows -sx 2\./);

  await typeArguments('10 10 -u 200000 -xt')(page);
  await page.click('#build-stop');
  await page.waitForFunction(() => document.getElementById('build-status').dataset.busy === undefined);
  assert.equal(await page.$eval('#build-status', (status) => status.textContent), 'stopped');
  assert.equal(await field('build-length'), '200000');

  await page.click('#build-use-fields');
  for (const [id, value] of [['build-n', '10'], ['build-m', '5'], ['build-length', '3'], ['build-steps', '5'],
    ['build-axis', 'z'], ['build-bond', '1.42'], ['build-placement', '-zc'], ['build-form-output', '-xx'],
    ['build-report', true]]) {
    await set(id, value);
  }
  const written = '10 5 -u 3 -w 5 -az -c 1.42 -zc -xx -d';
  assert.equal(await args(), written);
  const run = await pageRun((p) => p.click('#build-run'));
  assert.deepEqual(run.run, nativeRun('wrapping', written.split(' ')));
  if (process.env.SWNT_BUILDER_SCREENSHOT) {
    // The README's picture: the closed tube, the form and the report.
    await page.evaluate(() => document.activeElement.blur());
    await page.keyboard.press('End');
    await page.screenshot({ path: process.env.SWNT_BUILDER_SCREENSHOT });
  }
  assert.deepEqual(tab.problems, []);
});
