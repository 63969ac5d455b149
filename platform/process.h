// Process-level services.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Makes the process safe from how it was started; first thing in main().
// SIGPIPE and SIGXFSZ are ignored: a write to a pipe nobody reads any more
// (`race 2>&1 | head -1`) then fails with EPIPE, and one past the file size
// limit (`ulimit -f`) with EFBIG, where either signal would end the process
// before it saves. Each of the standard descriptors 0, 1 and 2 that is
// closed is opened on /dev/null, so that the next file the program opens
// does not take its number and get what is written to standard error. When
// /dev/null cannot be opened, the process ends with status 1, as a daemon
// does: it could not tell its messages from its files.
void make_process_sound();

// For the first code of a program, its .preinit_array entry (or a
// constructor that runs before its static objects are built): ends the
// process with status 1, and "<program>: <message>" on stderr, when the
// memory limit (memory_limit()) is under `need` bytes, or when
// start_memory_bytes cannot be had. `program` is argv[0], shown as
// shown_text() shows it; null stands for the name the C library has,
// which it knows only by the time constructors run. The static objects of
// the program and its libraries allocate as they are built, where nothing
// can catch a failure; and so little memory that this much cannot be had
// may even leave the C++ runtime without room to throw. Either way the
// process would end through std::terminate. Uses the C library alone, and
// shown_text_into(), which takes no memory.
inline constexpr size_t start_memory_bytes = size_t{1} << 20;
void require_start_memory(const char* message, size_t need = 0, const char* program = nullptr) noexcept;

// For a program's .preinit_array, which runs before any library's own
// start-up code: cuts what the process maps without using it, so that an
// address-space limit (`ulimit -v`) counts what the program needs. Left
// alone, glibc reserves 64 MB of address space for the malloc arena of
// each thread that allocates and 8 MB for each thread's stack: a start
// that uses under 40 MB mapped about 650 MB. After this, every thread
// shares the one arena, and a thread gets thread_stack_bytes unless it
// asks for a size of its own.
inline constexpr size_t thread_stack_bytes = size_t{1} << 20;
void trim_process_memory() noexcept;

// The memory the process may map, in bytes: the smaller of its soft
// address-space limit (RLIMIT_AS, `ulimit -v`) and its soft data limit
// (RLIMIT_DATA, `ulimit -d`, which on Linux counts the private memory it
// maps: the heap, thread stacks, the libraries' writable pages); SIZE_MAX
// when neither is set. The soft limits are the ones the system enforces.
size_t memory_limit() noexcept;

// Full path of the running executable; "" when the system cannot give it,
// and last_error() then says why (ENAMETOOLONG for a path longer than the
// system takes, PATH_MAX).
std::string module_file_name();

// The process's current directory ("" when unknown), and changing it.
// False when the directory cannot be made current; it then stays as it was.
std::string current_dir();
[[nodiscard]] bool set_current_dir(const std::string& path);

// The temporary directory, with a trailing '/'.
std::string temp_dir();

// Text of an operating-system error number (errno), without a trailing
// line end.
std::string system_error_text(int code);

// The calling thread's last operating-system error number, and a way to set
// it (the file layer saves and restores it around cleanup).
int last_error();
void set_last_error(int code);

// While on (from catch_end_signals(true) to catch_end_signals(false)),
// SIGTERM, SIGINT and SIGHUP do not end the process: each asks it to end
// the way its window's close box does, as a close message at the next
// message pump, so that the program goes through its own shut-down. A
// signal that was ignored or caught elsewhere when they were taken stays
// so (a program started under nohup keeps running when its terminal
// closes); off gives back what each did before. For the program's run
// only: a process that takes no messages would never see the request.
// Calls nest: the signals are given back at the (false) that matches the
// first (true), so that the program's `main` can keep them past its
// entry's run, up to the process's end.
void catch_end_signals(bool on);

// From own_process(true) to own_process(false), the calling process is the
// program's, and a copy of it that a library forks is told apart by
// in_forked_copy(). SDL draws its X11 boxes in such a copy and waits for it;
// the copy shares the program's handlers but not its threads or its stake
// in its files. There the program's handlers (a lost display, exit, a
// request to end, the save before a box's answer ends the program) do
// nothing, and the copy ends as it would without them. Outside that span,
// and in a process that never called it, in_forked_copy() is false: a test
// that forks to run the program runs it in a process of its own.
void own_process(bool on) noexcept;
// Async-signal-safe.
bool in_forked_copy() noexcept;

// Ends the process at once, without running exit handlers. Linux keeps only
// the low 8 bits of the status: exit_now(-95) is seen as 161 by the parent.
[[noreturn]] void exit_now(int code);

// True when standard error is a terminal, so text can be written there
// instead of shown in a box.
bool console_present();

} // namespace platform
