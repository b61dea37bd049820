#pragma once

#include <QString>

#include <exception>

// An error of the data layer. Its message is what the application's error box shows.
class DatabaseError : public std::exception
{
public:
    explicit DatabaseError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {
    }

    [[nodiscard]] const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The silent abort: a rule that has already told the user why stops the operation with it, and
// the guard drops it without a further message.
class SilentAbort : public std::exception
{
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};

[[noreturn]] inline void abortSilently()
{
    throw SilentAbort();
}

[[noreturn]] void databaseError(const QString &message);
