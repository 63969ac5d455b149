// The factories of the stored classes, registered by name during static
// initialisation. They live in one file that every reader refers to, so
// that a program which reads shapes always links them in.
#pragma once

namespace quarn::cls2 {

// Does nothing; calling it keeps the factories' file in the program.
void link_factories();

} // namespace quarn::cls2
