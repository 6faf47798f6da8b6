// Test-only generator of Ogg Vorbis images: a sine tone of a given pitch.
// It runs as its own program, so that no test program links an encoder.
//   veltrix-test-oggenc OUT.ogg CHANNELS RATE SAMPLES FREQ_HZ [AMPLITUDE]
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool WritePage(std::FILE* out, const ogg_page& page)
{
    return std::fwrite(page.header, 1, size_t(page.header_len), out) == size_t(page.header_len) &&
           std::fwrite(page.body, 1, size_t(page.body_len), out) == size_t(page.body_len);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "usage: %s OUT.ogg CHANNELS RATE SAMPLES FREQ_HZ [AMPLITUDE]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const int channels = std::atoi(argv[2]);
    const long rate = std::atol(argv[3]);
    const long samples = std::atol(argv[4]);
    const double freq = std::atof(argv[5]);
    const double amplitude = argc == 7 ? std::atof(argv[6]) : 0.5;

    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "%s: cannot create file\n", path);
        return 1;
    }

    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) {
        std::fprintf(stderr, "%s: encoder refuses %d channels at %ld Hz\n", path, channels, rate);
        return 1;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);

    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    bool ok = true;
    while (ogg_stream_flush(&stream, &page) != 0)
        ok = ok && WritePage(out, page);

    const long chunk = 1024;
    long done = 0;
    bool eos = false;
    while (!eos) {
        const long n = samples - done < chunk ? samples - done : chunk;
        if (n > 0) {
            float** pcm = vorbis_analysis_buffer(&dsp, int(n));
            for (long i = 0; i < n; ++i) {
                const double t = double(done + i) / double(rate);
                const float v = float(amplitude * std::sin(2.0 * M_PI * freq * t));
                for (int c = 0; c < channels; ++c)
                    pcm[c][i] = v;
            }
            vorbis_analysis_wrote(&dsp, int(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&dsp, 0);
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (!eos && ogg_stream_pageout(&stream, &page) != 0) {
                    ok = ok && WritePage(out, page);
                    eos = ogg_page_eos(&page) != 0;
                }
            }
        }
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "%s: write failed\n", path);
        return 1;
    }
    return 0;
}
