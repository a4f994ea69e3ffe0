// Event-to-sound latency on the desktop: with SDL's disk audio driver (which writes the
// device's stream to SDL_DISKAUDIOFILE), the game's thread raises a crash every 0.9 s and
// notes the time; the device callback notes when each block starts and at which frame of
// the stream. Afterwards the file gives each crash's first sample, and its time in the
// stream is its block's start plus its place in the block. Prints the latencies.
//   SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=F measure_sound_latency   (under Xvfb)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "audio/sound.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int CRASHES = 20;
constexpr int MAX_BLOCKS = 1 << 16;

struct Block {
    int64_t first_frame;
    Clock::time_point at;
};
Block blocks[MAX_BLOCKS];
std::atomic<int> block_count{0};
int64_t frames_pulled = 0;

// The device callback: notes the block, then the game's own source fills it.
void noting_source(float* samples, int frames) {
    const int n = block_count.load(std::memory_order_relaxed);
    if (n < MAX_BLOCKS) {
        blocks[n] = {frames_pulled, Clock::now()};
        block_count.store(n + 1, std::memory_order_release);
    }
    frames_pulled += frames;
    render_sound(samples, frames);
}

}  // namespace

int main() {
    const char* file = std::getenv("SDL_DISKAUDIOFILE");
    if (!file) {
        std::fprintf(stderr, "set SDL_AUDIODRIVER=disk and SDL_DISKAUDIOFILE\n");
        return 2;
    }
    if (open_screen(480, 320, 32, 0, 0, 0) != 0) {
        std::fprintf(stderr, "no window: %s\n", open_screen_error().c_str());
        return 1;
    }
    const std::string error = open_sound(noting_source);
    if (!error.empty()) {
        std::fprintf(stderr, "no sound: %s\n", error.c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<Clock::time_point> raised;
    for (int i = 0; i < CRASHES; ++i) {
        // Off the blocks' beat: 900 ms plus a varying part of a block.
        std::this_thread::sleep_for(std::chrono::microseconds(900000 + 1237 * i));
        raised.push_back(Clock::now());
        sound_crash();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    const int count = block_count.load(std::memory_order_acquire);

    std::FILE* f = std::fopen(file, "rb");
    if (!f) return 1;
    std::vector<float> stream;
    float pair[2];
    while (std::fread(pair, sizeof pair, 1, f) == 1) stream.push_back(pair[0]);
    std::fclose(f);

    // The stream time of frame k: its block's start plus its place in the block.
    auto time_of = [&](int64_t k) {
        int b = 0;
        while (b + 1 < count && blocks[b + 1].first_frame <= k) ++b;
        return blocks[b].at + std::chrono::nanoseconds((k - blocks[b].first_frame) * 1000000000LL / SOUND_RATE);
    };
    std::vector<double> latencies;
    int64_t k = 0;
    for (const auto& at : raised) {
        // The first sound after silence that starts after the crash was raised.
        while (k < static_cast<int64_t>(stream.size()) && (stream[k] == 0.0f || time_of(k) < at)) ++k;
        if (k >= static_cast<int64_t>(stream.size())) break;
        latencies.push_back(std::chrono::duration<double, std::milli>(time_of(k) - at).count());
        while (k < static_cast<int64_t>(stream.size()) && time_of(k) < at + std::chrono::milliseconds(800)) ++k;
    }
    if (latencies.empty()) {
        std::printf("no crash found in the stream\n");
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies) sum += l;
    std::printf("event to first sample in the device's stream, %zu crashes: min %.2f ms, mean %.2f ms, "
                "max %.2f ms (goal <= 30 ms)\n",
                latencies.size(), latencies.front(), sum / latencies.size(), latencies.back());
    std::fflush(stdout);
    std::_Exit(0);
}
