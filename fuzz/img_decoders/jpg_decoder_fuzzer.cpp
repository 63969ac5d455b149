// A fuzzed JPEG file through JpgDecoder's stream source manager and error
// hooks, read into a fuzzed target (each read after the first rewinds the
// stream and reads the header again).
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < img_fuzz::control_bytes)
        return 0;
    const img_fuzz::Control control = img_fuzz::control_of(data);
    quarn_test::MemoryBuf buf(data + img_fuzz::control_bytes, size - img_fuzz::control_bytes);
    quarn::io::IStream in(&buf);
    in.exceptions(control.exceptions);
    quarn::g::JpgDecoder jpg;
    try {
        jpg.open(in);
    } catch (const quarn::Exception&) {
        return 0;
    }
    img_fuzz::read_into_targets(jpg, control);
    return 0;
}
