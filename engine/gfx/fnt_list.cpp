// The list of loaded fonts, shared by name with reference counts.
#include "engine/gfx/gfx_internal.h"

#include <cstdarg>
#include <new>

namespace {

struct fntListItem {
    std::string name;
    fntCTy* font;
    uint32_t count;
};

// Made by fntListInit and deleted by fntListDone, not a static object:
// text sprites that are static objects release their fonts at exit, after
// a static list could already be gone.
std::vector<fntListItem>* g_fonts = nullptr;

bool same_name(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (chrToLower(a[i]) != chrToLower(b[i]))
            return false;
    return i == a.size() && !b[i];
}

fntListItem* find(const fntCTy* font)
{
    if (!g_fonts || !font)
        return nullptr;
    for (fntListItem& item : *g_fonts)
        if (item.font == font)
            return &item;
    return nullptr;
}

} // namespace

void fntListInit()
{
    if (!g_fonts)
        g_fonts = new std::vector<fntListItem>;
}

void fntListDone()
{
    if (!g_fonts)
        return;
    for (fntListItem& item : *g_fonts)
        fntFree(item.font);
    delete g_fonts;
    g_fonts = nullptr;
}

fntCTy* fntGet(const char* format, ...)
{
    if (!format)
        return nullptr;
    char name[fnt_TEXT_SIZE];
    va_list va;
    va_start(va, format);
    strVFormat(name, sizeof name, format, va);
    va_end(va);
    fntListInit();
    for (fntListItem& item : *g_fonts)
        if (same_name(item.name, name)) {
            ++item.count;
            return item.font;
        }
    fntCTy* font = fntLoad(name);
    if (font)
        g_fonts->push_back(fntListItem { name, font, 1 });
    return font;
}

void fntRelease(fntCTy* font)
{
    fntListItem* item = find(font);
    if (!item || --item->count > 0)
        return;
    fntFree(font);
    g_fonts->erase(g_fonts->begin() + (item - g_fonts->data()));
}

uint32_t fntRefCount(const fntCTy* font)
{
    const fntListItem* item = find(font);
    return item ? item->count : 0;
}

void fntFree(fntCTy* font) { delete font; }
