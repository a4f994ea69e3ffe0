// The leaderboard in headless Chromium, against the real server serving the browser test
// build under /play/: a run that enters the page's table while the API answers 503 stays in
// the page's queue and is sent by the page itself after a reload; the server's page at /
// shows a name with markup as text, runs no script, and its "Watch" link plays the run in
// the browser.
//
//   node leaderboard_test.mjs SITE_FOLDER SERVER_PROGRAM
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launch, openPage, startGame, waitForHold, release, restingPixels} from './lib.mjs';

const [site, serverProgram] = process.argv.slice(2).map((p) => path.resolve(p));
const data = fs.mkdtempSync(path.join(os.tmpdir(), 'murkwing-leaderboard-'));
const MARKUP = '<script>window.pwned=1</script>';

// The server on a free port of 127.0.0.1; resolves to its address once it listens.
function startServer() {
  const server = spawn(serverProgram, ['--listen', '127.0.0.1:0', '--data', data, '--site', site],
                       {stdio: ['ignore', 'ignore', 'pipe']});
  let log = '';
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the server did not listen: ${log}`)), 30000);
    server.stderr.on('data', (chunk) => {
      log += chunk;
      const found = /listening on (http:\/\/\S+)/.exec(log);
      if (found) {
        clearTimeout(timer);
        resolve({server, url: found[1] + '/'});
      }
    });
    server.on('exit', (status) => reject(new Error(`the server ended (${status}): ${log}`)));
  });
}

// Quits the run at its hold frame and enters `name` for the table, as a player would.
async function playToTable(page, name) {
  await startGame(page);
  await waitForHold(page);
  await page.keyboard.press('Escape');
  await release(page);
  for (const key of ['ArrowDown', 'Enter', 'Enter']) {  // "Quit?": "Yes"; "High Score!"
    await restingPixels(page);
    await page.keyboard.press(key);
  }
  await restingPixels(page);                            // the name entry
  await page.keyboard.type(name);
  await page.keyboard.press('Enter');
  await restingPixels(page);                            // the table
}

// Resolves to the first truthy value of `probe()`, asked every 100 ms for up to 30 s.
async function until(probe, what) {
  for (const end = Date.now() + 30000; ;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > end) throw new Error(what);
    await new Promise((r) => setTimeout(r, 100));
  }
}

const NAME = 'a run the API could not take is queued, sent after a reload; / shows markup as text; "Watch" plays it';
async function check(browser, url) {
  let down = true;
  const {page, outside} = await openPage(browser, url, (address) => down && address.endsWith('/api/runs') &&
    {status: 503, contentType: 'application/json', body: '{"error": "down for a moment"}'});
  const lines = [];
  page.on('console', (message) => lines.push(message.text()));
  const queued = () => page.evaluate(() => FS.readdir('/murkwingdiver/leaderboard-queue').filter((n) => n.endsWith('.mwr')));
  const allBoard = async () => (await fetch(`${url}api/boards/all`)).json();
  await page.goto(`${url}play/?seed=1000&hold=20`);
  await playToTable(page, 'ANNA');
  await until(() => lines.some((line) => line.includes('kept for a later start (HTTP 503: down for a moment)')),
              `the 503 was not reported: ${lines.join(' | ')}`);
  await page.waitForFunction(() => !Module.writeBackFolder.busy, {timeout: 30000});
  if ((await queued()).length !== 1 || (await allBoard()).runs.length) throw new Error('the run was not kept back');

  down = false;
  await page.reload();
  await startGame(page);
  const board = await until(async () => { const b = await allBoard(); return b.runs.length && b; },
                            'the queued run never reached the board "all"');
  await until(async () => !(await queued()).length, 'the sent run stayed in the queue');
  const run = board.runs[0];
  if (run.name !== 'ANNA' || board.runs.length !== 1) throw new Error(`board: ${JSON.stringify(board)}`);
  if (outside.length) throw new Error(`requests outside the server: ${outside.join(' ')}`);

  // A name the API would refuse, put in the database behind the server's back: the page
  // must still show it as text.
  execFileSync('python3', ['-c', `
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("INSERT INTO runs (digest, replay, name, level, frames, daily_date, run_time, arrived_ms) "
         "SELECT ?, replay, ?, 99, frames, 0, run_time, arrived_ms + 1 FROM runs WHERE id = ?",
         ("0" * 64, sys.argv[2], int(sys.argv[3])))
db.commit()`, path.join(data, 'leaderboard.sqlite3'), MARKUP, String(run.id)]);

  const {page: boards} = await openPage(browser, url);
  await boards.goto(url);
  const shown = await boards.evaluate(() => ({
    text: document.body.innerText, scripts: document.scripts.length, pwned: window.pwned,
    watch: Array.from(document.querySelectorAll('table#all tr')).filter((row) =>
      row.innerText.includes('ANNA')).map((row) => row.querySelector('a').getAttribute('href'))[0],
  }));
  if (!shown.text.includes(MARKUP) || shown.scripts !== 0 || shown.pwned !== undefined) {
    throw new Error(`the page ran or hid the markup: ${JSON.stringify(shown)}`);
  }
  if (shown.watch !== `/play/?replay=/api/runs/${run.id}/replay`) throw new Error(`"Watch" is ${shown.watch}`);

  await Promise.all([boards.waitForNavigation(), boards.click(`a[href="${shown.watch}"]`)]);
  await startGame(boards);
  await boards.waitForFunction(() => document.title.includes("replay of ANNA's run"), {timeout: 30000});
}

let server;
let browser;
let failed = 0;
try {
  const started = await startServer();
  server = started.server;
  browser = await launch();
  await check(browser, started.url);
  console.log(`ok   ${NAME}`);
} catch (error) {
  failed = 1;
  console.log(`FAIL ${NAME}\n     ${error.message}`);
} finally {
  if (browser) await browser.close();
  if (server) server.kill('SIGTERM');
  fs.rmSync(data, {recursive: true, force: true});
}
console.log(`${1 - failed} passed, ${failed} failed`);
process.exit(failed);
