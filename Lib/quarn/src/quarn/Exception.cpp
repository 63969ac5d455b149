#include "quarn/Exception.h"
#include "quarn/IoFailure.h"

#include <cstdio>
#include <cstring>

namespace quarn {

namespace {

void copy_limited(char* buffer, const char* text)
{
    size_t n = strnlen(text, Exception::message_size - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

} // namespace

Exception::Exception() noexcept { message_[0] = '\0'; }

Exception::Exception(const char* text) noexcept
{
    message_[0] = '\0';
    if (text && *text)
        copy_limited(message_, text);
}

Exception::Exception(const ErrorInfo& info) noexcept
{
    message_[0] = '\0';
    info.describe(message_, message_size);
}

Exception::Exception(const Exception& other) noexcept : std::exception(other)
{
    std::memcpy(message_, other.message_, message_size);
}

Exception& Exception::operator=(const Exception& other) noexcept
{
    std::exception::operator=(other);
    std::memcpy(message_, other.message_, message_size);
    return *this;
}

const char* Exception::what() const noexcept
{
    if (message_[0] == '\0')
        fill_message(message_);
    return message_;
}

const char* Exception::type_name() const noexcept { return type_name_v<Exception>; }

void Exception::fill_message(char* buffer) const noexcept { copy_limited(buffer, type_name()); }

FactoryExc::FactoryExc(std::string class_name) noexcept : class_name_(std::move(class_name)) {}

FactoryExc::FactoryExc(std::string class_name, const char* text) noexcept
    : Exception(text), class_name_(std::move(class_name))
{
}

const char* FactoryExc::type_name() const noexcept { return type_name_v<FactoryExc>; }

void FactoryExc::fill_message(char* buffer) const noexcept
{
    std::snprintf(buffer, message_size, "Factory<%s> not found", class_name_.c_str());
}

void throw_exception(const char* text) { throw Exception(text); }

namespace io {

Failure::Failure(const char* text) noexcept : Exception(text && *text ? text : "i/o error") {}

const char* Failure::type_name() const noexcept { return type_name_v<Failure>; }

} // namespace io

} // namespace quarn
