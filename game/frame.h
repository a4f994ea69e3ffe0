// Composition of one frame: layers and trail into the back buffer, the blend onto the
// screen and the status line.
#pragma once

#include <cstdint>
#include <string>

// " [Time N] [Level N] " for this frame counter and passage height.
std::string status_line(int32_t frame_counter, double passage_height);

// The average frames per second of the run, floor(frames / seconds), or 0 while no time
// has passed (a figure that would not fit 32 bits is clamped).
int32_t frame_rate_figure(int32_t frame_counter, double elapsed_seconds);

void frame_draw();
