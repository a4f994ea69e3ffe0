// The headless twin's side of the browser tests: plays the game in the twin as a browser
// test plays it in the page, and writes the page as a BMP file for the test to compare with
// the canvas.
//
//   web_twin_page FOLDER OUT.bmp SEED WRITE_AT [PAUSE:ITEMS...]
//
// Runs in FOLDER (which holds font.bmp and keeps the high-score file between calls, as the
// browser's storage keeps it between loads) with the clock, and so the seed, starting at
// SEED. Each PAUSE:ITEMS runs its items just before pause PAUSE starts (pause N of a run
// is the one after frame N, where the test build holds the game while the test types): a
// number queues that key code, +N holds and -N releases the key with scancode N, "blur"
// and "focus" take and give back the window's activation. The page is written at pause
// WRITE_AT.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "game/play.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"

namespace {

void run_items(const std::string& items) {
    std::stringstream list(items);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item.empty()) continue;
        if (item == "blur" || item == "focus") headless_set_active(item == "focus");
        else if (item[0] == '+' || item[0] == '-') headless_set_key_down(std::stoi(item.substr(1)), item[0] == '+');
        else headless_queue_key(std::stoi(item));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: web_twin_page FOLDER OUT.bmp SEED WRITE_AT [PAUSE:ITEMS...]\n");
        return 2;
    }
    if (chdir(argv[1]) != 0) {
        std::perror(argv[1]);
        return 2;
    }
    static const std::string out = argv[2];
    headless_reset();
    headless_set_time(std::strtod(argv[3], nullptr));
    headless_set_refresh_rate(60);
    const long write_at = std::strtol(argv[4], nullptr, 10);
    for (int i = 5; i < argc; ++i) {
        const std::string step = argv[i];
        const size_t colon = step.find(':');
        if (colon == std::string::npos) {
            std::fprintf(stderr, "web_twin_page: step without a pause number: %s\n", argv[i]);
            return 2;
        }
        headless_at_pause(std::stol(step.substr(0, colon)), [items = step.substr(colon + 1)] { run_items(items); });
    }
    headless_at_pause(write_at, [] { std::exit(headless_save_page_bmp(out) ? 0 : 1); });
    headless_set_pause_limit(write_at + 10);
    run_game();
    std::fprintf(stderr, "web_twin_page: the game ended before the page was written\n");
    return 1;
}
