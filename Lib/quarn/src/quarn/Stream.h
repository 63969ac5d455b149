// quarn::io::Stream: the byte streams of the library, over a StreamBufEx.
//
// A stream adds to its buffer a state word with an exception mask, the
// registry that numbers shared objects and factories (Registry.h) and the
// flags that say how objects are framed (Object.h). Writing needs only a
// Stream; reading needs an IStream (IStream.h).
//
//     MyBuf buf;                         // some StreamBufEx
//     quarn::io::Stream out(&buf);       // mask bad|fail: failures throw
//     out.write_u32(7);
//     out.write_object(&shape, quarn::type_name_v<Shape>);
//
// Every public read or write of a value first runs sentry(): a stream whose
// state (lossy aside) is not 0 refuses and gets `fail`. A state change that
// meets the exception mask throws quarn::io::Failure, whose text is the
// cause ("i/o error" by default) with the buffer's name as detail. Errors
// stay until clear(); all integers are little-endian.
#pragma once

#include "quarn/ErrorInfo.h"
#include "quarn/StreamBufEx.h"

#include <cstddef>
#include <cstdint>
#include <ios>
#include <streambuf>

namespace quarn::io {

class Registry;
class Object;

class Stream {
public:
    // State bits.
    static constexpr uint32_t bad = 1;
    static constexpr uint32_t eof = 2;
    static constexpr uint32_t fail = 4;
    // An object was skipped on reading, or a data length was left
    // unpatched on writing. Sentries ignore it.
    static constexpr uint32_t lossy = 8;

    // Flags.
    // Every object carries a u32 data length (set by default).
    static constexpr uint32_t data_lengths = 2;
    // Opening by name detects no header.
    static constexpr uint32_t raw_open = 4;

    static constexpr uint32_t default_exceptions = bad | fail;

    // A failure record naming the stream: a code with a fixed text (the
    // legacy header checks set them), the buffer's last error, then the
    // base chain.
    class Error : public ErrorInfo {
    public:
        enum Code : uint32_t {
            none = 0,
            legacy_header = 1,
            zrpack = 2,
            encrypted = 3,
            unknown_packer = 4,
            unpacking = 5,
        };

        Error(const Stream* stream, const ErrorInfo* inner)
            : ErrorInfo(nullptr, inner)
            , stream(stream)
        {
        }

        void set(uint32_t new_code, const ErrorInfo* new_inner)
        {
            code = new_code;
            inner = new_inner;
        }
        void set_code(uint32_t new_code) { code = new_code; }

        // The text of a code; "" for 0 and for unknown codes.
        static const char* code_text(uint32_t code);

        size_t describe(char* buffer, size_t size) const override;

        uint32_t code = none;
        const Stream* stream = nullptr;
    };

    // No buffer: the stream is `bad`.
    Stream();
    explicit Stream(StreamBufEx* buffer, Registry* registry = nullptr);
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    virtual ~Stream();

    // Starts over on `buffer` (not owned): state 0 (`bad` without buffer),
    // exceptions bad|fail, flags data_lengths. The registry is not owned.
    void init(StreamBufEx* buffer, Registry* registry);
    // Replaces the buffer; returns the previous one. The state stays.
    std::streambuf* rdbuf(StreamBufEx* buffer);
    std::streambuf* rdbuf() const { return buffer_; }
    // The buffer as a StreamBufEx; null while a plain buffer stands in.
    StreamBufEx* buffer_ex() const { return buffer_ex_; }

    Registry* registry() const { return registry_; }
    bool owns_registry() const { return owns_registry_; }
    // Replaces the registry (not owned); an owned one is deleted.
    void set_registry(Registry* registry);
    // Gives the stream an owned Registry2 (the native format's).
    void create_default_registry();
    // Makes the registry forget its objects and factories.
    void clear_registry();

    uint32_t state() const { return state_; }
    // No state bit but `lossy` set.
    bool good() const { return (state_ & ~lossy) == 0; }
    uint32_t exceptions() const { return exceptions_; }
    // Stores the mask; throws at once when the state meets it.
    void exceptions(uint32_t mask);
    uint32_t flags() const { return flags_; }
    void set_flags(uint32_t flags) { flags_ = flags; }

    // True when reading or writing may go on; otherwise adds `fail` (and
    // `bad` without buffer), throws when masked and answers false.
    bool sentry();
    // Adds bits (and `bad` without buffer); throws when the state meets
    // the mask, with `info` as the cause when given.
    void setstate(uint32_t bits, const ErrorInfo* info = nullptr);
    // State 0 (`bad` without buffer); throws when masked.
    void clear();

    // Writes n bytes (no sentry). A short write adds eof|fail.
    bool write_bytes(const void* data, size_t n);
    // Sentry, then write_bytes.
    Stream& write(const void* data, size_t n);
    // Sentry, then the value's bytes, little-endian. True when written.
    bool write_u8(uint8_t value);
    bool write_u16(uint16_t value);
    bool write_u32(uint32_t value);
    bool write_i32(int32_t value) { return write_u32(static_cast<uint32_t>(value)); }
    bool write_f32(float value);

    // Output position, or -1 without buffer or with `fail` set.
    std::streampos tell_out();
    // Moves the output position; -1 without buffer, with `fail` set, for
    // pos -1 or when the buffer cannot seek.
    std::streampos seek_out(std::streampos pos);

    // Object framing (Object.h). `factory_name` is the name the object's
    // factory is registered under; `unshared` writes the object whole even
    // when it was written before. A null object is written as tag 0.
    Stream& write_object(const Object* object, const char* factory_name, bool unshared = false);
    // A raw block shared like an object: tag, factory reference, u32 size,
    // bytes.
    Stream& write_refs(const void* block, uint32_t size, const char* factory_name, bool unshared = false);

protected:
    // Lets a plain buffer (not a StreamBufEx) stand in, as the unpacked data
    // of a legacy stream does; failures then name it by `type_name`.
    void rdbuf_plain(std::streambuf* buffer, const char* type_name);

    // Throws quarn::io::Failure: the cause (or "i/o error") with the
    // buffer's name as detail, after the library's throw report.
    [[noreturn]] void throw_failure_(const ErrorInfo* info) const;

    void raise_if_masked_(const ErrorInfo* info = nullptr)
    {
        if (state_ & exceptions_)
            throw_failure_(info);
    }
    uint32_t no_buffer_bits_() const { return buffer_ ? 0 : bad; }

    std::streambuf* buffer_ = nullptr;
    StreamBufEx* buffer_ex_ = nullptr;
    const char* buffer_type_ = nullptr;
    Registry* registry_ = nullptr;
    bool owns_registry_ = false;
    uint32_t state_ = bad;
    uint32_t exceptions_ = default_exceptions;
    uint32_t flags_ = data_lengths;
};

// The record of a zlib failure: ": " and zlib's text for the code, then the
// base chain.
class ZipError : public ErrorInfo {
public:
    explicit ZipError(int32_t code, const ErrorInfo* inner = nullptr)
        : ErrorInfo(nullptr, inner)
        , code(code)
    {
    }
    size_t describe(char* buffer, size_t size) const override;

    int32_t code = 0;
};

} // namespace quarn::io
