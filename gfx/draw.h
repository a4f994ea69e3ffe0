// Drawing primitives and bitmap loading: lines and boxes, filled circles, pixel reads and
// BMP files, into an image buffer or (null target) the screen page.
#pragma once

#include <cstddef>
#include <string>

#include "gfx/gfx.h"

// End angle that marks a full circle: the float with bit pattern 0x40C90FDC.
extern const float FULL_TURN_ANGLE;

// kind: LINE_SEGMENT, LINE_BOX or LINE_FILLED_BOX; pattern: only 0xFFFF (solid) is drawn
// as such; coord_mode COORDS_RELATIVE makes (x2, y2) an offset from (x1, y1).
void draw_line(Image target, float x1, float y1, float x2, float y2, uint32_t colour,
               int32_t kind, uint32_t pattern, int32_t coord_mode);

// A filled (fill != 0) or outlined ellipse centred on (x, y). aspect 0 takes the default
// (screen height / screen width * 4 / 3); above 1 the radii are radius / aspect across and
// radius down, otherwise radius across and radius * |aspect| down. Only start 0 with end
// FULL_TURN_ANGLE draws.
void draw_circle(Image target, float x, float y, float radius, uint32_t colour, float aspect,
                 float start_angle, float end_angle, int32_t fill);

// The stored pixel at (x, y), or 0xFFFFFFFF outside the target or without a screen.
uint32_t read_pixel(Image target, float x, float y);

// Loads a BMP file into the target without changing its size: 0 loaded, 1 no screen or a
// 15/16-bit file, 2 cannot open, 3 not a bitmap, damaged, or cut short.
int load_bitmap(const std::string& file_name, Image target);

// The same from bytes already in memory (for tests and the fuzzer); the "cannot open" case
// does not arise.
int load_bitmap_bytes(const uint8_t* data, size_t size, Image target);
