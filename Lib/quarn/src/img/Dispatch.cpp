#include "img/Dispatch.h"

#include "img/Failures.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quarn::g {

namespace {

bool generic_from_environment()
{
    const char* value = std::getenv("QUARN_IMG_GENERIC");
    return value && std::strcmp(value, "1") == 0;
}

std::atomic<bool>& generic_flag()
{
    static std::atomic<bool> flag { generic_from_environment() };
    return flag;
}

// The instantiations assume one index byte per pixel for palette images;
// a palette paired with another id goes the generic way.
bool layout_fits_kernels(const Image& image, FormatSlot slot)
{
    return slot != FormatSlot::palette || image.format().id() == format_id::pal8;
}

} // namespace

std::string BinaryTable::row_name(FormatSlot target, FormatSlot source) const
{
    return std::string(family) + "_" + slot_name(source) + "_to_" + slot_name(target);
}

std::string UnaryTable::row_name(FormatSlot target) const
{
    return std::string(family) + "_" + slot_name(target);
}

FormatSlot format_slot(const Image& image)
{
    return image.format().palette() ? FormatSlot::palette : slot_of_format_id(image.format().id());
}

bool generic_path_forced()
{
    return generic_flag().load(std::memory_order_relaxed);
}

void force_generic_path(bool on)
{
    generic_flag().store(on, std::memory_order_relaxed);
}

void run_binary(const BinaryTable& table, const BOp& op, FormatSlot target_slot)
{
    if (!op.target || !op.source || !op.rect || !op.source_rect)
        return;
    const Image& source = *op.source;
    const FormatSlot source_slot = format_slot(source);
    if (source_slot == FormatSlot::none)
        return;
    const BinaryCell& cell = table.cell(target_slot, source_slot);
    if (cell.action == Action::nothing)
        return;
    if (cell.action == Action::not_implemented)
        throw_not_implemented();

    // Image::apply_binary hands over rectangles of one size inside both
    // images; an operation applied some other way is held to the same.
    Rect t = *op.rect;
    Rect s = *op.source_rect;
    const Rect source_bounds { 0, 0, source.width(), source.height() };
    const Rect inside = s.intersected(source_bounds);
    t.x0 += inside.x0 - s.x0;
    t.y0 += inside.y0 - s.y0;
    const int32_t width = std::min(inside.width(), t.width());
    const int32_t height = std::min(inside.height(), t.height());
    if (width <= 0 || height <= 0)
        return;
    const BinaryRun run { *op.target, source, { t.x0, t.y0, t.x0 + width, t.y0 + height },
        { inside.x0, inside.y0, inside.x0 + width, inside.y0 + height }, op };

    if (generic_path_forced() || !cell.plain || !layout_fits_kernels(*op.target, target_slot)
        || !layout_fits_kernels(source, source_slot))
        table.generic(run);
    else if (source.has_color_key())
        cell.keyed(run);
    else
        cell.plain(run);
}

void run_unary(const UnaryTable& table, const UOp& op, FormatSlot target_slot)
{
    if (!op.target || !op.rect)
        return;
    const UnaryCell& cell = table.cell(target_slot);
    if (cell.action == Action::nothing)
        return;
    if (cell.action == Action::not_implemented)
        throw_not_implemented();
    const UnaryRun run { *op.target, *op.rect, op };
    if (run.rect.empty())
        return;
    if (generic_path_forced() || !cell.kernel || !layout_fits_kernels(*op.target, target_slot))
        table.generic(run);
    else
        cell.kernel(run);
}

} // namespace quarn::g
