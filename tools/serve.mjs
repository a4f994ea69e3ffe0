// Serves a built site folder on 127.0.0.1 for `bash tools/web.sh serve`, with the headers that
// docs/hosting.md asks of any host: application/wasm for .wasm, gzip when the browser accepts
// it, and for every file an ETag with `Cache-Control: no-cache`. The file names carry no
// version (the game is always murkwingdiver.js), so the browser may keep a file but must ask
// before using it, and gets a short "304 Not Modified" while it is unchanged; the service
// worker (sw.js) is what spares repeat and offline visits the network.
//
//   node tools/serve.mjs FOLDER [--port N] [--base /PATH/]
//
// --port: the first port tried (8000; 0 lets the system pick); a busy one is named in one
// line and the next is tried. --base: the address's folder (default /), as when a site
// hosts the game under /play/. Ctrl+C stops it.
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import zlib from 'node:zlib';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm', '.data': 'application/octet-stream',
  '.webmanifest': 'application/manifest+json', '.json': 'application/json', '.png': 'image/png',
};
const COMPRESSED = new Set(['.html', '.js', '.wasm', '.data', '.webmanifest', '.json']);
const TRIES = 20;

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 && at + 1 < args.length ? args[at + 1] : fallback;
};
const folder = path.resolve(args[0] || '.');
let port = Number(option('--port', '8000'));
const base = ('/' + option('--base', '/') + '/').replace(/\/+/g, '/');
if (!fs.existsSync(path.join(folder, 'index.html')) || !Number.isInteger(port)) {
  console.error('usage: node tools/serve.mjs FOLDER [--port N] [--base /PATH/] (FOLDER holds index.html)');
  process.exit(2);
}

// Each file's bytes, gzipped bytes and ETag, kept while its size and time stay the same.
const kept = new Map();
function load(file, stat) {
  let entry = kept.get(file);
  if (!entry || entry.size !== stat.size || entry.mtimeMs !== stat.mtimeMs) {
    const body = fs.readFileSync(file);
    const tag = crypto.createHash('sha256').update(body).digest('base64url').slice(0, 22);
    entry = {size: stat.size, mtimeMs: stat.mtimeMs, body, tag};
    kept.set(file, entry);
  }
  return entry;
}

function answer(request, response) {
  const url = new URL(request.url, 'http://localhost');
  let name;
  try {
    name = decodeURIComponent(url.pathname);
  } catch {
    return send(response, 400);
  }
  if (name + '/' === base) return send(response, 301, {Location: base + url.search});
  if (!name.startsWith(base)) return send(response, 404);
  if (request.method !== 'GET' && request.method !== 'HEAD') return send(response, 405, {Allow: 'GET, HEAD'});
  const file = path.join(folder, path.normalize('/' + name.slice(base.length)));
  const stat = fs.statSync(file, {throwIfNoEntry: false});
  if (stat && stat.isDirectory()) {
    if (!name.endsWith('/')) return send(response, 301, {Location: url.pathname + '/' + url.search});
    return serveFile(request, response, path.join(file, 'index.html'));
  }
  return serveFile(request, response, file);
}

function serveFile(request, response, file) {
  const stat = fs.statSync(file, {throwIfNoEntry: false});
  if (!stat || !stat.isFile()) return send(response, 404);
  const entry = load(file, stat);
  const type = path.extname(file);
  const gzip = COMPRESSED.has(type) && /\bgzip\b/.test(request.headers['accept-encoding'] || '');
  const tag = `"${entry.tag}${gzip ? '-gz' : ''}"`;
  const headers = {'Content-Type': TYPES[type] || 'application/octet-stream', 'Cache-Control': 'no-cache',
                   ETag: tag, 'X-Content-Type-Options': 'nosniff'};
  if (COMPRESSED.has(type)) headers.Vary = 'Accept-Encoding';
  if (request.headers['if-none-match'] === tag) return send(response, 304, headers);
  let body = entry.body;
  if (gzip) {
    entry.gzip ??= zlib.gzipSync(entry.body, {level: 9});
    body = entry.gzip;
    headers['Content-Encoding'] = 'gzip';
  }
  headers['Content-Length'] = body.length;
  response.writeHead(200, headers);
  response.end(request.method === 'HEAD' ? undefined : body);
}

function send(response, status, headers = {}) {
  response.writeHead(status, headers);
  response.end();
}

const server = http.createServer((request, response) => {
  try {
    answer(request, response);
  } catch (error) {
    console.error(`${request.url}: ${error.message}`);
    if (!response.headersSent) send(response, 500);
  }
});
let tries = 0;
server.on('error', (error) => {
  if (error.code === 'EADDRINUSE' && port !== 0 && ++tries < TRIES) {
    console.log(`Port ${port} is busy, trying ${port + 1} (--port N picks another)`);
    server.listen(++port, '127.0.0.1');
  } else {
    console.error(`Cannot serve on 127.0.0.1:${port}: ${error.message}`);
    process.exit(1);
  }
});
server.on('listening', () => {
  console.log(`Play at http://127.0.0.1:${server.address().port}${base} (Ctrl+C stops the server)`);
});
server.listen(port, '127.0.0.1');
