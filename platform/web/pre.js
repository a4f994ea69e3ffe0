// Runs before the game: the game's folder, where it reads "font.bmp" and keeps its high
// scores, lives in the browser's storage (IDBFS on IndexedDB) and is the current folder.
var GAME_FOLDER = '/murkwingdiver';

Module.preRun = Module.preRun || [];
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
