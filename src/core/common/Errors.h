#pragma once

#include <QString>
#include <stdexcept>

// File input/output failures are raised as IoError; the text is what the user is shown,
// the path names the file concerned.
class IoError : public std::runtime_error
{
public:
    IoError(const QString &message, const QString &path)
        : std::runtime_error(message.toStdString()), m_message(message), m_path(path)
    {}
    QString message() const { return m_message; }
    QString path() const { return m_path; }

private:
    QString m_message;
    QString m_path;
};

// Input that would corrupt a stored file (a key with a line break, a value that is too long ...).
class InvalidInput : public std::invalid_argument
{
public:
    explicit InvalidInput(const QString &message)
        : std::invalid_argument(message.toStdString()), m_message(message)
    {}
    QString message() const { return m_message; }

private:
    QString m_message;
};
