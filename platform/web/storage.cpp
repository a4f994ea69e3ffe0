// The game's folder in the browser's storage: pre.js mounts IDBFS on it and fills it
// from IndexedDB before the game starts; keep_saved_files writes it back.
#include <emscripten.h>

#include "platform/core.h"
#include "platform/web/storage.h"

namespace {

EM_JS(void, web_write_back_folder, (), { Module.writeBackFolder(); });

}  // namespace

void keep_files_in_browser_storage() { core::set_files_keeper(web_write_back_folder); }
