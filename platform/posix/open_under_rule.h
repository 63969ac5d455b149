// The open behind file_open and folder_open (private to platform/posix).
#pragma once

namespace platform {

// ::open with `flags` and O_NOFOLLOW, retried on EINTR. A link at the last
// name is followed here, hop by hop, only where the rule for shared
// folders lets it through (trust.h): the kernel's own protection of links
// may be off. With `follow` false a link fails the open (ELOOP). The
// descriptor, or -1 with the reason in errno (error_untrusted_link for a
// refused link).
int open_under_rule(const char* path, int flags, bool follow);

} // namespace platform
