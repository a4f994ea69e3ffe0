// One frame on the screen: the back buffer composed from backdrop, cave and trail, laid over
// the previous picture with a constant-alpha blend (the fading streaks), and the status line
// drawn crisp on top.
#include "game/frame.h"

#include <cmath>

#include "game/cave.h"
#include "game/craft.h"
#include "game/play.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "ui/font.h"

std::string status_line(int32_t frame_counter, double passage_height) {
    return " [Time " + std::to_string(frame_counter) + "] [Level " +
           std::to_string(score_for_height(passage_height)) + "] ";
}

std::string slow_warning(int32_t frame_rate_figure) {
    return " [Too Slow] [FPS " + std::to_string(frame_rate_figure) + "]";
}

// At the first frame the run may have taken no time at all: the quotient would be
// infinite or huge, and converting that to 32 bits is undefined. Such a figure is never
// shown (the warning waits for frame 101 and needs a figure below 20), so it is reported
// as "no figure" instead.
int32_t frame_rate_figure(int32_t frame_counter, double elapsed_seconds) {
    if (!(elapsed_seconds > 0.0)) return NO_FRAME_RATE_FIGURE;
    const double figure = std::floor(static_cast<double>(frame_counter) / elapsed_seconds);
    if (!(figure < 2147483648.0)) return NO_FRAME_RATE_FIGURE;
    if (figure < -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(figure);
}

bool shows_slow_warning(int32_t frame_counter, int32_t frame_rate_figure) {
    return frame_counter > SLOW_WARNING_AFTER && frame_rate_figure < SLOW_FRAME_RATE;
}

void compose_frame() {
    const RunClock& run = run_clock();
    const int32_t figure =
        frame_rate_figure(run.frame_counter, clock_seconds() - run.run_start_time);

    draw_layers();
    draw_trail();

    lock_screen();
    put_image(nullptr, 0.0f, 0.0f, cave_state().back_buffer, blit_mode::blend, FRAME_BLEND_ALPHA);
    draw_text(status_line(run.frame_counter, cave_state().passage_height), CENTRE_X, STATUS_LINE_Y,
              255, -1);
    if (shows_slow_warning(run.frame_counter, figure)) {
        draw_text(slow_warning(figure), CENTRE_X, SLOW_WARNING_Y, 255, -1);
    }
}

void frame_draw() {
    compose_frame();
    wait_for_retrace();
    unlock_screen(-1, -1);
}
