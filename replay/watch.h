// Watching a replay: the window opens and the run is flown again at the game's pace.
#pragma once

#include <string>

#include "replay/replay_file.h"
#include "replay/screens.h"

// Plays the record in the window as the game flew it: start-up as the game's (the backdrop
// painted from the recorded seed, the font), then the frames of the run with the recorded
// climb input, each drawn, paused and followed by one key read as in the frame loop.
// Escape (or the close button) ends it early; the run's last frame ends it. Nothing is
// drawn into the picture for watching. With the run's screen pictures (kept beside its
// replay), the page takes each where it stood when the run was flown: at the start and
// after every "Quit?". Returns 0, or 1 with `error` set when no window could be opened.
int watch_record(const ReplayRecord& record, const ScreenPictures& pictures, std::string& error);

// The window title's suffix for a record: " - replay of NAME's run" (or "an unnamed run").
std::string replay_title(const ReplayRecord& record);
