// The dispatch of image operations on pixel formats.
//
// Each operation family (assign, fill, ...) has one table: for a two-image
// family one cell per (target slot, source slot), for a one-image family one
// cell per target slot. A cell says whether the pair does nothing, throws
// "NOT IMPLEMENTED" (before anything is locked) or runs a kernel; a running
// cell holds a plain and a colour-keyed instantiation of the family's kernel
// template, and the table holds one generic kernel that handles every
// running cell by looking at the formats at run time. The generic kernel is
// the reference the tests hold every cell against; it also serves images
// whose memory layout the instantiations do not assume (palette images of
// another id than Pal8), and every cell when the generic path is forced.
//
// Tables are built at compile time from a family description:
//
//   struct AssignFamily {
//       template <FormatSlot Target, FormatSlot Source>
//       static constexpr BinaryCell cell();  // kernel_cell<...>, nothing_cell(), ...
//   };
//   constexpr BinaryTable table = make_binary_table<AssignFamily>("assign", &assign_generic);
//
// A new family (draw, constant-alpha blend, lines) plugs in the same way:
//  - an operation class deriving from BOp or UOp that holds the family's
//    parameters and whose run(slot) calls run_binary / run_unary with the
//    family's table, and a factory slot in ImageContext;
//  - pixel functors template <class T, class S> (or row functors for one
//    image) built from the run, so they can read the operation's parameters
//    and fetch tables before anything is locked; T and S are the traits of
//    FormatTraits.h, whose pixel structures carry the channel layouts;
//  - the family description, whose cells are kernel_cell<T, S, Functor>()
//    (Kernels.h) or another family's cells: draw returns
//    assign::AssignFamily::cell<T, S>() for its sources without alpha;
//  - a generic kernel doing every rule of the family at run time (the
//    helpers of GenericPixels.h), which the tests hold every cell against.
#pragma once

#include "img/Formats.h"
#include "img/Image.h"
#include "img/Op.h"

#include <array>
#include <string>
#include <utility>

namespace quarn::g {

enum class Action : uint8_t { nothing, not_implemented, run };

// A two-image operation, settled: both rectangles lie inside their images
// and have the same size.
struct BinaryRun {
    const Image& target;
    const Image& source;
    Rect target_rect;
    Rect source_rect;
    const BOp& op; // the family's parameters
};
using BinaryKernel = void (*)(const BinaryRun&);

struct BinaryCell {
    Action action = Action::nothing;
    BinaryKernel plain = nullptr;
    BinaryKernel keyed = nullptr;
};

struct BinaryTable {
    const char* family;
    std::array<std::array<BinaryCell, format_slot_count>, format_slot_count> cells; // [target][source]
    BinaryKernel generic;

    const BinaryCell& cell(FormatSlot target, FormatSlot source) const
    {
        return cells[size_t(target)][size_t(source)];
    }
    // The name of a row, such as "assign_rgba8888_to_rgb565".
    std::string row_name(FormatSlot target, FormatSlot source) const;
};

// A one-image operation on a rectangle inside its target.
struct UnaryRun {
    const Image& target;
    Rect rect;
    const UOp& op;
};
using UnaryKernel = void (*)(const UnaryRun&);

struct UnaryCell {
    Action action = Action::nothing;
    UnaryKernel kernel = nullptr;
};

struct UnaryTable {
    const char* family;
    std::array<UnaryCell, format_slot_count> cells;
    UnaryKernel generic;

    const UnaryCell& cell(FormatSlot target) const { return cells[size_t(target)]; }
    // The name of a row, such as "fill_rgb565".
    std::string row_name(FormatSlot target) const;
};

constexpr BinaryCell nothing_cell()
{
    return {};
}
constexpr BinaryCell not_implemented_cell()
{
    return { Action::not_implemented, nullptr, nullptr };
}
constexpr UnaryCell unary_nothing_cell()
{
    return {};
}
constexpr UnaryCell unary_not_implemented_cell()
{
    return { Action::not_implemented, nullptr };
}

namespace detail {

template <class Family, FormatSlot Target, size_t... Source>
constexpr std::array<BinaryCell, format_slot_count> make_binary_row(std::index_sequence<Source...>)
{
    return { Family::template cell<Target, FormatSlot(Source)>()... };
}

template <class Family, size_t... Target>
constexpr auto make_binary_cells(std::index_sequence<Target...>)
{
    return std::array<std::array<BinaryCell, format_slot_count>, format_slot_count> {
        make_binary_row<Family, FormatSlot(Target)>(std::make_index_sequence<format_slot_count> {})...
    };
}

template <class Family, size_t... Target>
constexpr std::array<UnaryCell, format_slot_count> make_unary_cells(std::index_sequence<Target...>)
{
    return { Family::template cell<FormatSlot(Target)>()... };
}

} // namespace detail

template <class Family>
constexpr BinaryTable make_binary_table(const char* family, BinaryKernel generic)
{
    return { family, detail::make_binary_cells<Family>(std::make_index_sequence<format_slot_count> {}), generic };
}

template <class Family>
constexpr UnaryTable make_unary_table(const char* family, UnaryKernel generic)
{
    return { family, detail::make_unary_cells<Family>(std::make_index_sequence<format_slot_count> {}), generic };
}

// The slot of an image: the palette slot when it has a palette, else by id.
[[nodiscard]] FormatSlot format_slot(const Image& image);

// Runs a family's cell for the operation's target (in target_slot, as
// Image::apply found it) and its source.
void run_binary(const BinaryTable& table, const BOp& op, FormatSlot target_slot);
void run_unary(const UnaryTable& table, const UOp& op, FormatSlot target_slot);

// Whether every operation goes through its family's generic kernel. Off by
// default; the environment variable QUARN_IMG_GENERIC=1 switches it on for a
// whole run.
[[nodiscard]] bool generic_path_forced();
void force_generic_path(bool on);

} // namespace quarn::g
