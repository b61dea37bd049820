#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// The options a sub-command takes: "--name value" or "--name=value", and flags without a value;
// each at most once. "--help" or "-h" anywhere asks for the sub-command's help instead.
class CommandOptions
{
public:
    CommandOptions(QStringList valueOptions, QStringList flags = {});

    // False, with the reason in Portuguese, for an unknown or repeated option, a missing value or
    // an argument that is no option.
    [[nodiscard]] bool parse(const QStringList &args, QString *problem);
    [[nodiscard]] bool helpWanted() const { return m_help; }
    [[nodiscard]] bool isSet(const QString &name) const;
    [[nodiscard]] QString value(const QString &name) const { return m_values.value(name); }
    // The first of names that is missing, or an empty string when all are given.
    [[nodiscard]] QString firstMissing(const QStringList &names) const;

    // Parses the arguments of `taluvo command`: the usage on out for --help, a usage error on
    // err for a problem or a missing required option. The exit code when the command is done
    // with that, nothing when it goes on.
    [[nodiscard]] std::optional<int> parseOrExit(const QStringList &args, const QString &command,
                                                 const QString &usage, const QStringList &required,
                                                 QTextStream &out, QTextStream &err);

private:
    QStringList m_valueOptions;
    QStringList m_flags;
    QMap<QString, QString> m_values;
    QSet<QString> m_flagsSet;
    bool m_help = false;
};
