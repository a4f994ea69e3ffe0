// The browser's sound output (audio.cpp), as the window's yields see it.
#pragma once

// Called at every yield to the browser: when the page's audio rests (its AudioContext
// suspended after a quiet while) and the game has raised a sound since, wakes it.
void wake_sound_if_raised();
