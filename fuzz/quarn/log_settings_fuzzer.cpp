// The ".log.ini" parser on arbitrary bytes: it must never throw or crash,
// and every limit it leaves must be one the grammar can produce.
#include "quarn/LogSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    quarn::LogSettingsTable table;
    std::vector<std::string> problems;
    try {
        quarn::parse_log_settings(std::string_view(reinterpret_cast<const char*>(data), size), table, &problems);
    } catch (...) {
        std::abort();
    }
    for (const quarn::LogSettings* s : {&table.defaults(), &table.gate()})
        for (int32_t limit : s->limit)
            if (limit < -1)
                std::abort();
    return 0;
}
