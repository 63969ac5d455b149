// The headless backend: no window, no person. Boxes are printed to stderr
// and answered by the policy of message_box.cpp.
#include "platform/headless/headless_backend.h"

#include <cstdio>

namespace platform {

BoxAnswer answer_headless_box(const BoxRequest& request);

namespace headless_impl {

BoxAnswer HeadlessBackend::message_box(const BoxRequest& request)
{
    std::fprintf(stderr, "[message box] %s\n%s\n", request.caption.c_str(), request.text.c_str());
    return answer_headless_box(request);
}

} // namespace headless_impl

std::unique_ptr<Backend> make_headless_backend() { return std::make_unique<headless_impl::HeadlessBackend>(); }

} // namespace platform
