// A system out of memory, for rows that run in a child of their own: every
// `new` of the test program of at least the size set here throws
// std::bad_alloc. A program that links refused_new.cpp has every `new`
// go through it; until a size is set, nothing is refused.
#pragma once

#include <cstddef>

namespace test_support {

void refuse_new_from(size_t bytes);

} // namespace test_support
