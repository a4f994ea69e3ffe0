// Sound in the browser: the page's AudioContext, which the start gesture created and
// resumed (web_pre.js), runs a ScriptProcessorNode whose handler pulls 1024 frames (21 ms)
// at a time from the game's source through murkwing_render_sound, on the browser's thread.
// The game yields to the browser every frame (the pauses and the retrace waits), so the
// handler runs well within its block's time; the node keeps the previous block playing
// meanwhile. An AnalyserNode sits between the node and the speakers: the page can see
// what plays. The player's mute choice is kept in the page's local storage.
#include <emscripten.h>

#include "platform/platform.h"

namespace {

constexpr int BLOCK_FRAMES = 1024;

SoundSource sound_source = nullptr;
float block[2 * BLOCK_FRAMES];

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
extern "C" EMSCRIPTEN_KEEPALIVE float* murkwing_render_sound(int frames) {
    if (frames > BLOCK_FRAMES) frames = BLOCK_FRAMES;
    if (sound_source) {
        sound_source(block, frames);
    } else {
        for (float& sample : block) sample = 0.0f;
    }
    return block;
}

std::string open_sound(SoundSource source) {
    sound_source = source;
    if (!web_start_audio(BLOCK_FRAMES)) return "the browser gave the page no AudioContext";
    return "";
}

bool kept_mute_choice(bool fallback) {
    const int kept = web_kept_mute();
    return kept < 0 ? fallback : kept != 0;
}

void keep_mute_choice(bool muted) { web_keep_mute(muted ? 1 : 0); }
