// The game's sounds. The game and the dialogs raise events here and read nothing back; the
// events go through a queue to the synthesizer (audio/synth.h), from which the platform's
// backend pulls samples on its own schedule (platform/platform.h, "Sound").
// Every function but render_sound is called on the game's thread.
#pragma once

#include <cstdint>

// Sound off (fading out within a few milliseconds) or on; set at start-up, before the
// platform first pulls, it starts the game silent.
void set_sound_muted(bool muted);

// M in flight: sound off or on again. Returns the new choice (true: off), for the platform
// to keep.
bool toggle_sound();

void sound_flight(double velocity);  // every frame of a run; the first starts the tone
void sound_bend(int32_t level);      // every bend, with the level it brings
void sound_crash();                  // the frame that set the crash flag
void sound_run_ended();              // a run ended without a crash
void sound_tick();                   // a dialog's highlight moved
void sound_click();                  // a dialog or the table answered
void sound_letter();                 // the name entry took a key
void sound_refused();                // the name entry refused a key
void sound_high_score();             // "High Score!" opens

// The platform's sample source: `frames` stereo frames at 48000 Hz into `samples`, after
// every event raised before the call. Runs on the backend's thread (or the game's, in the
// twin); never allocates, locks or calls the system.
void render_sound(float* samples, int frames);

// Whether the source is quiet: takes in every event raised so far and tells whether
// render_sound would now write only zeros until the game raises another sound (every voice
// ended, or the sound off). Called where render_sound is, between its calls: a backend may
// stop pulling while quiet, and the samples after the break are those it would have
// pulled without one.
bool sound_quiet();

// Back to a fresh synthesizer, empty queue and sound on (tests only).
void reset_sound();
