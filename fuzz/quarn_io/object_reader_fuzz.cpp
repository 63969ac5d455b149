// Reads objects from arbitrary bytes: the registry and flags come from the
// first byte, the objects and blocks from the rest. Failures are expected;
// crashes, leaks and undefined behaviour are not.
#include "fuzz_objects.h"
#include "tests/Lib/quarn/src/quarn/memory_buf.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto setup = quarn_fuzz::StreamSetup::from(data[0]);
    quarn_fuzz::Arena arena;
    quarn_test::MemoryBuf buf(data + 1, size - 1);
    auto registry = quarn_fuzz::make_registry(setup.registry);
    quarn::io::IStream in(&buf, registry.get());
    in.set_flags(setup.lengths ? quarn::io::Stream::data_lengths : 0);
    in.exceptions(setup.exceptions ? quarn::io::Stream::default_exceptions : 0);
    try {
        for (int i = 0; i < 256 && in.good(); ++i) {
            quarn::io::Object* o = in.read_object();
            if (auto* node = dynamic_cast<quarn_fuzz::Node*>(o))
                (void)node->children.size();
        }
    } catch (const quarn::Exception&) {
    } catch (const std::runtime_error&) {
    }
    return 0;
}
