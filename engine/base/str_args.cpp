#include "engine/base/err.h"
#include "engine/base/str.h"

int strVaArgsTy::Fetch(strArgKind want, strArgValueTy& out)
{
    // Each request takes the C type the caller passed for that directive, so
    // that va_arg reads exactly one argument of the right width.
    switch (want) {
    case strArgKind::int32:
        out.i = va_arg(va_, int);
        return 0;
    case strArgKind::int64:
        out.i = va_arg(va_, long long);
        return 0;
    case strArgKind::text:
        out.p = va_arg(va_, const char*);
        return 0;
    case strArgKind::wtext:
        out.p = va_arg(va_, const char16_t*);
        return 0;
    case strArgKind::count:
        out.p = va_arg(va_, int*);
        return 0;
    case strArgKind::refInt32:
        out.p = va_arg(va_, const int*);
        return 0;
    case strArgKind::refInt64:
        out.p = va_arg(va_, const long long*);
        return 0;
    case strArgKind::refText:
        out.p = va_arg(va_, const char* const*);
        return 0;
    case strArgKind::refWText:
        out.p = va_arg(va_, const char16_t* const*);
        return 0;
    case strArgKind::pointer:
    case strArgKind::refPointer:
        out.p = va_arg(va_, const void*);
        return 0;
    case strArgKind::getInt:
    case strArgKind::getText:
    case strArgKind::getWText:
        out.g = va_arg(va_, strGetterTy);
        return 0;
    case strArgKind::none:
    case strArgKind::null:
        break;
    }
    return ERR_FORMAT;
}

namespace {

bool is_pointer_kind(strArgKind k)
{
    switch (k) {
    case strArgKind::text:
    case strArgKind::wtext:
    case strArgKind::pointer:
    case strArgKind::count:
    case strArgKind::refInt32:
    case strArgKind::refInt64:
    case strArgKind::refText:
    case strArgKind::refWText:
    case strArgKind::refPointer:
        return true;
    default:
        return false;
    }
}

bool is_getter_kind(strArgKind k)
{
    return k == strArgKind::getInt || k == strArgKind::getText || k == strArgKind::getWText;
}

} // namespace

int strListArgsTy::Fetch(strArgKind want, strArgValueTy& out)
{
    if (next_ >= count_ || !items_)
        return ERR_END_OF_DATA;
    const strArgTy& item = items_[next_++];
    switch (want) {
    case strArgKind::int32:
        if (item.kind != strArgKind::int32 && item.kind != strArgKind::int64)
            return ERR_FORMAT;
        out.i = static_cast<int32_t>(item.value.i);
        return 0;
    case strArgKind::int64:
        if (item.kind != strArgKind::int32 && item.kind != strArgKind::int64)
            return ERR_FORMAT;
        out.i = item.value.i;
        return 0;
    case strArgKind::pointer:
        // Printing an address is harmless whatever it points at.
        if (item.kind != strArgKind::null && !is_pointer_kind(item.kind))
            return ERR_FORMAT;
        out.p = item.value.p;
        return 0;
    default:
        break;
    }
    if (item.kind == strArgKind::null) {
        if (is_getter_kind(want))
            out.g = nullptr;
        else
            out.p = nullptr;
        return 0;
    }
    if (item.kind != want)
        return ERR_FORMAT;
    out = item.value;
    return 0;
}
