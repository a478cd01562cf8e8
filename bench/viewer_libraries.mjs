// How the viewer's rendering library was chosen: 3Dmol.js and NGL draw the
// same (10,10) tube of 10^5 atoms and 1.5 x 10^5 bonds, ball-and-stick and
// sticks only, in headless Chromium with software WebGL, each in its own
// fast way (3Dmol: one model of atoms with bonds; NGL: sphere and cylinder
// impostor buffers).  Times: opening (data to the first finished frame), a
// change of all coordinates with a new frame, and drawing the same frame
// again.  Installs both libraries into a scratch directory first.
//
// Usage: node bench/viewer_libraries.mjs   (programs of SWNT_BUILD_DIR, default build)
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { launch, run, scratchDir } from '../viewer/test/support.js';

const work = scratchDir();
const here = new URL('.', import.meta.url).pathname;
try {
  execFileSync('npm', ['install', '--no-save', '--no-audit', '--no-fund', '--prefix', work,
    '3dmol@2.5.5', 'ngl@2.5.0', 'esbuild@0.28.2'], { stdio: 'ignore' });
  for (const library of ['3dmol', 'ngl']) {
    execFileSync(join(work, 'node_modules/.bin/esbuild'), [join(here, 'viewer_libraries', `${library}.js`),
      '--bundle', '--format=iife', '--minify', `--outfile=${join(work, `${library}.bundle.js`)}`],
    { stdio: 'ignore', env: { ...process.env, NODE_PATH: join(work, 'node_modules') } });
  }
  run('wrapping', [10, 10, '-u', 2500, '-f', 'tube.dat'], work);
  run('linkframes', ['tube.dat', 'tube.xyz'], work);
  const lines = readFileSync(join(work, 'tube001.xyz'), 'utf8').trim().split('\n').slice(1);
  const positions = [];
  const bonds = [];
  lines.forEach((line, i) => {
    const fields = line.trim().split(/\s+/);
    positions.push(Number(fields[2]), Number(fields[3]), Number(fields[4]));
    for (const n of fields.slice(6)) if (Number(n) - 1 > i) bonds.push(i, Number(n) - 1);
  });

  const browser = await launch({ width: 1280, height: 800 });
  console.log(`${positions.length / 3} atoms, ${bonds.length / 2} bonds; window 1280 x 800; median of 3 runs [s]\n`);
  console.log('| library | style | open | coordinates changed, new frame | same frame again |');
  console.log('|---|---|---:|---:|---:|');
  for (const [library, setting] of [['3dmol', { antialias: false }], ['3dmol', { antialias: true }], ['ngl', {}]]) {
    for (const style of ['ball-and-stick', 'sticks']) {
      const results = [];
      for (let k = 0; k < 3; ++k) {
        const page = await browser.newPage();
        const html = join(work, `${library}.html`);
        mkdirSync(work, { recursive: true });
        writeFileSync(html, `<!doctype html><body style="margin:0"><div id="view" style="position:relative;` +
          `width:1280px;height:800px"></div><script src="${library}.bundle.js"></script>`);
        await page.goto(`file://${html}`);
        results.push(await page.evaluate((data, style, setting) => window.measure(data, style, setting),
          { positions, bonds }, style, setting));
        await page.close();
      }
      const median = (key) => results.map((r) => r[key]).sort((a, b) => a - b)[1] / 1000;
      const name = library === 'ngl' ? 'NGL 2.5.0' : `3Dmol.js 2.5.5, antialias ${setting.antialias ? 'on' : 'off'}`;
      console.log(`| ${name} | ${style} | ${median('open').toFixed(3)} | ${median('change').toFixed(3)} | ${median('redraw').toFixed(3)} |`);
    }
  }
  await browser.close();
} finally {
  rmSync(work, { recursive: true, force: true });
}
