// Browser tests of the web build in the system's headless Chromium. Each compares the
// canvas (getImageData) with the headless twin's page after the same input: the test build
// (tools/web.sh test) starts the clock at the seed given by ?seed= and holds the game after
// the frames given by ?hold=, where the test types; the twin (web_twin_page) types the same
// keys at the same pauses. A dialog or the table is compared once it has come to rest.
//
//   node web_test.mjs SITE_FOLDER TWIN_PROGRAM FONT_BMP
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {serve, launch, openPage, startGame, waitForHold, release, canvasPixels, restingPixels, bmpPixels,
  compare} from './lib.mjs';

const [site, twinProgram, font] = process.argv.slice(2).map((p) => path.resolve(p));
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

// The start screen: nothing runs before a gesture; one key starts the game and the sound,
// which an AnalyserNode hears in flight; M switches it off, and the page keeps that.
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
  await page.waitForFunction(() => Module.murkwingAudio.context.state === 'running', {timeout: 5000});
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
  await page.keyboard.press('KeyM');
  await page.waitForFunction(() => localStorage.getItem('murkwingdiver.muted') === '1', {timeout: 5000});
}, '?hold=5');

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
