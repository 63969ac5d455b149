// IStream::detect_header: which of the three kinds of object stream a
// freshly opened stream holds.
//
//   legacy    "rw1\0" or "rw2\0", then five u32: flags (1 packed,
//             2 encrypted), packer (0 the older layer's LZ, 1 zlib), a word
//             not used here, packed size, unpacked size; then the data
//   native    the 17 characters "quarn::io::Stream", u32 header flags,
//             then the objects
//   header-less  anything else: the objects from the first byte
//
// All integers are little-endian.
#include "quarn/IStream.h"

#include "quarn/Allocator.h"
#include "quarn/Log.h"
#include "quarn/MemBuf.h"
#include "quarn/Registry.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <vector>

namespace quarn::io {

namespace {

constexpr char native_signature[] = "quarn::io::Stream";
constexpr size_t native_signature_length = 17;
static_assert(sizeof native_signature == native_signature_length + 1);

constexpr uint32_t legacy_packed = 1;
constexpr uint32_t legacy_encrypted = 2;
constexpr uint32_t packer_zrpack = 0;
constexpr uint32_t packer_zlib = 1;

// The header's sizes come from the file: the unpacked block is never
// larger than zlib can produce from the packed bytes (at most 1032 to 1,
// plus its fixed overhead), nor than this. Packed data is held in memory
// too, and an archive member may unpack to far more than its archive
// holds, so it has the same bound.
constexpr uint64_t max_unpacked_size = 256u << 20;
constexpr uint64_t max_packed_size = max_unpacked_size;
constexpr uint64_t zlib_max_ratio = 1032;

// Packed data is read in steps of this size, so a header that promises
// more than the file holds costs no more memory than the file has.
constexpr size_t packed_read_step = 64 * 1024;

void log_error_line(const char* text) { open_entry(log_error) << text << std::endl; }

} // namespace

void IStream::detect_header()
{
    // Runs `step` with only `bad` raising, so a short read leaves its state
    // for this function to judge instead of throwing.
    auto quietly = [this](auto&& step) {
        const uint32_t saved = exceptions_;
        exceptions_ = bad;
        bool ok;
        try {
            ok = step();
        } catch (...) {
            exceptions_ = saved;
            throw;
        }
        exceptions_ = saved;
        return ok;
    };

    const std::streampos start = tell();
    if (start == std::streampos(-1))
        flags_ &= ~data_lengths;

    set_owned_registry(nullptr);
    set_registry(nullptr);

    auto headerless = [&] {
        clear();
        set_owned_registry(std::make_unique<Registry1>());
        flags_ &= ~data_lengths;
        if (seek(start) == std::streampos(-1)) {
            TextualErrorInfo info("Failed to open legacy stream.");
            setstate(fail, &info);
        }
    };

    // The magic: a stream too short for it keeps its state and is read
    // without a header.
    unsigned char magic[4];
    {
        const uint32_t saved_state = state_;
        const uint32_t saved_mask = exceptions_;
        exceptions(bad);
        bool got = sentry() && !(read(magic, 4).state_ & fail);
        state_ = saved_state;
        setstate(0);
        exceptions(saved_mask);
        if (!got) {
            headerless();
            return;
        }
    }

    std::unique_ptr<Registry> legacy;
    if (std::memcmp(magic, "rw1", 4) == 0)
        legacy = std::make_unique<G1RwRegistry1>();
    else if (std::memcmp(magic, "rw2", 4) == 0)
        legacy = std::make_unique<G1RwRegistry2>();
    if (!legacy) {
        if (std::memcmp(magic, native_signature, 4) == 0) {
            char rest[native_signature_length - 4];
            uint32_t header_flags = 0;
            bool native = quietly([&] {
                return read_some(rest, sizeof rest) == sizeof rest
                    && std::memcmp(rest, native_signature + 4, sizeof rest) == 0 && read_u32(header_flags);
            });
            if (native) {
                // Value 1 is reserved and never taken from a file.
                flags_ |= header_flags & ~uint32_t(1);
                const std::streampos here = tell();
                if (here != std::streampos(-1) && start != std::streampos(-1))
                    set_payload_offset(static_cast<uint32_t>(std::streamoff(here) - std::streamoff(start)));
                return;
            }
        }
        headerless();
        return;
    }

    // Legacy.
    set_owned_registry(std::move(legacy));
    flags_ &= ~data_lengths;
    const uint32_t kept_flags = flags_;
    uint32_t status = 0;
    Error error(this, nullptr);
    // Causes the error may point at; they live until the throw below.
    TextualErrorInfo too_large(": unpacked size beyond the limit");
    TextualErrorInfo packed_too_large(": packed size beyond the limit");
    ZipError zlib_error(Z_OK);

    uint32_t header[5] = {};
    const bool have_header = quietly([&] {
        for (uint32_t& word : header) {
            if (!read_u32(word))
                return false;
        }
        return true;
    });
    const uint32_t legacy_flags = header[0], packer = header[1];
    const uint32_t packed_size = header[3], unpacked_size = header[4];

    auto unpack = [&]() -> uint32_t {
        if (packed_size > max_packed_size) {
            error.set(Error::unpacking, &packed_too_large);
            open_entry(log_error) << "z_uncompress() failed while opening g1rw stream: packed size " << packed_size
                                  << " is beyond the limit of " << max_packed_size << "." << std::endl;
            return fail;
        }
        // The packed bytes, read in steps: a corrupt size asks for no more
        // memory than the stream really holds.
        std::vector<unsigned char> packed;
        const bool complete = quietly([&] {
            while (packed.size() < packed_size) {
                size_t step = std::min<size_t>(packed_read_step, packed_size - packed.size());
                size_t at = packed.size();
                packed.resize(at + step);
                size_t got = read_some(packed.data() + at, step);
                packed.resize(at + got);
                if (got < step)
                    return false;
            }
            return true;
        });
        // Less than the header promises is not the data, even when some
        // of it arrived.
        if (!complete)
            return fail;

        if (packer == packer_zrpack) {
            error.set_code(Error::zrpack);
            log_error_line(Error::code_text(Error::zrpack));
            return fail;
        }
        if (packer != packer_zlib) {
            error.set_code(Error::unknown_packer);
            log_error_line(Error::code_text(Error::unknown_packer));
            return fail;
        }

        const uint64_t limit = std::min<uint64_t>(max_unpacked_size, zlib_max_ratio * packed_size + 1024);
        if (unpacked_size > limit) {
            error.set(Error::unpacking, &too_large);
            open_entry(log_error) << "z_uncompress() failed while opening g1rw stream: unpacked size "
                                  << unpacked_size << " is beyond the limit of " << limit << "." << std::endl;
            return fail;
        }
        // One byte at least: zlib wants somewhere to write even for nothing.
        auto* unpacked = static_cast<char*>(Allocator::current()->try_allocate(unpacked_size ? unpacked_size : 1));
        int result = Z_MEM_ERROR;
        uLongf length = unpacked_size;
        if (unpacked)
            result = uncompress(reinterpret_cast<Bytef*>(unpacked), &length, packed.data(), packed_size);
        if (result != Z_OK) {
            Allocator::free(unpacked);
            zlib_error.code = result;
            error.set(Error::unpacking, &zlib_error);
            open_entry(log_error) << "z_uncompress() failed while opening g1rw stream: " << zError(result) << "."
                                  << std::endl;
            return fail;
        }
        auto memory = std::make_unique<MemBuf>();
        memory->set(unpacked, length, length);
        stand_in(std::move(memory), type_name_v<MemBuf>);
        return 0;
    };

    if (!have_header) {
        error.set_code(Error::legacy_header);
        log_error_line(Error::code_text(Error::legacy_header));
    } else if (legacy_flags & legacy_encrypted) {
        error.set_code(Error::encrypted);
        log_error_line(Error::code_text(Error::encrypted));
        status = fail;
    } else if (legacy_flags & legacy_packed) {
        status = unpack();
    } else {
        const std::streampos here = tell();
        if (here != std::streampos(-1))
            set_payload_offset(static_cast<uint32_t>(std::streamoff(here)));
    }

    flags_ = kept_flags;
    state_ |= status | no_buffer_bits_();
    raise_if_masked_(&error);
}

} // namespace quarn::io
