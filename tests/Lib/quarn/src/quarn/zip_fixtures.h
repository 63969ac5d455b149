// Builds ZIP archives for tests, benchmarks and fuzz seeds with minizip's
// zip API.
#pragma once

#include <zip.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quarn_test {

struct ZipMember {
    std::string name;
    std::string data;
    // Z_DEFLATED, or 0 to store the bytes as they are.
    int method = Z_DEFLATED;
};

inline void write_zip(const std::string& path, const std::vector<ZipMember>& members)
{
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        throw std::runtime_error("zipOpen failed: " + path);
    for (const ZipMember& m : members) {
        zip_fileinfo info{};
        if (zipOpenNewFileInZip(zip, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, m.method,
                                m.method ? Z_DEFAULT_COMPRESSION : 0)
                != ZIP_OK
            || zipWriteInFileInZip(zip, m.data.data(), static_cast<unsigned>(m.data.size())) != ZIP_OK
            || zipCloseFileInZip(zip) != ZIP_OK) {
            zipClose(zip, nullptr);
            throw std::runtime_error("writing a ZIP member failed: " + m.name);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        throw std::runtime_error("zipClose failed: " + path);
}

inline std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace quarn_test
