// Finding the message text of a code in the chain of message sets.
#include "engine/base/base_internal.h"

namespace {

struct Found {
    const errMsgSetTy* set = nullptr;
    const char* text = nullptr;
    const strArgListTy* args = nullptr;
    uint8_t level = 0;
    bool any = false;
};

struct Record {
    int32_t code;
    uint32_t flags;
    const char* text;
    const strArgListTy* args;
};

Record record_at(const errMsgSetTy& set, size_t i)
{
    if (set.flags2 & ERR_SET2_SHORT) {
        const auto& r = static_cast<const errMsgShortTy*>(set.records)[i];
        return {r.code, 0, r.text, nullptr};
    }
    const auto& r = static_cast<const errMsgTy*>(set.records)[i];
    return {r.code, r.flags, r.text, r.args};
}

class Search {
public:
    Search(int code, unsigned kinds) : code_(code), kinds_(kinds & (ERR_MSG_FILE_ARG | ERR_MSG_DRIVE_ARG)) {}

    // Pass 0 takes the sets of the state's language, pass 1 those that
    // offer themselves for the second pass.
    void visit(const errMsgSetTy& set, int pass)
    {
        if (!taken(set, pass) || !set.records)
            return;
        for (size_t i = 0;; ++i) {
            const Record r = record_at(set, i);
            const uint8_t level = level_of(set, r);
            const strArgListTy* args = errState.argList ? errState.argList : r.args;
            if (r.code == 0) {
                if (r.text && !catch_all.any)
                    catch_all = {&set, r.text, args, level, true};
                break;
            }
            if (r.code == ERR_STOP_RECORD)
                stopped = true;
            if (r.code == code_ && matches(set, r)) {
                match = {&set, r.text, args, level, true};
                return;
            }
        }
    }

    Found match;
    Found catch_all;
    bool stopped = false;

private:
    bool taken(const errMsgSetTy& set, int pass) const
    {
        const uint32_t variants = set.flags & ERR_SET_VARIANTS;
        const bool variant_ok = variants == ERR_SET_VARIANTS || variants == (errState.language & ERR_SET_VARIANTS);
        if (!variant_ok)
            return false;
        if (pass == 0)
            return (set.flags & ERR_SET_LANGUAGE_MASK) == (errState.language & ERR_SET_LANGUAGE_MASK);
        return (set.flags & ERR_SET_SECOND_PASS) != 0;
    }

    static uint8_t level_of(const errMsgSetTy& set, const Record& r)
    {
        if (errState.level & ERR_MSG_LEVEL_MASK)
            return errState.level & ERR_MSG_LEVEL_MASK;
        if (r.flags & 0xFF)
            return static_cast<uint8_t>(r.flags & 0xFF);
        return static_cast<uint8_t>(set.flags2 & ERR_SET2_LEVEL_MASK);
    }

    bool matches(const errMsgSetTy& set, const Record& r) const
    {
        const unsigned needs = r.flags & (ERR_MSG_FILE_ARG | ERR_MSG_DRIVE_ARG);
        if ((set.flags2 & ERR_SET2_SHORT) || needs == 0 || needs == kinds_)
            return true;
        return ((needs & ERR_MSG_FILE_ARG) && (kinds_ & ERR_MSG_FILE_ARG)) ||
               ((needs & ERR_MSG_DRIVE_ARG) && (kinds_ & ERR_MSG_DRIVE_ARG));
    }

    int code_;
    unsigned kinds_;
};

} // namespace

const char* errLookupMessage(char* buffer, size_t size, errMsgSetTy* chain, int code, unsigned argKinds,
                             uint8_t* levelOut, errLookupStatus* status)
{
    errLookupStatus ignored;
    errLookupStatus& result = status ? *status : ignored;
    result = errLookupStatus::found;
    if (!chain)
        chain = errState.chain;
    const errMsgSetTy* extra = errState.extraSet;

    Search search(code, argKinds);
    for (int pass = 0; pass < 2 && !search.match.any && !search.stopped; ++pass) {
        for (const errMsgSetTy* s = extra; s && !search.match.any && !search.stopped; s = s->next)
            search.visit(*s, pass);
        for (const errMsgSetTy* s = chain; s && s != extra && !search.match.any && !search.stopped; s = s->next)
            search.visit(*s, pass);
    }

    const Found& found = search.match.any ? search.match : search.catch_all;
    if (!found.any) {
        if (buffer && size)
            buffer[0] = '\0';
        result = errLookupStatus::none;
        return "";
    }

    const char* text = found.text;
    if (text && (found.args || buffer)) {
        char* out = buffer ? buffer : strMessageBuffer();
        const size_t out_size = buffer ? size : STR_MESSAGE_BUFFER_SIZE;
        // The text's placeholders are values, not formats: a '%' in a file
        // name prints as itself.
        const int32_t saved = errState.code;
        errState.code = 0;
        strFormatArgs(out, out_size, text, found.args);
        errState.code = saved;
        text = out;
    } else if (!text && buffer && size) {
        buffer[0] = '\0';
    }

    errState.level = found.level;
    if (levelOut)
        *levelOut = found.level;
    if (found.set->callback) {
        const int r = found.set->callback(found.level, code, text);
        if (r == 0) {
            result = errLookupStatus::dropped;
            return nullptr;
        }
        if (r == ERR_NO_MEMORY) {
            result = errLookupStatus::skip;
            return "";
        }
    }
    return text ? text : "";
}

void errAddMessages(errMsgSetTy* set)
{
    if (!set)
        return;
    // A set that is already in the chain stays where it is: linking it again
    // would close the chain into a loop and hang every later lookup.
    for (const errMsgSetTy* s = errState.chain; s; s = s->next) {
        if (s == set)
            return;
    }
    set->next = errState.chain;
    set->flags2 |= ERR_SET2_LINKED;
    errState.chain = set;
}
