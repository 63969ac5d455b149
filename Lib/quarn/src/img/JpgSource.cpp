// The source manager that feeds libjpeg from a quarn::io input stream.
#include "img/JpgState.h"

#include "quarn/IStream.h"

#include <jerror.h>

namespace quarn::g {

namespace {

struct JpgStreamSource {
    jpeg_source_mgr pub;
    io::IStream* stream;
    JOCTET* buffer;
    boolean start_of_file;
};

JpgStreamSource& source_of(j_decompress_ptr cinfo) { return *reinterpret_cast<JpgStreamSource*>(cinfo->src); }

void init_source(j_decompress_ptr cinfo)
{
    source_of(cinfo).start_of_file = TRUE;
}

// The end of the stream is the end of the data, not a stream failure: the
// source then reports no bytes and libjpeg names the fault (an empty input
// at the start, a premature end later). Reading on at the end would fail
// the stream, and under the usual exception mask throw its "i/o error"
// instead of libjpeg's text. Any other stream failure is kept and thrown
// once libjpeg's frames are left.
boolean fill_input_buffer(j_decompress_ptr cinfo)
{
    JpgStreamSource& src = source_of(cinfo);
    io::IStream& stream = *src.stream;
    size_t count = 0;
    bool failed = false;
    if (!(stream.state() & io::Stream::eof)) {
        try {
            count = stream.read_some(src.buffer, jpg_source_buffer_size);
        } catch (...) {
            // Nothing was there to read: the stream met its end.
            const bool at_end = (stream.state() & (io::Stream::eof | io::Stream::bad)) == io::Stream::eof;
            if (!at_end) {
                static_cast<JpgState*>(cinfo->client_data)->pending = std::current_exception();
                failed = true;
            }
        }
    }
    // Out of the handler before leaving: a longjmp out of a catch block
    // would never end the handling of the exception.
    if (failed)
        jpg_leave(reinterpret_cast<j_common_ptr>(cinfo));
    if (count == 0) {
        if (src.start_of_file)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // The decoder's warning hook does not come back; were it to, the
        // data ends with an end-of-image marker, as libjpeg's own sources do.
        src.buffer[0] = JOCTET(0xFF);
        src.buffer[1] = JOCTET(JPEG_EOI);
        count = 2;
    }
    src.pub.next_input_byte = src.buffer;
    src.pub.bytes_in_buffer = count;
    src.start_of_file = FALSE;
    return TRUE;
}

void skip_input_data(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    JpgStreamSource& src = source_of(cinfo);
    while (size_t(count) > src.pub.bytes_in_buffer) {
        count -= long(src.pub.bytes_in_buffer);
        fill_input_buffer(cinfo);
    }
    src.pub.next_input_byte += count;
    src.pub.bytes_in_buffer -= size_t(count);
}

void term_source(j_decompress_ptr) { }

} // namespace

void jpg_stream_src(j_decompress_ptr cinfo, io::IStream* stream)
{
    if (!cinfo->src) {
        auto* src = static_cast<JpgStreamSource*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpgStreamSource)));
        src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, jpg_source_buffer_size * sizeof(JOCTET)));
        cinfo->src = &src->pub;
    }
    JpgStreamSource& src = source_of(cinfo);
    src.pub.init_source = init_source;
    src.pub.fill_input_buffer = fill_input_buffer;
    src.pub.skip_input_data = skip_input_data;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = term_source;
    src.stream = stream;
    src.pub.bytes_in_buffer = 0;
    src.pub.next_input_byte = nullptr;
}

void jpg_stream_drop(j_decompress_ptr cinfo)
{
    if (!cinfo->src)
        return;
    cinfo->src->bytes_in_buffer = 0;
    cinfo->src->next_input_byte = nullptr;
}

} // namespace quarn::g
