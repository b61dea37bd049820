#include "platform/engine/Guard.h"

#include "platform/engine/DatabaseError.h"

#include <cstdio>
#include <exception>

namespace {
std::function<void(const QString &)> &reporter()
{
    static std::function<void(const QString &)> instance;
    return instance;
}

void writeToStderr(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void report(const QString &message)
{
    const auto &fn = reporter();
    if (!fn) {
        writeToStderr(message);
        return;
    }
    // The reporter runs inside a Qt frame too: nothing may escape from it either.
    try {
        fn(message);
    } catch (...) {
        writeToStderr(message);
    }
}
} // namespace

bool guard(const std::function<void()> &fn)
{
    try {
        fn();
        return true;
    } catch (const SilentAbort &) {
    } catch (const DatabaseError &e) {
        report(e.message());
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown error"));
    }
    return false;
}

void setGuardReporter(std::function<void(const QString &)> reporter)
{
    ::reporter() = std::move(reporter);
}
