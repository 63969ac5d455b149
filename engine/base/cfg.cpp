// The configuration's variable list.
//
// A report inside the framework's TRY frame unwinds out of these functions,
// so every allocation is made quietly first and reported only once nothing
// is left half done.
#include "engine/base/cfg_internal.h"

#include "platform/shown_text.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void report_no_memory() { dbgBreakOnRetry(errReport(ERR_NO_MEMORY)); }

// Replaces the value by a copy of `text` (null clears it). False when the
// copy could not be made; the old value then stays.
bool store_value(cfgVarCTy* var, const char* text)
{
    char* copy = nullptr;
    if (text && !(copy = strDupQuiet(text)))
        return false;
    memHooks.free(var->value);
    var->value = copy;
    return true;
}

} // namespace

void cfgVarCTy::SetInt(int number)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", number);
    if (!store_value(this, text))
        report_no_memory();
}

cfgCTy::~cfgCTy()
{
    for (uint32_t i = 0; i < count_; ++i) {
        memHooks.free(vars_[i]->value);
        memHooks.free(vars_[i]); // its name too (FindOrAdd)
    }
    memHooks.free(vars_);
    memHooks.free(index_);
}

cfgVarCTy* cfgCTy::Find(const char* name) const
{
    if (!name || count_ == 0)
        return nullptr;
    const uint32_t place = cfgIndexSlot(index_, slots_, vars_, name, cfgNameHash(name))->place;
    return place ? vars_[place - 1] : nullptr;
}

bool cfgCTy::MakeRoom()
{
    // Doubling keeps a load of n keys at about 2n copied places in all;
    // growing the list by one for each key would copy it n times over.
    if (count_ == capacity_) {
        const uint32_t capacity = capacity_ ? capacity_ * 2 : 8;
        if (capacity <= capacity_)
            return false;
        auto** grown = static_cast<cfgVarCTy**>(memHooks.realloc(vars_, size_t {capacity} * sizeof(cfgVarCTy*)));
        if (!grown)
            return false;
        vars_ = grown;
        capacity_ = capacity;
    }
    // At most half full, a look-up ends after a slot or two.
    if (size_t {count_ + 1} * 2 > slots_) {
        const uint32_t slots = slots_ ? slots_ * 2 : 16;
        if (slots <= slots_)
            return false;
        cfgSlotTy* index = cfgIndexGrown(index_, slots_, slots);
        if (!index)
            return false;
        memHooks.free(index_);
        index_ = index;
        slots_ = slots;
    }
    return true;
}

cfgVarCTy* cfgCTy::FindOrAdd(const char* name)
{
    if (!name)
        return nullptr;
    const uint32_t hash = cfgNameHash(name);
    if (count_ > 0)
        if (const uint32_t place = cfgIndexSlot(index_, slots_, vars_, name, hash)->place)
            return vars_[place - 1];
    // The record and its name in one block: a name never changes, and a
    // load of many keys makes one allocation less for each.
    const size_t size = std::strlen(name) + 1;
    auto* var = static_cast<cfgVarCTy*>(memHooks.alloc(sizeof(cfgVarCTy) + size));
    if (!var || !MakeRoom()) {
        memHooks.free(var);
        report_no_memory();
        return nullptr;
    }
    var->name = reinterpret_cast<char*>(var + 1);
    std::memcpy(var->name, name, size);
    var->value = nullptr;
    *cfgIndexSlot(index_, slots_, vars_, var->name, hash) = {hash, count_ + 1};
    vars_[count_++] = var;
    return var;
}

cfgVarCTy* cfgCTy::SetStr(const char* name, const char* text)
{
    cfgVarCTy* var = FindOrAdd(name);
    if (var && !store_value(var, text)) {
        report_no_memory();
        return nullptr;
    }
    return var;
}

cfgVarCTy* cfgCTy::SetInt(const char* name, int number)
{
    cfgVarCTy* var = FindOrAdd(name);
    if (var)
        var->SetInt(number);
    return var;
}

void cfgCTy::UpdateInt(const char* name, int number)
{
    if (cfgVarCTy* var = Find(name))
        var->SetInt(number);
}

const char* cfgCTy::GetStr(const char* name) const
{
    const cfgVarCTy* var = Find(name);
    return var ? var->Text() : "";
}

int cfgCTy::GetInt(const char* name) const
{
    const cfgVarCTy* var = Find(name);
    if (!var)
        return 0;
    // atoi's reading, without its undefined result for numbers out of range.
    const int saved = errno;
    const long long n = std::strtoll(var->Text(), nullptr, 10);
    errno = saved;
    return n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
}

bool cfgWholeNumber(const char* text, int* number)
{
    const char* digits = text + (*text == '+' || *text == '-');
    if (*digits == '\0')
        return false;
    for (const char* c = digits; *c != '\0'; ++c)
        if (*c < '0' || *c > '9')
            return false;
    const int saved = errno;
    const long long n = std::strtoll(text, nullptr, 10);
    errno = saved;
    *number = n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
    return true;
}

int cfgCTy::CheckInt(const char* name, const cfgIntRangeTy& range)
{
    const cfgVarCTy* var = Find(name);
    if (!var)
        return 0;
    int number = 0;
    const bool whole = cfgWholeNumber(var->Text(), &number);
    if (whole && number >= range.lo && number <= range.hi)
        return number;
    // What is not a number at all has no nearer end: the fallback.
    const int used = !whole || !range.clamp ? range.fallback : number < range.lo ? range.lo : range.hi;
    // The text as written: "99999999999" reads as INT_MAX.
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Bad value of %s: %s (allowed %d to %d); %d is used", var->name,
                               platform::shown_text(var->Text(), cfgShownValueMost).c_str(), range.lo, range.hi,
                               used));
    SetInt(name, used);
    return used;
}
