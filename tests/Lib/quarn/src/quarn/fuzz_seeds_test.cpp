// Writes the seed corpora of the quarn_object_stream and quarn_zip_member
// fuzz targets. Not a test: run it by hand when the formats change,
//
//     QUARN_SEED_DIR=fuzz/corpus test_quarn_files
//         --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds*'
//
// then minimise the corpora with the fuzzer's -merge=1.
#include "scratch_dir.h"
#include "stream_fixtures.h"
#include "zip_fixtures.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using namespace quarn_test;

void put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

const std::string shape = "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>";

TEST(FuzzSeeds, DISABLED_WriteFuzzSeeds)
{
    const char* root = std::getenv("QUARN_SEED_DIR");
    ASSERT_NE(root, nullptr) << "set QUARN_SEED_DIR";
    const std::filesystem::path objects = std::filesystem::path(root) / "quarn_object_stream";
    const std::filesystem::path zips = std::filesystem::path(root) / "quarn_zip_member";

    const std::string name = u32le(static_cast<uint32_t>(shape.size())) + shape;
    const std::string data8 = u32le(0x3F800000) + u32le(0x40000000);
    // Header-less: Registry1 references, no data lengths.
    put(objects, "headerless", u32le(2) + name + data8 + u32le(1) + u32le(0) + u32le(1) + data8 + u32le(2));
    // Native: Registry2 references and data lengths.
    put(objects, "native",
        native_header(0) + u32le(1) + u32le(0) + name + u32le(8) + data8 + u32le(3) + u32le(1) + u32le(8) + data8
            + u32le(0));
    put(objects, "native_flags5", native_header(5) + u32le(1) + u32le(7));
    // Legacy: names before every object (rw1), u16 ids (rw2).
    put(objects, "rw1_plain", legacy_stream("rw1", 0, 1, u32le(1) + name + data8 + u32le(1) + u32le(0xFFFFFFFF)));
    const std::string rw2 = u32le(1) + u16le(0xFFFF) + name + data8 + u32le(1) + u16le(0) + data8;
    put(objects, "rw2_zlib", legacy_stream("rw2", 1, 1, rw2));
    put(objects, "rw1_encrypted", legacy_stream("rw1", 3, 1, rw2));
    put(objects, "rw2_zrpack", legacy_stream("rw2", 1, 0, rw2));
    std::string corrupt = legacy_stream("rw2", 1, 1, rw2);
    corrupt[30] = static_cast<char>(corrupt[30] ^ 0x40);
    put(objects, "rw2_corrupt", corrupt);
    put(objects, "rw2_short", legacy_stream("rw2", 1, 1, rw2).substr(0, 30));
    put(objects, "empty", "");

    ScratchDir dir;
    auto zip = [&](const std::string& seed, const std::vector<ZipMember>& members) {
        write_zip(dir / seed, members);
        put(zips, seed, file_bytes(dir / seed));
    };
    zip("stored", { { "m.bin", "plain member bytes", 0 } });
    zip("deflated", { { "m.bin", std::string(3000, 'a') + "tail" } });
    zip("upper_case", { { "other.txt", "x" }, { "M.BIN", "found without regard to case" } });
    zip("legacy", { { "m.bin", legacy_stream("rw2", 1, 1, rw2) } });
    zip("native", { { "m.bin", native_header(0) + u32le(1) + u32le(0) + name + u32le(8) + data8 } });
    zip("empty_member", { { "m.bin", "" } });
    // A name longer than the fuzz target's first name buffer (512 bytes).
    zip("long_name", { { std::string(604, 'n'), "x", 0 } });
}

} // namespace
