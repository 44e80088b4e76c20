// What the browser tests share: a static server for the page folder and the test files on
// one origin, and Debian's Chromium, headless, driven by playwright-core.
import http from 'node:http';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import playwright from 'playwright-core';

const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json'};

// Serves `pageDir` at / and `filesDir` at /files/.
export function serve(pageDir, filesDir) {
  const server = http.createServer((request, response) => {
    const url = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = url.startsWith('/files/') ? path.join(filesDir, url.slice(7))
                                           : path.join(pageDir, url === '/' ? 'index.html' : url);
    fs.stat(file, (error, info) => {
      if (error || !info.isFile()) { response.writeHead(404); return response.end(); }
      response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                               'Content-Length': info.size});
      fs.createReadStream(file).pipe(response);
    });
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () =>
    resolve({server, origin: `http://127.0.0.1:${server.address().port}`})));
}

// KINARO_BROWSER=firefox: Debian's firefox-esr instead, driven over WebDriver BiDi
// (playwright-core's experimental _bidiFirefox).
export async function launch() {
  if (process.env.KINARO_BROWSER === 'firefox') {
    const browser = await playwright._bidiFirefox.launch({
      executablePath: process.env.KINARO_FIREFOX || '/usr/bin/firefox-esr', headless: true});
    const context = await browser.newContext({viewport: {width: 1280, height: 800}});
    context.kinaroBrowser = browser;
    return context;
  }
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kinaro-chromium-'));
  const context = await playwright.chromium.launchPersistentContext(profile, {
    executablePath: process.env.KINARO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    viewport: {width: 1280, height: 800},
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  context.kinaroProfile = profile;
  return context;
}

export async function close(context) {
  await context.close();
  if (context.kinaroBrowser) return context.kinaroBrowser.close();
  fs.rmSync(context.kinaroProfile, {recursive: true, force: true});
}

// Chooses `file` in a file input. The BiDi driver of Firefox cannot set a file input's files,
// so there the page is given them as the browser gives a chosen file: input.files, a change.
export async function chooseFile(input, file) {
  if (process.env.KINARO_BROWSER !== 'firefox') return input.setInputFiles(file);
  const bytes = fs.readFileSync(file).toString('base64');
  await input.evaluate((element, [name, b64]) => {
    const data = new DataTransfer();
    data.items.add(new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], name));
    element.files = data.files;
    element.dispatchEvent(new window.Event('change', {bubbles: true}));  // the page's Event is its own
  }, [path.basename(file), bytes]);
}

// The canvas's pixels as 0x00RRGGBB words, row by row.
export async function canvasPixels(page) {
  return page.evaluate(() => {
    const c = document.getElementById('client');
    if (c.width === 0 || c.height === 0) return {width: 0, height: 0, pixels: []};
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const out = new Array(c.width * c.height);
    for (let i = 0; i < out.length; i++) out[i] = (d[4 * i] << 16) | (d[4 * i + 1] << 8) | d[4 * i + 2];
    return {width: c.width, height: c.height, pixels: out};
  });
}

// An 8-bit palette PNG as rmtool export writes it, as 0x00RRGGBB words.
export function readPalettePng(file) {
  const data = fs.readFileSync(file);
  let width = 0, height = 0, palette = [];
  const idat = [];
  for (let at = 8; at < data.length;) {
    const length = data.readUInt32BE(at), type = data.toString('latin1', at + 4, at + 8);
    const body = data.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      [width, height] = [body.readUInt32BE(0), body.readUInt32BE(4)];
      if (body[8] !== 8 || body[9] !== 3) throw new Error(`${file}: not an 8-bit palette PNG`);
    }
    if (type === 'PLTE')
      for (let i = 0; i + 2 < body.length; i += 3) palette.push(body[i] << 16 | body[i + 1] << 8 | body[i + 2]);
    if (type === 'IDAT') idat.push(body);
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat)), rows = [];
  for (let y = 0, previous = Buffer.alloc(width); y < height; y++) {
    const filter = raw[y * (width + 1)], row = Buffer.from(raw.subarray(y * (width + 1) + 1, (y + 1) * (width + 1)));
    for (let x = 0; x < width; x++) {
      const a = x > 0 ? row[x - 1] : 0, b = previous[x], c = x > 0 ? previous[x - 1] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      row[x] = (row[x] + predictor) & 255;
    }
    rows.push(row);
    previous = row;
  }
  const pixels = [];
  for (const row of rows) for (const index of row) pixels.push(palette[index] ?? 0);
  return {width, height, pixels};
}

// How many pixels of two pictures differ (all of them when the sizes differ).
export function differences(a, b) {
  if (a.width !== b.width || a.height !== b.height) return a.width * a.height || 1;
  let count = 0;
  for (let i = 0; i < a.pixels.length; i++) count += a.pixels[i] !== b.pixels[i];
  return count;
}

// Waits until the canvas shows `expected` exactly; fails with the count of differing pixels.
export async function expectCanvas(page, expected, what, timeout = 5000) {
  const end = Date.now() + timeout;
  for (;;) {
    const shown = await canvasPixels(page);
    const count = differences(shown, expected);
    if (count === 0) return;
    if (Date.now() > end)
      throw new Error(`${what}: ${count} pixels differ (canvas ${shown.width}x${shown.height}, expected ${expected.width}x${expected.height})`);
    await page.waitForTimeout(50);
  }
}
