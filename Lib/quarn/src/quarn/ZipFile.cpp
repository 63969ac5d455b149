#include "quarn/ZipFile.h"

#include "quarn/Exception.h"
#include "quarn/IoLog.h"

#include "platform/file.h"
#include "platform/path_resolve.h"

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <string>

namespace quarn {

namespace {

// unzLocateFile compares names without regard to case for any value but 0
// and 1.
constexpr int ignore_case = 2;

// Forward seeks read and discard the bytes in steps of this size.
constexpr uint32_t skip_step = 512;

const char* unzip_text(int32_t code)
{
    switch (code) {
    case UNZ_ERRNO: return "archive read error";
    case UNZ_PARAMERROR: return "invalid parameter";
    case UNZ_BADZIPFILE: return "bad ZIP archive";
    case UNZ_INTERNALERROR: return "internal error";
    case UNZ_CRCERROR: return "CRC error";
    default: return code >= Z_VERSION_ERROR && code <= Z_NEED_DICT ? zError(code) : "unknown error";
    }
}

// Why the located member cannot be read, or null when it can. unzip hands
// out the raw bytes of a member whose method it cannot inflate (bzip2, 12,
// among them) and the ciphertext of an encrypted one without complaint, so
// both are refused here (ZIP application note, 4.4.4 and 4.4.5).
const char* unreadable_member(unzFile file)
{
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(file, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return "its directory entry cannot be read";
    if (info.flag & 1)
        return "it is encrypted";
    if (info.compression_method != 0 && info.compression_method != Z_DEFLATED)
        return "its compression method is neither stored nor deflated";
    return nullptr;
}

// unzip's own stdio functions, except that the archive is opened as the
// platform opens files: only a regular file, never waiting on a FIFO.
voidpf ZCALLBACK open_archive(voidpf, const void* name, int mode)
{
    if (!name || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    return platform::file_open_stream(static_cast<const char*>(name), platform::FileOpen::read_existing);
}

unzFile open_unzip(const char* archive)
{
    zlib_filefunc64_def functions;
    fill_fopen64_filefunc(&functions);
    functions.zopen64_file = open_archive;
    return unzOpen2_64(archive, &functions);
}

} // namespace

ZipFile::ReadHandle::~ReadHandle() { close(); }

bool ZipFile::ReadHandle::open(const char* archive, const char* member)
{
    if (archive_)
        return false;
    unzFile file = open_unzip(archive);
    if (!file)
        return false;
    if (unzLocateFile(file, member, ignore_case) != UNZ_OK) {
        unzClose(file);
        return false;
    }
    if (const char* reason = unreadable_member(file)) {
        detail::log_io(detail::IoLevel::error, 0,
                       std::string("'") + archive + "?" + member + "' cannot be read: " + reason);
        unzClose(file);
        return false;
    }
    if (unzOpenCurrentFile(file) != UNZ_OK) {
        unzClose(file);
        return false;
    }
    archive_ = file;
    ended_ = false;
    end_at_ = 0;
    return true;
}

bool ZipFile::ReadHandle::close()
{
    if (!archive_)
        return false;
    if (!ended_)
        unzCloseCurrentFile(archive_);
    bool closed = unzClose(archive_) == UNZ_OK;
    archive_ = nullptr;
    return closed;
}

int32_t ZipFile::ReadHandle::read(void* data, uint32_t n)
{
    if (!archive_)
        return UNZ_PARAMERROR;
    if (ended_)
        return 0;
    int got = unzReadCurrentFile(archive_, data, n);
    if (got == 0) {
        // Only closing the member compares its checksum; stored members
        // have no other check against damage.
        end_at_ = static_cast<int64_t>(unztell(archive_));
        ended_ = true;
        if (unzCloseCurrentFile(archive_) == UNZ_CRCERROR)
            return UNZ_CRCERROR;
    }
    return got;
}

int64_t ZipFile::ReadHandle::tell()
{
    if (!archive_)
        return -1;
    return ended_ ? end_at_ : static_cast<int64_t>(unztell(archive_));
}

ZipFile::ZipFile() = default;

ZipFile::~ZipFile() { close(); }

std::unique_ptr<ZipFile::Handle> ZipFile::make_handle() { return std::make_unique<ReadHandle>(); }

bool ZipFile::do_open(const char* name, uint32_t mode)
{
    if (is_open())
        return false;
    const std::string text = name ? name : "";
    const size_t mark = text.find('?');
    if (mark == std::string::npos || (mode & open_mode::out))
        throw_exception("NOT IMPLEMENTED");
    const std::string archive = platform::resolve_path(text.substr(0, mark));
    // Members are stored with "/"; names written for Windows use "\".
    std::string member = text.substr(mark + 1);
    std::replace(member.begin(), member.end(), '\\', '/');

    handle_ = make_handle();
    error_text_.clear();
    error_.text = nullptr;
    name_ = text;
    return handle_->open(archive.c_str(), member.c_str());
}

bool ZipFile::do_close()
{
    if (!handle_)
        return false;
    bool closed = handle_->close();
    handle_.reset();
    return closed;
}

uint32_t ZipFile::size() { throw_exception("NOT IMPLEMENTED"); }

bool ZipFile::flush() { throw_exception("NOT IMPLEMENTED"); }

uint32_t ZipFile::write(const void*, uint32_t) { throw_exception("NOT IMPLEMENTED"); }

const ErrorInfo* ZipFile::last_error() const { return error_.text ? &error_ : nullptr; }

void ZipFile::record_failure(int32_t code)
{
    error_text_ = std::string(": reading the ZIP member failed (") + unzip_text(code) + ")";
    error_.text = error_text_.c_str();
    detail::log_io(detail::IoLevel::error, 0, "'" + name_ + "' reading failed" + error_text_);
}

uint32_t ZipFile::read(void* data, uint32_t n)
{
    if (!handle_ || n == 0)
        return 0;
    // unzip counts in int: larger requests are served in part.
    int32_t got = handle_->read(data, std::min<uint32_t>(n, 0x7FFFFFFF));
    if (got < 0) {
        record_failure(got);
        return 0;
    }
    return static_cast<uint32_t>(got);
}

int64_t ZipFile::skip(int64_t from, int64_t count)
{
    char discard[skip_step];
    for (int64_t left = count; left > 0;) {
        uint32_t step = static_cast<uint32_t>(std::min<int64_t>(left, skip_step));
        int32_t got = handle_->read(discard, step);
        // A negative count is an error, not progress: taken as a count it
        // would make the remainder grow and the loop never end.
        if (got <= 0) {
            if (got < 0)
                record_failure(got);
            return -1;
        }
        left -= got;
    }
    return from + count;
}

int64_t ZipFile::seek(int64_t offset, int whence)
{
    if (!handle_)
        return -1;
    const int64_t at = handle_->tell();
    switch (whence) {
    case seek_dir::beginning:
        if (offset < 0)
            return -1;
        if (offset < at)
            throw_exception("NOT IMPLEMENTED");
        return skip(at, offset - at);
    case seek_dir::current:
        if (offset == 0)
            return at;
        if (offset < 0)
            throw_exception("NOT IMPLEMENTED");
        return skip(at, offset);
    case seek_dir::end:
        // Needs the size, which members do not offer.
        throw_exception("NOT IMPLEMENTED");
    default: return 0;
    }
}

} // namespace quarn
