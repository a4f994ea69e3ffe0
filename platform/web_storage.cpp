// The game's folder in the browser's storage: web_pre.js mounts IDBFS on it and fills it
// from IndexedDB before the game starts; a save writes it back.
#include <emscripten.h>

#include "platform/platform.h"

namespace {

EM_JS(void, web_write_back_folder, (), { Module.writeBackFolder(); });

}  // namespace

void keep_saved_files() { web_write_back_folder(); }
