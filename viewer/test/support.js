// What the browser tests and the benchmark share: Debian's Chromium driven
// headless, a local server for the page and the files, and our programs.
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import { existsSync, mkdtempSync, readFileSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';

export const VIEWER_DIR = fileURLToPath(new URL('..', import.meta.url));
export const DIST_DIR = join(VIEWER_DIR, 'dist');
export const CHROMIUM = process.env.SWNT_CHROMIUM ?? '/usr/bin/chromium';
// The build directory of the programs (the README's `build` by default).
export const BUILD_DIR = resolve(process.env.SWNT_BUILD_DIR ?? join(VIEWER_DIR, '..', 'build'));

// Why the browser tests cannot run here, or null.
export function missingTool() {
  if (!existsSync(CHROMIUM)) return `no browser at ${CHROMIUM}`;
  if (!existsSync(join(DIST_DIR, 'index.html'))) return 'the page is not built (npm run build)';
  const absent = ['wrapping', 'ballconv', 'xyzframes', 'linkframes', 'scenejoin']
    .filter((p) => !existsSync(join(BUILD_DIR, p)));
  return absent.length ? `programs missing in ${BUILD_DIR}: ${absent.join(', ')}` : null;
}

// Runs one of our programs in `cwd`; throws unless it exits with status 0.
export function run(program, args, cwd) {
  const result = spawnSync(join(BUILD_DIR, program), args.map(String), { cwd, encoding: 'utf8' });
  if (result.status !== 0) throw new Error(`${program} ${args.join(' ')}: status ${result.status}\n${result.stdout}${result.stderr}`);
  return result.stdout;
}

export function scratchDir() {
  return mkdtempSync(join(tmpdir(), 'swnt-viewer-'));
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };

// Serves the built page at / and the directory `files` at /files/, on the
// loopback interface only.
export async function serve(files) {
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const [root, rest] = path.startsWith('/files/') ? [files, path.slice(7)] : [DIST_DIR, path.slice(1) || 'index.html'];
    const file = normalize(join(root, rest));
    if (!file.startsWith(root) || !existsSync(file) || !statSync(file).isFile()) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream' });
    response.end(readFileSync(file));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => new Promise((done) => server.close(done)) };
}

// Chromium, headless with software WebGL, with a fresh profile that is
// removed on close.  Background services stay off: they would try to reach
// the network.
export async function launch({ width = 1280, height = 800, scale = 1 } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'swnt-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    defaultViewport: { width, height, deviceScaleFactor: scale },
    args: ['--headless=new', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
      '--disable-gpu-sandbox', '--no-first-run', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--disable-quic', `--user-data-dir=${profile}`],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// A new tab; its console errors and uncaught exceptions are collected in
// `problems`.
export async function openTab(browser) {
  const page = await browser.newPage();
  const problems = [];
  page.on('console', (message) => { if (message.type() === 'error') problems.push(`console: ${message.text()}`); });
  page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
  return { page, problems };
}

// The status element's data attributes once no file is being read.
export async function settledStatus(page) {
  await page.waitForFunction(() => {
    const status = document.getElementById('status');
    return status && status.dataset.busy === undefined && (status.dataset.scenes !== '0' || status.dataset.error !== '');
  }, { timeout: 60000 });
  return page.$eval('#status', (status) => ({ ...status.dataset }));
}
