// Listening to whole sessions on the headless twin (tools/sound_session.h): what the twin
// heard, laid beside what the game did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/sound.h"
#include "tests/game_support.h"
#include "tools/sound_session.h"

namespace {

using sound_session::Frame;

constexpr double FRAME_SECONDS = 0.036;  // a frame on the twin: 16 ms retrace wait, 20 ms pause

class AudioSessionTest : public game_test::GameTest {
protected:
    // The mono mix of the recording.
    std::vector<float> mix() const {
        const std::vector<float>& s = headless_sound();
        std::vector<float> out(s.size() / 2);
        for (size_t i = 0; i < out.size(); ++i) out[i] = 0.5f * (s[2 * i] + s[2 * i + 1]);
        return out;
    }
    static size_t span(double seconds) { return static_cast<size_t>(std::llround(seconds * 48000.0)); }
    static size_t at(double seconds) { return static_cast<size_t>(std::max<int64_t>(0, headless_sound_frame(seconds))); }
};

// Onsets between frames `from` and `to`: 128-frame blocks whose energy of second differences
// (which weighs a chime's bright partials above the low flight tone) jumps past 2.5 times
// the largest of the three blocks before it; one onset per 40 ms at most.
std::vector<size_t> onsets(const std::vector<float>& x, size_t from, size_t to) {
    constexpr size_t BLOCK = 128;
    std::vector<double> energy;
    for (size_t b = from; b + BLOCK <= to; b += BLOCK) {
        double e = 0;
        for (size_t n = b; n < b + BLOCK; ++n) {
            const double d = x[n] - 2.0 * x[n - 1] + x[n - 2];
            e += d * d;
        }
        energy.push_back(e);
    }
    std::vector<size_t> found;
    for (size_t b = 3; b < energy.size(); ++b) {
        const double before = std::max({energy[b - 1], energy[b - 2], energy[b - 3]});
        const size_t n = from + b * BLOCK;
        if (energy[b] > 2.5 * before && energy[b] > 1e-6 && (found.empty() || n - found.back() > 1920)) {
            found.push_back(n);
        }
    }
    return found;
}

// The tone's frequency in Hz over `length` frames from `start`: the lag of the largest
// normalised autocorrelation between 100 and 520 frames (92..480 Hz), refined between its
// neighbours by a parabola.
double pitch(const std::vector<float>& x, size_t start, size_t length) {
    std::vector<double> r(522, 0.0);
    size_t best = 100;
    for (size_t lag = 99; lag <= 521; ++lag) {
        double c = 0, e = 0;
        for (size_t n = start; n < start + length; ++n) {
            c += x[n] * x[n + lag];
            e += x[n + lag] * x[n + lag];
        }
        r[lag] = c / std::sqrt(e + 1e-12);
        if (lag >= 100 && lag <= 520 && r[lag] > r[best]) best = lag;
    }
    const double bend = r[best - 1] - 2 * r[best] + r[best + 1];
    const double offset = bend < 0 ? 0.5 * (r[best - 1] - r[best + 1]) / bend : 0.0;
    return 48000.0 / (static_cast<double>(best) + offset);
}

TEST_F(AudioSessionTest, ASessionIsHeardAsItIsPlayed) {
    sound_session::Plan plan;
    plan.mute_at = 150;
    plan.unmute_at = 200;
    const std::vector<Frame> frames = sound_session::play(plan);
    const std::vector<float> x = mix();
    ASSERT_GT(frames.size(), 250u);
    ASSERT_TRUE(frames.back().crashed);

    // Peak below full scale.
    float peak = 0;
    for (float v : headless_sound()) peak = std::max(peak, std::fabs(v));
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, 0.1f);

    // M in flight, queued in the pause of frame mute_at and read at the top of the next:
    // silence (exact zeros) from 50 ms after that until it is pressed again.
    auto frame_start = [&](int32_t number) { return frames[number - 2].pause_at + 0.020; };
    const double mute_time = frame_start(plan.mute_at + 1) + 0.05;
    const double unmute_time = frame_start(plan.unmute_at + 1);
    for (size_t n = at(mute_time); n < at(unmute_time); ++n) ASSERT_EQ(x[n], 0.0f) << "frame " << n;
    EXPECT_EQ(headless_kept_mute(), 0);  // the choice handed to the platform to keep

    // The crash's onset: within one frame of the start of the frame that set the flag.
    const double crash_start = frame_start(frames.back().number);
    const size_t crash = at(crash_start);
    size_t onset = crash - at(FRAME_SECONDS) + at(0);
    while (onset < x.size() && std::fabs(x[onset] - x[onset - 1]) < 0.05f) ++onset;
    EXPECT_GE(onset + 48, crash);
    EXPECT_LE(onset, crash + span(FRAME_SECONDS));

    // One chime per bend, but in the frames the sound was off.
    int bends = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const bool muted = frames[i].number > plan.mute_at && frames[i].number <= plan.unmute_at;
        if (!muted) bends += static_cast<int>(std::lround((frames[i - 1].height - frames[i].height) / 2.0));
    }
    const std::vector<size_t> chimes = onsets(x, at(frames[2].pause_at), crash);
    EXPECT_GE(bends, 3);
    EXPECT_EQ(static_cast<int>(chimes.size()), bends);

    // The tone climbs while the space bar is held and sinks while it is not: over every
    // stretch of 2 or more frames of one state, away from chimes and the muted frames, the
    // pitch at its last frame against its first.
    auto quiet = [&](size_t i) {
        const size_t n = at(frames[i].pause_at);
        for (size_t c : chimes) if (n >= c && n < c + span(0.65)) return false;
        return frames[i].number > 3 && (frames[i].number < plan.mute_at || frames[i].number > plan.unmute_at + 3) &&
               std::fabs(frames[i].velocity) < 15.0;
    };
    int rising = 0, falling = 0;
    for (size_t i = 0; i + 1 < frames.size();) {
        size_t j = i;
        while (j + 1 < frames.size() && frames[j + 1].held == frames[i].held && !frames[j + 1].crashed) ++j;
        if (j > i && quiet(i) && quiet(j)) {
            const double first = pitch(x, at(frames[i].pause_at), 960);
            const double last = pitch(x, at(frames[j].pause_at), 960);
            if (frames[i].held) {
                EXPECT_GT(last, first) << "held from frame " << frames[i].number;
                ++rising;
            } else {
                EXPECT_LT(last, first) << "released from frame " << frames[i].number;
                ++falling;
            }
        }
        i = j + 1;
    }
    EXPECT_GE(rising, 5);
    EXPECT_GE(falling, 5);

    // No clicks: away from the crash's noise, no second difference (the step of a sample
    // against the straight line through the two before it) exceeds 0.02. Smooth sound keeps
    // it at amplitude x (2 pi f / 48000)^2: at most 0.013 for the top chime (0.1 at 1.96 kHz
    // with 0.025 at its octave), 0.002 for the tone; a voice started or stopped dead, or an
    // envelope's corner, leaves a step of its momentary value, up to 0.05 to 0.12.
    const size_t crash_end = crash + span(0.75);
    for (size_t n = 2; n < x.size(); ++n) {
        if (n >= crash - 48 && n < crash_end) continue;
        ASSERT_LT(std::fabs(x[n] - 2 * x[n - 1] + x[n - 2]), 0.02f) << "at " << n / 48000.0 << " s";
    }
}

TEST_F(AudioSessionTest, MuteGivesOnlyZeros) {
    sound_session::Plan plan;
    plan.muted = true;
    plan.steer_frames = 60;
    sound_session::play(plan);
    const std::vector<float>& s = headless_sound();
    ASSERT_GT(s.size(), 48000u);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](float v) { return v == 0.0f; }));
}

// sound_quiet (the browser stops pulling while it holds): false from a sound's raise to its
// end, true within 10 ms after, then zeros; with the sound off the flight is quiet.
TEST(SoundQuietTest, HoldsOnlyWhileNothingWouldSound) {
    static float out[2 * 48000];
    const std::pair<void (*)(), int> sounds[] = {  // a sound, and its length in 10 ms blocks
        {sound_tick, 3}, {sound_high_score, 71}, {sound_crash, 71},
        {[] { sound_flight(0.0); render_sound(out, 480); sound_run_ended(); }, 11}};
    for (const auto& [raise, length] : sounds) {
        reset_sound();
        raise();
        int blocks = 0;
        for (; !sound_quiet() && blocks <= length; ++blocks) render_sound(out, 480);
        EXPECT_TRUE(blocks > 0 && blocks <= length) << blocks;
        render_sound(out, 48000);
        EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](float v) { return v == 0.0f; }));
    }
    set_sound_muted(true);
    sound_flight(0.0);
    EXPECT_TRUE(sound_quiet());
    set_sound_muted(false);
    EXPECT_FALSE(sound_quiet());
    reset_sound();
}

}  // namespace
