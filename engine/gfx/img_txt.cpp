// The text picture (LoadTxt): width, height, then one number per pel, each
// stored as a pel_FMT_Z32 value of 16.16 fixed point.
#include "engine/gfx/gfx_internal.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// A stored 0 stands for "nothing here": -30000.0 in 16.16.
constexpr uint32_t z32_empty = 0x8AD00000;

const char* skip_space(const char* p)
{
    while (*p && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

bool read_int(const char*& p, int64_t& out)
{
    p = skip_space(p);
    char* end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = v;
    p = end;
    return true;
}

bool read_value(const char*& p, uint32_t& out)
{
    p = skip_space(p);
    char* end = nullptr;
    const float v = std::strtof(p, &end);
    if (end == p || std::isnan(v))
        return false;
    p = end;
    // v x 65536 in single precision, truncated toward zero and held inside
    // the i32 range (a cast of a float beyond it is undefined).
    const float scaled = v * 65536.0f;
    int32_t fixed = 0;
    if (scaled >= 2147483520.0f)
        fixed = INT32_MAX;
    else if (scaled <= -2147483648.0f)
        fixed = INT32_MIN;
    else
        fixed = static_cast<int32_t>(scaled);
    out = fixed == 0 ? z32_empty : static_cast<uint32_t>(fixed);
    return true;
}

} // namespace

int imgCTy::LoadTxt(const char* name)
{
    fileTy* file = fileLoad(nullptr, name); // reports a missing file with its name
    if (!file)
        return ERR_OPEN;
    const std::string text(reinterpret_cast<const char*>(file->view), file->view ? file->length : 0);
    fileClose(file, 0);

    const char* p = text.c_str();
    int64_t w = 0, h = 0;
    size_t bytes = 0;
    // Each value takes at least one character and one separator, so the
    // file's length bounds the picture before anything is allocated for it.
    if (!read_int(p, w) || !read_int(p, h) || w <= 0 || h <= 0 || !imgBlockSize(w, h, 4, &bytes)
        || uint64_t(w) * uint64_t(h) > text.size() / 2 + 1)
        return gfxReportDataError();

    const pelFmtCTy format(pel_FMT_Z32);
    SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h), &format);
    Lock(nullptr, img_LOCK_WRITE);
    auto* pels = static_cast<uint32_t*>(lockPtr);
    if (!pels || width != w || height != h) {
        Unlock();
        return ERR_NO_MEMORY; // reported by SetSize
    }
    bool ok = true;
    for (int32_t y = 0; y < height && ok; ++y)
        for (int32_t x = 0; x < width && ok; ++x)
            ok = read_value(p, pels[size_t(y) * size_t(pitch) + size_t(x)]);
    Unlock();
    if (!ok) {
        Free();
        width = 0;
        height = 0;
        return gfxReportDataError();
    }
    return 0;
}
