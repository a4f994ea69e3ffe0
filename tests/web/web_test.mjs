// Browser tests of the web build in the system's headless Chromium. Each compares the
// canvas (getImageData) with the headless twin's page after the same input: the test build
// (tools/web.sh test) starts the clock at the seed given by ?seed= and holds the game after
// the frames given by ?hold=, where the test types; the twin (web_twin_page) types the same
// keys at the same pauses. A dialog or the table is compared once it has come to rest.
//
//   node web_test.mjs SITE_FOLDER TWIN_PROGRAM FONT_BMP
import {execFileSync, spawn} from 'node:child_process';
import {once} from 'node:events';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {serve, launch, openPage, startGame, waitForHold, release, canvasPixels, restingPixels, bmpPixels,
  compare} from './lib.mjs';

const [site, twinProgram, font] = process.argv.slice(2).map((p) => path.resolve(p));
const tools = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../../tools');
const SEED = 1000;
const REST = 200;             // pauses after which the twin's dialogs are at rest
const KEY_DOWN = 80 * 256 + 255;
const ENTER = 13, ESCAPE = 27, SPACE_SCANCODE = 57;

// A folder for the twin, holding the font, as the browser's storage holds it.
function twinFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'murkwing-twin-'));
  fs.copyFileSync(font, path.join(folder, 'font.bmp'));
  return folder;
}

// The twin's page at pause `writeAt` after the steps ("PAUSE:ITEMS").
function twinPage(folder, writeAt, ...steps) {
  const out = path.join(folder, 'page.bmp');
  execFileSync(twinProgram, [folder, out, String(SEED), String(writeAt), ...steps], {stdio: 'inherit'});
  return bmpPixels(out);
}

function expectSame(actual, expected, what) {
  const {count, first} = compare(actual, expected);
  if (count !== 0) {
    throw new Error(`${what}: ${count} pixels differ from the twin's, first at (${first.x}, ${first.y}): ` +
                    `0x${first.actual.toString(16)} instead of 0x${first.expected.toString(16)}`);
  }
}

// The top of the craft's path: the first row below the status line with a lit pixel left of
// x = 120.
function pathTop(pixels) {
  for (let y = 40; y < 320; ++y) for (let x = 0; x < 120; ++x) if (pixels[y * 480 + x]) return y;
  return 320;
}

// Page pixel (x, y) in the viewport: the canvas is shown twice its size, centred in 1000 x 700.
const onScreen = (x, y) => ({x: 20 + 2 * x + 1, y: 30 + 2 * y + 1});

const tests = [];
const test = (name, body, query) => tests.push({name, body, query});

test('the first frame appears with its status line, as the twin draws it', async ({page, outside}) => {
  await waitForHold(page, 10000);
  const pixels = await canvasPixels(page);
  let lit = 0;
  for (let i = 0; i < 480 * 24; ++i) if (pixels[i]) ++lit;
  if (lit < 200) throw new Error(`the status line rows hold only ${lit} lit pixels`);
  expectSame(pixels, twinPage(twinFolder(), 1), 'frame 1');
  const shown = await page.evaluate(() => {
    const r = document.getElementById('screen').getBoundingClientRect();
    return [r.left, r.top, r.width, r.height, document.documentElement.scrollHeight, getComputedStyle(
      document.getElementById('screen')).imageRendering].join(' ');
  });
  if (shown !== '20 30 960 640 700 pixelated') throw new Error(`canvas shown as ${shown}`);
  const figures = await page.evaluate(() => Module.murkwing);
  console.log(`  first frame ${figures.firstFrameAt.toFixed(0)} ms after navigation`);
  if (outside.length) throw new Error(`requests outside the page's server: ${outside.join(' ')}`);
}, '?hold=1');

test('holding space bends the path upwards, as in the twin', async ({page, browser, url}) => {
  await waitForHold(page);
  await page.keyboard.down('Space');
  await release(page);
  await waitForHold(page);
  const climbing = await canvasPixels(page);
  await page.keyboard.up('Space');
  expectSame(climbing, twinPage(twinFolder(), 10, `1:+${SPACE_SCANCODE},32`), 'frame 10 with space held');

  const {page: alone} = await openPage(browser, url);
  await alone.goto(`${url}?seed=${SEED}&hold=10`);
  await startGame(alone);
  await waitForHold(alone);
  const left = await canvasPixels(alone);
  expectSame(left, twinPage(twinFolder(), 10), 'frame 10 left alone');
  if (!(pathTop(climbing) < pathTop(left) - 30)) {
    throw new Error(`path's top at row ${pathTop(climbing)} with space held, ${pathTop(left)} left alone`);
  }
}, '?hold=1,10');

test('a finger held on the screen climbs like space', async ({page}) => {
  await waitForHold(page);
  const client = await page.createCDPSession();
  await client.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 1});
  await client.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x: 500, y: 350}]});
  await release(page);
  await waitForHold(page);
  const pixels = await canvasPixels(page);
  await client.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  expectSame(pixels, twinPage(twinFolder(), 10, `1:+${SPACE_SCANCODE}`), 'frame 10 touched');
}, '?hold=1,10');

// The rows the canvas was given over 25 yields (a dialog's passes, one second).
async function rowsOver25Yields(page) {
  const start = await page.evaluate(() => ({rows: Module.murkwing.presentedRows, yields: Module.murkwing.yields}));
  await page.waitForFunction((yields) => Module.murkwing.yields >= yields + 25, {timeout: 20000}, start.yields);
  return await page.evaluate(() => Module.murkwing.presentedRows) - start.rows;
}

// Escape at frame 20, "Yes", "High Score!", a name, the table; then a reload, the same
// again with another name, and both names on the table from the browser's storage.
test('Escape shows "Quit?", "Yes" leads to the table, a typed name outlives a reload', async ({page, url}) => {
  const folder = twinFolder();
  const hold = 20;
  const steps = [`${hold}:${ESCAPE}`, `${hold + REST}:${KEY_DOWN}`, `${hold + 2 * REST}:${ENTER}`,
                 `${hold + 3 * REST}:${ENTER}`];
  const name = (text, at) => `${at}:${[...text].map((c) => c.charCodeAt(0)).join(',')},${ENTER}`;

  async function playToTable(browserPage, typed, run) {
    await waitForHold(browserPage);
    await browserPage.keyboard.press('Escape');
    await release(browserPage);
    await restingPixels(browserPage);
    // At rest the passes go on and present nothing, and the canvas is still the twin's page.
    const quiet = await rowsOver25Yields(browserPage);
    if (quiet !== 0) throw new Error(`"Quit?" at rest presented ${quiet} rows in 25 passes`);
    if (run === 1) expectSame(await canvasPixels(browserPage), twinPage(twinFolder(), hold + REST, steps[0]), '"Quit?"');
    const rows = await browserPage.evaluate(() => Module.murkwing.presentedRows);
    await browserPage.keyboard.press('ArrowDown');
    await browserPage.waitForFunction((n) => Module.murkwing.presentedRows > n, {timeout: 5000}, rows);
    await restingPixels(browserPage);
    if (await rowsOver25Yields(browserPage) !== 0) throw new Error('"Quit?" kept presenting after a move');
    await browserPage.keyboard.press('Enter');  // "Yes"
    const highScore = await restingPixels(browserPage);
    if (run === 1) expectSame(highScore, twinPage(twinFolder(), hold + 3 * REST, ...steps.slice(0, 3)), '"High Score!"');
    await browserPage.keyboard.press('Enter');  // "Okay"
    await restingPixels(browserPage);
    await browserPage.keyboard.type(typed);
    await browserPage.keyboard.press('Enter');
    const table = await restingPixels(browserPage);
    // The twin plays the same in the same folder, so its table holds the earlier names too.
    expectSame(table, twinPage(folder, hold + 5 * REST, ...steps, name(typed, hold + 4 * REST)), `table after run ${run}`);
    // The save reaches the browser's storage before the page goes.
    await browserPage.waitForFunction(() => !Module.writeBackFolder.busy, {timeout: 5000});
  }

  await playToTable(page, 'ANNA', 1);
  await page.reload();
  await startGame(page);
  await playToTable(page, 'BEN', 2);
  const stored = await page.evaluate(() =>
    Array.from(FS.readFile('/murkwingdiver/murkwingdiver_highscores.dat')));
  const expected = [...fs.readFileSync(path.join(folder, 'murkwingdiver_highscores.dat'))];
  if (stored.join() !== expected.join()) throw new Error('the stored high-score file differs from the twin\'s');
}, '?hold=20');

test('the page losing the focus during a run opens "Quit?"; a mouse click on "Yes" ends the run', async ({page}) => {
  await waitForHold(page);
  await page.evaluate(() => window.dispatchEvent(new Event('blur')));
  await page.evaluate(() => window.dispatchEvent(new Event('focus')));
  await release(page);
  const quit = await restingPixels(page);
  // The click that answers is still held in the run's last frame, where the left button
  // climbs like the space bar (57): the twin answers with Enter and holds 57 for that frame.
  const steps = ['20:blur,focus', `${20 + REST}:${KEY_DOWN}`, `${20 + 2 * REST}:${ENTER},+57`];
  expectSame(quit, twinPage(twinFolder(), 20 + REST, steps[0]), '"Quit?" after a focus loss');
  await page.click('#download');  // a button of the page takes the focus and gives it back
  const yes = onScreen(40, 117);
  await page.mouse.move(yes.x, yes.y);
  await page.mouse.down();
  await new Promise((r) => setTimeout(r, 150));
  await page.mouse.up();
  const highScore = await restingPixels(page);
  expectSame(highScore, twinPage(twinFolder(), 20 + 3 * REST, ...steps), '"High Score!" after a click on "Yes"');
}, '?hold=20');

test('a whole session by touch alone: taps answer the dialogs, the table and "Play Again?"', async ({page}) => {
  await waitForHold(page);
  const client = await page.createCDPSession();
  await client.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 1});
  const tap = async (x, y) => {
    await client.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [onScreen(x, y)]});
    await client.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  };
  await release(page);
  await restingPixels(page);  // the craft fell: "High Score!"
  const crashedAt = await page.evaluate(() => Module.murkwing.frames);
  await tap(40, 81);          // "Okay"
  await restingPixels(page);  // the name entry
  await tap(240, 160);        // brings up the phone's keyboard
  await tap(240, 160);        // an empty name
  await restingPixels(page);  // the table
  await tap(240, 160);
  await restingPixels(page);  // "Play Again?"
  await tap(40, 81);          // "Yes"
  await page.waitForFunction((n) => Module.murkwing.frames > n + 5, {timeout: 5000}, crashedAt);
  const stored = await page.evaluate(() =>
    new TextDecoder().decode(FS.readFile('/murkwingdiver/murkwingdiver_highscores.dat')));
  if (!/^ \d+\r\n\r\n 0\r\n/.test(stored)) throw new Error(`stored table: ${JSON.stringify(stored.slice(0, 40))}`);
}, '?hold=1');

// A phone: touch emulation, and taps at page pixels.
async function phone(page) {
  const client = await page.createCDPSession();
  await client.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 2});
  const touch = (type, ...points) => client.send('Input.dispatchTouchEvent', {type, touchPoints: points});
  const tap = async (x, y) => {
    await touch('touchStart', onScreen(x, y));
    await touch('touchEnd');
  };
  return {client, touch, tap};
}

// The phone's keyboard composes text into the focused field and sends Enter without a key
// code; its first tap only brings it up, the field loses the focus when the name is done.
test('a name typed on the phone\'s keyboard lands in the table', async ({page}) => {
  await waitForHold(page);
  const {client, tap} = await phone(page);
  await release(page);
  await restingPixels(page);  // the craft fell: "High Score!"
  await tap(40, 81);          // "Okay"
  // The field has the focus, but only a touch's own focus is sure to bring up the keyboard.
  await page.waitForFunction(() => document.activeElement.id === 'name-input' &&
                             !document.getElementById('type-prompt').hidden, {timeout: 5000});
  await tap(240, 160);        // brings up the keyboard and does not end the entry
  if (!await page.evaluate(() => document.getElementById('type-prompt').hidden)) throw new Error('the prompt stays');
  await client.send('Input.imeSetComposition', {text: 'A', selectionStart: 1, selectionEnd: 1});
  await client.send('Input.imeSetComposition', {text: 'Ab', selectionStart: 2, selectionEnd: 2});
  await client.send('Input.insertText', {text: 'Ab'});
  for (const text of ['1', 'x']) await client.send('Input.insertText', {text});
  await page.evaluate(() => document.execCommand('delete'));  // Backspace
  await client.send('Input.insertText', {text: '!'});
  for (const type of ['rawKeyDown', 'keyUp']) {
    await client.send('Input.dispatchKeyEvent', {type, key: 'Enter', code: '', windowsVirtualKeyCode: 13});
  }
  await page.waitForFunction(() => /^ \d+\r\nAb1!\r\n/.test(new TextDecoder().decode(
    FS.readFile('/murkwingdiver/murkwingdiver_highscores.dat'))), {timeout: 10000});
  await page.waitForFunction(() => document.activeElement.id !== 'name-input' &&
                             document.getElementById('type-prompt').hidden, {timeout: 5000});
}, '?hold=1');

// A finger held through the crash, joined by a second (a pinch, which the page leaves to
// the browser's zoom), lifts at the table of better scores: the table waits for a fresh
// tap, which brings "Play Again?".
test('the finger held at the crash does not answer the table, nor does a pinch; a fresh tap does', async ({page}) => {
  await waitForHold(page);
  const zoom = await page.evaluate(() =>
    `${document.querySelector('meta[name=viewport]').content}; ${getComputedStyle(document.body).touchAction}`);
  if (/user-scalable|maximum-scale/.test(zoom) || !zoom.endsWith('; pinch-zoom')) throw new Error(`no zoom: ${zoom}`);
  await page.evaluate(() => {
    FS.writeFile('/murkwingdiver/murkwingdiver_highscores.dat', ' 99\r\nBEST\r\n'.repeat(12));
    Module.writeBackFolder();
  });
  await page.waitForFunction(() => !Module.writeBackFolder.busy, {timeout: 5000});
  await page.reload();
  await startGame(page);
  await waitForHold(page);
  const {touch, tap} = await phone(page);
  const finger = (id, x) => ({...onScreen(x, 160), id});
  await touch('touchStart', finger(0, 240));
  await release(page);
  await restingPixels(page);  // climbed into the rock: the table
  const crashedAt = await page.evaluate(() => Module.murkwing.frames);
  await touch('touchStart', finger(0, 240), finger(1, 300));
  await touch('touchMove', finger(1, 300));  // the first finger lifts
  await touch('touchEnd');
  await restingPixels(page);  // the game has seen both lift
  await tap(240, 160);
  await restingPixels(page);  // "Play Again?"
  const frames = await page.evaluate(() => Module.murkwing.frames);
  if (frames !== crashedAt) throw new Error(`a run started at the table: frame ${frames}, crashed at ${crashedAt}`);
  await tap(40, 81);          // "Yes"
  await page.waitForFunction((n) => Module.murkwing.frames > n + 5, {timeout: 5000}, crashedAt);
}, '?hold=1');

// A daily run quit in its first frame is recorded into the page's storage; "Download
// replay" saves it; ?replay= of it, fetched from the page's own site, watches it.
test('a daily run is recorded, downloaded, and watched through ?replay=', async ({page, browser, url}) => {
  await waitForHold(page);
  await page.keyboard.press('Escape');
  await release(page);
  await restingPixels(page);                  // "Quit?"
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Enter');         // "Yes": a score of 0 does not enter the table
  await page.waitForFunction(() => Module.latestReplay() !== null, {timeout: 10000});
  const replay = await page.evaluate(() => {
    const {name, bytes} = Module.latestReplay();
    let at = 5;
    at += 1 + bytes[at];                      // the rules name
    at += 1 + bytes[at];                      // the game version
    HTMLAnchorElement.prototype.click = function() { window.downloaded = this.download; };
    document.getElementById('download').click();
    return {name, bytes: Array.from(bytes), daily: (bytes[at] & 1) === 1, downloaded: window.downloaded};
  });
  if (!/^daily-run-\d{8}-\d{6}\.mwr$/.test(replay.name) || !replay.daily) {
    throw new Error(`kept ${replay.name}, daily flag ${replay.daily}`);
  }
  if (replay.downloaded !== replay.name) throw new Error(`"Download replay" saved ${replay.downloaded}`);

  const file = path.join(site, 'test-replay.mwr');
  fs.writeFileSync(file, Buffer.from(replay.bytes));
  try {
    const {page: watching} = await openPage(browser, url);
    await watching.goto(`${url}?replay=test-replay.mwr`);
    await startGame(watching);
    await watching.waitForFunction(() => document.title.includes('replay of an unnamed run (daily cave'),
                                   {timeout: 10000});
  } finally {
    fs.rmSync(file, {force: true});
  }
}, '?daily&hold=1');

// tools/serve.mjs serving `folder` under /play/, as a site may host the game; resolves once
// it listens to {url, port, out (what it printed), stop}.
function serveUnderPlay(folder, port = 0) {
  const child = spawn(process.execPath, [path.join(tools, 'serve.mjs'), folder, '--port', String(port), '--base', '/play/']);
  let out = '';
  return new Promise((resolve, reject) => {
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const url = /Play at (\S+)/.exec(out)?.[1];
      if (url) resolve({url, port: Number(new URL(url).port), out: () => out, stop: () => child.kill() && once(child, 'exit')});
    });
    child.on('exit', () => reject(new Error(`tools/serve.mjs ended: ${out}`)));
  });
}

// The installable offline app: after one visit the game plays with its server gone; a
// changed build gets a new cache, which replaces the old at the next visit.
test('the site is installable, plays offline after one visit, and takes a new build', async ({browser}) => {
  const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'murkwing-site-'));
  fs.cpSync(site, copy, {recursive: true});
  let server = await serveUnderPlay(copy);
  try {
    const busy = await serveUnderPlay(copy, server.port);
    await busy.stop();
    if (!busy.out().startsWith(`Port ${server.port} is busy, trying ${server.port + 1}`)) throw new Error(busy.out());
    const wasm = await fetch(`${server.url}murkwingdiver.wasm`, {headers: {'Accept-Encoding': 'gzip'}});
    const headers = ['content-type', 'content-encoding', 'cache-control'].map((h) => wasm.headers.get(h)).join();
    if (headers !== 'application/wasm,gzip,no-cache') throw new Error(`murkwingdiver.wasm sent with ${headers}`);

    const page = await browser.newPage();
    await page.goto(`${server.url}?seed=${SEED}&hold=1`);
    await page.waitForFunction(() => navigator.serviceWorker.controller, {timeout: 30000});
    const client = await page.createCDPSession();
    const {installabilityErrors} = await client.send('Page.getInstallabilityErrors');
    if (installabilityErrors.length) throw new Error(`not installable: ${JSON.stringify(installabilityErrors)}`);
    const [oldCache] = await page.evaluate(() => caches.keys());
    await server.stop();
    await page.setOfflineMode(true);
    await page.reload();
    await startGame(page);
    await waitForHold(page);
    await release(page);
    await page.waitForFunction(() => Module.murkwing.frames > 10, {timeout: 10000});

    fs.appendFileSync(path.join(copy, 'index.html'), '<!-- a new build -->\n');
    execFileSync('bash', [path.join(tools, 'web.sh'), 'stamp', copy]);
    server = await serveUnderPlay(copy, server.port);
    await page.setOfflineMode(false);
    await page.reload();  // from the old cache, until the new build takes over and reloads it
    await page.waitForFunction(() => [...document.childNodes].some((node) => node.data === ' a new build '),
                               {timeout: 30000});
    const names = await page.evaluate(() => caches.keys());
    if (names.length !== 1 || names[0] === oldCache) throw new Error(`caches ${names} after ${oldCache}`);
  } finally {
    await server.stop();
    fs.rmSync(copy, {recursive: true, force: true});
  }
}, '?hold=1');

// The start screen: nothing runs before a gesture; one key starts the game and the sound,
// which an AnalyserNode hears in flight. "Quit?" at rest suspends the AudioContext; a tick
// resumes it, rendered whole from the first block after; M rests it, and the page keeps M.
test('the game and its sound wait for a key, then the tone plays in flight', async ({page}) => {
  await page.waitForSelector('#start:not([hidden])', {timeout: 30000});
  // A second for anything that should not happen: a frame, an AudioContext.
  await new Promise((r) => setTimeout(r, 1000));
  const before = await page.evaluate(() => ({started: !!Module.murkwing, audio: !!Module.murkwingAudio,
    text: document.getElementById('start').textContent}));
  if (before.started || before.audio) throw new Error(`before a gesture: ${JSON.stringify(before)}`);
  if (before.text !== 'Press a key or tap to play') throw new Error(`start screen says "${before.text}"`);
  await page.keyboard.press('Enter');
  await waitForHold(page);
  await release(page);
  await waitForHold(page);  // frame 20: the tone goes on while the game is held
  const state = (s) => page.waitForFunction((s) => Module.murkwingAudio.context.state === s, {timeout: 20000}, s);
  await state('running');
  const peak = await page.evaluate(async () => {
    const analyser = Module.murkwingAudio.analyser;
    const data = new Float32Array(analyser.fftSize);
    let peak = 0;
    for (let i = 0; i < 100 && peak < 0.01; ++i) {
      await new Promise((r) => setTimeout(r, 20));
      analyser.getFloatTimeDomainData(data);
      for (const v of data) peak = Math.max(peak, Math.abs(v));
    }
    return peak;
  });
  if (!(peak >= 0.01)) throw new Error(`the analyser heard a peak of ${peak} during the run`);
  await page.keyboard.press('Escape');
  await release(page);
  await state('suspended');
  await page.evaluate(() => {  // the left channel rendered from the resume on
    const context = Module.murkwingAudio.context, render = Module._murkwing_render_sound, resume = context.resume;
    const left = window.rendered = [];
    context.resume = function() { left.resumed = true; return resume.call(this); };
    Module._murkwing_render_sound = (frames) => {
      const at = render(frames);
      if (left.resumed) for (let i = 0; i < frames; ++i) left.push(HEAPF32[(at >> 2) + 2 * i]);
      return at;
    };
  });
  await page.keyboard.press('ArrowDown');
  await state('running');
  await page.waitForFunction(() => window.rendered.length >= 2048, {timeout: 10000});
  const lit = await page.evaluate(() => window.rendered.flatMap((v, i) => (v ? [i] : [])));
  if (lit[0] !== 1 || lit.at(-1) !== 1055) throw new Error(`the tick rendered at frames ${lit[0]}..${lit.at(-1)}`);
  const {frames, presentedRows} = await page.evaluate(() => Module.murkwing);
  await page.keyboard.press('ArrowUp');
  await page.waitForFunction((n) => Module.murkwing.presentedRows > n, {timeout: 5000}, presentedRows);
  await page.keyboard.press('Enter');  // "No": the run goes on
  await page.waitForFunction((n) => Module.murkwing.frames > n, {timeout: 5000}, frames);
  await state('running');
  await page.keyboard.press('KeyM');
  await page.waitForFunction(() => localStorage.getItem('murkwingdiver.muted') === '1', {timeout: 5000});
  await state('suspended');
}, '?hold=5,20');

test('the finger that starts the game is not passed on to it, though it stays and moves', async ({page}) => {
  const client = await page.createCDPSession();
  await client.send('Emulation.setTouchEmulationEnabled', {enabled: true, maxTouchPoints: 1});
  await page.waitForSelector('#start:not([hidden])', {timeout: 30000});
  await client.send('Input.dispatchTouchEvent', {type: 'touchStart', touchPoints: [{x: 500, y: 350}]});
  await waitForHold(page);
  await client.send('Input.dispatchTouchEvent', {type: 'touchMove', touchPoints: [{x: 510, y: 360}]});
  await release(page);
  await waitForHold(page);
  await client.send('Input.dispatchTouchEvent', {type: 'touchEnd', touchPoints: []});
  expectSame(await canvasPixels(page), twinPage(twinFolder(), 10), 'frame 10 after the starting touch');
}, '?hold=1,10');

const server = await serve(site);
let failed = 0;
for (const {name, body, query} of tests) {
  const browser = await launch();
  try {
    const {page, outside} = await openPage(browser, server.url);
    await page.goto(`${server.url}?seed=${SEED}&${query.slice(1)}`);
    if (!/wait for a key|starts the game/.test(name)) await startGame(page);
    await body({page, outside, browser, url: server.url});
    console.log(`ok   ${name}`);
  } catch (error) {
    ++failed;
    console.log(`FAIL ${name}\n     ${error.message}`);
  } finally {
    await browser.close();
  }
}
server.close();
console.log(`${tests.length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
