#include "tools/mediagen/Image.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

void CImage::Splat(float x, float y, SColor c)
{
    int x0 = int(std::floor(x));
    int y0 = int(std::floor(y));
    float fx = x - float(x0);
    float fy = y - float(y0);
    const float w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
    for (int k = 0; k < 4; ++k) {
        int px = x0 + (k & 1);
        int py = y0 + (k >> 1);
        if (px >= 0 && py >= 0 && px < m_nWidth && py < m_nHeight)
            At(px, py) = At(px, py) + c * w[k];
    }
}

namespace {
void BoxPass(std::vector<SColor>& line, std::vector<SColor>& tmp, int radius)
{
    const int n = int(line.size());
    SColor sum = {0, 0, 0};
    for (int i = -radius; i <= radius; ++i)
        sum = sum + line[std::clamp(i, 0, n - 1)];
    const float norm = 1.0f / float(2 * radius + 1);
    for (int i = 0; i < n; ++i) {
        tmp[i] = sum * norm;
        sum = sum + line[std::min(i + radius + 1, n - 1)] + line[std::max(i - radius, 0)] * -1.0f;
    }
    line.swap(tmp);
}
} // namespace

void CImage::Blur(int radius)
{
    if (radius <= 0)
        return;
    std::vector<SColor> line, tmp;
    line.resize(m_nWidth);
    tmp.resize(m_nWidth);
    for (int y = 0; y < m_nHeight; ++y) {
        for (int x = 0; x < m_nWidth; ++x)
            line[x] = At(x, y);
        for (int pass = 0; pass < 3; ++pass)
            BoxPass(line, tmp, radius);
        for (int x = 0; x < m_nWidth; ++x)
            At(x, y) = line[x];
    }
    line.resize(m_nHeight);
    tmp.resize(m_nHeight);
    for (int x = 0; x < m_nWidth; ++x) {
        for (int y = 0; y < m_nHeight; ++y)
            line[y] = At(x, y);
        for (int pass = 0; pass < 3; ++pass)
            BoxPass(line, tmp, radius);
        for (int y = 0; y < m_nHeight; ++y)
            At(x, y) = line[y];
    }
}

namespace {
uint8_t ToByte(float v)
{
    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

std::vector<uint8_t> ToRgbBytes(const CImage& image)
{
    std::vector<uint8_t> rgb(size_t(image.Width()) * image.Height() * 3);
    size_t k = 0;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
            const SColor& c = image.At(x, y);
            rgb[k++] = ToByte(c.r);
            rgb[k++] = ToByte(c.g);
            rgb[k++] = ToByte(c.b);
        }
    return rgb;
}

// libjpeg and libpng report errors by longjmp; these frames hold no C++ objects with destructors between
// the setjmp and the library calls.
struct SJpegError
{
    jpeg_error_mgr m_Mgr;
    jmp_buf m_Jump;
};

void OnJpegError(j_common_ptr info)
{
    longjmp(reinterpret_cast<SJpegError*>(info->err)->m_Jump, 1);
}

bool CompressJpeg(const uint8_t* rgb, int width, int height, int quality, bool fullChroma, unsigned char** out,
                  unsigned long* outSize)
{
    jpeg_compress_struct cinfo;
    SJpegError err;
    cinfo.err = jpeg_std_error(&err.m_Mgr);
    err.m_Mgr.error_exit = OnJpegError;
    if (setjmp(err.m_Jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    if (fullChroma)
        cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + size_t(cinfo.next_scanline) * width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

void OnPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnPngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

bool CompressPng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, OnPngWrite, nullptr);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgb + size_t(y) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

std::vector<uint8_t> EncodeJpeg(const CImage& image, int quality, bool fullChroma)
{
    std::vector<uint8_t> rgb = ToRgbBytes(image);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> result;
    if (CompressJpeg(rgb.data(), image.Width(), image.Height(), quality, fullChroma, &buffer, &size))
        result.assign(buffer, buffer + size);
    free(buffer);
    return result;
}

std::vector<uint8_t> EncodePng(const CImage& image)
{
    std::vector<uint8_t> rgb = ToRgbBytes(image);
    std::vector<uint8_t> result;
    if (!CompressPng(rgb.data(), image.Width(), image.Height(), &result))
        result.clear();
    return result;
}
