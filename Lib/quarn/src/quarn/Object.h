// quarn::io::Object: the base of everything an object stream holds.
//
// A stored class derives from Object, writes its data in write() and reads
// it back in read(), and has a factory registered under its name
// (Factory.h). Streams frame each object with a tag, a factory reference
// and (with the data_lengths flag) a u32 data length; see
// Stream::write_object and IStream::read_object.
#pragma once

namespace quarn::io {

class Stream;
class IStream;

class Object {
public:
    virtual void write(Stream& stream) const = 0;
    virtual void read(IStream& stream) = 0;
    virtual ~Object() = default;
};

} // namespace quarn::io
