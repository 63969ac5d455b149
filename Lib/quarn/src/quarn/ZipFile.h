// quarn::ZipFile: a member of a ZIP archive as a read-only file.
//
// Its name is "archive?member": the archive's path (looked up without
// regard to case when it does not exist as written), then the member's
// name, which may use "\" or "/" and is matched without regard to case.
// Members read forwards only: a seek forwards reads and discards the
// bytes; backwards and end-relative seeks, sizes, flushes and writes throw
// "NOT IMPLEMENTED".
#pragma once

#include "quarn/AbstractFile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quarn {

class ZipFile : public AbstractFile {
public:
    // One open member of one archive.
    class Handle {
    public:
        virtual ~Handle() = default;
        // False when already open or when the archive or member cannot be
        // opened.
        virtual bool open(const char* archive, const char* member) = 0;
        virtual bool close() = 0;
        // The count read, 0 at the end, negative on an error (a member whose
        // checksum does not match answers an error at its end).
        virtual int32_t read(void* data, uint32_t n) = 0;
        // Uncompressed bytes delivered so far.
        virtual int64_t tell() = 0;
        virtual bool is_open() const = 0;
    };

    // The handle over the unzip library.
    class ReadHandle : public Handle {
    public:
        ReadHandle() = default;
        ~ReadHandle() override;
        bool open(const char* archive, const char* member) override;
        bool close() override;
        int32_t read(void* data, uint32_t n) override;
        int64_t tell() override;
        bool is_open() const override { return archive_ != nullptr; }

    private:
        void* archive_ = nullptr;
        // The member's end was reached and its checksum tested; unzip
        // answers no position after that, so it is kept here.
        bool ended_ = false;
        int64_t end_at_ = 0;
    };

    ZipFile();
    ~ZipFile() override;

    uint32_t size() override;
    [[nodiscard]] bool flush() override;
    // A damaged member reads as its end; last_error() then says why.
    [[nodiscard]] uint32_t read(void* data, uint32_t n) override;
    uint32_t write(const void* data, uint32_t n) override;
    int64_t seek(int64_t offset, int whence) override;
    // Null until reading the member failed.
    const ErrorInfo* last_error() const override;

    // The name it was opened with ("archive?member").
    const std::string& name() const { return name_; }

protected:
    bool do_open(const char* name, uint32_t mode) override;
    bool do_close() override;
    // The handle a new open uses; tests put in their own.
    virtual std::unique_ptr<Handle> make_handle();

private:
    int64_t skip(int64_t from, int64_t count);
    void record_failure(int32_t code);

    std::unique_ptr<Handle> handle_;
    std::string name_;
    std::string error_text_;
    TextualErrorInfo error_{ nullptr };
};

} // namespace quarn
