// Benchmark of the viewer in headless Chromium (software WebGL): opening a
// (40,40) pv file of 32,000 atoms x 21 scenes and a scene change in it, and
// opening a 10^5-atom trajectory.  Prints a Markdown table.
//
// Usage (after `npm ci && npm run build` in viewer/ and a build of the
// programs): node bench/viewer_bench.mjs
// Settings (environment): SWNT_BUILD_DIR (default: build), BENCH_RUNS
// (default 5; the median is shown), SWNT_CHROMIUM (default /usr/bin/chromium).
import { cpus } from 'node:os';
import { rmSync } from 'node:fs';
import { launch, openTab, run, scratchDir, serve, settledStatus } from '../viewer/test/support.js';

const runs = Number(process.env.BENCH_RUNS ?? 5);
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const work = scratchDir();

// Waits in the page until the drawing is done: reading a pixel back makes
// the browser finish every drawing command issued before.
const drawn = () => {
  const canvas = document.querySelector('#stage canvas');
  const gl = canvas.getContext('webgl2') ?? canvas.getContext('webgl');
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
};

async function openTime(browser, url, file) {
  const { page, problems } = await openTab(browser);
  const start = Date.now();
  await page.goto(`${url}?file=files/${file}`);
  const status = await settledStatus(page);
  await page.evaluate(drawn);
  const seconds = (Date.now() - start) / 1000;
  if (status.error || problems.length) throw new Error(`${file}: ${status.error} ${problems.join('; ')}`);
  return { page, seconds, status };
}

try {
  run('wrapping', [40, 40, '-u', 200, '-w', 20, '-p', '-f', 'rolling.pv'], work);
  run('wrapping', [10, 10, '-u', 2500, '-f', 'long.dat'], work);
  const server = await serve(work);
  const browser = await launch({ width: 1280, height: 800 });
  const rows = [];

  const pvOpen = [];
  const changes = [];
  let pvStatus;
  for (let k = 0; k < runs; ++k) {
    const { page, seconds, status } = await openTime(browser, server.url, 'rolling.pv');
    pvOpen.push(seconds);
    pvStatus = status;
    // Every scene in turn, as playing does.
    for (let scene = 2; scene <= Number(status.scenes); ++scene) {
      changes.push(await page.evaluate((value, wait) => {
        const start = performance.now();
        const slider = document.getElementById('slider');
        slider.value = String(value);
        slider.dispatchEvent(new Event('input'));
        new Function(`(${wait})()`)();
        return (performance.now() - start) / 1000;
      }, scene, drawn.toString()));
    }
    await page.close();
  }
  rows.push([`open a (40,40) pv file, ${pvStatus.atoms} atoms x ${pvStatus.scenes} scenes`, median(pvOpen), 3]);
  rows.push([`scene change in it (median of ${changes.length}; slowest ${Math.max(...changes).toFixed(3)} s)`,
    median(changes), 0.1]);

  const trajectoryOpen = [];
  let trajectoryStatus;
  for (let k = 0; k < runs; ++k) {
    const { page, seconds, status } = await openTime(browser, server.url, 'long.dat');
    trajectoryOpen.push(seconds);
    trajectoryStatus = status;
    await page.close();
  }
  rows.push([`open a (10,10) trajectory of ${trajectoryStatus.atoms} atoms (${trajectoryStatus.bonds} bonds found)`,
    median(trajectoryOpen), 3]);
  await browser.close();
  await server.close();

  console.log(`Machine: ${cpus()[0]?.model ?? 'unknown CPU'}, ${cpus().length} cores; ${(await launchVersion())}; ` +
    `window 1280 x 800; median of ${runs} runs.\n`);
  console.log('| work | time [s] | target | met |');
  console.log('|---|---:|---|---|');
  for (const [work, seconds, target] of rows) {
    console.log(`| ${work} | ${seconds.toFixed(3)} | <= ${target} s | ${seconds <= target ? 'yes' : 'no'} |`);
  }
} finally {
  rmSync(work, { recursive: true, force: true });
}

async function launchVersion() {
  const browser = await launch();
  const version = await browser.version();
  await browser.close();
  return `${version}, software WebGL (SwiftShader)`;
}
