// The Web Worker that runs the programs (wrapping and the converters, built
// into WebAssembly from the same sources), so that the page stays
// responsive while they work.
//
// Every run is a new instance of the module, as every command is a new
// process: fresh memory, the structure tables beside the program in
// /swnt/bin, and an empty working directory that holds only the input files
// given.  The module is compiled once.
//
// Request:  { id, program, args: [text], files: [{ name, bytes }] }
// Answer:   { id, status, stdout, files: [{ name, bytes }] }, the files being
//           every file the run wrote or changed, or { id, failure } when the
//           module itself failed (the program's own errors are in stdout).
import createPrograms from 'swnt-programs';
import wasm from 'swnt-programs.wasm';

const WORK = '/work';
const compiled = WebAssembly.compile(wasm);

// path -> "inode:mtime" of every file in the file system, outside the
// devices.
function fileStamps(FS) {
  const stamps = new Map();
  const walk = (dir) => {
    for (const name of FS.readdir(dir)) {
      if (name === '.' || name === '..') continue;
      const path = dir === '/' ? `/${name}` : `${dir}/${name}`;
      if (path === '/dev' || path === '/proc') continue;
      const { node } = FS.lookupPath(path);
      if (FS.isDir(node.mode)) walk(path);
      else if (FS.isFile(node.mode)) stamps.set(path, `${node.id}:${node.timestamp}`);
    }
  };
  walk('/');
  return stamps;
}

async function run({ program, args, files }) {
  const stdout = [];
  const module = await compiled;
  const programs = await createPrograms({
    thisProgram: `/swnt/bin/${program}`,
    noInitialRun: true,
    // Byte by byte, so that the text is exactly what the program printed.
    stdout: (byte) => { if (byte !== null) stdout.push(byte & 0xff); },
    stderr: () => {},
    instantiateWasm(imports, done) {
      WebAssembly.instantiate(module, imports).then(done);
      return {};
    },
  });
  const { FS } = programs;
  FS.mkdir(WORK);
  FS.chdir(WORK);
  for (const { name, bytes } of files) FS.writeFile(name, bytes);
  const before = fileStamps(FS);
  const status = programs.callMain(args);
  const written = [];
  for (const [path, stamp] of fileStamps(FS)) {
    if (before.get(path) === stamp) continue;
    const name = path.startsWith(`${WORK}/`) ? path.slice(WORK.length + 1) : path;
    written.push({ name, bytes: FS.readFile(path) });
  }
  return { status, stdout: new TextDecoder().decode(new Uint8Array(stdout)), files: written };
}

self.onmessage = async ({ data }) => {
  try {
    const result = await run(data);
    self.postMessage({ id: data.id, ...result }, result.files.map((f) => f.bytes.buffer));
  } catch (error) {
    self.postMessage({ id: data.id, failure: String(error?.message ?? error) });
  }
};
