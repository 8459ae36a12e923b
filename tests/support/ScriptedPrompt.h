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
        Answer defaultButton = Answer::Ok; // a question's default button
    };

    void message(const QString& text, const QString& caption, Icon icon) override;
    Answer askYesNo(const QString& text, Answer defaultButton) override;
    QString saveFileName(const QString& title, const QString& filterDescription, const QString& filterPattern) override;
    SaveChoice chooseSaveFile(const QString& title, const QList<FileType>& types) override;

    // Answers for the next questions and save dialogs, first in first out. A question without a
    // scripted answer is a test failure (answered No); a dialog without one is cancelled. A
    // chosen file comes with the file type selected in the dialog (its index).
    void answerNext(Answer answer) { m_answers.push_back(answer); }
    void chooseFileNext(const QString& path, int fileType = 0) { m_files.push_back({path, fileType}); }

    const std::vector<Shown>& shown() const { return m_shown; }
    QStringList messageTexts() const;
    int count(Shown::Kind kind) const;
    void clear() { m_shown.clear(); }

    // The last save dialog: its title, its first (selected) file type, and all of them.
    QString lastSaveTitle, lastFilterDescription, lastFilterPattern;
    QList<FileType> lastFileTypes;

private:
    std::vector<Shown> m_shown;
    std::deque<Answer> m_answers;
    std::deque<SaveChoice> m_files;
};

} // namespace markwell::test
