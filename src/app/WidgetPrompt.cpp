#include "app/WidgetPrompt.h"

#include "app/AppTitle.h"

#include <QFileDialog>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

void WidgetPrompt::message(const QString& text, const QString& caption, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    caption.isEmpty() ? applicationTitle() : caption, text, QMessageBox::Ok, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

Prompt::Answer WidgetPrompt::askYesNo(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString WidgetPrompt::saveFileName(const QString& title, const QString& filterDescription,
                                   const QString& filterPattern) {
    QString filter = filterDescription;
    if (!filterDescription.contains(filterPattern)) {
        filter += u" ("_s + filterPattern + u")"_s;
    }
    // The program asks the overwrite question itself.
    return QFileDialog::getSaveFileName(m_parent, title, QString(), filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

} // namespace markwell
