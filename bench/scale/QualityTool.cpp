// Compares frames of two recordings of the same virtual times (one at a
// render scale, one at full size):
//   psnr A.png B.png                   PSNR of the RGB channels, dB
//   mean A.png X Y W H                 mean brightness (0..255) of a box
//   side A.png B.png X Y W H ZOOM OUT  the box of each, ZOOM times larger
//                                      (nearest pixel), side by side in OUT
// Failures: one line on stderr, status 1.
#include "host/record/PngWriter.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct SImage
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba; // top-down
};

bool Read(const char* path, SImage& image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path))
        return false;
    png.format = PNG_FORMAT_RGBA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    return png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) != 0;
}

int Fail(const std::string& line)
{
    std::fprintf(stderr, "veltrix_bench_scale_quality: %s\n", line.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    SImage a, b;
    if (command == "psnr" && argc == 4) {
        if (!Read(argv[2], a) || !Read(argv[3], b))
            return Fail("cannot read the pictures");
        if (a.width != b.width || a.height != b.height)
            return Fail("the pictures differ in size");
        double sum = 0.0;
        for (size_t i = 0; i < a.rgba.size(); ++i) {
            if (i % 4 == 3)
                continue;
            const double d = double(a.rgba[i]) - double(b.rgba[i]);
            sum += d * d;
        }
        const double mse = sum / (double(a.width) * a.height * 3.0);
        std::printf("%.2f\n", mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0);
        return 0;
    }
    if (command == "mean" && argc == 7) {
        if (!Read(argv[2], a))
            return Fail("cannot read the picture");
        const int x0 = std::atoi(argv[3]), y0 = std::atoi(argv[4]), w = std::atoi(argv[5]), h = std::atoi(argv[6]);
        double sum = 0.0;
        long n = 0;
        for (int y = y0; y < y0 + h && y < a.height; ++y)
            for (int x = x0; x < x0 + w && x < a.width; ++x, ++n)
                for (int c = 0; c < 3; ++c)
                    sum += a.rgba[(size_t(y) * a.width + x) * 4 + c] / 3.0;
        std::printf("%.2f\n", n ? sum / n : 0.0);
        return 0;
    }
    if (command == "side" && argc == 10) {
        if (!Read(argv[2], a) || !Read(argv[3], b))
            return Fail("cannot read the pictures");
        const int x0 = std::atoi(argv[4]), y0 = std::atoi(argv[5]), w = std::atoi(argv[6]), h = std::atoi(argv[7]);
        const int zoom = std::atoi(argv[8]);
        if (w < 1 || h < 1 || zoom < 1 || x0 < 0 || y0 < 0 || x0 + w > a.width || y0 + h > a.height ||
            a.width != b.width || a.height != b.height)
            return Fail("the box does not fit the pictures");
        const int gap = 4 * zoom;
        const int outW = 2 * w * zoom + gap, outH = h * zoom;
        std::vector<unsigned char> out(size_t(outW) * outH * 4, 255);
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                const bool right = x >= w * zoom + gap;
                if (!right && x >= w * zoom)
                    continue;
                const SImage& from = right ? b : a;
                const int sx = x0 + (right ? x - w * zoom - gap : x) / zoom, sy = y0 + y / zoom;
                for (int c = 0; c < 4; ++c)
                    out[(size_t(y) * outW + x) * 4 + c] = from.rgba[(size_t(sy) * from.width + sx) * 4 + c];
            }
        std::string error;
        if (!WritePng(argv[9], outW, outH, out.data(), error))
            return Fail(error);
        return 0;
    }
    return Fail("usage: psnr A B | mean A X Y W H | side A B X Y W H ZOOM OUT");
}
