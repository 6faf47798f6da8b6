#include "host/record/PngWriter.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Where libpng's output goes, and why it stopped when it did.
struct SPngSink
{
    FILE* m_pFile;
    int m_nErrno = 0; // from the failed write, 0 for an encoding failure
    std::string m_Message; // libpng's own reason
};

void WriteData(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<SPngSink*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, sink->m_pFile) != length) {
        sink->m_nErrno = errno != 0 ? errno : EIO;
        png_error(png, "write failed");
    }
}

void FlushData(png_structp)
{}

// libpng would print its message on stderr; it comes back in the one error line instead.
[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    static_cast<SPngSink*>(png_get_error_ptr(png))->m_Message = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp)
{}

// Encodes into an open file; false with sink.m_nErrno or sink.m_Message set.
bool Encode(SPngSink& sink, int width, int height, const unsigned char* rgba)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        sink.m_Message = "out of memory";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(rgba + static_cast<size_t>(y) * width * 4);

    // libpng reports errors by longjmp; nothing with a destructor is created below this point.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &sink, WriteData, FlushData);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    // A screen has no alpha: the fourth byte of each pixel is dropped.
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string PartialPngPath(const std::string& path)
{
    return path + ".part";
}

bool WritePng(const std::string& path, int width, int height, const unsigned char* rgba, std::string& error)
{
    // The frame gets its name only once it is whole, so a full disk or an
    // interrupted run never leaves a cut picture under a frame's name.
    const std::string partial = PartialPngPath(path);
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    SPngSink sink{file, 0, {}};
    bool ok = Encode(sink, width, height, rgba);
    if (ok && std::fflush(file) != 0) {
        sink.m_nErrno = errno;
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        sink.m_nErrno = errno;
        ok = false;
    }
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0) {
        sink.m_nErrno = errno;
        ok = false;
    }
    if (!ok) {
        std::remove(partial.c_str());
        error = "cannot write " + path + ": " +
                (sink.m_nErrno != 0 ? std::strerror(sink.m_nErrno) : "PNG encoding failed (" + sink.m_Message + ")");
    }
    return ok;
}
