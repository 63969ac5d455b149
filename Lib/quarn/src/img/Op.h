// Pixel-changing operations. Each is an object made by the ImageContext,
// applied through Image::apply (or Image::apply_binary for two images) and
// destroyed with ImageContext::destroy.
#pragma once

#include "img/Formats.h"
#include "img/Memory.h"
#include "img/Rect.h"

namespace quarn::g {

class Image;

class Op {
public:
    Op() = default;
    Op(const Op&) = delete;
    Op& operator=(const Op&) = delete;
    virtual ~Op() = default;

    static void* operator new(size_t size) { return allocate(size); }
    static void operator delete(void* block) noexcept { release(block); }

    // Runs the operation on its target, whose format falls into `slot`
    // (never FormatSlot::none). Image::apply calls it once the rectangle is
    // settled: inside the target and not empty. The base does nothing.
    virtual void run(FormatSlot slot) { (void)slot; }

    const Rect* rect = nullptr; // target rectangle; null: the whole target
    Image* target = nullptr;
};

// An operation on one image.
class UOp : public Op { };

// An operation that reads a second image. The source rectangle's size is the
// size of the operation; only the corner of the target rectangle is used.
class BOp : public Op {
public:
    const Image* source = nullptr;
    const Rect* source_rect = nullptr;
};

} // namespace quarn::g
