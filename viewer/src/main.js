// The page: opens files (picker, drop, ?file=), plays their scenes and keeps
// the status element, whose data attributes tell what is shown:
//   data-atoms, data-bonds, data-scenes, data-scene (from 1), data-error
//   (empty unless the last file failed), data-busy (present while a file is
//   read), data-color (the colouring in force: code, element or molecule).
import { openFiles, sceneBonds, sceneMolecules, ReadError } from './readers/index.js';
import { PV_KINDS, PV_OTHER_COLOR } from './readers/pv.js';
import { SceneView, elementColor, knownElement } from './view.js';
import { Builder } from './builder/panel.js';
import builderWorker from 'swnt:builder-worker';

// Files beyond this size are refused before they are read into memory.
const MAX_FILE_BYTES = 2 ** 30;

const $ = (id) => document.getElementById(id);
const hex = (color) => `#${color.toString(16).padStart(6, '0')}`;

// The colours of molecules, in turn (a categorical palette without grey,
// which carbon has).
const MOLECULE_COLORS = [0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd, 0x8c564b, 0xe377c2, 0xbcbd22, 0x17becf];
// Molecules listed in the legend; the rest are summed up in one line.
const LEGEND_MOLECULES = 12;
const COLOR_MODES = ['auto', 'element', 'molecule'];
const VIEW_AXES = ['x', 'y', 'z'];

class Page {
  constructor() {
    this.view = new SceneView($('stage'), $('axes'));
    this.view.onPick = (serial) => this.showPicked(serial);
    this.model = null;
    this.index = 0;
    this.timer = null;
    this.pickTimer = null;
    this.colorMode = 'auto';  // auto (the pv colour code, else by element), element or molecule
    this.colored = new WeakMap();  // model or molecules -> { colors, legend }
    this.molecules = null;  // of the scene shown, when coloured by molecule
    this.onModel = () => {};  // (model, files): a file read is shown
    this.wire();
  }

  wire() {
    $('file-input').addEventListener('change', (event) => {
      const files = [...event.target.files];
      event.target.value = '';
      if (files.length) this.loadFiles(files);
    });
    const stage = $('stage');
    window.addEventListener('dragover', (event) => {
      event.preventDefault();
      stage.classList.add('dragging');
    });
    window.addEventListener('dragleave', () => stage.classList.remove('dragging'));
    window.addEventListener('drop', (event) => {
      event.preventDefault();
      stage.classList.remove('dragging');
      const files = [...(event.dataTransfer?.files ?? [])];
      if (files.length) this.loadFiles(files);
    });
    $('play').addEventListener('click', () => this.guard(() => this.togglePlay()));
    $('slider').addEventListener('input', (event) => this.guard(() => this.showScene(Number(event.target.value) - 1)));
    $('style').addEventListener('change', (event) => this.guard(() => this.view.setStyle(event.target.value)));
    $('show-box').addEventListener('change', (event) => this.guard(() => this.view.setDecorations({ box: event.target.checked })));
    $('show-axes').addEventListener('change', (event) => this.guard(() => this.view.setDecorations({ axes: event.target.checked })));
    $('reset-view').addEventListener('click', () => this.guard(() => this.view.resetView()));
    $('color').addEventListener('change', (event) => this.guard(() => this.setColorMode(event.target.value)));
    for (const button of document.querySelectorAll('[data-view]')) {
      button.addEventListener('click', () => this.guard(() => this.view.viewAlong(button.dataset.view)));
    }
    $('save-png').addEventListener('click', () => this.guard(() => this.savePng()));
    window.addEventListener('resize', () => this.guard(() => this.view.resize()));
    window.addEventListener('keydown', (event) => this.guard(() => this.key(event)));
  }

  // Runs an action of the user; a failure becomes the page's message.
  guard(action) {
    try {
      action();
    } catch (error) {
      this.fail(`cannot show the scene: ${error.message}`);
    }
  }

  key(event) {
    if (event.ctrlKey || event.metaKey || event.altKey || handledNatively(event)) return;
    const last = this.model ? this.model.scenes.length - 1 : 0;
    const actions = {
      ' ': () => this.togglePlay(),
      ArrowRight: () => this.step(1),
      ArrowLeft: () => this.step(-1),
      Home: () => this.showScene(0),
      End: () => this.showScene(last),
      r: () => this.view.resetView(),
      s: () => this.savePng(),
      x: () => this.view.viewAlong('x'),
      y: () => this.view.viewAlong('y'),
      z: () => this.view.viewAlong('z'),
    };
    const action = actions[event.key.length === 1 ? event.key.toLowerCase() : event.key];
    if (!action || !this.model) return;
    event.preventDefault();
    action();
  }

  async loadFiles(files) {
    await this.load(files.map((f) => f.name).join(', '), async () => {
      const tooBig = files.find((f) => f.size > MAX_FILE_BYTES);
      if (tooBig) throw new ReadError(`${tooBig.name}: ${tooBig.size} bytes are more than the viewer reads (at most ${MAX_FILE_BYTES})`);
      return Promise.all(files.map(async (f) => ({ name: f.name, bytes: new Uint8Array(await f.arrayBuffer()) })));
    });
  }

  async loadUrls(urls, scene) {
    await this.load(urls.join(', '), () => Promise.all(urls.map(async (url) => {
      if (location.protocol === 'file:') {
        throw new ReadError(`${url}: cannot be fetched (a page opened from disk cannot fetch files: open them ` +
          'with the file picker, or serve the directory)');
      }
      let response;
      try {
        response = await fetch(url);
      } catch (error) {
        throw new ReadError(`${url}: cannot be fetched (${error.message})`);
      }
      if (!response.ok) throw new ReadError(`${url}: cannot be fetched (HTTP ${response.status})`);
      const name = decodeURIComponent(new URL(response.url || url, location.href).pathname.split('/').pop());
      return { name, bytes: new Uint8Array(await response.arrayBuffer()) };
    })), scene);
  }

  // Reads the files that `fetchFiles` gives and shows them; on failure the
  // message is shown and the previous file stays as it was.
  async load(what, fetchFiles, scene = 1) {
    this.pause();
    const status = $('status');
    status.dataset.busy = '';
    status.textContent = `reading ${what}…`;
    // Let the page show that it is busy before the reading blocks it.
    await new Promise((resolve) => setTimeout(resolve, 0));
    try {
      const files = await fetchFiles();
      const model = openFiles(files);
      const [previous, previousIndex] = [this.model, this.index];
      this.model = model;
      this.index = Math.min(Math.max(1, Math.floor(scene) || 1), model.scenes.length) - 1;
      try {
        this.showModel();
      } catch (error) {
        // The file was read but cannot be drawn: back to the one before.
        [this.model, this.index] = [previous, previousIndex];
        if (previous) this.guard(() => this.showModel());
        throw error;
      }
      this.onModel(model, files);
      status.dataset.error = '';
      $('message').hidden = true;
    } catch (error) {
      this.fail(error instanceof ReadError ? error.message : `${what}: cannot be shown (${error.message})`);
    } finally {
      delete status.dataset.busy;
      this.updateStatus();
    }
  }

  fail(message) {
    this.pause();
    $('status').dataset.error = message;
    $('message').textContent = message;
    $('message').hidden = false;
    this.updateStatus();
  }

  showModel() {
    const model = this.model;
    $('drop-hint').hidden = true;
    $('file-name').textContent = `${model.name} (${model.format})`;
    const slider = $('slider');
    slider.max = String(model.scenes.length);
    slider.disabled = model.scenes.length < 2;
    $('play').disabled = model.scenes.length < 2;
    $('legend-section').hidden = false;
    const cell = $('cell');
    cell.hidden = !model.periodic;
    if (model.periodic) {
      const axes = 'xyz'.split('').filter((_, a) => model.periodic[a]).join(' ');
      cell.textContent = `Periodic along: ${axes || 'none'} (bonds through the boundary are counted, not drawn)`;
    }
    this.showScene(this.index);
  }

  showScene(index) {
    if (!this.model) return;
    this.index = Math.min(Math.max(0, index), this.model.scenes.length - 1);
    const bonds = sceneBonds(this.model, this.index);
    const { colors, legend } = this.coloring();
    this.view.show(this.model, this.index, bonds, colors);
    $('slider').value = String(this.index + 1);
    $('picked').textContent = 'Click an atom to see its number and position.';
    this.showLegend(legend);
    this.updateStatus();
    clearTimeout(this.pickTimer);
    if (this.timer === null) this.pickTimer = setTimeout(() => this.guard(() => this.view.setPicking(true)), 400);
  }

  step(delta) {
    this.pause();
    this.showScene(this.index + delta);
  }

  updateStatus() {
    const status = $('status');
    const model = this.model;
    const bonds = model ? model.scenes[this.index].bonds.length / 2 : 0;
    status.dataset.atoms = String(model ? model.atomCount : 0);
    status.dataset.bonds = String(bonds);
    status.dataset.scenes = String(model ? model.scenes.length : 0);
    status.dataset.scene = String(model ? this.index + 1 : 0);
    status.dataset.color = model ? this.colorScheme() : '';
    if (status.dataset.busy === undefined) {
      status.textContent = model
        ? `scene ${this.index + 1} of ${model.scenes.length} · ${model.atomCount} atoms · ${bonds} bonds`
        : 'no file';
    }
  }

  // ?color= and the menu: auto, element or molecule.
  setColorMode(mode) {
    if (!COLOR_MODES.includes(mode)) return;
    this.colorMode = mode;
    $('color').value = mode;
    if (this.model) this.showScene(this.index);
  }

  // The colouring in force: the pv colour code, by element or by molecule.
  colorScheme() {
    if (this.colorMode === 'auto') return this.model.format === 'pv' ? 'code' : 'element';
    return this.colorMode;
  }

  // The colour of every atom of the scene shown (null: the pv colour code,
  // which the view takes from the scene) and the legend that goes with it.
  coloring() {
    const model = this.model;
    const scheme = this.colorScheme();
    this.molecules = null;
    if (scheme === 'code') return { colors: null, legend: this.codeLegend() };
    const key = scheme === 'molecule' ? (this.molecules = sceneMolecules(model, this.index)) : model;
    let found = this.colored.get(key);
    if (!found) {
      found = scheme === 'molecule' ? moleculeColoring(key) : elementColoring(model);
      this.colored.set(key, found);
    }
    return found;
  }

  // The pv colour code with the count of each code in the scene shown.
  codeLegend() {
    const kinds = this.model.scenes[this.index].kinds;
    const counts = new Map();
    for (const kind of kinds) counts.set(kind, (counts.get(kind) ?? 0) + 1);
    const entries = PV_KINDS.map(({ kind, meaning, color }) => ({ label: `${kind}: ${meaning}`, color, count: counts.get(kind) ?? 0 }));
    const other = [...counts].filter(([kind]) => !PV_KINDS.some((k) => k.kind === kind)).reduce((sum, [, c]) => sum + c, 0);
    if (other) entries.push({ label: 'other codes', color: PV_OTHER_COLOR, count: other });
    return { title: 'Colour code', entries };
  }

  showLegend({ title, entries, note = '' }) {
    $('legend-title').textContent = title;
    $('legend-note').textContent = note;
    $('legend-note').hidden = note === '';
    $('legend').replaceChildren(...entries.map(({ label, color, count }) => {
      const item = document.createElement('li');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = hex(color);
      const text = document.createElement('span');
      text.textContent = label;
      const number = document.createElement('span');
      number.className = 'count';
      number.textContent = String(count);
      item.append(swatch, text, number);
      return item;
    }));
  }

  showPicked(serial) {
    const scene = this.model.scenes[this.index];
    const p = scene.positions.subarray(3 * (serial - 1), 3 * serial);
    const about = [this.model.elements?.[serial - 1] ?? 'C'];
    if (scene.kinds) about.push(`colour code ${scene.kinds[serial - 1]}`);
    if (this.molecules) about.push(`molecule ${this.molecules.of[serial - 1] + 1}`);
    $('picked').textContent = `Atom ${serial} (${about.join(', ')}): x ${p[0].toFixed(3)}, y ${p[1].toFixed(3)}, ` +
      `z ${p[2].toFixed(3)} Å`;
  }

  togglePlay() {
    if (this.timer !== null) this.pause();
    else this.play();
  }

  play() {
    if (!this.model || this.model.scenes.length < 2) return;
    if (this.index === this.model.scenes.length - 1) this.showScene(0);
    $('play').textContent = 'Pause';
    const tick = () => {
      const next = this.index + 1;
      if (next >= this.model.scenes.length && !$('loop').checked) {
        this.pause();
        return;
      }
      try {
        this.showScene(next % this.model.scenes.length);
      } catch (error) {
        this.fail(`cannot show the scene: ${error.message}`);
        return;
      }
      this.timer = setTimeout(tick, 1000 / Number($('speed').value));
    };
    this.timer = setTimeout(tick, 1000 / Number($('speed').value));
    clearTimeout(this.pickTimer);
  }

  pause() {
    if (this.timer === null) return;
    clearTimeout(this.timer);
    this.timer = null;
    $('play').textContent = 'Play';
    this.pickTimer = setTimeout(() => this.guard(() => this.view.setPicking(true)), 400);
  }

  savePng() {
    if (!this.model) return;
    const link = document.createElement('a');
    link.href = this.view.png();
    const base = this.model.name.split(/[ ,]/)[0].replace(/\.[^.]*$/, '');
    link.download = `${base}-scene${this.index + 1}.png`;
    link.click();
  }
}

// Every atom by its element, and the elements with their counts.
function elementColoring(model) {
  const n = model.atomCount;
  const colors = new Uint32Array(n);
  const counts = new Map();
  for (let i = 0; i < n; ++i) {
    const symbol = model.elements?.[i] ?? 'C';
    counts.set(symbol, (counts.get(symbol) ?? 0) + 1);
  }
  const colorOf = new Map([...counts.keys()].map((symbol) => [symbol, elementColor(symbol)]));
  for (let i = 0; i < n; ++i) colors[i] = colorOf.get(model.elements?.[i] ?? 'C');
  const entries = [...counts].map(([symbol, count]) => ({
    label: knownElement(symbol) ? symbol : `${symbol} (unknown element)`, color: colorOf.get(symbol), count,
  }));
  return { colors, legend: { title: 'Elements', entries } };
}

// Every atom by its molecule, the colours taken in turn, and the first
// molecules with their atom counts.
function moleculeColoring({ of, count, names, label = 'residue' }) {
  const colors = new Uint32Array(of.length);
  const atoms = new Uint32Array(count);
  for (let i = 0; i < of.length; ++i) {
    colors[i] = MOLECULE_COLORS[of[i] % MOLECULE_COLORS.length];
    ++atoms[of[i]];
  }
  const shown = Math.min(count, LEGEND_MOLECULES);
  const entries = Array.from({ length: shown }, (_, k) => ({
    label: names ? `molecule ${k + 1} (${label} ${names[k] || 'blank'})` : `molecule ${k + 1}`,
    color: MOLECULE_COLORS[k % MOLECULE_COLORS.length],
    count: atoms[k],
  }));
  let note = !names ? 'The molecules are the groups of atoms joined by bonds.'
    : label === 'residue' ? 'The molecules are the residues of the file.' : `The molecules are the ${label}s of the file.`;
  if (count > shown) {
    let rest = 0;
    for (let k = shown; k < count; ++k) rest += atoms[k];
    note += ` ${count - shown} more molecules (${rest} atoms) are not listed; the ${MOLECULE_COLORS.length} colours repeat.`;
  } else if (count > MOLECULE_COLORS.length) {
    note += ` The ${MOLECULE_COLORS.length} colours repeat.`;
  }
  return { colors, legend: { title: `Molecules: ${count}`, entries, note } };
}

// Keys that the focused control acts on itself (Space on a button, the
// arrows on the slider, anything in a menu or typed into a field) are left
// to it.
function handledNatively(event) {
  const target = event.target;
  if (target.tagName === 'SELECT' || target.tagName === 'TEXTAREA') return true;
  if (target.tagName === 'INPUT' && target.type === 'range') return /^(Arrow|Home|End|Page)/.test(event.key);
  if (target.tagName === 'INPUT' && !['checkbox', 'file'].includes(target.type)) return true;  // typing
  if (target.tagName === 'BUTTON' || target.tagName === 'INPUT') return event.key === ' ' || event.key === 'Enter';
  return false;
}

function start() {
  let page;
  try {
    page = new Page();
  } catch (error) {
    const status = $('status');
    status.dataset.error = `the 3-D view cannot start: ${error.message}`;
    status.textContent = status.dataset.error;
    return;
  }
  const query = new URLSearchParams(location.search);
  page.setColorMode(query.get('color'));
  if (VIEW_AXES.includes(query.get('view'))) page.view.homeAxis = query.get('view');
  const urls = query.getAll('file').filter(Boolean);
  if (urls.length) page.loadUrls(urls, Number(query.get('scene') ?? 1));
  // The page is built with the programs only where emscripten was at hand.
  if (builderWorker) {
    const builder = new Builder(page, builderWorker);
    if (query.has('build')) builder.runCommandLine(query.get('build').split(','));
    else if (query.has('run')) builder.runCommand(query.get('run'));
  }
}

document.addEventListener('DOMContentLoaded', start);
