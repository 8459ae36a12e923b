#pragma once

#include "common/Prompt.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

namespace markwell::test {

// A Prompt that records every box and answers from a script prepared by the test.
class ScriptedPrompt : public Prompt {
public:
    struct Shown {
        enum class Kind { Message, Question, SaveDialog } kind;
        QString text;
        QString caption;
        Icon icon = Icon::None;
    };

    void message(const QString& text, const QString& caption, Icon icon) override;
    Answer askYesNo(const QString& text) override;
    QString saveFileName(const QString& title, const QString& filterDescription, const QString& filterPattern) override;

    // Answers for the next questions and save dialogs, first in first out. A question without a
    // scripted answer is a test failure (answered No); a dialog without one is cancelled.
    void answerNext(Answer answer) { m_answers.push_back(answer); }
    void chooseFileNext(const QString& path) { m_files.push_back(path); }

    const std::vector<Shown>& shown() const { return m_shown; }
    QStringList messageTexts() const;
    int count(Shown::Kind kind) const;
    void clear() { m_shown.clear(); }

    QString lastSaveTitle, lastFilterDescription, lastFilterPattern;

private:
    std::vector<Shown> m_shown;
    std::deque<Answer> m_answers;
    std::deque<QString> m_files;
};

} // namespace markwell::test
