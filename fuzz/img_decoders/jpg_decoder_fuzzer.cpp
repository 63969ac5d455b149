// A JPEG file through JpgDecoder's stream source manager and error
// hooks, read into a fuzzed target (each read after the first rewinds the
// stream and reads the header again).
#include "DecoderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return img_fuzz::run_decoder<quarn::g::JpgDecoder>(data, size);
}
