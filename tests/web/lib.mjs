// Shared by the browser tests and the figures: a static server for one site folder on
// 127.0.0.1, the system's headless Chromium with a fresh profile, and canvas reading.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
};

// Serves `folder` on a free port of 127.0.0.1; resolves to {url, close}.
export function serve(folder) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    if (!file.startsWith(folder) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
                             'Cache-Control': 'no-store'});
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    resolve({url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close()});
  }));
}

// Debian's Chromium, headless, with a profile of its own that is removed on close.
export async function launch() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'murkwing-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           `--user-data-dir=${profile}`, '--window-size=1000,700'],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return browser;
}

// A page that may fetch only from `origin`: every other request fails and is listed in
// the returned `outside` array. `answer(url)` may answer a request in the server's stead
// (with what request.respond takes) or return null to let it through.
export async function openPage(browser, origin, answer = () => null) {
  const page = await browser.newPage();
  await page.setViewport({width: 1000, height: 700});
  const outside = [];
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const url = request.url();
    if (url.startsWith(origin) || url.startsWith('data:') || url.startsWith('blob:')) {
      const reply = answer(url);
      if (reply) request.respond(reply);
      else request.continue();
    } else {
      outside.push(url);
      request.abort();
    }
  });
  page.on('pageerror', (error) => console.log('page error:', error.message));
  return {page, outside};
}

// The page waits on its start screen for a gesture: a key press starts the game and the
// sound. It presses the space bar, which the game must not see: held in frame 1 it would
// climb, and the canvas would differ from the twin's.
export async function startGame(page) {
  await page.waitForSelector('#start:not([hidden])', {timeout: 30000});
  await page.keyboard.press('Space');
}

// Waits until the game has stopped at its hold frame (test build, ?hold=N).
export async function waitForHold(page, timeout = 30000) {
  await page.waitForFunction(() => window.Module && Module.murkwing && Module.murkwing.held,
                             {timeout, polling: 20});
}

export async function release(page) {
  await page.evaluate(() => { Module.murkwing.held = false; });
}

// The canvas's pixels as an array of 0xRRGGBB numbers, row by row.
export async function canvasPixels(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const out = new Array(canvas.width * canvas.height);
    for (let i = 0; i < out.length; ++i) out[i] = (data[4 * i] << 16) | (data[4 * i + 1] << 8) | data[4 * i + 2];
    return out;
  });
}

// Waits until the canvas has stopped changing (a dialog or the table at rest) and returns it.
export async function restingPixels(page, timeout = 20000) {
  const end = Date.now() + timeout;
  let last = await canvasPixels(page);
  while (Date.now() < end) {
    await new Promise((r) => setTimeout(r, 400));
    const now = await canvasPixels(page);
    if (now.every((v, i) => v === last[i])) return now;
    last = now;
  }
  throw new Error('the canvas never came to rest');
}

// The 0xRRGGBB pixels of a 24-bit bottom-up BMP file, row by row from the top.
export function bmpPixels(file) {
  const bytes = fs.readFileSync(file);
  const width = bytes.readInt32LE(18), height = bytes.readInt32LE(22), offset = bytes.readUInt32LE(10);
  const rowBytes = (width * 3 + 3) & ~3;
  const out = new Array(width * height);
  for (let y = 0; y < height; ++y) {
    const row = offset + (height - 1 - y) * rowBytes;
    for (let x = 0; x < width; ++x) {
      const p = row + 3 * x;
      out[y * width + x] = (bytes[p + 2] << 16) | (bytes[p + 1] << 8) | bytes[p];
    }
  }
  return out;
}

// How many pixels differ, and the first that does.
export function compare(actual, expected, width = 480) {
  let count = 0, first = null;
  for (let i = 0; i < expected.length; ++i) {
    if (actual[i] !== expected[i]) {
      if (!first) first = {x: i % width, y: Math.floor(i / width), actual: actual[i], expected: expected[i]};
      ++count;
    }
  }
  return {count, first};
}
