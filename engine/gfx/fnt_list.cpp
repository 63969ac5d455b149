// The list of loaded fonts, shared by name with reference counts.
#include "engine/gfx/gfx_internal.h"

#include <cstdarg>
#include <new>

namespace {

// A name that did not load stays listed with a null font and no count:
// every text sprite of the font asks for it, and one report of the file is
// enough, where each asking would show the same box again.
struct fntListItem {
    std::string name;
    fntCTy* font;
    uint32_t count;
};

// Made by fntListInit and deleted by fntListDone, not a static object:
// text sprites that are static objects release their fonts at exit, after
// a static list could already be gone.
std::vector<fntListItem>* g_fonts = nullptr;
// Fonts that were still referenced when the list ended: text sprites keep
// drawing with them and free them with their last release. A new list
// loads such a name afresh.
std::vector<fntListItem>* g_orphans = nullptr;

bool same_name(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (chrToLower(a[i]) != chrToLower(b[i]))
            return false;
    return i == a.size() && !b[i];
}

fntListItem* find_in(std::vector<fntListItem>* list, const fntCTy* font)
{
    if (!list || !font)
        return nullptr;
    for (fntListItem& item : *list)
        if (item.font == font)
            return &item;
    return nullptr;
}

fntListItem* find(const fntCTy* font)
{
    fntListItem* item = find_in(g_fonts, font);
    return item ? item : find_in(g_orphans, font);
}

std::vector<fntListItem>*& list_of(const fntListItem* item)
{
    const bool listed = g_fonts && item >= g_fonts->data() && item < g_fonts->data() + g_fonts->size();
    return listed ? g_fonts : g_orphans;
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
    for (fntListItem& item : *g_fonts) {
        if (item.count == 0) {
            fntFree(item.font);
            continue;
        }
        if (!g_orphans)
            g_orphans = new std::vector<fntListItem>;
        g_orphans->push_back(std::move(item));
    }
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
            if (item.font)
                ++item.count;
            return item.font;
        }
    fntCTy* font = fntLoad(name);
    g_fonts->push_back(fntListItem { name, font, font ? 1u : 0u });
    return font;
}

void fntRelease(fntCTy* font)
{
    fntListItem* item = find(font);
    if (!item || --item->count > 0)
        return;
    std::vector<fntListItem>*& list = list_of(item);
    fntFree(font);
    list->erase(list->begin() + (item - list->data()));
    if (list == g_orphans && g_orphans->empty()) {
        delete g_orphans;
        g_orphans = nullptr;
    }
}

uint32_t fntRefCount(const fntCTy* font)
{
    const fntListItem* item = find(font);
    return item ? item->count : 0;
}

void fntFree(fntCTy* font) { delete font; }
