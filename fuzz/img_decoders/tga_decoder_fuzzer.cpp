// A fuzzed TGA file through TgaDecoder, then read into a fuzzed target
// format, size and rectangles (through the row copy, or resize and assign).
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < img_fuzz::control_bytes)
        return 0;
    const img_fuzz::Control control = img_fuzz::control_of(data);
    quarn_test::MemoryBuf buf(data + img_fuzz::control_bytes, size - img_fuzz::control_bytes);
    quarn::io::IStream in(&buf);
    in.exceptions(control.exceptions);
    quarn::g::TgaDecoder tga;
    try {
        tga.open(in);
    } catch (const quarn::Exception&) {
        return 0;
    }
    img_fuzz::read_into_targets(tga, control);
    return 0;
}
