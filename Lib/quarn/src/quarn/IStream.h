// quarn::io::IStream: the input stream every reader uses.
//
//     MyBuf buf(bytes);
//     quarn::io::IStream in(&buf);
//     uint32_t n;
//     if (in.read_u32(n)) ...                    // false once the stream failed
//     quarn::io::Object* o = in.read_object();   // Object.h
//
// Typed reads run the sentry, read the value's bytes and answer whether the
// stream is still without `fail`; a value is only valid then. Files and
// archive members open as streams derived from this one; they detect the
// stream's header on opening (detect_header), which chooses the registry.
#pragma once

#include "quarn/Stream.h"

#include <memory>

namespace quarn {
class AbstractFactory;
}

namespace quarn::io {

class IStream : public virtual Stream {
public:
    IStream();
    explicit IStream(StreamBufEx* buffer, Registry* registry = nullptr);
    ~IStream() override;

    // Reads exactly n bytes (no sentry: run it first). Fewer bytes add
    // eof|fail. When the buffer throws, the stream is bad|fail before the
    // exception goes on.
    IStream& read(void* data, size_t n);
    // Sentry, then up to n bytes; the count read. A short count adds `eof`,
    // and `fail` only when nothing was read.
    size_t read_some(void* data, size_t n);

    // Sentry, the value's bytes (little-endian), true when `fail` stayed
    // clear.
    bool read_u8(uint8_t& value);
    bool read_u16(uint16_t& value);
    bool read_u32(uint32_t& value);
    bool read_i32(int32_t& value);
    bool read_f32(float& value);

    // Input position; -1 without buffer or with `fail` set.
    std::streampos tell();
    // Moves the input position; -1 (without asking the buffer) without
    // buffer, with `fail` set or for pos -1.
    std::streampos seek(std::streampos pos);

    // Before a stream is reopened: the registry forgets everything, the
    // buffer that unpacked data stood in for comes back, payload_offset is 0.
    void reset();

    // Object framing (Object.h). A factory given here takes precedence over
    // the stream's factory reference. Null for tag 0, for an object skipped
    // (no factory: the stream gets `lossy`) and on failure. Objects come
    // from their factories and the caller owns what it gets; an object read
    // again through a shared tag is the same pointer, so keep objects alive
    // while the stream reads. The stream cannot know which class the caller
    // expects: check with dynamic_cast.
    Object* read_object(AbstractFactory* factory = nullptr);
    // A block written by write_refs: made by `factory` when given (its
    // block_size() must be the stored count), else raw memory from the
    // current Allocator (quarn::Allocator::free releases it). `size`, when
    // given, receives the block's byte count. Null for tag 0 or on failure;
    // a shared block comes back as the same pointer, and only to a caller
    // that asks for the same kind of block.
    void* read_refs(AbstractFactory* factory = nullptr, uint32_t* size = nullptr);
    // Skips one object's data after its factory reference, by its length.
    bool skip_object();

    // How deeply objects may be read inside each other's data; a file that
    // nests deeper fails the stream instead of exhausting the stack.
    static constexpr uint32_t max_depth = 1000;

    // The first byte after the stream's header; 0 without one.
    uint32_t payload_offset() const { return payload_offset_; }

    // Reads the header of a freshly opened stream and sets up the registry,
    // flags and payload_offset for its kind. Defined with the stream
    // buffers and header detection.
    void detect_header();

protected:
    // Header detection: a registry owned by the input stream, deleted with
    // it or when the next one replaces it.
    void set_owned_registry(std::unique_ptr<Registry> registry);
    Registry* owned_registry() const { return owned_registry_.get(); }

    // Legacy unpacking: `buffer` (named `type_name` in failures) stands in
    // for the current buffer until reset() puts that one back.
    void stand_in(std::unique_ptr<std::streambuf> buffer, const char* type_name);
    std::streambuf* unpack_buffer() const { return unpack_buffer_.get(); }
    std::streambuf* saved_buffer() const { return saved_buffer_; }

    void set_payload_offset(uint32_t offset) { payload_offset_ = offset; }

private:
    Registry* ensure_registry_();
    void* read_raw_block_(uint32_t count);
    // Fails the stream for a shared tag that names something of another
    // kind than the caller reads.
    void refuse_reference_();

    std::unique_ptr<std::streambuf> unpack_buffer_;
    std::streambuf* saved_buffer_ = nullptr;
    StreamBufEx* saved_buffer_ex_ = nullptr;
    std::unique_ptr<Registry> owned_registry_;
    uint32_t payload_offset_ = 0;
    // Objects being read inside each other's data right now.
    uint32_t depth_ = 0;
};

} // namespace quarn::io
