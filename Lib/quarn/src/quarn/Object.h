// quarn::io::Object: the base of everything an object stream holds.
//
// A stored class derives from Object, writes its data in write() and reads
// it back in read(), and has a factory registered under its name
// (Factory.h). Streams frame each object with a tag, a factory reference
// and (with the data_lengths flag) a u32 data length; see
// Stream::write_object and IStream::read_object.
//
// Reading and writing leave a trace of XML-like items ("<object
// tag=\"name\">", "</object>", "<reference/>", "<skipped/>"), one log
// message each, on the info channels "quarn.io.read" and "quarn.io.write".
// They have no file of their own: the items go nowhere until
// set_trace_target gives them a buffer.
#pragma once

#include <streambuf>

namespace quarn::io {

class Stream;
class IStream;

class Object {
public:
    virtual void write(Stream& stream) const = 0;
    virtual void read(IStream& stream) = 0;
    virtual ~Object() = default;
};

// Where the trace items go (null: nowhere, the default). The buffer must
// stay alive until it is replaced.
void set_trace_target(std::streambuf* target) noexcept;

} // namespace quarn::io
