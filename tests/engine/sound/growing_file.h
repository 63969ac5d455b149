// Reads the 16-bit samples of a file that an audio device is still
// appending to (SDL's disk driver): each read takes only the bytes added
// since the last one, so waiting on the file costs what it gains, not its
// whole length every time.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace soundtest {

class GrowingFile {
public:
    explicit GrowingFile(std::filesystem::path path) : path_(std::move(path)) {}

    // Appends the whole samples written since the last call; an odd byte
    // at the end waits for its partner.
    const std::vector<int16_t>& read()
    {
        if (!in_.is_open())
            in_.open(path_, std::ios::binary);
        std::vector<char> block(1 << 16);
        for (;;) {
            in_.clear();
            in_.seekg(std::streamoff(2 * samples_.size()));
            in_.read(block.data(), std::streamsize(block.size()));
            const size_t count = size_t(in_.gcount()) / 2;
            if (count == 0)
                return samples_;
            samples_.resize(samples_.size() + count);
            std::memcpy(samples_.data() + samples_.size() - count, block.data(), count * 2);
        }
    }

    // Reads as the file grows until done(samples) holds or `timeout` has
    // passed on the clock; whether it held.
    template <class Done>
    bool read_until(Done done, std::chrono::seconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done(read())) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

private:
    std::filesystem::path path_;
    std::ifstream in_;
    std::vector<int16_t> samples_;
};

} // namespace soundtest
