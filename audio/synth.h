// The synthesizer: every sound of the game made from oscillators, noise, envelopes and one
// filter, at 48000 frames per second, two channels. Plain arithmetic on fixed state: the same
// cues applied before the same render calls give the same samples on every machine that
// rounds floats the same way, and render never allocates, locks or calls the system.
#pragma once

#include <cstdint>

namespace audio {

constexpr int SAMPLE_RATE = 48000;  // frames per second
constexpr int CHANNELS = 2;         // samples interleaved left, right

// What the game tells the synthesizer. `value` carries the one number a cue needs.
enum class Cue : uint8_t {
    FLIGHT,      // once per frame of a run: value = the craft's velocity, pixels per frame,
                 // negative upwards; the first one starts the tone
    BEND,        // the cave bent: value = the level after the bend
    CRASH,       // the frame that set the crash flag; the tone stops
    RUN_END,     // a run ended without a crash ("Yes" at "Quit?"); the tone stops
    TICK,        // a dialog's highlight moved
    CLICK,       // a dialog or the table was answered
    LETTER,      // the name entry took a key
    REFUSED,     // the name entry refused a key
    HIGH_SCORE,  // "High Score!" opens
    MUTE,        // value 1: sound off, 0: on (fades, never cuts)
};

struct Event {
    Cue cue = Cue::FLIGHT;
    float value = 0.0f;
};

class Synth {
public:
    void apply(const Event& event);
    // Writes `frames` stereo frames (2 * frames floats) into `out`, every sample within
    // -0.95..0.95.
    void render(float* out, int frames);
    bool muted() const { return muted_; }
    // True when render would write only zeros from now until the next cue: no voice sounds
    // or waits to start, or the sound is off and has faded out. A voice's state moves only
    // while it sounds, so skipping renders while this holds changes no later sample.
    bool silent() const { return (muted_ && master_ == 0.0f) || (!tone_on_ && !sounding()); }

private:
    // A decaying sine pair: the chimes, ticks, clicks, letters, blips and the fanfare's notes.
    struct Blip {
        int delay = 0;          // frames still to wait before it starts
        int age = 0;            // frames since it started
        int length = 0;         // frames it lasts; 0 = idle
        int attack = 96;        // frames of its linear rise
        float phase = 0.0f, phase2 = 0.0f;  // turns, 0..1
        float step = 0.0f, step2 = 0.0f;    // turns per frame of the two partials
        float glide = 1.0f;     // factor on step per frame (a falling or rising pitch)
        float level = 0.0f;     // peak amplitude of the first partial
        float level2 = 0.0f;    // of the second
        float pan = 0.0f;       // -1 left .. 1 right
    };
    static constexpr int BLIPS = 10;

    bool sounding() const;  // a voice is heard, fading or waiting to start
    Blip* free_blip();
    void start_blip(float hz, float hz2, float level, float level2, int length_ms, int delay_ms,
                    float glide_per_second = 1.0f, float pan = 0.0f, int attack_ms = 2);
    float tone_sample();
    float crash_sample();

    Blip blips_[BLIPS];

    // The flight tone: one oscillator with two overtones, its pitch and brightness gliding
    // towards the targets the FLIGHT cues set.
    bool tone_on_ = false;
    float tone_gain_ = 0.0f;      // now, eased towards tone_on_ ? TONE_LEVEL : 0
    float tone_phase_ = 0.0f;
    float tone_step_ = 0.0f;      // turns per frame now
    float tone_target_step_ = 0.0f;
    float tone_bright_ = 0.0f;    // 0..1 now
    float tone_target_bright_ = 0.0f;

    // The crash: noise through a low-pass whose corner falls from bright to dull.
    int crash_age_ = -1;          // frames since the crash started; -1 = idle
    float crash_low_ = 0.0f, crash_band_ = 0.0f;  // state-variable filter
    float crash_coefficient_ = 0.0f;              // its corner, 2 sin(pi corner / rate)
    uint32_t noise_ = 0x12345678u;
    float crash_rumble_phase_ = 0.0f;

    bool muted_ = false;
    float master_ = 1.0f;         // eased towards muted_ ? 0 : 1
    int chimes_this_frame_ = 0;   // chimes since the last FLIGHT cue, spaced apart
};

}  // namespace audio
