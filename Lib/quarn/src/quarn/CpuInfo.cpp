#include "quarn/CpuInfo.h"

#include "quarn/CpuInstructions.h"
#include "quarn/TscCalibration.h"

#include "platform/clock.h"
#include "platform/thread.h"

#include <cstring>
#include <new>

namespace quarn {

namespace {

// Leaf 1, edx.
constexpr uint32_t edx_fpu = 1u << 0;
constexpr uint32_t edx_tsc = 1u << 4;
constexpr uint32_t edx_sep = 1u << 11;
constexpr uint32_t edx_fxsr = 1u << 24;
constexpr uint32_t edx_sse = 1u << 25;
// Leaf 0x80000007, edx: the counter runs at a constant rate in every power
// state, so it can serve as a clock.
constexpr uint32_t edx_invariant_tsc = 1u << 8;

constexpr uint32_t extended_base = 0x80000000u;

// Hypervisors have been seen to report absurd highest leaves; nothing past
// this many is of any use to us.
constexpr uint32_t max_leaves = 256;

struct VendorName {
    const char* text;
    CpuVendor vendor;
};

constexpr VendorName vendor_names[] = {
    {"GenuineIntel", CpuVendor::intel},   {"AuthenticAMD", CpuVendor::amd},
    {"AMD ISBETTER", CpuVendor::amd_early}, {"CyrixInstead", CpuVendor::cyrix},
    {"CentaurHauls", CpuVendor::centaur}, {"UMC UMC UMC ", CpuVendor::umc},
    {"NexGenDriven", CpuVendor::nexgen},  {"RiseRiseRise", CpuVendor::rise},
    {"GenuineTMx86", CpuVendor::transmeta},
};

std::vector<CpuIdent::Leaf> read_leaves(uint32_t base)
{
    std::vector<CpuIdent::Leaf> leaves;
    const uint32_t highest = detail::cpuid_max_leaf(base);
    if (highest < base)
        return leaves;
    const uint32_t count = highest - base + 1 < max_leaves ? highest - base + 1 : max_leaves;
    leaves.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        leaves.push_back(detail::cpuid(base + i));
    return leaves;
}

} // namespace

CpuIdent::Leaf CpuIdent::leaf(uint32_t index) const
{
    const auto& leaves = index >= extended_base ? extended : standard;
    const uint32_t i = index >= extended_base ? index - extended_base : index;
    return i < leaves.size() ? leaves[i] : Leaf{};
}

std::string CpuIdent::vendor() const
{
    // The vendor string is ebx, edx, ecx, in that order.
    const Leaf words = leaf(0);
    char text[12];
    std::memcpy(text, &words[1], 4);
    std::memcpy(text + 4, &words[3], 4);
    std::memcpy(text + 8, &words[2], 4);
    return standard.empty() ? std::string() : std::string(text, sizeof text);
}

uint32_t CpuIdent::family() const
{
    const uint32_t eax = leaf(1)[0];
    const uint32_t base = (eax >> 8) & 0xF;
    return base == 15 ? base + ((eax >> 20) & 0xFF) : base;
}

uint32_t CpuIdent::model() const
{
    const uint32_t eax = leaf(1)[0];
    const uint32_t base_family = (eax >> 8) & 0xF;
    const uint32_t base = (eax >> 4) & 0xF;
    return base_family == 6 || base_family == 15 ? (((eax >> 16) & 0xF) << 4) | base : base;
}

uint32_t CpuIdent::stepping() const { return leaf(1)[0] & 0xF; }

CpuVendor cpu_vendor(std::string_view vendor)
{
    for (const auto& name : vendor_names) {
        if (vendor == name.text)
            return name.vendor;
    }
    return CpuVendor::unknown;
}

uint8_t CpuInfo::flags_from(const CpuIdent& ident)
{
    const uint32_t edx = ident.leaf(1)[3];
    uint8_t flags = 0;
    if (edx & edx_fpu)
        flags |= fpu;
    // A counter that changes rate with the power state is no clock; without
    // the invariance bit the operating system's monotonic clock serves.
    if ((edx & edx_tsc) && (ident.leaf(0x80000007)[3] & edx_invariant_tsc))
        flags |= tsc;
    // Early Pentium Pro processors report the fast system calls but cannot
    // execute them. The model is the displayed one (with its extended part),
    // so that no later processor of family 6 is mistaken for them.
    if (edx & edx_sep) {
        const bool broken = cpu_vendor(ident.vendor()) == CpuVendor::intel && ident.family() == 6 &&
                            ident.model() < 3 && ident.stepping() < 3;
        if (!broken)
            flags |= sep;
    }
    // Every 64-bit processor executes vector-extension code, so the feature
    // bit alone decides; there is no trial instruction to fault.
    if (edx & edx_sse) {
        flags |= sse;
        if (edx & edx_fxsr)
            flags |= fxsr;
    }
    return flags;
}

CpuInfo::CpuInfo(int cpu_index, unsigned probe_flags)
{
    // The process-wide instance is made while static objects are built,
    // before `main` could catch anything; so memory that runs out while the
    // leaves are kept leaves nothing probed, as an unpinned thread does,
    // and the operating system's clock serves.
    try {
        if (cpu_index < 0) {
            probe(probe_flags);
            return;
        }
        platform::Thread thread([this, probe_flags] { probe(probe_flags); });
        if (!thread.created() || !thread.pin_to_processor(cpu_index))
            return; // the held thread ends without probing
        // Linux has no process-wide priority class: scheduling priority
        // belongs to each thread, so raising the probing thread is all there
        // is to do.
        thread.raise_priority();
        thread.start();
        thread.wait();
    } catch (const std::bad_alloc&) {
        flags_ = 0;
        tsc_rate_ = 0;
        ident_.reset();
    }
}

CpuInfo::~CpuInfo() = default;

const CpuInfo& CpuInfo::instance()
{
    static const CpuInfo info(0, probe_ident | probe_tsc_rate);
    return info;
}

void CpuInfo::probe(unsigned probe_flags)
{
    // The identification instruction exists on every 64-bit processor, so
    // the flag-register test for it is not needed.
    if ((probe_flags & (probe_ident | probe_tsc_rate)) == 0)
        return;
    auto ident = std::make_unique<CpuIdent>();
    ident->standard = read_leaves(0);
    ident->extended = read_leaves(extended_base);
    flags_ = flags_from(*ident);
    ident_ = std::move(ident);
    if (probe_flags & probe_tsc_rate) {
        // Always against the real clock: a test clock installed at this
        // moment would leave a nonsense rate behind for the whole run.
        tsc_rate_ = (flags_ & tsc) ? detail::measure_tsc_rate(platform::system_clock(), detail::read_tsc)
                                   : detail::fallback_tsc_rate;
    }
}

} // namespace quarn
