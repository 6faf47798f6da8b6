// Rectangles and sizes of views, in the host's units (pixels), as doubles the
// way the host hands them over. Origins are screen offsets from the primary
// monitor's top-left corner; a view at (0, 0) is on the main screen.
#pragma once

struct SSize
{
    double width = 0.0;
    double height = 0.0;
};

struct SRect
{
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    SSize size() const { return {width, height}; }
};

constexpr SRect ZeroRect{};
