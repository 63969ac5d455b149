// quarn::LogFileBuf: the stream buffer under a log stream. It puts
// "[channel] error: " / "[channel] warning: " (nothing for info) in front of
// each message, indents continuation lines by the prefix's width, echoes
// errors and warnings to an attached debugger, and writes to its file,
// which it opens at the first output (see open_log_file). A file opened at
// another name than the one asked for starts with a line that says which
// name was passed over and why, and stderr gets that line too: the player
// looks for the log where the documentation says it is. A search that
// opens no file at all is said on stderr too.
#pragma once

#include "quarn/File.h"

#include <cstdint>
#include <memory>
#include <streambuf>
#include <string>

namespace quarn {

class LogFileBuf : public std::streambuf {
public:
    // The put buffer: 4094 characters of text, room for one more and a NUL.
    static constexpr size_t buffer_size = 4096;

    LogFileBuf();
    ~LogFileBuf() override;

    // The file to write (opened at the first output, never retried after a
    // failure) and its open mode; output is always added to the mode. An
    // empty or null name means no file. A file already open is flushed and
    // closed first.
    void set_file(const char* name, uint32_t mode);
    // The file's path once opened (where the search put it), the name given
    // before that, "" when there is no file.
    const std::string& file_name() const { return file_name_; }

    // Starts a message. Pending text of another channel or level is written
    // first, under its own prefix.
    void begin_message(const char* channel, int level, int32_t verbosity);

    // From hold() on, output is kept in memory and the file is neither
    // opened nor written; release(true) writes what was kept (the file
    // opened then), release(false) drops it and leaves the buffer without
    // a file. Output still kept when the buffer is destroyed is dropped.
    void hold() { holding_ = true; }
    void release(bool keep);

    // Echo to the debugger for errors and warnings; on when a debugger was
    // attached when the buffer was made.
    void set_echo(bool on) { echo_ = on; }

protected:
    int sync() override;
    int_type overflow(int_type c) override;

private:
    // Writes the pending text plus c; c, or 0 for end-of-file, when it went
    // somewhere (file or echo), end-of-file otherwise.
    int_type flush_text(int_type c);
    // Opens file_name_ unless open or tried (once; the name is cleared
    // when no file could be opened).
    void open_file();
    // Says at the file's start, and on stderr, that the log went to
    // file_name_ and why the first name was passed over.
    void say_where(const std::string& passed_over);
    // Says on stderr that no log file could be opened anywhere, and why
    // the first name failed: otherwise nothing would tell the player.
    static void say_none(const std::string& first_failure);

    std::unique_ptr<char[]> buffer_;
    bool echo_ = false;
    File file_;
    uint32_t mode_ = 0;
    std::string file_name_;
    std::string channel_;
    bool has_channel_ = false;
    int level_ = 2;
    int32_t verbosity_ = 0;
    std::string prefix_;
    bool at_message_start_ = false;
    bool line_ended_ = false;
    bool holding_ = false;
    std::string held_; // the output kept while holding, as it goes to the file
};

// Opens `name` the way log files and their settings are looked for: a name
// with a directory there first; then the executable's directory; a file
// being written (mode has out) is then tried in the temporary directory and
// last in "./"; a file being read gives up after the first place that
// fails. In each place a write that fails goes on with unique names: base +
// "_" + six base-36 digits (000000 to 00002s) + extension. `opened` (when
// given) is the path used, or on failure the first path tried in the last
// place: what a report of the failure names. `passed_over` (when given)
// gets, after an open at another name than the first tried, that name and
// why it was passed over ("'<path>': <reason>", the path shown as
// platform::shown_text() shows it); after a search that
// opened nothing, the first name tried and why it failed; "" otherwise.
[[nodiscard]] bool open_log_file(File& file, const std::string& name, uint32_t mode, std::string* opened = nullptr,
                                 std::string* passed_over = nullptr);

// The executable's file name without directory and extension ("_quarn"
// when unknown); the log is that + ".log", its settings that + ".log.ini".
const std::string& log_base_name();

} // namespace quarn
