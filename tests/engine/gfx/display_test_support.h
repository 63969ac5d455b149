// The display tests' fixture (headless display, the real reporter with
// recorded boxes) and the builders of the BMP and sprite-set files that
// the restore sources read.
#pragma once

#include "engine/base/base_internal.h"
#include "engine/blit/blit.h"
#include "engine/gfx/gfx.h"
#include "platform/headless.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace display_test {

namespace dsp = platform::display;
namespace hl = platform::headless;

inline void put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A BMP file of 8 bits (with `colours`, 0x00RRGGBB each) or 24 bits;
// `rows` top row first, each row's bytes without padding.
inline std::vector<uint8_t> bmp_file(int w, int bits, const std::vector<uint32_t>& colours,
                                     const std::vector<std::vector<uint8_t>>& rows)
{
    const size_t stride = (size_t(w) * size_t(bits / 8) + 3) / 4 * 4;
    std::vector<uint8_t> b {'B', 'M'};
    const size_t offset = 14 + 40 + 4 * colours.size();
    put32(b, uint32_t(offset + stride * rows.size()));
    put32(b, 0);
    put32(b, uint32_t(offset));
    for (const uint32_t v : {40u, uint32_t(w), uint32_t(rows.size())})
        put32(b, v);
    b.insert(b.end(), {1, 0, uint8_t(bits), 0});
    for (const uint32_t v : {0u, 0u, 0u, 0u, uint32_t(colours.size()), 0u})
        put32(b, v);
    for (const uint32_t c : colours)
        put32(b, c);
    for (size_t r = rows.size(); r-- > 0;) {
        std::vector<uint8_t> row = rows[r];
        row.resize(stride, 0);
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

// A sprite-set file of one frame of RLE8 rows; palette entry i is
// {i, 255 - i, 7i}.
inline std::vector<uint8_t> sprite_set(int32_t hotX, int32_t hotY, int32_t width,
                                       const std::vector<std::vector<uint8_t>>& rows)
{
    std::vector<uint8_t> b(16, 0);
    for (uint32_t i = 0; i < 256; ++i)
        b.insert(b.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
    b.resize(spr_FILE_HEADER, 0);
    put32(b, uint32_t(spr_FILE_HEADER + 4));
    for (const uint32_t v : {0u, 0u, uint32_t(hotX), uint32_t(hotY), uint32_t(width), uint32_t(rows.size())})
        put32(b, v);
    b.resize(b.size() + 24, 0);
    uint32_t offset = 0;
    for (const auto& row : rows) {
        put32(b, offset);
        offset += uint32_t(row.size());
    }
    for (const auto& row : rows)
        b.insert(b.end(), row.begin(), row.end());
    return b;
}

inline std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const auto path = std::filesystem::temp_directory_path()
        / (name + "-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
           + std::to_string(reinterpret_cast<uintptr_t>(&bytes)));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
}

class DisplayDevice : public testing::Test {
protected:
    void SetUp() override
    {
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
        errResetForTest();
        errInit();
        platform::set_box_policy([](const platform::BoxRequest&) { return platform::BoxAnswer::ignore; });
        platform::clear_shown_boxes();
        hl::clear_display_faults();
        hl::reset_display_counters();
        hl::set_display_depth(32);
        blitInstall();
        window_ = platform::create_window({.client = {64, 48}});
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override
    {
        gRelease();
        hl::clear_display_faults();
        hl::set_video_memory(uint64_t(256) << 20);
        hl::set_display_depth(32);
        gScrFmt = gScrFmtTy {};
        gFps = gFpsTy {};
        platform::set_clock_source(nullptr);
        errResetForTest();
        platform::shutdown();
        platform::use_backend(platform::BackendKind::headless);
    }
    static std::vector<std::string> boxes()
    {
        std::vector<std::string> out;
        for (const auto& b : platform::shown_boxes())
            out.push_back(b.text);
        return out;
    }
    gDDCTy& device() { return *gMode.device; }
    static uint32_t pel(gSurfDxdCTy& s, int x, int y) { return platform::read_pixel(s.surface->view(), x, y); }

    platform::WindowHandle window_ = nullptr;
};
} // namespace display_test
