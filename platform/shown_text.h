// Bytes read from a file (a line or a value of the settings, a name read
// from disk, a title) as the program shows them: in a box, on stderr and
// in the log. Another user may have written those bytes, and a terminal
// obeys the control bytes it is sent (ESC [ 2 J clears the screen, ESC ] 0
// sets its title), so none reaches one as it stands. Every place that
// quotes a file's bytes goes through shown_text(); what is saved never
// does (the settings are written back byte for byte).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// `bytes` with what is not a visible letter written out as an escape:
// - \a \b \t \n \v \f \r for those seven control bytes;
// - \xHH (lower-case hex) for every other control byte (00 to 1F, 7F) and
//   for every byte that is not part of a well-formed UTF-8 letter (a stray
//   continuation byte, a raw C1 byte such as 9B, a cut or overlong
//   sequence, a surrogate, a code point beyond U+10FFFF);
// - \uHHHH for the UTF-8 letters that steer a display rather than show:
//   the C1 controls U+0080 to U+009F (U+009B is a CSI to some terminals),
//   the line and paragraph separators U+2028, U+2029 and the direction
//   controls U+202A to U+202E and U+2066 to U+2069.
// Every other byte, a backslash too, and every letter of any language is
// kept as it is: a Windows path reads as the player typed it.
// At most `most` bytes come out, cut between two letters or escapes,
// never inside one, an escape already in `bytes` included. Text shown once
// shows the same again, so a name that two layers quote on its way to a
// report reads the same.
[[nodiscard]] std::string shown_text(std::string_view bytes, size_t most = std::string_view::npos);

// shown_text(bytes, size - 1) into `out`, ended by a NUL, without taking
// any memory: for the process's first code, where memory may not be had
// and nothing can catch a failure. The bytes written, the NUL aside;
// nothing at all when `size` is 0.
size_t shown_text_into(char* out, size_t size, std::string_view bytes) noexcept;

// A name as a report quotes it in a line of its own length: shown_text()
// whole when that has at most `most` bytes, else its start and its end
// with "..." between, in `most` bytes, each cut between letters or
// escapes. The start (a third) says where the file is, the end names it;
// what the report says around the name (the reason, whose the file is,
// the way out) keeps its room.
[[nodiscard]] std::string shown_name(std::string_view bytes, size_t most);

// `bytes` with every piece that shown_text() writes out put as `with`
// instead: one for each control byte and each byte of no well-formed
// letter, one for a whole letter that steers the display. What a file
// name made from a caption keeps, so that a listing shows it as it is.
[[nodiscard]] std::string letters_only(std::string_view bytes, char with);

} // namespace platform
