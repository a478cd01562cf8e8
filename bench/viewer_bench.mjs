// Benchmark of the viewer in headless Chromium (software WebGL): opening a
// (40,40) pv file of 32,000 atoms x 21 scenes and a scene change in it,
// opening a 10^5-atom trajectory, and, when the page has its tube builder,
// building a 10^5-atom tube in the page and showing it.  Prints a Markdown
// table.
//
// Usage (after `npm ci && npm run build` in viewer/ and a build of the
// programs): node bench/viewer_bench.mjs
// Settings (environment): SWNT_BUILD_DIR (default: build), BENCH_RUNS
// (default 5; the median is shown), SWNT_CHROMIUM (default /usr/bin/chromium).
import { cpus, loadavg } from 'node:os';
import { rmSync } from 'node:fs';
import { launch, openTab, run, scratchDir, serve, settledStatus } from '../viewer/test/support.js';

const runs = Number(process.env.BENCH_RUNS ?? 5);
const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const work = scratchDir();

// Waits in the page until the drawing is done: reading a pixel back makes
// the browser finish every drawing command issued before.
const drawn = () => {
  const canvas = document.querySelector('#stage canvas:not(#axes)');  // the view, not the axes drawn over it
  const gl = canvas.getContext('webgl2') ?? canvas.getContext('webgl');
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
};

async function openTime(browser, url, query) {
  const { page, problems } = await openTab(browser);
  const start = Date.now();
  await page.goto(`${url}?${query}`);
  const status = await settledStatus(page);
  await page.evaluate(drawn);
  const seconds = (Date.now() - start) / 1000;
  if (status.error || problems.length) throw new Error(`${query}: ${status.error} ${problems.join('; ')}`);
  return { page, seconds, status };
}

// Opens the page with `query` BENCH_RUNS times, each in a new tab;
// `then(page, status)` runs on each opened page.  Returns the median time
// and the last status.
async function opened(browser, url, query, then = async () => {}) {
  const times = [];
  let last;
  for (let k = 0; k < runs; ++k) {
    const { page, seconds, status } = await openTime(browser, url, query);
    times.push(seconds);
    last = status;
    await then(page, status);
    await page.close();
  }
  return { time: median(times), status: last };
}

try {
  run('wrapping', [40, 40, '-u', 200, '-w', 20, '-p', '-f', 'rolling.pv'], work);
  run('wrapping', [10, 10, '-u', 2500, '-f', 'long.dat'], work);
  const server = await serve(work);
  const browser = await launch({ width: 1280, height: 800 });
  const load = loadavg()[0];

  const changes = [];
  const pv = await opened(browser, server.url, 'file=files/rolling.pv', async (page, status) => {
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
  });
  const trajectory = await opened(browser, server.url, 'file=files/long.dat');
  // The same tube built in the page: wrapping in WebAssembly in its worker,
  // then read and drawn as an opened file is; and that run alone, started
  // again from the arguments field once the page is idle (the atoms made
  // pickable).
  const probe = (await openTab(browser)).page;
  await probe.goto(server.url);
  const builder = !(await probe.$eval('#build-section', (section) => section.hidden));
  await probe.close();
  const runOnly = [];
  const built = builder && await opened(browser, server.url, 'build=10,10,-u,2500', async (page) => {
    await new Promise((done) => setTimeout(done, 3000));
    runOnly.push(await page.evaluate(() => new Promise((done) => {
      const status = document.getElementById('build-status');
      const start = performance.now();
      new MutationObserver(() => { if (status.dataset.exit !== '') done((performance.now() - start) / 1000); })
        .observe(status, { attributes: true });
      document.getElementById('build-run').click();
    })));
  });
  const version = await browser.version();
  await browser.close();
  await server.close();

  const rows = [
    [`open a (40,40) pv file, ${pv.status.atoms} atoms x ${pv.status.scenes} scenes`, pv.time, 3],
    [`scene change in it (median of ${changes.length}; slowest ${Math.max(...changes).toFixed(3)} s)`,
      median(changes), 0.1],
    [`open a (10,10) trajectory of ${trajectory.status.atoms} atoms (${trajectory.status.bonds} bonds found)`,
      trajectory.time, 3],
  ];
  if (built) {
    rows.push([`build the same tube in the page and show it (?build=10,10,-u,2500: ${built.status.atoms} atoms)`,
      built.time, 3]);
    rows.push(['of which wrapping 10 10 -u 2500 in the page\'s worker (WebAssembly), until its files are back',
      median(runOnly), null]);
  }
  console.log(`Machine: ${cpus()[0]?.model ?? 'unknown CPU'}, ${cpus().length} cores, load average ` +
    `${load.toFixed(1)} at the start; ${version}, software WebGL (SwiftShader); window 1280 x 800; ` +
    `median of ${runs} runs.\n`);
  console.log('| work | time [s] | target | met |');
  console.log('|---|---:|---|---|');
  for (const [what, seconds, target] of rows) {
    const verdict = target === null ? '| |' : `| <= ${target} s | ${seconds <= target ? 'yes' : 'no'} |`;
    console.log(`| ${what} | ${seconds.toFixed(3)} ${verdict}`);
  }
  if (!built) console.log('\nThe page has no tube builder (built without emcc on the PATH): no build measured.');
} finally {
  rmSync(work, { recursive: true, force: true });
}
