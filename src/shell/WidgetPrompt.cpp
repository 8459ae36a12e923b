#include "shell/WidgetPrompt.h"

#include "common/DisplayText.h"
#include "shell/AppTitle.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

void WidgetPrompt::message(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption.isEmpty() ? applicationTitle() : caption, escapeForDisplay(text), QMessageBox::Ok,
                    m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

Prompt::Answer WidgetPrompt::askYesNo(const QString& text, Answer defaultButton) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), escapeForDisplay(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setDefaultButton(defaultButton == Answer::No ? QMessageBox::No : QMessageBox::Yes);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

namespace {

// "Excel Files (*.xls)" as the dialog's filter: the description, with the pattern added when the
// description does not show it.
QString filterOf(const Prompt::FileType& type) {
    QString filter = type.description;
    if (!type.description.contains(type.pattern)) {
        filter += u" ("_s + type.pattern + u")"_s;
    }
    return filter;
}

} // namespace

QString WidgetPrompt::saveFileName(const QString& title, const QString& filterDescription,
                                   const QString& filterPattern) {
    return chooseSaveFile(title, {FileType{filterDescription, filterPattern}}).path;
}

Prompt::SaveChoice WidgetPrompt::chooseSaveFile(const QString& title, const QList<FileType>& types) {
    QStringList filters;
    for (const FileType& t : types) {
        filters << filterOf(t);
    }
    QString selected = filters.value(0);
    // The program asks the overwrite question itself, and keeps the name as typed.
    const QString path = QFileDialog::getSaveFileName(m_parent, title, QString(), filters.join(u";;"_s), &selected,
                                                      QFileDialog::DontConfirmOverwrite);
    return {path, static_cast<int>(std::max<qsizetype>(filters.indexOf(selected), 0))};
}

} // namespace markwell
