// Figures of the browser build (tools/web.sh's build/web/), printed, never judged: the
// files' sizes raw and gzipped, navigation to the first frame in headless Chromium, the
// CPU use of the browser's renderer and GPU processes while the page waits in "Quit?" (its
// quiet sound suspended by the page) and over a stretch of play, and the frame period.
//
//   node figures.mjs SITE_FOLDER [PLAY_SECONDS [SCREENSHOT.png]]
//
// With a file name it also takes a screenshot of the page during a run (docs/ keeps one).
// The player steers by the canvas column under the craft: it holds space while the craft is
// below row 160 and answers every dialog and the table with Enter.
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {serve, launch, openPage, startGame} from './lib.mjs';

const site = path.resolve(process.argv[2] || 'build/web');
const playSeconds = Number(process.argv[3] || 30);
const screenshot = process.argv[4];
const CRAFT_X = 120;
const TICKS_PER_SECOND = 100;  // /proc's clock ticks (sysconf(_SC_CLK_TCK) on Linux)

let gzipTotal = 0;
for (const name of ['index.html', 'murkwingdiver.js', 'murkwingdiver.wasm', 'murkwingdiver.data']) {
  const bytes = fs.readFileSync(path.join(site, name));
  const gzipped = zlib.gzipSync(bytes, {level: 9}).length;
  gzipTotal += gzipped;
  console.log(`${name.padEnd(20)} ${String(bytes.length).padStart(8)} bytes, gzip -9 ${String(gzipped).padStart(7)}`);
}
console.log(`${'all'.padEnd(20)} ${' '.repeat(14)} gzip -9 ${String(gzipTotal).padStart(7)}`);

// User plus system CPU seconds of a process, from /proc.
function cpuSeconds(pid) {
  const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ');
  return (Number(fields[11]) + Number(fields[12])) / TICKS_PER_SECOND;
}

// The parent of a process, from /proc.
function parentPid(pid) {
  try {
    return Number(/^PPid:\s*(\d+)/m.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
  } catch {
    return 0;
  }
}

// Our browser's renderer processes (the page's, and maybe a spare one) and its GPU process,
// by the --type= of their command line: only descendants of `browserPid`, as other
// Chromiums may run on the machine.
function childPids(browserPid) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    let command;
    try {
      command = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8');
    } catch {
      continue;
    }
    const type = /--type=(renderer|gpu-process)/.exec(command);
    if (!type) continue;
    for (let p = Number(pid); p > 1; p = parentPid(p)) {
      if (p === browserPid) {
        found.push({pid, type: type[1]});
        break;
      }
    }
  }
  return found;
}

// Starts counting the CPU time of the browser's renderer and GPU processes; the returned
// function prints each one's share of a core since, under `label`, and their sum.
function countCpu(browser, label) {
  const processes = childPids(browser.process().pid).map((p) => ({...p, start: cpuSeconds(p.pid)}));
  const wallStart = Date.now();
  return () => {
    const wall = (Date.now() - wallStart) / 1000;
    let sum = 0;
    for (const {pid, type, start} of processes) {
      if (!fs.existsSync(`/proc/${pid}`)) continue;
      const used = cpuSeconds(pid) - start;
      sum += used;
      console.log(`${label}: ${type} ${pid}: ${used.toFixed(2)} s CPU in ${wall.toFixed(1)} s = ` +
                  `${(100 * used / wall).toFixed(1)} %`);
    }
    console.log(`${label}: renderer and GPU processes together ${(100 * sum / wall).toFixed(1)} % of one core`);
  };
}

const server = await serve(site);
const browser = await launch();

const firstFrames = [];
for (let i = 0; i < 5; ++i) {
  const {page} = await openPage(browser, server.url);
  await page.goto(server.url);
  await startGame(page);  // as soon as the start screen shows
  await page.waitForFunction(() => window.Module && Module.murkwing && Module.murkwing.firstFrameAt > 0,
                             {polling: 10});
  firstFrames.push(await page.evaluate(() => Module.murkwing.firstFrameAt));
  await page.close();
}
firstFrames.sort((a, b) => a - b);
console.log(`navigation to first frame: median ${firstFrames[2].toFixed(0)} ms ` +
            `(5 loads: ${firstFrames.map((t) => t.toFixed(0)).join(' ')})`);

// Waiting in "Quit?": Escape in the first frames, then nothing for the dimming to settle
// (about 3 s) and nothing while the CPU is counted: the page alone decides what it costs.
{
  const {page: waiting} = await openPage(browser, server.url);
  await waiting.goto(server.url);
  await startGame(waiting);
  await waiting.waitForFunction(() => window.Module && Module.murkwing && Module.murkwing.frames > 0);
  await waiting.keyboard.press('Escape');
  await new Promise((r) => setTimeout(r, 5000));
  const report = countCpu(browser, 'waiting in "Quit?"');
  await new Promise((r) => setTimeout(r, playSeconds * 1000));
  report();
  console.log(`waiting in "Quit?": AudioContext ${await waiting.evaluate(() => Module.murkwingAudio?.context.state)}`);
  await waiting.close();
}

const {page} = await openPage(browser, server.url);
await page.goto(server.url);
await startGame(page);
await page.waitForFunction(() => window.Module && Module.murkwing && Module.murkwing.frames > 0);
const report = countCpu(browser, 'in flight');
const start = Date.now();
let climbing = false, lastFrames = 0, still = 0, runFrames = 0, shot = !screenshot;
while (Date.now() - start < playSeconds * 1000) {
  const {frames, column} = await page.evaluate((x) => {
    const data = document.getElementById('screen').getContext('2d').getImageData(x, 0, 1, 320).data;
    return {frames: Module.murkwing.frames, column: Array.from(data)};
  }, CRAFT_X);
  // The craft: the middle of the grey pixels of the column (its newest disc).
  const grey = [];
  for (let y = 30; y < 320; ++y) {
    const [r, g, b] = column.slice(4 * y, 4 * y + 3);
    if (r > 40 && Math.abs(r - b) < 16 && Math.abs(r - g) < 16) grey.push(y);
  }
  const craft = grey.length ? grey[grey.length >> 1] : -1;
  still = frames === lastFrames ? still + 1 : 0;
  runFrames = still >= 6 ? 0 : runFrames + frames - lastFrames;  // frames of this run
  lastFrames = frames;
  if (!shot && runFrames > 60) {
    await page.screenshot({path: screenshot});
    shot = true;
  }
  if (still >= 6) {  // no new frame for a while: a dialog or the table
    if (climbing) await page.keyboard.up('Space');
    climbing = false;
    await page.keyboard.press('Enter');
    still = 0;
  } else if (craft >= 0 && (craft > 160) !== climbing) {
    climbing = !climbing;
    if (climbing) await page.keyboard.down('Space');
    else await page.keyboard.up('Space');
  }
  await new Promise((r) => setTimeout(r, 50));
}
report();
const f = await page.evaluate(() => Module.murkwing);
const mean = f.periodSum / f.periods;
const spread = Math.sqrt(Math.max(0, f.periodSquares / f.periods - mean * mean));
console.log(`frame period: mean ${mean.toFixed(3)} ms, standard deviation ${spread.toFixed(2)} ms over ` +
            `${f.periods} periods (${f.frames} frames in all)`);
await browser.close();
server.close();
