// The browser's storage of the game's folder.
#pragma once

// Makes keep_saved_files write the game's folder back to the browser's storage. Called by
// open_screen.
void keep_files_in_browser_storage();
