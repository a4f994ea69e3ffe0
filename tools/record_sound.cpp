// Records a short session with sound on the headless twin (tools/sound_session.h) as a WAV
// file for the README: mono, 16-bit, 24 kHz (the game's 48 kHz stereo mixed to one channel
// and every two frames averaged into one), which keeps a ten-second file under 0.5 MB.
//   record_sound OUT.wav      (cmake --build BUILD --target sound_recording)
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "tools/sound_session.h"

namespace {

constexpr int OUT_RATE = 24000;

void put16(std::FILE* f, int v) {
    std::fputc(v & 0xFF, f);
    std::fputc((v >> 8) & 0xFF, f);
}
void put32(std::FILE* f, uint32_t v) {
    put16(f, static_cast<int>(v & 0xFFFF));
    put16(f, static_cast<int>(v >> 16));
}

bool write_wav(const std::string& path, const std::vector<int16_t>& samples) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    std::fputs("RIFF", f);
    put32(f, 36 + bytes);
    std::fputs("WAVEfmt ", f);
    put32(f, 16);
    put16(f, 1);             // PCM
    put16(f, 1);             // mono
    put32(f, OUT_RATE);
    put32(f, OUT_RATE * 2);  // bytes a second
    put16(f, 2);             // bytes a frame
    put16(f, 16);
    std::fputs("data", f);
    put32(f, bytes);
    for (int16_t s : samples) put16(f, s);
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: record_sound OUT.wav\n");
        return 2;
    }
    const std::filesystem::path out = std::filesystem::absolute(argv[1]);
    char pattern[] = "/tmp/murkwing_record_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::filesystem::path folder = pattern;
    std::filesystem::copy_file(std::string(MURKWING_SOURCE_DIR) + "/data/font.bmp", folder / "font.bmp");
    std::filesystem::current_path(folder);

    sound_session::Plan plan;
    plan.steer_frames = 170;
    const auto frames = sound_session::play(plan);
    const std::vector<float>& stereo = headless_sound();
    std::vector<int16_t> mono;
    for (size_t i = 0; i + 3 < stereo.size(); i += 4) {
        const float v = 0.25f * (stereo[i] + stereo[i + 1] + stereo[i + 2] + stereo[i + 3]);
        mono.push_back(static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)));
    }
    std::filesystem::remove_all(folder);
    if (!write_wav(out.string(), mono)) {
        std::perror(out.c_str());
        return 1;
    }
    std::printf("%s: %.1f s, a run of %zu frames\n", out.c_str(), mono.size() / double(OUT_RATE), frames.size());
    return 0;
}
