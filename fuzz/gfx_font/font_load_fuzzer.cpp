// A font from its files: the input's first 4128 bytes are the ".fda"
// record, the rest up to the last byte the glyph picture. The last byte
// picks the picture's name (bits 0-1: ".fnt", ".bmp", ".tga" or none) and
// whether the load runs inside a TRY frame (bit 2, reports then unwind out
// of it). A font that loads draws every character through a text sprite.
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace {

// Named apart from other fuzzing processes.
const std::string& base_path()
{
    static const std::string path = (std::filesystem::temp_directory_path()
                                     / ("gfx_font_load_" + std::to_string(std::random_device {}())))
                                        .string();
    return path;
}

void write_file(const std::string& path, const uint8_t* data, size_t size)
{
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

void use(fntCTy* font)
{
    static imgRowCTy* const target = [] {
        auto* img = new imgRowCTy;
        const pelFmtCTy fmt(pel_FMT_R5G6B5);
        img->SetSize(64, 24, &fmt);
        return img;
    }();
    char text[256];
    for (int i = 0; i < 255; ++i)
        text[i] = char(i + 1);
    text[255] = 0;
    const rectTy clip { 0, 0, 64, 24 };
    fntDrawText(font, text, 0, 0, &clip, target);
    const rectTy inside { 7, 3, 20, 9 };
    fntDrawText(font, text + 40, -5, 2, &inside, target);
    (void)fntTextWidth(font, text);

    // The text sprite lays the text out in each alignment (its width, anchor
    // and rectangle come from the font's measures) and the list draws it.
    sprsCTy list;
    list.SetScrSize(64, 24);
    sprDfStrCTy sprite;
    sprite.fonts.push_back(font);
    sprsCTy::Add(&list, &sprite);
    sprite.SetPos(20, 10);
    sprite.Show();
    for (uint32_t align : { spr_ALIGN_LEFT, spr_ALIGN_CENTER, spr_ALIGN_RIGHT }) {
        sprite.SetAlign(align);
        sprite.Printf("%s", text + 60 * align);
        (void)sprite.GetRect();
        list.DrawRect(target, 0, 0, nullptr);
    }
    sprite.Remove();
}

// The font's files, removed when the input is done with: also when a report
// inside the TRY frame unwinds out of the load.
struct FontFiles {
    const std::string& base;
    ~FontFiles()
    {
        for (const char* ext : { ".fda", ".fnt", ".bmp", ".tga" })
            std::remove((base + ext).c_str());
    }
};

void run(const uint8_t* data, size_t size, unsigned picture)
{
    static const char* const names[] = { ".fnt", ".bmp", ".tga" };
    const std::string& base = base_path();
    const size_t record = size < fnt_FILE_SIZE ? size : fnt_FILE_SIZE;
    std::unique_ptr<fntCTy, void (*)(fntCTy*)> font(nullptr, fntFree);
    {
        const FontFiles files { base };
        write_file(base + ".fda", data, record);
        if (picture < 3)
            write_file(base + names[picture], data + record, size - record);
        font.reset(fntLoad(base.c_str()));
    }
    if (font)
        use(font.get());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const bool installed = (gfxInit(), true);
    (void)installed;
    const unsigned control = data[size - 1];
    if (control & 4)
        (void)errTry([&] { run(data, size - 1, control & 3); });
    else
        run(data, size - 1, control & 3);
    return 0;
}
