#pragma once

#include <QList>
#include <QString>

namespace markwell {

// Every message box and file dialog the program shows goes through this interface, so that
// tests can answer them without a display.
class Prompt {
public:
    enum class Icon { None, Warning };
    enum class Answer { Ok, Yes, No };

    virtual ~Prompt() = default;

    // A modal box with a single OK button. An empty caption means the application title.
    virtual void message(const QString& text, const QString& caption = {}, Icon icon = Icon::None) = 0;

    // A modal box with Yes and No buttons, captioned with the application title. The default
    // button (the one Enter presses) is Yes unless `defaultButton` is No.
    virtual Answer askYesNo(const QString& text, Answer defaultButton = Answer::Yes) = 0;

    // The save-file dialog. Returns the chosen path exactly as the dialog gives it, or an empty
    // text when the user cancels. The dialog asks no overwrite question of its own.
    virtual QString saveFileName(const QString& title, const QString& filterDescription,
                                 const QString& filterPattern) = 0;

    // One file type a save dialog offers: the description "Excel Files (*.xls)" and the pattern
    // "*.xls".
    struct FileType {
        QString description;
        QString pattern;
    };
    // What the save dialog returns: the path exactly as the dialog gives it (empty when the user
    // cancels) and the index of the file type selected when it closed.
    struct SaveChoice {
        QString path;
        int fileType = 0;
    };

    // The save-file dialog offering several file types, the first one selected. It asks no
    // overwrite question of its own and adds no extension to the name. A prompt that offers only
    // one file type shows the first.
    virtual SaveChoice chooseSaveFile(const QString& title, const QList<FileType>& types) {
        const FileType first = types.isEmpty() ? FileType{} : types.front();
        return {saveFileName(title, first.description, first.pattern), 0};
    }
};

} // namespace markwell
