// A fuzzed ZIP archive standing in for a folder: every member its central
// directory lists (up to max_members) is opened through IArcStream by the
// folder-style name, read and skipped through in pieces, then opened again
// with header detection. The whole input is the archive, so archives made
// by any tool seed the corpus as they are. Failures are expected; crashes
// and hangs are not.
#include "quarn/quarn.h"

#include <unzip.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// The archive has to be a file: the unzip library opens it by name. Its
// folder, one per process, is made for each input and removed with what it
// holds when the input is done with, also when something unwinds out of it.
struct WorkDir {
    const std::filesystem::path& path;
    WorkDir() : path(name()) { std::filesystem::create_directories(path); }
    ~WorkDir()
    {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }

    static const std::filesystem::path& name()
    {
        static const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("quarn_fuzz_zip_" + std::to_string(std::random_device{}()));
        return dir;
    }
};

quarn::io::ZipFormat zip_format;

// Archive members may be bombs: stop after this much.
constexpr size_t read_limit = 1 << 20;
constexpr int max_members = 32;

// The member names the central directory lists, as unzip reads them. Names
// that climb out of the folder ("..") could name a real file instead of
// the member and are left out.
std::vector<std::string> member_names(const std::filesystem::path& archive)
{
    std::vector<std::string> names;
    unzFile zip = unzOpen(archive.c_str());
    if (!zip)
        return names;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK && names.size() < max_members; rc = unzGoToNextFile(zip)) {
        // The header tells the name's length; unzip ends the name with a
        // NUL only where the buffer has room for one, so the buffer holds
        // the whole name and one more byte. A NUL inside the name ends it.
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        std::vector<char> name(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo64(zip, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        const std::string text(name.data());
        if (!text.empty() && text.find("..") == std::string::npos)
            names.push_back(text);
    }
    unzClose(zip);
    return names;
}

void read_member(quarn::io::IArcStream& in)
{
    char chunk[4096];
    size_t total = 0;
    for (int step = 0; in.good() && total < read_limit; ++step) {
        total += in.read_some(chunk, step % 3 == 0 ? 1 : sizeof chunk);
        if (step % 4 == 1) {
            // Back within the buffer, then forwards by reading.
            std::streampos here = in.tell();
            if (here != std::streampos(-1) && here >= std::streampos(2))
                in.seek(here - std::streamoff(2));
            here = in.tell();
            if (here != std::streampos(-1))
                in.seek(here + std::streamoff(700));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const WorkDir work;
    const std::filesystem::path archive = work.path / "a.zip";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (const std::string& name : member_names(archive)) {
        const std::string member = (work.path / "a").string() + "/" + name;
        try {
            quarn::io::IArcStream raw;
            raw.set_flags(quarn::io::Stream::raw_open);
            raw.open(member.c_str(), quarn::open_mode::in, 0);
            read_member(raw);
        } catch (const quarn::Exception&) {
            // "NOT IMPLEMENTED" for seeks members cannot do, or a reported
            // failure: both are answers, not faults.
        }
        try {
            quarn::io::IArcStream detected;
            detected.open(member.c_str(), quarn::open_mode::in, 0);
            read_member(detected);
        } catch (const quarn::Exception&) {
        }
    }
    return 0;
}
