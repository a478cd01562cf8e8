// npm run build: the page into dist/, for use from disk (file://) or any
// static server.  The script is one classic (IIFE) bundle, since browsers
// refuse ES module scripts from file:// pages; the rendering library is
// bundled into it, so the page needs no network.
//
// When emcc (Debian's emscripten) is on the PATH, the programs are built
// into WebAssembly first (CMake with emcmake, in ../build-wasm) and the
// page gets its tube builder: the module, its glue and the worker that runs
// it are bundled into one worker script, which the page's bundle carries as
// text and starts from a blob URL (a page opened from disk may neither fetch
// the module nor start a worker from a file).  Without emcc the viewer is
// built alone, and says so.
//
// Each step is one function; a later step joins `steps`.
import { build } from 'esbuild';
import { spawnSync } from 'node:child_process';
import { accessSync, constants } from 'node:fs';
import { copyFile, mkdir, rm } from 'node:fs/promises';
import { delimiter, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = (path) => fileURLToPath(new URL(path, import.meta.url));
const dist = here('dist/');
const wasmBuild = here('../build-wasm/');
const programs = join(wasmBuild, 'viewer', 'wasm', 'programs');

const onPath = (name) => (process.env.PATH ?? '').split(delimiter).some((dir) => {
  try {
    accessSync(join(dir || '.', name), constants.X_OK);
    return true;
  } catch {
    return false;
  }
});

function run(command, args, env) {
  const result = spawnSync(command, args, { stdio: 'inherit', env });
  if (result.status !== 0) throw new Error(`${command} ${args.join(' ')} failed (status ${result.status ?? result.signal})`);
}

async function clean() {
  await rm(dist, { recursive: true, force: true });
  await mkdir(dist, { recursive: true });
}

// The worker script with the programs in it, as text; null without emcc.
let builderWorker = null;

async function buildPrograms() {
  if (!onPath('emcc')) {
    console.log('emcc is not on the PATH: the viewer is built without its tube builder ' +
      '(install emscripten to add it)');
    return;
  }
  console.log(`building the programs into WebAssembly in ${wasmBuild}`);
  // Debian's emscripten finds its JavaScript modules (acorn) in Debian's
  // node module directory, which a Node.js from elsewhere does not search.
  const env = { ...process.env, NODE_PATH: [process.env.NODE_PATH, '/usr/share/nodejs'].filter(Boolean).join(delimiter) };
  run('emcmake', ['cmake', '-S', here('..'), '-B', wasmBuild, '-DCMAKE_BUILD_TYPE=Release',
    '-DSWNT_BUILD_TESTS=OFF', '-DSWNT_BUILD_BENCH=OFF', '--log-level=WARNING'], env);
  run('cmake', ['--build', wasmBuild, '--target', 'programs', '-j2'], env);
  const result = await build({
    entryPoints: [here('src/builder/worker.js')],
    bundle: true,
    write: false,
    format: 'iife',
    minify: true,
    target: 'es2020',
    alias: { 'swnt-programs': `${programs}.js`, 'swnt-programs.wasm': `${programs}.wasm` },
    loader: { '.wasm': 'binary' },
    logLevel: 'warning',
  });
  builderWorker = result.outputFiles[0].text;
}

// The worker text reaches the page's bundle as the module "swnt:builder-worker".
const builderWorkerModule = {
  name: 'builder-worker',
  setup(bundler) {
    bundler.onResolve({ filter: /^swnt:builder-worker$/ }, () => ({ path: 'builder-worker', namespace: 'swnt' }));
    bundler.onLoad({ filter: /.*/, namespace: 'swnt' }, () => ({
      contents: `export default ${JSON.stringify(builderWorker)};`, loader: 'js',
    }));
  },
};

async function bundle() {
  await build({
    entryPoints: [here('src/main.js')],
    outfile: `${dist}viewer.js`,
    bundle: true,
    format: 'iife',
    minify: true,
    target: 'es2020',
    legalComments: 'external',
    plugins: [builderWorkerModule],
    logLevel: 'warning',
  });
}

async function copyStatic() {
  for (const file of ['index.html', 'viewer.css']) await copyFile(here(`src/${file}`), `${dist}${file}`);
}

const steps = [clean, buildPrograms, bundle, copyStatic];
for (const step of steps) await step();
console.log(`viewer built into ${dist}${builderWorker ? ', with the tube builder' : ''}`);
