#pragma once

#include "common/Prompt.h"

class QWidget;

namespace markwell {

// The real prompts: QMessageBox and QFileDialog, modal to the given window.
class WidgetPrompt : public Prompt {
public:
    explicit WidgetPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void message(const QString& text, const QString& caption, Icon icon) override;
    Answer askYesNo(const QString& text, Answer defaultButton) override;
    QString saveFileName(const QString& title, const QString& filterDescription, const QString& filterPattern) override;
    SaveChoice chooseSaveFile(const QString& title, const QList<FileType>& types) override;

private:
    QWidget* m_parent;
};

} // namespace markwell
