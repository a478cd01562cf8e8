// The tube builder of the page: a form that writes wrapping's arguments, the
// run in a Web Worker (the programs compiled to WebAssembly), the program's
// output exactly as it printed it, and every file it wrote shown at once and
// offered for download.  The converters turn the last trajectory shown
// (built or opened) into pv, XMOL, TINKER, LAMMPS, extended XYZ or PDB files
// the same way.  A command line runs any program of the module (assemble
// among them) with its arguments, in a directory holding the files shown
// last.
//
// The element <output id="build-status"> tells what happened: data-exit is
// the exit status of the last run (empty before any, and when a run did not
// end: stopped, or the module failed), data-busy is present while one runs.
//
// The form and the arguments field: while the fields are in charge
// (data-source="fields" on the form), every field edit writes the arguments
// anew.  Once the user types into the arguments field, or ?build= gives
// them, the arguments are in charge (data-source="arguments"): Build runs
// them as they stand, the fields show what they build (where a field maps)
// and cannot be edited, and a note names what no field shows, until "Edit
// with the fields" writes the arguments from the fields again.
import { zipSync } from 'fflate';
import { argumentsFromFields, commandTokens, fieldsFromArguments, parameterTokens, quoted } from './arguments.js';

const $ = (id) => document.getElementById(id);

// The arguments field is a parameter file: wrapping reads it with its own
// tokenizer (blanks, commas and line ends separate, '#' comments, double
// quotes), so a command line's arguments work there as well.
const ARGUMENTS_FILE = 'arguments.prm';

const baseName = (path) => path.split('/').pop();

// The programs of the module (viewer/wasm/programs.cpp), which the command
// line runs by name.
export const PROGRAMS = ['wrapping', 'ballconv', 'xyzframes', 'linkframes', 'topoconv', 'assemble'];

// The files of a command line's run that the viewer reads, by their
// extension: every XYZ file of a run that wrote several (the scenes of one
// animation), else the first of them.  GROMACS and psf outputs are shown
// by their .gro and .pdb files; a .top, .psf, .prm or .crd is offered only.
function viewable(files) {
  const readable = files.filter((f) => /\.(pv|dat|wrp|xyz|extxyz|pdb|data|lmp|gro)$/i.test(f.name));
  if (readable.length > 1 && readable.every((f) => /\.xyz$/i.test(f.name))) return readable;
  return readable.slice(0, 1);
}

// The form's fields by their names in arguments.js.
const FIELDS = {
  n: 'build-n', m: 'build-m', unit: 'build-unit', length: 'build-length', steps: 'build-steps',
  axis: 'build-axis', lattice: 'build-lattice', bond: 'build-bond', placement: 'build-placement',
  output: 'build-form-output', name: 'build-name', report: 'build-report',
};
const DEFAULT_NAMES = { '': 'swnt_pos.dat', '-p': 'swnt_pos.pv', '-xx': 'swnt_pos.xyz', '-xt': 'swnt_pos.xyz' };
const DEFAULT_CH = 1.09;

export class Builder {
  constructor(page, workerSource) {
    this.page = page;
    this.workerUrl = URL.createObjectURL(new Blob([workerSource], { type: 'text/javascript' }));
    this.worker = null;
    this.pending = null;   // { id, resolve, reject } of the request to the worker
    this.busy = false;
    this.nextId = 1;
    this.links = [];       // blob URLs of the downloads offered
    this.files = [];
    this.trajectory = null;  // { name, bytes } of the last trajectory shown
    this.shown = [];         // [{ name, bytes }]: the files shown last
    const section = $('build-section');
    section.hidden = false;
    this.source = 'fields';
    this.unshown = [];
    $('build-form').addEventListener('input', (event) => {
      if (event.target.id === 'build-args') this.showArguments(this.typedTokens());
      else if (this.source === 'fields') this.writeArguments();
    });
    $('build-use-fields').addEventListener('click', () => this.useFields());
    $('topoconv-options').addEventListener('input', () => this.updateConvert());
    $('build-form').addEventListener('submit', (event) => {
      event.preventDefault();
      this.runArguments();
    });
    $('build-stop').addEventListener('click', () => this.stop());
    $('command-programs').textContent = PROGRAMS.join(', ');
    $('command-form').addEventListener('submit', (event) => {
      event.preventDefault();
      this.runCommand($('command-line').value);
    });
    $('build-zip').addEventListener('click', () => this.downloadZip());
    for (const button of section.querySelectorAll('[data-program]')) {
      button.addEventListener('click', () => this.convert(button.dataset.program, button.dataset.extension));
    }
    page.onModel = (model, files) => {
      this.shown = files;
      if (model.format === 'trajectory') this.trajectory = files[0];
      this.updateConvert();
    };
    this.writeArguments();
    this.updateConvert();
  }

  readFields() {
    const fields = {};
    for (const [key, id] of Object.entries(FIELDS)) fields[key] = key === 'report' ? $(id).checked : $(id).value;
    return fields;
  }

  showFields(fields) {
    for (const [key, id] of Object.entries(FIELDS)) {
      if (key === 'report') $(id).checked = fields.report;
      else $(id).value = fields[key];
    }
  }

  // Who is in charge, the fields or the arguments field; `unshown` and
  // `problem`: what of the arguments the fields do not show.
  setSource(source, unshown = [], problem = null) {
    this.source = source;
    this.unshown = unshown;
    $('build-form').dataset.source = source;
    const byArguments = source === 'arguments';
    for (const id of Object.values(FIELDS)) $(id).disabled = byArguments;
    $('build-bond').disabled = byArguments || $('build-lattice').value !== 'ideal';
    $('build-name').placeholder = DEFAULT_NAMES[$('build-form-output').value];
    $('build-source').hidden = !byArguments;
    if (!byArguments) return;
    let text = 'The arguments field is in charge: Build runs it as it stands, and the fields show what it builds.';
    if (unshown.length) text += ` No field shows ${unshown.join(', ')}.`;
    if (problem) text += ` The fields cannot show all of it: ${problem}.`;
    $('build-source-text').textContent = text;
    $('build-use-fields').title = 'Write the arguments from the fields' +
      (unshown.length ? `, leaving out ${unshown.join(', ')}` : '');
  }

  // The form's choices as wrapping's arguments, into the arguments field.
  writeArguments() {
    $('build-args').value = argumentsFromFields(this.readFields()).map(quoted).join(' ');
    this.setSource('fields');
  }

  // The fields take over again, and write the arguments.
  useFields() {
    if ($('build-lattice').value === '-g') $('build-lattice').value = 'ideal';
    this.writeArguments();
  }

  // The arguments field's text as wrapping reads it (a parameter file).
  typedTokens() {
    const { tokens, error } = parameterTokens($('build-args').value);
    return { tokens: tokens ?? [], error };
  }

  // The arguments are in charge; the fields show what they build.
  showArguments({ tokens, error = null }, commandLine = false) {
    const { fields, unshown, problem } = fieldsFromArguments(tokens, commandLine);
    if (!error) this.showFields(fields);
    this.setSource('arguments', unshown, error ?? problem);
  }

  runArguments() {
    const text = new TextEncoder().encode($('build-args').value);
    return this.run('wrapping', [ARGUMENTS_FILE], [{ name: ARGUMENTS_FILE, bytes: text }]);
  }

  // ?build=ARGS: the arguments as given, shown in the field as well, and
  // in charge.
  runCommandLine(args) {
    $('build-args').value = args.map(quoted).join(' ');
    this.showArguments({ tokens: args }, true);
    return this.run('wrapping', args, []);
  }

  // The command line's program with its arguments, run in a directory
  // holding the files shown last (so that a file just built can be
  // converted); the files the viewer reads are shown.  ?run= gives it too.
  runCommand(text) {
    $('command-line').value = text;
    const { tokens, error } = commandTokens(text);
    const [program, ...args] = tokens ?? [];
    let problem = error;
    if (!problem && program === undefined) problem = 'an empty command line';
    if (!problem && !PROGRAMS.includes(program)) problem = `the page has no program "${program}"`;
    if (problem) {
      const status = $('build-status');
      status.dataset.exit = '';
      status.textContent = `${problem}: the command line names one of ${PROGRAMS.join(', ')}, then its arguments`;
      return undefined;
    }
    const files = this.shown.map((f) => ({ name: baseName(f.name), bytes: f.bytes }));
    return this.run(program, args, files, viewable);
  }

  // topoconv's options as chosen: the periodic axes, the LAMMPS style (for
  // a LAMMPS file), the ends trimmed or with hydrogen, the C-H distance.
  topoconvOptions(lammps) {
    const options = [];
    const periodic = ['x', 'y', 'z'].filter((axis) => $(`convert-periodic-${axis}`).checked).join('');
    if (periodic) options.push('--periodic', periodic);
    if (lammps && $('convert-style').value !== 'full') options.push('--style', $('convert-style').value);
    const ends = $('convert-ends').value;
    if (ends) options.push(ends);
    const ch = $('convert-ch').value.trim();
    if (ends === '--hydrogenate' && ch !== '' && Number(ch) !== DEFAULT_CH) options.push('--ch', ch);
    return options;
  }

  // The converter's command line: the trajectory, its name with
  // `extension`, for topoconv the options chosen before them.
  convert(program, extension) {
    if (!this.trajectory) return undefined;
    const name = baseName(this.trajectory.name);
    const output = `${name.replace(/\.[^.]*$/, '') || 'converted'}${extension}`;
    const options = program === 'topoconv' ? this.topoconvOptions(extension === '.data') : [];
    return this.run(program, [...options, name, output], [{ name, bytes: this.trajectory.bytes }]);
  }

  updateConvert() {
    $('convert-name').textContent = this.trajectory ? baseName(this.trajectory.name) : 'the last trajectory';
    $('convert-ch').disabled = $('convert-ends').value !== '--hydrogenate';
    const options = this.topoconvOptions(true);
    $('convert-options').textContent = options.length
      ? `topoconv ${options.join(' ')}${$('convert-style').value !== 'full' ? ' (--style for LAMMPS only)' : ''}`
      : 'topoconv with its defaults: nothing periodic, LAMMPS style full, the ends as built';
    for (const button of $('build-section').querySelectorAll('[data-program]')) {
      button.disabled = !this.trajectory || this.busy;
    }
  }

  // Runs `program` in the worker, shows what it printed and those of the
  // files it wrote that `show` picks.
  async run(program, args, files, show = (written) => written) {
    if (this.busy) return;
    const status = $('build-status');
    status.dataset.busy = '';
    status.dataset.exit = '';
    status.textContent = `running ${program}…`;
    this.setBusy(true);
    let result = null;
    try {
      result = await this.request({ program, args, files });
    } catch (error) {
      status.textContent = error.message;
    } finally {
      this.pending = null;
      this.setBusy(false);
    }
    if (result) {
      status.dataset.exit = String(result.status);
      const count = result.files.length;
      status.textContent = `${program}: exit status ${result.status}, ${count} file${count === 1 ? '' : 's'} written`;
      $('build-output').textContent = result.stdout;
      $('build-output').hidden = result.stdout === '';
      this.offer(result.files);
      const shown = show(result.files);
      if (shown.length > 0) await this.page.load(shown.map((f) => f.name).join(', '), async () => shown);
    }
    delete status.dataset.busy;
  }

  request(message) {
    if (!this.worker) {
      this.worker = new Worker(this.workerUrl);
      this.worker.onmessage = ({ data }) => {
        if (!this.pending || data.id !== this.pending.id) return;
        if (data.failure !== undefined) this.pending.reject(new Error(`the program failed: ${data.failure}`));
        else this.pending.resolve(data);
      };
      this.worker.onerror = (event) => {
        event.preventDefault();
        this.pending?.reject(new Error(`the program failed: ${event.message}`));
        this.worker = null;
      };
    }
    return new Promise((resolve, reject) => {
      this.pending = { id: this.nextId++, resolve, reject };
      this.worker.postMessage({ id: this.pending.id, ...message });
    });
  }

  // Ends the run under way, as Ctrl-C would: the worker goes, a new one
  // takes the next run.
  stop() {
    if (!this.pending) return;
    this.worker.terminate();
    this.worker = null;
    this.pending.reject(new Error('stopped'));
  }

  setBusy(busy) {
    this.busy = busy;
    $('build-run').disabled = busy;
    $('command-run').disabled = busy;
    $('build-stop').disabled = !busy;
    this.updateConvert();
  }

  // A download link for every file written; several also as one zip.
  offer(files) {
    for (const url of this.links) URL.revokeObjectURL(url);
    this.links = files.map((f) => URL.createObjectURL(new Blob([f.bytes])));
    this.files = files;
    $('build-file-list').replaceChildren(...files.map((f, k) => {
      const item = document.createElement('li');
      const link = document.createElement('a');
      link.href = this.links[k];
      link.download = baseName(f.name);
      link.textContent = f.name;
      const size = document.createElement('span');
      size.className = 'detail';
      size.textContent = ` ${f.bytes.length.toLocaleString('en')} bytes`;
      item.append(link, size);
      return item;
    }));
    $('build-files').hidden = files.length === 0;
    $('build-zip').hidden = files.length < 2;
  }

  downloadZip() {
    const entries = Object.fromEntries(this.files.map((f) => [baseName(f.name), f.bytes]));
    const url = URL.createObjectURL(new Blob([zipSync(entries, { level: 6 })], { type: 'application/zip' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = `${baseName(this.files[0].name).replace(/(\d{3})?\.[^.]*$/, '') || 'files'}.zip`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }
}
