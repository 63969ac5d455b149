#include "sound_fixture.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace soundtest {

namespace {

// The bytes of a made-up logical stream's three pages: its beginning, one
// data page and its end.
std::vector<std::vector<uint8_t>> other_stream_pages(int serial)
{
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    std::vector<std::vector<uint8_t>> pages;
    unsigned char body[8] = {'o', 't', 'h', 'e', 'r'};
    for (int i = 0; i < 3; ++i) {
        ogg_packet op{body, sizeof body, i == 0, i == 2, i, i};
        ogg_stream_packetin(&os, &op);
        for (ogg_page og; ogg_stream_flush(&os, &og);) {
            pages.emplace_back(og.header, og.header + og.header_len);
            pages.back().insert(pages.back().end(), og.body, og.body + og.body_len);
        }
    }
    ogg_stream_clear(&os);
    return pages;
}

} // namespace

std::vector<uint8_t> vorbis_encode(const mpegtest::Signal& s, int other_serial)
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
    // The other stream begins first; its other two pages follow the first
    // two audio pages.
    const auto others = other_serial != 0 ? other_stream_pages(other_serial) : std::vector<std::vector<uint8_t>>{};
    size_t other_at = 0;
    auto put_other = [&] {
        if (other_at < others.size())
            out.insert(out.end(), others[other_at].begin(), others[other_at].end()), ++other_at;
    };
    auto put_page = [&] { out.insert(out.end(), og.header, og.header + og.header_len), out.insert(out.end(), og.body, og.body + og.body_len); };
    auto put_audio_page = [&] { put_page(), put_other(); };
    put_other();
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
                    put_audio_page();
            }
        }
        if (n == 0)
            break;
    }
    while (ogg_stream_flush(&os, &og))
        put_audio_page();
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

} // namespace soundtest
