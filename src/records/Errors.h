#pragma once

#include <QString>

#include <stdexcept>

namespace vigix {

// Base of the errors the records raise. The message is for the examiner: it names the file and what failed.
class EVigixError : public std::runtime_error
{
public:
    explicit EVigixError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// A file could not be opened, created, read or written.
class EInOutError : public EVigixError
{
public:
    using EVigixError::EVigixError;
};

// Stored or entered content could not be converted: a number that is not a decimal integer, a text that
// the file cannot hold, a file longer than a test can be.
class EConvertError : public EVigixError
{
public:
    using EVigixError::EVigixError;
};

} // namespace vigix
