#include "ScriptedPrompt.h"

#include <gtest/gtest.h>

namespace markwell::test {

void ScriptedPrompt::message(const QString& text, const QString& caption, Icon icon) {
    m_shown.push_back({Shown::Kind::Message, text, caption, icon});
}

Prompt::Answer ScriptedPrompt::askYesNo(const QString& text, Answer defaultButton) {
    m_shown.push_back({Shown::Kind::Question, text, {}, Icon::None, defaultButton});
    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return Answer::No;
    }
    const Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

QString ScriptedPrompt::saveFileName(const QString& title, const QString& filterDescription,
                                     const QString& filterPattern) {
    return chooseSaveFile(title, {FileType{filterDescription, filterPattern}}).path;
}

Prompt::SaveChoice ScriptedPrompt::chooseSaveFile(const QString& title, const QList<FileType>& types) {
    m_shown.push_back({Shown::Kind::SaveDialog, title, {}, Icon::None});
    lastSaveTitle = title;
    lastFileTypes = types;
    lastFilterDescription = types.isEmpty() ? QString() : types.front().description;
    lastFilterPattern = types.isEmpty() ? QString() : types.front().pattern;
    if (m_files.empty()) {
        return {};
    }
    SaveChoice choice = m_files.front();
    m_files.pop_front();
    if (choice.fileType < 0 || choice.fileType >= types.size()) {
        ADD_FAILURE() << "file type " << choice.fileType << " is not offered";
        choice.fileType = 0;
    }
    return choice;
}

QStringList ScriptedPrompt::messageTexts() const {
    QStringList out;
    for (const auto& s : m_shown) {
        if (s.kind == Shown::Kind::Message) {
            out << s.text;
        }
    }
    return out;
}

int ScriptedPrompt::count(Shown::Kind kind) const {
    int n = 0;
    for (const auto& s : m_shown) {
        n += s.kind == kind ? 1 : 0;
    }
    return n;
}

} // namespace markwell::test
