// Ogg Vorbis files, decoded by libvorbisfile as the channel layer asks.
#include "engine/sound/snd_sources.h"

#include "platform/file.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

struct oggSource {
    OggVorbis_File decoder{};
    bool decoderOpen = false;
    dsFormat format;
    int section = 0;
    uint32_t position = 0;   // PCM bytes delivered so far
    // vorbisfile hands out whole sample frames only; the bytes of a frame
    // that a read did not take wait here for the next one.
    uint8_t carry[4] = {};
    uint32_t carryLength = 0;
    // Image sources: the bytes and the read position of the callbacks.
    const uint8_t* image = nullptr;
    size_t imageLength = 0;
    size_t imagePosition = 0;

    ~oggSource()
    {
        // ov_clear closes the file the decoder was opened on.
        if (decoderOpen)
            ov_clear(&decoder);
    }
};

namespace {

// Negative results of ov_read in a row (holes, damaged pages) after which a
// read gives up and ends the stream.
constexpr int max_read_errors = 32;

size_t image_read(void* ptr, size_t size, size_t n, void* source)
{
    auto* s = static_cast<oggSource*>(source);
    if (size == 0)
        return 0;
    const size_t items = std::min(n, (s->imageLength - s->imagePosition) / size);
    std::memcpy(ptr, s->image + s->imagePosition, items * size);
    s->imagePosition += items * size;
    return items;
}

int image_seek(void* source, ogg_int64_t offset, int whence)
{
    auto* s = static_cast<oggSource*>(source);
    const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(s->imagePosition) : int64_t(s->imageLength);
    const int64_t to = base + offset;
    if (to < 0 || to > int64_t(s->imageLength))
        return -1;
    s->imagePosition = size_t(to);
    return 0;
}

long image_tell(void* source) { return long(static_cast<oggSource*>(source)->imagePosition); }

size_t file_read(void* ptr, size_t size, size_t n, void* f) { return std::fread(ptr, size, n, static_cast<std::FILE*>(f)); }
int file_seek(void* f, ogg_int64_t offset, int whence) { return std::fseek(static_cast<std::FILE*>(f), long(offset), whence); }
int file_close(void* f) { return std::fclose(static_cast<std::FILE*>(f)); }
long file_tell(void* f) { return std::ftell(static_cast<std::FILE*>(f)); }

// Walks the stream's pages with libogg and checks them per logical stream
// as Ogg's framing orders them: the beginning pages of all streams first,
// then only pages of streams that began and have not ended, each stream's
// page numbers rising and its granule positions never going back. So a
// Vorbis stream multiplexed with others passes. vorbisfile's seek misreads
// a link with repeated pages or another stream's pages spliced in (it hands
// a negative size to memmove), and a source seeks at every loop and
// restart; so such a stream is refused when it opens. Beginning pages
// after the data, which a chained file has, are refused too: the source
// plays one link only. `read` fills a buffer and returns the bytes it gave,
// 0 at the end.
bool pages_keep_the_framing(const std::function<size_t(char*, size_t)>& read)
{
    struct Stream {
        long page_number;
        ogg_int64_t granule = 0;
        bool ended = false;
    };
    std::map<int, Stream> streams;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    bool in_beginnings = true, ok = true;
    for (;;) {
        ogg_page page;
        const int r = ogg_sync_pageout(&sync, &page);
        if (r > 0) {
            const int serial = ogg_page_serialno(&page);
            const long number = ogg_page_pageno(&page);
            const ogg_int64_t g = ogg_page_granulepos(&page);
            Stream* s = nullptr;
            if (ogg_page_bos(&page)) {
                const auto [at, added] = streams.emplace(serial, Stream{number});
                if (in_beginnings && added)
                    s = &at->second;
            } else {
                in_beginnings = false;
                const auto at = streams.find(serial);
                if (at != streams.end() && !at->second.ended && number > at->second.page_number &&
                    (g < 0 || g >= at->second.granule))
                    s = &at->second;
            }
            if (!s) {
                ok = false;
                break;
            }
            s->page_number = number;
            if (g >= 0) // -1: no packet ends on this page
                s->granule = g;
            s->ended = ogg_page_eos(&page) != 0;
            continue;
        }
        if (r < 0)
            continue; // bytes skipped to the next page: a hole, which vorbisfile reports
        char* buffer = ogg_sync_buffer(&sync, 4096);
        const size_t got = buffer ? read(buffer, 4096) : 0;
        if (got == 0)
            break;
        ogg_sync_wrote(&sync, long(got));
    }
    ogg_sync_clear(&sync);
    return ok && !streams.empty();
}

// After a successful open: one link (vorbisfile plays the Vorbis stream of
// a link and passes over other logical streams multiplexed into it), a
// format the mixer plays and a known length.
oggSource* finish_open(std::unique_ptr<oggSource> s)
{
    s->decoderOpen = true;
    if (ov_streams(&s->decoder) != 1)
        return nullptr;
    const vorbis_info* info = ov_info(&s->decoder, -1);
    if (!info || info->channels < 1 || info->channels > 2 || info->rate <= 0 || info->rate > 200000)
        return nullptr;
    const ogg_int64_t total = ov_pcm_total(&s->decoder, -1);
    if (total < 0)
        return nullptr;
    s->format.channels = uint16_t(info->channels);
    s->format.samplesPerSec = uint32_t(info->rate);
    s->format.bitsPerSample = 16;
    // A byte count that fits the layer's 32-bit positions; longer streams
    // play their first 2 GB.
    const uint64_t bytes = uint64_t(total) * 2 * uint64_t(info->channels);
    s->format.dataLength = uint32_t(std::min<uint64_t>(bytes, DS_OPEN_LENGTH - 1));
    s->format.bufferLength = 32768;
    s->position = 0;
    return s.release();
}

} // namespace

oggSource* oggOpen(const char* path)
{
    // Only a regular file, and without waiting: a FIFO at the name is a
    // sound that cannot be opened.
    std::FILE* f = platform::file_open_stream(path, platform::FileOpen::read_existing);
    if (!f)
        return nullptr;
    if (!pages_keep_the_framing([f](char* to, size_t n) { return std::fread(to, 1, n, f); }) ||
        std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    auto s = std::make_unique<oggSource>();
    const ov_callbacks callbacks{file_read, file_seek, file_close, file_tell};
    if (ov_open_callbacks(f, &s->decoder, nullptr, 0, callbacks) != 0) {
        std::fclose(f);
        return nullptr;
    }
    return finish_open(std::move(s));
}

oggSource* oggOpenImage(const uint8_t* data, size_t length)
{
    if (!data)
        return nullptr;
    size_t scanned = 0;
    if (!pages_keep_the_framing([&](char* to, size_t n) {
            n = std::min(n, length - scanned);
            std::memcpy(to, data + scanned, n);
            scanned += n;
            return n;
        }))
        return nullptr;
    auto s = std::make_unique<oggSource>();
    s->image = data;
    s->imageLength = length;
    const ov_callbacks callbacks{image_read, image_seek, nullptr, image_tell};
    if (ov_open_callbacks(s.get(), &s->decoder, nullptr, 0, callbacks) != 0)
        return nullptr;
    return finish_open(std::move(s));
}

int32_t oggStart(oggSource* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last)
{
    // A new start plays from the beginning: the first read is at position 0,
    // and a source left elsewhere seeks back there.
    return dsChanStart(&source->format, priority, flags, volume, pan, first, last, oggRead, source);
}

uint32_t oggRead(void* context, uint8_t* dst, uint32_t position, uint32_t count, int32_t /*channel*/)
{
    auto* s = static_cast<oggSource*>(context);
    const uint32_t frame = 2u * s->format.channels;
    if (position != s->position) {
        s->carryLength = 0;
        if (ov_pcm_seek(&s->decoder, ogg_int64_t(position / frame)) != 0) {
            std::memset(dst, 0, count);
            s->position = s->format.dataLength;
            return s->position;
        }
        s->position = position - position % frame;
        // A position inside a frame: decode that frame and drop its head.
        if (position != s->position) {
            uint8_t whole[4];
            if (ov_read(&s->decoder, reinterpret_cast<char*>(whole), int(frame), 0, 2, 1, &s->section) == long(frame)) {
                s->carryLength = frame - position % frame;
                std::memcpy(s->carry, whole + position % frame, s->carryLength);
            }
            s->position = position;
        }
    }
    uint32_t got = std::min(count, s->carryLength);
    std::memcpy(dst, s->carry, got);
    std::memmove(s->carry, s->carry + got, s->carryLength - got);
    s->carryLength -= got;
    int errors = 0;
    while (got < count) {
        long r;
        if (count - got < frame) {
            uint8_t whole[4];
            r = ov_read(&s->decoder, reinterpret_cast<char*>(whole), int(frame), 0, 2, 1, &s->section);
            if (r > 0) {
                const uint32_t take = std::min<uint32_t>(uint32_t(r), count - got);
                std::memcpy(dst + got, whole, take);
                s->carryLength = uint32_t(r) - take;
                std::memcpy(s->carry, whole + take, s->carryLength);
                r = long(take);
            }
        } else {
            r = ov_read(&s->decoder, reinterpret_cast<char*>(dst + got), int(std::min<uint32_t>(count - got, 1 << 20)), 0,
                        2, 1, &s->section);
        }
        if (r > 0) {
            got += uint32_t(r);
            errors = 0;
            continue;
        }
        if (r < 0 && ++errors < max_read_errors)
            continue;
        // The end of the stream (or one that keeps failing): the rest is
        // silence and the data have ended.
        std::memset(dst + got, 0, count - got);
        s->position = s->format.dataLength;
        return s->position;
    }
    s->position += count;
    return s->position;
}

void oggClose(oggSource* source) { delete source; }

const dsFormat& oggFormat(const oggSource* source) { return source->format; }
