// Damaged Ogg Vorbis streams that the fuzzer found, through the source as
// the channel layer drives it: a damaged file is refused at the open or
// plays, and never brings the program down.
#include "sound_fixture.h"

#include "engine/sound/snd_sources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace soundtest;

namespace {

std::filesystem::path ogg_faults_dir()
{
    if (const char* env = std::getenv("QUARN_OGG_FAULTS_DIR"))
        return env;
    // The shared folder sits beside the main checkout, and two levels up
    // from a worktree.
    for (const char* rel : {"../shared/testdata/ogg-faults", "../../shared/testdata/ogg-faults"}) {
        const auto p = std::filesystem::path(QUARN_SOURCE_DIR) / rel;
        if (std::filesystem::exists(p))
            return p;
    }
    return {};
}

// Reads the whole stream, restarts it at 0 as a loop does, then reads from
// the middle as a start from a position does: the reads that made the
// library crash on a spliced stream.
void read_with_seeks(oggSource* s)
{
    const uint32_t end = oggFormat(s).dataLength;
    std::vector<uint8_t> chunk(16384);
    uint32_t position = 0;
    for (int i = 0; i < 200 && position < end; ++i)
        position = oggRead(s, chunk.data(), position, 4096, -1);
    (void)oggRead(s, chunk.data(), 0, 4096, -1);
    (void)oggRead(s, chunk.data(), end / 2 + 1, 4096, -1);
}

// The spliced stream (pages of another stream and repeated pages inside
// one link) is refused, from a file and from memory; the stream cut after a
// second beginning fails to open. A healthy stream opens from a file too.
TEST(OggFaults, DamagedStreamsAreRefusedAtTheOpen)
{
    const auto dir = ogg_faults_dir();
    if (dir.empty())
        GTEST_SKIP() << "the shared test data (testdata/ogg-faults) is not there";
    for (const char* name : {"seek-in-spliced-stream.ogg", "open-cut-chained-stream.ogg"}) {
        SCOPED_TRACE(name);
        const auto path = dir / name;
        const auto bytes = mpegtest::read_file(path);
        ASSERT_FALSE(bytes.empty());
        for (oggSource* s : {oggOpen(path.string().c_str()), oggOpenImage(bytes.data(), bytes.size())}) {
            EXPECT_EQ(s, nullptr);
            if (s) {
                read_with_seeks(s);
                oggClose(s);
            }
        }
    }
    const auto healthy = vorbis_encode(mpegtest::sine(22050, 2, 3, 440, 660, 0.4));
    const auto path = mpegtest::work_dir() / "healthy.ogg";
    write_file(path.string(), healthy);
    oggSource* s = oggOpen(path.string().c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(oggFormat(s).dataLength, 3u * 22050 * 4);
    read_with_seeks(s);
    oggClose(s);
}

} // namespace
