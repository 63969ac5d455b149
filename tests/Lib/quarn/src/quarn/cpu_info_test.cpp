#include "quarn/quarn.h"

#include "quarn/CpuInstructions.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using quarn::CpuIdent;
using quarn::CpuInfo;

constexpr uint32_t fpu_bit = 1u << 0;
constexpr uint32_t tsc_bit = 1u << 4;
constexpr uint32_t sep_bit = 1u << 11;
constexpr uint32_t fxsr_bit = 1u << 24;
constexpr uint32_t sse_bit = 1u << 25;
constexpr uint32_t invariant_tsc_bit = 1u << 8;

uint32_t leaf1_eax(uint32_t family, uint32_t model, uint32_t stepping, uint32_t ext_model = 0, uint32_t ext_family = 0)
{
    return stepping | model << 4 | family << 8 | ext_model << 16 | ext_family << 20;
}

// An identification record as a processor with these answers would give.
CpuIdent make_ident(const char* vendor, uint32_t eax1, uint32_t edx1, bool invariant_tsc)
{
    CpuIdent ident;
    CpuIdent::Leaf leaf0{1, 0, 0, 0};
    std::memcpy(&leaf0[1], vendor, 4);
    std::memcpy(&leaf0[3], vendor + 4, 4);
    std::memcpy(&leaf0[2], vendor + 8, 4);
    ident.standard = {leaf0, {eax1, 0, 0, edx1}};
    ident.extended.resize(8);
    ident.extended[0] = {0x80000007, 0, 0, 0};
    ident.extended[7] = {0, 0, 0, invariant_tsc ? invariant_tsc_bit : 0};
    return ident;
}

TEST(CpuIdent, DecodesVendorAndSignature)
{
    CpuIdent ident = make_ident("AuthenticAMD", leaf1_eax(15, 1, 2, 7, 8), 0, false);
    EXPECT_EQ(ident.vendor(), "AuthenticAMD");
    EXPECT_EQ(ident.family(), 23u);
    EXPECT_EQ(ident.model(), 0x71u);
    EXPECT_EQ(ident.stepping(), 2u);

    // The extended model belongs only to families 6 and 15.
    ident = make_ident("CyrixInstead", leaf1_eax(5, 4, 0, 3), 0, false);
    EXPECT_EQ(ident.family(), 5u);
    EXPECT_EQ(ident.model(), 4u);

    // Leaves the processor did not report read as zeros.
    EXPECT_EQ(ident.leaf(2), (CpuIdent::Leaf{}));
    EXPECT_EQ(ident.leaf(0x80000008), (CpuIdent::Leaf{}));
    EXPECT_EQ(ident.leaf(0x80000007)[3], 0u);
    EXPECT_EQ(CpuIdent{}.vendor(), "");
}

TEST(CpuInfoFlags, FollowTheFeatureBits)
{
    const uint32_t all = fpu_bit | tsc_bit | sep_bit | fxsr_bit | sse_bit;
    const uint32_t p4 = leaf1_eax(15, 2, 9);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", p4, all, true)), 1 | 2 | 4 | 8 | 16);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", p4, 0, true)), 0);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", p4, fpu_bit, false)), CpuInfo::fpu);
    EXPECT_EQ(CpuInfo::flags_from(CpuIdent{}), 0);
}

TEST(CpuInfoFlags, TimeStampCounterNeedsTheInvariantBit)
{
    const uint32_t eax = leaf1_eax(6, 0xA, 3, 9);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, tsc_bit, true)), CpuInfo::tsc);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, tsc_bit, false)), 0);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, 0, true)), 0);
    // No extended leaves at all.
    CpuIdent ident = make_ident("AuthenticAMD", eax, tsc_bit, true);
    ident.extended.clear();
    EXPECT_EQ(CpuInfo::flags_from(ident), 0);
}

TEST(CpuInfoFlags, FastSystemCallsExceptOnEarlyPentiumPro)
{
    const auto sep_of = [](const char* vendor, uint32_t eax) {
        return CpuInfo::flags_from(make_ident(vendor, eax, sep_bit, false)) & CpuInfo::sep;
    };
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(6, 1, 2)), 0);
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(6, 2, 0)), 0);
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(6, 1, 3)), CpuInfo::sep);
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(6, 3, 2)), CpuInfo::sep);
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(5, 1, 2)), CpuInfo::sep);
    // A later family-6 processor whose low model digit happens to be small.
    EXPECT_EQ(sep_of("GenuineIntel", leaf1_eax(6, 1, 2, 9)), CpuInfo::sep);
    EXPECT_EQ(sep_of("AuthenticAMD", leaf1_eax(6, 1, 2)), CpuInfo::sep);
}

TEST(CpuInfoFlags, FloatingPointSaveOnlyWithVectorExtensions)
{
    const uint32_t eax = leaf1_eax(6, 0xF, 6);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, fxsr_bit, false)), 0);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, sse_bit, false)), CpuInfo::sse);
    EXPECT_EQ(CpuInfo::flags_from(make_ident("GenuineIntel", eax, sse_bit | fxsr_bit, false)),
              CpuInfo::sse | CpuInfo::fxsr);
}

TEST(CpuInfo, ProbesThisProcessorOnTheCallingThread)
{
    CpuInfo info(-1, CpuInfo::probe_ident);
    ASSERT_NE(info.ident(), nullptr);
    EXPECT_EQ(info.ident()->vendor().size(), 12u);
    EXPECT_EQ(info.ident()->standard.size(), quarn::detail::cpuid_max_leaf(0) + 1);
    EXPECT_EQ(info.ident()->leaf(1), quarn::detail::cpuid(1));
    // Every 64-bit processor has these.
    const uint8_t always = CpuInfo::fpu | CpuInfo::sse | CpuInfo::fxsr;
    EXPECT_EQ(info.flags() & always, always);
    EXPECT_EQ(info.flags(), CpuInfo::flags_from(*info.ident()));
    EXPECT_EQ(info.tsc_rate(), 0) << "measured without being asked";

    CpuInfo nothing(-1, 0);
    EXPECT_EQ(nothing.ident(), nullptr);
    EXPECT_EQ(nothing.flags(), 0);
    EXPECT_EQ(nothing.tsc_rate(), 0);
}

TEST(CpuInfo, AProcessorThatCannotBePinnedIsNotProbed)
{
    CpuInfo info(1000, CpuInfo::probe_ident | CpuInfo::probe_tsc_rate);
    EXPECT_EQ(info.ident(), nullptr);
    EXPECT_EQ(info.flags(), 0);
    EXPECT_EQ(info.tsc_rate(), 0);
}

TEST(CpuInfo, ProcessInstanceIsProbedWithARate)
{
    const CpuInfo& info = CpuInfo::instance();
    EXPECT_EQ(&info, &CpuInfo::instance());
    if (info.ident() == nullptr)
        GTEST_SKIP() << "processor 0 is not available to this process";
    EXPECT_GT(info.tsc_rate(), 0);
    EXPECT_EQ(info.flags(), CpuInfo::flags_from(*info.ident()));
}

// The compiler's own probe (cpuid plus the saved-state check) is the
// reference for the groups that pick the wide vector code.
TEST(CpuInfo, VectorGroupsAgreeWithTheCompilersProbe)
{
    __builtin_cpu_init();
    const quarn::CpuVectorGroups& groups = quarn::cpu_vector_groups();
    EXPECT_EQ(groups.avx2, __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(groups.fma, __builtin_cpu_supports("fma") != 0);
}

} // namespace
