// Creating legacy objects by the class name stored in the data, and the
// unit's shared record.
#include "engine/base/mem.h"
#include "engine/base/rw.h"

#include <map>
#include <string>

namespace {

// Built on first use: registrations run during static initialisation, in
// an order between files that nothing fixes.
std::map<std::string, rwCreatorTy>& registry()
{
    static std::map<std::string, rwCreatorTy> creators;
    return creators;
}

rwObjCTy* create_base() { return new rwObjCTy; }

const bool base_registered = (rwObjRegisterClass("rwObjCTy", create_base), true);

rwSharedTy shared {};

} // namespace

void rwObjRegisterClass(const char* name, rwCreatorTy creator)
{
    if (!name)
        return;
    if (creator)
        registry()[name] = creator;
    else
        registry().erase(name);
}

rwObjCTy* rwObjCreateByClassName(const char* name)
{
    const auto& creators = registry();
    if (name) {
        const auto it = creators.find(name);
        if (it != creators.end())
            return it->second();
    }
    // The name comes from a file: it is an argument, never part of the format.
    dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "rwObjCreateByClassName: Unknown class name. %s", name ? name : ""));
    return nullptr;
}

rwSharedTy* rwGetShared() { return &shared; }

void rwFreeShared()
{
    memFree(shared.buffer);
    shared.buffer = nullptr;
}
