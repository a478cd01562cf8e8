// The page: opens files (picker, drop, ?file=), plays their scenes and keeps
// the status element, whose data attributes tell what is shown:
//   data-atoms, data-bonds, data-scenes, data-scene (from 1), data-error
//   (empty unless the last file failed), data-busy (present while a file is
//   read).
import { openFiles, sceneBonds, ReadError } from './readers/index.js';
import { PV_KINDS, PV_OTHER_COLOR } from './readers/pv.js';
import { SceneView } from './view.js';
import { Builder } from './builder/panel.js';
import builderWorker from 'swnt:builder-worker';

// Files beyond this size are refused before they are read into memory.
const MAX_FILE_BYTES = 2 ** 30;

const $ = (id) => document.getElementById(id);
const hex = (color) => `#${color.toString(16).padStart(6, '0')}`;

class Page {
  constructor() {
    this.view = new SceneView($('stage'));
    this.view.onPick = (serial) => this.showPicked(serial);
    this.model = null;
    this.index = 0;
    this.timer = null;
    this.pickTimer = null;
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
    $('legend-section').hidden = model.format !== 'pv';
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
    this.view.show(this.model, this.index, sceneBonds(this.model, this.index));
    $('slider').value = String(this.index + 1);
    $('picked').textContent = 'Click an atom to see its number and position.';
    if (this.model.format === 'pv') this.updateLegend();
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
    if (status.dataset.busy === undefined) {
      status.textContent = model
        ? `scene ${this.index + 1} of ${model.scenes.length} · ${model.atomCount} atoms · ${bonds} bonds`
        : 'no file';
    }
  }

  updateLegend() {
    const kinds = this.model.scenes[this.index].kinds;
    const counts = new Map();
    for (const kind of kinds) counts.set(kind, (counts.get(kind) ?? 0) + 1);
    const entries = PV_KINDS.map(({ kind, meaning, color }) => ({ label: `${kind}: ${meaning}`, color, count: counts.get(kind) ?? 0 }));
    const other = [...counts].filter(([kind]) => !PV_KINDS.some((k) => k.kind === kind)).reduce((sum, [, c]) => sum + c, 0);
    if (other) entries.push({ label: 'other codes', color: PV_OTHER_COLOR, count: other });
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
    const kind = scene.kinds ? `, colour code ${scene.kinds[serial - 1]}` : '';
    $('picked').textContent = `Atom ${serial}: x ${p[0].toFixed(3)}, y ${p[1].toFixed(3)}, z ${p[2].toFixed(3)} Å${kind}`;
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
  const urls = query.getAll('file').filter(Boolean);
  if (urls.length) page.loadUrls(urls, Number(query.get('scene') ?? 1));
  // The page is built with the programs only where emscripten was at hand.
  if (builderWorker) {
    const builder = new Builder(page, builderWorker);
    if (query.has('build')) builder.runCommandLine(query.get('build').split(','));
  }
}

document.addEventListener('DOMContentLoaded', start);
