// The headless backend: no window, no person. Boxes are printed to stderr
// and answered by the policy of message_box.cpp.
#include "platform/backend.h"

#include <cstdio>

namespace platform {

BoxAnswer answer_headless_box(const BoxRequest& request);

namespace {

class HeadlessBackend final : public Backend {
public:
    const char* name() const override { return "headless"; }
    BackendKind kind() const override { return BackendKind::headless; }

    BoxAnswer message_box(const BoxRequest& request) override
    {
        std::fprintf(stderr, "[message box] %s\n%s\n", request.caption.c_str(), request.text.c_str());
        return answer_headless_box(request);
    }
};

} // namespace

std::unique_ptr<Backend> make_headless_backend() { return std::make_unique<HeadlessBackend>(); }

} // namespace platform
