// The tube builder of the page: a form that writes wrapping's arguments, the
// run in a Web Worker (the programs compiled to WebAssembly), the program's
// output exactly as it printed it, and every file it wrote shown at once and
// offered for download.  The converters turn the last trajectory shown
// (built or opened) into pv, XMOL, TINKER, LAMMPS, extended XYZ or PDB files
// the same way.
//
// The element <output id="build-status"> tells what happened: data-exit is
// the exit status of the last run (empty before any, and when a run did not
// end: stopped, or the module failed), data-busy is present while one runs.
import { zipSync } from 'fflate';

const $ = (id) => document.getElementById(id);

// The arguments field is a parameter file: wrapping reads it with its own
// tokenizer (blanks, commas and line ends separate, '#' comments, double
// quotes), so a command line's arguments work there as well.
const ARGUMENTS_FILE = 'arguments.prm';

const baseName = (path) => path.split('/').pop();

// A token as a parameter file writes it.
const quoted = (token) => (token === '' || /[\s,#]/.test(token) ? `"${token}"` : token);

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
    const section = $('build-section');
    section.hidden = false;
    $('build-form').addEventListener('input', (event) => {
      if (event.target.id !== 'build-args') this.writeArguments();
    });
    $('build-form').addEventListener('submit', (event) => {
      event.preventDefault();
      this.runArguments();
    });
    $('build-stop').addEventListener('click', () => this.stop());
    $('build-zip').addEventListener('click', () => this.downloadZip());
    for (const button of section.querySelectorAll('[data-program]')) {
      button.addEventListener('click', () => this.convert(button.dataset.program, button.dataset.extension));
    }
    page.onModel = (model, files) => {
      if (model.format === 'trajectory') this.trajectory = files[0];
      this.updateConvert();
    };
    this.writeArguments();
    this.updateConvert();
  }

  // The form's choices as wrapping's arguments, into the arguments field.
  writeArguments() {
    const value = (id) => $(id).value.trim();
    const args = [value('build-n') || '0', value('build-m') || '0', $('build-unit').value, value('build-length') || '0'];
    const steps = value('build-steps');
    if (steps && Number(steps) !== 0) args.push('-w', steps);
    if ($('build-axis').value !== 'x') args.push(`-a${$('build-axis').value}`);
    const lattice = $('build-lattice').value;
    $('build-bond').disabled = lattice !== 'ideal';
    if (lattice !== 'ideal') args.push(lattice);
    else if (Number(value('build-bond')) !== 1.44) args.push('-c', value('build-bond') || '0');
    for (const id of ['build-placement', 'build-form-output']) if ($(id).value) args.push($(id).value);
    if ($('build-report').checked) args.push('-d');
    $('build-args').value = args.join(' ');
  }

  runArguments() {
    const text = new TextEncoder().encode($('build-args').value);
    return this.run('wrapping', [ARGUMENTS_FILE], [{ name: ARGUMENTS_FILE, bytes: text }]);
  }

  // ?build=ARGS: the arguments as given, shown in the field as well.
  runCommandLine(args) {
    $('build-args').value = args.map(quoted).join(' ');
    return this.run('wrapping', args, []);
  }

  // The converter's command line: the trajectory, its name with
  // `extension`, for topoconv the periodic axes chosen before them.
  convert(program, extension) {
    if (!this.trajectory) return undefined;
    const name = baseName(this.trajectory.name);
    const output = `${name.replace(/\.[^.]*$/, '') || 'converted'}${extension}`;
    const periodic = $('convert-periodic').value;
    const options = program === 'topoconv' && periodic !== 'none' ? ['--periodic', periodic] : [];
    // The viewer does not read LAMMPS data files: the trajectory stays shown.
    const show = extension !== '.data';
    return this.run(program, [...options, name, output], [{ name, bytes: this.trajectory.bytes }], show);
  }

  updateConvert() {
    $('convert-name').textContent = this.trajectory ? baseName(this.trajectory.name) : 'the last trajectory';
    for (const button of $('build-section').querySelectorAll('[data-program]')) {
      button.disabled = !this.trajectory || this.busy;
    }
  }

  // Runs `program` in the worker, shows what it printed and (with `show`)
  // the files it wrote.
  async run(program, args, files, show = true) {
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
      if (count > 0 && show) await this.page.load(result.files.map((f) => f.name).join(', '), async () => result.files);
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
