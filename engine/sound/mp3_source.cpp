// MP3 files: the whole file in memory, decoded frame by frame by our MPEG
// audio decoder as the channel layer asks for PCM.
#include "engine/sound/snd_sources.h"

#include "engine/base/err.h"
#include "engine/base/file.h"
#include "engine/sound/mpeg/mpeg.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// One frame's output at most: 1152 samples of two 16-bit channels.
constexpr uint32_t frame_pcm_bytes = 4608;

struct DecoderDeleter {
    void operator()(mpaDec* d) const
    {
        mpaDone(d);
        delete d;
    }
};

} // namespace

struct mp3Source {
    std::vector<uint8_t> file;
    uint32_t firstFrame = 0;        // offset of the stream's first frame
    mpaHead firstHead{};
    int32_t firstLength = 0;
    dsFormat format;
    uint32_t outputPosition = 0;    // PCM bytes produced since the start or the last rewind
    uint8_t remainder[frame_pcm_bytes];
    uint32_t remainderPosition = 0;
    uint32_t remainderLength = 0;
    uint32_t inputPosition = 0;
    uint32_t frameBytes = 0;
    std::unique_ptr<mpaDec, DecoderDeleter> decoder;
    uint8_t pcm[frame_pcm_bytes];
};

namespace {

uint32_t length_of(const mp3Source* s) { return uint32_t(s->file.size()); }

// An ID3v2 tag (ID3v2.4 section 3.1): "ID3", version, flags, and a size in
// four 7-bit bytes, plus a 10-byte footer when flag bit 4 is set.
size_t id3v2_size(const uint8_t* data, size_t length)
{
    if (length < 10 || std::memcmp(data, "ID3", 3) != 0 || data[3] == 0xFF || data[4] == 0xFF)
        return 0;
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (data[i] & 0x80)
            return 0;
        size = size << 7 | data[i];
    }
    return 10 + size_t(size) + ((data[5] & 0x10) ? 10 : 0);
}

// The frame's length in bytes, its padding slot included (four bytes in
// layer I, one otherwise).
int64_t padded_length(const mpaHead& h, int32_t length)
{
    return int64_t(length) + (h.padding ? (h.layer_code == 3 ? 4 : 1) : 0);
}

bool decoder_setup(mp3Source* s)
{
    mpaInit(s->decoder.get(), s->decoder->eq ? 0 : 1);
    return mpaDecodeInit(s->decoder.get(), &s->firstHead, s->firstLength, 0, 0, 0, 24000) != 0;
}

// Decodes the next frame into s->pcm and returns the bytes it produced. At
// the end of the stream (or a frame that cannot be decoded) the source
// rewinds; without the loop flag the read position then becomes the open
// length and nothing is produced, so the channel layer ends the sound.
uint32_t decode_frame(mp3Source* s, bool loop, uint32_t& position)
{
    const uint32_t length = length_of(s);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (s->inputPosition < length) {
            mpaHead head;
            int32_t bitrate = 0, offset = 0;
            const int32_t avail = int32_t(length - s->inputPosition);
            int32_t bytes = mpaFindHead(s->file.data() + s->inputPosition, avail, &head, &bitrate, &offset);
            // A free-format frame's length is measured against the header
            // after it, so the last one has none: it keeps the length of
            // the frames before it (the decoder uses the set-up's length).
            if (bytes == 0 && head.sync != 0 && head.bitrate_index == 0)
                bytes = int32_t(s->frameBytes);
            if (bytes != 0 && offset < avail) {
                s->inputPosition += uint32_t(offset);
                s->frameBytes = uint32_t(bytes);
                const mpaResult r = mpaDecode(s->decoder.get(), s->file.data() + s->inputPosition,
                                              int32_t(length - s->inputPosition), s->pcm);
                if (r.consumed != 0) {
                    s->inputPosition += std::min(r.consumed, length - s->inputPosition);
                    return std::min(r.written, frame_pcm_bytes);
                }
            }
        }
        s->inputPosition = s->firstFrame;
        s->outputPosition = 0;
        position = 0;
        if (!loop || attempt == 1)
            break;
    }
    position = DS_OPEN_LENGTH;
    s->remainderPosition = 0;
    return 0;
}

} // namespace

int64_t mp3FirstFrame(const uint8_t* data, size_t length)
{
    const size_t start = id3v2_size(data, length);
    if (start >= length)
        return -1;
    // The first header in 4096 bytes after the tag that another header
    // follows at its frame's length (or that ends the file exactly): a sync
    // pattern inside other data is rarely followed by a second one.
    const size_t window_end = std::min(length, start + 4096);
    for (size_t at = start; at + 4 <= window_end; ++at) {
        if (data[at] != 0xFF || (data[at + 1] & 0xE0) != 0xE0)
            continue;
        mpaHead head;
        int32_t bitrate = 0;
        const int32_t bytes = mpaParseHead(data + at, int32_t(std::min<size_t>(length - at, 1 << 30)), &head, &bitrate);
        if (bytes == 0)
            continue;
        const int64_t next = int64_t(at) + padded_length(head, bytes);
        if (size_t(next) == length)
            return int64_t(at);
        mpaHead following;
        // Four bytes are too few to measure a free-format header's length:
        // a free-format header is followed by another free-format one.
        if (size_t(next) + 4 <= length &&
            (mpaParseHeadBytes(data + next, 4, &following) != 0 ||
             (following.sync != 0 && following.bitrate_index == 0 && head.bitrate_index == 0)) &&
            following.layer_code == head.layer_code && following.id == head.id &&
            following.sampling_index == head.sampling_index)
            return int64_t(at);
    }
    return -1;
}

mp3Source* mp3OpenImage(const uint8_t* data, size_t length)
{
    // Positions are 32-bit; larger files are not sound effects.
    if (!data || length < 4 || length > 0x7fffffff)
        return nullptr;
    const int64_t first = mp3FirstFrame(data, length);
    if (first < 0)
        return nullptr;
    auto s = std::make_unique<mp3Source>();
    s->file.assign(data, data + length);
    s->firstFrame = uint32_t(first);
    int32_t bitrate = 0;
    s->firstLength = mpaParseHead(s->file.data() + first, int32_t(length - size_t(first)), &s->firstHead, &bitrate);
    s->decoder.reset(new mpaDec);
    s->decoder->eq = nullptr;
    if (s->firstLength == 0 || !decoder_setup(s.get()))
        return nullptr;
    mpaInfo info;
    mpaGetInfo(s->decoder.get(), &info);
    s->format.channels = uint16_t(info.channels);
    s->format.samplesPerSec = uint32_t(info.sample_rate);
    s->format.bitsPerSample = uint16_t(info.bits);
    s->format.dataLength = DS_OPEN_LENGTH;
    s->format.bufferLength = 32768;
    s->inputPosition = s->firstFrame;
    s->frameBytes = uint32_t(s->firstLength);
    return s.release();
}

mp3Source* mp3Open(const char* path)
{
    mp3Source* source = nullptr;
    fileTy* file = nullptr;
    const int code = errTry([&] {
        file = fileLoad(nullptr, path);
        if (!file)
            (void)errReport(ERR_OPEN);
        source = mp3OpenImage(file->view, file->length);
        if (!source)
            (void)errMessage(ERR_LEVEL_ERROR, "MPEG decoder initialization failed !");
    });
    if (file)
        fileClose(file, 0);
    return code == 0 ? source : nullptr;
}

void mp3Rewind(mp3Source* s)
{
    s->outputPosition = 0;
    s->remainderLength = 0;
    s->remainderPosition = 0;
    s->inputPosition = s->firstFrame;
    // A fresh decoder state: nothing of the previous play (bit reservoir,
    // synthesis history) leaks into the new one.
    (void)decoder_setup(s);
}

int32_t mp3Start(mp3Source* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last)
{
    mp3Rewind(source);
    return dsChanStart(&source->format, priority, flags, volume, pan, first, last, mp3Read, source);
}

uint32_t mp3Read(void* context, uint8_t* dst, uint32_t position, uint32_t count, int32_t channel)
{
    auto* s = static_cast<mp3Source*>(context);
    const bool loop = dsChannel(channel).playFlags & DS_LOOP;

    if (s->remainderLength) {
        const uint32_t rem_end = s->remainderPosition + s->remainderLength;
        if (position == s->remainderPosition) {
            if (count >= s->remainderLength) {
                std::memcpy(dst, s->remainder, s->remainderLength);
                dst += s->remainderLength;
                position += s->remainderLength;
                count -= s->remainderLength;
                s->remainderLength = 0;
            } else {
                std::memcpy(dst, s->remainder, count);
                std::memmove(s->remainder, s->remainder + count, s->remainderLength - count);
                s->remainderPosition += count;
                s->remainderLength -= count;
                return position + count;
            }
        } else if (position > s->remainderPosition && position < rem_end && count >= rem_end - position) {
            const uint32_t k = rem_end - position;
            std::memcpy(dst, s->remainder + (position - s->remainderPosition), k);
            dst += k;
            position += k;
            count -= k;
            s->remainderLength = 0;
        } else {
            s->remainderLength = 0;
        }
    }

    while (count > 0) {
        if (position < s->outputPosition)
            break;
        const uint32_t produced = decode_frame(s, loop, position);
        if (position == DS_OPEN_LENGTH) {
            // The stream has ended: what the caller asked for beyond it is
            // silence.
            std::memset(dst, 0, count);
            return position;
        }
        const uint32_t before = s->outputPosition;
        s->outputPosition += produced;
        if (position != before)
            continue;
        if (produced <= count) {
            std::memcpy(dst, s->pcm, produced);
            dst += produced;
            position += produced;
            count -= produced;
        } else {
            std::memcpy(dst, s->pcm, count);
            std::memcpy(s->remainder, s->pcm + count, produced - count);
            s->remainderPosition = before + count;
            s->remainderLength = produced - count;
            position += count;
            count = 0;
        }
    }
    return position;
}

void mp3Close(mp3Source* source) { delete source; }

const dsFormat& mp3Format(const mp3Source* source) { return source->format; }
