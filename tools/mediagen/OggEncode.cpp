#include "tools/mediagen/OggEncode.h"

#include <algorithm>

#include <vorbis/vorbisenc.h>

namespace {
void Append(std::vector<uint8_t>& out, const ogg_page& page)
{
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}
} // namespace

std::vector<uint8_t> EncodeOggVorbis(const synth::SStereo& track, float quality, int serial, const char* title)
{
    std::vector<uint8_t> out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 2, synth::kRate, quality) != 0) {
        vorbis_info_clear(&vi);
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", title);
    vorbis_comment_add_tag(&vc, "ARTIST", "Veltrix");

    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_init(&os, serial);

    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) // the first audio data starts on a fresh page
        Append(out, page);

    const int chunk = 4096;
    for (int done = 0;;) {
        const int n = std::min(chunk, synth::kLength - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, n);
            std::copy(track.m_L.begin() + done, track.m_L.begin() + done + n, buffer[0]);
            std::copy(track.m_R.begin() + done, track.m_R.begin() + done + n, buffer[1]);
            done += n;
        }
        vorbis_analysis_wrote(&vd, n); // 0 marks the end of the stream
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet) != 0) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0)
                    Append(out, page);
            }
        }
        if (n == 0)
            break;
    }
    while (ogg_stream_flush(&os, &page) != 0)
        Append(out, page);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}
