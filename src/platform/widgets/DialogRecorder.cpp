#include "platform/widgets/DialogRecorder.h"

void DialogRecorder::message(const QString &text)
{
    m_entries.append({ Kind::Message, text, applicationTitle() });
}

bool DialogRecorder::confirm(const QString &text)
{
    m_entries.append({ Kind::Confirm, text, confirmCaption() });
    return m_answers.isEmpty() ? true : m_answers.dequeue();
}

Dialogs::Answer DialogRecorder::askYesNoCancel(const QString &text)
{
    m_entries.append({ Kind::Question, text, applicationTitle() });
    return m_threeWayAnswers.isEmpty() ? Answer::Cancel : m_threeWayAnswers.dequeue();
}

void DialogRecorder::queueAnswer(Answer answer)
{
    m_threeWayAnswers.enqueue(answer);
}

void DialogRecorder::applicationError(const QString &text)
{
    m_entries.append({ Kind::ApplicationError, applicationErrorText(text), applicationTitle() });
}

void DialogRecorder::systemError(const QString &text)
{
    m_entries.append({ Kind::SystemError, text, systemErrorCaption() });
}

void DialogRecorder::beep()
{
    m_entries.append({ Kind::Beep, QString(), QString() });
}

void DialogRecorder::queueAnswer(bool ok)
{
    m_answers.enqueue(ok);
}

QStringList DialogRecorder::texts(Kind kind) const
{
    QStringList result;
    for (const Entry &entry : m_entries) {
        if (entry.kind == kind)
            result.append(entry.text);
    }
    return result;
}

int DialogRecorder::beeps() const
{
    int count = 0;
    for (const Entry &entry : m_entries)
        count += entry.kind == Kind::Beep ? 1 : 0;
    return count;
}

void DialogRecorder::clear()
{
    m_entries.clear();
    m_answers.clear();
    m_threeWayAnswers.clear();
}
