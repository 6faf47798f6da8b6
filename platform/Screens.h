// Screens of the X display named by $DISPLAY, as XRandR's monitors list them.
// Rectangles are in view coordinates: pixels from the primary monitor's
// top-left corner (XRandR's primary, else its first monitor), as view frames
// are. Each call opens its own short connection; neither needs the host's.
#pragma once

#include "platform/Geometry.h"

#include <cstdint>

// One bit per monitor, in XRandR's order (monitor i is bit i, up to 32): the
// first monitor whose area meets the rectangle, else the primary monitor.
// 0 without a display or monitors.
uint32_t getScreenMaskForFrame(const SRect& frame);

// What the monitor under the rectangle (chosen as above) shows, read back
// from the root window and scaled to 1024 x 1024 RGBA bytes, top row first.
// Null without a display, when the read fails, when memory runs out, and
// when every pixel has one colour (a blank screen is no picture). The caller
// frees the buffer with free. Scaling needs OpenGL: it uses the current
// context, or a small headless one of its own while none is current.
unsigned char* grabScreenShotWithFrame(float x, float y, float width, float height);
