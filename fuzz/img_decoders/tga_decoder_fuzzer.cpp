// A TGA file through TgaDecoder, then read into a fuzzed target
// format, size and rectangles (through the row copy, or resize and assign).
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return img_fuzz::run_decoder<quarn::g::TgaDecoder>(data, size);
}
