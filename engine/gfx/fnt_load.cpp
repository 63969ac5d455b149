// Loading a font: the description file and its glyph picture.
#include "engine/gfx/gfx_internal.h"

#include "platform/file.h"
#include "platform/process.h"
#include "platform/shown_text.h"
#include "quarn/quarn.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// At level 4, with a debug break when the box answers Retry. Returns null
// for the caller to hand on.
fntCTy* report(const char* format, const std::string& name)
{
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, format, platform::shown_text(name).c_str()));
    return nullptr;
}

// A longer file is read as far as the record goes, like one of the right
// size; a shorter one is refused by the parser. False when the file cannot
// be opened, with the error number in platform::last_error(): a FIFO or a
// folder at the name is refused at once, never waited on.
bool read_record(const std::string& path, uint8_t (&bytes)[fnt_FILE_SIZE], size_t* size)
{
    std::FILE* file = platform::file_open_stream(path.c_str(), platform::FileOpen::read_existing);
    if (!file)
        return false;
    *size = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    return true;
}

} // namespace

fntCTy* fntLoad(const char* name)
{
    if (!name)
        return nullptr;
    const std::string base = name;
    uint8_t bytes[fnt_FILE_SIZE];
    size_t size = 0;
    if (!read_record(base + ".fda", bytes, &size)) {
        // "Not found" only when it is missing: a file that is there but
        // unreadable needs another remedy, so the reason is named.
        const int error = platform::last_error();
        if (error == ENOENT)
            return report("Font's file not found : %s", base + ".fda");
        return report("Font's file can't be opened : %s",
                      base + ".fda (" + platform::system_error_text(error) + ")");
    }
    auto font = std::make_unique<fntCTy>();
    if (fntParse(bytes, size, &font->rec) != 0) {
        if (size >= 4 && (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24) != fnt_MAGIC)
            return report("Wrong font's version : %s", base);
        return report("Font's file is damaged : %s", base + ".fda");
    }

    // The picture first: BMP under either name, then TGA, whose atlas keeps
    // the picture's alpha.
    imgRowCTy picture;
    std::string path;
    int rc = 0;
    if (quarn::file_exists((path = base + ".fnt").c_str()) || quarn::file_exists((path = base + ".bmp").c_str())) {
        rc = picture.Load(path.c_str());
        font->atlas = std::make_unique<imgRowCTy>();
    } else if (quarn::file_exists((path = base + ".tga").c_str())) {
        rc = picture.LoadTga(path.c_str());
        auto atlas = std::make_unique<imgAlpha>();
        const uint32_t shared = rwGetShared()->word;
        if (shared && imgAlphaColorFmtValid(shared)) {
            const pelFmtCTy format(shared);
            atlas->SetColorFmt(&format);
        }
        font->atlas = std::move(atlas);
    } else {
        // Without its picture a font has nothing to draw with.
        return report("Font's glyph picture not found : %s", base);
    }
    if (rc < 0)
        return nullptr; // reported by the loader
    if (fntPack(&font->rec, &picture, font->atlas.get()) != 0)
        return report("Font's glyph boxes do not fit its picture : %s", path);
    return font.release();
}
