// Sound on the desktop: SDL2's audio device at 48 kHz, two channels of floats, pulled by
// SDL's audio thread in blocks of 256 frames (5.3 ms), so that an event waits at most one
// block before its first sample is written. SDL converts to whatever the device takes.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr int BLOCK_FRAMES = 256;

// Standard error set aside for a while. Without a sound card alsa-lib writes several lines
// of its own there (and SDL's disk driver a warning); the game's one line says what
// matters, so they are dropped while the device opens.
class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_ = -1;
};

// SDL's audio thread: the game's source fills the block as it stands.
void SDLCALL pull(void* source, Uint8* stream, int bytes) {
    reinterpret_cast<SoundSource>(source)(reinterpret_cast<float*>(stream),
                                          bytes / static_cast<int>(2 * sizeof(float)));
}

}  // namespace

std::string open_sound(SoundSource source, SoundQuiet /*quiet*/) {
    QuietStandardError quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return SDL_GetError();
    SDL_AudioSpec wanted{};
    wanted.freq = SOUND_RATE;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = BLOCK_FRAMES;
    wanted.callback = pull;
    wanted.userdata = reinterpret_cast<void*>(source);
    // No changes allowed: the callback always sees the block above and SDL converts.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device == 0) {
        const std::string error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return error.empty() ? "no audio device" : error;
    }
    SDL_PauseAudioDevice(device, 0);
    return "";
}

// The desktop keeps no choice across sessions: --mute says it each time.
bool kept_mute_choice(bool fallback) { return fallback; }
void keep_mute_choice(bool /*muted*/) {}
