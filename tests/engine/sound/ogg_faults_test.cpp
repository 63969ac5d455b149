// Damaged Ogg Vorbis streams that the fuzzer found, through the source as
// the channel layer drives it: a damaged file is refused at the open or
// plays, and never brings the program down.
#include "sound_fixture.h"

#include "engine/sound/snd_sources.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>

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

// The stream with the header of page `number` of its logical stream 7
// changed by `edit` and the page's checksum made again.
std::vector<uint8_t> with_page_edited(std::vector<uint8_t> bytes, long number, void (*edit)(unsigned char* header))
{
    for (size_t at = 0; at + 27 <= bytes.size();) {
        ogg_page page{&bytes[at], 27 + long(bytes[at + 26]), nullptr, 0};
        for (long i = 27; i < page.header_len; ++i)
            page.body_len += page.header[i];
        page.body = page.header + page.header_len;
        if (ogg_page_serialno(&page) == 7 && ogg_page_pageno(&page) == number) {
            edit(page.header);
            ogg_page_checksum_set(&page);
        }
        at += size_t(page.header_len + page.body_len);
    }
    return bytes;
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

// Each file is refused at the open, from the file and from memory.
void expect_refused(const std::vector<std::filesystem::path>& files)
{
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
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
}

// A multiplexed stream whose made-up stream (pages 0 to 2, granules 0 to 2)
// breaks one rule of the framing is refused: a page after its end, a page
// number that does not rise, a granule position that goes back. The
// multiplexed stream itself opens.
TEST(OggFaults, DamagedStreamsAreRefusedAtTheOpen)
{
    const auto healthy = vorbis_encode(mpegtest::sine(22050, 2, 3, 440, 660, 0.4), 7);
    struct Edit {
        const char* name;
        long page;
        void (*edit)(unsigned char* header);
    };
    std::vector<std::filesystem::path> files;
    for (const Edit& e : {Edit{"page-after-end.ogg", 1, [](unsigned char* h) { h[5] |= 4; }}, // its data page ends it
                          Edit{"page-number-repeated.ogg", 2, [](unsigned char* h) { h[18] = 1; }},
                          Edit{"granule-goes-back.ogg", 2, [](unsigned char* h) { h[6] = 0; }}}) {
        files.push_back(mpegtest::work_dir() / e.name);
        write_file(files.back().string(), with_page_edited(healthy, e.page, e.edit));
    }
    expect_refused(files);
    const auto path = mpegtest::work_dir() / "healthy.ogg";
    write_file(path.string(), healthy);
    oggSource* s = oggOpen(path.string().c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(oggFormat(s).dataLength, 3u * 22050 * 4);
    read_with_seeks(s);
    oggClose(s);
}

// The streams the fuzzer found, from the shared test data: the spliced
// stream (pages of another stream and repeated pages inside one link) is
// refused, and so is the stream cut after a second beginning. Only this
// test needs the shared data, so only it is skipped without it.
TEST(OggFaults, FoundStreamsAreRefusedAtTheOpen)
{
    const auto dir = ogg_faults_dir();
    if (dir.empty())
        GTEST_SKIP() << "the shared test data (testdata/ogg-faults) is not there";
    expect_refused({dir / "seek-in-spliced-stream.ogg", dir / "open-cut-chained-stream.ogg"});
}

} // namespace
