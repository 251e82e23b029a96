#pragma once

#include <QString>

#include <expected>

// A failure as a value: the message is the exact text the user (or tool client) sees.
struct Error {
    QString message;

    bool operator==(const Error&) const = default;
};

template <typename T> using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(QString message)
{
    return std::unexpected<Error>(Error { std::move(message) });
}
