// Image buffers and the blit: create, destroy, put_image in four modes, copy_region.
#pragma once

#include "gfx/gfx.h"

// Rounds a drawing coordinate to a whole pixel, halves away from zero (2.5 -> 3,
// -0.5 -> -1, -0.4 -> 0). Values beyond the int range or NaN give a value far outside any
// picture, so callers clip them away.
int32_t round_coord(float v);

// A new image buffer, every pixel (padding included) filled with `fill`, or with
// DEFAULT_IMAGE_COLOR when flags has IMAGE_DEFAULT_FILL; depth 0 takes the screen's.
// Null without an open screen, for width or height <= 0, or an unsupported depth. Row 0
// starts on a 64-byte boundary.
Image create_image(int32_t width, int32_t height, uint32_t fill, int32_t depth, int32_t flags);

// Releases an image buffer made by create_image; null does nothing.
void destroy_image(Image image);

// Blits the whole source with its top-left corner at (x, y) on the target (null: the
// screen). alpha (1..255) is used by blit_mode::blend only. 0, or 1 when refused (no
// screen, different pixel sizes).
int put_image(Image target, float x, float y, Image source, blit_mode mode, int32_t alpha);

// Copies the rectangle with inclusive corners (x1, y1), (x2, y2) of the source (null: the
// screen) into the destination (made by create_image), whose header is rewritten to the
// rectangle's size. 0, or 1 when refused (no screen, rectangle not wholly inside the source,
// or more pixels than the destination was made for: its current header is not consulted).
int copy_region(Image source, float x1, float y1, float x2, float y2, Image destination);
