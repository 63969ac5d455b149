#include "sound_fixture.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace soundtest {

std::vector<uint8_t> vorbis_encode(const mpegtest::Signal& s)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, s.channels, s.rate, 0.3f) != 0)
        return {};
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);
    std::vector<uint8_t> out;
    ogg_page og;
    ogg_packet op, oc, ocode;
    auto put_page = [&] { out.insert(out.end(), og.header, og.header + og.header_len), out.insert(out.end(), og.body, og.body + og.body_len); };
    vorbis_analysis_headerout(&vd, &vc, &op, &oc, &ocode);
    ogg_stream_packetin(&os, &op);
    ogg_stream_packetin(&os, &oc);
    ogg_stream_packetin(&os, &ocode);
    while (ogg_stream_flush(&os, &og))
        put_page();
    const size_t frames = s.pcm.size() / size_t(s.channels);
    for (size_t at = 0;; at += 4096) {
        const size_t n = std::min<size_t>(4096, frames - std::min(at, frames));
        float** buf = vorbis_analysis_buffer(&vd, int(n));
        for (size_t i = 0; i < n; ++i)
            for (int c = 0; c < s.channels; ++c)
                buf[c][i] = float(s.pcm[(at + i) * size_t(s.channels) + size_t(c)]) / 32768.0f;
        vorbis_analysis_wrote(&vd, int(n));
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og))
                    put_page();
            }
        }
        if (n == 0)
            break;
    }
    while (ogg_stream_flush(&os, &og))
        put_page();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

} // namespace soundtest
