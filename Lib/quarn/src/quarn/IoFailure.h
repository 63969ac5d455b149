// quarn::io::Failure: what the stream layer throws. Its text says "i/o error"
// when none is given.
#pragma once

#include "quarn/Exception.h"

namespace quarn::io {

class Failure : public Exception {
public:
    explicit Failure(const char* text = nullptr) noexcept;
    explicit Failure(const ErrorInfo& info) noexcept : Exception(info) {}

    const char* type_name() const noexcept override;
};

} // namespace quarn::io

QUARN_TYPE_NAME(quarn::io::Failure, "class quarn::io::Failure");
