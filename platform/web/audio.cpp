// Sound in the browser: the page's AudioContext, which the start gesture created and
// resumed (pre.js), runs a ScriptProcessorNode whose handler pulls 1024 frames (21 ms)
// at a time from the game's source through murkwing_render_sound, on the browser's thread.
// The game yields to the browser every frame (the pauses and the retrace waits), so the
// handler runs well within its block's time; the node keeps the previous block playing
// meanwhile. An AnalyserNode sits between the node and the speakers: the page can see
// what plays. The player's mute choice is kept in the page's local storage.
//
// A running context costs the page CPU even when every sample is zero (the node's handler
// and the browser's audio thread, about 2.5% of a core), so the audio rests: after 1.5 s in
// which the source stayed quiet (no voice, or the sound off) the context is suspended, and
// the first yield after the game raised a sound resumes it. The source has not rendered in
// between, so the sound starts at its first sample, a few milliseconds late.
#include <emscripten.h>

#include "platform/platform.h"
#include "platform/web/audio.h"

namespace {

constexpr int BLOCK_FRAMES = 1024;
constexpr int QUIET_FRAMES_BEFORE_REST = SOUND_RATE * 3 / 2;  // 1.5 s: past a dialog's ticks

struct WebSound {
    SoundSource source = nullptr;
    SoundQuiet quiet = nullptr;     // null: the audio never rests
    bool resting = false;           // suspended (or being suspended) by the page
    int quiet_frames = 0;           // frames rendered since the source last sounded
    float block[2 * BLOCK_FRAMES];
};

WebSound& web_sound() {
    static WebSound s;
    return s;
}

EM_JS(int, web_start_audio, (int frames), {
    const audio = Module.murkwingAudio;
    if (!audio || !audio.context) return 0;
    const node = audio.context.createScriptProcessor(frames, 0, 2);
    node.onaudioprocess = function(event) {
        const out = event.outputBuffer;
        const count = out.length;
        const at = Module._murkwing_render_sound(count) >> 2;
        const left = out.getChannelData(0), right = out.getChannelData(1);
        for (let i = 0; i < count; ++i) {
            left[i] = HEAPF32[at + 2 * i];
            right[i] = HEAPF32[at + 2 * i + 1];
        }
    };
    audio.analyser = audio.context.createAnalyser();
    node.connect(audio.analyser);
    audio.analyser.connect(audio.context.destination);
    audio.node = node;
    return 1;
});

// Suspends (1) or resumes (0) the page's AudioContext.
EM_JS(void, web_rest_audio, (int rest), {
    const context = Module.murkwingAudio.context;
    if (rest) context.suspend();
    else context.resume();
});

void set_resting(bool resting) {
    WebSound& s = web_sound();
    s.resting = resting;
    s.quiet_frames = 0;
    web_rest_audio(resting ? 1 : 0);
}

EM_JS(int, web_kept_mute, (), {
    try {
        const value = localStorage.getItem('murkwingdiver.muted');
        return value === null ? -1 : value === '1' ? 1 : 0;
    } catch (error) {
        return -1;
    }
});

EM_JS(void, web_keep_mute, (int muted), {
    try {
        localStorage.setItem('murkwingdiver.muted', muted ? '1' : '0');
    } catch (error) {
    }
});

}  // namespace

// The node's handler: `frames` stereo frames, interleaved, at the returned address.
// After 1.5 s of quiet the context rests; a sound rendered while it is being suspended
// (raised between the request and the browser's stop) takes it back.
extern "C" EMSCRIPTEN_KEEPALIVE float* murkwing_render_sound(int frames) {
    WebSound& s = web_sound();
    if (frames > BLOCK_FRAMES) frames = BLOCK_FRAMES;
    if (s.source) {
        s.source(s.block, frames);
    } else {
        for (float& sample : s.block) sample = 0.0f;
    }
    if (s.quiet && !s.quiet()) {
        if (s.resting) set_resting(false);
        s.quiet_frames = 0;
    } else if (s.quiet && !s.resting && (s.quiet_frames += frames) >= QUIET_FRAMES_BEFORE_REST) {
        set_resting(true);
    }
    return s.block;
}

void wake_sound_if_raised() {
    const WebSound& s = web_sound();
    if (s.resting && !s.quiet()) set_resting(false);
}

std::string open_sound(SoundSource source, SoundQuiet quiet) {
    WebSound& s = web_sound();
    s.source = source;
    if (!web_start_audio(BLOCK_FRAMES)) return "the browser gave the page no AudioContext";
    s.quiet = quiet;
    return "";
}

bool kept_mute_choice(bool fallback) {
    const int kept = web_kept_mute();
    return kept < 0 ? fallback : kept != 0;
}

void keep_mute_choice(bool muted) { web_keep_mute(muted ? 1 : 0); }
