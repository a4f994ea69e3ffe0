// Runs before the game. The game waits on the start screen ("#start") until the first key,
// click or tap: browsers let a page play sound only after such a gesture, and a first-time
// player should find the run starting when they are ready. The gesture creates the
// AudioContext the game plays through (audio.cpp) and is not passed on to the game:
// its start comes before the game listens, and the rest of it (a held key's repeats and its
// release, a held button's moves and release, a finger's moves and lifting) is swallowed
// before the game's listeners see it.
Module.preRun = Module.preRun || [];
Module.preRun.push(function() {
    addRunDependency('start-gesture');
    var start = document.getElementById('start');
    if (start) start.hidden = false;
    var starts = ['keydown', 'mousedown', 'touchstart'];
    var rest = {keydown: ['keydown', 'keyup'], mousedown: ['mousemove', 'mouseup'],
                touchstart: ['touchmove', 'touchend', 'touchcancel']};
    function listen(names, handler, on) {
        names.forEach(function(name) {
            if (on) window.addEventListener(name, handler, {capture: true, passive: false});
            else window.removeEventListener(name, handler, true);
        });
    }
    function begin(event) {
        event.preventDefault();
        listen(starts, begin, false);
        var names = rest[event.type], code = event.code;
        function swallow(later) {
            if (event.type === 'keydown' && later.code !== code) return;
            later.stopImmediatePropagation();
            later.preventDefault();
            var over = later.type === 'keyup' || later.type === 'mouseup' ||
                       ((later.type === 'touchend' || later.type === 'touchcancel') && later.touches.length === 0);
            if (over) listen(names, swallow, false);
        }
        listen(names, swallow, true);
        if (start) start.remove();
        var Context = window.AudioContext || window.webkitAudioContext;
        if (Context) {
            try {
                var context = new Context({sampleRate: 48000, latencyHint: 'interactive'});
                context.resume();
                Module.murkwingAudio = {context: context};
            } catch (error) {
                err('murkwingdiver: no sound: ' + error);
            }
        }
        removeRunDependency('start-gesture');
    }
    listen(starts, begin, true);
});

// The game's folder, where it reads "font.bmp" and keeps its high
// scores, lives in the browser's storage (IDBFS on IndexedDB) and is the current folder.
var GAME_FOLDER = '/murkwingdiver';

// The page's address picks what the game does: ?daily flies today's cave (UTC), as
// --daily does on the desktop; ?replay=URL watches the replay at URL, which must come from
// the page's own origin.
var WATCHED_REPLAY = '/watched.mwr';
var pageParameters = new URLSearchParams(location.search);
var replayAddress = pageParameters.get('replay');
if (replayAddress !== null) {
    Module['arguments'] = ['--replay', WATCHED_REPLAY];
} else if (pageParameters.has('daily')) {
    Module['arguments'] = ['--daily'];
}

Module.preRun = Module.preRun || [];
if (replayAddress !== null) {
    Module.preRun.push(function() {
        var url = new URL(replayAddress, location.href);
        if (url.origin !== location.origin) {
            err('murkwingdiver: a replay is watched only from this page\'s own site');
            return;  // no file: the game refuses it with its reason
        }
        addRunDependency('replay');
        fetch(url.href, {credentials: 'same-origin'}).then(function(response) {
            if (!response.ok) throw new Error('HTTP ' + response.status);
            return response.arrayBuffer();
        }).then(function(bytes) {
            FS.writeFile(WATCHED_REPLAY, new Uint8Array(bytes));
        }).catch(function(error) {
            err('murkwingdiver: replay not fetched: ' + error);
        }).finally(function() {
            removeRunDependency('replay');
        });
    });
}
Module.preRun.push(function() {
    FS.mkdir(GAME_FOLDER);
    FS.mount(IDBFS, {}, GAME_FOLDER);
    addRunDependency('game-folder');
    FS.syncfs(true, function(error) {
        if (error) err('murkwingdiver: no stored high scores: ' + error);
        removeRunDependency('game-folder');
    });
});

// After the stored folder and the preloaded font have both arrived: the font goes beside
// the scores, as on the desktop, and the folder becomes the current one.
Module.onRuntimeInitialized = function() {
    FS.writeFile(GAME_FOLDER + '/font.bmp', FS.readFile('/assets/font.bmp'));
    FS.chdir(GAME_FOLDER);
};

// Writes the folder back to IndexedDB, one write at a time: a save while one is under way
// asks for one more after it.
Module.writeBackFolder = function() {
    var state = Module.writeBackFolder;
    if (state.busy) {
        state.again = true;
        return;
    }
    state.busy = true;
    FS.syncfs(false, function(error) {
        state.busy = false;
        if (error) err('murkwingdiver: high scores not kept in the browser: ' + error);
        if (Module.onFolderWritten) Module.onFolderWritten(error);
        if (state.again) {
            state.again = false;
            Module.writeBackFolder();
        }
    });
};

// The newest replay kept in the game's folder (the last "recent" line of replays/index.txt)
// as bytes and a file name, or null before the first run.
Module.latestReplay = function() {
    try {
        var index = FS.readFile(GAME_FOLDER + '/replays/index.txt', {encoding: 'utf8'});
        var recent = index.split('\n').filter(function(line) { return line.indexOf('recent\t') === 0; });
        if (!recent.length) return null;
        var name = recent[recent.length - 1].slice('recent\t'.length);
        return {name: name, bytes: FS.readFile(GAME_FOLDER + '/replays/' + name)};
    } catch (e) {
        return null;
    }
};
