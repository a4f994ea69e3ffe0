// The page's service worker: keeps the whole site in one cache named after the build, so
// that after one visit the game loads and plays with the network off. tools/web.sh writes
// the build's version (a hash of the site's files) and the list of those files into the copy
// it puts beside the page; a new build thus brings a changed sw.js, which the browser
// installs at the next visit.
const VERSION = '@VERSION@';
// The site's files, relative to this script; './' is the page.
const FILES = ['@FILES@'];
const SCOPE = new URL('./', self.location).href;
// Caches are shared by the whole origin: the name holds the folder, so that two copies of
// the site on one host keep their own.
const PREFIX = 'murkwingdiver ' + SCOPE + ' ';
const CACHE = PREFIX + VERSION;

self.addEventListener('install', (event) => {
    // 'no-cache': every file is asked of the server even when the browser's HTTP cache holds
    // one, so that no old file is ever stored under the new build's name.
    event.waitUntil(caches.open(CACHE)
        .then((cache) => cache.addAll(FILES.map((file) => new Request(file, {cache: 'no-cache'}))))
        .then(() => self.skipWaiting()));
});

// The new build takes over at once and the older builds' caches go.
self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((name) => name.startsWith(PREFIX) && name !== CACHE)
                                          .map((name) => caches.delete(name))))
        .then(() => self.clients.claim()));
});

// The site's own files come from the cache, whatever their query (?daily, ?replay=...);
// everything else, the leaderboard's api/ and replays among it, goes to the network as if
// there were no service worker, and is never stored.
self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.method !== 'GET' || !request.url.startsWith(SCOPE)) return;
    let file = new URL(request.url).pathname.slice(new URL(SCOPE).pathname.length);
    if (file === '' || file === 'index.html') file = './';
    if (!FILES.includes(file)) return;
    event.respondWith(caches.open(CACHE)
        .then((cache) => cache.match(file))
        .then((kept) => kept || fetch(request)));
});
