// quarn::io::BasicFileBuf: a buffered stream buffer over any AbstractFile
// (a file of the system, an archive member), in the manner of the standard
// file buffer.
//
//     quarn::File file;
//     if (file.open("car.obst", quarn::open_mode::in | quarn::open_mode::binary)) {
//         quarn::io::BasicFileBuf buf;
//         buf.attach(&file, "car.obst");
//         quarn::io::IStream in(&buf);
//         ...
//     }
//
// The buffer is allocated at the first read or write: one memory page, but
// at least 4096 bytes, unless setbuf() gave another one before. Reading and
// writing alternate only through a seek, as with the standard file buffer.
// Seeks to a position inside the data read into the buffer move within it
// and leave the file alone, so an archive member, which can only seek
// forwards, still goes back to a position it has buffered.
//
// Bytes pass unchanged: the buffer converts no characters, whatever locale
// is imbued (the system reads and writes with the classic one only).
//
// A file opened without open_mode::binary is text, as quarn::File reads and
// writes it: a CR before an LF is dropped and a Ctrl-Z (26) ends the text
// when reading, each LF goes out as CR LF when writing. Positions (told,
// sought) are offsets in the file whatever its line ends, so a position told
// anywhere reads on from the same character when sought again.
#pragma once

#include "quarn/AbstractFile.h"
#include "quarn/StreamBufEx.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn::io {

class BasicFileBuf : public StreamBufEx {
public:
    BasicFileBuf();
    BasicFileBuf(const BasicFileBuf&) = delete;
    BasicFileBuf& operator=(const BasicFileBuf&) = delete;
    // Frees the buffers; the file is not closed (it is not owned here).
    ~BasicFileBuf() override;

    // Works on `file` (not owned) from now on; `name` (may be null) names
    // the buffer in stream failures.
    void attach(AbstractFile* file, const char* name);
    AbstractFile* file() const { return file_; }

    bool is_open() const { return file_ && file_->is_open(); }
    // Writes what is buffered, closes the file and frees the buffers. This, or null when the buffer was
    // not open, flushing or closing failed, or it is still failed from an earlier read or write that no
    // seek has cleared since.
    BasicFileBuf* close();

    const ErrorInfo* last_error() const override { return file_ ? file_->last_error() : nullptr; }
    const char* name() const override { return name_.c_str(); }
    void set_name(const char* name) { name_ = name ? name : ""; }

    // The size of the internal buffer; 0 before the first read or write.
    size_t buffer_size() const { return size_; }
    // The default buffer for a page size: the smallest multiple of it that
    // holds at least 4096 bytes.
    static size_t default_buffer_size(size_t page_size);

protected:
    // Before the first read or write only: (null, 0) makes the buffer
    // unbuffered (one byte), (p, n > 0) uses the caller's n bytes.
    std::streambuf* setbuf(char* p, std::streamsize n) override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;
    int sync() override;
    // -1 when closed, writing or failed; else the characters the file
    // holds after its position (0 when that is unknown).
    std::streamsize showmanyc() override;
    int_type underflow() override;
    // Reads of a whole buffer or more go straight into the caller's memory
    // once the buffered data is used up, instead of one buffer at a time.
    std::streamsize xsgetn(char* s, std::streamsize n) override;
    int_type pbackfail(int_type c) override;
    int_type overflow(int_type c) override;

private:
    // What the buffer is doing; the one record of its mode. The transitions
    // are listed in BasicFileBuf.cpp.
    enum class State {
        idle,          // no direction yet: fresh, after a file seek, closed
        reading,       // the get area holds data read; the file stands at its end
        reading_moved, // as reading, but a seek chose the position: writing may begin
        putback,       // the get area is one put-back character; the area it hid waits
        writing,       // the put area collects data for the file
        failed,        // reading or writing failed; a seek starts over
    };

    bool allocate(char* buffer, size_t n);
    void free_buffers();
    bool ensure_buffer();
    // What one read from the file gave: characters for the caller, and the
    // bytes of the file they came from that were stored at the
    // destination on the way (more than the characters in text).
    struct Chars {
        uint32_t count;
        uint32_t stored;
    };
    // Reads up to n (>= 1) characters to `to`; text files follow the text
    // rule. With `record`, the index of each LF that stood for CR LF is
    // added to crlf_.
    Chars read_chars(char* to, uint32_t n, bool record);
    // Writes the put area; false when the file took less.
    bool flush_put_area();
    // Ends putback (the hidden get area returns): putback -> reading.
    void end_putback();
    // Leaves putback and writing before a seek; false when writing failed.
    // `off` is corrected for an unread put-back character.
    bool settle_for_seek(off_type& off, std::ios_base::seekdir dir);
    // Bytes of the file that stand for the get area from `from` to its end.
    off_type file_distance(const char* from) const;
    // The get-area character that starts `bytes` bytes of the file after
    // eback(); null when that byte is the LF of a CR LF.
    char* char_at(off_type bytes) const;
    pos_type seek_file(off_type off, std::ios_base::seekdir dir);
    bool is_reading() const { return state_ == State::reading || state_ == State::reading_moved; }

    AbstractFile* file_ = nullptr;
    std::string name_;

    // The buffer: the get area or the put area.
    char* buffer_ = nullptr;
    size_t size_ = 0;
    bool owns_buffer_ = false;
    // setbuf's choice, applied at the first read or write.
    char* user_buffer_ = nullptr;
    size_t user_size_ = 0;
    bool unbuffered_ = false;

    State state_ = State::idle;
    // In putback: the character, and the get area it stands in front of.
    char putback_char_ = 0;
    char* saved_eback_ = nullptr;
    char* saved_gptr_ = nullptr;
    char* saved_egptr_ = nullptr;

    // Text files: the get-area indices (from buffer_) of the LFs that were
    // CR LF in the file, in order. Empty for binary files.
    std::vector<uint32_t> crlf_;
};

} // namespace quarn::io
