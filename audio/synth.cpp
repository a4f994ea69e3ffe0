// The synthesizer's voices. Times are in frames of 1/48000 s; levels in full scale (1.0).
// The levels are chosen so that all voices at their loudest stay under the limiter's knee
// but the crash; the limiter keeps even a pile-up below 0.95.
#include "audio/synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace audio {

namespace {

constexpr int SINE_SIZE = 2048;  // table entries per turn; one more closes the ring

// A sine turn in a table, read with linear interpolation: its error (about 1e-6) is far
// below what a 16-bit device resolves, and it costs a fraction of std::sin. Filled before
// main, so that render never meets a first-use guard.
const std::array<float, SINE_SIZE + 1> SINE_TABLE = [] {
    std::array<float, SINE_SIZE + 1> t{};
    for (int i = 0; i <= SINE_SIZE; ++i) t[i] = static_cast<float>(std::sin(2.0 * std::numbers::pi * i / SINE_SIZE));
    return t;
}();

// sin(2 pi turns) for turns in 0..1.
inline float sine(float turns) {
    const float x = turns * SINE_SIZE;
    int i = static_cast<int>(x);
    if (i >= SINE_SIZE) i = SINE_SIZE - 1;
    const float f = x - static_cast<float>(i);
    const auto& t = SINE_TABLE;
    return t[i] + (t[i + 1] - t[i]) * f;
}

inline float wrap(float turns) { return turns >= 1.0f ? turns - 1.0f : turns; }

constexpr int frames_of_ms(float ms) { return static_cast<int>(ms * SAMPLE_RATE / 1000.0f); }

// One-pole easing factor for a time constant in seconds: each frame moves this fraction of
// the way to the target.
float ease(float seconds) { return 1.0f - std::exp(-1.0f / (seconds * SAMPLE_RATE)); }

// The flight tone: quiet, low and round; its pitch spans two octaves over the velocities a
// run shows (+-16 pixels per frame), one octave up when climbing at 16.
constexpr float TONE_LEVEL = 0.055f;
constexpr float TONE_CENTRE_HZ = 196.0f;  // G3 at velocity 0
constexpr float TONE_SPAN = 16.0f;        // pixels per frame for one octave
const float TONE_GLIDE = ease(0.025f);    // pitch and brightness follow within ~25 ms
const float TONE_FADE = ease(0.008f);     // starts and stops in ~8 ms: no click

// The crash: 0.7 s of noise whose low-pass corner falls from 3.6 kHz to 150 Hz, over a
// falling rumble.
constexpr int CRASH_FRAMES = frames_of_ms(700);
constexpr int CRASH_ATTACK = frames_of_ms(3);
constexpr float CRASH_LEVEL = 0.5f;
constexpr float CRASH_RUMBLE_LEVEL = 0.12f;
const float CRASH_FALL = std::exp(-1.0f / (0.12f * SAMPLE_RATE));  // corner's decay per frame

const float MASTER_FADE = ease(0.005f);   // mute and unmute in ~5 ms

// The chime's scale: a major pentatonic from G4, one degree a level, up to two octaves and
// a third (about 1.96 kHz): pleasant in any order, never shrill.
constexpr float CHIME_ROOT_HZ = 392.0f;
constexpr float PENTATONIC[5] = {1.0f, 9.0f / 8.0f, 5.0f / 4.0f, 3.0f / 2.0f, 5.0f / 3.0f};
constexpr int CHIME_TOP_DEGREE = 12;
constexpr int CHIME_SPACING_MS = 70;      // two bends in one frame chime one after the other

// Above the knee the limiter bends the curve smoothly towards 0.95 (never reached).
constexpr float KNEE = 0.6f;
constexpr float HEADROOM = 0.35f;

inline float limit(float x) {
    const float a = std::fabs(x);
    if (a <= KNEE) return x;
    const float over = a - KNEE;
    const float bent = KNEE + HEADROOM * over / (over + HEADROOM);
    return x < 0.0f ? -bent : bent;
}

}  // namespace

bool Synth::sounding() const {
    if (tone_gain_ > 0.0f || crash_age_ >= 0) return true;
    for (const Blip& b : blips_) {
        if (b.length != 0) return true;
    }
    return false;
}

Synth::Blip* Synth::free_blip() {
    for (Blip& b : blips_) {
        if (b.length == 0) return &b;
    }
    // All busy: the oldest is nearest its end and quietest; it is taken over.
    Blip* oldest = &blips_[0];
    for (Blip& b : blips_) {
        if (b.delay == 0 && b.length - b.age < oldest->length - oldest->age) oldest = &b;
    }
    return oldest;
}

void Synth::start_blip(float hz, float hz2, float level, float level2, int length_ms, int delay_ms,
                       float glide_per_second, float pan, int attack_ms) {
    if (muted_) return;
    Blip& b = *free_blip();
    b = Blip{};
    b.delay = frames_of_ms(static_cast<float>(delay_ms));
    b.length = frames_of_ms(static_cast<float>(length_ms));
    b.attack = std::max(1, frames_of_ms(static_cast<float>(attack_ms)));
    b.step = hz / SAMPLE_RATE;
    b.step2 = hz2 / SAMPLE_RATE;
    b.level = level;
    b.level2 = level2;
    b.glide = std::pow(glide_per_second, 1.0f / SAMPLE_RATE);
    b.pan = pan;
}

void Synth::apply(const Event& event) {
    switch (event.cue) {
        case Cue::FLIGHT: {
            const float climb = std::clamp(-event.value, -TONE_SPAN, TONE_SPAN);
            tone_target_step_ = TONE_CENTRE_HZ * std::exp2(climb / TONE_SPAN) / SAMPLE_RATE;
            tone_target_bright_ = 0.5f + 0.5f * climb / TONE_SPAN;
            if (!tone_on_ && tone_gain_ < 1e-4f) {  // a fresh start begins at its pitch
                tone_step_ = tone_target_step_;
                tone_bright_ = tone_target_bright_;
            }
            tone_on_ = true;
            chimes_this_frame_ = 0;
            break;
        }
        case Cue::BEND: {
            const int degree = std::clamp(static_cast<int>(event.value), 0, CHIME_TOP_DEGREE);
            const float hz = CHIME_ROOT_HZ * PENTATONIC[degree % 5] * static_cast<float>(1 << (degree / 5));
            const float pan = (degree % 2) ? 0.25f : -0.25f;
            start_blip(hz, 2.0f * hz, 0.10f, 0.025f, 600, CHIME_SPACING_MS * chimes_this_frame_, 1.0f, pan, 3);
            ++chimes_this_frame_;
            break;
        }
        case Cue::CRASH:
            tone_on_ = false;
            if (muted_) break;
            crash_age_ = 0;
            crash_low_ = crash_band_ = 0.0f;
            crash_rumble_phase_ = 0.0f;
            break;
        case Cue::RUN_END:
            tone_on_ = false;
            break;
        case Cue::TICK:
            start_blip(1480.0f, 2960.0f, 0.045f, 0.008f, 22, 0);
            break;
        case Cue::CLICK:
            start_blip(880.0f, 1760.0f, 0.07f, 0.015f, 45, 0, 0.5f);
            break;
        case Cue::LETTER:
            start_blip(1175.0f, 2350.0f, 0.045f, 0.008f, 28, 0);
            break;
        case Cue::REFUSED:
            start_blip(147.0f, 220.0f, 0.11f, 0.04f, 120, 0, 0.7f, 0.0f, 4);
            break;
        case Cue::HIGH_SCORE: {
            constexpr float NOTES[4] = {523.25f, 659.25f, 783.99f, 1046.5f};  // C5 E5 G5 C6
            for (int i = 0; i < 4; ++i) {
                start_blip(NOTES[i], 2.0f * NOTES[i], 0.07f, 0.012f, i == 3 ? 420 : 240, 95 * i, 1.0f,
                           (i - 1.5f) * 0.15f, 3);
            }
            break;
        }
        case Cue::MUTE:
            muted_ = event.value != 0.0f;
            // Nothing to fade: silent, or at full level, at once.
            if (!sounding()) master_ = muted_ ? 0.0f : 1.0f;
            break;
    }
}

float Synth::tone_sample() {
    const float target = tone_on_ ? TONE_LEVEL : 0.0f;
    tone_gain_ += (target - tone_gain_) * TONE_FADE;
    if (!tone_on_ && tone_gain_ < 1e-6f) {
        tone_gain_ = 0.0f;
        return 0.0f;
    }
    tone_step_ += (tone_target_step_ - tone_step_) * TONE_GLIDE;
    tone_bright_ += (tone_target_bright_ - tone_bright_) * TONE_GLIDE;
    tone_phase_ = wrap(tone_phase_ + tone_step_);
    const float second = wrap(tone_phase_ * 2.0f - (tone_phase_ >= 0.5f ? 1.0f : 0.0f));
    float third = tone_phase_ * 3.0f;
    third -= static_cast<float>(static_cast<int>(third));
    const float wave = sine(tone_phase_) + tone_bright_ * (0.35f * sine(second) + 0.15f * sine(third));
    return tone_gain_ * wave;
}

float Synth::crash_sample() {
    if (crash_age_ < 0) return 0.0f;
    const int age = crash_age_++;
    if (age >= CRASH_FRAMES) {
        crash_age_ = -1;
        return 0.0f;
    }
    // The corner: 3.6 kHz falling to 150 Hz; its coefficient is refreshed every 32 frames.
    if ((age & 31) == 0) {
        const float corner = 150.0f + 3450.0f * std::pow(CRASH_FALL, static_cast<float>(age));
        crash_coefficient_ = 2.0f * sine(0.5f * corner / SAMPLE_RATE);
    }
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const float white = static_cast<float>(static_cast<int32_t>(noise_)) * (1.0f / 2147483648.0f);
    const float high = white - crash_low_ - crash_band_;  // damping 1: no ringing
    crash_band_ += crash_coefficient_ * high;
    crash_low_ += crash_coefficient_ * crash_band_;
    const float rise = age < CRASH_ATTACK ? static_cast<float>(age) / CRASH_ATTACK : 1.0f;
    const float left = 1.0f - static_cast<float>(age) / CRASH_FRAMES;
    const float envelope = rise * left * left;
    crash_rumble_phase_ = wrap(crash_rumble_phase_ + (40.0f + 30.0f * left) / SAMPLE_RATE);
    return envelope * (CRASH_LEVEL * crash_low_ + CRASH_RUMBLE_LEVEL * sine(crash_rumble_phase_));
}

void Synth::render(float* out, int frames) {
    for (int n = 0; n < frames; ++n) {
        const float master_target = muted_ ? 0.0f : 1.0f;
        master_ += (master_target - master_) * MASTER_FADE;
        if (muted_ && master_ < 1e-4f) {
            // Silent: every voice is dropped, so that unmuting starts clean.
            master_ = 0.0f;
            tone_gain_ = 0.0f;
            crash_age_ = -1;
            for (Blip& b : blips_) b.length = 0;
            for (int i = n; i < frames; ++i) out[2 * i] = out[2 * i + 1] = 0.0f;
            return;
        }
        const float centre = tone_sample() + crash_sample();
        float left = centre, right = centre;
        for (Blip& b : blips_) {
            if (b.length == 0) continue;
            if (b.delay > 0) {
                --b.delay;
                continue;
            }
            const float rise = b.age < b.attack ? static_cast<float>(b.age) / b.attack : 1.0f;
            const float rest = 1.0f - static_cast<float>(b.age) / b.length;
            const float v = rise * rest * rest * (b.level * sine(b.phase) + b.level2 * sine(b.phase2));
            b.phase = wrap(b.phase + b.step);
            b.phase2 = wrap(b.phase2 + b.step2);
            b.step *= b.glide;
            b.step2 *= b.glide;
            left += v * (1.0f - std::max(b.pan, 0.0f));
            right += v * (1.0f + std::min(b.pan, 0.0f));
            if (++b.age >= b.length) b.length = 0;
        }
        out[2 * n] = limit(master_ * left);
        out[2 * n + 1] = limit(master_ * right);
    }
}

}  // namespace audio
