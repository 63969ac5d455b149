// Archive formats: archives that stand in for folders.
//
// A name such as "data\cars\car1.tga" that is not a file may be a member of
// an archive in the place of one of its folders: "data\cars.zip" (or a
// file "data\cars") holding "car1.tga", or "data.zip" holding
// "cars\car1.tga". Each format object registers itself for its lifetime;
// the application creates the ZIP format at start-up:
//
//     quarn::io::ZipFormat zip_format;        // in main(), before any open
//     quarn::io::IArcStream in("data/cars/car1.tga");
#pragma once

#include "quarn/StreamBufEx.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quarn::io {

class ArcFormat {
public:
    ArcFormat(const ArcFormat&) = delete;
    ArcFormat& operator=(const ArcFormat&) = delete;
    // Leaves the list of formats.
    virtual ~ArcFormat();

    // A buffer reading `member` of `archive`, or null when the archive or
    // the member cannot be opened.
    virtual std::unique_ptr<StreamBufEx> open_member(const std::string& archive, const std::string& member) = 0;

    // Extensions without the dot ("zip").
    const char* const* extensions() const { return extensions_; }
    uint32_t extension_count() const { return extension_count_; }

    // The registered formats, in the order they were created.
    static std::vector<ArcFormat*> formats();

protected:
    // Joins the list of formats. The extensions must outlive the format.
    ArcFormat(const char* const* extensions, uint32_t count);

private:
    const char* const* extensions_;
    uint32_t extension_count_;
};

struct ArcBuffer {
    // Never null.
    std::unique_ptr<StreamBufEx> buffer;
    bool open = false;
};

// Opens `name` as a plain file or else as an archive member (see above).
// When neither opens, the buffer is the unopened plain file, whose
// last_error() says why it did not open. Names without a folder, or whose
// only folder is the root, are not looked for in archives.
ArcBuffer open_arc_buffer(const char* name);

} // namespace quarn::io
