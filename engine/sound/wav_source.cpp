// WAV files: the whole file in memory, played from it.
#include "engine/sound/snd_sources.h"

#include "engine/base/err.h"
#include "engine/base/file.h"
#include "engine/sound/snd_log.h"
#include "platform/shown_text.h"

#include <cstring>
#include <memory>

struct wavSource {
    wavInfo info;
    fileTy* image = nullptr;   // the file; null for the silent sound
};

namespace {

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

const uint8_t silent_data[4] = {0, 0, 0, 0};

} // namespace

const wavInfo& wavSilent()
{
    static const wavInfo silent{1, 1, 22050, 44100, 2, 16, 4, silent_data};
    return silent;
}

wavInfo* wavParse(wavInfo* info, const uint8_t* image, size_t length)
{
    // RIFF header: "RIFF", the form's size, "WAVE"; the chunks follow.
    if (!image || length < 12 || std::memcmp(image, "RIFF", 4) != 0 || std::memcmp(image + 8, "WAVE", 4) != 0)
        return nullptr;
    wavInfo parsed;
    // The walk is bounded by the form's size and by the image, whichever
    // ends first.
    const uint64_t form_end = std::min<uint64_t>(uint64_t(u32(image + 4)) + 8, length);
    uint64_t at = 12;
    bool have_data = false;
    while (at + 8 <= form_end) {
        const uint8_t* chunk = image + at;
        const uint32_t size = u32(chunk + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || body + 16 > length)
                return nullptr;
            const uint8_t* f = image + body;
            parsed.formatTag = u16(f);
            parsed.channels = u16(f + 2);
            parsed.samplesPerSec = u32(f + 4);
            parsed.avgBytesPerSec = u32(f + 8);
            parsed.blockAlign = u16(f + 12);
            parsed.bitsPerSample = u16(f + 14);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            // A data chunk cut short by the end of the file keeps what is there.
            parsed.dataLength = uint32_t(std::min<uint64_t>(size, length - body));
            parsed.data = image + body;
            have_data = true;
            break;
        }
        // Chunks are padded to an even size.
        at = (body + size + 1) & ~uint64_t(1);
    }
    if (!have_data)
        return nullptr;
    // Only PCM that the mixer can play: a missing, zero or compressed
    // format is a data error, so the sound plays as silence instead of
    // failing at every start.
    if (parsed.formatTag != 1 || (parsed.channels != 1 && parsed.channels != 2) ||
        (parsed.bitsPerSample != 8 && parsed.bitsPerSample != 16) || parsed.samplesPerSec == 0 ||
        parsed.samplesPerSec > 200000)
        return nullptr;
    if (!info)
        info = new wavInfo;
    *info = parsed;
    return info;
}

wavSource* wavOpen(const char* path)
{
    auto source = std::make_unique<wavSource>();
    fileTy* file = nullptr;
    const int code = errTry([&] {
        file = fileLoad(nullptr, path);
        if (!file || !wavParse(&source->info, file->view, file->length))
            (void)errReport(ERR_DATA);
    });
    if (code != 0 || !file) {
        quarn::open_entry(snd_log_warning)
            << "can't read the sound \"" << platform::shown_text(path ? path : "") << "\"; it plays as silence"
            << std::endl;
        if (file)
            fileClose(file, 0);
        source->info = wavSilent();
        source->image = nullptr;
        return source.release();
    }
    // wavParse keeps the part of a data chunk that the end of the file cut
    // short, so that it plays; the file is damaged all the same and is
    // named. The chunk's size sits in the 4 bytes before its data.
    const uint32_t declared = u32(source->info.data - 4);
    if (declared > source->info.dataLength)
        quarn::open_entry(snd_log_warning) << "the sound \"" << platform::shown_text(path)
                                           << "\" is cut short: " << source->info.dataLength << " of its "
                                           << declared << " bytes of sound are there" << std::endl;
    source->image = file;
    return source.release();
}

int32_t wavStart(wavSource* source, uint8_t priority, uint32_t flags, int32_t volume, int32_t pan, int32_t first,
                 int32_t last)
{
    return dsChanStartMem(&source->info, priority, flags, volume, pan, first, last);
}

void wavClose(wavSource* source)
{
    if (!source)
        return;
    if (source->image)
        fileClose(source->image, 0);
    delete source;
}

const wavInfo* wavSourceInfo(const wavSource* source) { return &source->info; }
