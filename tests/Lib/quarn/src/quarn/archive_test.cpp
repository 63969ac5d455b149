#include "log_capture.h"
#include "memory_file.h"
#include "scratch_dir.h"
#include "stream_fixtures.h"
#include "zip_fixtures.h"
#include "quarn/ArcFormat.h"
#include "quarn/Exception.h"
#include "quarn/FileBuf.h"
#include "quarn/IArcStream.h"
#include "quarn/IoFailure.h"
#include "quarn/PathSplit.h"
#include "quarn/Registry.h"
#include "quarn/ZipFile.h"
#include "quarn/ZipFormat.h"

#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using quarn::ZipFile;
using quarn::io::ArcFormat;
using quarn::io::IArcStream;
using quarn::io::Stream;
using quarn::io::ZipFormat;
using namespace quarn_test;

std::string read_rest(quarn::io::IStream& in)
{
    std::string out;
    char chunk[300];
    in.exceptions(0);
    for (;;) {
        size_t n = in.read_some(chunk, sizeof chunk);
        out.append(chunk, n);
        if (n < sizeof chunk)
            return out;
    }
}

std::string failure_of(const std::string& name)
{
    try {
        IArcStream in(name.c_str());
    } catch (const quarn::io::Failure& e) {
        return e.what();
    }
    return "(opened)";
}

TEST(PathSplit, SplitsLikeWindowsNames)
{
    auto p = quarn::detail::split_path("data\\cars/car1.tga");
    EXPECT_EQ(p.drive, "");
    EXPECT_EQ(p.dir, "data\\cars/");
    EXPECT_EQ(p.name, "car1");
    EXPECT_EQ(p.ext, ".tga");
    p = quarn::detail::split_path("a.b/c.d.e");
    EXPECT_EQ(p.dir, "a.b/");
    EXPECT_EQ(p.name, "c.d");
    EXPECT_EQ(p.ext, ".e");
    p = quarn::detail::split_path("noext");
    EXPECT_EQ(p.dir, "");
    EXPECT_EQ(p.name, "noext");
    EXPECT_EQ(p.ext, "");
}

// Records the archives and members it is asked for; opens none.
class RecordingFormat : public ArcFormat {
public:
    RecordingFormat() : ArcFormat(extensions_, 1) {}
    std::unique_ptr<quarn::io::StreamBufEx> open_member(const std::string& archive, const std::string& member) override
    {
        asked.push_back(archive + "|" + member);
        return nullptr;
    }
    std::vector<std::string> asked;

private:
    static constexpr const char* extensions_[] = { "pak" };
};

TEST(ArcFormat, ArchivesAreTriedFromTheInnermostFolderOutwards)
{
    LogCapture log;
    RecordingFormat format;
    {
        auto opened = quarn::io::open_arc_buffer("nowhere_q\\cars/car1.tga");
        EXPECT_FALSE(opened.open);
        ASSERT_NE(opened.buffer, nullptr) << "the unopened plain file says why";
        EXPECT_NE(opened.buffer->last_error(), nullptr);
    }
    EXPECT_EQ(format.asked, (std::vector<std::string>{
                                "nowhere_q\\cars|car1.tga",
                                "nowhere_q\\cars.pak|car1.tga",
                                "nowhere_q|cars/car1.tga",
                                "nowhere_q.pak|cars/car1.tga",
                            }));

    format.asked.clear();
    (void)quarn::io::open_arc_buffer("nowhere_q.tga");
    (void)quarn::io::open_arc_buffer("\\nowhere_q.tga");
    (void)quarn::io::open_arc_buffer("/nowhere_q.tga");
    EXPECT_TRUE(format.asked.empty()) << "no folder, or only the root: no archive";

    (void)quarn::io::open_arc_buffer("/nowhere_q/x.tga");
    EXPECT_EQ(format.asked, (std::vector<std::string>{ "/nowhere_q|x.tga", "/nowhere_q.pak|x.tga" }));
}

TEST(ArcFormat, FormatsAreListedWhileTheyLive)
{
    const size_t before = ArcFormat::formats().size();
    {
        ZipFormat zip;
        RecordingFormat other;
        auto formats = ArcFormat::formats();
        ASSERT_EQ(formats.size(), before + 2);
        EXPECT_EQ(formats[before], &zip);
        EXPECT_EQ(formats[before + 1], &other);
        EXPECT_STREQ(zip.extensions()[0], "zip");
        EXPECT_EQ(zip.extension_count(), 1u);
    }
    EXPECT_EQ(ArcFormat::formats().size(), before);
}

class Archives : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir_ / name; }
    void mkdir(const std::string& name) const { std::filesystem::create_directories(dir_.path() / name); }

    LogCapture log_;
    ScratchDir dir_;
    ZipFormat zip_;
};

TEST_F(Archives, MembersStandInForMissingFiles)
{
    mkdir("data");
    write_zip(path("data/cars.zip"), { { "car1.tga", "car one" } });
    IArcStream in(path("data\\cars\\car1.tga").c_str());
    EXPECT_TRUE(in.is_open());
    EXPECT_EQ(read_rest(in), "car one");

    // One folder further out, the member keeps the inner folder.
    write_zip(path("data.zip"), { { "cars/car2.tga", "car two" }, { "Trucks/Big.TGA", "truck" } });
    IArcStream outer(path("data/cars/car2.tga").c_str());
    EXPECT_EQ(read_rest(outer), "car two");
    IArcStream any_case(path("data\\trucks\\big.tga").c_str());
    EXPECT_EQ(read_rest(any_case), "truck") << "members match without regard to case";

    // A real file wins over the archive.
    mkdir("data/cars");
    dir_.write("data/cars/car1.tga", "loose car");
    IArcStream loose(path("data/cars/car1.tga").c_str());
    EXPECT_EQ(read_rest(loose), "loose car");
}

TEST_F(Archives, ArchiveNamesAreFoundWithoutRegardToCase)
{
    mkdir("DATA");
    write_zip(path("DATA/Cars.ZIP"), { { "car1.tga", "car one" } });
    IArcStream in(path("data/cars/car1.tga").c_str());
    EXPECT_EQ(read_rest(in), "car one");
}

TEST_F(Archives, NamesFoundNowhereFailWithTheFilesReason)
{
    mkdir("data");
    write_zip(path("data/cars.zip"), { { "car1.tga", "car one" } });
    const std::string name = path("data/cars/car9.tga");
    EXPECT_EQ(failure_of(name), "No such file or directory ('" + name + "')");
    IArcStream quiet;
    quiet.open(name.c_str(), quarn::open_mode::in, 0);
    EXPECT_FALSE(quiet.is_open());
    EXPECT_EQ(quiet.state(), Stream::fail);

    IArcStream unopened;
    EXPECT_EQ(unopened.state() & Stream::bad, Stream::bad);
}

// Words picked by a fixed generator: deflate codes them with Huffman
// tables, so damage shows as a data error rather than as wrong bytes.
std::string prose(size_t n)
{
    static const char* words[] = { "car ", "gate ", "lap ", "track ", "time ", "best ", "wheel ", "hit " };
    std::string s;
    uint32_t seed = 12345;
    while (s.size() < n) {
        seed = seed * 1103515245u + 12345u;
        s += words[(seed >> 16) % 8];
    }
    s.resize(n);
    return s;
}

TEST_F(Archives, DamagedArchivesFailCleanly)
{
    mkdir("a");
    dir_.write("a/junk.zip", std::string(300, 'x'));
    write_zip(path("whole.zip"), { { "m.bin", prose(20000) } });
    const std::string bytes = file_bytes(path("whole.zip"));
    dir_.write("a/cut.zip", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(failure_of(path("a/junk/m.bin")).rfind("No such file or directory", 0), 0u);
    EXPECT_EQ(failure_of(path("a/cut/m.bin")).rfind("No such file or directory", 0), 0u);

    // Damaged member data: the directory is intact, the deflated bytes not.
    const size_t data_start = 30 + 5; // local header and the name "m.bin"
    std::string broken = bytes;
    for (size_t i = data_start + 100; i < data_start + 140; ++i)
        broken[i] = static_cast<char>(broken[i] ^ 0xA5);
    dir_.write("a/bad.zip", broken);
    IArcStream in;
    in.set_flags(Stream::raw_open);
    in.open(path("a/bad/m.bin").c_str(), quarn::open_mode::in, 0);
    ASSERT_TRUE(in.is_open());
    EXPECT_LT(read_rest(in).size(), 20000u);
    EXPECT_EQ(in.state() & Stream::fail, Stream::fail);
    EXPECT_NE(log_.text().find("reading failed: reading the ZIP member failed (data error)"), std::string::npos);

    // A stored member has only its checksum against damage.
    write_zip(path("stored.zip"), { { "m.bin", prose(5000), 0 } });
    std::string stored = file_bytes(path("stored.zip"));
    stored[data_start + 10] = static_cast<char>(stored[data_start + 10] ^ 1);
    dir_.write("a/crc.zip", stored);
    IArcStream crc;
    crc.set_flags(Stream::raw_open);
    crc.open(path("a/crc/m.bin").c_str(), quarn::open_mode::in, 0);
    EXPECT_EQ(read_rest(crc).size(), 5000u);
    EXPECT_NE(log_.text().find("reading failed: reading the ZIP member failed (CRC error)"), std::string::npos);
}

// The archive with the general-purpose flags and method of every member
// set to `flags` and `method`, in the local headers and the central
// directory alike, so that unzip finds them consistent.
std::string with_member_method(std::string zip, uint16_t flags, uint16_t method)
{
    auto put16 = [&](size_t at, uint16_t v) {
        zip[at] = static_cast<char>(v & 0xFF);
        zip[at + 1] = static_cast<char>(v >> 8);
    };
    for (size_t i = 0; i + 12 < zip.size(); ++i) {
        if (zip.compare(i, 4, "PK\x03\x04") == 0) {
            put16(i + 6, flags);
            put16(i + 8, method);
        } else if (zip.compare(i, 4, "PK\x01\x02") == 0) {
            put16(i + 8, flags);
            put16(i + 10, method);
        }
    }
    return zip;
}

TEST_F(Archives, MembersNeitherStoredNorDeflatedOrEncryptedAreRefused)
{
    // Before the check, each of these opened and read its raw bytes (the
    // bzip2 stream, the ciphertext) as the member's content.
    mkdir("a");
    write_zip(path("plain.zip"), { { "m.bin", prose(3000), 0 }, { "d.bin", prose(3000) } });
    const std::string plain = file_bytes(path("plain.zip"));
    struct Case {
        const char* archive;
        uint16_t flags, method;
        const char* reason;
    };
    for (const Case& c : { Case { "bzip2", 0, 12, "its compression method is neither stored nor deflated" },
                           Case { "lzma", 0, 14, "its compression method is neither stored nor deflated" },
                           Case { "crypt", 1, 0, "it is encrypted" },
                           Case { "crypt8", 1, 8, "it is encrypted" } }) {
        dir_.write(std::string("a/") + c.archive + ".zip", with_member_method(plain, c.flags, c.method));
        for (const char* member : { "m.bin", "d.bin" }) {
            const std::string name = path(std::string("a/") + c.archive + "/" + member);
            EXPECT_EQ(failure_of(name).rfind("No such file or directory", 0), 0u) << name;
            EXPECT_NE(log_.text().find("cannot be read: " + std::string(c.reason)), std::string::npos) << name;
        }
    }
    // The same archive untouched reads both members.
    dir_.write("a/ok.zip", plain);
    IArcStream stored(path("a/ok/m.bin").c_str());
    EXPECT_EQ(read_rest(stored), prose(3000));
    IArcStream deflated(path("a/ok/d.bin").c_str());
    EXPECT_EQ(read_rest(deflated), prose(3000));
}

// A handle that serves `size` bytes and records the sizes asked of it.
class FakeHandle : public ZipFile::Handle {
public:
    FakeHandle(int64_t size, std::vector<uint32_t>* reads, int32_t error_at = -1)
        : size_(size), reads_(reads), error_at_(error_at) {}
    bool open(const char*, const char*) override { return open_ = true; }
    bool close() override { return !(open_ = false); }
    int32_t read(void* data, uint32_t n) override
    {
        reads_->push_back(n);
        if (error_at_ >= 0 && at_ >= error_at_)
            return -3;
        int32_t k = static_cast<int32_t>(std::min<int64_t>(n, size_ - at_));
        std::memset(data, 'z', static_cast<size_t>(k));
        at_ += k;
        return k;
    }
    int64_t tell() override { return at_; }
    bool is_open() const override { return open_; }

private:
    int64_t size_;
    int64_t at_ = 0;
    std::vector<uint32_t>* reads_;
    int32_t error_at_;
    bool open_ = false;
};

class FakeZipFile : public ZipFile {
public:
    FakeZipFile(int64_t size, int32_t error_at = -1) : size_(size), error_at_(error_at) {}
    std::vector<uint32_t> reads;

protected:
    std::unique_ptr<Handle> make_handle() override { return std::make_unique<FakeHandle>(size_, &reads, error_at_); }

private:
    int64_t size_;
    int32_t error_at_;
};

bool not_implemented(const std::function<void()>& call)
{
    try {
        call();
    } catch (const quarn::Exception& e) {
        return std::string(e.what()) == "NOT IMPLEMENTED";
    }
    return false;
}

TEST(ZipFile, SeeksForwardByReadingInSteps)
{
    FakeZipFile file(5000);
    ASSERT_TRUE(file.open("a.zip?m", quarn::open_mode::in | quarn::open_mode::binary));
    EXPECT_EQ(file.seek(1000, quarn::seek_dir::current), 1000);
    EXPECT_EQ(file.reads, (std::vector<uint32_t>{ 512, 488 }));
    EXPECT_EQ(file.seek(0, quarn::seek_dir::current), 1000);
    EXPECT_EQ(file.seek(1500, quarn::seek_dir::beginning), 1500);
    EXPECT_EQ(file.seek(1500, quarn::seek_dir::beginning), 1500) << "already there";
    EXPECT_EQ(file.seek(-1, quarn::seek_dir::beginning), -1);
    EXPECT_EQ(file.seek(9000, quarn::seek_dir::current), -1) << "the member ends first";
    EXPECT_EQ(file.seek(0, 99), 0);

    EXPECT_TRUE(not_implemented([&] { (void)file.seek(10, quarn::seek_dir::beginning); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.seek(-1, quarn::seek_dir::current); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.seek(0, quarn::seek_dir::end); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.size(); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.flush(); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.write("x", 1); }));
    EXPECT_EQ(file.last_error(), nullptr) << "describing a stream failure must not throw";
}

TEST(ZipFile, ReadErrorsEndSkipsAndReads)
{
    LogCapture log;
    FakeZipFile file(100000, 700);
    ASSERT_TRUE(file.open("a.zip?m", quarn::open_mode::in));
    EXPECT_EQ(file.seek(5000, quarn::seek_dir::current), -1);
    EXPECT_EQ(file.reads.size(), 3u) << "a negative count is not progress";
    char bytes[10];
    EXPECT_EQ(file.read(bytes, 10), 0u);
    ASSERT_NE(file.last_error(), nullptr);
    char text[200];
    file.last_error()->describe(text, sizeof text);
    EXPECT_STREQ(text, ": reading the ZIP member failed (data error)");
}

TEST(ZipFile, RefusesNamesWithoutMemberAndWriting)
{
    ZipFile file;
    EXPECT_TRUE(not_implemented([&] { (void)file.open("plain.zip", quarn::open_mode::in); }));
    EXPECT_TRUE(not_implemented([&] { (void)file.open("a.zip?m", quarn::open_mode::out); }));
    EXPECT_FALSE(file.open("no_such_archive_q.zip?m", quarn::open_mode::in));
    EXPECT_FALSE(file.close());
}

TEST_F(Archives, MembersSeekBackOnlyWithinWhatIsBuffered)
{
    write_zip(path("big.zip"), { { "m.bin", pattern(20000) } });
    IArcStream in;
    in.set_flags(Stream::raw_open);
    in.open(path("big/m.bin").c_str());
    char bytes[10];
    in.read(bytes, 10);
    EXPECT_EQ(in.seek(2), std::streampos(2)) << "still in the buffer";
    in.read(bytes, 1);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(in.seek(9000), std::streampos(9000)) << "forwards by reading";
    in.read(bytes, 1);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 9000 % 251);
    EXPECT_TRUE(not_implemented([&] { (void)in.seek(100); }));
}

TEST_F(Archives, MembersGoThroughHeaderDetection)
{
    std::string data(3000, 'd');
    write_zip(path("s.zip"), {
                                 { "legacy.rw", legacy_stream("rw2", 1, 1, data) },
                                 { "native.obst", native_header(4) + "objects" },
                                 { "old.obst", "header-less objects", 0 },
                             });
    IArcStream in(path("s/legacy.rw").c_str());
    EXPECT_TRUE(dynamic_cast<quarn::io::G1RwRegistry2*>(in.registry()));
    EXPECT_EQ(read_rest(in), data);

    // Reopening after unpacking: the memory buffer goes before the member's.
    in.open(path("s/native.obst").c_str());
    EXPECT_EQ(in.flags(), 6u);
    EXPECT_EQ(read_rest(in), "objects");

    // Header-less members go back to their first byte inside the buffer.
    in.open(path("s/old.obst").c_str());
    EXPECT_EQ(in.state(), 0u);
    EXPECT_TRUE(dynamic_cast<quarn::io::Registry1*>(in.registry()));
    EXPECT_EQ(read_rest(in), "header-less objects");
}

TEST_F(Archives, StreamFailuresNameTheMember)
{
    write_zip(path("n.zip"), { { "short.bin", "abc" } });
    IArcStream in(path("n/short.bin").c_str());
    char bytes[8];
    try {
        in.read(bytes, 8);
        FAIL() << "no failure";
    } catch (const quarn::io::Failure& e) {
        EXPECT_EQ(std::string(e.what()), "i/o error ('" + path("n.zip") + "?short.bin')");
    }
}

TEST(ZipFormat, WithoutItArchivesAreNotSearched)
{
    LogCapture log;
    ScratchDir dir;
    write_zip(dir / "z.zip", { { "m.txt", "member" } });
    const std::string name = dir / "z/m.txt";
    {
        ZipFormat zip;
        IArcStream in(name.c_str());
        EXPECT_EQ(read_rest(in), "member");
    }
    IArcStream quiet;
    quiet.open(name.c_str(), quarn::open_mode::in, 0);
    EXPECT_FALSE(quiet.is_open());
}

} // namespace
