#include "img/JpgDecoder.h"

#include "img/Failures.h"
#include "img/Formats.h"
#include "img/ImageRow.h"
#include "img/JpgState.h"

#include "quarn/IStream.h"

#include <array>
#include <cstring>
#include <optional>

namespace quarn::g {

namespace {

// The add-on message range the decoder announces to libjpeg; no code of it
// is ever raised, and libjpeg shows its "bogus message" text for a null
// entry, so one empty entry is all the table holds.
constexpr int first_addon_message = 1000;
constexpr int last_addon_message = 1043;
const char* const addon_messages[last_addon_message - first_addon_message + 2] = { "" };

JpgState& state_of(j_common_ptr cinfo) { return *static_cast<JpgState*>(cinfo->client_data); }

void catch_message(j_common_ptr cinfo, const char* hook)
{
    JpgState& state = state_of(cinfo);
    (*cinfo->err->format_message)(cinfo, state.message);
    state.hook = hook;
}

// libjpeg's error exit: never returns.
void JpgErrCatch(j_common_ptr cinfo)
{
    catch_message(cinfo, "quarn::g::JpgDecoder::JpgErrCatch");
    jpg_leave(cinfo);
}

void JpgOutputMessage(j_common_ptr cinfo)
{
    catch_message(cinfo, "quarn::g::JpgDecoder::JpgOutputMessage");
    jpg_leave(cinfo);
}

// Warnings (level below 0) end the decode like errors; trace messages do
// when the trace level asks for them.
void JpgEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0 && cinfo->err->trace_level < level)
        return;
    catch_message(cinfo, "quarn::g::JpgDecoder::JpgEmitMessage");
    jpg_leave(cinfo);
}

// Runs libjpeg calls under the jump buffer: false when they left through
// jpg_leave. Between the setjmp and the jump only libjpeg's C frames and
// the body's own trivially destructible locals lie, so nothing with a
// destructor is skipped.
template<class Body>
[[nodiscard]] bool guarded(JpgState& state, const Body& body)
{
    if (setjmp(state.jump))
        return false;
    body();
    return true;
}

J_COLOR_SPACE requested_colour_space(uint32_t setting)
{
#ifdef JCS_EXTENSIONS
    // B, G, R is the Rgb888 layout: libjpeg-turbo delivers it directly.
    if (setting == JCS_RGB)
        return JCS_EXT_BGR;
#endif
    return J_COLOR_SPACE(setting);
}

} // namespace

[[noreturn]] void jpg_leave(j_common_ptr cinfo) { std::longjmp(state_of(cinfo).jump, 1); }

void JpgStateDeleter::operator()(JpgState* state) const noexcept
{
    if (state->created)
        jpeg_destroy_decompress(&state->record);
    delete state;
}

JpgDecoder::JpgDecoder() : state_(new JpgState) { }

JpgDecoder::~JpgDecoder() = default;

void JpgDecoder::do_open(io::IStream& stream)
{
    do_close();
    stream_ = &stream;
    JpgState& s = *state_;
    s.record = jpeg_decompress_struct {};
    s.pending = nullptr;
    s.record.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = JpgErrCatch;
    s.errors.emit_message = JpgEmitMessage;
    s.errors.output_message = JpgOutputMessage;
    s.record.client_data = &s;
    // A cleared record is safe to destroy, so it counts as created even if
    // creating it fails half way.
    s.created = true;
    if (!guarded(s, [&] { jpeg_create_decompress(&s.record); }))
        fail_();
    s.errors.addon_message_table = addon_messages;
    s.errors.first_addon_message = first_addon_message;
    s.errors.last_addon_message = last_addon_message;

    // libjpeg's own working memory (the coefficient arrays of a progressive
    // picture, about twice the decoded size) stays under the same cap as the
    // picture; past it libjpeg fails instead of asking for more.
    s.record.mem->max_memory_to_use = long(max_picture_bytes);

    if (!guarded(s, [&] {
            jpg_stream_src(&s.record, &stream);
            jpeg_read_header(&s.record, TRUE);
            apply_settings_();
            jpeg_calc_output_dimensions(&s.record);
        }))
        fail_();

    // The frame header alone sets the size: refuse before anything is made
    // at that size (the target image, the scanline row, libjpeg's buffers).
    const size_t picture_bytes = size_t(s.record.output_width) * s.record.output_height
        * size_t(s.record.output_components);
    if (picture_bytes > max_picture_bytes) {
        do_close();
        throw_failure(too_large_text("JPEG", s.record.output_width, s.record.output_height,
            size_t(s.record.output_components)));
    }

    if (out_color_space_ == JCS_GRAYSCALE) {
        // Only reached when the setting asks for grey output.
        std::array<uint8_t, 256 * 4> quads {};
        for (uint32_t i = 0; i < 256; ++i)
            quads[i * 4] = quads[i * 4 + 1] = quads[i * 4 + 2] = uint8_t(i);
        Palette palette;
        palette.set_rgba(quads.data(), 256);
        format_ = PelFmt(format_id::pal8, &palette);
    } else {
        format_ = PelFmt(format_id::rgb888);
    }
    width_ = int32_t(s.record.output_width);
    height_ = int32_t(s.record.output_height);
    components_ = s.record.output_components;
    row_bytes_ = width_ * components_;
    header_ready_ = true;
}

void JpgDecoder::do_close()
{
    JpgState& s = *state_;
    if (s.created)
        jpeg_destroy_decompress(&s.record);
    s.created = false;
    forget_picture_();
}

void JpgDecoder::do_info(Info& out)
{
    out.width = width_;
    out.height = height_;
    out.format = format_;
}

void JpgDecoder::do_read(const Rect& source, Image& target, const Rect& target_rect, ResizeMode mode)
{
    JpgState& s = *state_;
    if (!header_ready_)
        rewind_();

    // Where the rows go: straight into the target when no conversion or
    // scaling is needed, else into a picture of the source's size.
    Rect from = source;
    Rect to = target_rect;
    std::optional<ImageRow> picture;
    std::optional<Image::Lock> lock;
    if (same_layout(source, target, target_rect, format_)) {
        if (!clip_copy(target, from, to))
            return;
        lock.emplace(target, &to, lock_mode::decoder);
    } else {
        picture.emplace();
        picture->create(source.width(), source.height(), format_);
        lock.emplace(*picture, nullptr, lock_mode::decoder);
    }
    if (!lock->pixels)
        return;

    Bytes row = allocate_bytes(size_t(row_bytes_));
    uint8_t* const out = lock->pixels;
    const ptrdiff_t out_pitch = lock->pitch;
    const uint32_t y0 = uint32_t(from.y0), y1 = uint32_t(from.y1);
    const size_t first_byte = size_t(from.x0) * size_t(components_);
    const size_t copy_bytes = size_t(from.x1 - from.x0) * size_t(components_);
    // Rows wanted whole are decoded straight into their place; the others
    // go through the scratch row.
    const bool whole_rows = first_byte == 0 && copy_bytes == size_t(row_bytes_);

    apply_settings_();
    // Every scanline is decoded, also when the source covers only part of
    // the picture.
    const bool decoded = guarded(s, [&] {
        jpeg_start_decompress(&s.record);
        uint32_t copied = 0;
        while (s.record.output_scanline < s.record.output_height) {
            const uint32_t n = s.record.output_scanline;
            const bool wanted = n >= y0 && n < y1;
            uint8_t* const place = out + ptrdiff_t(copied) * out_pitch;
            JSAMPROW scanline = wanted && whole_rows ? place : row.get();
            if (jpeg_read_scanlines(&s.record, &scanline, 1) != 1)
                break; // finishing then reports the missing rows
            if (!wanted)
                continue;
#ifndef JCS_EXTENSIONS
            // This libjpeg delivers R, G, B.
            if (components_ == 3)
                for (size_t i = 0; i + 2 < size_t(row_bytes_); i += 3)
                    std::swap(scanline[i], scanline[i + 2]);
#endif
            if (!whole_rows)
                std::memcpy(place, scanline + first_byte, copy_bytes);
            ++copied;
        }
        jpeg_finish_decompress(&s.record);
    });
    if (!decoded) {
        lock.reset();
        fail_();
    }
    header_ready_ = false;
    lock.reset();

    if (picture) {
        const int32_t width = target_rect.x1 - target_rect.x0;
        const int32_t height = target_rect.y1 - target_rect.y0;
        if (width != source.width() || height != source.height())
            picture->resize(width, height, mode);
        target.assign(target_rect.x0, target_rect.y0, *picture);
    }
}

void JpgDecoder::apply_settings_()
{
    jpeg_decompress_struct& record = state_->record;
    record.out_color_space = requested_colour_space(out_color_space_);
    record.dct_method = J_DCT_METHOD(dct_method_);
    record.dither_mode = J_DITHER_MODE(dither_mode_);
}

void JpgDecoder::rewind_()
{
    // The previous decode ended with a short read, which left `eof` (and
    // maybe `fail`) in the stream; errors are never cleared by reading, so
    // without this the first fill would fail. A `bad` stream stays bad.
    io::IStream& in = *stream_;
    const uint32_t keep = in.state() & (io::Stream::bad | io::Stream::lossy);
    in.clear();
    if (keep)
        in.setstate(keep);
    // Bytes left in the source buffer belong to the previous pass.
    jpg_stream_drop(&state_->record);
    if (in.seek(0) != std::streampos(0))
        throw_failure("JPEG stream cannot be rewound");
    JpgState& s = *state_;
    if (!guarded(s, [&] { jpeg_read_header(&s.record, TRUE); }))
        fail_();
    header_ready_ = true;
}

void JpgDecoder::fail_()
{
    JpgState& s = *state_;
    if (s.created)
        jpeg_destroy_decompress(&s.record);
    s.created = false;
    forget_picture_();
    mark_closed();
    if (s.pending) {
        const std::exception_ptr pending = s.pending;
        s.pending = nullptr;
        std::rethrow_exception(pending);
    }
    throw_failure(s.message, __FILE__, __LINE__, s.hook);
}

void JpgDecoder::forget_picture_()
{
    width_ = height_ = row_bytes_ = components_ = 0;
    format_ = PelFmt();
    header_ready_ = false;
}

} // namespace quarn::g
