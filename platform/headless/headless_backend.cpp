// The headless backend: no window, no person. Boxes are answered by the
// policy of message_box.cpp.
#include "platform/headless/headless_backend.h"

namespace platform {

BoxAnswer answer_headless_box(const BoxRequest& request);

namespace headless_impl {

namespace {

int refused_boxes = 0;

} // namespace

void refuse_boxes(int times) { refused_boxes = times; }

std::optional<BoxAnswer> HeadlessBackend::message_box(const BoxRequest& request)
{
    if (refused_boxes > 0) {
        --refused_boxes;
        set_backend_error("headless: the box was refused");
        return std::nullopt;
    }
    return answer_headless_box(request);
}

} // namespace headless_impl

std::unique_ptr<Backend> make_headless_backend() { return std::make_unique<headless_impl::HeadlessBackend>(); }

} // namespace platform
