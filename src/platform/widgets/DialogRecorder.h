#pragma once

#include "platform/widgets/Dialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>

// A dialogs service for tests: records every call in order, with the text and caption the user
// would see, and answers confirm() from a queue of scripted answers (OK when the queue is empty).
class DialogRecorder : public Dialogs
{
public:
    enum class Kind { Message, Confirm, Question, ApplicationError, SystemError, Beep };

    struct Entry
    {
        Kind kind;
        QString text; // as shown: the error box's text carries its final period
        QString caption;

        bool operator==(const Entry &other) const
        {
            return kind == other.kind && text == other.text && caption == other.caption;
        }
    };

    void message(const QString &text) override;
    [[nodiscard]] bool confirm(const QString &text) override;
    [[nodiscard]] Answer askYesNoCancel(const QString &text) override;
    void applicationError(const QString &text) override;
    void systemError(const QString &text) override;
    void beep() override;

    void queueAnswer(bool ok);
    // Answers for askYesNoCancel(); Cancel when none is queued.
    void queueAnswer(Answer answer);

    [[nodiscard]] const QList<Entry> &entries() const { return m_entries; }
    [[nodiscard]] bool isEmpty() const { return m_entries.isEmpty(); }
    // Texts of one kind of call, in order.
    [[nodiscard]] QStringList texts(Kind kind) const;
    [[nodiscard]] QStringList messages() const { return texts(Kind::Message); }
    [[nodiscard]] QStringList questions() const { return texts(Kind::Confirm); }
    [[nodiscard]] QStringList applicationErrors() const { return texts(Kind::ApplicationError); }
    [[nodiscard]] QStringList systemErrors() const { return texts(Kind::SystemError); }
    [[nodiscard]] int beeps() const;
    // Forgets the entries and any answers still queued.
    void clear();

private:
    QList<Entry> m_entries;
    QQueue<bool> m_answers;
    QQueue<Answer> m_threeWayAnswers;
};
