#include "quarn/LogSettings.h"

#include <cctype>
#include <limits>

namespace quarn {

LogSettings& LogSettingsTable::find(std::string_view name)
{
    if (name == "*")
        return defaults_;
    if (name == "!")
        return gate_;
    auto found = records_.find(std::string(name));
    if (found != records_.end())
        return found->second;
    return records_.emplace(std::string(name), defaults_).first->second;
}

void LogSettingsTable::spread_defaults()
{
    for (auto& [name, record] : records_)
        record = defaults_;
}

namespace {

enum class Kind { end, section, level, value, comment, directive, other, unsupported };

struct Token {
    Kind kind = Kind::end;
    std::string name;  // section
    int level = 0;     // level word
    char sign = '+';   // value: '+', '-' or '='
    bool star = false; // value: "*" rather than a number
    int32_t number = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    int line() const { return line_; }

    Token next()
    {
        skip_space();
        Token t;
        if (at_end())
            return t;
        char c = take();
        switch (c) {
        case '[': section(t); break;
        case 'e':
        case 'w':
        case 'i':
            t.kind = Kind::level;
            t.level = c == 'e' ? log_level_error : c == 'w' ? log_level_warning : log_level_info;
            while (!at_end() && std::isalpha(static_cast<unsigned char>(peek())))
                take();
            break;
        case '+':
        case '-':
            if (!at_end() && peek() == '=') {
                take();
                t.kind = Kind::unsupported;
                t.name = std::string(1, c) + "=";
            } else {
                value_body(t, c);
            }
            break;
        case '=': {
            char sign = '=';
            if (!at_end() && (peek() == '+' || peek() == '-'))
                sign = take();
            value_body(t, sign);
            break;
        }
        case '*':
            t.kind = Kind::value;
            t.sign = '+';
            t.star = true;
            break;
        case ';': skip_line(t, Kind::comment); break;
        case '#': skip_line(t, Kind::directive); break;
        case '/':
            if (!at_end() && peek() == '/')
                skip_line(t, Kind::comment);
            else
                t.kind = Kind::other;
            break;
        default: t.kind = Kind::other; break;
        }
        return t;
    }

    void skip_rest_of_line()
    {
        while (!at_end() && peek() != '\n')
            take();
    }

private:
    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    char take()
    {
        char c = text_[pos_++];
        if (c == '\n')
            ++line_;
        return c;
    }

    void skip_space()
    {
        while (!at_end() && std::isspace(static_cast<unsigned char>(peek())))
            take();
    }

    void skip_line(Token& t, Kind kind)
    {
        t.kind = kind;
        skip_rest_of_line();
    }

    // After a sign: "*", digits, or nothing (which stands for "*").
    void value_body(Token& t, char sign)
    {
        t.kind = Kind::value;
        t.sign = sign;
        if (!at_end() && peek() == '*') {
            take();
            t.star = true;
            return;
        }
        if (at_end() || !std::isdigit(static_cast<unsigned char>(peek()))) {
            t.star = true;
            return;
        }
        int64_t n = 0;
        while (!at_end() && std::isdigit(static_cast<unsigned char>(peek()))) {
            n = n * 10 + (take() - '0');
            // Limits are 32-bit; a longer number means "as high as it goes".
            if (n > std::numeric_limits<int32_t>::max())
                n = std::numeric_limits<int32_t>::max();
        }
        t.number = static_cast<int32_t>(n);
    }

    char escaped(char c)
    {
        switch (c) {
        case 'a': return '\a';
        case 'b': return '\b';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case 'v': return '\v';
        default: return c;
        }
    }

    // Reads up to `stop`, resolving escapes; consumes `stop` when found.
    void name_until(std::string& name, char stop)
    {
        while (!at_end()) {
            char c = take();
            if (c == stop)
                return;
            if (c == '\\') {
                if (at_end())
                    return;
                c = escaped(take());
            }
            name += c;
        }
    }

    void section(Token& t)
    {
        t.kind = Kind::section;
        while (!at_end() && (peek() == ' ' || peek() == '\t'))
            take();
        if (!at_end() && (peek() == '"' || peek() == '\'')) {
            char quote = take();
            name_until(t.name, quote);
            // The closing bracket after a quoted name; anything else after
            // the quote is read as ordinary tokens.
            while (!at_end() && (peek() == ' ' || peek() == '\t'))
                take();
            if (!at_end() && peek() == ']')
                take();
        } else {
            name_until(t.name, ']');
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

void apply(LogSettingsTable& table, const std::string& section, int level, const Token& value)
{
    LogSettings& record = table.find(section);
    for (int l = 0; l < 3; ++l) {
        if (level >= 0 && l != level)
            continue;
        int32_t& limit = record.limit[l];
        if (value.star) {
            limit = value.sign == '-' ? -1 : LogSettings::unlimited;
        } else if (value.number == 0) {
            limit = 0;
        } else if (value.sign == '+') {
            if (limit < value.number)
                limit = value.number;
        } else if (value.sign == '-') {
            if (limit > value.number - 1)
                limit = value.number - 1;
        } else {
            limit = value.number;
        }
    }
    if (section == "*")
        table.spread_defaults();
}

} // namespace

void parse_log_settings(std::string_view text, LogSettingsTable& table, std::vector<std::string>* problems)
{
    Lexer lexer(text);
    std::string section;
    int level = -1; // the level word right before, if any
    for (;;) {
        Token t = lexer.next();
        switch (t.kind) {
        case Kind::end: return;
        case Kind::comment: break; // keeps a level word's binding
        case Kind::level: level = t.level; break;
        case Kind::value:
            apply(table, section, level, t);
            level = -1;
            break;
        case Kind::section:
            section = t.name;
            level = -1;
            break;
        case Kind::unsupported:
            // A typo in a text file must not end the program from inside
            // logging, so the line is dropped with a note instead of a throw.
            if (problems)
                problems->push_back("log settings line " + std::to_string(lexer.line()) + ": '" + t.name +
                                    "' is not supported; rest of the line ignored");
            lexer.skip_rest_of_line();
            level = -1;
            break;
        case Kind::directive:
        case Kind::other: level = -1; break;
        }
    }
}

} // namespace quarn
