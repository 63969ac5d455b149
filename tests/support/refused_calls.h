// File systems that refuse what ext4 allows, without mounting one: a
// seccomp filter in the calling process makes chosen system calls fail
// with a chosen error number, as vfat refuses chmod (EPERM) or a FUSE
// mount refuses a no-replace rename (EINVAL) and hard links (EPERM).
// The filter lasts as long as the process, so rows install it in a child
// (as_unprivileged, or fork) and the test process is never touched.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace test_support {

// One call to refuse: the call `number` (SYS_fchmod ...) fails with
// `error`. With `argument` >= 0, only when that argument's low 32 bits
// have every bit of `bits` set (renameat2's RENAME_NOREPLACE flag).
struct RefusedCall {
    long number;
    int error;
    int argument = -1;
    uint32_t bits = 0;
};

// Installs the filter in this process (and its future children). False
// where the kernel offers no seccomp filter.
inline bool refuse_calls(std::initializer_list<RefusedCall> calls)
{
    std::vector<sock_filter> code;
    auto add = [&](uint16_t op, uint32_t k, uint8_t jt = 0, uint8_t jf = 0) { code.push_back({op, jt, jf, k}); };
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    add(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    for (const RefusedCall& call : calls) {
        add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
        if (call.argument < 0) {
            add(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call.number), 0, 1);
        } else {
            add(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(call.number), 0, 4);
            add(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * call.argument));
            add(BPF_ALU | BPF_AND | BPF_K, call.bits);
            add(BPF_JMP | BPF_JEQ | BPF_K, call.bits, 0, 1);
        }
        add(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(call.error) & SECCOMP_RET_DATA));
    }
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const sock_fprog program{static_cast<unsigned short>(code.size()), code.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// The calls that set a file's mode, all refused as vfat or CIFS refuse them.
inline bool refuse_modes()
{
    return refuse_calls({{SYS_chmod, EPERM}, {SYS_fchmod, EPERM}, {SYS_fchmodat, EPERM}});
}

// A file system with neither a no-replace rename (EINVAL) nor hard links
// (EPERM), as some FUSE and SMB mounts are; a plain rename still works.
inline bool refuse_no_replace_rename_and_links()
{
    return refuse_calls({{SYS_renameat2, EINVAL, 4, RENAME_NOREPLACE}, {SYS_link, EPERM}, {SYS_linkat, EPERM}});
}

} // namespace test_support
