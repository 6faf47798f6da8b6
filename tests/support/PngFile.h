// A recorded frame read back from its PNG file as top-down RGBA, for the
// tests that look at what the program wrote. Header only: the tests that
// read pictures link libpng themselves.
#pragma once

#include <png.h>

#include <string>
#include <vector>

struct SPicture
{
    int width = 0, height = 0; // 0 when the file could not be read
    std::vector<unsigned char> rgba; // empty then
};

inline SPicture ReadPng(const std::string& path)
{
    SPicture picture;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return picture;
    png.format = PNG_FORMAT_RGBA;
    picture.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, picture.rgba.data(), 0, nullptr))
        return {};
    picture.width = static_cast<int>(png.width);
    picture.height = static_cast<int>(png.height);
    return picture;
}
