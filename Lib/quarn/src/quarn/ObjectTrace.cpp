#include "quarn/ObjectTrace.h"

#include "quarn/Object.h"

namespace quarn {

namespace detail {

namespace {

// Passes trace text on to the current target, or drops it.
class TraceBuf : public std::streambuf {
public:
    std::atomic<std::streambuf*> target { nullptr };

protected:
    int_type overflow(int_type c) override
    {
        std::streambuf* t = target.load();
        if (!traits_type::eq_int_type(c, traits_type::eof()) && t)
            return t->sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        std::streambuf* t = target.load();
        return t ? t->sputn(s, n) : n;
    }
    int sync() override
    {
        std::streambuf* t = target.load();
        return t ? t->pubsync() : 0;
    }
};

// Never destroyed: the trace channels keep a pointer to the stream for the
// rest of the run, including static destruction.
TraceBuf& trace_buf()
{
    static TraceBuf* buf = new TraceBuf;
    return *buf;
}

} // namespace

LogStream* trace_stream()
{
    static LogStream* stream = new LogStream(&trace_buf());
    return stream;
}

std::string escape_trace(std::string_view name)
{
    std::string text(name);
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at))
        text.replace(at, 1, "&lt;");
    for (size_t at = text.find('>'); at != std::string::npos; at = text.find('>', at))
        text.replace(at, 1, "&gt;");
    return text;
}

void trace_open(const LogChannel& channel, const std::string& factory_name)
{
    if (tracing.load(std::memory_order_relaxed))
        open_entry(channel) << "<object tag=\"" << escape_trace(factory_name) << "\">" << std::endl;
}

} // namespace detail

void io::set_trace_target(std::streambuf* target) noexcept
{
    detail::trace_buf().target = target;
    detail::tracing = target != nullptr;
}

} // namespace quarn
