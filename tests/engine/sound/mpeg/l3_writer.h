// A layer III frame writer for the tests: builds small streams whose
// content the test chooses line by line (quantised values, scale factors,
// block types, stereo modes), coded with the decoder's own Huffman tables.
// Every frame carries its own main data (main_data_begin 0).
#pragma once

#include <cstdint>
#include <vector>

namespace mpegtest {

// One granule of one channel.
struct L3Channel {
    int32_t global_gain = 180;
    int32_t block_type = 0;  // 0 without window switching; 1, 2, 3 with
    bool mixed = false;
    int32_t subblock_gain[3] = {0, 0, 0};
    // MPEG-1: 0..15. MPEG-2: below 400, or for the right channel of an
    // intensity frame an even or odd value below 360.
    int32_t scalefac_compress = 0;
    bool scalefac_scale = false;
    bool preflag = false;  // MPEG-1 only
    int32_t long_sf[21] = {};
    int32_t short_sf[3][12] = {};
    int32_t table_select[3] = {24, 24, 24};  // big-values regions
    bool count1_table_b = false;
    // Quantised values in bitstream order: short bands window by window.
    int32_t q[576] = {};
};

struct L3Frame {
    int32_t id = 1;  // 1 MPEG-1, 0 MPEG-2
    int32_t sampling_index = 0;
    int32_t bitrate_index = 14;
    int32_t mode = 3;  // 3 single channel, else two channels
    int32_t mode_extension = 0;
    L3Channel gr[2][2];  // [granule][channel]; MPEG-2 frames hold granule 0
};

// The frames one after another; empty when a frame's data do not fit its
// length or a value does not fit its table or scale-factor width.
std::vector<uint8_t> write_l3(const std::vector<L3Frame>& frames);

}  // namespace mpegtest
