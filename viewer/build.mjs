// npm run build: the page into dist/, for use from disk (file://) or any
// static server.  The script is one classic (IIFE) bundle, since browsers
// refuse ES module scripts from file:// pages; the rendering library is
// bundled into it, so the page needs no network.
//
// Each step is one function; a later step (for instance a WebAssembly build
// of the programs) is added to `steps`.
import { build } from 'esbuild';
import { copyFile, mkdir, rm } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';

const here = (path) => fileURLToPath(new URL(path, import.meta.url));
const dist = here('dist/');

async function clean() {
  await rm(dist, { recursive: true, force: true });
  await mkdir(dist, { recursive: true });
}

async function bundle() {
  await build({
    entryPoints: [here('src/main.js')],
    outfile: `${dist}viewer.js`,
    bundle: true,
    format: 'iife',
    minify: true,
    target: 'es2020',
    legalComments: 'external',
    logLevel: 'warning',
  });
}

async function copyStatic() {
  for (const file of ['index.html', 'viewer.css']) await copyFile(here(`src/${file}`), `${dist}${file}`);
}

const steps = [clean, bundle, copyStatic];
for (const step of steps) await step();
console.log(`viewer built into ${dist}`);
