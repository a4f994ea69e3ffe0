// The events' queue: one producer (the game's thread) and one consumer (render_sound, on the
// backend's audio thread), a ring of slots and two atomic counters, so neither side ever
// waits for the other. A full ring drops the newest event; at 60 frames a second with a
// render at least every 25 ms it holds a few events, far below its size.
#include "audio/sound.h"

#include <atomic>

#include "audio/synth.h"

namespace {

constexpr uint32_t QUEUE_SLOTS = 256;  // a power of two

struct Sound {
    audio::Event slots[QUEUE_SLOTS];
    std::atomic<uint32_t> written{0};  // events ever queued; only the game's thread stores
    std::atomic<uint32_t> read{0};     // events ever applied; only the render stores
    audio::Synth synth;                // touched by the render only (and reset_sound)
    bool muted = false;                // the game's side of the choice
};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

Sound& sound() {
    static Sound s;
    return s;
}

void raise(audio::Cue cue, float value = 0.0f) {
    Sound& s = sound();
    const uint32_t w = s.written.load(std::memory_order_relaxed);
    if (w - s.read.load(std::memory_order_acquire) >= QUEUE_SLOTS) return;
    s.slots[w % QUEUE_SLOTS] = audio::Event{cue, value};
    s.written.store(w + 1, std::memory_order_release);
}

// The render's side: the synthesizer takes the events raised since the last call.
audio::Synth& synth_with_events() {
    Sound& s = sound();
    const uint32_t w = s.written.load(std::memory_order_acquire);
    uint32_t r = s.read.load(std::memory_order_relaxed);
    for (; r != w; ++r) s.synth.apply(s.slots[r % QUEUE_SLOTS]);
    s.read.store(r, std::memory_order_release);
    return s.synth;
}

}  // namespace

void set_sound_muted(bool muted) {
    sound().muted = muted;
    raise(audio::Cue::MUTE, muted ? 1.0f : 0.0f);
}

bool toggle_sound() {
    set_sound_muted(!sound().muted);
    return sound().muted;
}

void sound_flight(double velocity) { raise(audio::Cue::FLIGHT, static_cast<float>(velocity)); }
void sound_bend(int32_t level) { raise(audio::Cue::BEND, static_cast<float>(level)); }
void sound_crash() { raise(audio::Cue::CRASH); }
void sound_run_ended() { raise(audio::Cue::RUN_END); }
void sound_tick() { raise(audio::Cue::TICK); }
void sound_click() { raise(audio::Cue::CLICK); }
void sound_letter() { raise(audio::Cue::LETTER); }
void sound_refused() { raise(audio::Cue::REFUSED); }
void sound_high_score() { raise(audio::Cue::HIGH_SCORE); }

void render_sound(float* samples, int frames) { synth_with_events().render(samples, frames); }

bool sound_quiet() { return synth_with_events().silent(); }

void reset_sound() {
    Sound& s = sound();
    s.synth = audio::Synth{};
    s.read.store(s.written.load());
    s.muted = false;
}
