// The page in headless Chromium, on files made here by our own programs: for
// every kind of file the page's counts equal the file's in every scene,
// playing advances the scene, a malformed file of the kind is refused with
// its name and reason while the previous view stays usable, and nothing
// reaches the console as an error.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { BUILD_DIR, DIST_DIR, VIEWER_DIR, launch, missingTool, openTab, run, scratchDir, serve, settledStatus }
  from './support.js';

const missing = missingTool();
if (missing && process.env.SWNT_BROWSER_REQUIRED === '1') throw new Error(`browser tests required: ${missing}`);
const options = { skip: missing ?? false, timeout: 180000 };

let work;
let server;
let browser;
before(async () => {
  if (missing) return;
  work = scratchDir();
  server = await serve(work);
  browser = await launch();
});
after(async () => {
  await browser?.close();
  await server?.close();
  if (work) rmSync(work, { recursive: true, force: true });
});

const file = (name) => join(work, name);
const DATA_DIR = join(VIEWER_DIR, 'test', 'data');

const pvAtoms = (name) => readFileSync(file(name)).readUInt16LE(34);
const trajectoryAtoms = (name) => Number(readFileSync(file(name), 'utf8').trim().split(/\s+/)[1]);

// Bonds per scene as the pv file stores them (slots of kind 118).
function pvBonds(name) {
  const bytes = readFileSync(file(name));
  const atoms = bytes.readUInt16LE(34);
  const slots = bytes.readUInt16LE(36);
  const scenes = bytes.readUInt16LE(38);
  const result = [];
  for (let s = 0, at = 104 + 8 * atoms; s < scenes; ++s) {
    at += 7 * atoms;
    let bonds = 0;
    for (let k = 0; k < slots; ++k, at += 5) bonds += bytes[at] === 118 ? 1 : 0;
    result.push(bonds);
  }
  return result;
}

// Bonds of a TINKER file: every pair stands in both neighbour lists.
function tinkerBonds(name) {
  const lines = readFileSync(file(name), 'utf8').trim().split('\n').slice(1);
  return lines.reduce((sum, line) => sum + line.trim().split(/\s+/).length - 6, 0) / 2;
}

const sceneFiles = (prefix) => readdirSync(work).filter((n) => n.startsWith(prefix) && /\d{3}\.xyz$/.test(n)).sort();

async function openPage(names, query = '') {
  const tab = await openTab(browser);
  const files = names.map((n) => `file=files/${encodeURIComponent(n)}`).join('&');
  await tab.page.goto(`${server.url}?${files}${query}`);
  tab.status = await settledStatus(tab.page);
  return tab;
}

async function key(page, name) {
  await page.keyboard.press(name);
  return page.$eval('#status', (status) => ({ ...status.dataset }));
}

// Checks atoms, scenes and the bonds of every scene (stepping with the
// keyboard), then plays: the scene shown must move on.
async function checkCounts(tab, atoms, bondsPerScene) {
  const { page, status } = tab;
  assert.equal(status.error, '');
  assert.equal(Number(status.atoms), atoms);
  assert.equal(Number(status.scenes), bondsPerScene.length);
  let shown = await key(page, 'Home');
  for (let s = 0; s < bondsPerScene.length; ++s) {
    assert.equal(Number(shown.scene), s + 1);
    assert.equal(Number(shown.bonds), bondsPerScene[s], `bonds of scene ${s + 1}`);
    if (s + 1 < bondsPerScene.length) shown = await key(page, 'ArrowRight');
  }
  if (bondsPerScene.length > 1) {
    await key(page, 'Home');
    await page.click('#play');
    await page.waitForFunction(() => Number(document.getElementById('status').dataset.scene) > 1);
    await page.click('#play');
  }
}

// Opens a broken file with the file picker: the message names the file, the
// view keeps the previous file, and stays usable.
async function checkRefused(tab, name, text, reason) {
  const { page, problems } = tab;
  const before = await page.$eval('#status', (status) => ({ ...status.dataset }));
  writeFileSync(file(name), text);
  const input = await page.$('#file-input');
  await input.uploadFile(file(name));
  // The previous refusal may still be shown: wait for this file's own message.
  await page.waitForFunction((prefix) => document.getElementById('status').dataset.error.startsWith(prefix), {}, `${name}: `);
  const after = await page.$eval('#status', (status) => ({ ...status.dataset }));
  assert.ok(after.error.startsWith(`${name}: `), after.error);
  assert.match(after.error, reason);
  assert.deepEqual({ ...after, error: '' }, { ...before, error: '' });
  assert.equal(await page.$eval('#message', (m) => m.textContent), after.error);
  if (Number(before.scenes) > 1) assert.equal((await key(page, 'End')).scene, before.scenes);
  assert.deepEqual(problems, []);
}

// The view's pixels, from a screenshot: { width, height, pixels (RGBA) }.
async function stagePixels(page) {
  const shot = await (await page.$('#stage')).screenshot({ encoding: 'base64' });
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return { width: image.width, height: image.height, pixels: [...context.getImageData(0, 0, image.width, image.height).data] };
  }, shot);
}

// Hue (degrees), saturation and value of an RGB colour.
function hsv(r, g, b) {
  const high = Math.max(r, g, b);
  const span = high - Math.min(r, g, b);
  let hue = 0;
  if (span > 0) {
    if (high === r) hue = ((g - b) / span) % 6;
    else if (high === g) hue = (b - r) / span + 2;
    else hue = (r - g) / span + 4;
  }
  return [(hue * 60 + 360) % 360, high ? span / high : 0, high / 255];
}

// The half width of the drawing: the distance from the centre of the view
// to the farthest pixel that is not background, along the middle row.
function halfWidth({ width, height, pixels }) {
  let far = 0;
  const row = Math.floor(height / 2);
  for (let x = 0; x < width; ++x) {
    const k = 4 * (row * width + x);
    if (pixels[k] + pixels[k + 1] + pixels[k + 2] < 600) far = Math.max(far, Math.abs(x - width / 2));
  }
  return far;
}

// The share of the view's pixels that are not background, from a screenshot.
async function inkShare(page) {
  const shot = await (await page.$('#stage')).screenshot({ encoding: 'base64' });
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    let ink = 0;
    for (let k = 0; k < pixels.length; k += 4) if (pixels[k] + pixels[k + 1] + pixels[k + 2] < 600) ++ink;
    return ink / (pixels.length / 4);
  }, shot);
}

test('a pv file of a tube: its counts, a picture that is not blank, a truncated file refused; also from disk', options, async () => {
  run('wrapping', [10, 10, '-l', 40, '-p', '-f', 'tube.pv'], work);
  const tab = await openPage(['tube.pv']);
  await checkCounts(tab, pvAtoms('tube.pv'), pvBonds('tube.pv'));
  assert.ok(await inkShare(tab.page) > 0.03, 'the tube is drawn');
  assert.ok(await tab.page.$eval('#play', (b) => b.disabled), 'one scene: nothing to play');
  // Picking: a click on the tube names an atom (picking starts once the scene stands still).
  const stage = await (await tab.page.$('#stage')).boundingBox();
  await tab.page.waitForFunction(() => new Promise((done) => setTimeout(() => done(true), 500)));
  for (const dx of [0, 6, -9, 13, 21]) await tab.page.mouse.click(stage.x + stage.width / 2 + dx, stage.y + stage.height / 2 + dx / 2);
  assert.match(await tab.page.$eval('#picked', (p) => p.textContent), /^Atom \d+ \(C, colour code \d+\): x -?\d/);
  await checkRefused(tab, 'cut.pv', readFileSync(file('tube.pv')).subarray(0, 5000), /ends inside scene 1/);
  await checkRefused(tab, 'foreign.pv', 'PV-02 something else entirely', /not a pv scene file/);

  // Opened from disk, the page works with the file picker alone.
  const disk = await openTab(browser);
  await disk.page.goto(pathToFileURL(join(DIST_DIR, 'index.html')).href);
  await (await disk.page.$('#file-input')).uploadFile(file('tube.pv'));
  await disk.page.waitForFunction(() => document.getElementById('status').dataset.atoms !== '0');
  assert.deepEqual(disk.problems, []);
});

test('the rolling animation of wrapping -w 10 -p plays, starts at ?scene=N, and saves a PNG', options, async () => {
  run('wrapping', [10, 10, '-l', 40, '-w', 10, '-p', '-f', 'rolling.pv'], work);
  const tab = await openPage(['rolling.pv'], '&scene=7');
  assert.equal(tab.status.scene, '7');
  await checkCounts(tab, pvAtoms('rolling.pv'), pvBonds('rolling.pv'));
  // The picture follows the scene: the flat sheet and the closed tube differ.
  const stage = await tab.page.$('#stage');
  await key(tab.page, 'End');
  const closed = await stage.screenshot();
  await key(tab.page, 'Home');
  assert.notDeepEqual(await stage.screenshot(), closed);
  const png = await tab.page.evaluate(() => new Promise((done) => {
    HTMLAnchorElement.prototype.click = function click() { done([this.download, this.href.length]); };
    document.getElementById('save-png').click();
  }));
  assert.match(png[0], /^rolling-scene\d+\.png$/);
  assert.ok(png[1] > 10000, 'a PNG with a picture in it');
  assert.deepEqual(tab.problems, []);
});

test('a double wall by molecule, end-on: two walls in two colours as concentric rings; the wheel zooms in when ' +
  'rolled forward', options, async () => {
  // Two tubes joined along z: a (5,5) inside a (10,10), 4 unit cells each.
  run('wrapping', [5, 5, '-u', 4, '-az', '-f', 'inner.dat'], work);
  run('wrapping', [10, 10, '-u', 4, '-az', '-f', 'outer.dat'], work);
  run('scenejoin', ['inner.dat', 'outer.dat'], work);
  const tab = await openPage(['inner.dat'], '&color=molecule&view=z');
  const { page } = tab;
  assert.equal(tab.status.color, 'molecule');
  assert.equal(await page.$eval('#color', (menu) => menu.value), 'molecule');
  // The legend: the walls are the groups of bonded atoms, the inner one first.
  const legend = await page.$$eval('#legend li', (items) => items.map((item) => ({
    label: item.children[1].textContent, count: Number(item.children[2].textContent),
    color: getComputedStyle(item.children[0]).backgroundColor.match(/\d+/g).map(Number),
  })));
  assert.deepEqual(legend.map(({ label, count }) => [label, count]), [['molecule 1', 80], ['molecule 2', 160]]);
  const hues = legend.map(({ color }) => hsv(...color)[0]);
  if (process.env.SWNT_VIEWER_SCREENSHOT) {
    // The README's picture: the page with the view section and the legend.
    await page.$eval('#legend-section', (section) => section.scrollIntoView());
    await page.screenshot({ path: process.env.SWNT_VIEWER_SCREENSHOT });
  }
  // Along rays from the centre of the view: the inner wall's colour only
  // nearer than the outer wall's, the middle empty.
  const image = await stagePixels(page);
  const wallAt = (x, y) => {
    const k = 4 * (Math.round(y) * image.width + Math.round(x));
    const [hue, saturation, value] = hsv(image.pixels[k], image.pixels[k + 1], image.pixels[k + 2]);
    if (saturation < 0.4 || value < 0.25) return null;  // background, a shaded edge
    const distance = hues.map((h) => Math.min(Math.abs(hue - h), 360 - Math.abs(hue - h)));
    return distance[0] < 30 ? 1 : distance[1] < 30 ? 2 : null;
  };
  const reach = Math.min(image.width, image.height) / 2 - 2;
  for (let ray = 0; ray < 12; ++ray) {
    const [dx, dy] = [Math.cos((ray * Math.PI) / 6), Math.sin((ray * Math.PI) / 6)];
    const seen = { 1: [], 2: [] };
    for (let r = 0; r < reach; ++r) {
      const wall = wallAt(image.width / 2 + r * dx, image.height / 2 + r * dy);
      if (wall) seen[wall].push(r);
    }
    assert.ok(seen[1].length > 5 && seen[2].length > 5, `ray ${ray}: both walls crossed`);
    assert.ok(Math.max(...seen[1]) < Math.min(...seen[2]), `ray ${ray}: the inner wall inside the outer one`);
    assert.ok(Math.min(...seen[1]) > reach / 5, `ray ${ray}: the middle is empty`);
  }
  // The wheel: rolled back the tube gets smaller, rolled forward larger.
  await page.click('#show-axes');
  const stage = await (await page.$('#stage')).boundingBox();
  await page.mouse.move(stage.x + stage.width / 2, stage.y + stage.height / 2);
  const before = halfWidth(await stagePixels(page));
  await page.mouse.wheel({ deltaY: 200 });
  const back = halfWidth(await stagePixels(page));
  await page.mouse.wheel({ deltaY: -100 });
  const forward = halfWidth(await stagePixels(page));
  assert.ok(back < 0.8 * before && forward > 1.1 * back, `half widths ${before}, ${back}, ${forward}`);
  assert.deepEqual(tab.problems, []);
});

test('a trajectory: bonds as ballconv finds them, in every scene; a non-number and an oversized header refused', options, async () => {
  run('wrapping', [10, 5, '-w', 4, '-f', 'roll.dat'], work);
  run('ballconv', ['roll.dat', 'roll.pv'], work);
  const tab = await openPage(['roll.dat']);
  await checkCounts(tab, trajectoryAtoms('roll.dat'), pvBonds('roll.pv'));
  const lines = readFileSync(file('roll.dat'), 'utf8').split('\n');
  lines[4] = `x${lines[4].trim()}`;
  await checkRefused(tab, 'word.dat', lines.join('\n'), /scene 1, atom 2: not a number where a number is expected: "x/);
  await checkRefused(tab, 'huge.dat', '0 2000001 1\n1 1 1\n0 0\n', /2000001 atoms per scene are more than the viewer shows/);
});

test('a join of two tubes: the atoms of both, bonds as ballconv finds them', options, async () => {
  run('wrapping', [5, 5, '-f', 'inner.dat'], work);
  run('wrapping', [10, 10, '-f', 'outer.dat'], work);
  const atoms = trajectoryAtoms('inner.dat') + trajectoryAtoms('outer.dat');
  run('scenejoin', ['outer.dat', 'inner.dat'], work);
  run('ballconv', ['outer.dat', 'joined.pv'], work);
  const tab = await openPage(['outer.dat']);
  await checkCounts(tab, atoms, pvBonds('joined.pv'));
  assert.deepEqual(tab.problems, []);
});

test('XMOL files of wrapping -w 10 -xx as one animation: bonds as linkframes finds them; a short file refused', options, async () => {
  run('wrapping', [8, 4, '-w', 10, '-xx', '-f', 'sheet.xyz'], work);
  run('wrapping', [8, 4, '-w', 10, '-f', 'sheet.dat'], work);
  run('linkframes', ['sheet.dat', 'link.xyz'], work);
  const names = sceneFiles('sheet');
  assert.equal(names.length, 11);
  // Given in reverse order: the scenes follow the numbers in the names.
  const tab = await openPage([...names].reverse());
  await checkCounts(tab, 196, sceneFiles('link').map(tinkerBonds));
  const lines = readFileSync(file(names[0]), 'utf8').split('\n');
  await checkRefused(tab, 'short.xyz', lines.slice(0, 20).join('\n'), /the file ends after 18 of the 196 atoms/);
});

test('a TINKER file of wrapping -xt: bonds from its neighbour lists; a neighbour out of range refused', options, async () => {
  run('wrapping', [6, 5, '-xt', '-f', 'six.xyz'], work);
  const tab = await openPage(['six001.xyz']);
  const text = readFileSync(file('six001.xyz'), 'utf8');
  await checkCounts(tab, Number(text.trim().split(/\s+/)[0]), [tinkerBonds('six001.xyz')]);
  await checkRefused(tab, 'bad.xyz', text.replace(/\n(\s*1\s+C\s.*\s)(\d+)\s*\n/, '\n$1 9999 \n'),
    /atom 1 lists "9999" as a neighbour/);
});

const topoconv = existsSync(join(BUILD_DIR, 'topoconv')) ? false : 'topoconv is not built';
test('the PDB, extended XYZ, LAMMPS and .gro files of topoconv: bonds through the boundary counted, ' +
  'the periodic axis shown, hydrogens read',
  { ...options, skip: options.skip || topoconv }, async () => {
    run('wrapping', [10, 10, '-u', 10, '-az', '-f', 'cells.dat'], work);
    run('topoconv', ['--periodic', 'z', 'cells.dat', 'cells.pdb'], work);
    run('topoconv', ['--periodic', 'z', 'cells.dat', 'cells.extxyz'], work);
    run('linkframes', ['cells.dat', 'open.xyz'], work);
    const atoms = trajectoryAtoms('cells.dat');
    const pdb = await openPage(['cells.pdb']);
    await checkCounts(pdb, atoms, [atoms * 3 / 2]);  // every atom of a periodic tube has 3 bonds
    assert.match(await pdb.page.$eval('#cell', (cell) => cell.textContent), /Periodic along: z /);
    const text = readFileSync(file('cells.pdb'), 'utf8');
    await checkRefused(pdb, 'lost.pdb', text.replace(/\nCONECT    1/, '\nCONECT99998'), /CONECT names atom 99998/);
    const extxyz = await openPage(['cells.extxyz']);
    await checkCounts(extxyz, atoms, [tinkerBonds('open001.xyz')]);  // by distance, as in an open tube
    assert.match(await extxyz.page.$eval('#cell', (cell) => cell.textContent), /Periodic along: z /);
    const lines = readFileSync(file('cells.extxyz'), 'utf8').split('\n');
    lines[1] = lines[1].replace(/Lattice="[^"]*"/, 'Lattice="1 2 3"');
    await checkRefused(extxyz, 'flat.extxyz', lines.join('\n'), /line 2: a Lattice of 9 numbers is expected/);
    // The same tube for the engines: LAMMPS with its stored bonds, .gro by distance.
    run('topoconv', ['--periodic', 'z', 'cells.dat', 'cells.data'], work);
    await checkCounts(await openPage(['cells.data']), atoms, [atoms * 3 / 2]);
    run('topoconv', ['--periodic', 'z', 'cells.dat', 'cells.top'], work);  // and cells.gro
    await checkCounts(await openPage(['cells.gro']), atoms, [tinkerBonds('open001.xyz')]);
    // Open, the tube's clean armchair ends get 40 hydrogens, each bonded to its carbon.
    run('topoconv', ['--hydrogenate', 'cells.dat', 'ends.pdb'], work);
    await checkCounts(await openPage(['ends.pdb']), atoms + 40, [(3 * atoms + 40) / 2]);
  });

test('elements in their conventional colours: C grey, B salmon, N blue, H white; an unknown element deep pink',
  options, async () => {
  writeFileSync(file('bcnh.extxyz'), readFileSync(join(DATA_DIR, 'bcnh.extxyz')));
  const tab = await openPage(['bcnh.extxyz']);
  const { page } = tab;
  assert.equal(tab.status.color, 'element');
  const legend = async () => page.$$eval('#legend li', (items) => items.map((item) => [item.children[1].textContent,
    Number(item.children[2].textContent), getComputedStyle(item.children[0]).backgroundColor]));
  assert.deepEqual(await legend(), [['C', 4, 'rgb(144, 144, 144)'], ['B', 1, 'rgb(255, 181, 181)'],
    ['N', 1, 'rgb(48, 80, 248)'], ['H', 6, 'rgb(255, 255, 255)']]);
  // A symbol without a colour of its own is still seen, and named as such.
  writeFileSync(file('odd.extxyz'), readFileSync(file('bcnh.extxyz'), 'utf8').replace(/\nH /, '\nXq'));
  await (await page.$('#file-input')).uploadFile(file('odd.extxyz'));
  await page.waitForFunction(() => document.getElementById('file-name').textContent.startsWith('odd.extxyz'));
  assert.deepEqual((await legend()).slice(3), [['Xq (unknown element)', 1, 'rgb(255, 20, 147)'],
    ['H', 5, 'rgb(255, 255, 255)']]);
  assert.deepEqual(tab.problems, []);
});
