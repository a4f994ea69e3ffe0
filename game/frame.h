// Composition of one frame: layers and trail into the back buffer, the blend onto the
// screen and the status line.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t FRAME_BLEND_ALPHA = 50;   // the constant alpha of the back buffer's blend
constexpr int32_t STATUS_LINE_Y = 4;        // top of the status line
constexpr int32_t SLOW_WARNING_Y = 297;     // top of the "[Too Slow]" warning
constexpr int32_t SLOW_WARNING_AFTER = 100; // no warning up to this frame of a run
constexpr int32_t SLOW_FRAME_RATE = 20;     // warn below this many frames per second

// Stands for "no figure yet": the run has taken no measurable time, or the quotient does not
// fit 32 bits. It never triggers the warning.
constexpr int32_t NO_FRAME_RATE_FIGURE = INT32_MAX;

// " [Time N] [Level N] " for this frame counter and passage height.
std::string status_line(int32_t frame_counter, double passage_height);

// " [Too Slow] [FPS N]".
std::string slow_warning(int32_t frame_rate_figure);

// The average frames per second of the run, floor(frames / seconds). NO_FRAME_RATE_FIGURE
// while no time has passed (elapsed <= 0 or NaN) or when the quotient exceeds the 32-bit
// range, so that the conversion is always defined.
int32_t frame_rate_figure(int32_t frame_counter, double elapsed_seconds);

// Whether a frame with this counter and figure shows the slow warning.
bool shows_slow_warning(int32_t frame_counter, int32_t frame_rate_figure);

// Everything of frame_draw but the retrace wait and the unlock: layers and trail into the
// back buffer, then, with the screen lock taken and left held, the blend onto the screen and
// the texts. The benchmarks call it without waiting for the display.
void compose_frame();

// Once per frame of a run: compose_frame, wait for the retrace, unlock all rows.
void frame_draw();
