#include "quarn/BasicFileBuf.h"

#include <algorithm>
#include <cstring>
#include <new>

// The buffer's states (State in the header) and what moves it between them
// (reading* stands for reading or reading_moved):
//
//   from           event                                          to
//   idle           underflow or xsgetn reads the file             reading
//   idle           overflow starts the put area                   writing
//   idle           pbackfail: the character stands alone          putback
//   reading*       underflow refills the get area from the file   reading
//   reading*       a seek that lands inside the get area          reading_moved
//   reading*       pbackfail at the start of the get area         putback
//   reading        overflow: refused, writing needs a seek first  reading
//   reading_moved  overflow: the file goes back to the cursor     writing
//   putback        underflow once the character is read           reading
//   putback        a seek: the hidden get area returns first      reading, then as such
//   writing        a seek: the put area is written out            idle, then as such
//   any            a seek that moves the file                     idle
//   any            reading, writing or allocating fails           failed
//   any            close                                          idle
//
// The put area is armed only in writing, where the get area is empty: a
// failed write disarms it, so puts are refused until a seek that moves the
// file clears the failure, and no put can ever land on data being read.
//
// Positions are offsets in the file. The file stands at the end of the get
// area, so a character's position is the file's position less the bytes
// that the characters from it to the end came from; in a text file those
// are one per character plus one per LF that was CR LF (crlf_).

namespace quarn::io {

namespace {

using traits = std::char_traits<char>;

bool is_eof(std::char_traits<char>::int_type c) { return traits::eq_int_type(c, traits::eof()); }

const std::streamoff bad_pos = -1;

// Ends the text of a text file.
constexpr char ctrl_z = 26;

} // namespace

BasicFileBuf::BasicFileBuf() = default;

BasicFileBuf::~BasicFileBuf()
{
    // A buffer used without close() still hands its written data to the
    // file rather than dropping it.
    if (state_ == State::writing && is_open())
        flush_put_area();
    free_buffers();
}

size_t BasicFileBuf::default_buffer_size(size_t page_size)
{
    if (page_size == 0)
        return 4096;
    return (4096 + page_size - 1) / page_size * page_size;
}

void BasicFileBuf::attach(AbstractFile* file, const char* name)
{
    file_ = file;
    name_ = name ? name : "";
}

BasicFileBuf* BasicFileBuf::close()
{
    if (!is_open())
        return nullptr;
    // A failed write (or read) that no seek has cleared since may have lost
    // data: the close reports it.
    bool ok = state_ != State::failed;
    if (state_ == State::writing)
        ok = flush_put_area();
    if (!file_->close())
        ok = false;
    free_buffers();
    crlf_.clear();
    state_ = State::idle; // any -> idle
    return ok ? this : nullptr;
}

std::streambuf* BasicFileBuf::setbuf(char* p, std::streamsize n)
{
    if (state_ != State::idle || buffer_)
        return this;
    if (!p && n == 0) {
        unbuffered_ = true;
        user_buffer_ = nullptr;
        user_size_ = 0;
    } else if (p && n > 0) {
        unbuffered_ = false;
        user_buffer_ = p;
        user_size_ = static_cast<size_t>(n);
    }
    return this;
}

bool BasicFileBuf::allocate(char* buffer, size_t n)
{
    char* internal = buffer ? buffer : new (std::nothrow) char[n];
    if (!internal)
        return false;
    buffer_ = internal;
    size_ = n;
    owns_buffer_ = !buffer;
    return true;
}

bool BasicFileBuf::ensure_buffer()
{
    if (!buffer_) {
        bool ok = unbuffered_ ? allocate(nullptr, 1)
            : user_buffer_    ? allocate(user_buffer_, user_size_)
                              : allocate(nullptr, default_buffer_size(AbstractFile::page_size()));
        if (!ok)
            return false;
        setg(buffer_, buffer_, buffer_);
    }
    return true;
}

void BasicFileBuf::free_buffers()
{
    if (owns_buffer_)
        delete[] buffer_;
    buffer_ = nullptr;
    size_ = 0;
    owns_buffer_ = false;
    setg(nullptr, nullptr, nullptr);
    setp(nullptr, nullptr);
}

BasicFileBuf::Chars BasicFileBuf::read_chars(char* to, uint32_t n, bool record)
{
    if (file_->mode() & open_mode::binary) {
        uint32_t got = file_->read(to, n);
        if (got > n)
            got = 0; // a file that overstates its count delivered nothing usable
        return { got, got };
    }
    // Text: the rule applied here rather than by the file, so that each
    // character's place in the file is known.
    uint32_t got = file_->read_raw(to, n);
    if (got > n)
        got = 0;
    uint32_t out = 0;
    for (uint32_t i = 0; i < got; ++i) {
        const char c = to[i];
        if (c == ctrl_z) {
            // The text ends here. The file goes back to the Ctrl-Z, so
            // every later read ends there too.
            if (file_->seek(-static_cast<int64_t>(got - i), seek_dir::current) < 0)
                state_ = State::failed; // any -> failed
            return { out, got };
        }
        if (c == '\r') {
            bool lf = false;
            if (i + 1 < got) {
                lf = to[i + 1] == '\n';
            } else {
                // The last byte read: one more decides, and goes back to
                // the file when it is not the LF.
                char next = 0;
                if (file_->read_raw(&next, 1) == 1) {
                    lf = next == '\n';
                    if (!lf && file_->seek(-1, seek_dir::current) < 0)
                        state_ = State::failed; // any -> failed
                }
            }
            if (lf) {
                if (record)
                    crlf_.push_back(out);
                to[out++] = '\n';
                ++i;
                continue;
            }
        }
        to[out++] = c;
    }
    return { out, got };
}

void BasicFileBuf::end_putback()
{
    setg(saved_eback_, saved_gptr_, saved_egptr_);
    state_ = State::reading; // putback -> reading
}

BasicFileBuf::int_type BasicFileBuf::underflow()
{
    if (!is_open())
        return traits::eof();
    switch (state_) {
    case State::putback:
        end_putback();
        break;
    case State::writing:
    case State::failed: return traits::eof();
    case State::idle:
    case State::reading:
    case State::reading_moved: break;
    }
    if (gptr() < egptr())
        return traits::to_int_type(*gptr());
    if (!ensure_buffer()) {
        state_ = State::failed; // any -> failed
        return traits::eof();
    }
    state_ = State::reading; // idle or reading* -> reading: the file is read
    // The file interface counts in u32; a larger buffer is only read up to
    // that much.
    uint32_t want = static_cast<uint32_t>(std::min<size_t>(size_, 0xFFFFFFFFu));
    const size_t kept = crlf_.size();
    const Chars got = read_chars(buffer_, want, true);
    if (got.count == 0) {
        // At the end the data read last stays in the get area, so a seek
        // back into it still needs no file seek (archive members cannot go
        // back); unless the bytes up to a Ctrl-Z were stored over it.
        if (got.stored) {
            setg(buffer_, buffer_, buffer_);
            crlf_.clear();
        }
        return traits::eof();
    }
    crlf_.erase(crlf_.begin(), crlf_.begin() + static_cast<std::ptrdiff_t>(kept));
    setg(buffer_, buffer_, buffer_ + got.count);
    return traits::to_int_type(*gptr());
}

std::streamsize BasicFileBuf::xsgetn(char* s, std::streamsize n)
{
    const size_t whole = size_ ? size_ : default_buffer_size(AbstractFile::page_size());
    const bool may_read = state_ == State::idle || is_reading();
    if (n <= 0 || static_cast<size_t>(n) < whole || !may_read || !is_open())
        return std::streambuf::xsgetn(s, n);
    std::streamsize done = 0;
    if (gptr() < egptr()) {
        done = std::min<std::streamsize>(n, egptr() - gptr());
        std::memcpy(s, gptr(), static_cast<size_t>(done));
        gbump(static_cast<int>(done));
        if (done == n)
            return done;
    }
    // The data goes past the buffer: what it held is no longer next.
    state_ = State::reading; // idle or reading* -> reading
    if (buffer_)
        setg(buffer_, buffer_, buffer_);
    crlf_.clear();
    while (done < n && state_ == State::reading) {
        uint32_t want = static_cast<uint32_t>(std::min<std::streamsize>(n - done, 0x7FFFFFFF));
        uint32_t got = read_chars(s + done, want, false).count;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

BasicFileBuf::int_type BasicFileBuf::pbackfail(int_type c)
{
    if (!is_open())
        return traits::eof();
    // Stepping back over the character just read, or putting back that
    // same character, only moves the cursor.
    if (eback() < gptr() && (is_eof(c) || traits::eq_int_type(c, traits::to_int_type(gptr()[-1])))) {
        gbump(-1);
        return traits::not_eof(c);
    }
    if (is_eof(c))
        return traits::eof();
    switch (state_) {
    case State::writing:
    case State::failed:
    case State::putback: // one put-back character only
        return traits::eof();
    case State::reading:
    case State::reading_moved:
        if (eback() < gptr()) {
            // The buffer holds the file's bytes, so the character before
            // the cursor may be replaced; the state stays.
            gbump(-1);
            *gptr() = traits::to_char_type(c);
            return c;
        }
        break;
    case State::idle: break;
    }
    // idle or reading* at the start of the get area -> putback
    saved_eback_ = eback();
    saved_gptr_ = gptr();
    saved_egptr_ = egptr();
    putback_char_ = traits::to_char_type(c);
    setg(&putback_char_, &putback_char_, &putback_char_ + 1);
    state_ = State::putback;
    return c;
}

BasicFileBuf::int_type BasicFileBuf::overflow(int_type c)
{
    if (is_eof(c)) {
        // A flush: only written data has anything to do.
        if (!is_open() || state_ == State::failed)
            return traits::eof();
        if (state_ != State::writing)
            return traits::not_eof(c);
        if (!flush_put_area()) {
            state_ = State::failed; // writing -> failed
            return traits::eof();
        }
        return traits::not_eof(c);
    }
    if (!is_open())
        return traits::eof();
    switch (state_) {
    case State::reading: // reading turns into writing only through a seek
    case State::putback:
    case State::failed: return traits::eof();
    case State::reading_moved:
        // The seek stayed inside the buffer and left the file ahead of the
        // position, so the file goes back to it now.
        if (file_->seek(-file_distance(gptr()), seek_dir::current) < 0)
            return traits::eof();
        setg(buffer_, buffer_, buffer_);
        crlf_.clear();
        [[fallthrough]];
    case State::idle:
        if (!ensure_buffer()) {
            state_ = State::failed; // any -> failed
            return traits::eof();
        }
        state_ = State::writing; // idle or reading_moved -> writing
        setg(buffer_, buffer_, buffer_);
        // One slot stays behind the put area for the character that
        // overflows it, so it goes out in the same write.
        setp(buffer_, buffer_ + size_ - 1);
        if (pptr() < epptr()) {
            *pptr() = traits::to_char_type(c);
            pbump(1);
            return c;
        }
        break;
    case State::writing: break;
    }
    *pptr() = traits::to_char_type(c);
    pbump(1);
    if (!flush_put_area()) {
        state_ = State::failed; // writing -> failed
        return traits::eof();
    }
    return c;
}

bool BasicFileBuf::flush_put_area()
{
    const char* from = pbase();
    const char* end = pptr();
    bool ok = true;
    if (from && end > from)
        ok = file_->write_text(from, static_cast<uint32_t>(end - from));
    // After a failure the caller enters failed: no put may be taken then.
    if (ok && buffer_)
        setp(buffer_, buffer_ + size_ - 1);
    else
        setp(nullptr, nullptr);
    return ok;
}

bool BasicFileBuf::settle_for_seek(off_type& off, std::ios_base::seekdir dir)
{
    if (state_ == State::putback) {
        // An unread put-back character stands one before the saved cursor.
        if (dir == std::ios_base::cur && gptr() == &putback_char_)
            off -= 1;
        end_putback();
    }
    if (state_ == State::writing) {
        bool ok = flush_put_area();
        setp(nullptr, nullptr);
        state_ = ok ? State::idle : State::failed; // writing -> idle or failed
        return ok;
    }
    return true;
}

BasicFileBuf::off_type BasicFileBuf::file_distance(const char* from) const
{
    // Each LF that was CR LF stands for its CR too.
    const auto first = std::lower_bound(crlf_.begin(), crlf_.end(), static_cast<uint32_t>(from - buffer_));
    return (egptr() - from) + (crlf_.end() - first);
}

char* BasicFileBuf::char_at(off_type bytes) const
{
    // Character k starts k bytes after eback() plus one for each CR LF
    // before it; the i-th CR LF's CR is byte crlf_[i] + i. Count the CRs
    // before `bytes`.
    size_t lo = 0;
    size_t hi = crlf_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (off_type(crlf_[mid]) + off_type(mid) < bytes)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo > 0 && off_type(crlf_[lo - 1]) + off_type(lo) == bytes)
        return nullptr; // the LF of a CR LF: no character starts there
    return eback() + (bytes - off_type(lo));
}

BasicFileBuf::pos_type BasicFileBuf::seek_file(off_type off, std::ios_base::seekdir dir)
{
    int whence = dir == std::ios_base::beg ? seek_dir::beginning
        : dir == std::ios_base::cur        ? seek_dir::current
                                           : seek_dir::end;
    int64_t at = file_->seek(off, whence);
    if (at < 0)
        return pos_type(bad_pos);
    setg(buffer_, buffer_, buffer_);
    setp(nullptr, nullptr);
    crlf_.clear();
    state_ = State::idle; // any -> idle: the file moved
    return pos_type(off_type(at));
}

BasicFileBuf::pos_type BasicFileBuf::seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode)
{
    if (!is_open() || !settle_for_seek(off, dir))
        return pos_type(bad_pos);
    if (is_reading() && gptr() && dir != std::ios_base::end) {
        // The file stands at the end of the get area. A target inside it
        // moves the cursor only, so archive members, which cannot seek
        // back, still return to data they have buffered.
        const int64_t at = file_->seek(0, seek_dir::current);
        if (at < 0)
            return pos_type(bad_pos);
        const off_type start = off_type(at) - file_distance(eback());
        const off_type target = dir == std::ios_base::beg ? off : off_type(at) - file_distance(gptr()) + off;
        if (target >= start && target <= off_type(at)) {
            if (char* p = char_at(target - start)) {
                setg(eback(), p, egptr());
                state_ = State::reading_moved; // reading* -> reading_moved
                return pos_type(target);
            }
        }
        return seek_file(target, std::ios_base::beg);
    }
    return seek_file(off, dir);
}

BasicFileBuf::pos_type BasicFileBuf::seekpos(pos_type pos, std::ios_base::openmode which)
{
    if (off_type(pos) < 0)
        return pos_type(bad_pos);
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

int BasicFileBuf::sync() { return is_eof(overflow(traits::eof())) ? -1 : 0; }

std::streamsize BasicFileBuf::showmanyc()
{
    if (!is_open() || state_ == State::writing || state_ == State::failed)
        return -1;
    if (state_ == State::putback)
        return egptr() - gptr();
    int64_t size = file_->size();
    int64_t at = file_->seek(0, seek_dir::current);
    if (at < 0 || at >= size)
        return 0;
    return static_cast<std::streamsize>(size - at);
}

} // namespace quarn::io
