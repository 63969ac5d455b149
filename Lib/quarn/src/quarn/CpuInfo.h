// What the processor offers, probed once per process: identification,
// usable instruction groups and the rate of its time-stamp counter.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// The raw results of the identification instruction: every standard leaf
// from 0 to the highest one reported, and every extended leaf from
// 0x80000000 to the highest one reported, each as its words eax, ebx, ecx,
// edx.
struct CpuIdent {
    using Leaf = std::array<uint32_t, 4>;

    std::vector<Leaf> standard;
    std::vector<Leaf> extended;

    // The words of a standard (below 0x80000000) or extended leaf; zeros when
    // the processor does not report it.
    Leaf leaf(uint32_t index) const;

    // The 12-character vendor string of leaf 0, e.g. "GenuineIntel".
    std::string vendor() const;

    // From leaf 1, as the vendors document them: the extended family is
    // added for family 15, the extended model is prefixed for families 6
    // and 15.
    uint32_t family() const;
    uint32_t model() const;
    uint32_t stepping() const;
};

enum class CpuVendor { unknown, intel, amd, amd_early, cyrix, centaur, umc, nexgen, rise, transmeta };

// Recognises the vendor strings of the identification instruction.
CpuVendor cpu_vendor(std::string_view vendor);

class CpuInfo {
public:
    // Bits of flags().
    static constexpr uint8_t fpu = 1;  // floating-point unit present
    static constexpr uint8_t tsc = 2;  // time-stamp counter usable as a clock
    static constexpr uint8_t sep = 4;  // fast system-call instructions usable
    static constexpr uint8_t fxsr = 8; // fast floating-point save reported
    static constexpr uint8_t sse = 16; // vector-extension instructions usable

    // Bits of the probe flags: identify the processor; identify it and
    // measure the time-stamp counter's rate.
    static constexpr unsigned probe_ident = 1;
    static constexpr unsigned probe_tsc_rate = 2;

    // Probes on the calling thread when cpu_index is negative. Otherwise the
    // probe runs on a thread of its own, pinned to that processor at the
    // highest priority the system grants, while this thread waits; when the
    // thread cannot be pinned, or memory runs out during the probe, nothing
    // is probed (flags 0, rate 0, no ident).
    CpuInfo(int cpu_index, unsigned probe_flags);
    ~CpuInfo();
    CpuInfo(const CpuInfo&) = delete;
    CpuInfo& operator=(const CpuInfo&) = delete;

    // The process-wide instance, probed on first use on processor 0 with
    // both probe flags.
    static const CpuInfo& instance();

    // Time-stamp counter ticks per second; 0 until measured.
    int64_t tsc_rate() const { return tsc_rate_; }
    uint8_t flags() const { return flags_; }
    // Null when nothing was probed.
    const CpuIdent* ident() const { return ident_.get(); }

    // The flags an identification record grants.
    static uint8_t flags_from(const CpuIdent& ident);

private:
    void probe(unsigned probe_flags);

    int64_t tsc_rate_ = 0;
    std::unique_ptr<CpuIdent> ident_;
    uint8_t flags_ = 0;
};

// The wide vector groups that code may choose at start-up: each is true only
// when the processor reports it and the operating system saves the 256-bit
// registers on a task switch. Probed once per process on the calling
// thread.
struct CpuVectorGroups {
    bool avx2 = false;
    bool fma = false;
};
const CpuVectorGroups& cpu_vector_groups();

} // namespace quarn
