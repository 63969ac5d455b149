// Legacy object files from arbitrary bytes: header, both packers, then a
// reader that walks the unpacked data with the stream primitives, choosing
// each read by the data itself, as an image-set loader would follow the
// sizes it finds.
#include "engine/base/rw_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    rwCTy* s = rwOpenBytes(data, size, "fuzz.imgs");
    if (!s)
        return 0;
    uint8_t block[300];
    for (int step = 0; step < 2000 && s->error == 0; ++step) {
        const uint32_t op = rwReadU32(s);
        switch (op % 4) {
        case 0:
            (void)rwReadU32(s);
            break;
        case 1:
            memFree(rwReadStr(s));
            break;
        case 2:
            rwRead(s, block, (op >> 2) % sizeof(block));
            break;
        case 3:
            rwSeek(s, (op >> 2) % (s->length + 8));
            break;
        }
    }
    rwClose(s);
    return 0;
}
